// Fuzz target for the map page writer: a random position, zoom, map type and
// route of raw records. The route written into the page is read back and must
// hold exactly the usable positions, in order, printed with six decimals, and
// the driven count must match; now and then the page also goes through the
// file writer and must read back byte for byte.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "map/MapPage.h"

namespace {

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "map page: %s\n", what);
  std::abort();
}

double RawDouble(FuzzedDataProvider& in) {
  // Any bit pattern: NaN, infinities, subnormals and huge values included.
  const std::uint64_t bits = in.ConsumeIntegral<std::uint64_t>();
  double d;
  std::memcpy(&d, &bits, sizeof d);
  return d;
}

std::string Fixed6(double v) {
  char buf[400];
  std::snprintf(buf, sizeof buf, "%.6f", v);
  return buf;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  const bool plain = in.ConsumeBool();
  const double lat = plain ? in.ConsumeFloatingPointInRange(-90.0, 90.0) : RawDouble(in);
  const double lon = plain ? in.ConsumeFloatingPointInRange(-180.0, 180.0) : RawDouble(in);
  const int zoom = in.ConsumeIntegral<int>();
  const int mapType = in.ConsumeIntegral<int>();
  const bool writeFile = in.ConsumeIntegralInRange(0, 15) == 0;
  const int count = in.ConsumeIntegralInRange(0, 64);
  std::vector<GpsRecord> records(static_cast<std::size_t>(count));
  for (GpsRecord& r : records) {
    r = GpsRecord{};
    if (in.ConsumeBool()) {
      r.dLatitude = in.ConsumeFloatingPointInRange(-90.0, 90.0);
      r.dLongitude = in.ConsumeFloatingPointInRange(-180.0, 180.0);
    } else {
      r.dLatitude = RawDouble(in);
      r.dLongitude = RawDouble(in);
    }
  }
  vantor::MapRoute route{records.data(), count, in.ConsumeIntegral<int>()};

  const std::string page = vantor::MapPageText(lat, lon, zoom, mapType, route);

  // What the route must hold.
  std::string expected;
  int kept = 0, driven = 0;
  for (int i = 0; i < count; ++i) {
    const GpsRecord& r = records[static_cast<std::size_t>(i)];
    if (!vantor::IsMapPosition(r.dLatitude, r.dLongitude)) continue;
    if (r.dLatitude == 0.0 && r.dLongitude == 0.0) continue;
    if (kept++) expected += ',';
    expected += '[' + Fixed6(r.dLatitude) + ',' + Fixed6(r.dLongitude) + ']';
    if (i <= route.nDriven) driven = kept;
  }
  const std::string routeLine =
      "   var route = [" + expected + "];\n   var driven = " + std::to_string(driven) + ";\n";
  Check(page.find(routeLine) != std::string::npos, "route or driven count differs");
  Check(page.find("nan") == std::string::npos || !std::isfinite(lat) || !std::isfinite(lon),
        "nan printed for a finite position");
  if (std::isfinite(lat) && std::isfinite(lon)) {
    const std::string pos =
        "L.latLng(" + Fixed6(lat) + ',' + Fixed6(lon) + ")," + std::to_string(zoom) + ')';
    const std::size_t first = page.find(pos);
    Check(first != std::string::npos && page.find(pos, first + 1) != std::string::npos,
          "position not printed twice");
  }
  Check(page.size() > 8 && page.find("</html>") != std::string::npos, "page not complete");

  if (writeFile) {
    static const std::string path = [] {
      char dir[] = "/tmp/vantor_fuzz_map_XXXXXX";
      Check(::mkdtemp(dir) != nullptr, "mkdtemp");
      return std::string(dir) + "/Google-earth.html";
    }();
    // A position no map can show is refused and leaves the previous page.
    const BOOL written = vantor::WriteMapPage(path, lat, lon, zoom, mapType, route);
    Check(written == (vantor::IsMapPosition(lat, lon) ? TRUE : FALSE), "write result");
    if (!written) return 0;
    std::ifstream f(path, std::ios::binary);
    std::stringstream ss;
    ss << f.rdbuf();
    Check(ss.str() == page, "written page differs from the page text");
  }
  return 0;
}
