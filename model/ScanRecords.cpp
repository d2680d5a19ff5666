#include "ScanRecords.h"

namespace {
template<class List> void freeList(List &list)
{
    while (!list.empty())
        list.pop_back();
}
} // namespace

void FreeScanSessionList(TScanSessionList &list)
{
    freeList(list);
}

void FreeScanList(TScanList &list)
{
    freeList(list);
}

void FreeLookupList(TVisIDLookupList &list)
{
    freeList(list);
}

ScanCounts countScans(const TScanSessionList &sessions)
{
    ScanCounts c;
    c.SessionCount = int(sessions.size());
    for (const auto &s : sessions)
        if (!s->Uid.isEmpty())
            c.ScanCount += s->Count;
    return c;
}

QString statusLine(const ScanCounts &counts)
{
    return QString::asprintf(
        "You have %d scans in %d sessions", counts.ScanCount, counts.SessionCount);
}
