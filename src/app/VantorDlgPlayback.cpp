// Opening and playing movies: the transport commands and their playlist-menu
// twins, the position and volume sliders, full screen, Escape, and the two
// timers that poll the player and keep the GPS displays in step with it.
#include <sys/stat.h>
#include <wx/dirdlg.h>
#include <wx/filefn.h>
#include <wx/listctrl.h>
#include <wx/slider.h>
#include <wx/stattext.h>

#include <algorithm>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/GuiText.h"
#include "app/Resource.h"
#include "app/VantorDlg.h"
#include "common/SafeWrite.h"
#include "player/VideoPane.h"
#include "widgets/FECFileDialog.h"
#include "widgets/FileFilter.h"
#include "widgets/ImageButton.h"

using namespace vantor::res;

namespace {

VideoRect ToVideoRect(const wxRect& r) {
  return VideoRect{r.x, r.y, r.x + r.width, r.y + r.height};
}

long FirstSelectedRow(const wxListCtrl* list) {
  return list ? list->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED) : -1;
}

// Hooks for scripts/soak.sh, read once: VANTOR_STATUS_FILE names a file that
// each play tick replaces with one line of state, and VANTOR_EXIT_AT_END=1
// closes the window when the list has played to its end. Unset, they cost a
// pointer test per tick.
const std::string& StatusFilePath() {
  static const std::string path = [] {
    const char* p = std::getenv("VANTOR_STATUS_FILE");
    return std::string(p ? p : "");
  }();
  return path;
}

bool ExitAtEnd() {
  static const bool exitAtEnd = [] {
    const char* p = std::getenv("VANTOR_EXIT_AT_END");
    return p && std::string(p) == "1";
  }();
  return exitAtEnd;
}

// Replaces the file whole, so a reader never sees half a line.
void WriteStatusLine(const std::string& line) {
  vantor::WriteFileSafely(StatusFilePath(), line + '\n');
}

}  // namespace

wxString CVantorDlg::FormatPlayTime(long nSeconds) {
  if (nSeconds < 0) nSeconds = 0;
  const long hours = nSeconds / 3600, minutes = nSeconds / 60 % 60, seconds = nSeconds % 60;
  if (hours > 0) return wxString::Format("%ld:%02ld:%02ld", hours, minutes, seconds);
  return wxString::Format("%ld:%02ld", minutes, seconds);
}

bool CVantorDlg::IsTimerRunning(int nIDEvent) const {
  if (nIDEvent == TIMER_PLAY) return m_timerPlay.IsRunning();
  if (nIDEvent == TIMER_BACKWARD) return m_timerBackward.IsRunning();
  return false;
}

std::vector<std::string> CVantorDlg::CamerasOf(int nIndex) const {
  const char* path = m_PlayList.GetPath(nIndex);
  if (!path) return {};
  // A clip of several cameras: one fills the pane, the next one is the inset.
  std::vector<std::string> cameras{path};
  for (std::string& other : m_PlayList.GetOtherChannels(nIndex)) cameras.push_back(std::move(other));
  if (m_bCamerasSwapped && cameras.size() > 1) std::swap(cameras[0], cameras[1]);
  return cameras;
}

