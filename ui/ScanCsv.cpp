#include "ScanCsv.h"

#include <QDate>
#include <QFile>

#include <cmath>

namespace {
constexpr qint64 kMsPerDay = 86400000;

void append2(QString &out, int n)
{
    out += QChar(u'0' + (n / 10) % 10);
    out += QChar(u'0' + n % 10);
}

void append4(QString &out, int n)
{
    out += QChar(u'0' + (n / 1000) % 10);
    out += QChar(u'0' + (n / 100) % 10);
    append2(out, n % 100);
}

// The first punctuation between the fields of a Qt date or time format, quoted parts skipped.
QChar separatorOf(const QString &format, QChar fallback)
{
    bool inQuote = false;
    bool seenField = false;
    for (const QChar c : format) {
        if (c == QLatin1Char('\'')) {
            inQuote = !inQuote;
            continue;
        }
        if (inQuote)
            continue;
        if (c.isLetter()) {
            seenField = true;
            continue;
        }
        if (seenField && !c.isSpace())
            return c;
    }
    return fallback;
}
} // namespace

QString scanFieldName(TScanField field)
{
    switch (field) {
    case TScanField::VisibleID:
        return QStringLiteral("VisibleID");
    case TScanField::EID:
        return QStringLiteral("EID");
    case TScanField::Date:
        return QStringLiteral("Date");
    case TScanField::Value1:
        return QStringLiteral("Value1");
    case TScanField::Value2:
        return QStringLiteral("Value2");
    case TScanField::Value3:
        return QStringLiteral("Value3");
    case TScanField::Sequence:
        return QStringLiteral("Sequence");
    case TScanField::PremiseID:
        return QStringLiteral("PremiseID");
    }
    return {};
}

QString scanFieldCaption(TScanField field, const TScanSession &session)
{
    switch (field) {
    case TScanField::Value1:
        return session.Value1Name;
    case TScanField::Value2:
        return session.Value2Name;
    case TScanField::Value3:
        return session.Value3Name.isEmpty() ? QStringLiteral("Value3") : session.Value3Name;
    default:
        return scanFieldName(field);
    }
}

bool scanFieldFromName(const QString &name, TScanField &field)
{
    for (int i = 0; i < ScanFieldCount; ++i) {
        if (scanFieldName(TScanField(i)).compare(name, Qt::CaseInsensitive) == 0) {
            field = TScanField(i);
            return true;
        }
    }
    return false;
}

const QStringList &ScanDateFormats()
{
    static const QStringList formats {
        QStringLiteral("YYYY-MM-DD HH:MM:SS"),
        QStringLiteral("YYYY-MM-DD HH:MM"),
        QStringLiteral("MM/DD/YY HH:MM:SS"),
        QStringLiteral("MM/DD/YY HH:MM"),
        QStringLiteral("MM/DD/YY"),
        QStringLiteral("MM/DD/YYYY HH:MM:SS"),
        QStringLiteral("MM/DD/YYYY HH:MM"),
        QStringLiteral("MM/DD/YYYY"),
        QStringLiteral("DD/MM/YY HH:MM:SS"),
        QStringLiteral("DD/MM/YY HH:MM"),
        QStringLiteral("DD/MM/YY"),
        QStringLiteral("DD/MM/YYYY HH:MM:SS"),
        QStringLiteral("DD/MM/YYYY HH:MM"),
        QStringLiteral("DD/MM/YYYY"),
    };
    return formats;
}

