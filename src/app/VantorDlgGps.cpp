// The GPS log of the current movie and what the window shows from it: the
// speed gauge, the tilt texts, the odometer digits, the map page and the log
// graph with its cursor.
#include <dlfcn.h>
#include <wx/choice.h>
#include <wx/dcclient.h>
#include <wx/filedlg.h>
#include <wx/filename.h>
#include <wx/listctrl.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/webview.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <cstdint>

#include "app/GuiText.h"
#include "app/VantorDlg.h"
#include "common/Messages.h"
#include "gps/GpsExport.h"
#include "map/GpsDisplay.h"
#include "map/MapPage.h"
#include "widgets/ArrowSpin.h"

namespace {

constexpr const char* kMsgSelectMovieForGps = "Please select the movie to attach a GPS log to.";
constexpr const char* kMsgNoGpsInFile = "%s holds no GPS track that Vantor can read.";

// WebKit paints a page without a background of its own (about:blank) white,
// a bright hole in the dark window. Its view takes a background colour; the
// call is looked up in the process (the web view already loaded WebKit) so
// the program needs no WebKit headers. Without it the page stays white.
void DarkenBlankPage(wxWebView* view) {
  if (!view) return;
  struct Rgba {
    double red, green, blue, alpha;  // GdkRGBA
  };
  using SetBackground = void (*)(void*, const Rgba*);
  static const auto setBackground = reinterpret_cast<SetBackground>(
      ::dlsym(RTLD_DEFAULT, "webkit_web_view_set_background_color"));
  void* native = view->GetNativeBackend();
  if (!setBackground || !native) return;
  const Rgba grey{0x21 / 255.0, 0x21 / 255.0, 0x21 / 255.0, 1.0};  // the graph's background
  setBackground(native, &grey);
}

void SetLabelIfChanged(wxStaticText* label, const wxString& text) {
  // Setting a label relayouts the control; most ticks change nothing.
  if (label && label->GetLabel() != text) label->SetLabel(text);
}

std::uint32_t ToUnsigned(long ms) {
  if (ms <= 0) return 0;
  return static_cast<std::uint32_t>(std::min<long>(ms, UINT32_MAX));
}

}  // namespace

void CVantorDlg::ParseGpsLog(const std::string& logPath) {
  vantor::ParseGpsLog(logPath, m_gpsLog);
  m_gpsLoad = vantor::GpsLoad{};
  m_gpsLoad.bHasTilt = true;
  m_pGpsRecords = m_gpsLog.Records();
  m_nGpsCount = m_gpsLog.nCount;
  m_bAngle1Minus = m_gpsLog.bAngle1Minus;
  m_bAngle2Minus = m_gpsLog.bAngle2Minus;
}

bool CVantorDlg::AttachGpsFile(const std::string& moviePath, const std::string& gpsPath) {
  vantor::GpsRecordTable probe;
  vantor::GpsLoad load;
  if (vantor::LoadGpsFile(gpsPath, moviePath, probe, load) == vantor::GpsSourceKind::None)
    return false;
  m_gpsAttached[moviePath] = gpsPath;
  const char* playing = m_PlayList.GetCurPath();
  if (m_Player.IsOpen() && playing && moviePath == playing) {
    LoadGpsLogForMovie(moviePath);
    UpdateGpsDisplay(FALSE);
  }
  return true;
}

