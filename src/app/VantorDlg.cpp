#include "app/VantorDlg.h"

#include <wx/choice.h>
#include <wx/dcclient.h>
#include <wx/graphics.h>
#include <wx/listctrl.h>
#include <wx/menu.h>
#include <wx/slider.h>
#include <wx/stattext.h>
#include <wx/webview.h>

#include <cmath>
#include <memory>

#include "app/AboutDlg.h"
#include "app/DialogTemplate.h"
#include "app/GuiText.h"
#include "app/Resource.h"
#include "app/SettingsDlg.h"
#include "map/MapPage.h"
#include "widgets/ArrowSpin.h"

using namespace vantor::res;
using vantor::FromColorRef;
using vantor::TrWx;

wxIMPLEMENT_CLASS(CVantorDlg, wxDialog);

// One table for the whole window. Handlers are listed in the order of the
// window's message map; each concern's source file adds its own lines here.
// clang-format off
wxBEGIN_EVENT_TABLE(CVantorDlg, wxDialog)
  EVT_INIT_DIALOG(CVantorDlg::OnInitDialogEvent)
  // window commands: maximise box, window menu, F1 (see OnCharHook)
  EVT_MAXIMIZE(CVantorDlg::OnMaximize)
  EVT_MENU(IDM_ABOUTBOX, CVantorDlg::OnAboutBox)
  EVT_MENU(ID_WINDOW_SETTINGS, CVantorDlg::OnMenuSettings)
  EVT_CONTEXT_MENU(CVantorDlg::OnContextMenu)
  EVT_PAINT(CVantorDlg::OnPaint)
  EVT_CLOSE(CVantorDlg::OnClose)
  EVT_CHAR_HOOK(CVantorDlg::OnCharHook)
  // playlist 1025: every row gets its colours as it is inserted
  EVT_MENU(ID_PLAYLIST_SELECTALL, CVantorDlg::OnMenuSelectAll)
  EVT_MENU(ID_PLAYLIST_LOADGPS, CVantorDlg::OnMenuLoadGps)
  EVT_MENU(ID_PLAYLIST_ADDFOLDER, CVantorDlg::OnMenuAddFolder)
  EVT_MENU(ID_PLAYLIST_MARKIN, CVantorDlg::OnMenuMarkIn)
  EVT_MENU(ID_PLAYLIST_MARKOUT, CVantorDlg::OnMenuMarkOut)
  EVT_MENU(ID_PLAYLIST_EXPORTVIDEO, CVantorDlg::OnMenuExportVideo)
  EVT_MENU(ID_PLAYLIST_EXPORTDRIVE, CVantorDlg::OnMenuExportDrive)
  // map zoom: hidden slider 1049 and spin 1053 with its buddy label 1048
  EVT_COMMAND_SCROLL_THUMBRELEASE(IDC_ZOOM_SLIDER, CVantorDlg::OnZoomSliderReleased)
  EVT_SPIN(IDC_ZOOM_SPIN, CVantorDlg::OnZoomSpinDelta)
  EVT_CHOICE(IDC_MAP_TYPE, CVantorDlg::OnMapTypeChange)
  // snapshot, print and file save (VantorDlgSnapshot.cpp)
  EVT_BUTTON(IDC_PRINT_IMAGE, CVantorDlg::OnPrintImage)
  EVT_BUTTON(IDC_SNAPSHOT, CVantorDlg::OnSnapshot)
  EVT_BUTTON(IDC_FILE_SAVE, CVantorDlg::OnFileSave)
  // playback (VantorDlgPlayback.cpp)
  EVT_BUTTON(IDC_OPEN_FILE, CVantorDlg::OnOpenFile)
  EVT_BUTTON(IDC_PLAY, CVantorDlg::OnPlay)
  EVT_TIMER(TIMER_PLAY, CVantorDlg::OnTimerEvent)
  EVT_TIMER(TIMER_BACKWARD, CVantorDlg::OnTimerEvent)
  EVT_BUTTON(IDC_PAUSE, CVantorDlg::OnPause)
  EVT_COMMAND_SCROLL(IDC_VOLUME, CVantorDlg::OnHScroll)
  EVT_COMMAND_SCROLL(IDC_POSITION, CVantorDlg::OnHScroll)
  EVT_LIST_ITEM_ACTIVATED(IDC_PLAYLIST, CVantorDlg::OnListDblClk)
  EVT_BUTTON(IDC_BACKWARD_PLAY, CVantorDlg::OnBackwardPlay)
  EVT_BUTTON(IDC_FAST_FORWARD, CVantorDlg::OnFastForward)
  EVT_BUTTON(IDC_FAST_BACKWARD, CVantorDlg::OnFastBackward)
  EVT_BUTTON(IDC_NEXT_ITEM, CVantorDlg::OnNextItem)
  EVT_BUTTON(IDC_PREVIOUS_ITEM, CVantorDlg::OnPreviousItem)
  EVT_BUTTON(IDC_MUTE, CVantorDlg::OnMute)
  EVT_MENU(ID_PLAYLIST_PLAY, CVantorDlg::OnMenuPlay)
  EVT_MENU(ID_PLAYLIST_PAUSE, CVantorDlg::OnMenuPause)
  EVT_MENU(ID_PLAYLIST_STOP, CVantorDlg::OnMenuStop)
  EVT_LEFT_DCLICK(CVantorDlg::OnLButtonDblClk)
  EVT_BUTTON(IDC_STOP, CVantorDlg::OnStop)
  // playlist (VantorDlgPlaylist.cpp)
  EVT_DROP_FILES(CVantorDlg::OnDropFiles)
  EVT_MENU(ID_PLAYLIST_DELETE, CVantorDlg::OnMenuDelete)