BOOL CVantorDlg::OpenAndPlay(const char* path) {
  m_nLastMapSecond = 0;
  m_strJoinRefused.clear();
  if (!path || !*path) {
    m_timerPlay.Stop();
    return FALSE;
  }
  // A FIFO, device or socket in a movie's place would block the open (and
  // the window with it) until someone writes to it: only regular files are
  // handed to the player, the rest fail at once like a movie that cannot play.
  struct stat st {};
  const bool isFile = ::stat(path, &st) == 0 && S_ISREG(st.st_mode);
  std::vector<std::string> cameras = CamerasOf(m_PlayList.GetCurSel());
  if (cameras.empty()) cameras.push_back(path);
  if (m_pInset) m_pInset->Close();
  if (!isFile || !m_Player.Open(cameras[0], m_pVideoPane, ToVideoRect(m_rcVideo))) {
    // The player has already let go of whatever was playing. Closing makes
    // that plain to the transport buttons, and the entry that did not play
    // loses its mark. The play timer runs on: its next tick finds nothing
    // open and goes on to the next entry, as at the end of a movie.
    m_Player.Close();
    m_PlayList.SetItemMark(m_PlayList.GetCurSel(), ROWMARK_NONE);
    return FALSE;
  }
  m_Player.SetVolume(m_sliderVolume->GetValue());
  ShowOpenedEntry(path, cameras);
  m_Player.Play();
  UpdateTimeDisplay();
  UpdateGpsDisplay(FALSE);
  m_timerPlay.Start(kPlayTimerMs);
  return TRUE;
}

void CVantorDlg::ShowOpenedEntry(const char* path, const std::vector<std::string>& cameras) {
  const long seconds = m_Player.GetDuration() / 1000;
  // A movie shorter than a second still gets a slider that can move.
  m_sliderPos->SetRange(0, static_cast<int>(std::max(1L, seconds)));
  LoadGpsLogForMovie(path);
  if (cameras.size() > 1 && m_pInset) m_pInset->Open(cameras[1]);
}

int CVantorDlg::NeighbourInDrive(int delta) const {
  const int current = m_PlayList.GetCurSel();
  const int other = current + delta;
  if (current < 0 || current >= m_PlayList.GetCount() || other < 0 ||
      other >= m_PlayList.GetCount())
    return -1;
  return m_PlayList.GetDrive(other) == m_PlayList.GetDrive(current) ? other : -1;
}

void CVantorDlg::PrepareJoin() {
  if (m_Player.IsAudioOnly()) return;
  const int next = NeighbourInDrive(+1);
  if (next < 0) return;
  if (!m_Player.GetPreparedPath().empty()) {
    // The inset's camera of the next clip comes a tick after the main one:
    // two prerolls at once would hold the window up twice as long.
    if (!m_pInset || !m_pInset->IsOpen() || !m_pInset->GetPreparedPath().empty()) return;
    const std::vector<std::string> cameras = CamerasOf(next);
    if (cameras.size() > 1) m_pInset->PrepareNext(cameras[1]);
    return;
  }
  const long left = m_Player.GetDuration() - m_Player.GetCurrentPosition();
  if (left > kJoinLeadMs * m_Player.GetRate()) return;
  const std::vector<std::string> cameras = CamerasOf(next);
  if (cameras.empty() || cameras[0] == m_strJoinRefused) return;
  struct stat st {};
  if (::stat(cameras[0].c_str(), &st) != 0 || !S_ISREG(st.st_mode) ||
      !m_Player.PrepareNext(cameras[0]))
    m_strJoinRefused = cameras[0];  // the end then opens it the usual way
}

void CVantorDlg::FollowJoin() {
  m_nLastMapSecond = 0;
  m_strJoinRefused.clear();
  const char* path = m_PlayList.GetNextPath();
  if (!path) return;
  const std::vector<std::string> cameras = CamerasOf(m_PlayList.GetCurSel());
  // The inset goes over with its own prepared clip; without one it is opened
  // anew on the new entry's other camera, where the main picture has got to.
  if (cameras.size() > 1 && m_pInset && m_pInset->FollowJoin(cameras[1])) {
    ShowOpenedEntry(path, {cameras[0]});
  } else {
    if (m_pInset) m_pInset->Close();
    ShowOpenedEntry(path, cameras);
  }
  UpdateTimeDisplay();
  UpdateGpsDisplay(FALSE);
}

