#include "qzUtils.h"

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTimeZone>

#include <chrono>
#include <cmath>
#include <limits>
#include <random>

namespace {
constexpr double kUnixEpochDays = 25569.0; // 1970-01-01 as a day count
constexpr qint64 kMsPerDay = 86400000;

std::mt19937 &generator()
{
    static std::mt19937 gen(
        static_cast<uint32_t>(std::chrono::system_clock::now().time_since_epoch().count()));
    return gen;
}

qint64 toMs(TDateTime dt)
{
    return std::llround((dt - kUnixEpochDays) * double(kMsPerDay));
}

TDateTime fromMs(qint64 ms)
{
    return kUnixEpochDays + double(ms) / double(kMsPerDay);
}

bool isBlankOrControl(QChar c)
{
    return c.unicode() <= 32;
}

QString trimControl(const QString &s)
{
    qsizetype b = 0, e = s.size();
    while (b < e && isBlankOrControl(s[b]))
        ++b;
    while (e > b && isBlankOrControl(s[e - 1]))
        --e;
    return s.mid(b, e - b);
}

bool checkAllowed(const QString &s)
{
    for (QChar c : s) {
        const char16_t u = c.unicode();
        const bool ok = (u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9')
            || u == '-' || u == '.' || u == '_';
        if (!ok)
            return false;
    }
    return true;
}

int intOrZero(const QString &s)
{
    int v = 0;
    return parseStrictInt(s, v) ? v : 0;
}

// Qt strings count from 0; these routines' positions count from 1.
QString copy(const QString &s, int pos1, int len)
{
    if (len <= 0)
        return {};
    if (pos1 < 1)
        pos1 = 1;
    if (pos1 > s.size())
        return {};
    return s.mid(pos1 - 1, len);
}

uint16_t nextKey(uint8_t c, uint16_t key)
{
    return static_cast<uint16_t>((uint32_t(c) + key) * 90617u + 93921u);
}

int hexDigit(char16_t c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}
} // namespace

TDateTime NullDate = kUnixEpochDays + 3661.001 / 86400.0;
QString OrvaloPath;

bool parseStrictInt(const QString &s, int &out)
{
    qsizetype i = 0;
    bool neg = false;
    if (i < s.size() && (s[i] == u'+' || s[i] == u'-')) {
        neg = s[i] == u'-';
        ++i;
    }
    if (i == s.size())
        return false;
    int64_t v = 0;
    for (; i < s.size(); ++i) {
        const char16_t c = s[i].unicode();
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
        if (v > int64_t(std::numeric_limits<int>::max()) + 1)
            return false;
    }
    if (neg)
        v = -v;
    if (v > std::numeric_limits<int>::max() || v < std::numeric_limits<int>::min())
        return false;
    out = int(v);
    return true;
}

QDateTime toQDateTime(TDateTime dt, Qt::TimeSpec spec)
{
    const qint64 ms = toMs(dt);
    qint64 days = ms / kMsPerDay;
    qint64 rest = ms % kMsPerDay;
    if (rest < 0) {
        rest += kMsPerDay;
        --days;
    }
    const QDate date = QDate(1970, 1, 1).addDays(days);
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(int(rest)), spec);
}

TDateTime fromQDateTime(const QDateTime &qdt)
{
    const qint64 days = QDate(1970, 1, 1).daysTo(qdt.date());
    return fromMs(days * kMsPerDay + qdt.time().msecsSinceStartOfDay());
}

TDateTime encodeDate(int year, int month, int day)
{
    const QDate d(year, month, day);
    if (!d.isValid() || year < 1 || year > 9999)
        throw EConvertError(QStringLiteral("'%1-%2-%3' is not a valid date")
                                .arg(year)
                                .arg(month)
                                .arg(day)
                                .toStdString());
    return kUnixEpochDays + double(QDate(1970, 1, 1).daysTo(d));
}

TDateTime nowLocal()
{
    return fromQDateTime(QDateTime::currentDateTime());
}

TDateTime truncateToSecond(TDateTime dt)
{
    const qint64 ms = toMs(dt);
    qint64 s = ms / 1000;
    if (ms % 1000 < 0)
        --s;
    return fromMs(s * 1000);
}

int localOffsetAt(TDateTime dt)
{
    const QDateTime local = toQDateTime(dt, Qt::LocalTime);
    // A local time inside the hour skipped by daylight-saving time does not exist.
    if (!local.isValid())
        throw EConvertError("local time does not exist (daylight-saving gap)");
    const int first = local.offsetFromUtc();
    // A repeated hour has two readings; the standard-time one is the later instant, so the
    // smallest offset that maps back to this wall-clock time wins.
    const qint64 wall = toMs(dt);
    auto offsetAtInstant = [](qint64 ms) {
        return QDateTime::fromMSecsSinceEpoch(ms, Qt::LocalTime).offsetFromUtc();
    };
    constexpr qint64 threeHours = 3 * 3600 * 1000;
    int best = first;
    for (int o : {offsetAtInstant(wall - first * 1000LL - threeHours),
             offsetAtInstant(wall - first * 1000LL + threeHours)})
        if (o < best && offsetAtInstant(wall - o * 1000LL) == o)
            best = o;
    return best;
}

