// Adding 10,000 dropped paths to the playlist, without rows, with a plain
// wxListCtrl (ownCtrl:0) and with CPlayListCtrl (ownCtrl:1), and deleting half
// of them again. Needs an X display (xvfb-run).
//   xvfb-run -a build/bench/bench_playlist_drop
#include <benchmark/benchmark.h>
#include <wx/app.h>
#include <wx/frame.h>
#include <wx/init.h>
#include <wx/listctrl.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "app/PlayList.h"
#include "widgets/RowMarks.h"

namespace {

class BenchApp : public wxApp {
 public:
  bool OnInit() override { return true; }
};

std::vector<std::string> MakePaths(int n) {
  std::vector<std::string> paths;
  paths.reserve(n);
  char buf[96];
  for (int i = 0; i < n; ++i) {
    std::snprintf(buf, sizeof buf, "/media/user/CAMERA/DCIM/%03dMEDIA/AMBA%04d.MOV", 100 + i / 1000,
                  i % 10000);
    paths.emplace_back(buf);
  }
  return paths;
}

void Pump() {
  wxTheApp->ProcessPendingEvents();
  while (wxTheApp->Pending()) wxTheApp->Dispatch();
  wxTheApp->Yield(true);
}

struct Window {
  wxFrame* frame;
  wxListCtrl* list;
  explicit Window(bool own) {
    frame = new wxFrame(nullptr, wxID_ANY, "bench", wxPoint(0, 0), wxSize(320, 500));
    if (own)
      list = new CPlayListCtrl(frame, 1025);
    else
      list = new wxListCtrl(frame, 1025, wxDefaultPosition, wxDefaultSize, wxLC_REPORT);
    list->InsertColumn(0, "NO.", wxLIST_FORMAT_LEFT, 40);
    list->InsertColumn(1, "File Name", wxLIST_FORMAT_LEFT, 180);
    list->InsertColumn(2, "Remarks", wxLIST_FORMAT_LEFT, 60);
    vantor::AttachRowMarks(list);
    frame->Show();
    Pump();
  }
  ~Window() {
    frame->Destroy();
    Pump();
  }
};

// The whole drop: adding every path (each checked against the list first) and
// the first repaint after it, which is when the window answers again.
void BM_DropIntoList(benchmark::State& state) {
  const auto paths = MakePaths(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    auto w = std::make_unique<Window>(state.range(1) != 0);
    auto playList = std::make_unique<CPlayList>();
    playList->AttachList(w->list);
    state.ResumeTiming();
    const int added = AddPathsToPlayList(*playList, paths);
    w->list->EnsureVisible(added - 1);
    w->list->Update();
    Pump();
    state.PauseTiming();
    if (added != static_cast<int>(paths.size())) state.SkipWithError("paths went missing");
    playList.reset();
    w.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_DropIntoList)
    ->ArgNames({"paths", "ownCtrl"})
    ->Args({10000, 0})
    ->Args({10000, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

void BM_DropStoreOnly(benchmark::State& state) {
  const auto paths = MakePaths(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    CPlayListCore list;
    benchmark::DoNotOptimize(AddPathsToPlayList(list, paths));
  }
}
BENCHMARK(BM_DropStoreOnly)->Arg(10000)->Unit(benchmark::kMillisecond);

// The same paths dropped again: all duplicates.
void BM_DropDuplicates(benchmark::State& state) {
  const auto paths = MakePaths(static_cast<int>(state.range(0)));
  CPlayListCore list;
  AddPathsToPlayList(list, paths);
  for (auto _ : state) benchmark::DoNotOptimize(AddPathsToPlayList(list, paths));
}
BENCHMARK(BM_DropDuplicates)->Arg(10000)->Unit(benchmark::kMillisecond);

// Deleting every other row of 10,000 (5,000 deletions and the renumbering).
void BM_DeleteHalfOfList(benchmark::State& state) {
  const auto paths = MakePaths(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    state.PauseTiming();
    auto w = std::make_unique<Window>(state.range(1) != 0);
    auto playList = std::make_unique<CPlayList>();
    playList->AttachList(w->list);
    AddPathsToPlayList(*playList, paths);
    for (int i = 0; i < w->list->GetItemCount(); i += 2)
      w->list->SetItemState(i, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
    state.ResumeTiming();
    playList->RemoveSelected();
    w->list->Update();
    Pump();
    state.PauseTiming();
    if (playList->GetCount() != static_cast<int>(paths.size()) / 2)
      state.SkipWithError("wrong count");
    playList.reset();
    w.reset();
    state.ResumeTiming();
  }
}
BENCHMARK(BM_DeleteHalfOfList)
    ->ArgNames({"paths", "ownCtrl"})
    ->Args({10000, 0})
    ->Args({10000, 1})
    ->Unit(benchmark::kMillisecond)
    ->Iterations(2);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  wxApp::SetInstance(new BenchApp);
  if (!wxEntryStart(argc, argv)) {
    std::fprintf(stderr, "bench_playlist_drop: no X display (run it under xvfb-run)\n");
    return 1;
  }
  wxTheApp->CallOnInit();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  wxTheApp->OnExit();
  wxEntryCleanup();
  return 0;
}
