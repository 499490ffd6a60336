// In and out marks on the playlist's movies, shown under the position
// slider, and "Export video..." of the stretch between them.
#include <dlfcn.h>
#include <sys/stat.h>
#include <wx/dcclient.h>
#include <wx/filedlg.h>
#include <wx/slider.h>

#include <wx/filename.h>
#include <wx/listctrl.h>

#include <algorithm>

#include "app/DriveExport.h"
#include "app/GuiText.h"
#include "app/VantorDlg.h"
#include "app/VideoExport.h"
#include "common/Messages.h"

using vantor::TrWx;

namespace {

// The slider's own marks (GTK draws them beside the trough): wx has no call
// for them, so the GTK ones are looked up in the process (wx loaded GTK
// already) and the program needs no GTK headers. The in point's tick stands
// above the trough and the out point's below it, so the two are told apart
// without a text, for which the window has no room.
void SetSliderMarks(wxSlider* slider, const std::vector<std::pair<double, bool>>& marks) {
  using Clear = void (*)(void*);
  using Add = void (*)(void*, double, int, const char*);
  static const auto clear = reinterpret_cast<Clear>(::dlsym(RTLD_DEFAULT, "gtk_scale_clear_marks"));
  static const auto add = reinterpret_cast<Add>(::dlsym(RTLD_DEFAULT, "gtk_scale_add_mark"));
  void* scale = slider ? slider->GetHandle() : nullptr;
  if (!clear || !add || !scale) return;
  clear(scale);
  constexpr int kAbove = 2, kBelow = 3;  // GTK_POS_TOP, GTK_POS_BOTTOM
  for (const auto& [value, out] : marks) add(scale, value, out ? kBelow : kAbove, nullptr);
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
  std::vector<std::pair<double, bool>> marks;
  for (const ExportMark* m : {&m_markIn, &m_markOut})
    if (m->entry >= 0 && m->entry == m_PlayList.GetCurSel())
      marks.emplace_back(m->ms / 1000.0, m == &m_markOut);
  if (marks == m_exportMarksOnSlider) return;
  SetSliderMarks(m_sliderPos, marks);
  m_exportMarksOnSlider = std::move(marks);
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
  bool twoCameras = false;
  for (int i = m_markIn.entry; i <= m_markOut.entry; ++i)
    twoCameras = twoCameras || !m_PlayList.GetOtherChannels(i).empty();
  if (!AskVideoExportChoices(this, choices, twoCameras)) return;
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
  std::vector<std::string> paths, insets;
  for (int i = m_markIn.entry; i <= m_markOut.entry; ++i)
    if (const char* p = m_PlayList.GetPath(i)) {
      paths.emplace_back(p);
      const std::vector<std::string> others = m_PlayList.GetOtherChannels(i);
      insets.push_back(others.empty() ? std::string() : others[0]);
    }
  if (!m_pVideoExport) m_pVideoExport = std::make_shared<CVideoExport>(this);
  return m_pVideoExport->Start(std::move(paths), std::move(insets), m_markIn.ms, m_markOut.ms, choices,
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

std::vector<int> CVantorDlg::EntriesOfSelectedDrive() const {
  long row = m_List ? m_List->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED) : -1;
  if (row < 0) row = m_PlayList.GetCurSel();
  std::vector<int> entries;
  if (row < 0 || row >= m_PlayList.GetCount()) return entries;
  const int drive = m_PlayList.GetDrive(static_cast<int>(row));
  for (int i = 0; i < m_PlayList.GetCount(); ++i)
    if (m_PlayList.GetDrive(i) == drive) entries.push_back(i);
  return entries;
}

void CVantorDlg::RunExportDrive() {
  const std::vector<int> entries = EntriesOfSelectedDrive();
  if (entries.empty()) {
    vantor::ShowMessageBox(vantor::Tr("Select an entry of the drive to export first."),
                           vantor::Tr("Export drive"), vantor::MessageIcon::Information);
    return;
  }
  if (m_pDriveExport && m_pDriveExport->IsRunning()) return;
  // The first clip's name, as the command line names a drive.
  wxString name = wxFileName(wxString::FromUTF8(m_PlayList.GetPath(entries[0]))).GetName();
  struct Format {
    const char* name;
    const char* ext;
  };
  static constexpr Format kFormats[] = {{"gpx", ".gpx"}, {"csv", ".csv"}, {"geojson", ".geojson"}};
  wxFileDialog dlg(this, TrWx("Export drive"), wxEmptyString, name + ".gpx",
                   "GPX (*.gpx)|*.gpx|CSV (*.csv)|*.csv|GeoJSON (*.geojson)|*.geojson",
                   wxFD_SAVE | wxFD_OVERWRITE_PROMPT);
  if (dlg.ShowModal() != wxID_OK) return;
  wxString path = dlg.GetPath();
  // A name the user gave an extension of ours says the format; else the filter.
  const Format* format = &kFormats[std::clamp(dlg.GetFilterIndex(), 0, 2)];
  bool named = false;
  for (const Format& f : kFormats)
    if (path.Lower().EndsWith(f.ext)) format = &f, named = true;
  if (!named) path += format->ext;
  StartDriveExport(entries, format->name, path.utf8_string());
}

bool CVantorDlg::StartDriveExport(const std::vector<int>& entries, const std::string& format,
                                  const std::string& outPath) {
  std::vector<std::vector<std::string>> clips;
  for (int i : entries) {
    // The GPS may be in any camera's file.
    const char* path = m_PlayList.GetPath(i);
    if (!path) continue;
    clips.push_back({path});
    for (std::string& other : m_PlayList.GetOtherChannels(i)) clips.back().push_back(other);
  }
  if (!m_pDriveExport) m_pDriveExport = std::make_shared<CDriveExport>(this);
  return m_pDriveExport->Start(std::move(clips), format, outPath);
}

void CVantorDlg::OnMenuExportDrive(wxCommandEvent&) {
  RunExportDrive();
}
