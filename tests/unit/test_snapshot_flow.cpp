#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <optional>

#include "SnapshotTestUtil.h"
#include "app/Channels.h"
#include "app/SnapshotFlow.h"
#include "common/Messages.h"

using namespace vantor;
using namespace vantor::test;

namespace {

// Answers the dialogs as a test tells it and remembers what was asked.
class ScriptedUi : public CSnapshotUi {
 public:
  std::optional<std::string> answer;  // nullopt: the user cancels
  bool overwrite = false;
  std::vector<SaveDialogRequest> asked;
  std::vector<std::string> overwriteAsked;
  std::vector<RgbImage> printed;
  std::vector<std::pair<std::string, std::string>> copies;

  std::optional<std::string> AskSavePath(const SaveDialogRequest& r) override {
    asked.push_back(r);
    return answer;
  }
  bool ConfirmOverwrite(const std::string& path) override {
    overwriteAsked.push_back(path);
    return overwrite;
  }
  void PrintImage(const RgbImage& frame) override { printed.push_back(frame); }
  void StartCopy(const std::string& s, const std::string& d) override { copies.emplace_back(s, d); }
};

struct CapturedBoxes {
  std::vector<MessageBoxRequest> seen;
  MessageBoxFn old;
  CapturedBoxes() {
    old = SetMessageBoxFunction([this](const MessageBoxRequest& r) { seen.push_back(r); });
  }
  ~CapturedBoxes() { SetMessageBoxFunction(old); }
};

GrabFrameFn FrameOf(std::vector<std::uint8_t> dib) {
  return [dib] { return CapturedFrame::Copy({dib.data(), dib.size()}); };
}
GrabFrameFn NoFrame() {
  return [] { return CapturedFrame{}; };
}

// Clears the locale variables for a test and puts them back after it.
class LocaleVars {
 public:
  LocaleVars() {
    for (const char* v : kVars) {
      const char* old = std::getenv(v);
      m_saved.push_back(old ? std::optional<std::string>(old) : std::nullopt);
      unsetenv(v);
    }
  }
  ~LocaleVars() {
    for (std::size_t i = 0; i < std::size(kVars); ++i) {
      if (m_saved[i])
        setenv(kVars[i], m_saved[i]->c_str(), 1);
      else
        unsetenv(kVars[i]);
    }
    ResetMessageLocale();
  }

 private:
  static constexpr const char* kVars[] = {"LC_ALL", "LC_MESSAGES", "LANG"};
  std::vector<std::optional<std::string>> m_saved;
};

int NumberIn(const std::string& name) {
  return std::atoi(name.c_str() + 8);
}

}  // namespace

TEST(SnapshotCommand, CounterAdvancesForEveryFrameEvenWhenCancelled) {
  ScriptedUi ui;
  const auto frame = FrameOf(MakeTrueColourDib(32, 24));
  for (int i = 0; i < 3; ++i) EXPECT_EQ(RunSnapshot(frame, ui), CommandOutcome::Cancelled);
  ASSERT_EQ(ui.asked.size(), 3u);
  const int first = NumberIn(ui.asked[0].proposedName);
  EXPECT_EQ(ui.asked[0].proposedName, SnapshotFileName(first));
  EXPECT_EQ(ui.asked[1].proposedName, SnapshotFileName(first + 1));
  EXPECT_EQ(ui.asked[2].proposedName, SnapshotFileName(first + 2));
  EXPECT_EQ(ui.asked[0].defaultExtension, "bmp");
  EXPECT_TRUE(ui.asked[0].overwritePrompt);

  // No frame, or a block that is no picture: no dialog, no number used.
  EXPECT_EQ(RunSnapshot(NoFrame(), ui), CommandOutcome::NotAvailable);
  EXPECT_EQ(RunSnapshot(FrameOf(std::vector<std::uint8_t>(30, 1)), ui),
            CommandOutcome::NotAvailable);
  EXPECT_EQ(RunSnapshot(GrabFrameFn{}, ui), CommandOutcome::NotAvailable);
  EXPECT_EQ(RunSnapshot(frame, ui), CommandOutcome::Cancelled);
  ASSERT_EQ(ui.asked.size(), 4u);
  EXPECT_EQ(ui.asked[3].proposedName, SnapshotFileName(first + 3));
}

TEST(SnapshotCommand, SavesTheFrameWhereTheUserChose) {
  ScratchFolder dir("snapflow");
  ScriptedUi ui;
  ui.answer = (dir / "drive").string();  // typed without an extension
  const auto dib = MakeTrueColourDib(640, 480);
  EXPECT_EQ(RunSnapshot(FrameOf(dib), ui), CommandOutcome::Done);
  const std::string bytes = ReadAll(dir / "drive.bmp");
  ASSERT_EQ(bytes.size(), 921654u);
  EXPECT_EQ(0, std::memcmp(bytes.data() + 14, dib.data(), dib.size()));
  EXPECT_TRUE(ui.overwriteAsked.empty());

  // The name with the extension added exists: asked once more, and a "no" keeps it.
  WriteFile(dir / "drive.bmp", "keep me");
  EXPECT_EQ(RunSnapshot(FrameOf(dib), ui), CommandOutcome::Cancelled);
  ASSERT_EQ(ui.overwriteAsked.size(), 1u);
  EXPECT_EQ(ui.overwriteAsked[0], (dir / "drive.bmp").string());
  EXPECT_EQ(ReadAll(dir / "drive.bmp"), "keep me");
  ui.overwrite = true;
  EXPECT_EQ(RunSnapshot(FrameOf(dib), ui), CommandOutcome::Done);
  EXPECT_EQ(ReadAll(dir / "drive.bmp").size(), 921654u);
}