bool CVantorDlg::OpenNeighbourPaused(int delta, long ms) {
  const int other = NeighbourInDrive(delta);
  if (other < 0) return false;
  if (!OpenAndPlay(m_PlayList.SetCurSel(other))) return false;
  m_Player.Pause();
  m_PlayList.SetItemMark(other, ROWMARK_PAUSED);
  const long duration = m_Player.GetDuration();
  m_Player.SetCurrentPosition(std::clamp(ms, 0L, std::max(0L, duration - 1)));
  return true;
}

BOOL CVantorDlg::PlayNextEntry() {
  // An entry that cannot be played (deleted, not a movie) gives way to the
  // one after it; every entry that can play gets its turn.
  for (const char* path = m_PlayList.GetNextPath(); path; path = m_PlayList.GetNextPath()) {
    if (OpenAndPlay(path)) return TRUE;
  }
  return FALSE;
}

void CVantorDlg::OnTimerEvent(wxTimerEvent& event) {
  OnTimer(event.GetId());
}

void CVantorDlg::OnTimer(int nIDEvent) {
  switch (nIDEvent) {
    case TIMER_PLAY:
      if (m_Player.TakeHandover()) {
        // The player is already showing the next clip of the drive.
        FollowJoin();
      } else if (m_Player.CheckComplete()) {
        // The end of a movie (or nothing open any more): the next entry, or
        // the end of the list.
        if (!PlayNextEntry()) m_timerPlay.Stop();
      } else if (m_Player.IsRunning()) {
        UpdateTimeDisplay();
        UpdateGpsDisplay(TRUE);
        PrepareJoin();
      }
      if (!StatusFilePath().empty()) WriteStatus();
      if (!m_timerPlay.IsRunning() && ExitAtEnd()) Close();
      break;
    case TIMER_BACKWARD: {
      UpdateTimeDisplay();
      const long now = m_Player.GetCurrentPosition();
      // At the start of a clip the drive goes on backward from the end of
      // the clip before it.
      if (now == 0 && OpenNeighbourPaused(-1, LONG_MAX)) {
        m_timerBackward.Start(kBackwardTimerMs);
        UpdateTimeDisplay();
        UpdateGpsDisplay(TRUE);
        break;
      }
      const long t = std::max(0L, now - kBackwardStepMs);
      m_Player.SetCurrentPosition(t);
      UpdateGpsDisplay(TRUE);
      // At the start of the drive the stepping ends; the movie stays paused there.
      if (t == 0 && NeighbourInDrive(-1) < 0) m_timerBackward.Stop();
      break;
    }
    default:
      break;
  }
}

void CVantorDlg::WriteStatus() {
  // index, position and duration in ms, GPS records, map page writes, path;
  // "end" in place of the index once the list has played out.
  const bool open = m_Player.IsOpen();
  const char* path = m_PlayList.GetCurPath();
  std::string line = m_timerPlay.IsRunning() ? std::to_string(m_PlayList.GetCurSel()) : "end";
  line += ' ' + std::to_string(open ? m_Player.GetCurrentPosition() : 0);
  line += ' ' + std::to_string(open ? m_Player.GetDuration() : 0);
  line += ' ' + std::to_string(m_nGpsCount);
  line += ' ' + std::to_string(m_nMapPageWrites);
  line += ' ' + std::string(path ? path : "-");
  WriteStatusLine(line);
}

void CVantorDlg::UpdateTimeDisplay() {
  const long s = m_Player.GetCurrentPosition() / 1000;
  m_sliderPos->SetValue(static_cast<int>(s));
  // GTK shows a slider's tooltip only while the pointer rests on it; it is
  // the play time there. Setting the same text again would make it flicker.
  const wxString tip = FormatPlayTime(s);
  if (m_sliderPos->GetToolTipText() != tip) m_sliderPos->SetToolTip(tip);
  const wxString text = tip + " / " + FormatPlayTime(m_Player.GetDuration() / 1000);
  if (m_staticTime && m_staticTime->GetLabel() != text) m_staticTime->SetLabel(text);
}

