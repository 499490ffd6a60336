#include "gps/GpsExport.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <vector>

#include "common/Utf8.h"
#include "gps/GpsTrack.h"

namespace vantor {
namespace {

void AppendInt(std::string& out, long long v) {
  char buf[24];
  const auto res = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, res.ptr);
}

// Zero-padded to `width` digits; a sign goes in front of the padding.
void AppendPadded(std::string& out, int v, int width) {
  if (v < 0) {
    out += '-';
    v = -v;
  }
  char buf[16];
  const auto res = std::to_chars(buf, buf + sizeof buf, v);
  for (int n = static_cast<int>(res.ptr - buf); n < width; ++n) out += '0';
  out.append(buf, res.ptr);
}

void AppendFixed(std::string& out, double v, int precision) {
  char buf[512];
  const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, precision);
  out.append(buf, res.ptr);
}

// Shortest text that reads back as the same value, never in exponent form
// (GPX coordinates are plain decimals).
void AppendExact(std::string& out, double v) {
  char buf[512];
  const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
  out.append(buf, res.ptr);
}

void AppendDate(std::string& out, const GpsDate& d) {
  AppendPadded(out, d.year, 4);
  out += '-';
  AppendPadded(out, d.month, 2);
  out += '-';
  AppendPadded(out, d.day, 2);
}

void AppendTimeOfDay(std::string& out, int secs) {
  AppendPadded(out, secs / 3600, 2);
  out += ':';
  AppendPadded(out, secs / 60 % 60, 2);
  out += ':';
  AppendPadded(out, secs % 60, 2);
}

bool IsCalendarDate(const GpsDate& d) {
  return vantor::IsCalendarDate(d.year, d.month, d.day);
}

// Days since 0001-01-01 of a calendar date.
long long DayNumber(const GpsDate& d) {
  const long long y = d.month <= 2 ? d.year - 1 : d.year;
  const long long m = d.month <= 2 ? d.month + 12 : d.month;
  return 365 * y + y / 4 - y / 100 + y / 400 + (153 * (m - 3) + 2) / 5 + d.day;
}

// Seconds since the first record, the days between them counted: the table's
// nTime is a time-of-day difference, which goes negative after midnight.
long long ElapsedSeconds(const GpsRecordTable& table, int i) {
  const GpsDate d0 = UnpackGpsDate(table.pRecords[0].nDate);
  const GpsDate di = UnpackGpsDate(table.pRecords[i].nDate);
  if (!IsCalendarDate(d0) || !IsCalendarDate(di)) return table.pRecords[i].nTime;
  return (DayNumber(di) - DayNumber(d0)) * 86400 + GpsTimeOfDay(table, i) - GpsTimeOfDay(table, 0);
}

// The date and time of record i: in UTC when the camera's clock is known,
// else as logged. False when the log's date is no calendar date.
bool RecordTime(const GpsRecordTable& table, int i, const CameraClock& clock, GpsDate& date,
                int& secondsOfDay, bool& utc) {
  const GpsDate d = UnpackGpsDate(table.pRecords[i].nDate);
  if (!IsCalendarDate(d)) return false;
  date = d;
  secondsOfDay = GpsTimeOfDay(table, i);
  long long t = 0;
  utc = CameraTimeToUtc(clock, d.year, d.month, d.day, secondsOfDay, t);
  if (utc) {
    // Back from seconds since 1970 to the civil date, in UTC.
    const long long days = t >= 0 ? t / 86400 : (t - 86399) / 86400;
    secondsOfDay = static_cast<int>(t - days * 86400);
    CivilFromDays(days, date.year, date.month, date.day);
  }
  return true;
}

// ISO 8601: UTC with "Z" when the camera's clock is known, else local time
// without a zone (the log records none); false when the log's date is no
// calendar date, so that no invalid time is written.
bool AppendIsoTime(std::string& out, const GpsRecordTable& table, int i,
                   const CameraClock& clock = {}) {
  GpsDate d{};
  int secs = 0;
  bool utc = false;
  if (!RecordTime(table, i, clock, d, secs, utc)) return false;
  AppendDate(out, d);
  out += 'T';
  AppendTimeOfDay(out, secs);
  if (utc) out += 'Z';
  return true;
}

