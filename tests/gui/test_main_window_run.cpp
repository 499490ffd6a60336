// The main window run as the program runs it (modally): keys that must not
// end it, closing it, the About box through the maximise box and F1, the
// window's menus, and start-up without a usable skin.
#include <gtest/gtest.h>
#include <wx/choice.h>
#include <wx/menu.h>
#include <wx/slider.h>
#include <wx/stattext.h>
#include <wx/timer.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <vector>

#include "support/ScratchFolder.h"
#include "GuiTestUtil.h"
#include "app/AboutDlg.h"
#include "app/Resource.h"
#include "app/Skin.h"
#include "app/VantorDlg.h"
#include "common/Messages.h"
#include "widgets/ArrowSpin.h"
#include "widgets/ImageButton.h"

using namespace vantor;
using namespace vantor::res;

namespace {

// Runs `dlg` modally while a timer works through `steps` inside its loop; a
// step returns false to be tried again at the next tick. A run that does not
// finish in 10 s is ended with wxID_ABORT, so a broken window cannot hang the suite.
int RunModal(wxDialog& dlg, std::vector<std::function<bool()>> steps) {
  std::size_t next = 0;
  int ticks = 0;
  wxTimer timer;
  timer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
    if (++ticks > 200) {
      timer.Stop();
      for (wxWindow* w : wxTopLevelWindows)
        if (auto* d = dynamic_cast<wxDialog*>(w); d && d->IsModal() && d != &dlg)
          d->EndModal(wxID_ABORT);
      dlg.EndModal(wxID_ABORT);
      return;
    }
    while (next < steps.size() && steps[next]()) ++next;
    if (next == steps.size()) timer.Stop();
  });
  timer.Start(50);
  const int rc = dlg.ShowModal();
  timer.Stop();
  return rc;
}

void SendKey(wxWindow* target, int key) {
  wxKeyEvent ev(wxEVT_CHAR_HOOK);
  ev.m_keyCode = key;
  ev.SetEventObject(target);
  target->GetEventHandler()->ProcessEvent(ev);
}

CAboutDlg* OpenAboutBox() {
  for (wxWindow* w : wxTopLevelWindows)
    if (auto* a = dynamic_cast<CAboutDlg*>(w); a && a->IsShown() && a->IsModal()) return a;
  return nullptr;
}

// Texts of the visible labels of a window.
std::vector<wxString> VisibleTexts(wxWindow* w) {
  std::vector<wxString> texts;
  for (wxWindow* c : w->GetChildren())
    if (c->IsShown() && dynamic_cast<wxStaticText*>(c)) texts.push_back(c->GetLabel());
  return texts;
}

// A step that waits until the About box's own loop has ended: a window
// ended inside it would end the wrong loop.
bool AboutBoxGone() {
  for (wxWindow* w : wxTopLevelWindows)
    if (dynamic_cast<CAboutDlg*>(w)) return false;
  return true;
}

struct AboutSeen {
  int count = 0;
  wxString title;
  std::vector<wxString> texts;
  bool hasOk = false;
};

// A step that waits for the About box, notes what it shows and closes it.
std::function<bool()> CloseAboutBox(AboutSeen& seen) {
  return [&seen] {
    CAboutDlg* about = OpenAboutBox();
    if (!about) return false;
    ++seen.count;
    seen.title = about->GetTitle();
    seen.texts = VisibleTexts(about);
    seen.hasOk = about->FindWindow(wxID_OK) != nullptr;
    about->EndModal(wxID_OK);
    return true;
  };
}

class MainWindowRun : public testing::Test {
 protected:
  void SetUp() override {
    SkinInit("Vantor", 0, 0);
    SkinLoadFile(std::string(VANTOR_SOURCE_DIR) + "/res/Skin/Vantor.smf");
    dlg = new CVantorDlg;
  }
  void TearDown() override {
    dlg->Destroy();
    test::PumpEvents(30);
  }
  CVantorDlg* dlg = nullptr;
};

}  // namespace

