#include "cliFormat.h"

#include <charconv>

namespace {
QString num(double v)
{
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::general, 15);
    return QString::fromLatin1(buf, res.ptr - buf);
}

QString num(int v)
{
    return QString::number(v);
}

QString join(std::initializer_list<QString> values)
{
    QStringList cells;
    cells.reserve(qsizetype(values.size()));
    for (const QString &v : values)
        cells.append(tsvEscape(v));
    return cells.join(QLatin1Char('\t'));
}
} // namespace

QString tsvEscape(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (QChar c : value) {
        switch (c.unicode()) {
        case '\\':
            out += QLatin1String("\\\\");
            break;
        case '\t':
            out += QLatin1String("\\t");
            break;
        case '\r':
            out += QLatin1String("\\r");
            break;
        case '\n':
            out += QLatin1String("\\n");
            break;
        default:
            out += c;
        }
    }
    return out;
}

QStringList sessionsTsv(const TScanSessionList &list)
{
    QStringList lines {QStringLiteral(
        "Id\tDate\tTimeStamp\tName\tUid\tCount\tCreator\tPromptOption\tValue1Name\tValue1Format\t"
        "Value1Default\tValue2Name\tValue2Format\tValue2Default\tValue3Name\tValue3Format\t"
        "Value3Default\tMStatus\tDStatus")};
    for (const auto &s : list)
        lines.append(join({num(s->Id), num(s->Date), num(s->TimeStamp), s->Name, s->Uid,
            num(s->Count), s->Creator, s->PromptOption, s->Value1Name, s->Value1Format,
            s->Value1Default, s->Value2Name, s->Value2Format, s->Value2Default, s->Value3Name,
            s->Value3Format, s->Value3Default, s->MStatus, s->DStatus}));
    return lines;
}

QStringList scansTsv(const TScanList &list)
{
    QStringList lines {QStringLiteral(
        "Id\tTimeStamp\tEid\tVisibleID\tSessionUid\tUid\tDate\tLatitude\tLongitude\tValue1\t"
        "Value2\tValue3\tPremiseId\tCreator\tSequence\tMStatus\tDStatus\tHerdcode")};
    for (const auto &s : list)
        lines.append(
            join({num(s->Id), num(s->TimeStamp), s->Eid, s->VisibleID, s->SessionUid, s->Uid,
                num(s->Date), num(s->Latitude), num(s->Longitude), s->Value1, s->Value2, s->Value3,
                s->PremiseId, s->Creator, num(s->Sequence), s->MStatus, s->DStatus, s->Herdcode}));
    return lines;
}

QStringList lookupsTsv(const TVisIDLookupList &list)
{
    QStringList lines {
        QStringLiteral("Id\tCreator\tEid\tName\tTimeStamp\tDate\tVisibleID\tMStatus\tDStatus")};
    for (const auto &l : list)
        lines.append(join({num(l->Id), l->Creator, l->Eid, l->Name, num(l->TimeStamp), num(l->Date),
            l->VisibleID, l->MStatus, l->DStatus}));
    return lines;
}
