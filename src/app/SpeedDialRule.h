#pragma once
// Which gauge picture shows a speed: one picture per band of 10 km/h, IDs 186
// (0 to 9) up to 215 (290 and faster). Window-free so it can be tested alone.

namespace vantor {

inline constexpr int kSpeedDialFirstId = 186;
inline constexpr int kSpeedDialCount = 30;
inline constexpr int kSpeedDialWidth = 227;
inline constexpr int kSpeedDialHeight = 164;

// The picture's resource ID for `value`, or -1 for a negative speed (no such
// picture: the caller keeps what it shows).
constexpr int SpeedDialResourceId(int value) {
  int i = 0;
  while (i < kSpeedDialCount && value >= 10 * i) ++i;
  return i == 0 ? -1 : kSpeedDialFirstId - 1 + i;
}

// The speed a picture's needle points at: the lower end of its band.
constexpr int SpeedDialBandSpeed(int id) {
  return 10 * (id - kSpeedDialFirstId);
}

}  // namespace vantor
