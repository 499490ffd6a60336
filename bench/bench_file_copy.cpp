// File Save throughput: a dash-cam movie of several hundred megabytes copied by
// the worker with different chunk sizes. Run by hand: build/bench/bench_file_copy
// (VANTOR_BENCH_DIR picks the folder, default the system's temporary folder).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/FileCopier.h"

namespace fs = std::filesystem;

namespace {

constexpr std::size_t kMovieBytes = 256u << 20;

fs::path BenchDir() {
  const char* env = std::getenv("VANTOR_BENCH_DIR");
  return fs::path(env && *env ? env : fs::temp_directory_path().c_str()) /
         ("vantor_bench_copy_" + std::to_string(::getpid()));
}

const fs::path& Movie() {
  static const fs::path movie = [] {
    const fs::path dir = BenchDir();
    fs::create_directories(dir);
    const fs::path p = dir / "AMBA0001.MOV";
    std::ofstream out(p, std::ios::binary);
    std::string block(1 << 20, '\0');
    for (std::size_t i = 0; i < block.size(); ++i) block[i] = char((i * 2654435761u) >> 11);
    for (std::size_t n = 0; n < kMovieBytes; n += block.size()) out << block;
    return p;
  }();
  return movie;
}

void BM_CopyMovie(benchmark::State& state) {
  const fs::path src = Movie();
  const fs::path dst = src.parent_path() / "BACKUP.MOV.MOV";
  vantor::CopyOptions options;
  options.chunkSize = std::size_t(state.range(0));
  for (auto _ : state) {
    fs::remove(dst);
    const auto r = vantor::CopyFileExclusive(src, dst, nullptr, {}, options);
    if (r.status != vantor::CopyStatus::Ok) state.SkipWithError("copy failed");
  }
  fs::remove(dst);
  state.SetBytesProcessed(std::int64_t(state.iterations()) * std::int64_t(kMovieBytes));
}
BENCHMARK(BM_CopyMovie)
    ->Arg(64 << 10)
    ->Arg(1 << 20)
    ->Arg(4 << 20)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  fs::remove_all(BenchDir(), ec);
  return 0;
}
