// The main window's playlist commands: dropped files, Open File's selection,
// the command line's movies, and deleting entries with its two messages.
#include <wx/slider.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>

#include "PlaybackTestUtil.h"
#include "app/DriveExport.h"
#include "app/Resource.h"
#include "support/ScratchFolder.h"
#include "widgets/FECFileDialog.h"

using namespace vantor;
using namespace vantor::res;
using namespace vantor::test;

namespace {

class PlaylistCommands : public MainWindowPlayback {
 protected:
  static void Drop(std::initializer_list<std::string> paths) {
    auto* files = new wxString[paths.size()];  // the event owns them
    int i = 0;
    for (const auto& p : paths) files[i++] = wxString::FromUTF8(p);
    wxDropFilesEvent ev(wxEVT_DROP_FILES, static_cast<int>(paths.size()), files);
    ev.SetEventObject(dlg);
    dlg->GetEventHandler()->ProcessEvent(ev);
  }
};

}  // namespace

TEST_F(PlaylistCommands, DroppedFilesAppearInDropOrderNumberedOnDuplicatesSkipped) {
  AddClips({1, 2});
  // A name that differs only by case is another file on Linux: listed too.
  Drop({"/drop/zeta.mov", "/drop/alpha.b.MOV", FixtureClip(1), "/drop/zeta.mov", "/DROP/ZETA.MOV",
        "/drop/notes.txt"});
  EXPECT_EQ(Column(dlg->m_List, 0), (std::vector<std::string>{"1", "2", "3", "4", "5", "6"}));
  EXPECT_EQ(Column(dlg->m_List, 1),
            (std::vector<std::string>{"AMBA0001", "AMBA0002", "zeta", "alpha.b", "ZETA", "notes"}));
  EXPECT_STREQ(dlg->m_PlayList.GetPath(3), "/drop/alpha.b.MOV");
  EXPECT_FALSE(dlg->m_Player.IsOpen()) << "dropping plays nothing";
}

TEST_F(PlaylistCommands, OpenFileAddsTheChosenFilesOnceInTimeOrder) {
  AddClips({3});
  CFECFileDialog chooser(TRUE, nullptr, nullptr, OFN_ALLOWMULTISELECT | OFN_HIDEREADONLY,
                         "Movie File(*.mov)|*.mov|All File(*.*)|*.*||", dlg);
  chooser.SetChosenPaths({FixtureClip(2), FixtureClip(3), FixtureClip(1), FixtureClip(2)});
  dlg->AddChosenFiles(chooser);
  EXPECT_EQ(Column(dlg->m_List, 1), (std::vector<std::string>{"AMBA0003", "AMBA0001", "AMBA0002"}));
  EXPECT_EQ(dlg->AddToPlayList(FixtureClip(2).c_str()), 2) << "a listed path gives its index";
  EXPECT_EQ(dlg->m_PlayList.GetCount(), 3);
  EXPECT_FALSE(dlg->m_Player.IsOpen());
}

TEST_F(PlaylistCommands, CommandLineMoviesAreListedAndTheFirstPlaysOrGivesWayToTheNext) {
  dlg->OpenMovies({FixtureClip(2), FixtureClip(4), FixtureClip(2)});
  EXPECT_EQ(Column(dlg->m_List, 1), (std::vector<std::string>{"AMBA0002", "AMBA0004"}));
  EXPECT_EQ(dlg->m_PlayList.GetCurSel(), 0);
  EXPECT_TRUE(dlg->m_Player.IsRunning());
  EXPECT_TRUE(dlg->IsTimerRunning(CVantorDlg::TIMER_PLAY));

  Reset();
  dlg->OpenMovies({"/card/folder/", NotAMovie(), FixtureClip(5)});
  EXPECT_EQ(dlg->m_PlayList.GetCount(), 2) << "a folder that is not there is refused";
  EXPECT_EQ(dlg->m_PlayList.GetCurSel(), 1);
  EXPECT_TRUE(dlg->m_Player.IsRunning());
  EXPECT_EQ(Marks(), MarkAt(2, 1, ROWMARK_PLAYING));

  // A folder that is there: every movie under it, the first of them playing.
  Reset();
  dlg->OpenMovies({VANTOR_FIXTURE_DIR "/two_drives"});
  EXPECT_EQ(dlg->m_PlayList.GetCount(), 5);
  EXPECT_EQ(dlg->m_PlayList.GetCurSel(), 0);
  EXPECT_TRUE(dlg->m_Player.IsRunning());
}

