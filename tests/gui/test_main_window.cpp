// The main window as it comes up: size, title, every control of the layout
// with its id, class, visibility and place, and the state the set-up gives
// the controls. One window serves the whole suite (the web view is costly).
#include <dlfcn.h>
#include <glib-object.h>
#include <gtest/gtest.h>
#include <wx/choice.h>
#include <wx/listctrl.h>
#include <wx/slider.h>
#include <wx/statbox.h>
#include <wx/stattext.h>
#include <wx/webview.h>

#include "GuiTestUtil.h"
#include "app/DialogTemplate.h"
#include "app/Resource.h"
#include "app/Skin.h"
#include "app/VantorDlg.h"
#include "widgets/ArrowSpin.h"
#include "widgets/ImageButton.h"
#include "widgets/RowMarks.h"

using namespace vantor;
using namespace vantor::res;

namespace {

class MainWindow : public testing::Test {
 protected:
  static void SetUpTestSuite() {
    SkinInit("Vantor", 0, 0);
    SkinLoadFile(std::string(VANTOR_SOURCE_DIR) + "/res/Skin/Vantor.smf");
    dlg = new CVantorDlg;
    dlg->Show();
    test::PumpUntil([] { return dlg->IsShownOnScreen() && dlg->IsInitialised(); }, 5000);
    test::PumpEvents(100);
  }
  static void TearDownTestSuite() {
    dlg->Destroy();
    dlg = nullptr;
    test::PumpEvents(50);
    SkinLoadFile("");
  }
  static CVantorDlg* dlg;
};
CVantorDlg* MainWindow::dlg = nullptr;

wxRect ToWx(const PixelRect& r) {
  return wxRect(r.x, r.y, r.width, r.height);
}

bool HasClassOf(wxWindow* w, ControlKind kind) {
  switch (kind) {
    case ControlKind::ImageButton:
      return dynamic_cast<CImageButton*>(w) != nullptr;
    case ControlKind::WebBrowser:
      return dynamic_cast<wxWebView*>(w) != nullptr;
    case ControlKind::Slider:
      return dynamic_cast<wxSlider*>(w) != nullptr;
    case ControlKind::List:
      return dynamic_cast<wxListCtrl*>(w) != nullptr;
    case ControlKind::Label:
    case ControlKind::CentredLabel:
      return dynamic_cast<wxStaticText*>(w) != nullptr;
    case ControlKind::Frame:
      return w != nullptr;
    case ControlKind::GroupBox:
      return dynamic_cast<wxStaticBox*>(w) != nullptr;
    case ControlKind::Spin:
      return dynamic_cast<CArrowSpin*>(w) != nullptr;
    case ControlKind::Choice:
      return dynamic_cast<wxChoice*>(w) != nullptr;
  }
  return false;
}

}  // namespace

TEST_F(MainWindow, OpensAtTheTopLeftCornerWithItsSizeAndTitle) {
  EXPECT_EQ(dlg->GetTitle(), "GPS Video Player");
  EXPECT_EQ(dlg->GetSize(), wxSize(1024, 700));
  EXPECT_EQ(dlg->GetPosition(), wxPoint(0, 0));
  EXPECT_EQ(dlg->GetId(), IDD_VANTOR_DIALOG);
}

TEST_F(MainWindow, EveryControlHasItsIdClassVisibilityAndPlace) {
  for (const auto& c : MainDialogControls()) {
    if (c.id == -1) continue;
    SCOPED_TRACE(c.id);
    wxWindow* w = dlg->FindWindow(c.id);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(HasClassOf(w, c.kind));
    EXPECT_EQ(w->IsShown(), c.visible);
    const wxRect want = ToWx(MainDialogControlPlace(c.id));
    const wxRect got = w->GetRect();
    EXPECT_EQ(got.GetPosition(), want.GetPosition());
    EXPECT_EQ(got.width, want.width);
    if (c.kind == ControlKind::Slider) {
      EXPECT_GE(got.height, want.height);  // grows to the height the desktop needs
    } else if (c.kind != ControlKind::Choice) {
      EXPECT_EQ(got.height, want.height);
    }
  }
}

