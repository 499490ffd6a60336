// Snapshot, Print Image and File Save as the main window's buttons run them,
// with the dialogs answered by the test.
#include <gtest/gtest.h>
#include <wx/image.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "GuiTestUtil.h"
#include "app/Resource.h"
#include "app/VantorDlg.h"
#include "support/ScratchFolder.h"
#include "widgets/ImageButton.h"

namespace fs = std::filesystem;
using namespace vantor;

namespace {

std::string FixtureClip() {
  return std::string(VANTOR_FIXTURE_DIR) + "/DCIM/100MEDIA/AMBA0001.MOV";  // 320 x 240
}

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | std::uint32_t(b[at + 3]) << 24;
}

// Answers the dialogs instead of the user and records what was asked.
class AnsweringUi : public CWxSnapshotUi {
 public:
  using CWxSnapshotUi::CWxSnapshotUi;
  std::string answer;  // empty: cancel
  std::vector<SaveDialogRequest> asked;
  std::vector<RgbImage> printed;
  std::vector<std::pair<std::string, std::string>> copies;

  std::optional<std::string> AskSavePath(const SaveDialogRequest& request) override {
    asked.push_back(request);
    if (answer.empty()) return std::nullopt;
    return answer;
  }
  void PrintImage(const RgbImage& frame) override { printed.push_back(frame); }
  void StartCopy(const std::string& source, const std::string& destination) override {
    copies.emplace_back(source, destination);
  }
};

class WindowSnapshot : public testing::Test {
 protected:
  void SetUp() override {
    scratch = std::make_unique<test::ScratchFolder>("window-snapshot");
    dir = scratch->path();
    dlg = new CVantorDlg;
    dlg->Show();
    test::PumpUntil([this] { return dlg->IsShownOnScreen() && dlg->IsInitialised(); }, 5000);
    auto owned = std::make_unique<AnsweringUi>(dlg);
    ui = owned.get();
    dlg->SetSnapshotUi(std::move(owned));
  }
  void TearDown() override {
    dlg->m_Player.Close();
    dlg->Destroy();
    test::PumpEvents(50);
    scratch.reset();
  }
  // A click on the button, as the button reports it to the window.
  void Click(int id) {
    wxWindow* button = dlg->FindWindow(id);
    ASSERT_NE(wxDynamicCast(button, CImageButton), nullptr) << id;
    wxCommandEvent clicked(wxEVT_BUTTON, id);
    clicked.SetEventObject(button);
    button->ProcessWindowEvent(clicked);
  }
  void OpenAndPlay() {
    ASSERT_TRUE(dlg->m_Player.Open(FixtureClip(), nullptr, VideoRect{50, 40, 625, 430}));
    dlg->m_Player.Play();
    ASSERT_TRUE(test::PumpUntil([this] { return dlg->m_Player.GetCurrentPosition() > 300; }, 5000));
  }

  std::unique_ptr<test::ScratchFolder> scratch;
  fs::path dir;
  CVantorDlg* dlg = nullptr;
  AnsweringUi* ui = nullptr;
};

}  // namespace

TEST_F(WindowSnapshot, PlayingMovieIsSavedAsABmpOfTheFrame) {
  OpenAndPlay();
  ui->answer.clear();  // the first dialog is cancelled
  Click(res::IDC_SNAPSHOT);
  ASSERT_EQ(ui->asked.size(), 1u);
  EXPECT_EQ(ui->asked[0].proposedName, "snapshot000.bmp");
  EXPECT_EQ(ui->asked[0].defaultExtension, "bmp");
  EXPECT_TRUE(ui->asked[0].overwritePrompt);
  EXPECT_EQ(ui->asked[0].filter, "Bitmap files(*.bmp)|*.bmp||");

  const std::string path = (dir / "frame.bmp").string();
  ui->answer = path;
  Click(res::IDC_SNAPSHOT);  // while playing
  ASSERT_EQ(ui->asked.size(), 2u);
  EXPECT_EQ(ui->asked[1].proposedName, "snapshot001.bmp");  // the cancel still counted
  const auto bytes = ReadBytes(path);
  ASSERT_EQ(bytes.size(), 14u + 40u + 320u * 240u * 3u);
  EXPECT_EQ(bytes[0], 'B');
  EXPECT_EQ(bytes[1], 'M');
  EXPECT_EQ(U32(bytes, 2), bytes.size());
  EXPECT_EQ(U32(bytes, 10), 54u);
  wxImage read;
  ASSERT_TRUE(read.LoadFile(wxString::FromUTF8(path), wxBITMAP_TYPE_BMP));
  EXPECT_EQ(read.GetSize(), wxSize(320, 240));

  // Paused, the file holds exactly the frame on screen after the 14-byte header.
  dlg->m_Player.Pause();
  test::PumpEvents(200);
  const std::string still = (dir / "still.bmp").string();
  ui->answer = still;
  Click(res::IDC_SNAPSHOT);
  long size = 0;
  const auto frame = dlg->m_Player.GetCurrentImage(&size);
  ASSERT_TRUE(frame);
  const auto stillBytes = ReadBytes(still);
  ASSERT_EQ(stillBytes.size(), static_cast<std::size_t>(size) + 14);
  EXPECT_EQ(std::memcmp(stillBytes.data() + 14, frame.get(), static_cast<std::size_t>(size)), 0);
}

TEST_F(WindowSnapshot, PrintImageNeedsAnOpenMovieAndPrintsItsFrame) {
  Click(res::IDC_PRINT_IMAGE);  // nothing open
  EXPECT_TRUE(ui->printed.empty());
  EXPECT_TRUE(ui->asked.empty());

  ASSERT_TRUE(dlg->m_Player.Open(FixtureClip(), nullptr, VideoRect{50, 40, 625, 430}));
  Click(res::IDC_PRINT_IMAGE);
  ASSERT_EQ(ui->printed.size(), 1u);
  EXPECT_EQ(ui->printed[0].width, 320);
  EXPECT_EQ(ui->printed[0].height, 240);
  EXPECT_EQ(ui->printed[0].rgb.size(), 320u * 240u * 3u);
}

TEST_F(WindowSnapshot, FileSaveCopiesTheCurrentEntryOnlyWhilePlaying) {
  const std::string movie = FixtureClip();
  ASSERT_TRUE(dlg->m_PlayList.Add(movie.c_str()));
  dlg->m_PlayList.SetCurSel(0);
  ui->answer = (dir / "backup.mov").string();

  ASSERT_TRUE(dlg->m_Player.Open(movie, nullptr, VideoRect{50, 40, 625, 430}));
  Click(res::IDC_FILE_SAVE);  // open but not playing
  EXPECT_TRUE(ui->asked.empty());
  EXPECT_TRUE(ui->copies.empty());

  dlg->m_Player.Play();
  ASSERT_TRUE(test::PumpUntil([this] { return dlg->m_Player.IsRunning() != FALSE; }, 3000));
  Click(res::IDC_FILE_SAVE);
  ASSERT_EQ(ui->asked.size(), 1u);
  EXPECT_EQ(ui->asked[0].filter, "Movie File(*.mov)|*.mov|All File(*.*)|*.*||");
  ASSERT_EQ(ui->copies.size(), 1u);
  EXPECT_EQ(ui->copies[0].first, movie);
  EXPECT_EQ(ui->copies[0].second, (dir / "BACKUP.MOV").string());
}