wxEND_EVENT_TABLE();
// clang-format on

CVantorDlg::CVantorDlg(wxWindow* parent)
    : wxDialog(parent, IDD_VANTOR_DIALOG, TrWx("GPS Video Player"), wxDefaultPosition,
               wxSize(vantor::kMainWindowWidth, vantor::kMainWindowHeight),
               wxCAPTION | wxSYSTEM_MENU | wxMINIMIZE_BOX | wxMAXIMIZE_BOX | wxCLOSE_BOX) {
  // No default or cancel button: Enter and Escape must not end the window.
  SetEscapeId(wxID_NONE);
  SetAffirmativeId(wxID_NONE);
  m_timerPlay.SetOwner(this, TIMER_PLAY);
  m_timerBackward.SetOwner(this, TIMER_BACKWARD);
  CreateControls();
  PlaceOnWorkArea();
}

CVantorDlg::~CVantorDlg() {
  // The movie goes while the video pane it paints into still exists.
  ReleasePlayback();
  // Also when the window goes without OnClose (a test, an error path): the map
  // page's folder must not outlive the process.
  ReleaseGpsDisplay();
}

wxMenu* CVantorDlg::CreatePlaylistMenu() {
  auto* menu = new wxMenu;
  // wx checks menu ids against 0x7FFF, a limit of another platform's 16-bit
  // command words; GTK carries the full number, and these commands have
  // always been 32771 .. 32775. The check is quietened for these five only.
  const wxAssertHandler_t previous = wxSetAssertHandler(nullptr);
  menu->Append(ID_PLAYLIST_PLAY, TrWx("&Play"));
  // Pa&use: Play already has P, and every item must be reachable by its key.
  menu->Append(ID_PLAYLIST_PAUSE, TrWx("Pa&use"));
  menu->Append(ID_PLAYLIST_STOP, TrWx("&Stop"));
  menu->Append(ID_PLAYLIST_DELETE, TrWx("&Delete"));
  menu->Append(ID_PLAYLIST_SELECTALL, TrWx("Select &All"));
  menu->AppendSeparator();
  menu->Append(ID_PLAYLIST_LOADGPS, TrWx("Load &GPS log..."));
  wxSetAssertHandler(previous);
  menu->Append(ID_PLAYLIST_ADDFOLDER, TrWx("Add &folder..."));
  menu->AppendSeparator();
  menu->Append(ID_PLAYLIST_MARKIN, TrWx("Mark &in point\tI"));
  menu->Append(ID_PLAYLIST_MARKOUT, TrWx("Mark &out point\tO"));
  menu->Append(ID_PLAYLIST_EXPORTVIDEO, TrWx("Export &video..."));
  menu->Append(ID_PLAYLIST_EXPORTDRIVE, TrWx("Export d&rive..."));
  return menu;
}

wxMenu* CVantorDlg::CreateWindowMenu() {
  auto* menu = new wxMenu;
  menu->Append(ID_WINDOW_SETTINGS, TrWx("Settings(&S)..."));
  menu->Append(IDM_ABOUTBOX, TrWx("About Vantor(&A)..."));
  return menu;
}

void CVantorDlg::OnSysCommand(unsigned nID) {
  if (nID == SC_MAXIMIZE || (nID & 0xFFF0) == static_cast<unsigned>(IDM_ABOUTBOX)) RunAboutBox();
}