void CVantorDlg::OnOpenFile(wxCommandEvent&) {
  CFECFileDialog dlg(TRUE, nullptr, nullptr, OFN_ALLOWMULTISELECT | OFN_HIDEREADONLY,
                     vantor::kMovieFileFilter, this);
  // The chooser opens where the last movies were chosen, while that folder is there.
  if (const auto folder = m_settings.Get(vantor::Settings::kOpenFolder)) {
    const wxString dir = wxString::FromUTF8(*folder);
    if (!dir.empty() && wxDirExists(dir)) dlg.SetDirectory(dir);
  }
  if (dlg.DoModal() == wxID_OK) AddChosenFiles(dlg);
}

void CVantorDlg::AddChosenFiles(const CFECFileDialog& dlg) {
  std::vector<std::string> paths;
  for (CFECFileDialog::POSITION pos = dlg.GetStartPosition(); pos;)
    paths.push_back(dlg.GetNextPathName(pos));
  if (const auto* first = dlg.GetStartPosition()) {
    m_settings.Set(vantor::Settings::kOpenFolder, first->strFolder);
    m_settings.Save();  // a failure only costs the folder next time
  }
  // Listed paths are skipped; nothing starts playing.
  AddPathsToPlayList(m_PlayList, paths);
}

void CVantorDlg::OnMenuAddFolder(wxCommandEvent&) {
  wxString start;
  if (const auto folder = m_settings.Get(vantor::Settings::kOpenFolder))
    if (wxDirExists(wxString::FromUTF8(*folder))) start = wxString::FromUTF8(*folder);
  wxDirDialog dlg(this, vantor::TrWx("Add the movies of a folder"), start,
                  wxDD_DEFAULT_STYLE | wxDD_DIR_MUST_EXIST);
  if (dlg.ShowModal() == wxID_OK) AddChosenFolder(dlg.GetPath().utf8_string());
}

int CVantorDlg::AddChosenFolder(const std::string& folder) {
  const std::string paths[] = {folder};
  const int added = AddPathsToPlayList(m_PlayList, paths);
  if (added == 0)
    vantor::ShowMessageBox(folder + "\n" + vantor::Tr("No movie was found in this folder."),
                           vantor::Tr("Vantor"), vantor::MessageIcon::Information);
  m_settings.Set(vantor::Settings::kOpenFolder, folder);
  m_settings.Save();  // a failure only costs the folder next time
  return added;
}

void CVantorDlg::OpenMovies(const std::vector<std::string>& paths) {
  const int before = m_PlayList.GetCount();
  AddPathsToPlayList(m_PlayList, paths);
  // The first path the list took plays (for a folder, the first of the
  // entries it added); one that cannot play gives way to the next entry.
  for (const std::string& path : paths) {
    int index = m_PlayList.Find(path.c_str());
    if (index < 0 && wxDirExists(wxString::FromUTF8(path)) && m_PlayList.GetCount() > before)
      index = before;
    if (index < 0) continue;
    if (!OpenAndPlay(m_PlayList.SetCurSel(index))) PlayNextEntry();
    return;
  }
}

void CVantorDlg::OnPlay(wxCommandEvent&) {
  m_timerBackward.Stop();
  // Once the list has played to its end the last movie is still open (and
  // "running" at its end), but no entry is current: Play then starts over
  // rather than pause or resume a movie that has nothing left.
  const int current = m_PlayList.GetCurSel();
  const bool listEnded = current < 0 || current >= m_PlayList.GetCount();
  if (!listEnded && m_Player.IsRunning()) {
    m_Player.Pause();
    m_PlayList.SetItemMark(m_PlayList.GetCurSel(), ROWMARK_PAUSED);
  } else if (!listEnded && m_Player.IsOpen()) {
    m_Player.SetRate(1.0);
    m_Player.Play();
    m_PlayList.SetItemMark(m_PlayList.GetCurSel(), ROWMARK_PLAYING);
  } else if (m_PlayList.GetCount() == 0) {
    OpenAndPlay(nullptr);
  } else {
    // The selected entry, or with nothing selected the first, made current
    // and marked like any other, so that the end of it moves on to the next.
    const long index = std::max(0L, FirstSelectedRow(m_List));
    OpenAndPlay(m_PlayList.SetCurSel(static_cast<int>(index)));
  }
}