TEST_F(MainWindow, SetUpPlacesButtonsAtTheirPixelPlaces) {
  const std::pair<int, wxRect> expected[] = {
      {1007, {0, 593, 54, 61}},   {1056, {45, 593, 58, 61}},  {1002, {93, 593, 58, 61}},
      {1011, {144, 593, 58, 61}}, {1014, {195, 593, 59, 61}}, {1018, {820, 593, 64, 61}},
      {1017, {880, 593, 63, 61}}, {1016, {940, 593, 64, 61}}, {1001, {880, 12, 69, 45}},
  };
  for (const auto& [id, rect] : expected) EXPECT_EQ(dlg->FindWindow(id)->GetRect(), rect) << id;
}

TEST_F(MainWindow, MovedTransportButtonsAreReachableAndOverlapNoVisibleControl) {
  const wxSize client = dlg->GetClientSize();
  for (int id : {IDC_FAST_BACKWARD, IDC_BACKWARD_PLAY, IDC_FAST_FORWARD}) {
    wxWindow* b = dlg->FindWindow(id);
    ASSERT_TRUE(b && b->IsShown());
    const wxRect r = b->GetRect();
    EXPECT_TRUE(wxRect(client).Contains(r)) << id;
    EXPECT_FALSE(r.Intersects(ToWx(kSpeedDialPlace))) << id;
    for (wxWindow* other : dlg->GetChildren()) {
      if (other == b || !other->IsShown()) continue;
      EXPECT_FALSE(r.Intersects(other->GetRect())) << id << " overlaps " << other->GetId();
    }
  }
}

TEST_F(MainWindow, MembersAreBoundToTheirControls) {
  const int digitIds[] = {1037, 1036, 1035, 1034, 1033, 1032};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(dlg->m_staticDigit[i]->GetId(), digitIds[i]);
  EXPECT_EQ(dlg->m_comboMapType->GetId(), 1060);
  EXPECT_EQ(dlg->m_staticDebug->GetId(), 1054);
  EXPECT_EQ(dlg->m_spinZoom->GetId(), 1053);
  EXPECT_EQ(dlg->m_staticZoom->GetId(), 1048);
  EXPECT_EQ(dlg->m_sliderZoom->GetId(), 1049);
  EXPECT_EQ(dlg->m_sliderPos->GetId(), 1039);
  EXPECT_EQ(dlg->m_frameGraph->GetId(), 1038);
  EXPECT_EQ(dlg->m_staticAngle1->GetId(), 1031);
  EXPECT_EQ(dlg->m_staticAngle2->GetId(), 1030);
  EXPECT_EQ(dlg->m_Meter->GetId(), 1026);
  EXPECT_EQ(dlg->m_List->GetId(), 1025);
  EXPECT_EQ(dlg->m_sliderVolume->GetId(), 1012);
  EXPECT_EQ(dlg->m_btnStop->GetId(), 1056);
  EXPECT_EQ(dlg->m_btnOpenFile->GetId(), 1001);
  ASSERT_NE(dlg->m_browser.GetWebView(), nullptr);
  EXPECT_EQ(dlg->m_browser.GetWebView()->GetId(), 1003);
  EXPECT_TRUE(dlg->m_browser.GetSilent());
  // The map's engine is set up for one local page: no pages kept for Back.
  using GetSettings = GObject* (*)(gpointer);
  const auto getSettings =
      reinterpret_cast<GetSettings>(::dlsym(RTLD_DEFAULT, "webkit_web_view_get_settings"));
  ASSERT_NE(getSettings, nullptr);
  gboolean pageCache = TRUE;
  g_object_get(getSettings(dlg->m_browser.GetWebView()->GetNativeBackend()), "enable-page-cache",
               &pageCache, nullptr);
  EXPECT_FALSE(pageCache);
  EXPECT_FALSE(dlg->m_bAngle1Minus);
  EXPECT_FALSE(dlg->m_bAngle2Minus);
}

TEST_F(MainWindow, VideoAreaIsABlackPaneAndPlaceholdersStayHidden) {
  EXPECT_EQ(dlg->m_rcVideo, wxRect(50, 40, 575, 390));
  EXPECT_EQ(dlg->m_pVideoPane->GetRect(), dlg->m_rcVideo);
  EXPECT_EQ(dlg->m_pVideoPane->GetBackgroundColour(), *wxBLACK);
  EXPECT_TRUE(dlg->m_pVideoPane->IsShown());
  EXPECT_FALSE(dlg->m_Meter->IsShown());
  EXPECT_FALSE(dlg->m_frameGraph->IsShown());
  EXPECT_EQ(dlg->m_frameGraph->GetRect(), wxRect(36, 482, 206, 74));
}

