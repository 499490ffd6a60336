#pragma once
// A parsed GPS log written out for other tools: CSV, GPX 1.1 or GeoJSON.
// Numbers are written in the C locale whatever the user's locale is.
#include <string>
#include <string_view>

#include "gps/GpsLog.h"

namespace vantor {

enum class GpsExportFormat { Csv, Gpx, GeoJson };

// "csv", "gpx" or "geojson" (any case). False for anything else.
bool ParseGpsExportFormat(std::string_view name, GpsExportFormat& format);

// The calendar date of a packed nDate (year * 512 + month * 32 + day).
struct GpsDate {
  int year, month, day;
};
GpsDate UnpackGpsDate(int nDate);

// Time of day in seconds (0..86399) of record i: the first record's time of
// day plus its nTime, wrapping at midnight.
int GpsTimeOfDay(const GpsRecordTable& table, int i);

// "2012-05-17 13:45:12", the date and time of record i as the log gives
// them; "" when i is out of range or its date is no calendar date.
std::string GpsDateTimeText(const GpsRecordTable& table, int i);

// Whether any record's line starts with a calendar date: a camera writes one
// on every line, so a file without any is not a GPS log (random bytes, blank
// lines) and is not exported.
bool HasDatedRecord(const GpsRecordTable& table);

// GPX: one track; its segments are the continuous stretches, a new one
// starting where consecutive positions lie more than this many seconds apart.
inline constexpr long long kGpxSegmentGapSeconds = 10;

// Records without a position (not finite, or off the globe) are written
// without one: empty CSV cells, no GPX point, no GeoJSON coordinate (nor its
// values). A line without a calendar date gets no date. "seconds" counts from
// the first record, days included. Names are written as valid UTF-8.
//
// Appends the whole table in the given format to `out`. `trackName` names the
// GPX track and the GeoJSON feature.
void WriteGpsCsv(const GpsRecordTable& table, std::string& out);
void WriteGpsGpx(const GpsRecordTable& table, std::string_view trackName, std::string& out);
void WriteGpsGeoJson(const GpsRecordTable& table, std::string_view trackName, std::string& out);
std::string ExportGps(const GpsRecordTable& table, GpsExportFormat format,
                      std::string_view trackName);

}  // namespace vantor
