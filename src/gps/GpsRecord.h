#pragma once
#include <cstdint>

// One parsed line of a GPS log. The field order and types are those every
// reader of the record table relies on.
struct GpsRecord {
  std::int32_t nDate;      // year * 512 + month * 32 + day
  std::int32_t nTime;      // seconds since the first record's time of day
  std::int32_t nOdometer;  // field 18, shown as six digits
  std::int32_t nGraph1;    // field 3
  std::int32_t nGraph2;    // field 4
  std::int32_t nGraph3;    // field 5
  std::int32_t nSpeed;     // field 14, km/h
  double dLatitude;        // field 2
  double dLongitude;       // field 1
  double dAngle1;          // field 10, whole degrees 0..60
  double dAngle2;          // field 11, whole degrees 0..60
};
