#pragma once
// Helpers for driving the main window's playback and playlist handlers in
// tests: commands sent through the window's event table, timer ticks called
// directly (no waiting for real time), row marks read back from the list,
// and the fixture movies of the `fixtures` target.
#include <gtest/gtest.h>
#include <wx/listctrl.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "GuiTestUtil.h"
#include "app/VantorDlg.h"
#include "common/Messages.h"
#include "support/CapturedDialogs.h"
#include "support/ScratchFolder.h"

namespace vantor::test {

// build/fixtures/DCIM/100MEDIA/AMBA000n.MOV, n = 1..5 (3, 4, 3, 4, 3 s).
inline std::string FixtureClip(int n) {
  return std::string(VANTOR_FIXTURE_DIR) + "/DCIM/100MEDIA/AMBA000" + std::to_string(n) + ".MOV";
}

inline bool FixtureClipsExist() {
  for (int n = 1; n <= 5; ++n)
    if (!std::filesystem::exists(FixtureClip(n))) return false;
  return true;
}

// A file that is not a movie although its name says so.
inline std::string NotAMovie() {
  static const ScratchFolder folder("not-a-movie");
  return folder.Write("NOTMOVIE.MOV", "this is a text file, not a movie\n").string();
}

inline void SendCommand(CVantorDlg* dlg, wxEventType type, int id) {
  wxCommandEvent ev(type, id);
  ev.SetEventObject(dlg->FindWindow(id) ? dlg->FindWindow(id) : dlg);
  dlg->GetEventHandler()->ProcessEvent(ev);
}
inline void Button(CVantorDlg* dlg, int id) {
  SendCommand(dlg, wxEVT_BUTTON, id);
}
inline void MenuCommand(CVantorDlg* dlg, int id) {
  SendCommand(dlg, wxEVT_MENU, id);
}

inline void SendKey(wxWindow* target, int key, bool shift = false) {
  wxKeyEvent ev(wxEVT_CHAR_HOOK);
  ev.m_keyCode = key;
  ev.SetShiftDown(shift);
  ev.SetEventObject(target);
  target->GetEventHandler()->ProcessEvent(ev);
}

// The image index (row mark) of every row.
inline std::vector<int> RowMarks(wxListCtrl* list) {
  std::vector<int> marks;
  for (int i = 0; i < list->GetItemCount(); ++i) {
    wxListItem item;
    item.SetId(i);
    item.SetMask(wxLIST_MASK_IMAGE);
    marks.push_back(list->GetItem(item) ? item.GetImage() : -99);
  }
  return marks;
}

// Row marks with a single `mark` at `row` (or none when row is -1).
inline std::vector<int> MarkAt(int count, int row, int mark) {
  std::vector<int> v(count, 0);
  if (row >= 0 && row < count) v[row] = mark;
  return v;
}

inline std::vector<std::string> Column(wxListCtrl* list, int col) {
  std::vector<std::string> v;
  for (int i = 0; i < list->GetItemCount(); ++i)
    v.push_back(list->GetItemText(i, col).utf8_string());
  return v;
}

inline void SleepMs(int ms) {
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Calls the play timer's handler every 50 ms (no event loop, so the real
// timers stay out of it) until `done` or `timeoutMs`.
inline bool TickPlayTimerUntil(CVantorDlg* dlg, const std::function<bool()>& done, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    SleepMs(50);
    dlg->OnTimer(CVantorDlg::TIMER_PLAY);
  }
  return true;
}

// One shown main window per test suite (its web view is costly); every test
// starts with no movie, an empty list and the sliders as set up.
class MainWindowPlayback : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    dlg = new CVantorDlg;
    dlg->Show();
    PumpUntil([] { return dlg->IsShownOnScreen() && dlg->IsInitialised(); }, 5000);
    PumpEvents(100);
  }
  static void TearDownTestSuite() {
    dlg->Destroy();
    dlg = nullptr;
    PumpEvents(50);
  }
  void SetUp() override {
    ASSERT_TRUE(FixtureClipsExist()) << "build the `fixtures` target first";
    Reset();
  }
  void TearDown() override { Reset(); }
  static void Reset() {
    if (dlg->IsVideoFullScreen()) dlg->LeaveVideoFullScreen();
    dlg->ReleasePlayback();
    dlg->m_List->SetItemState(-1, 0, wxLIST_STATE_SELECTED);
    dlg->m_PlayList.RemoveAll();
    dlg->m_PlayList.SetCurSel(-1);
    dlg->m_sliderVolume->SetValue(100);
    dlg->m_sliderPos->SetValue(0);
    dlg->m_bMuted = FALSE;
    PumpEvents(20);
  }
  static void AddClips(std::initializer_list<int> clips) {
    for (int n : clips) ASSERT_TRUE(dlg->m_PlayList.Add(FixtureClip(n).c_str()));
  }
  static void Select(std::initializer_list<int> rows) {
    for (int r : rows) dlg->m_List->SetItemState(r, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
  }
  static std::vector<int> Marks() { return RowMarks(dlg->m_List); }

  static inline CVantorDlg* dlg = nullptr;
};

}  // namespace vantor::test
