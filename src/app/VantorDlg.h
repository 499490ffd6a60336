#pragma once
// CVantorDlg: the main window. It owns every part of the user interface for
// the whole run: the video area, the playlist, the map browser, the odometer
// and tilt labels, the speed gauge's place, the sliders, the map controls and
// sixteen bitmap buttons. Controls carry the numeric ids of app/Resource.h.
//
// Sources, by concern:
//   VantorDlg.cpp      construction, event table, window-level handlers
//   VantorDlgInit.cpp  creation of the controls and their set-up (OnInitDialog)
//   VantorDlgPlayback.cpp  opening and playing movies, transport, timers, keyboard
//   VantorDlgPlaylist.cpp  the playlist's handlers: drop, popup menu, delete
//   VantorDlgGps.cpp   the GPS log of the movie and what it shows (gauge, digits,
//                      angles, map page, graph)
//   VantorDlgSnapshot.cpp  snapshot, print and file save
#include <wx/bitmap.h>
#include <wx/dialog.h>
#include <wx/icon.h>
#include <wx/timer.h>

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "app/CameraInset.h"
#include "app/PlayList.h"
#include "app/Settings.h"
#include "app/SnapshotGui.h"
#include "app/SpeedDial.h"
#include "common/Result.h"
#include "gps/GpsLog.h"
#include "gps/GpsSources.h"
#include "gps/LogGraph.h"
#include "map/WebBrowser2.h"
#include "player/MoviePlayer.h"
#include "player/VideoPane.h"
#include "widgets/ImageBitmap.h"
#include "widgets/Meter.h"

class CFECFileDialog;
class CImageButton;
class wxChoice;
class wxListCtrl;
class wxDropFilesEvent;
class wxListEvent;
class wxMenu;
class wxScrollEvent;
class wxSlider;
class CArrowSpin;
class wxSpinEvent;
class wxStaticBox;
class wxStaticText;
class wxWebViewEvent;

class CVideoExport;
class CDriveExport;
struct VideoExportChoices;

class CVantorDlg : public wxDialog {
 public:
  // Colours of the playlist, 0x00BBGGRR.
  static constexpr std::uint32_t kListBackground = 0x00DFDFDD;
  static constexpr std::uint32_t kListRowText = 0x00725E53;
  static constexpr std::uint32_t kListRowBackground = 0x003A2920;
  // Window commands (as numbered by the window menu).
  static constexpr unsigned SC_MAXIMIZE = 0xF030;

  explicit CVantorDlg(wxWindow* parent = nullptr);
  ~CVantorDlg() override;

  // The one-time set-up of the window and its controls. Runs when the window
  // is first shown; later calls do nothing and return FALSE.
  BOOL OnInitDialog();
  bool IsInitialised() const { return m_bInitDone; }

  // Window commands: SC_MAXIMIZE and IDM_ABOUTBOX open the About box (the
  // window is never maximised); anything else is ignored.
  void OnSysCommand(unsigned nID);
  // Ends the window with `code`: a modal run returns it.
  void EndDialog(int code);

  // The playlist's popup menu (Play, Pause, Stop, Delete, Select All).
  static wxMenu* CreatePlaylistMenu();
  // The window menu: Settings (F2) and About.
  static wxMenu* CreateWindowMenu();