void AppendXmlEscaped(std::string& out, std::string_view s) {
  for (char c : s) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      default:
        // Control characters are not allowed in XML 1.0 text.
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t') break;
        out += c;
    }
  }
}

void AppendJsonString(std::string& out, std::string_view s) {
  out += '"';
  for (char c : s) {
    const auto u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (u < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", u);
      out += buf;
    } else {
      out += c;
    }
  }
  out += '"';
}

bool HasPosition(const GpsRecord& r) {
  return std::isfinite(r.dLatitude) && std::isfinite(r.dLongitude) &&
         std::fabs(r.dLatitude) <= 90.0 && std::fabs(r.dLongitude) <= 180.0;
}

}  // namespace

bool ParseGpsExportFormat(std::string_view name, GpsExportFormat& format) {
  std::string lower(name);
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  if (lower == "csv")
    format = GpsExportFormat::Csv;
  else if (lower == "gpx")
    format = GpsExportFormat::Gpx;
  else if (lower == "geojson")
    format = GpsExportFormat::GeoJson;
  else
    return false;
  return true;
}

GpsDate UnpackGpsDate(int nDate) {
  // Floor division keeps month and day in their bit ranges for any value.
  return GpsDate{nDate >> 9, (nDate >> 5) & 15, nDate & 31};
}

int GpsTimeOfDay(const GpsRecordTable& table, int i) {
  const long long t = static_cast<long long>(table.nFirstTimeOfDay) + table.pRecords[i].nTime;
  return static_cast<int>(((t % 86400) + 86400) % 86400);
}

std::string GpsDateTimeText(const GpsRecordTable& table, int i) {
  std::string out;
  if (!table.pRecords || i < 0 || i >= table.nCount) return out;
  if (!AppendIsoTime(out, table, i)) return {};
  out[out.find('T')] = ' ';
  return out;
}

void WriteGpsCsv(const GpsRecordTable& table, std::string& out, const GpsExportStyle& style) {
  const bool utc = style.clock.kind != CameraClock::Kind::AsLogged;
  out += utc ? "index,date_utc,time_utc," : "index,date,time,";
  out += style.unit == SpeedUnit::Mph ? "seconds,latitude,longitude,speed_mph,"
                                      : "seconds,latitude,longitude,speed_kmh,";
  out += "odometer,graph1,graph2,graph3,angle1,angle2\n";
  for (int i = 0; i < table.nCount; ++i) {
    const GpsRecord& r = table.pRecords[i];
    AppendInt(out, i);
    out += ',';
    // No date and no position are empty cells, never a made-up value.
    GpsDate d{};
    int secs = GpsTimeOfDay(table, i);
    bool inUtc = false;
    if (RecordTime(table, i, style.clock, d, secs, inUtc)) AppendDate(out, d);
    out += ',';
    AppendTimeOfDay(out, secs);
    out += ',';
    AppendInt(out, ElapsedSeconds(table, i));
    out += ',';
    if (HasPosition(r)) AppendFixed(out, r.dLatitude, 6);
    out += ',';
    if (HasPosition(r)) AppendFixed(out, r.dLongitude, 6);
    for (int v : {SpeedInUnit(r.nSpeed, style.unit), r.nOdometer, r.nGraph1, r.nGraph2,
                  r.nGraph3}) {
      out += ',';
      AppendInt(out, v);
    }
    out += ',';
    AppendInt(out, static_cast<long long>(r.dAngle1));
    out += ',';
    AppendInt(out, static_cast<long long>(r.dAngle2));
    out += '\n';
  }
}

