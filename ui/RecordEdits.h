#pragma once

#include "ScanRecords.h"

#include <QString>

// The two edits the pages make to stored records, written to the cloud and to the local
// store, without a window: the Sessions and Visible IDs pages and kestrun-cli share them.

enum class EditStatus {
    Done, // cloud and local store written, the list reloaded
    CloudFailed, // nothing written anywhere, the record in memory as it was
    LocalStoreClosed // the database did not open: only the record in memory changed
};

struct EditResult
{
    EditStatus status = EditStatus::Done;
    QString error; // the cloud's reason when CloudFailed
};

// The page's confirmation question.
QString archiveQuestion(const TScanSession &session);
// The message when the cloud refused or could not be reached.
QString archiveFailedText(const TScanSession &session, const QString &reason);
QString visibleIdFailedText(const TVisIDLookup &lookup, const QString &reason);

// Marks the session archived ("D") in the cloud first, then in the local store, and replaces
// list with the stored sessions. A failed cloud write leaves both stores and the record as
// they were, so they agree and the user can try again. session may belong to list: after
// Done it is released with the old list.
EditResult archiveSession(TScanSessionList &list, TScanSession &session, const QString &dbFileName);

// Gives the lookup a new visible ID (as typed, possibly empty) in the cloud and in the local
// store, then replaces list with the stored lookups. The cloud is written first, so that a
// failure leaves the local store unchanged too (the next Collect Scans would otherwise put
// the cloud's old value back over the edit). lookup may belong to list, as above.
EditResult setVisibleId(TVisIDLookupList &list, TVisIDLookup &lookup, const QString &visibleId,
    const QString &dbFileName);