  // --- GPS log of the current movie (VantorDlgGps.cpp) ---
  // Finds the movie's log, parses it into the record table and rebuilds the graph.
  void LoadGpsLogForMovie(const std::string& moviePath);
  // The drive of the playing entry on the map: every clip's records one
  // after another, read once per drive.
  struct DriveTrack {
    int firstEntry = -1;
    std::vector<std::string> paths;  // its clips, in playlist order
    std::vector<GpsRecord> records;
    std::vector<int> clipStart;  // first record of each clip, and one past the last
    std::vector<long> msInClip;  // per record: its place in its movie
  };
  void LoadDriveTrack();
  // The playing entry's clip in m_drive, or -1 when the map shows the clip
  // alone (a drive of one clip, or its GPS not as loaded).
  int DriveClipIndex() const;
  // Opens the clip that holds the point of the route nearest to the place
  // and seeks to it; false when no point has a fix.
  bool SeekToMapPlace(double dLatitude, double dLongitude);
  // Attaches a GPS file of any kind to a movie for this run, and shows it at
  // once when that movie is playing; false (nothing attached) when it holds
  // no GPS.
  bool AttachGpsFile(const std::string& moviePath, const std::string& gpsPath);
  // "Load GPS log...": asks for a file for the selected playlist entry.
  void OnMenuLoadGps(wxCommandEvent& event);
  // Replaces the record table with the log at `logPath` (empty when unreadable).
  void ParseGpsLog(const std::string& logPath);
  // Shows the record for the current play position: gauge, angles, digits,
  // map page (every 5 movie seconds while throttled), graph cursor.
  void UpdateGpsDisplay(BOOL bThrottle);
  // A new map type or zoom: the page is written again at once, playing or
  // paused, when there is a position to show.
  void ShowMapChange();
  // The log's date and time of record `index`, with the zone of the camera's
  // clock when the settings give one ("" without a date).
  std::string ShownDateTime(int index) const;
  // "m", "km" or "mi" beside the odometer, with what it counts as its tooltip.
  void ShowOdometerUnit();
  // Shows the gauge picture for `value` km/h; FALSE for a negative value.
  BOOL DrawSpeedDial(int value);

  // The record table: m_pGpsRecords/m_nGpsCount describe m_gpsLog.
  int m_nGpsCount = 0;
  GpsRecord* m_pGpsRecords = nullptr;
  vantor::GpsRecordTable m_gpsLog;
  // Which source the table came from and how its records sit in the movie.
  vantor::GpsLoad m_gpsLoad;
  DriveTrack m_drive;
  // GPS files attached by hand ("Load GPS log..."), by movie path, for this run.
  std::map<std::string, std::string> m_gpsAttached;
  CLogGraph m_graph;
  std::uint32_t m_nLastMapSecond = 0;  // movie second of the last map page write
  unsigned long m_nMapPageWrites = 0;  // since the window opened; the soak run's evidence
  CSpeedDial m_speedDial;

  CMoviePlayer m_Player;
  CPlayList m_PlayList;

  // Controls, named as the rest of the program knows them.
  wxRect m_rcVideo;                       // video area, client pixels
  CVideoPane* m_pVideoPane = nullptr;     // the player's pictures; black when none
  // A clip's second camera, small in a corner of the video pane; with
  // m_bCamerasSwapped the second camera fills the pane and the first is small.
  std::unique_ptr<CCameraInset> m_pInset;
  bool m_bCamerasSwapped = false;
  // The next clip the player could not prepare: not tried again every tick.
  std::string m_strJoinRefused;
  wxChoice* m_comboMapType = nullptr;     // 1060
  wxStaticText* m_staticDebug = nullptr;  // 1054, hidden
  CArrowSpin* m_spinZoom = nullptr;       // 1053
  wxStaticText* m_staticZoom = nullptr;   // 1048, shows the zoom level
  wxSlider* m_sliderZoom = nullptr;       // 1049, hidden
  wxSlider* m_sliderPos = nullptr;        // 1039, play position in seconds
  wxStaticBox* m_frameGraph = nullptr;    // 1038, hidden: the log graph's place
  // Odometer digits: ones, tens, ... hundred-thousands (controls 1037 .. 1032).
  std::array<wxStaticText*, 6> m_staticDigit{};
  wxStaticText* m_staticAngle1 = nullptr;     // 1031, hidden
  wxStaticText* m_staticAngle2 = nullptr;     // 1030, hidden
  CMeter* m_Meter = nullptr;                  // 1026, hidden
  CImageButton* m_btnLoadRecordDB = nullptr;  // 1009, hidden and disabled
  wxListCtrl* m_List = nullptr;               // 1025, the playlist
  CImageButton* m_btnTitle2 = nullptr;        // 1021, hidden
  CImageButton* m_btnTitle = nullptr;         // 1020, hidden, caption "Brindle HD"
  CImageButton* m_btnFileSave = nullptr;      // 1018
  CImageButton* m_btnPrintImage = nullptr;    // 1016
  CImageButton* m_btnSnapshot = nullptr;      // 1017
  CImageButton* m_btnMute = nullptr;          // 1015
  wxSlider* m_sliderVolume = nullptr;         // 1012, 0..100
  CImageButton* m_btnBackwardPlay = nullptr;  // 1010
  CImageButton* m_btnPlay = nullptr;          // 1002
  CImageButton* m_btnPause = nullptr;         // 1011
  CImageButton* m_btnNextItem = nullptr;      // 1014
  CImageButton* m_btnFastForward = nullptr;   // 1013
  CImageButton* m_btnFastBackward = nullptr;  // 1008
  CImageButton* m_btnPreviousItem = nullptr;  // 1007
  CImageButton* m_btnOpenFile = nullptr;      // 1001
  CImageButton* m_btnStop = nullptr;          // 1056
  CWebBrowser2 m_browser;                     // 1003, the map
  wxStaticText* m_staticTime = nullptr;          // 1061, "0:06 / 0:21"; empty when closed
  wxStaticText* m_staticClock = nullptr;         // 1062, GPS date and time of the point shown
  wxStaticText* m_staticSpeed = nullptr;         // 1063, "30 km/h"
  wxStaticText* m_staticPlace = nullptr;         // 1064, latitude over longitude
  wxStaticText* m_staticOdometerUnit = nullptr;  // 1065, "m" or "km", with what it counts
  BOOL m_bAngle2Minus = 0;
  BOOL m_bAngle1Minus = 0;
  wxIcon m_hIcon;

