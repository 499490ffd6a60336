// What the map view costs per timer tick, and the log graph per log.
// Run under a display (the graph and the gauge make bitmaps):
//   xvfb-run -a build/bench/bench_map_display
#include <benchmark/benchmark.h>
#include <wx/app.h>
#include <wx/dcmemory.h>
#include <wx/init.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "app/SpeedDial.h"
#include "gps/LogGraph.h"
#include "map/GpsDisplay.h"
#include "map/MapPage.h"

using namespace vantor;

namespace {

// A one-hour drive, one record per second, as the parser leaves it.
std::vector<GpsRecord> Drive(int n) {
  std::vector<GpsRecord> v(n + 1024);
  for (int i = 0; i < n; ++i) {
    GpsRecord& r = v[i];
    r.nTime = i;
    r.nSpeed = 60 + static_cast<int>(50 * std::sin(i / 90.0));
    r.nOdometer = 120000 + i / 30;
    r.nGraph1 = 500 + static_cast<int>(300 * std::sin(i / 7.0));
    r.nGraph2 = 400 + i % 97;
    r.nGraph3 = 200 + (i * 37) % 151;
    r.dLatitude = 31.2 + i * 0.0001;
    r.dLongitude = 121.4 + 0.01 * std::sin(i / 300.0);
    r.dAngle1 = i % 61;
    r.dAngle2 = (i / 2) % 61;
  }
  return v;
}

// One tick while playing, throttled, inside the 5 s window: the values, the
// gauge picture and the graph cursor, no page.
void BM_UpdateGpsDisplay_NoPageWrite(benchmark::State& state) {
  const auto drive = Drive(3600);
  CSpeedDial dial;
  std::uint32_t pos = 0;
  for (auto _ : state) {
    pos = (pos + 500) % 3600000;
    const auto v =
        ComputeGpsDisplay(drive.data(), 3600, FALSE, TRUE, pos, 3600000, pos / 1000, TRUE);
    if (v.bWritePage) state.SkipWithError("page written");
    dial.DrawSpeedDial(v.nSpeed);
    benchmark::DoNotOptimize(v);
  }
}
BENCHMARK(BM_UpdateGpsDisplay_NoPageWrite);

// The worst tick for the gauge: a new band every time.
void BM_SpeedDial_NewBandEveryTick(benchmark::State& state) {
  CSpeedDial dial;
  int speed = 0;
  for (auto _ : state) {
    speed = (speed + 10) % 300;
    if (!dial.DrawSpeedDial(speed)) state.SkipWithError("no picture");
  }
}
BENCHMARK(BM_SpeedDial_NewBandEveryTick);

// A tick that writes the page with the whole 3,600-record route.
void BM_UpdateGpsDisplay_WithPageWrite(benchmark::State& state) {
  const auto drive = Drive(3600);
  const std::string path = GetMapPagePath();
  std::uint32_t pos = 0;
  for (auto _ : state) {
    pos = (pos + 5000) % 3600000;
    const auto v = ComputeGpsDisplay(drive.data(), 3600, FALSE, TRUE, pos, 3600000, 0, FALSE);
    if (!v.bWritePage ||
        !WriteMapPage(path, v.dLatitude, v.dLongitude, 13, 0, {drive.data(), 3600, v.nIndex}))
      state.SkipWithError("page not written");
  }
  RemoveMapPage();
}
BENCHMARK(BM_UpdateGpsDisplay_WithPageWrite)->Unit(benchmark::kMillisecond);

// The page of a whole two-hour drive (7,200 records a second apart) with a
// three-minute clip's part marked and the start and end markers, written to
// the runtime folder as every tick that moves the map does.
void BM_WriteMapPage_TwoHourDrive(benchmark::State& state) {
  const auto drive = Drive(7200);
  const std::string path = GetMapPagePath();
  int driven = 0;
  for (auto _ : state) {
    driven = (driven + 5) % 7200;
    MapRoute route{drive.data(), 7200, driven, 3600, 3779, true};
    if (!WriteMapPage(path, drive[driven].dLatitude, drive[driven].dLongitude, 13, 0, route))
      state.SkipWithError("page not written");
  }
  RemoveMapPage();
}
BENCHMARK(BM_WriteMapPage_TwoHourDrive)->Unit(benchmark::kMillisecond);

// The page for a long log (2.3 million records is a 200 MB log): the route
// is simplified, so the page stays small whatever the log; "points" and
// "page_kb" say what the web engine is given.
void BM_MapPageText_LongRoute(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const auto drive = Drive(n);
  std::size_t bytes = 0, points = 0;
  for (auto _ : state) {
    const std::string page = MapPageText(31.2, 121.4, 13, 0, {drive.data(), n, n / 2});
    bytes = page.size();
    const std::size_t from = page.find("var route = [");
    points = static_cast<std::size_t>(
        std::count(page.begin() + from, page.begin() + page.find("];", from), '['));
  }
  state.counters["points"] = static_cast<double>(points - 1);
  state.counters["page_kb"] = static_cast<double>(bytes) / 1024;
}
BENCHMARK(BM_MapPageText_LongRoute)
    ->Arg(3600)
    ->Arg(100000)
    ->Arg(2300000)
    ->Unit(benchmark::kMillisecond);

void BM_LogGraphBuild(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  const auto drive = Drive(n);
  CLogGraph graph;
  for (auto _ : state) {
    wxRect rc(36, 481, 205, 73);
    if (!graph.Build(drive.data(), n, &rc)) state.SkipWithError("build failed");
  }
}
BENCHMARK(BM_LogGraphBuild)->Arg(3600)->Arg(100000)->Unit(benchmark::kMillisecond);

// What a repaint of the graph costs (copy plus cursor).
void BM_LogGraphDrawCursor(benchmark::State& state) {
  const auto drive = Drive(3600);
  CLogGraph graph;
  wxRect rc(36, 481, 205, 73);
  graph.Build(drive.data(), 3600, &rc);
  wxBitmap target(300, 600, 24);
  wxMemoryDC dc(target);
  double f = 0;
  for (auto _ : state) {
    f = f >= 1 ? 0 : f + 0.001;
    graph.DrawCursor(&dc, f);
  }
}
BENCHMARK(BM_LogGraphDrawCursor);

class BenchApp : public wxApp {
 public:
  bool OnInit() override { return true; }
};

}  // namespace

wxIMPLEMENT_APP_NO_MAIN(BenchApp);

int main(int argc, char** argv) {
  wxApp::SetInstance(new BenchApp);
  if (!wxEntryStart(argc, argv)) {
    std::fprintf(stderr, "bench_map_display: needs a display (run under xvfb-run)\n");
    return 1;
  }
  wxTheApp->CallOnInit();
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  wxEntryCleanup();
  return 0;
}
