// Fuzz target for the NMEA reader: any bytes as a camera's log, with and
// without the movie's start clock. Points taken must be on the globe, and
// there cannot be more points than sentences taken.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "gps/NmeaReader.h"

namespace {

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::vector<char> text(data, data + size);
  for (std::int64_t start : {vantor::kNoTime, std::int64_t{1607003120000}}) {
    vantor::GpsTrack track;
    const std::size_t taken = vantor::ReadNmea(text.data(), text.size(), track, start);
    Check(track.points.size() <= taken, "more points than sentences");
    for (const auto& p : track.points) {
      if (p.bFix)
        Check(std::fabs(p.dLatitude) <= 90.0 && std::fabs(p.dLongitude) <= 180.0,
              "a fix off the globe");
      Check(std::isfinite(p.dSpeedKmh) && std::isfinite(p.dAltitude), "a number that is none");
    }
  }
  return 0;
}
