#pragma once

// The text of a CSV export, without any window: field choice, quoting, order and date
// patterns, and the bytes of the file. The export dialog and kestrun-cli share it.

#include "ScanRecords.h"

#include <QByteArray>
#include <QChar>
#include <QLocale>
#include <QString>
#include <QStringList>

#include <vector>

// The scan fields a line can hold, in their default order.
enum class TScanField { VisibleID, EID, Date, Value1, Value2, Value3, Sequence, PremiseID };
constexpr int ScanFieldCount = 8;

// The field's name in the grid, with the session's value names standing in for the values
// ("Value3" when the third is empty).
QString scanFieldCaption(TScanField field, const TScanSession &session);
// The fixed name of a field, as kestrun-cli takes it: "VisibleID", "EID", "Date", "Value1",
// "Value2", "Value3", "Sequence", "PremiseID".
QString scanFieldName(TScanField field);
// The field of a fixed name, ignoring letter case; false when there is none.
bool scanFieldFromName(const QString &name, TScanField &field);

// The 14 date patterns of the export, in list order.
const QStringList &ScanDateFormats();
// The position of the pattern among them, ignoring letter case; -1 when it is none of them.
int scanDateFormatIndex(const QString &pattern);

// The regional separators that "/" and ":" of a pattern stand for.
struct TDateSeparators
{
    QChar date = QLatin1Char('/');
    QChar time = QLatin1Char(':');
};
TDateSeparators regionalSeparators(const QLocale &locale = QLocale());

// A date pattern read once and applied to many dates. Letters in any case: YYYY, YY, MM (the
// minute when it follows an HH with only non-letters between), DD, HH, SS; "/" and ":" become
// the regional separators; everything else is copied.
class TScanDatePattern
{
public:
    explicit TScanDatePattern(const QString &pattern, TDateSeparators separators = {});
    void appendTo(QString &out, TDateTime dt) const;
    QString format(TDateTime dt) const;

private:
    enum class Part { Literal, Year4, Year2, Month, Day, Hour, Minute, Second };
    struct Token
    {
        Part part;
        QString text;
    };
    std::vector<Token> m_tokens;
};

// One field row of the export: which field, and its two check boxes.
struct TExportColumn
{
    TScanField Field = TScanField::VisibleID;
    bool Export = true;
    bool Quoted = false;
};
using TExportColumns = std::vector<TExportColumn>;

// The eight fields in their default order, all exported, none quoted.
TExportColumns defaultExportColumns();

// The text a field gives for a scan.
QString scanFieldText(const TScan &scan, TScanField field, const TScanDatePattern &pattern);
// One scan's line: the exported fields joined by ",", quoted ones in double quotes with every
// double quote inside doubled; empty when no field is exported.
void appendScanLine(QString &out, const TScan &scan, const TExportColumns &columns,
    const TScanDatePattern &pattern);
QString scanLine(const TScan &scan, const TExportColumns &columns, const TScanDatePattern &pattern);
// Every scan's line, in list order, each followed by a line feed: the preview's text.
QString exportText(
    const TScanRefs &scans, const TExportColumns &columns, const TScanDatePattern &pattern);

// The lines of a text as a multi-line text box holds them: split at CR LF, CR, LF and the
// Unicode line and paragraph separators; a last empty line (after a final break) is not one.
QStringList textLines(const QString &text);
// Code page 1252; a character it lacks becomes "?".
QByteArray toCodePage1252(QStringView text);
// The file: every line followed by CR LF, in code page 1252, no byte-order mark.
QByteArray csvFileBytes(const QStringList &lines);
// Writes the bytes, replacing the file; false with the system's reason when it cannot.
bool writeCsvFile(const QString &fileName, const QByteArray &bytes, QString *error);