void CVantorDlg::RunAboutBox() {
  if (m_bAboutOpen) return;  // F1 held down must not stack About boxes
  m_bAboutOpen = true;
  CAboutDlg about(this);
  about.ShowModal();
  m_bAboutOpen = false;
}

void CVantorDlg::OnMenuSettings(wxCommandEvent&) {
  RunSettings();
}

void CVantorDlg::RunSettings() {
  if (m_bSettingsOpen) return;  // F2 held down must not stack dialogs
  m_bSettingsOpen = true;
  CSettingsDlg dlg(this, m_speedUnit, m_cameraClock);
  if (dlg.ShowModal() == wxID_OK) ApplySettings(dlg.GetSpeedUnit(), dlg.GetCameraClock());
  m_bSettingsOpen = false;
}

void CVantorDlg::ApplySettings(vantor::SpeedUnit unit, const vantor::CameraClock& clock) {
  m_speedUnit = unit;
  m_cameraClock = clock;
  m_speedDial.SetUnit(unit);
  m_settings.Set(vantor::Settings::kSpeedUnit, vantor::SpeedUnitName(unit));
  m_settings.Set(vantor::Settings::kCameraClock, vantor::FormatCameraClock(clock));
  m_settings.Save();  // a failure only costs the choice next time
  // The displays show the new units at once, playing or not.
  if (m_Player.IsOpen() && m_pGpsRecords && m_nGpsCount > 0)
    UpdateGpsDisplay(TRUE);
  else
    ResetGpsDisplay();
}

void CVantorDlg::EndDialog(int code) {
  if (IsModal()) {
    EndModal(code);
  } else {
    SetReturnCode(code);
    Hide();
  }
}

void CVantorDlg::OnInitDialogEvent(wxInitDialogEvent& event) {
  OnInitDialog();
  event.Skip();
}

void CVantorDlg::OnMaximize(wxMaximizeEvent&) {
  // The maximise box stands for About; the window keeps its size.
  if (IsMaximized()) Maximize(false);
  PlaceOnWorkArea();
  CallAfter([this] { OnSysCommand(SC_MAXIMIZE); });
}

void CVantorDlg::OnAboutBox(wxCommandEvent&) {
  OnSysCommand(IDM_ABOUTBOX);
}

void CVantorDlg::OnContextMenu(wxContextMenuEvent& event) {
  // The list's own right-click notification comes only for a click on a row;
  // the menu event comes for a click anywhere in it (a row, the blank area,
  // an empty list). One click can bring it twice (from the rows' window and
  // again from the list): the menu is shown once, after the list has
  // selected the row under the pointer.
  auto* from = wxDynamicCast(event.GetEventObject(), wxWindow);
  if (m_List && from && (from == m_List || m_List->IsDescendant(from))) {
    if (!m_bListMenuDue) {
      m_bListMenuDue = true;
      CallAfter([this] {
        m_bListMenuDue = false;
        OnListRClick();
      });
    }
    return;
  }
  // Otherwise only a click on the window itself; controls have menus of their own.
  if (event.GetEventObject() != this) {
    event.Skip();
    return;
  }
  std::unique_ptr<wxMenu> menu(CreateWindowMenu());
  PopupMenu(menu.get());
}

void CVantorDlg::OnPaint(wxPaintEvent&) {
  wxPaintDC dc(this);
  PaintGpsDisplay(dc);
  ShowExportMarks();
}