  // ===== Displays and snapshot commands (VantorDlgGps.cpp, VantorDlgSnapshot.cpp) =====
  // Frees the record table and deletes the map page and its folder. OnClose
  // and the destructor call it; calling it again does nothing more.
  void ReleaseGpsDisplay();
  // The displays as they are without a log: gauge 0, "0°" twice, digits 0,
  // blank map, no graph. The menu Stop uses it too.
  void ResetGpsDisplay();
  // What the paint handler draws of the displays: the graph with its cursor at
  // the play position, then the current gauge picture (a repaint keeps it).
  void PaintGpsDisplay(wxDC& dc);
  // The dialogs of Snapshot, Print Image and File Save. Tests put in their own
  // answers; made on first use otherwise.
  vantor::CWxSnapshotUi& GetSnapshotUi();
  void SetSnapshotUi(std::unique_ptr<vantor::CWxSnapshotUi> ui);
  // The frame on screen as the snapshot flows take it (empty without one).
  vantor::CapturedFrame GrabCurrentFrame();
  void OnSnapshot(wxCommandEvent& event);    // 1017
  void OnPrintImage(wxCommandEvent& event);  // 1016
  void OnFileSave(wxCommandEvent& event);    // 1018
  // Share of the open movie played, 0 when nothing is open.
  double GetPlayFraction();

  // Background picture of the window: empty, background white.
  CImageBitmap m_bmpBack{0x00FFFFFFu};
  // True while the displays show the zero state, so a movie without a log
  // does not navigate the browser on every tick.
  bool m_bGpsZeroShown = false;
  // True while the browser shows no page of ours (about:blank).
  bool m_bMapBlank = false;
  std::unique_ptr<vantor::CWxSnapshotUi> m_pSnapshotUi;
  // ===== end of displays and snapshot commands =====

  // ===== Playback and playlist (VantorDlgPlayback.cpp, VantorDlgPlaylist.cpp) =====
  // The window's two timers: TIMER_PLAY polls the player while a movie is
  // open; TIMER_BACKWARD steps back while playing backward.
  static constexpr int TIMER_PLAY = 100;
  static constexpr int TIMER_BACKWARD = 101;
  static constexpr int kPlayTimerMs = 500;
  static constexpr int kBackwardTimerMs = 100;
  static constexpr long kBackwardStepMs = 200;

  // Opens `path` in the video area and plays it from the start, with its GPS
  // log. A null or empty path stops the play timer; a movie that cannot be
  // opened leaves the timers alone. No message either way.
  BOOL OpenAndPlay(const char* path);
  // Timer ticks, by timer id (the timers' events end here; tests call it directly).
  void OnTimer(int nIDEvent);
  // Position slider and its tooltip from the player's position.
  void UpdateTimeDisplay();
  // Play time as the position tooltip shows it: 37 -> "0:37", 3725 -> "1:02:05".
  static wxString FormatPlayTime(long nSeconds);
  bool IsTimerRunning(int nIDEvent) const;

