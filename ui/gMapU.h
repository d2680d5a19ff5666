#pragma once

#include "ScanRecords.h"

// Puts one marker per scan on the map window, centred on the first scan with a position, and
// shows it modally; returns when it closes. The caller owns the list and the records.
void ShowScansOnMap(const TScanRefs &Scans);

// The latitude `meters` metres north (negative: south) of `latitude`, in degrees.
double AddMetersToLatitude(double latitude, double meters);
// The longitude `meters` metres east (negative: west) of `longitude` on the parallel `latitude`.
double AddMetersToLongitude(double longitude, double latitude, double meters);