void CVantorDlg::OnMenuPlay(wxCommandEvent&) {
  if (m_PlayList.GetCount() == 0) return;
  const long index = std::max(0L, FirstSelectedRow(m_List));
  OpenAndPlay(m_PlayList.SetCurSel(static_cast<int>(index)));
}

void CVantorDlg::OnPause(wxCommandEvent&) {
  m_timerBackward.Stop();
  if (!m_Player.IsOpen()) return;
  m_Player.Pause();
  m_PlayList.SetItemMark(m_PlayList.GetCurSel(), ROWMARK_PAUSED);
}

void CVantorDlg::OnMenuPause(wxCommandEvent& event) {
  OnPause(event);
}

void CVantorDlg::OnStop(wxCommandEvent&) {
  m_timerBackward.Stop();
  // No current entry any more: the play timer's next tick finds nothing open
  // and no next entry, and stops itself.
  m_PlayList.SetCurSel(m_PlayList.GetCount());
  m_Player.Stop();
  m_Player.Close();
  ShowNothingPlaying();
}

void CVantorDlg::ShowNothingPlaying() {
  m_sliderPos->SetValue(0);
  m_sliderPos->SetToolTip(FormatPlayTime(0));
  if (m_staticTime) m_staticTime->SetLabel(wxEmptyString);
  // No tick comes to move the displays once the movie is closed: whatever
  // they show now would stay, a speed read with nothing playing.
  ResetGpsDisplay();
}

void CVantorDlg::OnMenuStop(wxCommandEvent&) {
  // Halts a playing movie and clears what it showed; the movie stays open.
  if (!m_Player.IsRunning()) return;
  m_Player.Stop();
  m_Player.SetRate(1.0);
  m_sliderPos->SetValue(0);
  DrawSpeedDial(0);
  m_browser.Navigate("about:blank");
  const wxString zeroAngle = wxString::FromUTF8("0\xC2\xB0");
  m_staticAngle1->SetLabel(zeroAngle);
  m_staticAngle2->SetLabel(zeroAngle);
  for (wxStaticText* digit : m_staticDigit) digit->SetLabel("0");
}

void CVantorDlg::StepBackward(double dRate) {
  if (!m_Player.IsOpen()) return;
  m_timerBackward.Stop();
  m_Player.Pause();
  // The stepping itself is the same for both buttons; the rate applies once
  // play resumes.
  m_Player.SetRate(dRate);
  m_PlayList.SetItemMark(m_PlayList.GetCurSel(), ROWMARK_PAUSED);
  m_timerBackward.Start(kBackwardTimerMs);
}

void CVantorDlg::OnBackwardPlay(wxCommandEvent&) {
  StepBackward(1.0);
}

void CVantorDlg::OnFastBackward(wxCommandEvent&) {
  StepBackward(2.0);
}

void CVantorDlg::OnFastForward(wxCommandEvent&) {
  if (!m_Player.IsOpen()) return;
  m_timerBackward.Stop();
  m_Player.Pause();
  m_Player.SetRate(2.0);
  m_Player.Play();
  m_PlayList.SetItemMark(m_PlayList.GetCurSel(), ROWMARK_PLAYING);
}

void CVantorDlg::OnNextItem(wxCommandEvent&) {
  m_timerBackward.Stop();
  if (m_PlayList.GetCurSel() < m_PlayList.GetCount() - 1 && PlayNextEntry()) return;
  // Past the last entry: nothing more to play.
  m_timerPlay.Stop();
  m_Player.Stop();
  m_Player.Close();
  m_PlayList.SetItemMark(m_PlayList.GetCurSel(), ROWMARK_NONE);
}