  // Adds a path unless it is listed already; its index when it was, else
  // the result of adding.
  int AddToPlayList(const char* pszPath);
  // What Open File does once the chooser has closed with OK.
  void AddChosenFiles(const CFECFileDialog& dlg);
  // "Add folder...": every movie under a chosen folder (a card's), added as
  // Open File adds movies, nothing starting to play. The folder is remembered
  // for the next choice, as Open File's is.
  void OnMenuAddFolder(wxCommandEvent& event);
  int AddChosenFolder(const std::string& folder);
  // The command line: adds each movie and plays the first one given.
  void OpenMovies(const std::vector<std::string>& paths);
  // Delete from the popup menu and the Delete key: asks, then removes the
  // selected entries (never the files).
  void DeleteSelectedEntries();
  // Stops and closes the movie before the window goes.
  void ReleasePlayback();
  // The other camera into the pane and the one shown there into the inset,
  // at the same position, playing on when it played.
  void SwapCameras();
  // Escape: leaves full screen, or else stops and closes the movie.
  void OnEscapeKey();
  // The player's keys, from anywhere in the window or full screen: Space
  // play/pause, Left/Right 5 s back/forward (with Shift 1 s), Up/Down volume,
  // Comma/Period one frame back/forward, M mute, F full screen and back.
  // False for any other key.
  bool OnPlayerKey(int keyCode, int modifiers);
  // Pauses if need be, then shows the frame nFrames from the one shown.
  void StepFrame(int nFrames);
  // Moves the open movie by deltaMs from the picture shown, within the movie.
  void SeekBy(long deltaMs);
  // After Stop or Escape closed the movie: position 0 and every display at
  // its zero state.
  void ShowNothingPlaying();
  // Opens the entries after the current one until one plays; FALSE (and no
  // current entry) at the end of the list.
  BOOL PlayNextEntry();
  // Backward play: paused, stepped back by TIMER_BACKWARD; dRate is the rate
  // play resumes at.
  void StepBackward(double dRate);

  // The joins of a drive. The next clip of the drive is prepared in the
  // player this long before the playing one ends, so that it follows with
  // no blank and no pause.
  static constexpr long kJoinLeadMs = 3000;
  // A position this close to a clip's first or last frame is on it (one
  // frame at 30 frames a second, rounded up).
  static constexpr long kFrameSlackMs = 34;
  // The entry `delta` (+1 or -1) from the current one when it belongs to
  // the same drive; -1 otherwise.
  int NeighbourInDrive(int delta) const;
  // The movie of an entry that fills the pane, and the other cameras.
  std::vector<std::string> CamerasOf(int nIndex) const;
  // Near the end of a clip: has the player prepare the drive's next clip.
  void PrepareJoin();
  // After the player went over the join by itself: the next entry becomes
  // the current one and its displays are loaded, the movie is not reopened.
  void FollowJoin();
  // Opens a neighbouring clip of the drive paused at `ms` (clamped to its
  // last frame); false when there is none or it cannot be opened.
  bool OpenNeighbourPaused(int delta, long ms);
  // The displays that follow the movie on screen, for an entry whose movie
  // the player already has open.
  void ShowOpenedEntry(const char* path, const std::vector<std::string>& cameras);
  bool IsVideoFullScreen() const;
  void LeaveVideoFullScreen();

  // Command and notification handlers; public so that tests can call them as
  // the event table does.
  void OnOpenFile(wxCommandEvent& event);
  void OnPlay(wxCommandEvent& event);
  void OnPause(wxCommandEvent& event);
  void OnStop(wxCommandEvent& event);
  void OnBackwardPlay(wxCommandEvent& event);
  void OnFastBackward(wxCommandEvent& event);
  void OnFastForward(wxCommandEvent& event);
  void OnNextItem(wxCommandEvent& event);
  void OnPreviousItem(wxCommandEvent& event);
  void OnMute(wxCommandEvent& event);
  void OnMenuPlay(wxCommandEvent& event);
  void OnMenuPause(wxCommandEvent& event);
  void OnMenuStop(wxCommandEvent& event);
  void OnMenuDelete(wxCommandEvent& event);
  void OnListDblClk(wxListEvent& event);
  // The playlist's popup menu: a right click anywhere in the list (a row,
  // the blank area below the rows, an empty list) comes here.
  void OnListRClick();
  void OnHScroll(wxScrollEvent& event);
  void OnLButtonDblClk(wxMouseEvent& event);
  void OnDropFiles(wxDropFilesEvent& event);
  void OnTimerEvent(wxTimerEvent& event);
  // One line of state for the file VANTOR_STATUS_FILE names (see OnTimer).
  void WriteStatus();