TEST_F(MainWindow, PlaylistHasItsColumnsAndColours) {
  wxListCtrl* list = dlg->m_List;
  EXPECT_TRUE(list->InReportView());
  EXPECT_FALSE(list->HasFlag(wxLC_SINGLE_SEL));
  ASSERT_EQ(list->GetColumnCount(), 3);
  const char* titles[] = {"NO.", "File Name", "Remarks"};
  for (int i = 0; i < 3; ++i) {
    wxListItem col;
    col.SetMask(wxLIST_MASK_TEXT | wxLIST_MASK_FORMAT);
    ASSERT_TRUE(list->GetColumn(i, col));
    EXPECT_EQ(col.GetText(), titles[i]);
    EXPECT_EQ(col.GetAlign(), wxLIST_FORMAT_LEFT);
  }
  // 40, 180 and 60 pixels, unless this font needs a wider number column to
  // show the mark and "100" whole; then the file names give up the difference.
  const int numberWidth = list->GetColumnWidth(0);
  EXPECT_GE(numberWidth, 40);
  EXPECT_GE(numberWidth, vantor::kRowMarkSize + list->GetTextExtent("100").x + 8);
  EXPECT_EQ(numberWidth + list->GetColumnWidth(1), 220);
  EXPECT_EQ(list->GetColumnWidth(2), 60);
  EXPECT_EQ(list->GetBackgroundColour(), wxColour(0xDD, 0xDF, 0xDF));

  // Every row gets the row colours, selected or not; the next drive's rows
  // (here a clip of no known time: a drive of its own) are shaded.
  for (int i = 0; i < 3; ++i)
    ASSERT_TRUE(
        dlg->m_PlayList.Add(("/clips/20210918_17420" + std::to_string(i) + ".mov").c_str()));
  ASSERT_TRUE(dlg->m_PlayList.Add("/clips/row.mov"));
  ASSERT_EQ(list->GetItemCount(), 4);
  list->SetItemState(1, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(list->GetItemTextColour(i), wxColour(0x53, 0x5E, 0x72)) << i;
    EXPECT_EQ(list->GetItemBackgroundColour(i),
              i < 3 ? wxColour(0x20, 0x29, 0x3A) : wxColour(0x26, 0x2F, 0x41))
        << i;
  }
  dlg->m_PlayList.RemoveAll();
  EXPECT_EQ(list->GetItemCount(), 0);
}

TEST_F(MainWindow, SelectAllSelectsEveryRow) {
  wxListCtrl* list = dlg->m_List;
  for (int i = 0; i < 4; ++i)
    ASSERT_TRUE(dlg->m_PlayList.Add(("/clips/row" + std::to_string(i) + ".mov").c_str()));
  wxCommandEvent selectAll(wxEVT_MENU, ID_PLAYLIST_SELECTALL);
  dlg->GetEventHandler()->ProcessEvent(selectAll);
  EXPECT_EQ(list->GetSelectedItemCount(), 4);
  dlg->m_PlayList.RemoveAll();
  list->SetItemState(-1, 0, wxLIST_STATE_SELECTED);
  dlg->GetEventHandler()->ProcessEvent(selectAll);  // empty list: nothing to do
  EXPECT_EQ(list->GetSelectedItemCount(), 0);
}

TEST_F(MainWindow, SlidersStartWithTheirRanges) {
  EXPECT_EQ(dlg->m_sliderVolume->GetMin(), 0);
  EXPECT_EQ(dlg->m_sliderVolume->GetMax(), 100);
  EXPECT_EQ(dlg->m_sliderVolume->GetValue(), 100);
  EXPECT_EQ(dlg->m_sliderPos->GetMin(), 0);
  EXPECT_EQ(dlg->m_sliderPos->GetMax(), 1000);
  EXPECT_EQ(dlg->m_sliderPos->GetValue(), 0);
  EXPECT_EQ(dlg->m_sliderPos->GetToolTipText(), "0");
  EXPECT_EQ(dlg->m_sliderZoom->GetMax(), 20);
  EXPECT_EQ(dlg->m_sliderZoom->GetValue(), 10);
}

