#pragma once

#include "ScanRecords.h"

#include <QString>

// The CREATE TABLE statement of each record's local table.
template<class T> QString TableCreate();
template<> QString TableCreate<TScanSession>();
template<> QString TableCreate<TScan>();
template<> QString TableCreate<TVisIDLookup>();

// Writers on the open connection; true when the statement ran. Each commits on its own
// unless the caller opened a transaction.
bool dbInsert(const TScanSession &s);
bool dbUpdate(const TScanSession &s);
bool dbInsert(const TScan &s);
bool dbInsert(const TVisIDLookup &l);
bool dbUpdate(const TVisIDLookup &l);

// A number as the store keeps it: rounded to 15 significant digits.
double round15(double v);
