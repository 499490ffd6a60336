// 10,000 paths dropped on the main window: the drop event through the
// window's event table, the rows, and the first repaint after it (when the
// window answers again); then a Select All and one more repaint, to show the
// window stays responsive with the long list. Needs an X display:
//   xvfb-run -a build/bench/bench_main_window_drop
#include <benchmark/benchmark.h>
#include <wx/app.h>
#include <wx/init.h>
#include <wx/listctrl.h>

#include <cstdio>
#include <string>
#include <vector>

#include "app/Resource.h"
#include "app/VantorDlg.h"

namespace {

class BenchApp : public wxApp {
 public:
  bool OnInit() override { return true; }
};

void Pump() {
  wxTheApp->ProcessPendingEvents();
  while (wxTheApp->Pending()) wxTheApp->Dispatch();
  wxTheApp->Yield(true);
}

void BM_DropOnMainWindow(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  auto* dlg = new CVantorDlg;
  dlg->Show();
  for (int i = 0; i < 50 && !dlg->IsInitialised(); ++i) Pump();
  for (auto _ : state) {
    state.PauseTiming();
    dlg->m_PlayList.RemoveAll();
    Pump();
    auto* files = new wxString[n];  // the event owns them
    for (int i = 0; i < n; ++i)
      files[i] = wxString::Format("/media/user/CAMERA/DCIM/%03dMEDIA/AMBA%04d.MOV", 100 + i / 1000,
                                  i % 10000);
    wxDropFilesEvent drop(wxEVT_DROP_FILES, n, files);
    drop.SetEventObject(dlg);
    state.ResumeTiming();
    dlg->GetEventHandler()->ProcessEvent(drop);
    dlg->m_List->EnsureVisible(n - 1);
    dlg->m_List->Update();
    Pump();
    wxCommandEvent selectAll(wxEVT_MENU, vantor::res::ID_PLAYLIST_SELECTALL);
    dlg->GetEventHandler()->ProcessEvent(selectAll);
    dlg->m_List->Update();
    Pump();
    state.PauseTiming();
    if (dlg->m_PlayList.GetCount() != n || dlg->m_List->GetSelectedItemCount() != n)
      state.SkipWithError("rows went missing");
    dlg->m_List->SetItemState(-1, 0, wxLIST_STATE_SELECTED);
    state.ResumeTiming();
  }
  dlg->Destroy();
  Pump();
}
BENCHMARK(BM_DropOnMainWindow)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  wxApp::SetInstance(new BenchApp);
  if (!wxEntryStart(argc, argv)) {
    std::fprintf(stderr, "bench_main_window_drop: no X display (run it under xvfb-run)\n");
    return 1;
  }
  wxTheApp->CallOnInit();
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  wxTheApp->OnExit();
  wxEntryCleanup();
  return 0;
}