TEST_F(PlaylistCommands, AChosenFolderAddsEveryMovieUnderItWithoutPlayingAndIsRemembered) {
  CapturedDialogs dialogs(false);
  EXPECT_EQ(dlg->AddChosenFolder(VANTOR_FIXTURE_DIR "/two_drives"), 5);
  EXPECT_EQ(dlg->m_PlayList.GetCount(), 5);
  EXPECT_FALSE(dlg->m_Player.IsOpen());
  EXPECT_EQ(dlg->m_settings.Get(Settings::kOpenFolder).value_or(""),
            VANTOR_FIXTURE_DIR "/two_drives");
  EXPECT_TRUE(dialogs.boxes.empty());
  // A folder without movies says so and adds nothing.
  ScratchFolder empty("no-movies");
  EXPECT_EQ(dlg->AddChosenFolder(empty.path().string()), 0);
  EXPECT_EQ(dlg->m_PlayList.GetCount(), 5);
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_NE(dialogs.boxes[0].text.find("No movie"), std::string::npos);
}

TEST_F(PlaylistCommands, DeleteAsksFirstAndNeedsASelection) {
  CapturedDialogs dialogs(false);
  AddClips({1, 2, 3});
  MenuCommand(dlg, ID_PLAYLIST_DELETE);
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].text, "Please select a file for deletion.");
  EXPECT_EQ(dialogs.boxes[0].caption, "Vantor");
  EXPECT_TRUE(dialogs.questions.empty());

  Select({1});
  MenuCommand(dlg, ID_PLAYLIST_DELETE);  // answered No
  ASSERT_EQ(dialogs.questions.size(), 1u);
  EXPECT_EQ(dialogs.questions[0].text, "Are you sure to delete these files?");
  EXPECT_EQ(dialogs.questions[0].caption, "Vantor");
  EXPECT_EQ(dialogs.questions[0].icon, MessageIcon::Question);
  EXPECT_EQ(dlg->m_PlayList.GetCount(), 3);

  dialogs.Answer(true);
  SendKey(dlg, WXK_DELETE);  // the key does what the menu does
  EXPECT_EQ(dialogs.questions.size(), 2u);
  EXPECT_EQ(Column(dlg->m_List, 1), (std::vector<std::string>{"AMBA0001", "AMBA0003"}));
  EXPECT_TRUE(std::filesystem::exists(FixtureClip(2))) << "the file itself stays";
  EXPECT_EQ(dialogs.boxes.size(), 1u);
}

TEST_F(PlaylistCommands, DeletingRowsTwoAndFourOfSixKeepsOrderAndRenumbers) {
  CapturedDialogs dialogs(true);
  AddClips({1, 2, 3, 4, 5});
  ASSERT_TRUE(dlg->m_PlayList.Add("/drop/six.mov"));
  // The fifth row plays; rows before it go, and it stays the current one.
  ASSERT_TRUE(dlg->OpenAndPlay(dlg->m_PlayList.SetCurSel(4)));
  Select({1, 3});
  MenuCommand(dlg, ID_PLAYLIST_DELETE);
  EXPECT_EQ(Column(dlg->m_List, 0), (std::vector<std::string>{"1", "2", "3", "4"}));
  EXPECT_EQ(Column(dlg->m_List, 1),
            (std::vector<std::string>{"AMBA0001", "AMBA0003", "AMBA0005", "six"}));
  EXPECT_EQ(dlg->m_List->GetSelectedItemCount(), 0);
  // Playback runs on, and the mark and the next advance stay with the entry.
  EXPECT_TRUE(dlg->m_Player.IsRunning());
  EXPECT_TRUE(dlg->IsTimerRunning(CVantorDlg::TIMER_PLAY));
  EXPECT_EQ(dlg->m_PlayList.GetCurSel(), 2);
  EXPECT_EQ(Marks(), MarkAt(4, 2, ROWMARK_PLAYING));
  EXPECT_STREQ(dlg->m_PlayList.GetCurPath(), FixtureClip(5).c_str());
}