  wxTimer m_timerPlay;
  wxTimer m_timerBackward;
  // What is remembered between runs (the Open folder, the volume, the map's
  // type and zoom): read at set-up, written when the folder changes and when
  // the window closes.
  vantor::Settings m_settings;
  // The speed unit and the camera's clock (the Settings dialog, F2).
  vantor::SpeedUnit m_speedUnit = vantor::SpeedUnit::Kmh;
  vantor::CameraClock m_cameraClock;
  // Opens the Settings dialog; OK applies and stores what it holds.
  void RunSettings();
  void ApplySettings(vantor::SpeedUnit unit, const vantor::CameraClock& clock);
  void OnMenuSettings(wxCommandEvent& event);
  // In and out points of a video export: a playlist entry and a position in
  // it (ms); entry -1 when not set. Keys I and O, or the playlist's menu.
  struct ExportMark {
    int entry = -1;
    long ms = 0;
  };
  ExportMark m_markIn, m_markOut;
  void SetExportMark(bool out);
  // The marks of the clip on screen, in the position slider's seconds, and
  // putting them on the slider when they changed.
  std::vector<double> ExportMarksShown() const;
  void ShowExportMarks();
  std::vector<std::pair<double, bool>> m_exportMarksOnSlider;  // value, out point
  // Checks the marks, asks for the choices and a new file name, and starts.
  void RunExportVideo();
  // Starts writing the marked stretch to `outPath` (tests call it directly).
  bool StartVideoExport(const std::string& outPath, const VideoExportChoices& choices);
  std::shared_ptr<CVideoExport> m_pVideoExport;
  void OnMenuMarkIn(wxCommandEvent& event);
  void OnMenuMarkOut(wxCommandEvent& event);
  void OnMenuExportVideo(wxCommandEvent& event);
  // "Export drive...": the GPS of the selected entry's drive (the playing
  // one's when none is selected) in a file the user names; the format follows
  // the chooser's filter or the name's extension.
  void RunExportDrive();
  // The playlist's entries of that drive, in order; empty without entries.
  std::vector<int> EntriesOfSelectedDrive() const;
  // Starts writing the movies' GPS (tests call it directly).
  bool StartDriveExport(const std::vector<int>& entries, const std::string& format,
                        const std::string& outPath);
  std::shared_ptr<CDriveExport> m_pDriveExport;
  void OnMenuExportDrive(wxCommandEvent& event);
  BOOL m_bMuted = FALSE;        // Mute button state
  int m_nVolumeBeforeMute = 0;  // volume slider position to come back to

  // ===== end of playback and playlist =====

 private:
  void CreateControls();  // the template: every control at its place
  // Client 1024 x 700, frame at the work area's top-left corner.
  void PlaceOnWorkArea();
  void OnPlacementTick();
  static constexpr int kPlacementTickMs = 100;
  static constexpr int kPlacementTicks = 50;  // five seconds after showing
  wxTimer m_timerPlacement;
  int m_nPlacementTicks = 0;
  void PaintSpeedDialPlace(wxDC& dc);
  void RunAboutBox();

  // Event handlers of this window.
  void OnInitDialogEvent(wxInitDialogEvent& event);
  void OnMaximize(wxMaximizeEvent& event);
  void OnAboutBox(wxCommandEvent& event);
  void OnContextMenu(wxContextMenuEvent& event);
  void OnPaint(wxPaintEvent& event);
  void OnClose(wxCloseEvent& event);
  void OnCharHook(wxKeyEvent& event);
  void OnMenuSelectAll(wxCommandEvent& event);
  void OnZoomSliderReleased(wxScrollEvent& event);
  void OnZoomSpinDelta(wxSpinEvent& event);
  void OnMapTypeChange(wxCommandEvent& event);
  void OnMapTitleChanged(wxWebViewEvent& event);

  bool m_bInitDone = false;
  bool m_bAboutOpen = false;
  bool m_bSettingsOpen = false;
  bool m_bListMenuDue = false;  // the playlist's popup is about to be shown

  wxDECLARE_CLASS(CVantorDlg);
  wxDECLARE_EVENT_TABLE();
};