int scanDateFormatIndex(const QString &pattern)
{
    const QStringList &formats = ScanDateFormats();
    for (int i = 0; i < formats.size(); ++i)
        if (formats[i].compare(pattern, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

TDateSeparators regionalSeparators(const QLocale &locale)
{
    TDateSeparators s;
    s.date = separatorOf(locale.dateFormat(QLocale::ShortFormat), QLatin1Char('/'));
    s.time = separatorOf(locale.timeFormat(QLocale::ShortFormat), QLatin1Char(':'));
    return s;
}

TScanDatePattern::TScanDatePattern(const QString &pattern, TDateSeparators separators)
{
    bool afterHour = false;
    auto literal = [this](const QString &text) {
        if (!m_tokens.empty() && m_tokens.back().part == Part::Literal)
            m_tokens.back().text += text;
        else
            m_tokens.push_back({Part::Literal, text});
    };
    for (qsizetype i = 0; i < pattern.size();) {
        const QChar c = pattern[i];
        if (!c.isLetter()) {
            if (c == QLatin1Char('/'))
                literal(QString(separators.date));
            else if (c == QLatin1Char(':'))
                literal(QString(separators.time));
            else
                literal(QString(c));
            ++i;
            continue;
        }
        qsizetype n = 1;
        while (i + n < pattern.size() && pattern[i + n].toUpper() == c.toUpper())
            ++n;
        const QString run = pattern.mid(i, n);
        const QString upper = run.toUpper();
        Part part = Part::Literal;
        if (upper == QLatin1String("YYYY"))
            part = Part::Year4;
        else if (upper == QLatin1String("YY"))
            part = Part::Year2;
        else if (upper == QLatin1String("MM"))
            part = afterHour ? Part::Minute : Part::Month;
        else if (upper == QLatin1String("DD"))
            part = Part::Day;
        else if (upper == QLatin1String("HH"))
            part = Part::Hour;
        else if (upper == QLatin1String("SS"))
            part = Part::Second;
        if (part == Part::Literal)
            literal(run);
        else
            m_tokens.push_back({part, {}});
        afterHour = part == Part::Hour;
        i += n;
    }
}

void TScanDatePattern::appendTo(QString &out, TDateTime dt) const
{
    // To the millisecond first, as the day counts are everywhere else.
    const qint64 total = std::llround(dt * double(kMsPerDay));
    qint64 days = total / kMsPerDay;
    qint64 rest = total % kMsPerDay;
    if (rest < 0) {
        rest += kMsPerDay;
        --days;
    }
    int year = 0, month = 0, day = 0;
    QDate(1899, 12, 30).addDays(days).getDate(&year, &month, &day);
    const int secs = int(rest / 1000);
    for (const Token &t : m_tokens) {
        switch (t.part) {
        case Part::Literal:
            out += t.text;
            break;
        case Part::Year4:
            append4(out, std::abs(year));
            break;
        case Part::Year2:
            append2(out, std::abs(year) % 100);
            break;
        case Part::Month:
            append2(out, month);
            break;
        case Part::Day:
            append2(out, day);
            break;
        case Part::Hour:
            append2(out, secs / 3600);
            break;
        case Part::Minute:
            append2(out, secs / 60 % 60);
            break;
        case Part::Second:
            append2(out, secs % 60);
            break;
        }
    }
}

QString TScanDatePattern::format(TDateTime dt) const
{
    QString out;
    appendTo(out, dt);
    return out;
}

TExportColumns defaultExportColumns()
{
    TExportColumns columns;
    for (int i = 0; i < ScanFieldCount; ++i)
        columns.push_back({TScanField(i), true, false});
    return columns;
}

namespace {
void appendFieldText(
    QString &out, const TScan &scan, TScanField field, const TScanDatePattern &pattern)
{
    switch (field) {
    case TScanField::VisibleID:
        out += scan.VisibleID;
        break;
    case TScanField::EID:
        out += scan.Eid;
        break;
    case TScanField::Date:
        pattern.appendTo(out, scan.Date);
        break;
    case TScanField::Value1:
        out += scan.Value1;
        break;
    case TScanField::Value2:
        out += scan.Value2;
        break;
    case TScanField::Value3:
        out += scan.Value3;
        break;
    case TScanField::Sequence:
        out += QString::number(scan.Sequence);
        break;
    case TScanField::PremiseID:
        out += scan.PremiseId;
        break;
    }
}
} // namespace

QString scanFieldText(const TScan &scan, TScanField field, const TScanDatePattern &pattern)
{
    QString out;
    appendFieldText(out, scan, field, pattern);
    return out;
}

void appendScanLine(
    QString &out, const TScan &scan, const TExportColumns &columns, const TScanDatePattern &pattern)
{
    bool first = true;
    for (const TExportColumn &c : columns) {
        if (!c.Export)
            continue;
        if (!first)
            out += QLatin1Char(',');
        first = false;
        if (!c.Quoted) {
            appendFieldText(out, scan, c.Field, pattern);
            continue;
        }
        // A quoted value must read back as one field with its exact text: inner quotes doubled.
        QString value;
        appendFieldText(value, scan, c.Field, pattern);
        out += QLatin1Char('"');
        if (value.contains(QLatin1Char('"')))
            out += QString(value).replace(QLatin1String("\""), QLatin1String("\"\""));
        else
            out += value;
        out += QLatin1Char('"');
    }
}

QString scanLine(const TScan &scan, const TExportColumns &columns, const TScanDatePattern &pattern)
{
    QString out;
    appendScanLine(out, scan, columns, pattern);
    return out;
}

QString exportText(
    const TScanRefs &scans, const TExportColumns &columns, const TScanDatePattern &pattern)
{
    QString out;
    out.reserve(qsizetype(scans.size()) * 96);
    for (const TScan *s : scans) {
        appendScanLine(out, *s, columns, pattern);
        out += QLatin1Char('\n');
    }
    return out;
}

QStringList textLines(const QString &text)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c != u'\n' && c != u'\r' && c != 0x2028 && c != 0x2029)
            continue;
        lines << text.mid(start, i - start);
        if (c == u'\r' && i + 1 < n && text[i + 1] == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < n)
        lines << text.mid(start);
    return lines;
}

QByteArray toCodePage1252(QStringView text)
{
    // 0x80..0x9F of code page 1252; 0 where the page has no character (those bytes keep
    // their C1 control code point, as the system's conversion does).
    static const char16_t high[32]
        = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
            0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
            0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    QByteArray out;
    out.resize(text.size());
    char *p = out.data();
    qsizetype len = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
            p[len++] = char(c);
            continue;
        }
        char b = '?';
        for (int k = 0; k < 32; ++k) {
            if (high[k] == c) {
                b = char(0x80 + k);
                break;
            }
        }
        // A character outside the basic plane is one "?", not two.
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        p[len++] = b;
    }
    out.truncate(len);
    return out;
}

QByteArray csvFileBytes(const QStringList &lines)
{
    QString text;
    qsizetype size = 0;
    for (const QString &l : lines)
        size += l.size() + 2;
    text.reserve(size);
    for (const QString &l : lines) {
        text += l;
        text += QLatin1String("\r\n");
    }
    return toCodePage1252(text);
}

bool writeCsvFile(const QString &fileName, const QByteArray &bytes, QString *error)
{
    QFile f(fileName);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        if (error)
            *error = QStringLiteral("Cannot create file \"%1\". %2").arg(fileName, f.errorString());
        return false;
    }
    if (f.write(bytes) != bytes.size() || !f.flush()) {
        if (error)
            *error = QStringLiteral("Cannot write file \"%1\". %2").arg(fileName, f.errorString());
        return false;
    }
    f.close();
    if (f.error() != QFileDevice::NoError) {
        if (error)
            *error = QStringLiteral("Cannot write file \"%1\". %2").arg(fileName, f.errorString());
        return false;
    }
    return true;
}