TEST_F(PlaylistCommands, DeletingThePlayingRowStopsThePlayTimerAndClosesThePlayer) {
  CapturedDialogs dialogs(true);
  AddClips({1, 2, 3});
  Select({1});
  Button(dlg, IDC_PLAY);
  ASSERT_TRUE(dlg->m_Player.IsRunning());
  Select({0});
  SendKey(dlg, WXK_DELETE);
  EXPECT_FALSE(dlg->m_Player.IsOpen());
  EXPECT_FALSE(dlg->IsTimerRunning(CVantorDlg::TIMER_PLAY));
  EXPECT_EQ(Column(dlg->m_List, 1), (std::vector<std::string>{"AMBA0003"}));
  EXPECT_EQ(dlg->m_PlayList.GetCurSel(), -1);
  EXPECT_EQ(Marks(), MarkAt(1, -1, 0));
  // Play then starts from the top again.
  Button(dlg, IDC_PLAY);
  EXPECT_TRUE(dlg->m_Player.IsRunning());
  EXPECT_EQ(dlg->m_PlayList.GetCurSel(), 0);
}

TEST_F(PlaylistCommands, ClosingTheWindowStopsAndClosesTheMovie) {
  AddClips({2});
  ASSERT_TRUE(dlg->OpenAndPlay(dlg->m_PlayList.SetCurSel(0)));
  Button(dlg, IDC_BACKWARD_PLAY);
  dlg->Close();  // not modal here: the window hides
  EXPECT_FALSE(dlg->m_Player.IsOpen());
  EXPECT_FALSE(dlg->IsTimerRunning(CVantorDlg::TIMER_PLAY));
  EXPECT_FALSE(dlg->IsTimerRunning(CVantorDlg::TIMER_BACKWARD));
  EXPECT_FALSE(dlg->IsShown());
  dlg->Show();
}

TEST_F(PlaylistCommands, ExportDriveWritesEveryPointOfTheSelectedEntrysDriveOrSaysWhyNot) {
  if (std::system("command -v gpsbabel >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "gpsbabel is not installed";
  CapturedDialogs dialogs(false);
  // Two drives: clips 1-2 (3 and 4 s, a log record a second), then 3-5.
  dlg->OpenMovies({VANTOR_FIXTURE_DIR "/two_drives"});
  ASSERT_EQ(dlg->m_PlayList.GetCount(), 5);
  Select({1});
  ASSERT_EQ(dlg->EntriesOfSelectedDrive(), (std::vector<int>{0, 1}));
  ScratchFolder dir("drive-export");
  const auto exportTo = [&](const std::string& out) {
    EXPECT_TRUE(dlg->StartDriveExport(dlg->EntriesOfSelectedDrive(), "gpx", out));
    EXPECT_TRUE(PumpUntil([] { return !dlg->m_pDriveExport->IsRunning(); }, 20000));
    std::vector<MessageBoxRequest> shown = dialogs.Take();
    EXPECT_EQ(shown.size(), 1u);
    return shown.empty() ? MessageBoxRequest{} : shown[0];
  };
  const std::string out = (dir / "drive.gpx").string();
  EXPECT_EQ(exportTo(out).icon, MessageIcon::Information);
  std::string csv;
  FILE* babel = ::popen(("gpsbabel -t -i gpx -f '" + out + "' -o unicsv -F - 2>&1").c_str(), "r");
  ASSERT_NE(babel, nullptr);
  char buf[4096];
  for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, babel)) > 0;) csv.append(buf, n);
  ASSERT_EQ(::pclose(babel), 0) << csv;
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + 7) << csv;  // a header, every point

  // Nowhere to write: said, and nothing left behind.
  const MessageBoxRequest refused = exportTo((dir / "missing" / "drive.gpx").string());
  EXPECT_EQ(refused.icon, MessageIcon::Error);
  EXPECT_NE(refused.text.find("missing/drive.gpx"), std::string::npos) << refused.text;
  EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
}
