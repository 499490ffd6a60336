#include "gps/NmeaReader.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

namespace vantor {
namespace {

constexpr double kKnotsToKmh = 1.852;
constexpr std::size_t kMaxFields = 24;

bool IsUpper(char c) {
  return c >= 'A' && c <= 'Z';
}
bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

// A whole field as a number, in the C locale; false for anything else
// (empty, trailing junk, NaN, infinity).
bool ParseNumber(std::string_view s, double& out) {
  if (s.empty() || s.size() > 32) return false;
  const char* b = s.data();
  if (*b == '+') ++b;
  double v = 0.0;
  const auto res = std::from_chars(b, s.data() + s.size(), v, std::chars_format::fixed);
  if (res.ec != std::errc() || res.ptr != s.data() + s.size() || !std::isfinite(v)) return false;
  out = v;
  return true;
}

int TwoDigits(const char* p) {
  return (p[0] - '0') * 10 + (p[1] - '0');
}

// hhmmss[.sss] -> milliseconds of the day.
bool ParseTimeOfDay(std::string_view s, std::int64_t& ms) {
  if (s.size() < 6) return false;
  for (int i = 0; i < 6; ++i)
    if (!IsDigit(s[i])) return false;
  const int h = TwoDigits(s.data()), m = TwoDigits(s.data() + 2);
  double sec = 0.0;
  if (!ParseNumber(s.substr(4), sec)) return false;
  if (h > 23 || m > 59 || sec >= 61.0 || sec < 0.0) return false;
  ms = (h * 3600LL + m * 60LL) * 1000 + std::llround(sec * 1000.0);
  return true;
}

// ddmmyy -> days since 1970 (years 80..99 are 1980..1999).
bool ParseDate(std::string_view s, std::int64_t& days) {
  if (s.size() != 6) return false;
  for (char c : s)
    if (!IsDigit(c)) return false;
  const int d = TwoDigits(s.data()), m = TwoDigits(s.data() + 2), y = TwoDigits(s.data() + 4);
  if (d < 1 || d > 31 || m < 1 || m > 12) return false;
  days = DaysFromCivil(y >= 80 ? 1900 + y : 2000 + y, m, d);
  return true;
}

// A coordinate field and its hemisphere letter -> signed degrees.
bool ParseCoordinate(std::string_view value, std::string_view hemi, char pos, char neg,
                     double limit, double& out) {
  double ddmm = 0.0;
  if (hemi.size() != 1 || (hemi[0] != pos && hemi[0] != neg)) return false;
  if (!ParseNumber(value, ddmm) || ddmm < 0.0) return false;
  const double deg = DegreesFromDdmm(ddmm);
  if (deg > limit || ddmm - std::trunc(ddmm / 100.0) * 100.0 >= 60.0) return false;
  out = hemi[0] == neg ? -deg : deg;
  return true;
}

struct Pending {
  bool active = false;
  std::int64_t todMs = 0;
  std::int64_t days = -1;  // -1: no date yet
  bool hasRmc = false;
  std::int64_t clockMs = kNoTime;  // camera clock in brackets
  GpsPoint point;
};

class Reader {
 public:
  Reader(GpsTrack& track, std::int64_t movieStartMs) : m_track(track), m_movieStart(movieStartMs) {}

  void Line(std::string_view line) {
    std::size_t i = 0;
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    std::int64_t clock = kNoTime;
    if (i < line.size() && line[i] == '[') {
      const std::size_t close = line.find(']', i);
      if (close == std::string_view::npos || close - i > 20) return;
      std::int64_t v = 0;
      const auto res = std::from_chars(line.data() + i + 1, line.data() + close, v);
      if (res.ec != std::errc() || res.ptr != line.data() + close || v < 0) return;
      clock = v;
      i = close + 1;
    }
    line.remove_prefix(i);
    // Some cameras put junk before the '$'; without a '$' the sentence
    // starts the line.
    if (const std::size_t dollar = line.find('$'); dollar != std::string_view::npos)
      line.remove_prefix(dollar + 1);
    if (const std::size_t star = line.find('*'); star != std::string_view::npos)
      line = line.substr(0, star);
    while (!line.empty() && (line.back() == ' ' || line.back() == '\r')) line.remove_suffix(1);

    std::string_view f[kMaxFields];
    std::size_t n = 0;
    for (std::size_t start = 0;;) {
      const std::size_t comma = line.find(',', start);
      if (n == kMaxFields) break;
      f[n++] = line.substr(start, comma == std::string_view::npos ? line.npos : comma - start);
      if (comma == std::string_view::npos) break;
      start = comma + 1;
    }
    if (n == 0 || f[0].size() != 5 || !IsUpper(f[0][0]) || !IsUpper(f[0][1])) return;
    const std::string_view type = f[0].substr(2);
    if (type == "RMC")
      Rmc(f, n, clock);
    else if (type == "GGA")
      Gga(f, n, clock);
  }

  void Finish() { Flush(); }
  std::size_t Taken() const { return m_taken; }

