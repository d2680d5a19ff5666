// Command-line companion: the local store and Collect Scans for scripts, scheduled jobs and
// support.
#include "CollectScans.h"
#include "RecordEdits.h"
#include "ScanCsv.h"
#include "cliFormat.h"
#include "qzBackendless.h"
#include "qzCloud.h"
#include "qzSQL.h"
#include "qzTagSettings.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <algorithm>
#include <cstdio>
#include <termios.h>
#include <unistd.h>

namespace {
QTextStream &out()
{
    static QTextStream s(stdout);
    return s;
}

QTextStream &err()
{
    static QTextStream s(stderr);
    return s;
}

void print(const QStringList &lines)
{
    for (const QString &l : lines)
        out() << l << '\n';
    out().flush();
}

const char *const kHelp = R"(Usage: kestrun-cli [--db PATH] COMMAND [OPTIONS]

Reads and updates the local Kestrun database (by default scans.db in the application-data
folder) and runs Collect Scans.

Commands:
  status                      print the Home page's status line
  sessions                    print every stored session, newest change first
  scans [--session UID] [--eid EID]
                              print stored scans, newest first: those of one animal
                              (--eid wins when both are given), of one session, or all
  lookups                     print every stored visible-ID lookup, in stored order
  login EMAIL                 log in to the account service and store the account; the
                              password is read from standard input (one line), or asked for
                              without echo when standard input is a terminal
  collect                     run Collect Scans with the stored account and print the result
  export [--session UID] [--eid EID] [--fields LIST] [--quoted LIST]
         [--date-format PATTERN] [--out FILE]
                              write stored scans as the export dialog saves them: the scans
                              of one animal, of one session, or all, newest first; one line
                              per scan, fields separated by commas, CR LF after every line,
                              code page 1252, no header. --fields chooses the fields and
                              their order (default: all eight), --quoted the fields wrapped
                              in double quotes (a double quote inside is doubled; default:
                              none); field names: VisibleID, EID, Date, Value1, Value2,
                              Value3, Sequence, PremiseID (any letter case), separated by
                              commas; --fields= (empty) writes empty lines. --date-format is one of the dialog's 14 patterns, e.g.
                              "DD/MM/YYYY HH:MM" (default: the one last chosen in the
                              dialog, else "YYYY-MM-DD HH:MM:SS"). Without --out the file
                              goes to standard output
  archive UID [--yes]         archive the session with that Uid as the Sessions page's
                              " Archive " button does: the cloud first, then the local
                              store; the page's question is asked when standard input is a
                              terminal (answer y or yes), --yes answers it
  set-visible-id EID VALUE    give the EID's visible-ID lookup a new visible ID (VALUE as
                              given, empty allowed), in the cloud first, then in the local
                              store, as the Visible IDs page's " Edit " button does; with
                              lookups of that EID from several accounts, the stored
                              account's is taken

Records are printed as tab-separated text: a header line of field names, then one line
per record; a backslash, tab, carriage return or line feed in a value is written as
\\, \t, \r or \n. Date-times are day counts since 1899-12-30.

Options:
  --db PATH                   use another database file
  --help                      show this text

Exit codes:
  0  success
  1  the database cannot be opened, the log-in was refused, Collect Scans failed in
     part or whole (the message says what; what failed is tried again next time), there
     are no scans to export, the export file cannot be written, no session or lookup
     matches, the session is archived already, or the cloud did not take an archive or
     visible-ID change (nothing is changed then; the message gives the reason)
  2  bad usage, collect without a stored account (log in first), or an EID with lookups
     of several other accounts
)";

int cannotOpen(const QString &dbFileName)
{
    err() << "Exiting, cannot open database ^M" << dbFileName
          << " Try deleting SCANS.DB, and restart the program.  Your scans still exist on our "
             "system and can be recovered with Collect Scans.\n";
    return 1;
}