void CVantorDlg::OnMenuLoadGps(wxCommandEvent&) {
  const long row = m_List ? m_List->GetNextItem(-1, wxLIST_NEXT_ALL, wxLIST_STATE_SELECTED) : -1;
  const char* movie = row >= 0 ? m_PlayList.GetPath(static_cast<int>(row)) : nullptr;
  if (!movie) {
    vantor::ShowMessageBox(vantor::Tr(kMsgSelectMovieForGps), "Vantor",
                           vantor::MessageIcon::Information);
    return;
  }
  const wxString movieName = wxString::FromUTF8(movie);
  wxFileDialog dlg(this, vantor::TrWx("Load GPS log..."), wxFileName(movieName).GetPath(),
                   wxEmptyString,
                   vantor::TrWx("GPS files (*.txt;*.gps;*.nmea;*.log;*.gpx;*.mp4;*.mov)|"
                                "*.txt;*.TXT;*.gps;*.GPS;*.nmea;*.NMEA;*.log;*.LOG;*.gpx;*.GPX;"
                                "*.mp4;*.MP4;*.mov;*.MOV|All files|*"),
                   wxFD_OPEN | wxFD_FILE_MUST_EXIST);
  if (dlg.ShowModal() != wxID_OK) return;
  const std::string gps = dlg.GetPath().utf8_string();
  if (!AttachGpsFile(movie, gps)) {
    std::string text = vantor::Tr(kMsgNoGpsInFile);
    if (const std::size_t at = text.find("%s"); at != std::string::npos) text.replace(at, 2, gps);
    vantor::ShowMessageBox(text, "Vantor", vantor::MessageIcon::Warning);
  }
}

void CVantorDlg::LoadGpsLogForMovie(const std::string& moviePath) {
  // A file attached by hand wins; then the sources in their order.
  const auto attached = m_gpsAttached.find(moviePath);
  if (attached == m_gpsAttached.end() ||
      vantor::LoadGpsFile(attached->second, moviePath, m_gpsLog, m_gpsLoad) ==
          vantor::GpsSourceKind::None) {
    // The clip's other cameras, when its GPS went with one of them.
    std::vector<std::string> cameras{moviePath};
    for (std::string& other : m_PlayList.GetOtherChannels(m_PlayList.Find(moviePath.c_str())))
      cameras.push_back(std::move(other));
    vantor::LoadGpsForMovies(cameras, m_gpsLog, m_gpsLoad);
  }
  m_pGpsRecords = m_gpsLog.Records();
  m_nGpsCount = m_gpsLog.nCount;
  if (m_gpsLoad.kind == vantor::GpsSourceKind::CameraLog) {
    m_bAngle1Minus = m_gpsLog.bAngle1Minus;
    m_bAngle2Minus = m_gpsLog.bAngle2Minus;
  }
  m_nLastMapSecond = 0;
  LoadDriveTrack();
  if (m_pGpsRecords && m_nGpsCount > 0 && m_frameGraph) {
    wxRect rc = m_frameGraph->GetRect();
    if (!m_graph.Build(m_pGpsRecords, m_nGpsCount, &rc)) m_graph.Clear();
    m_bGpsZeroShown = false;
    RefreshRect(m_frameGraph->GetRect(), false);
    return;
  }
  // A movie without a log must not go on showing the previous movie's values.
  m_pGpsRecords = nullptr;
  m_nGpsCount = 0;
  ResetGpsDisplay();
}

void CVantorDlg::LoadDriveTrack() {
  const int cur = m_PlayList.GetCurSel();
  const int drive = m_PlayList.GetDrive(cur);
  if (drive < 0) {
    m_drive = {};
    return;
  }
  int first = cur, last = cur;
  while (first > 0 && m_PlayList.GetDrive(first - 1) == drive) --first;
  while (last + 1 < m_PlayList.GetCount() && m_PlayList.GetDrive(last + 1) == drive) ++last;
  std::vector<std::string> paths;
  for (int i = first; i <= last; ++i) paths.emplace_back(m_PlayList.GetPath(i));
  if (first == m_drive.firstEntry && paths == m_drive.paths) return;
  DriveTrack track;
  track.firstEntry = first;
  track.paths = std::move(paths);
  if (track.paths.size() > 1) {
    for (int i = first; i <= last; ++i) {
      vantor::GpsRecordTable table;
      vantor::GpsLoad load;
      const GpsRecord* records = m_pGpsRecords;
      int count = m_nGpsCount;
      const std::vector<std::int64_t>* offsets = &m_gpsLoad.offsetsMs;
      if (i != cur) {
        std::vector<std::string> cameras{track.paths[i - first]};
        for (std::string& other : m_PlayList.GetOtherChannels(i)) cameras.push_back(std::move(other));
        vantor::LoadGpsForMovies(cameras, table, load);
        records = table.Records();
        count = table.nCount;
        offsets = &load.offsetsMs;
      }
      track.clipStart.push_back(static_cast<int>(track.records.size()));
      for (int k = 0; records && k < count; ++k) {
        track.records.push_back(records[k]);
        // A camera log has a record a second; the other sources say where.
        track.msInClip.push_back(k < static_cast<int>(offsets->size()) ? long((*offsets)[k])
                                                                        : 1000L * k);
      }
    }
    track.clipStart.push_back(static_cast<int>(track.records.size()));
  }
  m_drive = std::move(track);
}

