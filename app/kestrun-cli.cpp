// Command-line companion: the local store and Collect Scans for scripts, scheduled jobs and
// support.
#include "CollectScans.h"
#include "cliFormat.h"
#include "qzBackendless.h"
#include "qzCloud.h"
#include "qzSQL.h"
#include "qzTagSettings.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

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

Records are printed as tab-separated text: a header line of field names, then one line
per record; a backslash, tab, carriage return or line feed in a value is written as
\\, \t, \r or \n. Date-times are day counts since 1899-12-30.

Options:
  --db PATH                   use another database file
  --help                      show this text

Exit codes:
  0  success
  1  the database cannot be opened, the log-in was refused, or Collect Scans failed in
     part or whole (the message says what; what failed is tried again next time)
  2  bad usage, or collect without a stored account (log in first)
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
    parser.addOptions({helpOpt, dbOpt, sessionOpt, eidOpt});
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
        {QStringLiteral("collect"), 1}};
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
