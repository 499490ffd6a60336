#include "map/GpsDisplay.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "map/MapPage.h"

namespace vantor {

double PlayFraction(std::uint32_t nPositionMs, std::uint32_t nDurationMs) {
  if (nDurationMs == 0) return 0.0;
  // A position query can run a little past the reported duration at the end.
  const double f = static_cast<double>(nPositionMs) / static_cast<double>(nDurationMs);
  return f > 1.0 ? 1.0 : f;
}

int RecordIndexForFraction(int nCount, double dFraction) {
  if (nCount <= 0) return -1;
  if (!(dFraction > 0.0)) return 0;
  const double index = static_cast<double>(nCount) * dFraction;
  return index >= static_cast<double>(nCount - 1) ? nCount - 1 : static_cast<int>(index);
}

int RecordIndexForOffset(const std::int64_t* pOffsetsMs, int nCount, std::uint32_t nPositionMs) {
  if (!pOffsetsMs || nCount <= 0) return -1;
  const std::int64_t* end = pOffsetsMs + nCount;
  const std::int64_t* after = std::upper_bound(pOffsetsMs, end, std::int64_t{nPositionMs});
  return after == pOffsetsMs ? 0 : static_cast<int>(after - pOffsetsMs) - 1;
}

std::string AngleText(double dAngle, BOOL bMinus) {
  const int degrees =
      std::isfinite(dAngle) && std::fabs(dAngle) < 1e9 ? static_cast<int>(dAngle) : 0;
  char buf[32];
  std::snprintf(buf, sizeof buf, bMinus ? "-%d\xC2\xB0" : "%d\xC2\xB0", degrees);
  return buf;
}

std::string CoordinateText(double dLatitude, double dLongitude) {
  if (!std::isfinite(dLatitude) || !std::isfinite(dLongitude) || std::fabs(dLatitude) > 90 ||
      std::fabs(dLongitude) > 180)
    return {};
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.5f\xC2\xB0 %c  %.5f\xC2\xB0 %c", std::fabs(dLatitude),
                dLatitude < 0 ? 'S' : 'N', std::fabs(dLongitude), dLongitude < 0 ? 'W' : 'E');
  return buf;
}

void OdometerDigits(std::int32_t nOdometer, int anDigits[6]) {
  std::int32_t value = nOdometer;
  for (int i = 5; i >= 0; --i) {
    anDigits[i] = value % 10;
    value /= 10;
  }
}

GpsDisplayValues ComputeGpsDisplay(const GpsRecord* pRecords, int nCount, BOOL bAngle1Minus,
                                   BOOL bAngle2Minus, std::uint32_t nPositionMs,
                                   std::uint32_t nDurationMs, std::uint32_t nLastMapSecond,
                                   BOOL bThrottle, const GpsRecordPlacement& placement) {
  GpsDisplayValues v;
  v.dFraction = PlayFraction(nPositionMs, nDurationMs);
  v.nSecond = nPositionMs / 1000;
  if (!pRecords || nCount <= 0) {
    v.nIndex = -1;
    return v;
  }
  v.bHasLog = true;
  v.nIndex = placement.pOffsetsMs ? RecordIndexForOffset(placement.pOffsetsMs, nCount, nPositionMs)
                                  : RecordIndexForFraction(nCount, v.dFraction);
  const GpsRecord& rec = pRecords[v.nIndex];
  v.nSpeed = rec.nSpeed;
  if (placement.bHasTilt) {
    v.strAngle1 = AngleText(rec.dAngle1, bAngle1Minus);
    v.strAngle2 = AngleText(rec.dAngle2, bAngle2Minus);
  } else {
    // A source without a tilt sensor: "0°" would claim a level car.
    v.strAngle1.clear();
    v.strAngle2.clear();
  }
  OdometerDigits(rec.nOdometer, v.anDigits);
  const std::uint32_t moved =
      v.nSecond > nLastMapSecond ? v.nSecond - nLastMapSecond : nLastMapSecond - v.nSecond;
  const bool due = !bThrottle || moved >= kMapPageSeconds;
  int fix = v.nIndex;
  while (fix >= 0 && !IsFix(pRecords[fix].dLatitude, pRecords[fix].dLongitude)) --fix;
  v.bMarker = fix >= 0;
  if (fix < 0) {
    fix = v.nIndex + 1;
    while (fix < nCount && !IsFix(pRecords[fix].dLatitude, pRecords[fix].dLongitude)) ++fix;
    if (fix == nCount) return v;
  }
  v.bMapPosition = true;
  v.dLatitude = pRecords[fix].dLatitude;
  v.dLongitude = pRecords[fix].dLongitude;
  v.bWritePage = due;
  return v;
}

}  // namespace vantor
