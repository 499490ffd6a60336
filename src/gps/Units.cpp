#include "gps/Units.h"

#include <sys/stat.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <mutex>
#include <optional>
#include <sstream>

#include "gps/GpsTrack.h"

namespace vantor {

namespace {

constexpr double kKmPerMile = 1.609344;
constexpr int kMaxOffsetMinutes = 14 * 60;

std::int32_t Clamp32(double v) {
  if (!std::isfinite(v)) return 0;
  return static_cast<std::int32_t>(std::clamp(v, -2147483648.0, 2147483647.0));
}

// Zone names are paths under the database folder: no way out of it.
bool IsZoneName(std::string_view name) {
  if (name.empty() || name.front() == '/' || name.find("..") != std::string_view::npos)
    return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
           c == '/' || c == '_' || c == '-' || c == '+';
  });
}

bool ZoneInstalled(const std::string& zone) {
  struct stat st{};
  return ::stat(("/usr/share/zoneinfo/" + zone).c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The C library answers for one zone at a time, the one TZ names: it is
// switched for the call and put back, under a lock.
template <typename F>
auto InZone(const std::string& zone, F&& f) {
  static std::mutex lock;
  std::lock_guard guard(lock);
  const char* old = std::getenv("TZ");
  const std::optional<std::string> saved = old ? std::optional<std::string>(old) : std::nullopt;
  ::setenv("TZ", (":" + zone).c_str(), 1);
  ::tzset();
  auto result = f();
  if (saved)
    ::setenv("TZ", saved->c_str(), 1);
  else
    ::unsetenv("TZ");
  ::tzset();
  return result;
}

std::string OffsetText(int minutes) {
  char buf[16];
  const int a = std::abs(minutes);
  std::snprintf(buf, sizeof buf, "%c%02d:%02d", minutes < 0 ? '-' : '+', a / 60, a % 60);
  return buf;
}

}  // namespace

const char* SpeedUnitName(SpeedUnit unit) {
  return unit == SpeedUnit::Mph ? "mph" : "km/h";
}

SpeedUnit ParseSpeedUnit(std::string_view text) {
  return text == "mph" ? SpeedUnit::Mph : SpeedUnit::Kmh;
}

int SpeedInUnit(int kmh, SpeedUnit unit) {
  if (unit == SpeedUnit::Kmh) return kmh;
  return static_cast<int>(std::lround(kmh / kKmPerMile));
}

std::int32_t OdometerInUnit(std::int32_t value, bool cameraCounter, SpeedUnit unit) {
  if (unit == SpeedUnit::Kmh) return value;
  const double km = cameraCounter ? value / 1000.0 : value;
  return Clamp32(std::floor(km / kKmPerMile));
}

const char* OdometerUnitName(bool cameraCounter, SpeedUnit unit) {
  if (unit == SpeedUnit::Mph) return "mi";
  return cameraCounter ? "m" : "km";
}

std::string FormatCameraClock(const CameraClock& clock) {
  switch (clock.kind) {
    case CameraClock::Kind::Utc:
      return "utc";
    case CameraClock::Kind::Zone:
      return "zone:" + clock.zone;
    case CameraClock::Kind::Offset:
      return "offset:" + OffsetText(clock.offsetMinutes);
    case CameraClock::Kind::AsLogged:
      break;
  }
  return {};
}

bool ParseCameraClock(std::string_view text, CameraClock& clock) {
  clock = CameraClock{};
  if (text.empty()) return true;
  if (text == "utc") {
    clock.kind = CameraClock::Kind::Utc;
    return true;
  }
  if (text.substr(0, 5) == "zone:" && IsZoneName(text.substr(5))) {
    clock.kind = CameraClock::Kind::Zone;
    clock.zone = std::string(text.substr(5));
    return true;
  }
  // "offset:+HH:MM"
  if (text.size() == 13 && text.substr(0, 7) == "offset:" && (text[7] == '+' || text[7] == '-') &&
      text[10] == ':') {
    int h = -1, m = -1;
    const char* p = text.data();
    const auto r1 = std::from_chars(p + 8, p + 10, h);
    const auto r2 = std::from_chars(p + 11, p + 13, m);
    if (r1.ec == std::errc() && r1.ptr == p + 10 && r2.ec == std::errc() && r2.ptr == p + 13 &&
        m < 60 && h * 60 + m <= kMaxOffsetMinutes) {
      clock.kind = CameraClock::Kind::Offset;
      clock.offsetMinutes = (text[7] == '-' ? -1 : 1) * (h * 60 + m);
      return true;
    }
  }
  return false;
}

bool CameraTimeToUtc(const CameraClock& clock, int year, int month, int day, int secondsOfDay,
                     long long& utcSeconds) {
  const long long wall = DaysFromCivil(year, month, day) * 86400 + secondsOfDay;
  switch (clock.kind) {
    case CameraClock::Kind::AsLogged:
      return false;
    case CameraClock::Kind::Utc:
      utcSeconds = wall;
      return true;
    case CameraClock::Kind::Offset:
      utcSeconds = wall - clock.offsetMinutes * 60LL;
      return true;
    case CameraClock::Kind::Zone: {
      if (!IsZoneName(clock.zone) || !ZoneInstalled(clock.zone)) return false;
      const long long t = InZone(clock.zone, [&] {
        std::tm tm{};
        tm.tm_year = year - 1900;
        tm.tm_mon = month - 1;
        tm.tm_mday = day;
        tm.tm_sec = secondsOfDay;
        tm.tm_isdst = -1;  // the zone's own rule for that day
        return static_cast<long long>(std::mktime(&tm));
      });
      if (t == -1) return false;
      utcSeconds = t;
      return true;
    }
  }
  return false;
}

std::string CameraClockSuffix(const CameraClock& clock, long long utcSeconds) {
  switch (clock.kind) {
    case CameraClock::Kind::AsLogged:
      return {};
    case CameraClock::Kind::Utc:
      return " UTC";
    case CameraClock::Kind::Offset:
      return " " + OffsetText(clock.offsetMinutes);
    case CameraClock::Kind::Zone:
      if (!IsZoneName(clock.zone) || !ZoneInstalled(clock.zone)) return {};
      return InZone(clock.zone, [&] {
        const std::time_t t = static_cast<std::time_t>(utcSeconds);
        std::tm tm{};
        char buf[32] = "";
        if (::localtime_r(&t, &tm)) std::strftime(buf, sizeof buf, " %Z", &tm);
        return std::string(buf);
      });
  }
  return {};
}

std::vector<std::string> SystemTimeZones(const std::string& zoneinfo) {
  std::vector<std::string> zones;
  std::ifstream in(zoneinfo + "/zone1970.tab");
  for (std::string line; std::getline(in, line);) {
    if (line.empty() || line.front() == '#') continue;
    std::istringstream fields(line);
    std::string codes, coordinates, zone;
    if (fields >> codes >> coordinates >> zone && IsZoneName(zone)) zones.push_back(zone);
  }
  std::sort(zones.begin(), zones.end());
  zones.erase(std::unique(zones.begin(), zones.end()), zones.end());
  return zones;
}

}  // namespace vantor
