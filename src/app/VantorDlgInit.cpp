// The main window's controls (the dialog template) and their one-time set-up.
#include <wx/choice.h>
#include <wx/display.h>
#include <wx/listctrl.h>
#include <wx/slider.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/webview.h>

#include <algorithm>

#include "app/DialogTemplate.h"
#include "app/GuiText.h"
#include "app/Resource.h"
#include "app/Skin.h"
#include "app/VantorDlg.h"
#include "player/VideoPane.h"
#include "widgets/ArrowSpin.h"
#include "widgets/ImageButton.h"
#include "widgets/ResourceBitmap.h"
#include "widgets/RowMarks.h"

using namespace vantor::res;
using vantor::FromColorRef;
using vantor::TrWx;

namespace {

wxRect ToWx(const vantor::PixelRect& r) {
  return wxRect(r.x, r.y, r.width, r.height);
}

}  // namespace

void CVantorDlg::CreateControls() {
  // The video area first, so that it lies under everything placed later.
  m_pVideoPane = new CVideoPane(this, wxID_ANY, ToWx(vantor::kVideoPlace));
  m_pVideoPane->SetName("VideoPane");
  m_pInset = std::make_unique<CCameraInset>(m_pVideoPane, m_Player);
  m_pInset->SetOnClick([this] { SwapCameras(); });

  for (const auto& c : vantor::MainDialogControls()) {
    const wxRect r = ToWx(c.PixelPlace());
    const wxString text = wxString::FromUTF8(c.text.data(), c.text.size());
    wxWindow* w = nullptr;
    switch (c.kind) {
      case vantor::ControlKind::ImageButton: {
        auto* b = new CImageButton(this, c.id, r.GetPosition(), r.GetSize());
        w = b;
        switch (c.id) {
          case IDC_OPEN_FILE:
            m_btnOpenFile = b;
            break;
          case IDC_PLAY:
            m_btnPlay = b;
            break;
          case IDC_PREVIOUS_ITEM:
            m_btnPreviousItem = b;
            break;
          case IDC_FAST_BACKWARD:
            m_btnFastBackward = b;
            break;
          case IDC_BACKWARD_PLAY:
            m_btnBackwardPlay = b;
            break;
          case IDC_PAUSE:
            m_btnPause = b;
            break;
          case IDC_FAST_FORWARD:
            m_btnFastForward = b;
            break;
          case IDC_NEXT_ITEM:
            m_btnNextItem = b;
            break;
          case IDC_MUTE:
            m_btnMute = b;
            break;
          case IDC_PRINT_IMAGE:
            m_btnPrintImage = b;
            break;
          case IDC_SNAPSHOT:
            m_btnSnapshot = b;
            break;
          case IDC_FILE_SAVE:
            m_btnFileSave = b;
            break;
          case IDC_TITLE:
            m_btnTitle = b;
            break;
          case IDC_TITLE2:
            m_btnTitle2 = b;
            break;
          case IDC_LOAD_RECORD_DB:
            m_btnLoadRecordDB = b;
            b->Disable();
            break;
          case IDC_STOP:
            m_btnStop = b;
            break;
        }
        break;
      }
      case vantor::ControlKind::WebBrowser:
        if (m_browser.Create(this, c.id, r)) w = m_browser.GetWebView();
        break;
      case vantor::ControlKind::Slider: {
        const long style = wxSL_HORIZONTAL | (c.id == IDC_VOLUME ? wxSL_BOTH : 0L);
        auto* s = new wxSlider(this, c.id, 0, 0, 100, r.GetPosition(), r.GetSize(), style);
        // The desktop's slider cannot draw itself in fewer pixels than it asks
        // for; it keeps its top and grows downwards.
        if (s->GetBestSize().y > r.height) s->SetSize(r.width, s->GetBestSize().y);
        w = s;
        if (c.id == IDC_VOLUME)
          m_sliderVolume = s;
        else if (c.id == IDC_POSITION)
          m_sliderPos = s;
        else if (c.id == IDC_ZOOM_SLIDER)
          m_sliderZoom = s;
        break;
      }
      case vantor::ControlKind::List:
        // Rows come from the store's table: thousands of dropped files cost
        // milliseconds instead of a second of text measuring.
        m_List = new CPlayListCtrl(this, c.id, r.GetPosition(), r.GetSize(),
                                   wxLC_REPORT | wxBORDER_SUNKEN);
        // Attached at once, so that nothing added early misses its row.
        m_PlayList.AttachList(m_List);
        w = m_List;
        break;
      case vantor::ControlKind::Label:
      case vantor::ControlKind::CentredLabel: {
        const bool centred = c.kind == vantor::ControlKind::CentredLabel;
        const bool digit = c.id >= IDC_DIGIT_100000 && c.id <= IDC_DIGIT_1;
        const bool angle = c.id == IDC_ANGLE1 || c.id == IDC_ANGLE2;
        auto* t = new wxStaticText(this, c.id, text, r.GetPosition(), r.GetSize(),
                                   wxST_NO_AUTORESIZE | (centred ? wxALIGN_CENTRE_HORIZONTAL : 0),
                                   digit   ? "Digit"
                                   : angle ? "Angle"
                                           : "staticText");
        w = t;
        if (digit)
          m_staticDigit[static_cast<std::size_t>(IDC_DIGIT_1 - c.id)] = t;
        else if (c.id == IDC_ANGLE1)
          m_staticAngle1 = t;
        else if (c.id == IDC_ANGLE2)
          m_staticAngle2 = t;
        else if (c.id == IDC_ZOOM_LABEL)
          m_staticZoom = t;
        else if (c.id == IDC_DEBUG_TEXT)
          m_staticDebug = t;
        break;
      }
      case vantor::ControlKind::Frame:
        // The meter is part of the window but never shown.
        m_Meter = new CMeter(this, c.id, r);
        w = m_Meter;
        break;
      case vantor::ControlKind::GroupBox:
        m_frameGraph = new wxStaticBox(this, c.id, text, r.GetPosition(), r.GetSize());
        w = m_frameGraph;
        break;
      case vantor::ControlKind::Spin:
        m_spinZoom = new CArrowSpin(this, c.id, r.GetPosition(), r.GetSize());
        w = m_spinZoom;
        break;
      case vantor::ControlKind::Choice: {
        // The template's height is that of the open drop-down; the closed
        // control keeps its natural height.
        m_comboMapType = new wxChoice(this, c.id, r.GetPosition(), wxSize(r.width, -1));
        for (const char* type : {"Normal Map", "Satellite Map", "Hybrid Map", "Physical Map"})
          m_comboMapType->Append(TrWx(type));
        w = m_comboMapType;
        break;
      }
    }
    if (w && !c.visible) w->Hide();
  }
  // What the displays show, also as text to read: the play time under the
  // position slider with the recording's date and time beside it, the speed
  // and the position right of the gauge, and the odometer's unit.
  auto label = [this](int id, wxRect r, const char* skinName = "staticText") {
    return new wxStaticText(this, id, wxEmptyString, r.GetPosition(), r.GetSize(),
                            wxST_NO_AUTORESIZE, skinName);
  };
  m_staticTime = label(IDC_TIME_TEXT, {52, 460, 110, 18});
  m_staticClock = label(IDC_CLOCK_TEXT, {168, 460, 190, 18});
  m_staticSpeed = label(IDC_SPEED_TEXT, {506, 532, 174, 20}, "Speed");
  m_staticPlace = label(IDC_PLACE_TEXT, {506, 556, 174, 36});
  m_staticOdometerUnit = label(IDC_ODOMETER_UNIT, {421, 646, 16, 12}, "Unit");
}

