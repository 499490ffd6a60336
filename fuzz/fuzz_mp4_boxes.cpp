// Fuzz target for the MP4/MOV box walker and the movie GPS reader on top of
// it: any bytes as a movie. Besides crashes and sanitizer reports it checks
// that every box stays inside the input and that the reader never reports
// more than it read.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "gps/MovieGps.h"

namespace {

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "%s\n", what);
  std::abort();
}

void Walk(const vantor::ByteSource& src, std::uint64_t begin, std::uint64_t end, int depth) {
  vantor::WalkBoxes(src, begin, end, [&](const vantor::Box& b) {
    Check(b.offset >= begin && b.size >= b.header && b.offset + b.size <= end,
          "box outside parent");
    if (depth < 4) Walk(src, b.Payload(), b.offset + b.size, depth + 1);
    return true;
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  vantor::MemorySource src(data, size);
  Walk(src, 0, size, 0);
  vantor::GpsTrack track;
  vantor::MovieGpsInfo info;
  const auto status = vantor::ReadMovieGps(src, track, info);
  Check((status == vantor::MovieGpsStatus::Ok) == !track.points.empty(), "status and points");
  // Each point comes from at least one 16-byte block or one NMEA sentence.
  Check(track.points.size() <= size / 16 + 1, "more points than the input can hold");
  for (const auto& p : track.points) Check(p.nOffsetMs >= 0, "point without a place");
  return 0;
}