void CVantorDlg::PaintSpeedDialPlace(wxDC& dc) {
  const auto& p = vantor::kSpeedDialPlace;
  if (m_speedDial.GetBitmap().IsOk()) {
    m_speedDial.Paint(dc);
    return;
  }
  // No gauge picture (artwork missing): a neutral dial, so the place does not
  // look broken.
  std::unique_ptr<wxGraphicsContext> gc(wxGraphicsContext::CreateFromUnknownDC(dc));
  if (!gc) return;
  const double cx = p.x + p.width / 2.0, cy = p.y + 96.0, r = 86.0;
  const double start = M_PI * 0.75, sweep = M_PI * 1.5;
  gc->SetPen(wxPen(wxColour(0x3A, 0x42, 0x50), 10));
  wxGraphicsPath arc = gc->CreatePath();
  arc.AddArc(cx, cy, r - 6, start, start + sweep, true);
  gc->StrokePath(arc);
  for (int i = 0; i <= 12; ++i) {
    const double a = start + sweep * i / 12.0;
    const double inner = (i % 2 == 0) ? r - 22 : r - 16;
    gc->SetPen(wxPen(wxColour(0x8A, 0x92, 0xA0), i % 2 == 0 ? 2 : 1));
    gc->StrokeLine(cx + inner * std::cos(a), cy + inner * std::sin(a), cx + (r - 12) * std::cos(a),
                   cy + (r - 12) * std::sin(a));
  }
  gc->SetPen(wxPen(wxColour(0xA8, 0xAC, 0xB7), 3));
  gc->StrokeLine(cx, cy, cx + (r - 28) * std::cos(start), cy + (r - 28) * std::sin(start));
  gc->SetPen(*wxTRANSPARENT_PEN);
  gc->SetBrush(wxBrush(wxColour(0x55, 0x5E, 0x6C)));
  gc->DrawEllipse(cx - 6, cy - 6, 12, 12);
  // The odometer's window behind the six digits.
  gc->SetBrush(wxBrush(wxColour(0x0E, 0x11, 0x16)));
  gc->SetPen(wxPen(wxColour(0x3A, 0x42, 0x50), 1));
  gc->DrawRoundedRectangle(p.x + 75, p.y + 136, 77, 26, 3);
}

void CVantorDlg::OnClose(wxCloseEvent&) {
  // Whatever the window holds for a movie (player, GPS records, map page
  // file) is released before the window ends.
  m_pVideoExport.reset();  // an export still running stops, its partial file goes
  ReleasePlayback();
  ReleaseGpsDisplay();
  if (m_bInitDone) {
    m_settings.SetInt(vantor::Settings::kVolume,
                      m_bMuted ? m_nVolumeBeforeMute : m_sliderVolume->GetValue());
    m_settings.SetInt(vantor::Settings::kMapType, m_comboMapType->GetSelection());
    m_settings.SetInt(vantor::Settings::kMapZoom, m_spinZoom->GetValue());
    m_settings.Save();  // a failure only costs the volume next time
  }
  EndDialog(wxID_OK);
}

void CVantorDlg::OnCharHook(wxKeyEvent& event) {
  switch (event.GetKeyCode()) {
    case WXK_ESCAPE:
      OnEscapeKey();  // full screen or the movie; never ends the window
      return;
    case WXK_RETURN:
    case WXK_NUMPAD_ENTER:
      return;  // never ends the window
    case WXK_DELETE:
    case WXK_NUMPAD_DELETE:
      DeleteSelectedEntries();
      return;
    case WXK_F1:
      OnSysCommand(IDM_ABOUTBOX);
      return;
    case WXK_F2:
      RunSettings();
      return;
    default:
      if (!OnPlayerKey(event.GetKeyCode(), event.GetModifiers())) event.Skip();
  }
}

void CVantorDlg::OnMenuSelectAll(wxCommandEvent&) {
  if (!m_List) return;
  const int count = m_List->GetItemCount();
  for (int i = 0; i < count; ++i)
    m_List->SetItemState(i, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
}

void CVantorDlg::OnZoomSliderReleased(wxScrollEvent&) {
  if (m_sliderZoom && m_staticZoom)
    m_staticZoom->SetLabel(wxString::Format("%d", m_sliderZoom->GetValue()));
}

void CVantorDlg::OnZoomSpinDelta(wxSpinEvent& event) {
  // The label is the spin's buddy: it shows the level the spin now has.
  if (m_staticZoom) m_staticZoom->SetLabel(wxString::Format("%d", event.GetPosition()));
  ShowMapChange();
  event.Skip();
}

void CVantorDlg::OnMapTypeChange(wxCommandEvent&) {
  ShowMapChange();
}

void CVantorDlg::OnMapTitleChanged(wxWebViewEvent& event) {
  // The page's own +/- buttons, wheel and double-click zoom it; the window's
  // zoom number follows, so that the next page is written at that zoom too.
  double lat = 0, lon = 0;
  if (vantor::SeekFromMapTitle(event.GetString().utf8_string(), lat, lon)) {
    SeekToMapPlace(lat, lon);
    return;
  }
  const int zoom = vantor::ZoomFromMapTitle(event.GetString().utf8_string());
  if (zoom < 0 || !m_spinZoom || zoom == m_spinZoom->GetValue()) return;
  m_spinZoom->SetValue(zoom);
  if (m_staticZoom) m_staticZoom->SetLabel(wxString::Format("%d", m_spinZoom->GetValue()));
}
