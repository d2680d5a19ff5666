// Command-line companion: the local store's contents for scripts and support.
#include "cliFormat.h"
#include "qzSQL.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>

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

Reads the local Kestrun database (by default scans.db in the application-data folder).

Commands:
  status                      print the Home page's status line
  sessions                    print every stored session, newest change first
  scans [--session UID] [--eid EID]
                              print stored scans, newest first: those of one animal
                              (--eid wins when both are given), of one session, or all
  lookups                     print every stored visible-ID lookup, in stored order

Records are printed as tab-separated text: a header line of field names, then one line
per record; a backslash, tab, carriage return or line feed in a value is written as
\\, \t, \r or \n. Date-times are day counts since 1899-12-30.

Options:
  --db PATH                   use another database file
  --help                      show this text
)";
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Kestrun"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Kestrun command-line companion"));
    const QCommandLineOption helpOpt(QStringList {QStringLiteral("help"), QStringLiteral("h")});
    const QCommandLineOption dbOpt(QStringLiteral("db"), QString(), QStringLiteral("PATH"));
    const QCommandLineOption sessionOpt(
        QStringLiteral("session"), QString(), QStringLiteral("UID"));
    const QCommandLineOption eidOpt(QStringLiteral("eid"), QString(), QStringLiteral("EID"));
    parser.addOptions({helpOpt, dbOpt, sessionOpt, eidOpt});
    parser.addPositionalArgument(QStringLiteral("command"), QString());
    if (!parser.parse(app.arguments())) {
        err() << parser.errorText() << "\n" << kHelp;
        return 2;
    }
    if (parser.isSet(helpOpt)) {
        out() << kHelp;
        return 0;
    }
    const QStringList args = parser.positionalArguments();
    if (args.size() != 1) {
        err() << kHelp;
        return 2;
    }
    const QString command = args.first();
    const QStringList known {QStringLiteral("status"), QStringLiteral("sessions"),
        QStringLiteral("scans"), QStringLiteral("lookups")};
    if (!known.contains(command)) {
        err() << "Unknown command: " << command << "\n" << kHelp;
        return 2;
    }

    const QString dbFileName = parser.isSet(dbOpt) ? parser.value(dbOpt) : scansDbFileName();
    if (!dbOpenScans(dbFileName)) {
        err() << "Exiting, cannot open database ^M" << dbFileName
              << " Try deleting SCANS.DB, and restart the program.  Your scans still exist on our "
                 "system and can be recovered with Collect Scans.\n";
        return 1;
    }
    if (command == QLatin1String("status")) {
        const TScanSessionList sessions = QueryScanSessions();
        out() << statusLine(countScans(sessions)) << '\n';
    } else if (command == QLatin1String("sessions")) {
        print(sessionsTsv(QueryScanSessions()));
    } else if (command == QLatin1String("scans")) {
        print(scansTsv(QueryScans(parser.value(sessionOpt), parser.value(eidOpt))));
    } else {
        print(lookupsTsv(QueryLookups()));
    }
    dbClose();
    return 0;
}
