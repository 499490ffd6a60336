// Fuzz target for the freeGPS block reader: any bytes as one block. A block
// read as a position must hold a position on the globe.
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "gps/MovieGps.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // An exact-size copy, so that a read past the block is caught.
  std::vector<unsigned char> block(data, data + size);
  vantor::GpsPoint p;
  const auto r = vantor::ReadFreeGpsBlock(block.data(), block.size(), p);
  if (r == vantor::FreeGpsBlock::Fix &&
      !(std::fabs(p.dLatitude) <= 90.0 && std::fabs(p.dLongitude) <= 180.0 &&
        std::isfinite(p.dSpeedKmh) && p.dSpeedKmh >= 0.0)) {
    std::fprintf(stderr, "a fix off the globe: %f %f\n", p.dLatitude, p.dLongitude);
    std::abort();
  }
  return 0;
}