TEST_F(MainWindowRun, EscapeAndEnterNeverEndTheWindowButClosingDoes) {
  bool stillRunning = false;
  const int rc = RunModal(*dlg, {
                                    [&] { return dlg->IsShownOnScreen(); },
                                    [&] {
                                      SendKey(dlg, WXK_ESCAPE);
                                      SendKey(dlg, WXK_RETURN);
                                      SendKey(dlg, WXK_NUMPAD_ENTER);
                                      // The same keys arriving at a focused button.
                                      SendKey(dlg->m_btnPlay, WXK_ESCAPE);
                                      SendKey(dlg->m_btnPlay, WXK_RETURN);
                                      return true;
                                    },
                                    [&] {
                                      stillRunning = dlg->IsModal() && dlg->IsShown();
                                      dlg->Close();  // the title bar's close box, or Alt+F4
                                      return true;
                                    },
                                });
  EXPECT_TRUE(stillRunning);
  EXPECT_EQ(rc, wxID_OK);
}

TEST_F(MainWindowRun, MaximiseBoxOpensAboutAndTheWindowKeepsItsSize) {
  AboutSeen seen;
  wxSize sizeAfter;
  const int rc = RunModal(*dlg, {
                                    [&] { return dlg->IsShownOnScreen(); },
                                    [&] {
                                      wxMaximizeEvent maximise(dlg->GetId());
                                      maximise.SetEventObject(dlg);
                                      dlg->GetEventHandler()->ProcessEvent(maximise);
                                      return true;
                                    },
                                    CloseAboutBox(seen),
                                    AboutBoxGone,
                                    [&] {
                                      sizeAfter = dlg->GetSize();
                                      dlg->Close();
                                      return true;
                                    },
                                });
  EXPECT_EQ(rc, wxID_OK);
  EXPECT_EQ(seen.count, 1);
  EXPECT_EQ(seen.title, "About GPS Video Player");
  EXPECT_NE(std::find(seen.texts.begin(), seen.texts.end(), "GPS player V1.00"), seen.texts.end());
  EXPECT_TRUE(std::any_of(seen.texts.begin(), seen.texts.end(), [](const wxString& t) {
    return t.Contains("One frame back or forward");  // the keys are listed
  }));
  EXPECT_TRUE(seen.hasOk);
  EXPECT_EQ(sizeAfter, wxSize(1024, 700));
  EXPECT_FALSE(dlg->IsMaximized());
}

TEST_F(MainWindowRun, VolumeAndMapOfTheLastRunComeBackAndADamagedStoreIsIgnored) {
  const vantor::Settings store;  // where the window keeps them (a scratch folder here)
  std::filesystem::create_directories(std::filesystem::path(store.Path()).parent_path());
  std::ofstream(store.Path()) << "volume=35\nmap_type=2\nmap_zoom=16\n";
  int volume = -1, type = -1, zoom = -1;
  wxString zoomText;
  RunModal(*dlg, {
                     [&] { return dlg->IsShownOnScreen(); },
                     [&] {
                       volume = dlg->m_sliderVolume->GetValue();
                       type = dlg->m_comboMapType->GetSelection();
                       zoom = dlg->m_spinZoom->GetValue();
                       zoomText = dlg->m_staticZoom->GetLabel();
                       dlg->m_sliderVolume->SetValue(60);
                       dlg->m_comboMapType->SetSelection(3);
                       dlg->m_spinZoom->SetValue(11);
                       dlg->Close();
                       return true;
                     },
                 });
  EXPECT_EQ(volume, 35);
  EXPECT_EQ(type, 2);
  EXPECT_EQ(zoom, 16);
  EXPECT_EQ(zoomText, "16");
  vantor::Settings next;
  ASSERT_TRUE(next.Load());
  EXPECT_EQ(next.GetInt(vantor::Settings::kVolume, 100, 0, 100), 60);
  EXPECT_EQ(next.GetInt(vantor::Settings::kMapType, 0, 0, 3), 3);
  EXPECT_EQ(next.GetInt(vantor::Settings::kMapZoom, 13, 0, 20), 11);

  std::ofstream(store.Path()) << "\x01\xfe garbage";
  CVantorDlg fresh;
  fresh.OnInitDialog();
  EXPECT_EQ(fresh.m_sliderVolume->GetValue(), 100);
  EXPECT_EQ(fresh.m_comboMapType->GetSelection(), 0);
  EXPECT_EQ(fresh.m_spinZoom->GetValue(), 13);
  std::filesystem::remove(store.Path());
}

