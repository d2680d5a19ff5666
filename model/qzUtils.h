#pragma once

#include "ScanRecords.h"

#include <QDateTime>
#include <QString>

#include <cstdint>
#include <stdexcept>

// Raised for an impossible calendar date or a local time that does not exist.
class EConvertError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// Raised when a file exists but cannot be opened.
class EInOutError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

// 1970-01-01 01:01:01.001: a date the cloud did not supply or that cannot be read.
extern TDateTime NullDate;
// The settings folder with a trailing separator; empty until SetOrvaloPath runs.
extern QString OrvaloPath;

QString GetUTCTimeStr(TDateTime dt);
TDateTime GetLocalTime(TDateTime UTCDate);
QString DeQuote(const QString &S);
bool IsValidEmail(const QString &Value);
int GetTokenCount(const QString &aString, const QString &SepChar);
bool ValidEID(const QString &Eid);
QString FakeEID();
QString MMDDYYToSQLDateStr(const QString &S, int DaysToAdd);
TDateTime SqlDateToDate(const QString &S);
int StripInt(const QString &Line, int Col, int Len);
int GetFileSize(const QString &FileName);
QString EncryptStr(const QString &S, uint16_t Key);
QString DecryptStr(const QString &S, uint16_t Key);
void SetOrvaloPath();

// Day counts and Qt date-times. A wall-clock QDateTime of the given spec is built from the
// count's date and time of day, rounded to the millisecond.
QDateTime toQDateTime(TDateTime dt, Qt::TimeSpec spec = Qt::LocalTime);
TDateTime fromQDateTime(const QDateTime &qdt);
TDateTime encodeDate(int year, int month, int day); // raises EConvertError
TDateTime nowLocal();
// Seconds east of UTC at a local date-time; raises EConvertError inside a skipped hour.
int localOffsetAt(TDateTime dt);
// The count with its milliseconds cleared.
TDateTime truncateToSecond(TDateTime dt);

// The process-wide generator, seeded from the clock at start; uniform in [0, n).
int RandomInt(int n);
void seedRandom(uint32_t seed);

// An optional sign and decimal digits only; false otherwise.
bool parseStrictInt(const QString &s, int &out);