void CVantorDlg::OnPreviousItem(wxCommandEvent&) {
  // Back to the start of the current movie; the entry stays the same.
  m_timerBackward.Stop();
  m_nLastMapSecond = 0;
  if (m_Player.IsOpen()) m_Player.SetCurrentPosition(0);
}

void CVantorDlg::OnListDblClk(wxListEvent& event) {
  const long index = event.GetIndex();
  if (index >= 0) OpenAndPlay(m_PlayList.SetCurSel(static_cast<int>(index)));
}

void CVantorDlg::OnMute(wxCommandEvent&) {
  m_bMuted = !m_bMuted;
  m_Player.Mute(m_bMuted);
  if (m_btnMute) {
    m_btnMute->SetCheck(m_bMuted);
    m_btnMute->SetTooltipText(vantor::TrWx(m_bMuted ? "Unmute" : "Mute"), true);
  }
  // The slider shows silence while muted; moving it programmatically sends
  // no scroll event.
  if (m_bMuted) {
    m_nVolumeBeforeMute = m_sliderVolume->GetValue();
    m_sliderVolume->SetValue(0);
  } else {
    m_sliderVolume->SetValue(m_nVolumeBeforeMute);
    // A movie opened while muted started silent: the sound comes back at
    // what the slider shows.
    m_Player.SetVolume(m_nVolumeBeforeMute);
  }
}

void CVantorDlg::OnHScroll(wxScrollEvent& event) {
  switch (event.GetId()) {
    case IDC_VOLUME:
      m_Player.SetVolume(m_sliderVolume->GetValue());
      break;
    case IDC_POSITION: {
      if (!m_Player.IsOpen()) break;
      // Every movement seeks, dragging included. The map page counts its
      // 5 seconds from the second sought to.
      const int s = m_sliderPos->GetValue();
      m_nLastMapSecond = static_cast<std::uint32_t>(std::max(0, s));
      m_Player.SetCurrentPosition(static_cast<long>(s) * 1000);
      // The graph's cursor follows at the next paint of its rectangle.
      if (m_graph.IsBuilt()) RefreshRect(m_graph.GetRect(), false);
      break;
    }
    default:
      break;
  }
}

bool CVantorDlg::OnPlayerKey(int keyCode, int modifiers) {
  // Ctrl and Alt combinations belong to whatever has the focus.
  const bool shift = modifiers == wxMOD_SHIFT;
  if (modifiers != wxMOD_NONE && !shift) return false;
  wxCommandEvent none;
  switch (keyCode) {
    case WXK_SPACE:
      if (shift) return false;
      OnPlay(none);
      return true;
    case WXK_LEFT:
    case WXK_RIGHT: {
      const long step = shift ? 1000 : 5000;
      SeekBy(keyCode == WXK_LEFT ? -step : step);
      return true;
    }
    case ',':
    case '.':
      if (shift) return false;
      StepFrame(keyCode == '.' ? 1 : -1);
      return true;
    case WXK_UP:
    case WXK_DOWN: {
      if (shift) return false;
      // The keys turn the sound back on at the level they set.
      if (m_bMuted) OnMute(none);
      const int volume = m_sliderVolume->GetValue() + (keyCode == WXK_UP ? 10 : -10);
      m_sliderVolume->SetValue(std::clamp(volume, 0, 100));
      m_Player.SetVolume(m_sliderVolume->GetValue());
      return true;
    }
    case 'M':
      if (shift) return false;
      OnMute(none);
      return true;
    case 'I':
    case 'O':
      if (shift) return false;
      SetExportMark(keyCode == 'O');
      return true;
    case WXK_TAB:
      // Only a clip with a second camera takes Tab from focus moving.
      if (shift || !m_pInset || !m_pInset->IsOpen()) return false;
      m_pInset->CycleCorner();
      return true;
    case 'F':
      if (shift) return false;
      if (IsVideoFullScreen())
        LeaveVideoFullScreen();
      else if (m_Player.IsOpen())
        m_Player.EnterFullScreen();
      return true;
    default:
      return false;
  }
}