TEST_F(MainWindowRun, F1AndTheWindowMenuItemOpenAbout) {
  AboutSeen byKey, byMenu;
  RunModal(*dlg, {
                     [&] { return dlg->IsShownOnScreen(); },
                     [&] {
                       dlg->CallAfter([this] { SendKey(dlg, WXK_F1); });
                       return true;
                     },
                     CloseAboutBox(byKey),
                     AboutBoxGone,
                     [&] {
                       dlg->CallAfter([this] {
                         wxCommandEvent about(wxEVT_MENU, IDM_ABOUTBOX);
                         dlg->GetEventHandler()->ProcessEvent(about);
                       });
                       return true;
                     },
                     CloseAboutBox(byMenu),
                     AboutBoxGone,
                     [&] {
                       dlg->Close();
                       return true;
                     },
                 });
  EXPECT_EQ(byKey.count, 1);
  EXPECT_EQ(byMenu.count, 1);
}

TEST_F(MainWindowRun, OtherWindowCommandsDoNothing) {
  bool noAbout = false;
  RunModal(*dlg,
           {
               [&] { return dlg->IsShownOnScreen(); },
               [&] {
                 dlg->OnSysCommand(0xF020);  // minimise, move, size ... are the desktop's business
                 noAbout = OpenAboutBox() == nullptr;
                 dlg->Close();
                 return true;
               },
           });
  EXPECT_TRUE(noAbout);
}

TEST(MainWindowMenus, PlaylistMenuAndWindowMenuHaveTheirItems) {
  std::unique_ptr<wxMenu> playlist(CVantorDlg::CreatePlaylistMenu());
  const std::pair<int, const char*> items[] = {{32771, "&Play"},
                                               {32772, "Pa&use"},
                                               {32773, "&Stop"},
                                               {32774, "&Delete"},
                                               {32775, "Select &All"}};
  ASSERT_EQ(playlist->GetMenuItemCount(), 13u);
  for (std::size_t i = 0; i < 5; ++i) {
    const wxMenuItem* item = playlist->FindItemByPosition(i);
    EXPECT_EQ(item->GetId(), items[i].first);
    EXPECT_EQ(item->GetItemLabel(), items[i].second);
  }
  // After a separator, the item that attaches a GPS file to the selected entry.
  EXPECT_TRUE(playlist->FindItemByPosition(5)->IsSeparator());
  EXPECT_EQ(playlist->FindItemByPosition(6)->GetId(), ID_PLAYLIST_LOADGPS);
  EXPECT_EQ(playlist->FindItemByPosition(6)->GetItemLabel(), "Load &GPS log...");
  EXPECT_EQ(playlist->FindItemByPosition(7)->GetId(), ID_PLAYLIST_ADDFOLDER);
  // After another, the in and out points and the export of the stretch between them.
  EXPECT_TRUE(playlist->FindItemByPosition(8)->IsSeparator());
  EXPECT_EQ(playlist->FindItemByPosition(9)->GetId(), ID_PLAYLIST_MARKIN);
  EXPECT_EQ(playlist->FindItemByPosition(10)->GetId(), ID_PLAYLIST_MARKOUT);
  EXPECT_EQ(playlist->FindItemByPosition(11)->GetId(), ID_PLAYLIST_EXPORTVIDEO);
  EXPECT_EQ(playlist->FindItemByPosition(12)->GetId(), ID_PLAYLIST_EXPORTDRIVE);
  std::unique_ptr<wxMenu> window(CVantorDlg::CreateWindowMenu());
  const wxMenuItem* about = window->FindItem(IDM_ABOUTBOX);
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(about->GetItemLabel(), "About Vantor(&A)...");
}

