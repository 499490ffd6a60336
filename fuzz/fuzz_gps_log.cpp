// Fuzz target for the GPS log parser. Besides crashes and sanitizer reports it
// checks the fast parser against a plain line-at-a-time reading built from the
// run-time library's own atof, atoi, sscanf and strchr: both must give the
// same records and sign flags for any input.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "gps/GpsLog.h"

namespace {

const unsigned kPositive[60] = {6,   12,  18,  24,  30,  33,  37,  40,  44,  48,  53,  58,
                                63,  68,  73,  76,  79,  83,  86,  89,  92,  96,  99,  103,
                                107, 110, 114, 117, 121, 124, 127, 131, 134, 138, 141, 144,
                                148, 151, 155, 158, 161, 165, 168, 172, 175, 178, 182, 185,
                                189, 192, 195, 199, 202, 206, 209, 212, 216, 219, 223, 226};
const unsigned kNegative[60] = {2,   4,   6,   8,   10,  15,  21,  26,  32,  37,  41,  45,
                                50,  54,  58,  62,  66,  71,  75,  79,  84,  88,  93,  97,
                                102, 105, 109, 112, 116, 119, 122, 126, 129, 133, 136, 139,
                                143, 146, 150, 153, 156, 160, 163, 167, 170, 173, 177, 180,
                                184, 187, 190, 194, 197, 201, 204, 207, 211, 214, 218, 221};

double RefAngle(const char* field, int& flag) {
  const double raw = std::atof(field);
  std::uint32_t v = 0;
  if (std::isfinite(raw)) {
    const double t = std::trunc(raw);
    const std::int64_t wide = t >= 9.2e18    ? INT64_MAX
                              : t <= -9.2e18 ? INT64_MIN
                                             : static_cast<std::int64_t>(t);
    v = static_cast<std::uint32_t>(wide);
  }
  int x = 0;
  if (v < 32768) {
    flag = v >= 6;
    if (v > 255) return 60;
    for (unsigned e : kPositive) x += e <= v;
    return x;
  }
  const std::uint32_t w = 65535u - v;
  flag = 0;
  if (w > 255) return 60;
  for (unsigned e : kNegative) x += e <= w;
  return x;
}

bool Same(double a, double b) {
  if (std::isnan(a) && std::isnan(b)) return true;
  return std::memcmp(&a, &b, sizeof a) == 0;
}

void Check(bool ok, const char* what, std::size_t index) {
  if (ok) return;
  std::fprintf(stderr, "mismatch in record %zu: %s\n", index, what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vantor::GpsRecordTable table;
  const auto status = vantor::ParseGpsText(reinterpret_cast<const char*>(data), size, table);

  // The text as a text-mode read gives it.
  std::string text;
  for (std::size_t i = 0; i < size; ++i) {
    const char c = static_cast<char>(data[i]);
    if (c == '\0' || c == 0x1A) break;
    if (c == '\r' && i + 1 < size && data[i + 1] == '\n') continue;
    text += c;
  }
  struct Ref {
    int date, time, g1, g2, g3, speed, odo;
    double lon, lat, a1, a2;
  };
  std::vector<Ref> refs;
  int flag1 = 0, flag2 = 0;
  const char* p = text.c_str();
  const char* end = p + text.size();
  while (p < end) {
    const char* eol = std::strchr(p, '\n');
    if (!eol) eol = end;
    if (eol != p) {
      Ref r{};
      int y = 0, mo = 0, d = 0, h = 0, mi = 0, s = 0;
      std::sscanf(p, "%4d/%02d/%02d", &y, &mo, &d);
      r.date = vantor::IsCalendarDate(y, mo, d) ? y * 512 + mo * 32 + d : 0;
      if (const char* dash = std::strchr(p, '-')) {
        std::sscanf(dash + 1, "%2d:%02d:%02d", &h, &mi, &s);
        r.time = h * 3600 + mi * 60 + s;
      }
      r.lon = std::atof(vantor::GetLogField(p, 1));
      r.lat = std::atof(vantor::GetLogField(p, 2));
      r.g1 = std::atoi(vantor::GetLogField(p, 3));
      r.g2 = std::atoi(vantor::GetLogField(p, 4));
      r.g3 = std::atoi(vantor::GetLogField(p, 5));
      r.a2 = RefAngle(vantor::GetLogField(p, 11), flag2);
      r.a1 = RefAngle(vantor::GetLogField(p, 10), flag1);
      r.speed = std::atoi(vantor::GetLogField(p, 14));
      r.odo = std::atoi(vantor::GetLogField(p, 18));
      refs.push_back(r);
    }
    p = eol + 1;
  }

  if (refs.empty()) {
    Check(status != vantor::GpsLogStatus::Ok && table.nCount == 0 && !table.pRecords,
          "empty log gave records", 0);
    return 0;
  }
  Check(status == vantor::GpsLogStatus::Ok, "status", 0);
  Check(static_cast<std::size_t>(table.nCount) == refs.size(), "record count", refs.size());
  Check(table.nCapacity >= refs.size() + vantor::kGpsSpareRecords, "capacity", 0);
  Check(table.bAngle1Minus == flag1 && table.bAngle2Minus == flag2, "sign flags", refs.size() - 1);
  const int t0 = refs[0].time;
  for (std::size_t i = 0; i < refs.size(); ++i) {
    const GpsRecord& g = table.pRecords[i];
    const Ref& r = refs[i];
    Check(g.nDate == r.date, "date", i);
    Check(g.nTime == r.time - t0, "time", i);
    Check(g.nGraph1 == r.g1 && g.nGraph2 == r.g2 && g.nGraph3 == r.g3, "graph channels", i);
    Check(g.nSpeed == r.speed && g.nOdometer == r.odo, "speed/odometer", i);
    Check(Same(g.dLongitude, r.lon) && Same(g.dLatitude, r.lat), "position", i);
    Check(Same(g.dAngle1, r.a1) && Same(g.dAngle2, r.a2), "angles", i);
  }
  // The spare records read as zeros.
  static const GpsRecord zero{};
  for (std::size_t i = refs.size(); i < table.nCapacity; ++i)
    Check(std::memcmp(&table.pRecords[i], &zero, sizeof zero) == 0, "spare record not zero", i);
  return 0;
}