void CVantorDlg::StepFrame(int nFrames) {
  if (!m_Player.IsOpen() || m_Player.IsAudioOnly()) return;
  // A frame step while playing first stops at the picture shown.
  if (m_timerBackward.IsRunning() || m_Player.IsRunning()) {
    wxCommandEvent none;
    OnPause(none);
  }
  // A step past either end of a clip goes on in its neighbour of the drive:
  // the first frame follows the last one, the last one precedes the first.
  const long position = m_Player.GetCurrentPosition();
  const long duration = m_Player.GetDuration();
  const bool atStart = nFrames < 0 && position < kFrameSlackMs;
  const bool atEnd = nFrames > 0 && duration > 0 && position + kFrameSlackMs >= duration;
  if (atStart && OpenNeighbourPaused(-1, LONG_MAX)) {
    if (nFrames < -1) m_Player.StepFrame(nFrames + 1);
  } else if (atEnd && OpenNeighbourPaused(+1, 0)) {
    if (nFrames > 1) m_Player.StepFrame(nFrames - 1);
  } else if (!m_Player.StepFrame(nFrames)) {
    return;
  }
  UpdateTimeDisplay();
  UpdateGpsDisplay(TRUE);
}

void CVantorDlg::SeekBy(long deltaMs) {
  if (!m_Player.IsOpen()) return;
  m_timerBackward.Stop();
  const long duration = m_Player.GetDuration();
  const long target = std::clamp(m_Player.GetCurrentPosition() + deltaMs, 0L, duration);
  m_nLastMapSecond = static_cast<std::uint32_t>(target / 1000);
  m_Player.SetCurrentPosition(target);
  // While paused no tick comes to show where the movie now is.
  UpdateTimeDisplay();
  UpdateGpsDisplay(TRUE);
}

bool CVantorDlg::IsVideoFullScreen() const {
  return m_pVideoPane && m_pVideoPane->IsInFullScreen();
}

void CVantorDlg::LeaveVideoFullScreen() {
  // Without a movie the player cannot leave; the pane still comes home.
  if (!m_Player.LeaveFullScreen() && m_pVideoPane) m_pVideoPane->SetFullScreen(false);
}

void CVantorDlg::OnLButtonDblClk(wxMouseEvent& event) {
  event.Skip();
  if (IsVideoFullScreen())
    LeaveVideoFullScreen();
  else if (m_rcVideo.Contains(event.GetPosition()))
    m_Player.EnterFullScreen();
}

void CVantorDlg::OnEscapeKey() {
  if (IsVideoFullScreen()) {
    LeaveVideoFullScreen();
  } else if (m_Player.IsOpen()) {
    m_timerPlay.Stop();
    m_timerBackward.Stop();
    m_Player.Stop();
    m_Player.Close();
    m_PlayList.SetItemMark(m_PlayList.GetCurSel(), ROWMARK_NONE);
    ShowNothingPlaying();
  }
}

void CVantorDlg::ReleasePlayback() {
  m_timerPlay.Stop();
  m_timerBackward.Stop();
  if (m_pInset) m_pInset->Close();
  if (m_Player.IsOpen()) m_Player.Stop();
  m_Player.Close();
}

void CVantorDlg::SwapCameras() {
  if (!m_pInset || !m_pInset->IsOpen() || !m_Player.IsOpen()) return;
  const long position = m_Player.GetCurrentPosition();
  const bool playing = m_Player.IsRunning() != FALSE;
  m_bCamerasSwapped = !m_bCamerasSwapped;
  if (!OpenAndPlay(m_PlayList.GetCurPath())) return;
  m_Player.SetCurrentPosition(position);
  if (!playing) m_Player.Pause();
  m_pInset->Follow();
}
