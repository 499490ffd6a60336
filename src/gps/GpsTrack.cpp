#include "gps/GpsTrack.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

namespace vantor {

bool GpsTrack::HasAccel() const {
  return std::any_of(points.begin(), points.end(), [](const GpsPoint& p) { return p.bHasAccel; });
}

bool GpsTrack::HasFix() const {
  return std::any_of(points.begin(), points.end(), [](const GpsPoint& p) { return p.bFix; });
}

// Proleptic Gregorian calendar arithmetic on whole eras of 400 years, so it
// holds for any year without tables.
std::int64_t DaysFromCivil(int year, int month, int day) {
  const std::int64_t y = static_cast<std::int64_t>(year) - (month <= 2 ? 1 : 0);
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t mp = (month + 9) % 12;
  const std::int64_t doy = (153 * mp + 2) / 5 + day - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t days, int& year, int& month, int& day) {
  days += 719468;
  const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
  const std::int64_t doe = days - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const std::int64_t mp = (5 * doy + 2) / 153;
  day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  year = static_cast<int>(yoe + era * 400 + (month <= 2 ? 1 : 0));
}

std::int64_t MakeTimeMs(int year, int month, int day, int hour, int minute, double second) {
  if (year < 1900 || year > 2200 || month < 1 || month > 12 || day < 1 || day > 31 || hour < 0 ||
      hour > 23 || minute < 0 || minute > 59 || !(second >= 0.0 && second < 61.0))
    return kNoTime;
  return DaysFromCivil(year, month, day) * 86400000 + (hour * 3600 + minute * 60) * 1000LL +
         std::llround(second * 1000.0);
}

double DegreesFromDdmm(double ddmm) {
  const double whole = std::trunc(ddmm / 100.0);
  return whole + (ddmm - whole * 100.0) / 60.0;
}

double DistanceMetres(double lat1, double lon1, double lat2, double lon2) {
  constexpr double kEarthRadius = 6371008.8;
  constexpr double kRad = M_PI / 180.0;
  const double dLat = (lat2 - lat1) * kRad;
  const double dLon = (lon2 - lon1) * kRad;
  const double a =
      std::sin(dLat / 2) * std::sin(dLat / 2) +
      std::cos(lat1 * kRad) * std::cos(lat2 * kRad) * std::sin(dLon / 2) * std::sin(dLon / 2);
  return 2 * kEarthRadius * std::asin(std::min(1.0, std::sqrt(a)));
}

void PlaceTrackInMovie(GpsTrack& track, std::int64_t movieStartMs) {
  std::int64_t origin = movieStartMs;
  if (origin == kNoTime) {
    for (const GpsPoint& p : track.points)
      if (p.nTimeMs != kNoTime) {
        origin = p.nTimeMs;
        break;
      }
  }
  std::int64_t last = 0;
  for (std::size_t i = 0; i < track.points.size(); ++i) {
    GpsPoint& p = track.points[i];
    if (p.nOffsetMs < 0) {
      if (p.nTimeMs != kNoTime && origin != kNoTime)
        p.nOffsetMs = std::max<std::int64_t>(0, p.nTimeMs - origin);
      else
        p.nOffsetMs = std::max<std::int64_t>(last, static_cast<std::int64_t>(i) * 1000);
    }
    last = p.nOffsetMs;
  }
}

namespace {

int PackDate(std::int64_t timeMs) {
  int y, m, d;
  CivilFromDays(timeMs >= 0 ? timeMs / 86400000 : (timeMs - 86399999) / 86400000, y, m, d);
  return y * 512 + m * 32 + d;
}

int TimeOfDay(std::int64_t timeMs) {
  const std::int64_t s = (timeMs >= 0 ? timeMs : timeMs - 999) / 1000;
  return static_cast<int>(((s % 86400) + 86400) % 86400);
}

int ClampInt(double v) {
  if (!(v > -2e9)) return v != v ? 0 : -2000000000;
  if (v > 2e9) return 2000000000;
  return static_cast<int>(std::lround(v));
}

}  // namespace

bool FillRecordTable(const GpsTrack& track, GpsRecordTable& table,
                     std::vector<std::int64_t>& offsetsMs) {
  table.Clear();
  offsetsMs.clear();
  const std::size_t n = track.points.size();
  if (n == 0 || n > static_cast<std::size_t>(std::numeric_limits<int>::max()) - kGpsSpareRecords)
    return false;
  table.pRecords.reset(new (std::nothrow) GpsRecord[n + kGpsSpareRecords]());
  if (!table.pRecords) return false;
  table.nCapacity = n + kGpsSpareRecords;
  table.nCount = static_cast<int>(n);
  table.bAngle1Minus = FALSE;
  table.bAngle2Minus = FALSE;
  offsetsMs.reserve(n);

  std::int64_t firstTime = kNoTime;
  for (const GpsPoint& p : track.points)
    if (p.nTimeMs != kNoTime) {
      firstTime = p.nTimeMs;
      break;
    }
  table.nFirstTimeOfDay = firstTime == kNoTime ? 0 : TimeOfDay(firstTime);

  // The graph draws each channel up from its band's baseline and scales all
  // three by one maximum: values are kept positive and brought to a common
  // range so that each curve uses its band.
  const bool accel = track.HasAccel();
  double maxSpeed = 0.0, minAlt = 0.0, maxAlt = 0.0;
  bool haveAlt = false;
  for (const GpsPoint& p : track.points) {
    if (std::isfinite(p.dSpeedKmh)) maxSpeed = std::max(maxSpeed, p.dSpeedKmh);
    if (p.bHasAltitude && std::isfinite(p.dAltitude)) {
      minAlt = haveAlt ? std::min(minAlt, p.dAltitude) : p.dAltitude;
      maxAlt = haveAlt ? std::max(maxAlt, p.dAltitude) : p.dAltitude;
      haveAlt = true;
    }
  }
  constexpr double kGraphRange = 1000.0;

  double metres = 0.0;
  const GpsPoint* lastFix = nullptr;
  for (std::size_t i = 0; i < n; ++i) {
    const GpsPoint& p = track.points[i];
    GpsRecord& r = table.pRecords[i];
    if (p.nTimeMs != kNoTime) {
      r.nDate = PackDate(p.nTimeMs);
      r.nTime = firstTime == kNoTime ? 0 : ClampInt((p.nTimeMs - firstTime) / 1000.0);
    }
    // 0°N 0°E is what a receiver without a fix reports as a position.
    const bool fix = p.bFix && std::isfinite(p.dLatitude) && std::isfinite(p.dLongitude) &&
                     std::fabs(p.dLatitude) <= 90.0 && std::fabs(p.dLongitude) <= 180.0 &&
                     !(p.dLatitude == 0.0 && p.dLongitude == 0.0);
    if (fix) {
      if (lastFix)
        metres +=
            DistanceMetres(lastFix->dLatitude, lastFix->dLongitude, p.dLatitude, p.dLongitude);
      lastFix = &p;
      r.dLatitude = p.dLatitude;
      r.dLongitude = p.dLongitude;
    } else {
      r.dLatitude = std::numeric_limits<double>::quiet_NaN();
      r.dLongitude = std::numeric_limits<double>::quiet_NaN();
    }
    r.nOdometer = ClampInt(std::floor(metres / 1000.0));
    r.nSpeed = fix && std::isfinite(p.dSpeedKmh) ? ClampInt(p.dSpeedKmh) : 0;
    if (accel) {
      // -2 g .. +2 g across the band; 1 g of gravity sits at three quarters.
      int* channels[3] = {&r.nGraph1, &r.nGraph2, &r.nGraph3};
      for (int k = 0; k < 3; ++k) {
        const double g = p.bHasAccel && std::isfinite(p.adAccel[k]) ? p.adAccel[k] : 0.0;
        *channels[k] = ClampInt(std::clamp((g + 2.0) / 4.0, 0.0, 1.0) * kGraphRange);
      }
    } else {
      r.nGraph1 = maxSpeed > 0.0 && fix && std::isfinite(p.dSpeedKmh)
                      ? ClampInt(std::max(0.0, p.dSpeedKmh) / maxSpeed * kGraphRange)
                      : 0;
      r.nGraph2 = haveAlt && maxAlt > minAlt && p.bHasAltitude && std::isfinite(p.dAltitude)
                      ? ClampInt((p.dAltitude - minAlt) / (maxAlt - minAlt) * kGraphRange)
                      : 0;
      r.nGraph3 = 0;
    }
    offsetsMs.push_back(p.nOffsetMs < 0 ? static_cast<std::int64_t>(i) * 1000 : p.nOffsetMs);
  }
  return true;
}

}  // namespace vantor