int CVantorDlg::DriveClipIndex() const {
  if (m_drive.paths.size() < 2 || !m_pGpsRecords) return -1;
  const int c = m_PlayList.GetCurSel() - m_drive.firstEntry;
  if (c < 0 || c >= static_cast<int>(m_drive.paths.size())) return -1;
  const char* path = m_PlayList.GetPath(m_PlayList.GetCurSel());
  if (!path || m_drive.paths[c] != path) return -1;
  if (m_drive.clipStart[c + 1] - m_drive.clipStart[c] != m_nGpsCount) return -1;
  return c;
}

bool CVantorDlg::SeekToMapPlace(double dLatitude, double dLongitude) {
  const int clip = DriveClipIndex();
  const GpsRecord* records = clip >= 0 ? m_drive.records.data() : m_pGpsRecords;
  const int count = clip >= 0 ? static_cast<int>(m_drive.records.size()) : m_nGpsCount;
  // Degrees of longitude shrink away from the equator.
  const double shrink = std::cos(dLatitude * M_PI / 180.0);
  int best = -1;
  double bestDistance = 0;
  for (int i = 0; records && i < count; ++i) {
    if (!vantor::IsFix(records[i].dLatitude, records[i].dLongitude)) continue;
    const double dy = records[i].dLatitude - dLatitude;
    const double dx = (records[i].dLongitude - dLongitude) * shrink;
    if (best < 0 || dx * dx + dy * dy < bestDistance) {
      best = i;
      bestDistance = dx * dx + dy * dy;
    }
  }
  if (best < 0) return false;
  long ms = 1000L * best;
  if (clip >= 0) {
    const auto next = std::upper_bound(m_drive.clipStart.begin(), m_drive.clipStart.end(), best);
    const int target = static_cast<int>(next - m_drive.clipStart.begin()) - 1;
    ms = m_drive.msInClip[best];
    if (target != clip) {
      const bool playing = m_Player.IsRunning() != FALSE;
      if (!OpenAndPlay(m_PlayList.SetCurSel(m_drive.firstEntry + target))) return false;
      wxCommandEvent none;
      if (!playing) OnPause(none);
    }
  } else if (best < static_cast<int>(m_gpsLoad.offsetsMs.size())) {
    ms = static_cast<long>(m_gpsLoad.offsetsMs[best]);
  }
  m_Player.SetCurrentPosition(ms);
  UpdateTimeDisplay();
  UpdateGpsDisplay(FALSE);
  return true;
}