QString GetUTCTimeStr(TDateTime dt)
{
    const int offset = localOffsetAt(dt);
    const QDateTime utc = toQDateTime(dt - offset / 86400.0, Qt::UTC);
    // Always ':' and '-': this text is a cloud value, not a display string.
    const QDate d = utc.date();
    const QTime t = utc.time();
    return QString::asprintf("%04d-%02d-%02dT%02d:%02d:%02d", d.year(), d.month(), d.day(),
        t.hour(), t.minute(), t.second());
}

TDateTime GetLocalTime(TDateTime UTCDate)
{
    return fromQDateTime(toQDateTime(UTCDate, Qt::UTC).toLocalTime());
}

QString DeQuote(const QString &S)
{
    QString r = S;
    r.remove(QLatin1Char('"'));
    return r;
}

bool IsValidEmail(const QString &Value)
{
    const qsizetype at = Value.indexOf(QLatin1Char('@'));
    if (at < 0)
        return false;
    const QString namePart = Value.left(at);
    const QString serverPart = Value.mid(at + 1);
    if (namePart.isEmpty() || serverPart.size() < 5)
        return false;
    const qsizetype dot = serverPart.indexOf(QLatin1Char('.'));
    if (dot < 0 || dot + 1 > serverPart.size() - 2)
        return false;
    return checkAllowed(namePart) && checkAllowed(serverPart);
}

int GetTokenCount(const QString &aString, const QString &SepChar)
{
    QString s = trimControl(aString);
    const QString twoBlanks(QStringLiteral("  "));
    qsizetype p;
    while ((p = s.indexOf(twoBlanks)) >= 0)
        s.remove(p, 1);
    if (s.isEmpty())
        return 1;
    int count = 1;
    if (SepChar.isEmpty())
        return count;
    qsizetype from = 0;
    while ((p = s.indexOf(SepChar, from)) >= 0) {
        ++count;
        from = p + 1;
    }
    return count;
}

bool ValidEID(const QString &Eid)
{
    if (Eid.size() != 15)
        return false;
    for (QChar c : Eid)
        if (c.unicode() < '0' || c.unicode() > '9')
            return false;
    return true;
}

QString FakeEID()
{
    return QString::number(982000420103750LL + RandomInt(100));
}

int RandomInt(int n)
{
    if (n <= 0)
        return 0;
    return std::uniform_int_distribution<int>(0, n - 1)(generator());
}

void seedRandom(uint32_t seed)
{
    generator().seed(seed);
}

QString MMDDYYToSQLDateStr(const QString &S, int DaysToAdd)
{
    const int year = intOrZero(copy(S, 5, 2));
    const int month = intOrZero(copy(S, 1, 2));
    const int day = intOrZero(copy(S, 3, 2));
    if (year == 0 || month == 0 || day == 0)
        return {};
    const TDateTime d = encodeDate(2000 + year, month, day) + DaysToAdd;
    return toQDateTime(d, Qt::UTC).date().toString(QStringLiteral("yyyy-MM-dd"));
}

TDateTime SqlDateToDate(const QString &S)
{
    const int year = intOrZero(copy(S, 1, 4));
    const int month = intOrZero(copy(S, 6, 2));
    const int day = intOrZero(copy(S, 9, 2));
    if (year == 0 || month == 0 || day == 0)
        return 0.0;
    return encodeDate(year, month, day);
}

int StripInt(const QString &Line, int Col, int Len)
{
    return intOrZero(trimControl(copy(Line, Col, Len)));
}

int GetFileSize(const QString &FileName)
{
    QFile f(FileName);
    if (!f.exists())
        return 0;
    // Read access is enough to learn the size; a read-only file has one too.
    if (!f.open(QIODevice::ReadOnly))
        throw EInOutError(
            QStringLiteral("cannot open %1: %2").arg(FileName, f.errorString()).toStdString());
    const qint64 size = f.size();
    f.close();
    return size > std::numeric_limits<int>::max() ? std::numeric_limits<int>::max() : int(size);
}

QString EncryptStr(const QString &S, uint16_t Key)
{
    const QByteArray bytes = S.toUtf8();
    QString out;
    out.reserve(bytes.size() * 2);
    static const char hex[] = "0123456789ABCDEF";
    for (char ch : bytes) {
        const uint8_t c = uint8_t(ch) ^ uint8_t(Key >> 8);
        Key = nextKey(c, Key);
        out.append(QLatin1Char(hex[c >> 4]));
        out.append(QLatin1Char(hex[c & 15]));
    }
    return out;
}

QString DecryptStr(const QString &S, uint16_t Key)
{
    const QString u = S.toUpper();
    const qsizetype n = u.size() / 2;
    QByteArray bytes;
    bytes.reserve(n);
    for (qsizetype i = 0; i < n; ++i) {
        const int hi = hexDigit(u[2 * i].unicode());
        const int lo = hexDigit(u[2 * i + 1].unicode());
        if (hi < 0 || lo < 0)
            return {};
        const uint8_t c = uint8_t(hi * 16 + lo);
        bytes.append(char(c ^ uint8_t(Key >> 8)));
        Key = nextKey(c, Key);
    }
    // Bytes that are not UTF-8 (a wrong key) come back with replacement characters.
    return QString::fromUtf8(bytes);
}

void SetOrvaloPath()
{
    const QString docs = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    const QString path = docs + QDir::separator() + QStringLiteral("orvalo");
    // The Documents folder itself may be missing on a fresh desktop; a failure shows up when
    // the settings file is written.
    QDir().mkpath(path);
    OrvaloPath = path + QDir::separator();
}
