#include "gps/GpxReader.h"

#include <charconv>
#include <cmath>
#include <string_view>

namespace vantor {
namespace {

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

bool Number(std::string_view s, double& out) {
  while (!s.empty() &&
         (s.front() == ' ' || s.front() == '\t' || s.front() == '\n' || s.front() == '\r'))
    s.remove_prefix(1);
  while (!s.empty() &&
         (s.back() == ' ' || s.back() == '\t' || s.back() == '\n' || s.back() == '\r'))
    s.remove_suffix(1);
  if (!s.empty() && s.front() == '+') s.remove_prefix(1);
  if (s.empty() || s.size() > 40) return false;
  const auto res = std::from_chars(s.data(), s.data() + s.size(), out);
  return res.ec == std::errc() && res.ptr == s.data() + s.size() && std::isfinite(out);
}

// The value of attribute `name` within a start tag.
bool Attribute(std::string_view tag, std::string_view name, std::string_view& value) {
  for (std::size_t at = tag.find(name); at != tag.npos; at = tag.find(name, at + 1)) {
    const char before = at ? tag[at - 1] : ' ';
    if (before != ' ' && before != '\t' && before != '\n' && before != '\r') continue;
    std::size_t p = at + name.size();
    while (p < tag.size() && tag[p] == ' ') ++p;
    if (p >= tag.size() || tag[p] != '=') continue;
    ++p;
    while (p < tag.size() && tag[p] == ' ') ++p;
    if (p >= tag.size() || (tag[p] != '"' && tag[p] != '\'')) continue;
    const std::size_t close = tag.find(tag[p], p + 1);
    if (close == tag.npos) return false;
    value = tag.substr(p + 1, close - p - 1);
    return true;
  }
  return false;
}

// The local name of the element whose tag starts at `tag` (after '<'):
// "gpx:trkpt lat=..." -> "trkpt".
std::string_view LocalName(std::string_view tag) {
  std::size_t end = 0;
  while (end < tag.size() && tag[end] != ' ' && tag[end] != '>' && tag[end] != '/' &&
         tag[end] != '\t' && tag[end] != '\n' && tag[end] != '\r')
    ++end;
  std::string_view name = tag.substr(0, end);
  if (const std::size_t colon = name.find(':'); colon != name.npos) name.remove_prefix(colon + 1);
  return name;
}

}  // namespace

std::int64_t ParseIsoTime(const char* text, std::size_t size) {
  std::string_view s(text, size);
  while (!s.empty() &&
         (s.front() == ' ' || s.front() == '\n' || s.front() == '\r' || s.front() == '\t'))
    s.remove_prefix(1);
  if (s.size() < 19) return kNoTime;
  for (int i : {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18})
    if (!IsDigit(s[i])) return kNoTime;
  if (s[4] != '-' || s[7] != '-' || (s[10] != 'T' && s[10] != ' ') || s[13] != ':' || s[16] != ':')
    return kNoTime;
  auto num = [&](int at, int n) {
    int v = 0;
    for (int i = 0; i < n; ++i) v = v * 10 + (s[at + i] - '0');
    return v;
  };
  double sec = num(17, 2);
  std::size_t p = 19;
  if (p < s.size() && s[p] == '.') {
    double scale = 0.1;
    for (++p; p < s.size() && IsDigit(s[p]); ++p, scale /= 10) sec += (s[p] - '0') * scale;
  }
  std::int64_t ms = MakeTimeMs(num(0, 4), num(5, 2), num(8, 2), num(11, 2), num(14, 2), sec);
  if (ms == kNoTime) return kNoTime;
  if (p < s.size() && (s[p] == '+' || s[p] == '-') && p + 6 <= s.size() && IsDigit(s[p + 1]) &&
      IsDigit(s[p + 2]) && s[p + 3] == ':' && IsDigit(s[p + 4]) && IsDigit(s[p + 5])) {
    const int minutes =
        ((s[p + 1] - '0') * 10 + (s[p + 2] - '0')) * 60 + (s[p + 4] - '0') * 10 + (s[p + 5] - '0');
    ms -= (s[p] == '+' ? 1 : -1) * static_cast<std::int64_t>(minutes) * 60000;
  }
  return ms;
}

std::size_t ReadGpx(const char* text, std::size_t size, GpsTrack& track) {
  const std::string_view doc(text, size);
  std::size_t count = 0;
  bool inPoint = false;
  GpsPoint point;
  std::string_view element;  // the open child element whose text we want
  std::size_t textStart = 0;
  for (std::size_t lt = doc.find('<'); lt != doc.npos; lt = doc.find('<', lt + 1)) {
    const std::size_t gt = doc.find('>', lt);
    if (gt == doc.npos) break;
    std::string_view tag = doc.substr(lt + 1, gt - lt - 1);
    if (tag.empty() || tag[0] == '?' || tag[0] == '!') {
      lt = gt;
      continue;
    }
    const bool closing = tag[0] == '/';
    if (closing) tag.remove_prefix(1);
    const bool selfClosing = !closing && tag.back() == '/';
    const std::string_view name = LocalName(tag);
    if (!closing && name == "trkpt") {
      point = GpsPoint{};
      point.bUtc = true;
      std::string_view lat, lon;
      double dlat = 0, dlon = 0;
      inPoint = Attribute(tag, "lat", lat) && Attribute(tag, "lon", lon) && Number(lat, dlat) &&
                Number(lon, dlon) && std::fabs(dlat) <= 90 && std::fabs(dlon) <= 180;
      if (inPoint) {
        point.dLatitude = dlat;
        point.dLongitude = dlon;
        point.bFix = true;
        if (selfClosing) {
          track.points.push_back(point);
          ++count;
          inPoint = false;
        }
      }
    } else if (closing && name == "trkpt") {
      if (inPoint) {
        track.points.push_back(point);
        ++count;
      }
      inPoint = false;
    } else if (inPoint && !closing && !selfClosing) {
      element = name;
      textStart = gt + 1;
    } else if (inPoint && closing && name == element) {
      const std::string_view value = doc.substr(textStart, lt - textStart);
      double v = 0;
      if (name == "time") {
        point.nTimeMs = ParseIsoTime(value.data(), value.size());
      } else if (name == "ele" && Number(value, v)) {
        point.dAltitude = v;
        point.bHasAltitude = true;
      } else if (name == "speed" && Number(value, v) && v >= 0) {
        point.dSpeedKmh = v * 3.6;  // GPX speeds are in m/s
      } else if (name == "course" && Number(value, v)) {
        point.dCourse = v;
      }
      element = {};
    }
    lt = gt;
  }
  return count;
}

}  // namespace vantor
