// Snapshot, Print Image and File Save: the window's side of the commands. The
// flows (counter, file names, BMP writing, copy destination) are in
// SnapshotFlow; the dialogs behind CWxSnapshotUi.
#include <unistd.h>
#include <wx/utils.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "app/VantorDlg.h"

namespace {

// VANTOR_COPY_CHUNK_MS=<n>: File Save copies in 64 KiB pieces and waits n ms
// after each, so that the desktop tests can see and cancel the progress
// dialog of a small movie. 0 or unset: the ordinary copy.
int CopyChunkDelayMs() {
  const char* v = std::getenv("VANTOR_COPY_CHUNK_MS");
  if (!v || !*v) return 0;
  char* end = nullptr;
  const long ms = std::strtol(v, &end, 10);
  return *end == '\0' && ms > 0 && ms <= 10000 ? static_cast<int>(ms) : 0;
}

}  // namespace

vantor::CWxSnapshotUi& CVantorDlg::GetSnapshotUi() {
  if (!m_pSnapshotUi) {
    m_pSnapshotUi = std::make_unique<vantor::CWxSnapshotUi>(this);
    if (const int ms = CopyChunkDelayMs(); ms > 0) {
      vantor::CopyOptions slow;
      slow.chunkSize = 64 * 1024;
      slow.write = [ms](int fd, const void* buf, std::size_t n) {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        return ::write(fd, buf, n);
      };
      m_pSnapshotUi->SetCopyOptions(std::move(slow));
    }
  }
  return *m_pSnapshotUi;
}

void CVantorDlg::SetSnapshotUi(std::unique_ptr<vantor::CWxSnapshotUi> ui) {
  m_pSnapshotUi = std::move(ui);
}

vantor::CapturedFrame CVantorDlg::GrabCurrentFrame() {
  long size = 0;
  std::unique_ptr<std::uint8_t[]> block = m_Player.GetCurrentImage(&size);
  if (!block || size <= 0) return {};
  return vantor::CapturedFrame(block.release(), static_cast<std::size_t>(size));
}

void CVantorDlg::OnSnapshot(wxCommandEvent&) {
  // With Shift held, a clip of two cameras is written with both pictures.
  const bool both = wxGetKeyState(WXK_SHIFT) && m_pInset && m_pInset->IsOpen();
  vantor::RunSnapshot(
      [this, both] {
        vantor::CapturedFrame main = GrabCurrentFrame();
        if (!both || !main) return main;
        long size = 0;
        std::unique_ptr<std::uint8_t[]> inset = m_pInset->GetPlayer().GetCurrentImage(&size);
        if (!inset || size <= 0) return main;
        vantor::CapturedFrame pair =
            vantor::SideBySide(main.span(), {inset.get(), static_cast<std::size_t>(size)});
        return pair ? std::move(pair) : std::move(main);
      },
      GetSnapshotUi());
}

void CVantorDlg::OnPrintImage(wxCommandEvent&) {
  vantor::RunPrintImage(
      m_Player.IsOpen() != FALSE, [this] { return GrabCurrentFrame(); }, GetSnapshotUi());
}

void CVantorDlg::OnFileSave(wxCommandEvent&) {
  // Checked first: without a movie playing there is no current entry to copy.
  const bool playing = m_Player.IsRunning() != FALSE;
  const char* source = m_PlayList.GetCurPath();
  const std::vector<std::string> others = m_PlayList.GetOtherChannels(m_PlayList.GetCurSel());
  vantor::RunFileSave(playing, source ? source : "", GetSnapshotUi(), others);
}
