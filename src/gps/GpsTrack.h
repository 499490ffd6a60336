#pragma once
// One GPS track, whatever the source: a camera's NMEA log, the blocks a camera
// hides inside its movie, a phone's GPX file. Every reader produces this; the
// window's record table is filled from it. Nothing here needs a window.
#include <cstdint>
#include <string>
#include <vector>

#include "gps/GpsLog.h"

namespace vantor {

inline constexpr std::int64_t kNoTime = INT64_MIN;

struct GpsPoint {
  // Milliseconds since 1970-01-01 on the source's clock; kNoTime when the
  // source gave no date and time. bUtc tells a satellite clock from a
  // camera's local one.
  std::int64_t nTimeMs = kNoTime;
  bool bUtc = true;
  // Where the point belongs in the movie, in milliseconds from its start;
  // -1 when the source does not say (then the point is placed by time).
  std::int64_t nOffsetMs = -1;
  double dLatitude = 0.0;   // degrees, north positive
  double dLongitude = 0.0;  // degrees, east positive
  double dSpeedKmh = 0.0;
  double dCourse = 0.0;    // degrees from north
  double dAltitude = 0.0;  // metres; meaningful when bHasAltitude
  bool bHasAltitude = false;
  bool bFix = false;  // false: the receiver had no position (time only)
  bool bHasAccel = false;
  double adAccel[3] = {0, 0, 0};  // g
};

struct GpsTrack {
  std::vector<GpsPoint> points;
  std::string source;  // the file the points came from, for messages
  bool HasAccel() const;
  bool HasFix() const;
};

// Days since 1970-01-01 of a civil date, and back.
std::int64_t DaysFromCivil(int year, int month, int day);
void CivilFromDays(std::int64_t days, int& year, int& month, int& day);
// Milliseconds since 1970 of a date and time; kNoTime when a field is out of range.
std::int64_t MakeTimeMs(int year, int month, int day, int hour, int minute, double second);

// DDDMM.mmmm (as NMEA and the cameras' binary blocks store it) -> degrees.
double DegreesFromDdmm(double ddmm);

// Great-circle distance in metres.
double DistanceMetres(double lat1, double lon1, double lat2, double lon2);

// Gives every point an offset in the movie when the source gave none: its
// time after the first timed point (or after `movieStartMs` when that is not
// kNoTime), else its place in the list at one point per second. Points that
// still have no offset keep their order.
void PlaceTrackInMovie(GpsTrack& track, std::int64_t movieStartMs = kNoTime);

// Fills the window's record table from the track: packed date and relative
// time, speed in km/h, odometer as whole km driven since the first point,
// graph channels (the three accelerometer axes when the track has them, else
// speed and altitude), no tilt. A point without a fix gets no position (NaN),
// so it is never shown on the map. `offsetsMs` receives each record's place
// in the movie. False (table empty) when the track has no point.
bool FillRecordTable(const GpsTrack& track, GpsRecordTable& table,
                     std::vector<std::int64_t>& offsetsMs);

}  // namespace vantor