TEST_F(MainWindow, ZoomStartsAtThirteenAndTheLabelFollowsTheSpin) {
  CArrowSpin* spin = dlg->m_spinZoom;
  EXPECT_EQ(spin->GetMin(), 0);
  EXPECT_EQ(spin->GetMax(), 20);
  EXPECT_EQ(spin->GetValue(), 13);
  EXPECT_EQ(dlg->m_staticZoom->GetLabel(), "13");
  spin->Step(+1);
  EXPECT_EQ(dlg->m_staticZoom->GetLabel(), "14");
  for (int i = 0; i < 10; ++i) spin->Step(+1);
  EXPECT_EQ(spin->GetValue(), 20);
  EXPECT_EQ(dlg->m_staticZoom->GetLabel(), "20");
  for (int i = 0; i < 25; ++i) spin->Step(-1);
  EXPECT_EQ(spin->GetValue(), 0);
  EXPECT_EQ(dlg->m_staticZoom->GetLabel(), "0");
  spin->SetValue(13);
  dlg->m_staticZoom->SetLabel("13");
}

TEST_F(MainWindow, MapTypeOffersFourMapsWithTheFirstSelected) {
  ASSERT_EQ(dlg->m_comboMapType->GetCount(), 4u);
  EXPECT_EQ(dlg->m_comboMapType->GetString(0), "Normal Map");
  EXPECT_EQ(dlg->m_comboMapType->GetString(1), "Satellite Map");
  EXPECT_EQ(dlg->m_comboMapType->GetString(2), "Hybrid Map");
  EXPECT_EQ(dlg->m_comboMapType->GetString(3), "Physical Map");
  EXPECT_EQ(dlg->m_comboMapType->GetSelection(), 0);
}

TEST_F(MainWindow, OdometerAndTiltLabelsStartAtZero) {
  for (auto* digit : dlg->m_staticDigit) EXPECT_EQ(digit->GetLabel(), "0");
  EXPECT_EQ(dlg->m_staticAngle1->GetLabel(), wxString::FromUTF8("0°"));
  EXPECT_EQ(dlg->m_staticAngle2->GetLabel(), wxString::FromUTF8("0°"));
  EXPECT_FALSE(dlg->m_staticAngle1->IsShown());
  EXPECT_EQ(dlg->m_staticZoom->GetLabel(), "13");
}

TEST_F(MainWindow, BitmapButtonsCarryTheirPicturesAndTooltips) {
  for (const auto& a : MainDialogButtonArtwork()) {
    SCOPED_TRACE(a.id);
    auto* b = dynamic_cast<CImageButton*>(dlg->FindWindow(a.id));
    ASSERT_NE(b, nullptr);
    EXPECT_FALSE(b->GetBitmapSet().IsEmpty());
    EXPECT_GT(b->GetBitmapSet().GetWidth(), 0);
    EXPECT_EQ(b->GetTooltipText(), wxString::FromUTF8(a.tooltip.data(), a.tooltip.size()));
  }
  EXPECT_EQ(dlg->m_btnPlay->GetToolTipText(), "Play");
  EXPECT_EQ(dlg->m_btnTitle->GetLabel(), "Brindle HD");
  EXPECT_FALSE(dlg->m_btnLoadRecordDB->IsThisEnabled());
  EXPECT_EQ(dlg->m_btnLoadRecordDB->GetDrawState(), ButtonState::Disabled);
}

TEST_F(MainWindow, SkinGivesTheWindowItsDarkLook) {
  ASSERT_TRUE(SkinIsLoaded());
  EXPECT_EQ(dlg->GetBackgroundColour(), wxColour(0x1b, 0x1f, 0x27));
  EXPECT_EQ(dlg->m_staticDigit[0]->GetBackgroundColour(), wxColour(0x0e, 0x11, 0x16));
  // The list keeps its own colours.
  EXPECT_EQ(dlg->m_List->GetBackgroundColour(), wxColour(0xDD, 0xDF, 0xDF));
}

TEST_F(MainWindow, InitialisesOnlyOnce) {
  dlg->m_staticZoom->SetLabel("7");
  EXPECT_FALSE(dlg->OnInitDialog());
  EXPECT_EQ(dlg->m_staticZoom->GetLabel(), "7");
  dlg->m_staticZoom->SetLabel("13");
}
