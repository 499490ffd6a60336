// Snapshot, Print Image and File Save: the window's side of the commands. The
// flows (counter, file names, BMP writing, copy destination) are in
// SnapshotFlow; the dialogs behind CWxSnapshotUi.
#include "app/VantorDlg.h"

vantor::CWxSnapshotUi& CVantorDlg::GetSnapshotUi() {
  if (!m_pSnapshotUi) m_pSnapshotUi = std::make_unique<vantor::CWxSnapshotUi>(this);
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
  vantor::RunSnapshot([this] { return GrabCurrentFrame(); }, GetSnapshotUi());
}

void CVantorDlg::OnPrintImage(wxCommandEvent&) {
  vantor::RunPrintImage(
      m_Player.IsOpen() != FALSE, [this] { return GrabCurrentFrame(); }, GetSnapshotUi());
}

void CVantorDlg::OnFileSave(wxCommandEvent&) {
  // Checked first: without a movie playing there is no current entry to copy.
  const bool playing = m_Player.IsRunning() != FALSE;
  const char* source = m_PlayList.GetCurPath();
  vantor::RunFileSave(playing, source ? source : "", GetSnapshotUi());
}
