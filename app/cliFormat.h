#pragma once

#include "ScanRecords.h"

#include <QString>
#include <QStringList>

// Tab-separated rows: a header of field names, then one line per record.
QString tsvEscape(const QString &value);
QStringList sessionsTsv(const TScanSessionList &list);
QStringList scansTsv(const TScanList &list);
QStringList lookupsTsv(const TVisIDLookupList &list);
