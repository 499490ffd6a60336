#pragma once
// A parsed GPS log written out for other tools: CSV, GPX 1.1 or GeoJSON.
// Numbers are written in the C locale whatever the user's locale is.
#include <string>
#include <string_view>

#include "gps/GpsLog.h"
#include "gps/Units.h"

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
// What the user's settings make of an export. The defaults write what the
// camera logged: km/h, and times without a zone.
//  - unit: CSV's speed column and GeoJSON's speeds are in it (speed_kmh or
//    speed_mph); GPX keeps metres a second, as its schema says.
//  - clock: when it names a zone, times are written in UTC: GPX and GeoJSON
//    times end in "Z", and CSV's columns are date_utc and time_utc.
struct GpsExportStyle {
  SpeedUnit unit = SpeedUnit::Kmh;
  CameraClock clock;
};

// Appends the whole table in the given format to `out`. `trackName` names the
// GPX track and the GeoJSON feature.
void WriteGpsCsv(const GpsRecordTable& table, std::string& out, const GpsExportStyle& style = {});
void WriteGpsGpx(const GpsRecordTable& table, std::string_view trackName, std::string& out,
                 const GpsExportStyle& style = {});
void WriteGpsGeoJson(const GpsRecordTable& table, std::string_view trackName, std::string& out,
                     const GpsExportStyle& style = {});
std::string ExportGps(const GpsRecordTable& table, GpsExportFormat format,
                      std::string_view trackName, const GpsExportStyle& style = {});

}  // namespace vantor