void WriteGpsGpx(const GpsRecordTable& table, std::string_view trackName, std::string& out,
                 const GpsExportStyle& style) {
  out +=
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<gpx version=\"1.1\" creator=\"Vantor\" xmlns=\"http://www.topografix.com/GPX/1/1\"\n"
      "     xmlns:gpxtpx=\"http://www.garmin.com/xmlschemas/TrackPointExtension/v2\">\n"
      "  <trk>\n    <name>";
  AppendXmlEscaped(out, ToValidUtf8(trackName));
  out += "</name>\n    <trkseg>\n";
  bool first = true;
  long long previous = 0;
  for (int i = 0; i < table.nCount; ++i) {
    const GpsRecord& r = table.pRecords[i];
    // A point needs a position: numbers that read as infinite or lie off the
    // globe are none.
    if (!HasPosition(r)) continue;
    // A pause in the positions (a clip without GPS, a tunnel, a parked car)
    // ends the segment, so that no reader draws a straight line across it.
    const long long elapsed = ElapsedSeconds(table, i);
    if (!first && elapsed - previous > kGpxSegmentGapSeconds)
      out += "    </trkseg>\n    <trkseg>\n";
    first = false;
    previous = elapsed;
    out += "      <trkpt lat=\"";
    AppendExact(out, r.dLatitude);
    out += "\" lon=\"";
    AppendExact(out, r.dLongitude);
    out += "\">";
    std::string time;
    if (AppendIsoTime(time, table, i, style.clock)) {
      out += "<time>";
      out += time;
      out += "</time>";
    }
    out += "<extensions><gpxtpx:TrackPointExtension><gpxtpx:speed>";
    AppendFixed(out, r.nSpeed / 3.6, 3);
    out += "</gpxtpx:speed></gpxtpx:TrackPointExtension></extensions></trkpt>\n";
  }
  out += "    </trkseg>\n  </trk>\n</gpx>\n";
}

void WriteGpsGeoJson(const GpsRecordTable& table, std::string_view trackName, std::string& out,
                     const GpsExportStyle& style) {
  // A record without a position has no coordinate, and so no place in the
  // lists of values that run alongside the coordinates either.
  std::vector<int> kept;
  kept.reserve(static_cast<std::size_t>(std::max(table.nCount, 0)));
  for (int i = 0; i < table.nCount; ++i)
    if (HasPosition(table.pRecords[i])) kept.push_back(i);
  auto list = [&](const char* key, auto&& append) {
    out += key;
    bool first = true;
    for (int i : kept) {
      if (!first) out += ',';
      first = false;
      append(i);
    }
    out += ']';
  };
  out += "{\"type\":\"Feature\",\"geometry\":{\"type\":\"LineString\",";
  list("\"coordinates\":[", [&](int i) {
    out += '[';
    AppendExact(out, table.pRecords[i].dLongitude);
    out += ',';
    AppendExact(out, table.pRecords[i].dLatitude);
    out += ']';
  });
  out += "},\"properties\":{\"name\":";
  AppendJsonString(out, ToValidUtf8(trackName));
  list(",\"times\":[", [&](int i) {
    std::string time;
    if (AppendIsoTime(time, table, i, style.clock)) {
      out += '"';
      out += time;
      out += '"';
    } else {
      out += "null";
    }
  });
  list(",\"seconds\":[", [&](int i) { AppendInt(out, ElapsedSeconds(table, i)); });
  list(style.unit == SpeedUnit::Mph ? ",\"speeds_mph\":[" : ",\"speeds_kmh\":[",
       [&](int i) { AppendInt(out, SpeedInUnit(table.pRecords[i].nSpeed, style.unit)); });
  list(",\"odometer\":[", [&](int i) { AppendInt(out, table.pRecords[i].nOdometer); });
  out += "}}\n";
}

bool HasDatedRecord(const GpsRecordTable& table) {
  for (int i = 0; i < table.nCount; ++i)
    if (IsCalendarDate(UnpackGpsDate(table.pRecords[i].nDate))) return true;
  return false;
}

std::string ExportGps(const GpsRecordTable& table, GpsExportFormat format,
                      std::string_view trackName, const GpsExportStyle& style) {
  std::string out;
  out.reserve(static_cast<std::size_t>(table.nCount) * 160 + 512);
  switch (format) {
    case GpsExportFormat::Csv:
      WriteGpsCsv(table, out, style);
      break;
    case GpsExportFormat::Gpx:
      WriteGpsGpx(table, trackName, out, style);
      break;
    case GpsExportFormat::GeoJson:
      WriteGpsGeoJson(table, trackName, out, style);
      break;
  }
  return out;
}

}  // namespace vantor