TEST(SnapshotCommand, FileThatCannotBeCreatedIsReportedInTheUsersLanguage) {
  ScratchFolder dir("snapfail");
  UnwritableDir locked(dir);
  if (!locked.ok()) GTEST_SKIP() << "cannot make a read-only folder here";
  ScriptedUi ui;
  ui.answer = (locked.path() / "snap.bmp").string();
  const auto frame = FrameOf(MakeTrueColourDib(16, 16));

  LocaleVars keep;
  for (const auto& [lang, text] :
       {std::pair<const char*, const char*>{"en_US.UTF-8", "Failed to create output file"},
        {"zh_CN.UTF-8", "无法创建输出文件"}}) {
    setenv("LANG", lang, 1);
    ResetMessageLocale();
    CapturedBoxes boxes;
    EXPECT_EQ(RunSnapshot(frame, ui), CommandOutcome::Failed);
    ASSERT_EQ(boxes.seen.size(), 1u) << lang;
    EXPECT_EQ(boxes.seen[0].text, text);
    EXPECT_EQ(boxes.seen[0].caption, "Vantor");
    EXPECT_EQ(boxes.seen[0].icon, MessageIcon::Error);
    EXPECT_EQ(ui.asked.back().filter,
              lang[0] == 'z' ? "位图文件(*.bmp)|*.bmp||" : "Bitmap files(*.bmp)|*.bmp||");
  }
  EXPECT_TRUE(fs::is_empty(locked.path()));
}

TEST(PrintImageCommand, NeedsAnOpenMovieAndAFrame) {
  ScriptedUi ui;
  int grabs = 0;
  const auto dib = MakeTrueColourDib(20, 10);
  GrabFrameFn counted = [&] {
    ++grabs;
    return CapturedFrame::Copy({dib.data(), dib.size()});
  };
  EXPECT_EQ(RunPrintImage(false, counted, ui), CommandOutcome::NotAvailable);
  EXPECT_EQ(grabs, 0);
  EXPECT_EQ(RunPrintImage(true, NoFrame(), ui), CommandOutcome::NotAvailable);
  EXPECT_TRUE(ui.printed.empty());
  EXPECT_TRUE(ui.asked.empty());

  EXPECT_EQ(RunPrintImage(true, counted, ui), CommandOutcome::Done);
  ASSERT_EQ(ui.printed.size(), 1u);
  EXPECT_EQ(ui.printed[0].width, 20);
  EXPECT_EQ(ui.printed[0].height, 10);
  EXPECT_EQ(ui.printed[0].rgb, ExpectedTrueColourRgb(20, 10));
}

TEST(FileSaveCommand, CopiesThePlayingMovieUnderTheUpperCasedName) {
  ScriptedUi ui;
  ui.answer = "/home/user/clips/backup.mov";
  EXPECT_EQ(RunFileSave(false, "/cam/AMBA0001.MOV", ui), CommandOutcome::NotAvailable);
  EXPECT_EQ(RunFileSave(true, "", ui), CommandOutcome::NotAvailable);
  EXPECT_TRUE(ui.asked.empty());

  EXPECT_EQ(RunFileSave(true, "/cam/AMBA0001.MOV", ui), CommandOutcome::Done);
  ASSERT_EQ(ui.asked.size(), 1u);
  EXPECT_EQ(ui.asked[0].filter, "Movie File(*.mov)|*.mov|All File(*.*)|*.*||");
  EXPECT_EQ(ui.asked[0].proposedName, "");
  EXPECT_EQ(ui.asked[0].defaultExtension, "");
  EXPECT_FALSE(ui.asked[0].overwritePrompt);
  ASSERT_EQ(ui.copies.size(), 1u);
  EXPECT_EQ(ui.copies[0].first, "/cam/AMBA0001.MOV");
  EXPECT_EQ(ui.copies[0].second, "/home/user/clips/BACKUP.MOV");

  ui.answer.reset();
  EXPECT_EQ(RunFileSave(true, "/cam/AMBA0001.MOV", ui), CommandOutcome::Cancelled);
  EXPECT_EQ(ui.copies.size(), 1u);
}

TEST(FileSaveCommand, CopiesEveryCameraOfTheClipUnderItsLetter) {
  const std::string cameras[] = {"/cam/Rear/0001.MOV", "/cam/X_I.MOV", "/cam/plain.MOV"};
  ScriptedUi ui;
  ui.answer = "/out/trip_F.mov";
  ASSERT_EQ(RunFileSave(true, "/cam/Front/0001.MOV", ui, cameras), CommandOutcome::Done);
  using Copy = std::pair<std::string, std::string>;
  EXPECT_EQ(ui.copies, (std::vector<Copy>{{"/cam/Front/0001.MOV", "/out/TRIP_F.MOV"},
                                          {cameras[0], "/out/TRIP_R.MOV"},
                                          {cameras[1], "/out/TRIP_I.MOV"}}));
  // Named without a camera letter, the others get theirs added.
  EXPECT_EQ(ChannelCopyPath("/out/crash.MOV", CameraChannel::Rear), "/out/crash_R.MOV");
}
