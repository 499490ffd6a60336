// Parsing speed of the GPS log, reading from disk as the player does.
// Target: at least 100 MB/s of log text, time growing linearly with size.
// The logs are written once to $TMPDIR (or /tmp) and kept, so that
// bench/gps_parse.sh can time `wc -l` on the same 10^6-line file.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "gps/GpsLog.h"

namespace {

std::string LogPath(long lines) {
  const char* tmp = std::getenv("TMPDIR");
  return std::string(tmp && *tmp ? tmp : "/tmp") + "/vantor_bench_gps_" + std::to_string(lines) +
         ".txt";
}

// A camera-like log: one CRLF line per second, 20 fields.
const std::string& EnsureLog(long lines) {
  static std::string paths[8];
  static long sizes[8];
  for (int i = 0; i < 8; ++i)
    if (sizes[i] == lines) return paths[i];
  int slot = 0;
  while (sizes[slot] != 0) ++slot;
  const std::string path = LogPath(lines);
  std::error_code ec;
  const auto have = std::filesystem::file_size(path, ec);
  if (ec || have < static_cast<std::uintmax_t>(lines) * 80) {
    std::ofstream f(path, std::ios::binary);
    char buf[256];
    double lat = 31.230416, lon = 121.473701;
    for (long t = 0; t < lines; ++t) {
      const long s = 17 * 3600 + 42 * 60 + 5 + t;
      const int speed = static_cast<int>(t % 131);
      const int tilt = static_cast<int>(std::lround(120 * std::sin(t * 0.4)));
      std::snprintf(
          buf, sizeof buf,
          "2021/09/"
          "18-%02ld:%02ld:%02ld,%.6f,%.6f,%d,%d,%d,8,10,4,68,%d,%d,0,0,%d,1,0,0,%ld,%ld\r\n",
          s / 3600 % 24, s / 60 % 60, s % 60, lon, lat, 200 + speed, 150 + speed / 2,
          80 + speed % 50, tilt >= 0 ? tilt : 65536 + tilt, tilt >= 0 ? 65536 - tilt - 1 : -tilt,
          speed, 1520 + t * 20, t % 256);
      f << buf;
      lat += 0.00001;
      lon += 0.000013;
    }
  }
  paths[slot] = path;
  sizes[slot] = lines;
  return paths[slot];
}

void BM_ParseGpsLog(benchmark::State& state) {
  const std::string& path = EnsureLog(state.range(0));
  const auto bytes = static_cast<std::int64_t>(std::filesystem::file_size(path));
  vantor::GpsRecordTable table;
  for (auto _ : state) {
    if (vantor::ParseGpsLog(path, table) != vantor::GpsLogStatus::Ok)
      state.SkipWithError("parse failed");
    benchmark::DoNotOptimize(table.pRecords.get());
  }
  state.SetBytesProcessed(state.iterations() * bytes);
  state.counters["records"] = table.nCount;
  state.counters["ns/line"] =
      benchmark::Counter(static_cast<double>(state.range(0)) * state.iterations(),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_ParseGpsLog)->Arg(1000)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
