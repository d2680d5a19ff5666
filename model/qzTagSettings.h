#pragma once

#include "ScanRecords.h"

#include <QString>

#include <stdexcept>

// Raised by Save when the settings file cannot be written.
class ESettingsWriteError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

struct TTagSettings
{
    QString Email;
    QString Password;
    QString Name;
    QString ScanDateFormat;
    TDateTime LastLogin = 0.0;
    TDateTime LastSync = 0.0;
    bool NewUser = false;
    TDateTime TagBaseDate = 43101.0; // 2018-01-01 00:00
    bool Admin = false;

    void Load();
    void Save();
};

extern TTagSettings TagSettings;

// The settings file: OrvaloPath + "Kestrun.ini".
QString tagSettingsFileName();
// Back to the state at program start, for tests.
void resetTagSettings();

// The regional texts of date-times in the settings file.
QString settingsDateTimeToString(TDateTime dt);
bool settingsDateTimeFromString(const QString &text, TDateTime &out);