 private:
  Pending& Begin(std::int64_t tod, std::int64_t clock) {
    if (!m_pending.active || m_pending.todMs != tod) {
      Flush();
      m_pending = Pending{};
      m_pending.active = true;
      m_pending.todMs = tod;
      m_pending.days = m_lastDays;
      m_pending.clockMs = clock;
    }
    return m_pending;
  }

  void Rmc(const std::string_view* f, std::size_t n, std::int64_t clock) {
    if (n < 10) return;
    std::int64_t tod = 0;
    if (!ParseTimeOfDay(f[1], tod)) return;
    if (f[2] != "A" && f[2] != "V") return;
    const bool valid = f[2] == "A";
    double lat = 0, lon = 0, knots = 0, course = 0;
    if (valid && !(ParseCoordinate(f[3], f[4], 'N', 'S', 90.0, lat) &&
                   ParseCoordinate(f[5], f[6], 'E', 'W', 180.0, lon)))
      return;
    std::int64_t days = -1;
    if (!f[9].empty() && !ParseDate(f[9], days)) return;
    if (!f[7].empty() && !ParseNumber(f[7], knots)) return;
    if (!f[8].empty() && !ParseNumber(f[8], course)) return;

    // A new day starts with the RMC; a GGA of the same second may have come first.
    if (days >= 0) m_lastDays = days;
    Pending& p = Begin(tod, clock);
    if (days >= 0) p.days = days;
    if (clock != kNoTime) p.clockMs = clock;  // the RMC's clock places the point
    p.hasRmc = true;
    p.point.bFix = valid;
    if (valid) {
      p.point.dLatitude = lat;
      p.point.dLongitude = lon;
    }
    p.point.dSpeedKmh = knots * kKnotsToKmh;
    p.point.dCourse = course;
    ++m_taken;
  }

  void Gga(const std::string_view* f, std::size_t n, std::int64_t clock) {
    if (n < 10) return;
    std::int64_t tod = 0;
    if (!ParseTimeOfDay(f[1], tod)) return;
    double quality = 0;
    if (!f[6].empty() && !ParseNumber(f[6], quality)) return;
    const bool valid = quality > 0;
    double lat = 0, lon = 0, alt = 0;
    if (valid && !(ParseCoordinate(f[2], f[3], 'N', 'S', 90.0, lat) &&
                   ParseCoordinate(f[4], f[5], 'E', 'W', 180.0, lon)))
      return;
    const bool hasAlt = valid && ParseNumber(f[9], alt);
    Pending& p = Begin(tod, clock);
    if (!p.hasRmc) {
      p.point.bFix = valid;
      if (valid) {
        p.point.dLatitude = lat;
        p.point.dLongitude = lon;
      }
    }
    if (hasAlt) {
      p.point.dAltitude = alt;
      p.point.bHasAltitude = true;
    }
    ++m_taken;
  }

  void Flush() {
    if (!m_pending.active) return;
    GpsPoint pt = m_pending.point;
    pt.bUtc = true;
    if (m_pending.days >= 0) pt.nTimeMs = m_pending.days * 86400000 + m_pending.todMs;
    if (m_pending.clockMs != kNoTime) {
      if (m_firstClock == kNoTime) m_firstClock = m_pending.clockMs;
      const std::int64_t origin = m_movieStart != kNoTime ? m_movieStart : m_firstClock;
      pt.nOffsetMs = m_pending.clockMs >= origin ? m_pending.clockMs - origin : 0;
    }
    m_track.points.push_back(pt);
    m_pending.active = false;
  }

  GpsTrack& m_track;
  std::int64_t m_movieStart;
  std::int64_t m_firstClock = kNoTime;
  std::int64_t m_lastDays = -1;
  Pending m_pending;
  std::size_t m_taken = 0;
};

}  // namespace

std::size_t ReadNmea(const char* text, std::size_t size, GpsTrack& track,
                     std::int64_t movieStartMs) {
  Reader reader(track, movieStartMs);
  std::size_t start = 0;
  for (std::size_t i = 0; i <= size; ++i) {
    // NUL ends a line too: cameras pad their logs with zeros.
    if (i == size || text[i] == '\n' || text[i] == '\r' || text[i] == '\0') {
      if (i > start) reader.Line(std::string_view(text + start, i - start));
      start = i + 1;
    }
  }
  reader.Finish();
  return reader.Taken();
}

bool LooksLikeNmea(const char* text, std::size_t size, std::size_t probe) {
  const std::string_view s(text, size < probe ? size : probe);
  for (std::size_t at = s.find("RMC,"); at != s.npos; at = s.find("RMC,", at + 1))
    if (at >= 2 && IsUpper(s[at - 1]) && IsUpper(s[at - 2])) return true;
  for (std::size_t at = s.find("GGA,"); at != s.npos; at = s.find("GGA,", at + 1))
    if (at >= 2 && IsUpper(s[at - 1]) && IsUpper(s[at - 2])) return true;
  return false;
}

}  // namespace vantor