void CVantorDlg::UpdateGpsDisplay(BOOL bThrottle) {
  long pos = 0, dur = 0;
  if (m_Player.IsOpen()) {
    pos = m_Player.GetCurrentPosition();
    dur = m_Player.GetDuration();
  }
  const vantor::GpsDisplayValues v = vantor::ComputeGpsDisplay(
      m_pGpsRecords, m_nGpsCount, m_bAngle1Minus, m_bAngle2Minus, ToUnsigned(pos), ToUnsigned(dur),
      m_nLastMapSecond, bThrottle,
      {m_gpsLoad.offsetsMs.empty() ? nullptr : m_gpsLoad.offsetsMs.data(), m_gpsLoad.bHasTilt});
  if (!v.bHasLog) {
    if (!m_bGpsZeroShown) ResetGpsDisplay();
    return;
  }
  m_bGpsZeroShown = false;

  DrawSpeedDial(vantor::SpeedInUnit(v.nSpeed, m_speedUnit));
  SetLabelIfChanged(m_staticAngle1, wxString::FromUTF8(v.strAngle1));
  SetLabelIfChanged(m_staticAngle2, wxString::FromUTF8(v.strAngle2));
  // anDigits runs from the hundred-thousands (1032) to the units (1037);
  // m_staticDigit from the units up.
  const bool cameraCounter = m_gpsLoad.kind == vantor::GpsSourceKind::CameraLog;
  int digits[6];
  std::copy(std::begin(v.anDigits), std::end(v.anDigits), digits);
  if (m_speedUnit != vantor::SpeedUnit::Kmh)
    vantor::OdometerDigits(
        vantor::OdometerInUnit(m_pGpsRecords[v.nIndex].nOdometer, cameraCounter, m_speedUnit),
        digits);
  for (std::size_t i = 0; i < 6; ++i)
    SetLabelIfChanged(m_staticDigit[5 - i], wxString::Format("%d", digits[i]));
  SetLabelIfChanged(m_staticSpeed,
                    wxString::Format("%d %s", vantor::SpeedInUnit(v.nSpeed, m_speedUnit),
                                     vantor::SpeedUnitName(m_speedUnit)));
  // At a record without a fix of its own the map keeps the last fix; the
  // text says there is none rather than pass an old position off as current.
  wxString place = wxString::FromUTF8(vantor::CoordinateText(v.dLatitude, v.dLongitude));
  place.Replace("  ", "\n");
  const GpsRecord& shown = m_pGpsRecords[v.nIndex];
  if (!v.bMapPosition || !vantor::IsFix(shown.dLatitude, shown.dLongitude))
    place = vantor::TrWx("No GPS fix");
  SetLabelIfChanged(m_staticPlace, place);
  SetLabelIfChanged(m_staticClock, wxString::FromUTF8(ShownDateTime(v.nIndex)));
  ShowOdometerUnit();

  if (!v.bMapPosition && !m_bMapBlank) {
    // A log without a single fix: no map rather than the previous movie's.
    m_browser.Navigate("about:blank");
    m_bMapBlank = true;
  }
  if (v.bWritePage) {
    const std::string path = vantor::GetMapPagePath();
    const int zoom = m_spinZoom ? m_spinZoom->GetValue() : 13;
    const int type = m_comboMapType ? m_comboMapType->GetSelection() : 0;
    vantor::MapRoute route{m_pGpsRecords, m_nGpsCount, v.nIndex};
    route.bEnds = true;
    if (const int c = DriveClipIndex(); c >= 0) {
      route.pRecords = m_drive.records.data();
      route.nCount = static_cast<int>(m_drive.records.size());
      route.nClipFirst = m_drive.clipStart[c];
      route.nClipLast = m_drive.clipStart[c + 1] - 1;
      route.nDriven = route.nClipFirst + v.nIndex;
    }
    if (!vantor::WriteMapPage(path, v.dLatitude, v.dLongitude, zoom, type, route, v.bMarker))
      return;  // tried again on the next tick; no cursor this time
    // The wrapper makes a file:// address of the path, escaping what needs it.
    m_browser.Navigate(wxString::FromUTF8(path));
    m_bMapBlank = false;
    m_nLastMapSecond = v.nSecond;
    ++m_nMapPageWrites;
  }
  if (m_graph.IsBuilt()) RefreshRect(m_graph.GetRect(), false);
}

void CVantorDlg::ShowMapChange() {
  if (m_Player.IsOpen() && m_pGpsRecords && m_nGpsCount > 0) UpdateGpsDisplay(FALSE);
}

