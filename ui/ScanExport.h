#pragma once

#include "ScanRecords.h"

// Shows the CSV export dialog modally for the scans (a non-empty selection the caller owns)
// and the session whose value names label the value fields; returns when it closes. An empty
// Value3Name of the session is set to "Value3".
void ExportScans(const TScanRefs &Scans, TScanSession &Session);
