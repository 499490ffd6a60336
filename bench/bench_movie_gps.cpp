// Finding and reading the GPS stored inside a 1 GB movie, from the page cache.
// Targets: through the `gps ` index, under 50 ms reading only the index and
// the blocks (under 2 MB); the scan for blocks when there is no index, at
// least 1 GB/s; the whole lookup OpenAndPlay does for such a movie (camera
// log and sidecars missed, movie read, record table filled), under 20 ms.
// The movies are written once to $TMPDIR (or /tmp) and kept between runs.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "gps/GpsSources.h"
#include "gps/MovieGps.h"

namespace {

constexpr std::uint64_t kMovieBytes = std::uint64_t{1} << 30;
constexpr int kSeconds = 180;  // 1 GB in three minutes: a 45 Mbit/s camera
constexpr std::uint32_t kBlock = 0x8000;

void Be32(unsigned char* p, std::uint32_t v) {
  p[0] = static_cast<unsigned char>(v >> 24);
  p[1] = static_cast<unsigned char>(v >> 16);
  p[2] = static_cast<unsigned char>(v >> 8);
  p[3] = static_cast<unsigned char>(v);
}
void Le32(unsigned char* p, std::uint32_t v) {
  for (int k = 0; k < 4; ++k) p[k] = static_cast<unsigned char>(v >> (8 * k));
}

std::vector<unsigned char> Block(int second) {
  std::vector<unsigned char> b(kBlock, 0);
  Be32(b.data(), kBlock);
  std::memcpy(b.data() + 4, "freeGPS ", 8);
  const std::uint32_t t[6] = {static_cast<std::uint32_t>(13 + second / 3600),
                              static_cast<std::uint32_t>(second / 60 % 60),
                              static_cast<std::uint32_t>(second % 60),
                              20,
                              12,
                              3};
  for (int k = 0; k < 6; ++k) Le32(b.data() + 0x30 + 4 * k, t[k]);
  b[0x48] = 'A';
  b[0x49] = 'N';
  b[0x4a] = 'E';
  const float f[4] = {4851.0f + second * 0.01f, 221.0f + second * 0.01f, 25.0f, 90.0f};
  std::memcpy(b.data() + 0x4c, f, sizeof f);
  return b;
}

// ftyp, one mdat of pseudo-random "pictures" with a block after each
// second's share, then moov with the index (or with it renamed, so that the
// reader has to scan).
std::string EnsureMovie(bool indexed) {
  const char* tmp = std::getenv("TMPDIR");
  const std::string dir = std::string(tmp && *tmp ? tmp : "/tmp");
  const std::string path =
      dir + (indexed ? "/vantor_bench_gps_index.MP4" : "/vantor_bench_gps_scan.MP4");
  std::error_code ec;
  if (std::filesystem::file_size(path, ec) > kMovieBytes && !ec) return path;
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  unsigned char ftyp[16] = {0, 0, 0, 16, 'f', 't', 'y', 'p', 'm', 'p', '4', '2', 0, 0, 0, 0};
  f.write(reinterpret_cast<const char*>(ftyp), 16);
  unsigned char mdat[8] = {0, 0, 0, 0, 'm', 'd', 'a', 't'};
  Be32(mdat, static_cast<std::uint32_t>(kMovieBytes + 8));
  f.write(reinterpret_cast<const char*>(mdat), 8);
  const std::uint64_t share = kMovieBytes / kSeconds - kBlock;
  std::vector<unsigned char> pictures(static_cast<std::size_t>(share));
  std::uint64_t x = 0x9E3779B97F4A7C15ull;
  std::vector<std::pair<std::uint32_t, std::uint32_t>> index;
  std::uint64_t pos = 24;
  for (int s = 0; s < kSeconds; ++s) {
    for (auto& c : pictures) {
      x ^= x << 13;
      x ^= x >> 7;
      x ^= x << 17;
      c = static_cast<unsigned char>(x);
    }
    f.write(reinterpret_cast<const char*>(pictures.data()), static_cast<std::streamsize>(share));
    pos += share;
    const auto b = Block(s);
    index.emplace_back(static_cast<std::uint32_t>(pos), kBlock);
    f.write(reinterpret_cast<const char*>(b.data()), kBlock);
    pos += kBlock;
  }
  const std::uint64_t rest = kMovieBytes + 24 - pos;
  f.write(reinterpret_cast<const char*>(pictures.data()), static_cast<std::streamsize>(rest));
  std::vector<unsigned char> gps(16 + index.size() * 8);
  Be32(gps.data(), static_cast<std::uint32_t>(gps.size()));
  std::memcpy(gps.data() + 4, indexed ? "gps " : "free", 4);
  Be32(gps.data() + 8, 0x101);
  Be32(gps.data() + 12, static_cast<std::uint32_t>(index.size()));
  for (std::size_t i = 0; i < index.size(); ++i) {
    Be32(gps.data() + 16 + 8 * i, index[i].first);
    Be32(gps.data() + 20 + 8 * i, index[i].second);
  }
  unsigned char moov[8] = {0, 0, 0, 0, 'm', 'o', 'o', 'v'};
  Be32(moov, static_cast<std::uint32_t>(8 + gps.size()));
  f.write(reinterpret_cast<const char*>(moov), 8);
  f.write(reinterpret_cast<const char*>(gps.data()), static_cast<std::streamsize>(gps.size()));
  return path;
}

// Brings the whole file into the page cache.
void Warm(const std::string& path) {
  std::vector<char> buf(8 << 20);
  const int fd = ::open(path.c_str(), O_RDONLY);
  while (fd >= 0 && ::read(fd, buf.data(), buf.size()) > 0) {
  }
  if (fd >= 0) ::close(fd);
}

void BM_ReadThroughIndex(benchmark::State& state) {
  const std::string path = EnsureMovie(true);
  Warm(path);
  vantor::MovieGpsInfo info;
  for (auto _ : state) {
    vantor::GpsTrack track;
    if (vantor::ReadMovieGpsFile(path, track, info) != vantor::MovieGpsStatus::Ok ||
        track.points.size() != kSeconds)
      state.SkipWithError("index not read");
  }
  state.counters["bytes_read"] = static_cast<double>(info.nBytesRead);
}
BENCHMARK(BM_ReadThroughIndex)->Unit(benchmark::kMillisecond);

void BM_ScanWithoutIndex(benchmark::State& state) {
  const std::string path = EnsureMovie(false);
  Warm(path);
  vantor::MovieGpsInfo info;
  for (auto _ : state) {
    vantor::GpsTrack track;
    if (vantor::ReadMovieGpsFile(path, track, info) != vantor::MovieGpsStatus::Ok ||
        track.points.size() != kSeconds || !info.bScanned)
      state.SkipWithError("blocks not found");
  }
  state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                          static_cast<std::int64_t>(info.nBytesRead));
}
BENCHMARK(BM_ScanWithoutIndex)->Unit(benchmark::kMillisecond);

void BM_LookupForOpenAndPlay(benchmark::State& state) {
  const std::string path = EnsureMovie(true);
  Warm(path);
  for (auto _ : state) {
    vantor::GpsRecordTable table;
    vantor::GpsLoad load;
    if (vantor::LoadGpsForMovie(path, table, load) != vantor::GpsSourceKind::Movie)
      state.SkipWithError("no GPS found");
  }
}
BENCHMARK(BM_LookupForOpenAndPlay)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
