// In and out marks on the playlist's movies, shown under the position
// slider, and "Export video..." of the stretch between them.
#include <sys/stat.h>
#include <wx/dcclient.h>
#include <wx/filedlg.h>
#include <wx/slider.h>

#include "app/GuiText.h"
#include "app/VantorDlg.h"
#include "app/VideoExport.h"
#include "common/Messages.h"

using vantor::TrWx;

void CVantorDlg::SetExportMark(bool out) {
  if (!m_Player.IsOpen() || m_PlayList.GetCurSel() < 0) return;
  (out ? m_markOut : m_markIn) = {m_PlayList.GetCurSel(), m_Player.GetCurrentPosition()};
  if (m_sliderPos) RefreshRect(ExportMarksRect(), true);
}

wxRect CVantorDlg::ExportMarksRect() const {
  const wxRect r = m_sliderPos->GetRect();
  return wxRect(r.x, r.GetBottom() + 1, r.width, 7);
}

void CVantorDlg::PaintExportMarks(wxDC& dc) {
  if (!m_sliderPos || !m_Player.IsOpen()) return;
  const long duration = m_Player.GetDuration();
  if (duration <= 0) return;
  const wxRect r = ExportMarksRect();
  // The thumb's centre never reaches the slider's ends: the marks line up with it.
  const int inset = 10;
  for (const ExportMark* m : {&m_markIn, &m_markOut}) {
    if (m->entry != m_PlayList.GetCurSel()) continue;
    const double f = std::clamp(static_cast<double>(m->ms) / duration, 0.0, 1.0);
    const int x = r.x + inset + static_cast<int>(f * (r.width - 2 * inset));
    const wxPoint tri[3] = {{x, r.y}, {x - 5, r.y + 6}, {x + 5, r.y + 6}};
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.SetBrush(wxBrush(m == &m_markIn ? wxColour(0x30, 0xC0, 0x50) : wxColour(0xE0, 0x40, 0x30)));
    dc.DrawPolygon(3, tri);
  }
}

void CVantorDlg::RunExportVideo() {
  const auto info = [](const char* text) {
    vantor::ShowMessageBox(vantor::Tr(text), vantor::Tr("Export video"),
                           vantor::MessageIcon::Information);
  };
  if (m_pVideoExport && m_pVideoExport->IsRunning()) return info("An export is already running.");
  if (m_markIn.entry < 0 || m_markOut.entry < 0 || m_markIn.entry >= m_PlayList.GetCount() ||
      m_markOut.entry >= m_PlayList.GetCount())
    return info("Mark the in point (key I) and the out point (key O) first.");
  if (m_PlayList.GetDrive(m_markIn.entry) != m_PlayList.GetDrive(m_markOut.entry))
    return info("The in and out points are in different drives.");
  if (m_markOut.entry < m_markIn.entry ||
      (m_markOut.entry == m_markIn.entry && m_markOut.ms <= m_markIn.ms))
    return info("The out point comes before the in point.");

  VideoExportChoices choices;
  if (!AskVideoExportChoices(this, choices)) return;
  wxString path;
  while (true) {
    wxFileDialog dlg(this, TrWx("Export video"), wxEmptyString, "evidence.mp4", "MP4 (*.mp4)|*.mp4",
                     wxFD_SAVE);
    if (dlg.ShowModal() != wxID_OK) return;
    path = dlg.GetPath();
    if (!path.Lower().EndsWith(".mp4")) path += ".mp4";
    struct stat st {};
    // Never over what the user has: another name is asked for instead.
    if (::lstat(path.utf8_str(), &st) != 0) break;
    vantor::ShowMessageBox(
        path.utf8_string() + "\n" + vantor::Tr("already exists; choose another name"),
        vantor::Tr("Export video"), vantor::MessageIcon::Warning);
  }
  StartVideoExport(path.utf8_string(), choices);
}

bool CVantorDlg::StartVideoExport(const std::string& outPath, const VideoExportChoices& choices) {
  std::vector<std::string> paths;
  for (int i = m_markIn.entry; i <= m_markOut.entry; ++i)
    if (const char* p = m_PlayList.GetPath(i)) paths.emplace_back(p);
  if (!m_pVideoExport) m_pVideoExport = std::make_shared<CVideoExport>(this);
  return m_pVideoExport->Start(std::move(paths), m_markIn.ms, m_markOut.ms, choices,
                               {m_speedUnit, m_cameraClock}, outPath);
}

void CVantorDlg::OnMenuMarkIn(wxCommandEvent&) {
  SetExportMark(false);
}
void CVantorDlg::OnMenuMarkOut(wxCommandEvent&) {
  SetExportMark(true);
}
void CVantorDlg::OnMenuExportVideo(wxCommandEvent&) {
  RunExportVideo();
}