std::string CVantorDlg::ShownDateTime(int index) const {
  std::string text = vantor::GpsDateTimeText(m_gpsLog, index);
  if (text.empty() || m_cameraClock.kind == vantor::CameraClock::Kind::AsLogged) return text;
  // The time as the camera's clock showed it, with the zone that clock kept.
  const vantor::GpsDate d = vantor::UnpackGpsDate(m_pGpsRecords[index].nDate);
  long long utc = 0;
  if (vantor::CameraTimeToUtc(m_cameraClock, d.year, d.month, d.day,
                              vantor::GpsTimeOfDay(m_gpsLog, index), utc))
    text += vantor::CameraClockSuffix(m_cameraClock, utc);
  return text;
}

void CVantorDlg::ShowOdometerUnit() {
  // The camera's own counter counts metres; for the other sources the
  // program counts the kilometres driven since the track began. In mph
  // both are shown in whole miles.
  const bool camera = m_gpsLoad.kind == vantor::GpsSourceKind::CameraLog;
  const bool miles = m_speedUnit == vantor::SpeedUnit::Mph;
  SetLabelIfChanged(m_staticOdometerUnit, vantor::OdometerUnitName(camera, m_speedUnit));
  const wxString tip =
      camera ? vantor::TrWx(miles ? "Distance counter of the camera, in miles"
                                  : "Distance counter of the camera, in metres")
             : vantor::TrWx(miles ? "Miles driven since the track began"
                                  : "Kilometres driven since the track began");
  if (m_staticOdometerUnit && m_staticOdometerUnit->GetToolTipText() != tip) {
    m_staticOdometerUnit->SetToolTip(tip);
    for (auto* digit : m_staticDigit) digit->SetToolTip(tip);
  }
}

BOOL CVantorDlg::DrawSpeedDial(int value) {
  const int before = m_speedDial.GetResourceId();
  const BOOL ok = m_speedDial.DrawSpeedDial(value);
  // The paint handler draws the current picture; only a change needs one.
  if (ok && m_speedDial.GetResourceId() != before) RefreshRect(CSpeedDial::GetRect(), false);
  return ok;
}

void CVantorDlg::ResetGpsDisplay() {
  DrawSpeedDial(0);
  const wxString zeroDegrees = wxString::FromUTF8("0\xC2\xB0");
  SetLabelIfChanged(m_staticAngle1, zeroDegrees);
  SetLabelIfChanged(m_staticAngle2, zeroDegrees);
  for (auto* digit : m_staticDigit) SetLabelIfChanged(digit, "0");
  for (auto* text : {m_staticSpeed, m_staticPlace, m_staticClock, m_staticOdometerUnit})
    SetLabelIfChanged(text, wxEmptyString);
  DarkenBlankPage(m_browser.GetWebView());
  m_browser.Navigate("about:blank");
  m_bMapBlank = true;
  m_graph.Clear();
  if (m_frameGraph) RefreshRect(m_frameGraph->GetRect(), false);
  m_bGpsZeroShown = true;
}

void CVantorDlg::ReleaseGpsDisplay() {
  m_gpsLog.Clear();
  m_gpsLoad = vantor::GpsLoad{};
  m_pGpsRecords = nullptr;
  m_nGpsCount = 0;
  vantor::RemoveMapPage();
}

double CVantorDlg::GetPlayFraction() {
  if (!m_Player.IsOpen()) return 0.0;
  return vantor::PlayFraction(ToUnsigned(m_Player.GetCurrentPosition()),
                              ToUnsigned(m_Player.GetDuration()));
}

void CVantorDlg::PaintGpsDisplay(wxDC& dc) {
  if (m_graph.IsBuilt()) {
    double fraction = GetPlayFraction();
    // The graph runs over the records; a source with its own timing may have
    // gaps, so the cursor goes to the record shown, not to the share of the movie.
    if (!m_gpsLoad.offsetsMs.empty() && m_nGpsCount > 0 && m_Player.IsOpen()) {
      const int index = vantor::RecordIndexForOffset(m_gpsLoad.offsetsMs.data(), m_nGpsCount,
                                                     ToUnsigned(m_Player.GetCurrentPosition()));
      fraction = static_cast<double>(index) / m_nGpsCount;
    }
    m_graph.DrawCursor(&dc, fraction);
  }
  PaintSpeedDialPlace(dc);
}