QString readPassword()
{
    const bool tty = isatty(STDIN_FILENO);
    termios saved {};
    if (tty) {
        err() << "Password: ";
        err().flush();
        tcgetattr(STDIN_FILENO, &saved);
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    QTextStream in(stdin);
    QString line = in.readLine();
    if (tty) {
        tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        err() << '\n';
    }
    if (line.endsWith(QLatin1Char('\r')))
        line.chop(1);
    return line;
}

int login(const QString &email)
{
    TagSettings.Load();
    const QString password = readPassword();
    if (password.isEmpty()) {
        err() << "No password given.\n";
        return 2;
    }
    const QString refused = BackendlessLogon(email, password);
    if (!refused.isEmpty()) {
        err() << refused << '\n';
        return 1;
    }
    out() << "Logged in as " << (TagSettings.Name.isEmpty() ? email : TagSettings.Name) << '\n';
    return 0;
}

// A comma-separated list of field names; false, with the message, for an unknown or repeated
// name.
bool parseFieldList(const QString &text, std::vector<TScanField> &fields, QString &problem)
{
    fields.clear();
    if (text.trimmed().isEmpty())
        return true;
    for (const QString &part : text.split(QLatin1Char(','))) {
        TScanField f {};
        if (!scanFieldFromName(part.trimmed(), f)) {
            problem = QStringLiteral("Unknown field: ") + part.trimmed();
            return false;
        }
        if (std::find(fields.begin(), fields.end(), f) != fields.end()) {
            problem = QStringLiteral("Field given twice: ") + part.trimmed();
            return false;
        }
        fields.push_back(f);
    }
    return true;
}

struct ExportOptions
{
    QString session;
    QString eid;
    bool fieldsSet = false;
    QString fields;
    QString quoted;
    bool dateFormatSet = false;
    QString dateFormat;
    QString out;
};

int exportScans(const QString &dbFileName, const ExportOptions &o)
{
    QString problem;
    std::vector<TScanField> fields;
    std::vector<TScanField> quoted;
    if (!parseFieldList(o.fieldsSet ? o.fields : QString(), fields, problem)
        || !parseFieldList(o.quoted, quoted, problem)) {
        err() << problem << '\n';
        return 2;
    }
    TExportColumns columns;
    if (!o.fieldsSet) {
        columns = defaultExportColumns();
    } else {
        for (TScanField f : fields)
            columns.push_back({f, true, false});
    }
    for (TExportColumn &c : columns)
        c.Quoted = std::find(quoted.begin(), quoted.end(), c.Field) != quoted.end();

    // As the dialog opens: the stored pattern when it is one of the list, else the first.
    TagSettings.Load();
    int format = scanDateFormatIndex(o.dateFormatSet ? o.dateFormat : TagSettings.ScanDateFormat);
    if (format < 0 && o.dateFormatSet) {
        err() << "Unknown date format: " << o.dateFormat << "\nThe date formats are:\n";
        for (const QString &f : ScanDateFormats())
            err() << "  " << f << '\n';
        return 2;
    }
    if (format < 0)
        format = 0;

    if (!dbOpenScans(dbFileName))
        return cannotOpen(dbFileName);
    TScanList scans = QueryScans(o.session, o.eid);
    dbClose();
    if (scans.empty()) {
        err() << "No scans to export\n";
        return 1;
    }
    TScanRefs refs;
    refs.reserve(scans.size());
    for (const auto &s : scans)
        refs.push_back(s.get());
    const TScanDatePattern pattern(ScanDateFormats()[format], regionalSeparators());
    const QByteArray bytes = csvFileBytes(textLines(exportText(refs, columns, pattern)));
    if (o.out.isEmpty()) {
        std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
        std::fflush(stdout);
        return 0;
    }
    if (!writeCsvFile(o.out, bytes, &problem)) {
        err() << problem << '\n';
        return 1;
    }
    return 0;
}

int collect(const QString &dbFileName)
{
    TagSettings.Load();
    if (TagSettings.NewUser) {
        err() << "No account is stored. Log in first: kestrun-cli login EMAIL\n";
        return 2;
    }
    if (!dbOpenScans(dbFileName))
        return cannotOpen(dbFileName);
    TScanSessionList sessions = QueryScanSessions();
    TVisIDLookupList lookups = QueryLookups();
    dbClose();
    AzureStop();
    AzureStart('S');
    const CollectResult r = CollectScans(sessions, lookups, dbFileName);
    switch (r.status) {
    case CollectStatus::NoAccount:
        err() << "No account is stored. Log in first: kestrun-cli login EMAIL\n";
        return 2;
    case CollectStatus::LoginRefused:
        err() << r.text << '\n';
        return 1;
    case CollectStatus::Failed:
        err() << r.text << '\n';
        return 1;
    case CollectStatus::Done:
        break;
    }
    out() << r.text << '\n';
    return 0;
}

// The pages' edits for scripts: the same stores, the same order, the same messages.
int archive(const QString &dbFileName, const QString &uid, bool yes)
{
    if (!dbOpenScans(dbFileName))
        return cannotOpen(dbFileName);
    TScanSessionList sessions = QueryScanSessions();
    TScanSession *session = nullptr;
    for (const auto &s : sessions)
        if (s->Uid == uid) {
            session = s.get();
            break;
        }
    if (!session || uid.isEmpty()) {
        dbClose();
        err() << "No stored session has the Uid " << uid << ".\n";
        return 1;
    }
    if (isArchived(*session)) {
        dbClose();
        err() << "Session \"" << session->Name << "\" is archived already.\n";
        return 1;
    }
    if (!yes && isatty(STDIN_FILENO)) {
        err() << archiveQuestion(*session) << "[y/N] ";
        err().flush();
        const QString answer = QTextStream(stdin).readLine().trimmed().toLower();
        if (answer != QLatin1String("y") && answer != QLatin1String("yes")) {
            dbClose();
            out() << "Not archived.\n";
            return 0;
        }
    }
    AzureStop();
    AzureStart('S');
    const QString name = session->Name;
    const EditResult r = archiveSession(sessions, *session, dbFileName);
    dbClose();
    if (r.status == EditStatus::CloudFailed) {
        TScanSession shown;
        shown.Name = name;
        err() << archiveFailedText(shown, r.error) << '\n';
        return 1;
    }
    out() << "Archived session \"" << name << "\".\n";
    return 0;
}

int setVisibleIdCommand(const QString &dbFileName, const QString &eid, const QString &value)
{
    if (!dbOpenScans(dbFileName))
        return cannotOpen(dbFileName);
    TagSettings.Load();
    TVisIDLookupList lookups = QueryLookups();
    std::vector<TVisIDLookup *> matching;
    for (const auto &l : lookups)
        if (l->Eid == eid)
            matching.push_back(l.get());
    TVisIDLookup *lookup = matching.size() == 1 ? matching.front() : nullptr;
    for (TVisIDLookup *l : matching)
        if (!lookup && l->Creator == TagSettings.Email && !TagSettings.Email.isEmpty())
            lookup = l;
    if (!lookup) {
        dbClose();
        if (matching.empty()) {
            err() << "No stored visible-ID lookup has the EID " << eid << ".\n";
            return 1;
        }
        err() << "Lookups of several accounts have the EID " << eid
              << "; log in as the one to change.\n";
        return 2;
    }
    AzureStop();
    AzureStart('S');
    const TVisIDLookup shown = *lookup;
    const EditResult r = setVisibleId(lookups, *lookup, value, dbFileName);
    dbClose();
    if (r.status == EditStatus::CloudFailed) {
        err() << visibleIdFailedText(shown, r.error) << '\n';
        return 1;
    }
    out() << "Visible ID of " << eid << " set to \"" << value << "\".\n";
    return 0;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Kestrun"));
    AzureStart('B');

    QCommandLineParser parser;
    const QCommandLineOption helpOpt(QStringList {QStringLiteral("help"), QStringLiteral("h")});
    const QCommandLineOption dbOpt(QStringLiteral("db"), QString(), QStringLiteral("PATH"));
    const QCommandLineOption sessionOpt(
        QStringLiteral("session"), QString(), QStringLiteral("UID"));
    const QCommandLineOption eidOpt(QStringLiteral("eid"), QString(), QStringLiteral("EID"));
    const QCommandLineOption fieldsOpt(QStringLiteral("fields"), QString(), QStringLiteral("LIST"));
    const QCommandLineOption quotedOpt(QStringLiteral("quoted"), QString(), QStringLiteral("LIST"));
    const QCommandLineOption dateFormatOpt(
        QStringLiteral("date-format"), QString(), QStringLiteral("PATTERN"));
    const QCommandLineOption outOpt(QStringLiteral("out"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption yesOpt(QStringLiteral("yes"));
    parser.addOptions(
        {helpOpt, dbOpt, sessionOpt, eidOpt, fieldsOpt, quotedOpt, dateFormatOpt, outOpt, yesOpt});
    if (!parser.parse(app.arguments())) {
        err() << parser.errorText() << "\n" << kHelp;
        return 2;
    }
    if (parser.isSet(helpOpt)) {
        out() << kHelp;
        return 0;
    }
    const QStringList args = parser.positionalArguments();
    const QString command = args.value(0);
    const QHash<QString, int> arity {{QStringLiteral("status"), 1}, {QStringLiteral("sessions"), 1},
        {QStringLiteral("scans"), 1}, {QStringLiteral("lookups"), 1}, {QStringLiteral("login"), 2},
        {QStringLiteral("collect"), 1}, {QStringLiteral("export"), 1},
        {QStringLiteral("archive"), 2}, {QStringLiteral("set-visible-id"), 3}};
    if (!arity.contains(command)) {
        err() << (command.isEmpty() ? QStringLiteral("No command given.")
                                    : QStringLiteral("Unknown command: ") + command)
              << "\n"
              << kHelp;
        return 2;
    }
    if (args.size() != arity.value(command)) {
        err() << "Wrong number of arguments for " << command << "\n" << kHelp;
        return 2;
    }

    const QString dbFileName = parser.isSet(dbOpt) ? parser.value(dbOpt) : scansDbFileName();
    int rc = 0;
    if (command == QLatin1String("login")) {
        rc = login(args[1]);
    } else if (command == QLatin1String("collect")) {
        rc = collect(dbFileName);
    } else if (command == QLatin1String("archive")) {
        rc = archive(dbFileName, args[1], parser.isSet(yesOpt));
    } else if (command == QLatin1String("set-visible-id")) {
        rc = setVisibleIdCommand(dbFileName, args[1], args[2]);
    } else if (command == QLatin1String("export")) {
        ExportOptions o;
        o.session = parser.value(sessionOpt);
        o.eid = parser.value(eidOpt);
        o.fieldsSet = parser.isSet(fieldsOpt);
        o.fields = parser.value(fieldsOpt);
        o.quoted = parser.value(quotedOpt);
        o.dateFormatSet = parser.isSet(dateFormatOpt);
        o.dateFormat = parser.value(dateFormatOpt);
        o.out = parser.value(outOpt);
        rc = exportScans(dbFileName, o);
    } else if (!dbOpenScans(dbFileName)) {
        rc = cannotOpen(dbFileName);
    } else {
        if (command == QLatin1String("status"))
            out() << statusLine(countScans(QueryScanSessions())) << '\n';
        else if (command == QLatin1String("sessions"))
            print(sessionsTsv(QueryScanSessions()));
        else if (command == QLatin1String("scans"))
            print(scansTsv(QueryScans(parser.value(sessionOpt), parser.value(eidOpt))));
        else
            print(lookupsTsv(QueryLookups()));
        dbClose();
    }
    AzureStop();
    return rc;
}
