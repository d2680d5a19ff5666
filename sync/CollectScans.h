#pragma once

#include "ScanRecords.h"

#include <QString>
#include <QStringList>

#include <functional>

struct SyncProgress
{
    int sessionsDone = 0;
    int sessionsTotal = 0;
    int scansWritten = 0;
};
using SyncProgressFn = std::function<void(const SyncProgress &)>;

struct SyncOutcome
{
    // "No new scans" or "Updated %d sessions and %d scans", followed by what failed, if
    // anything did.
    QString resultLine;
    int NewSessions = 0;
    int NewScans = 0;
    // One plain-language sentence per failure; empty when the whole run succeeded.
    QStringList failures;
    // Where the time went: waiting on the table service, and the whole run.
    qint64 cloudNs = 0;
    qint64 totalNs = 0;
    bool failed() const { return !failures.isEmpty(); }
};

// The merge of the user's cloud sessions, scans and lookups into the local store. The lists
// hold the local store's contents on entry and are reloaded from it on return. A changed
// session is written, with its scans, in one transaction and only after its cloud scans were
// read completely; a session whose scans could not be read is left as it was.
SyncOutcome SyncWithAzure(TScanSessionList &ScanSessionList, TVisIDLookupList &VisIdLookupList,
    const QString &dbFileName, const SyncProgressFn &progress = {});

// A later than B by more than two seconds, both taken to whole milliseconds first.
bool laterByMoreThanTwoSeconds(TDateTime a, TDateTime b);

enum class CollectStatus {
    NoAccount, // no stored account, and none was given when asked
    LoginRefused, // the account service said no; text holds its reason
    Done, // text holds the result line
    Failed, // the merge ran but something failed; text says what
};

struct CollectResult
{
    CollectStatus status = CollectStatus::Done;
    QString text;
    SyncOutcome outcome;
};

// The Collect Scans flow that the window and the command line share: asks for a log-in when
// no account is stored (askLogin opens the dialog; the settings are then read again), logs in
// with the stored account, runs the merge. merging runs once the log-in was accepted, just
// before the merge starts (the window paints its busy caption then).
CollectResult CollectScans(TScanSessionList &ScanSessionList, TVisIDLookupList &VisIdLookupList,
    const QString &dbFileName, const std::function<void()> &askLogin = {},
    const SyncProgressFn &progress = {}, const std::function<void()> &merging = {});