namespace {

// The letters after '&' in a menu's labels; a letter used twice means one
// item cannot be reached from the keyboard.
std::vector<wxUniChar> Accelerators(const wxMenu& menu) {
  std::vector<wxUniChar> keys;
  for (const wxMenuItem* item : menu.GetMenuItems()) {
    const wxString label = item->GetItemLabel();
    const int amp = label.Find('&');
    if (amp != wxNOT_FOUND && amp + 1 < static_cast<int>(label.length()))
      keys.push_back(wxToupper(label[static_cast<std::size_t>(amp + 1)]));
  }
  return keys;
}

}  // namespace

TEST(MainWindowMenus, EveryItemHasItsOwnAcceleratorInBothLanguages) {
  for (const char* locale : {"C", "zh_CN.UTF-8"}) {
    vantor::test::ScopedMessageLocale lang(locale);
    std::unique_ptr<wxMenu> playlist(CVantorDlg::CreatePlaylistMenu());
    std::vector<wxUniChar> keys = Accelerators(*playlist);
    const auto items = playlist->GetMenuItems();
    EXPECT_EQ(keys.size(), static_cast<std::size_t>(std::count_if(
                               items.begin(), items.end(),
                               [](const wxMenuItem* item) { return !item->IsSeparator(); })))
        << locale;
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(std::adjacent_find(keys.begin(), keys.end()), keys.end()) << locale;
    if (std::string(locale) != "C") {
      std::unique_ptr<wxMenu> window(CVantorDlg::CreateWindowMenu());
      EXPECT_EQ(window->FindItem(IDM_ABOUTBOX)->GetItemLabel(),
                wxString::FromUTF8("关于 Vantor(&A)..."));
      EXPECT_EQ(playlist->FindItem(ID_PLAYLIST_PAUSE)->GetItemLabel(),
                wxString::FromUTF8("暂停(&U)"));
      EXPECT_EQ(playlist->FindItem(ID_PLAYLIST_LOADGPS)->GetItemLabel(),
                wxString::FromUTF8("载入 GPS 记录(&G)..."));
    }
  }
}

namespace {

// Start-up with a skin file that cannot be used: the window comes up plain.
void ExpectUnskinnedStart(const std::string& skinPath) {
  SkinInit("Vantor", 0, 0);
  EXPECT_FALSE(SkinLoadFile(skinPath));
  EXPECT_FALSE(SkinIsLoaded());
  auto* dlg = new CVantorDlg;
  dlg->Show();
  EXPECT_TRUE(test::PumpUntil([&] { return dlg->IsInitialised(); }, 5000));
  EXPECT_NE(dlg->GetBackgroundColour(), wxColour(0x1b, 0x1f, 0x27));
  EXPECT_EQ(dlg->GetSize(), wxSize(1024, 700));
  EXPECT_EQ(dlg->m_staticZoom->GetLabel(), "13");
  dlg->Destroy();
  test::PumpEvents(30);
}

}  // namespace

TEST(MainWindowSkin, MissingSkinFileLeavesTheWindowUnskinned) {
  ExpectUnskinnedStart("/nonexistent/Skin/Vantor.smf");
}

TEST(MainWindowSkin, MalformedSkinFileLeavesTheWindowUnskinned) {
  const vantor::test::ScratchFolder dir("bad-skin");
  ExpectUnskinnedStart(
      dir.Write("Vantor.smf", "[Dialog]\nbackground = #1b1f27\ntext = not a colour\n").string());
}

TEST(MainWindowSkin, StartUpLooksInTheCurrentFolderFirst) {
  const auto old = std::filesystem::current_path();
  const vantor::test::ScratchFolder dir("skin-cwd");
  dir.Write("Skin/Vantor.smf", "[Dialog]\n");
  std::filesystem::current_path(dir.path());
  EXPECT_EQ(LocateSkinFile(), "Skin/Vantor.smf");
  std::filesystem::remove_all(dir / "Skin");
  // Without one there, the copy beside the data files is used.
  EXPECT_NE(LocateSkinFile().find("share/vantor/Skin/Vantor.smf"), std::string::npos);
  std::filesystem::current_path(old);
}