BOOL CVantorDlg::OnInitDialog() {
  if (m_bInitDone) return FALSE;
  m_bInitDone = true;

  m_timerPlacement.Bind(wxEVT_TIMER, [this](wxTimerEvent&) { OnPlacementTick(); });
  m_timerPlacement.Start(kPlacementTickMs);
  m_rcVideo = wxRect(50, 40, 625 - 50, 430 - 40);

  vantor::SkinSetWindowSkin(this, "Dialog");
  vantor::SkinExcludeWindow(m_Meter);

  m_browser.SetSilent(true);
  if (wxWebView* view = m_browser.GetWebView())
    view->Bind(wxEVT_WEBVIEW_TITLE_CHANGED, &CVantorDlg::OnMapTitleChanged, this);
  m_bAngle2Minus = m_bAngle1Minus = 0;

  // Playlist.
  m_List->SetBackgroundColour(FromColorRef(kListBackground));
  m_List->InsertColumn(0, TrWx("NO."), wxLIST_FORMAT_LEFT, 40);
  m_List->InsertColumn(1, TrWx("File Name"), wxLIST_FORMAT_LEFT, 180);
  m_List->InsertColumn(2, TrWx("Remarks"), wxLIST_FORMAT_LEFT, 60);
  if (auto* rows = dynamic_cast<CPlayListCtrl*>(m_List))
    rows->SetRowColours(FromColorRef(kListRowText), FromColorRef(kListRowBackground));
  // Playing and paused rows show a small picture.
  vantor::AttachRowMarks(m_List);
  // The number column must hold the mark and a three-digit number in this
  // desktop's font; what it needs beyond 40 pixels comes off the file names,
  // so the three columns still fill the same width.
  {
    const int needed = vantor::kRowMarkSize + m_List->GetTextExtent("000").x + 16;
    if (needed > 40) {
      m_List->SetColumnWidth(0, needed);
      m_List->SetColumnWidth(1, std::max(180 - (needed - 40), 100));
    }
  }
  // Files dropped anywhere on the window join the playlist.
  DragAcceptFiles(true);

  m_sliderVolume->SetRange(0, 100);
  m_settings.Load();  // a missing or damaged file leaves the defaults
  m_speedUnit = vantor::ParseSpeedUnit(m_settings.Get(vantor::Settings::kSpeedUnit).value_or(""));
  m_speedDial.SetUnit(m_speedUnit);
  if (!vantor::ParseCameraClock(m_settings.Get(vantor::Settings::kCameraClock).value_or(""),
                                m_cameraClock))
    m_cameraClock = vantor::CameraClock{};
  m_sliderVolume->SetValue(m_settings.GetInt(vantor::Settings::kVolume, 100, 0, 100));

  // The position slider shows no tick marks; opening a movie sets its range.
  m_sliderPos->SetRange(0, 1000);
  m_sliderPos->SetLineSize(1);
  m_sliderPos->SetPageSize(5);

  m_sliderZoom->SetRange(0, 20);
  m_spinZoom->SetRange(0, 20);
  // The map as the last run left it.
  m_spinZoom->SetValue(m_settings.GetInt(vantor::Settings::kMapZoom, 13, 0, 20));
  m_staticZoom->SetLabel(wxString::Format("%d", m_spinZoom->GetValue()));

  m_sliderPos->SetToolTip("0");
  m_sliderZoom->SetToolTip("0");
  m_sliderZoom->SetValue(10);

  // Bitmap buttons: pictures, then places, then tooltips.
  for (const auto& a : vantor::MainDialogButtonArtwork()) {
    if (auto* b = dynamic_cast<CImageButton*>(FindWindow(a.id)))
      b->SetBitmaps(a.normal, a.over, a.disabled, a.down);
  }
  m_btnTitle->SetLabel("Brindle HD");
  for (const auto& p : vantor::MainDialogButtonPlacements()) {
    if (wxWindow* b = FindWindow(p.id))
      b->SetSize(p.place.x, p.place.y, p.place.width, p.place.height);
  }
  for (const auto& a : vantor::MainDialogButtonArtwork()) {
    if (a.tooltip.empty()) continue;
    if (auto* b = dynamic_cast<CImageButton*>(FindWindow(a.id)))
      b->SetTooltipText(TrWx(std::string(a.tooltip).c_str()), true);
  }

  m_staticAngle2->SetLabel(wxString::FromUTF8("0°"));
  m_staticAngle1->SetLabel(wxString::FromUTF8("0°"));
  for (auto* digit : m_staticDigit) digit->SetLabel("0");

  m_comboMapType->SetSelection(m_settings.GetInt(
      vantor::Settings::kMapType, 0, 0, static_cast<int>(m_comboMapType->GetCount()) - 1));

  const wxBitmap icon = vantor::LoadResourceBitmap(IDR_MAINFRAME);
  if (icon.IsOk()) {
    m_hIcon.CopyFromBitmap(icon);
    SetIcon(m_hIcon);
  }

  // The zero picture, the blank map and no graph until a movie with a log plays.
  ResetGpsDisplay();
  Refresh();
  return TRUE;
}

void CVantorDlg::PlaceOnWorkArea() {
  // The controls are laid out for a client area of 1024 x 700; the window
  // manager's frame comes around it, with its corner at the top-left of the
  // work area (the screen less the desktop's panels).
  int display = wxDisplay::GetFromWindow(this);
  if (display == wxNOT_FOUND) display = 0;
  const wxRect area = wxDisplay(static_cast<unsigned>(display)).GetClientArea();
  if (GetClientSize() != wxSize(vantor::kMainWindowWidth, vantor::kMainWindowHeight))
    SetClientSize(vantor::kMainWindowWidth, vantor::kMainWindowHeight);
  if (GetPosition() != area.GetPosition()) Move(area.GetPosition());
}

void CVantorDlg::OnPlacementTick() {
  // The window manager frames and places the window some time after it is
  // shown: it centres a dialog of its own accord (GTK gives it no position to
  // honour), and until the frame is known wx can only guess its size, so the
  // client comes out short by the frame. For the first seconds both are put
  // right whenever they are wrong; after that, moves are the user's.
  if (++m_nPlacementTicks >= kPlacementTicks) m_timerPlacement.Stop();
  PlaceOnWorkArea();
}
