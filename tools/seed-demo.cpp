// Writes a demo account's sessions, scans and lookups into the table service that
// KESTRUN_TABLE_ENDPOINT / _ACCOUNT / _KEY point at (the compiled-in one otherwise).
// The data is the same on every run (fixed seed, name-based Uids), so seeding again
// replaces rather than duplicates.
#include "qzCloud.h"
#include "qzUtils.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QUuid>

#include <cstdio>
#include <random>

namespace {
struct SessionPlan
{
    const char *name;
    int year, month, day, hour, minute;
    int scans;
    const char *value1, *value2, *value3;
    const char *prompt;
    bool archived;
};

// A season on one property: marking, weighing, pregnancy testing, a sale draft.
const SessionPlan kPlans[] = {
    {"Autumn calf marking - River flat", 2025, 4, 8, 7, 45, 64, "Sex", "Dam tag", "Treatment", "1",
        true},
    {"Weaner steers - Back paddock", 2025, 6, 17, 8, 10, 58, "Weight (kg)", "Pen", "Drench", "2",
        true},
    {"Heifer preg test", 2025, 9, 2, 9, 0, 47, "Pregnant", "Months", "Vet", "1", false},
    {"Cow weights - Main yards", 2025, 11, 20, 6, 30, 71, "Weight (kg)", "Condition score", "Notes",
        "2", false},
    {"Bull sale draft", 2026, 2, 11, 10, 15, 18, "Lot", "Weight (kg)", "Buyer", "0", false},
    {"Feedlot induction - Mob 3", 2026, 3, 5, 7, 20, 52, "Weight (kg)", "Pen", "Vaccine", "2",
        false},
};

// Yards of a property on the Northern Tablelands, NSW.
constexpr double kFarmLat = -30.51246;
constexpr double kFarmLon = 151.66532;

QString uidFor(const QString &what)
{
    static const QUuid ns(QStringLiteral("{6d1f1e8e-3b7a-4f43-9c51-1d0c2b6a7e10}"));
    return QUuid::createUuidV5(ns, what).toString(QUuid::WithoutBraces);
}

int fail(const QString &what, const QString &error)
{
    std::fprintf(stderr, "seed-demo: %s: %s\n", qPrintable(what), qPrintable(error));
    return 1;
}
} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QString email = qEnvironmentVariable("KESTRUN_DEMO_EMAIL");
    const QStringList args = app.arguments().mid(1);
    for (qsizetype i = 0; i < args.size(); ++i) {
        if (args[i] == QLatin1String("--email") && i + 1 < args.size()) {
            email = args[++i];
        } else {
            std::fprintf(stderr,
                "usage: seed-demo [--email ADDRESS]\n"
                "  default address: $KESTRUN_DEMO_EMAIL or demo@example.com\n");
            return args[i] == QLatin1String("--help") ? 0 : 2;
        }
    }
    if (email.isEmpty())
        email = QStringLiteral("demo@example.com");

    AzureStart('S');
    QString error;
    if (!AzureCreateTables(&error))
        return fail(QStringLiteral("creating the tables"), error);

    std::mt19937 rng(20250408);
    auto uniform
        = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(rng); };
    auto pick = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(rng); };

    // A herd of 160 head: EIDs of one manufacturer's range, visible tags in order.
    std::vector<QString> herd;
    for (int i = 0; i < 160; ++i)
        herd.push_back(QString::number(982000411207300LL + i * 37));

    int sessions = 0, scans = 0, lookups = 0;
    for (const SessionPlan &p : kPlans) {
        TScanSession s;
        s.Creator = email;
        s.Uid = uidFor(email + QLatin1Char('/') + QLatin1String(p.name));
        s.Name = QString::fromUtf8(p.name);
        s.Date = fromQDateTime(
            QDateTime(QDate(p.year, p.month, p.day), QTime(p.hour, p.minute), Qt::LocalTime));
        s.Count = p.scans;
        s.PromptOption = QString::fromLatin1(p.prompt);
        s.Value1Name = QString::fromUtf8(p.value1);
        s.Value1Format = QStringLiteral("T");
        s.Value2Name = QString::fromUtf8(p.value2);
        s.Value2Format = QStringLiteral("T");
        s.Value3Name = QString::fromUtf8(p.value3);
        s.Value3Format = QStringLiteral("T");
        s.DStatus = p.archived ? QStringLiteral("D") : QString();
        if (!AzureStore(s, &error))
            return fail(QStringLiteral("session \"%1\"").arg(s.Name), error);
        ++sessions;

        // Each session walks a part of the herd through the crush, one every half minute.
        const int first = pick(int(herd.size()) - p.scans);
        const double lat = kFarmLat + uniform(-0.004, 0.004);
        const double lon = kFarmLon + uniform(-0.004, 0.004);
        for (int i = 0; i < p.scans; ++i) {
            TScan c;
            c.SessionUid = s.Uid;
            c.Uid = uidFor(s.Uid + QLatin1Char('/') + QString::number(i));
            c.Eid = herd[size_t(first + i)];
            c.Creator = email;
            c.Date = s.Date + (i * 30 + pick(20)) / 86400.0;
            c.Latitude = lat + uniform(-0.0002, 0.0002);
            c.Longitude = lon + uniform(-0.0002, 0.0002);
            c.PremiseId = QStringLiteral("NE307221");
            c.Herdcode = QStringLiteral("KSTR");
            c.Sequence = i + 1;
            c.VisibleID = QString::number(first + i + 1);
            const QString v1 = s.Value1Name;
            if (v1.startsWith(QLatin1String("Weight")))
                c.Value1 = QString::number(int(uniform(180, 620)));
            else if (v1 == QLatin1String("Sex"))
                c.Value1 = pick(2) ? QStringLiteral("M") : QStringLiteral("F");
            else if (v1 == QLatin1String("Pregnant"))
                c.Value1 = pick(5) ? QStringLiteral("Y") : QStringLiteral("N");
            else
                c.Value1 = QString::number(i + 1);
            c.Value2 = s.Value2Name == QLatin1String("Pen")
                ? QString(QLatin1Char(char('A' + pick(4))))
                : QString::number(1 + pick(5));
            c.Value3 = pick(3) ? QString() : QStringLiteral("Checked");
            if (!AzureStore(c, &error))
                return fail(QStringLiteral("scan %1 of \"%2\"").arg(i + 1).arg(s.Name), error);
            ++scans;
        }
    }

    // Visible IDs that the user typed in for part of the herd.
    for (size_t i = 0; i < herd.size(); i += 3) {
        TVisIDLookup l;
        l.Creator = email;
        l.Eid = herd[i];
        l.VisibleID = QStringLiteral("Y%1").arg(int(i) + 1, 4, 10, QLatin1Char('0'));
        l.Date = fromQDateTime(
            QDateTime(QDate(2025, 4, 8), QTime(12, 0), Qt::LocalTime).addDays(qint64(i)));
        if (!ValidEID(l.Eid))
            return fail(QStringLiteral("lookup"), QStringLiteral("invalid EID ") + l.Eid);
        if (!AzureStore(l, &error))
            return fail(QStringLiteral("lookup of %1").arg(l.Eid), error);
        ++lookups;
    }

    std::fprintf(stderr, "seed-demo: %d sessions, %d scans and %d lookups for %s at %s\n", sessions,
        scans, lookups, qPrintable(email), qPrintable(azConn->baseUrl()));
    AzureStop();
    return 0;
}
