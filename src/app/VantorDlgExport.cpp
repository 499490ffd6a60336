// In and out marks on the playlist's movies, shown under the position
// slider, and "Export video..." of the stretch between them.
#include <dlfcn.h>
#include <sys/stat.h>
#include <wx/dcclient.h>
#include <wx/filedlg.h>
#include <wx/slider.h>

#include "app/GuiText.h"
#include "app/VantorDlg.h"
#include "app/VideoExport.h"
#include "common/Messages.h"

using vantor::TrWx;

namespace {

// The slider's own marks (GTK draws them under the trough, where the thumb
// points): wx has no call for them, so the GTK ones are looked up in the
// process (wx loaded GTK already) and the program needs no GTK headers.
void SetSliderMarks(wxSlider* slider, const std::vector<double>& values) {
  using Clear = void (*)(void*);
  using Add = void (*)(void*, double, int, const char*);
  static const auto clear = reinterpret_cast<Clear>(::dlsym(RTLD_DEFAULT, "gtk_scale_clear_marks"));
  static const auto add = reinterpret_cast<Add>(::dlsym(RTLD_DEFAULT, "gtk_scale_add_mark"));
  void* scale = slider ? slider->GetHandle() : nullptr;
  if (!clear || !add || !scale) return;
  clear(scale);
  constexpr int kBelow = 3;  // GTK_POS_BOTTOM
  for (double v : values) add(scale, v, kBelow, nullptr);
}

}  // namespace

void CVantorDlg::SetExportMark(bool out) {
  if (!m_Player.IsOpen() || m_PlayList.GetCurSel() < 0) return;
  (out ? m_markOut : m_markIn) = {m_PlayList.GetCurSel(), m_Player.GetCurrentPosition()};
  ShowExportMarks();
}

std::vector<double> CVantorDlg::ExportMarksShown() const {
  std::vector<double> values;
  for (const ExportMark* m : {&m_markIn, &m_markOut})
    if (m->entry >= 0 && m->entry == m_PlayList.GetCurSel()) values.push_back(m->ms / 1000.0);
  return values;
}

void CVantorDlg::ShowExportMarks() {
  // Called from every paint too: a clip opened since shows its own marks.
  std::vector<double> values = ExportMarksShown();
  if (values == m_exportMarksOnSlider) return;
  SetSliderMarks(m_sliderPos, values);
  m_exportMarksOnSlider = std::move(values);
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
