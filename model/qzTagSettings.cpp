#include "qzTagSettings.h"

#include "IniFile.h"
#include "qzConfig.h"
#include "qzUtils.h"

#include <QLocale>

TTagSettings TagSettings;

namespace {
const QString kSection = QStringLiteral("TagSettings");
constexpr uint16_t kPasswordKey = uint16_t(KESTRUN_SETTINGS_KEY);

void ensureOrvaloPath()
{
    if (OrvaloPath.isEmpty())
        SetOrvaloPath();
}

// The short date with a four-digit year: a two-digit year would read back a century off.
QString dateFormat(const QLocale &loc)
{
    QString f = loc.dateFormat(QLocale::ShortFormat);
    if (!f.contains(QLatin1String("yyyy")))
        f.replace(QLatin1String("yy"), QLatin1String("yyyy"));
    return f;
}

// The long time without its zone name, which does not parse back.
QString timeFormat(const QLocale &loc)
{
    QString f = loc.timeFormat(QLocale::LongFormat);
    f.remove(QLatin1Char('t'));
    return f.simplified();
}
} // namespace

QString tagSettingsFileName()
{
    ensureOrvaloPath();
    return OrvaloPath + QStringLiteral("Kestrun.ini");
}

void resetTagSettings()
{
    TagSettings = TTagSettings();
}

QString settingsDateTimeToString(TDateTime dt)
{
    const QLocale loc;
    const QDateTime qdt = toQDateTime(dt, Qt::LocalTime);
    QString text = loc.toString(qdt.date(), dateFormat(loc));
    if (qdt.time().msecsSinceStartOfDay() != 0)
        text += QLatin1Char(' ') + loc.toString(qdt.time(), timeFormat(loc));
    return text;
}

bool settingsDateTimeFromString(const QString &text, TDateTime &out)
{
    const QLocale loc;
    const QString t = text.trimmed();
    QDateTime qdt = loc.toDateTime(t, dateFormat(loc) + QLatin1Char(' ') + timeFormat(loc));
    if (!qdt.isValid()) {
        const QDate d = loc.toDate(t, dateFormat(loc));
        if (!d.isValid())
            return false;
        qdt = QDateTime(d, QTime(0, 0));
    }
    out = fromQDateTime(qdt);
    return true;
}

void TTagSettings::Load()
{
    IniFile ini(tagSettingsFileName());
    ini.load();
    Email = ini.value(kSection, QStringLiteral("Email"));
    Password = DecryptStr(ini.value(kSection, QStringLiteral("Password")), kPasswordKey);
    Name = ini.value(kSection, QStringLiteral("Name"));
    ScanDateFormat = ini.value(kSection, QStringLiteral("ScanDateFormat"));
    const TDateTime fallback = TagBaseDate - 1;
    if (!settingsDateTimeFromString(ini.value(kSection, QStringLiteral("LastLogin")), LastLogin))
        LastLogin = fallback;
    if (!settingsDateTimeFromString(ini.value(kSection, QStringLiteral("LastSync")), LastSync))
        LastSync = fallback;
    NewUser = Email.isEmpty() || Password.isEmpty();
    int admin = 0;
    Admin = parseStrictInt(ini.value(kSection, QStringLiteral("Admin")).trimmed(), admin)
        && admin == KESTRUN_ADMIN_VALUE;
}

void TTagSettings::Save()
{
    IniFile ini(tagSettingsFileName());
    ini.load();
    ini.setValue(kSection, QStringLiteral("Email"), Email);
    ini.setValue(kSection, QStringLiteral("Password"), EncryptStr(Password, kPasswordKey));
    ini.setValue(kSection, QStringLiteral("Name"), Name);
    ini.setValue(kSection, QStringLiteral("ScanDateFormat"), ScanDateFormat);
    ini.setValue(kSection, QStringLiteral("LastLogin"), settingsDateTimeToString(LastLogin));
    ini.setValue(kSection, QStringLiteral("LastSync"), settingsDateTimeToString(LastSync));
    QString error;
    if (!ini.save(&error))
        throw ESettingsWriteError(error.toStdString());
}
