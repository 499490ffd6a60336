#pragma once
// Which gauge picture shows a speed: one picture per band of 10 km/h, IDs 186
// (0 to 9) up to 215 (290 and faster); in mph one per band of 10 mph, IDs
// 1186 (0 to 9) up to 1204 (180 and faster). Window-free so it can be tested alone.
#include "gps/Units.h"

namespace vantor {

inline constexpr int kSpeedDialFirstId = 186;
inline constexpr int kSpeedDialCount = 30;
inline constexpr int kSpeedDialMphFirstId = 1186;
inline constexpr int kSpeedDialMphCount = 19;
inline constexpr int kSpeedDialWidth = 227;
inline constexpr int kSpeedDialHeight = 164;

// The picture's resource ID for `value` in `unit`, or -1 for a negative
// speed (no such picture: the caller keeps what it shows).
constexpr int SpeedDialResourceId(int value, SpeedUnit unit = SpeedUnit::Kmh) {
  const bool mph = unit == SpeedUnit::Mph;
  const int count = mph ? kSpeedDialMphCount : kSpeedDialCount;
  int i = 0;
  while (i < count && value >= 10 * i) ++i;
  return i == 0 ? -1 : (mph ? kSpeedDialMphFirstId : kSpeedDialFirstId) - 1 + i;
}

// The speed a picture's needle points at: the lower end of its band.
constexpr int SpeedDialBandSpeed(int id) {
  return 10 * (id - kSpeedDialFirstId);
}

}  // namespace vantor
