#pragma once
// The speed unit and the camera's clock as the user set them, and what they
// make of the log's values. The defaults are what the camera writes: km/h,
// and times as logged, in no particular zone.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vantor {

enum class SpeedUnit { Kmh, Mph };

// "km/h" or "mph"; the settings store and the window's texts use these.
const char* SpeedUnitName(SpeedUnit unit);
// "mph" is miles an hour; anything else means the default.
SpeedUnit ParseSpeedUnit(std::string_view text);

// A speed the log gives in km/h, in `unit`, to the nearest whole one.
int SpeedInUnit(int kmh, SpeedUnit unit);

// The odometer's reading in `unit`: the camera's own counter counts metres
// (cameraCounter), the distance added up for the other sources kilometres;
// in mph both become whole miles.
std::int32_t OdometerInUnit(std::int32_t value, bool cameraCounter, SpeedUnit unit);
// "m", "km" or "mi".
const char* OdometerUnitName(bool cameraCounter, SpeedUnit unit);

// What the camera's clock shows.
struct CameraClock {
  enum class Kind {
    AsLogged,  // no zone known: times are shown and written as logged
    Utc,
    Zone,    // local time of a zone of the system's zone database
    Offset,  // a fixed offset from UTC
  };
  Kind kind = Kind::AsLogged;
  std::string zone;       // Kind::Zone: "Europe/Berlin"
  int offsetMinutes = 0;  // Kind::Offset: +480 for UTC+08:00
};

// The settings text: "" (as logged), "utc", "zone:Europe/Berlin", "offset:+08:00".
std::string FormatCameraClock(const CameraClock& clock);
// False, and the clock as logged, for text that is none of those (an offset
// beyond ±14:00, a zone name that is not a plain relative path).
bool ParseCameraClock(std::string_view text, CameraClock& clock);

// The UTC second of a camera time (calendar date, seconds into the day);
// false when the clock is as logged or its zone is not in the system's database.
bool CameraTimeToUtc(const CameraClock& clock, int year, int month, int day, int secondsOfDay,
                     long long& utcSeconds);

// How a shown time says its zone: " UTC", the zone's abbreviation at that
// moment (" CEST"), or the offset (" +08:00"); "" as logged.
std::string CameraClockSuffix(const CameraClock& clock, long long utcSeconds);

// The zone names of the system's database (from its zone1970.tab), sorted;
// empty when the database is not installed.
std::vector<std::string> SystemTimeZones(const std::string& zoneinfo = "/usr/share/zoneinfo");

}  // namespace vantor
