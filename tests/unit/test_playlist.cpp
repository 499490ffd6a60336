#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/PlayListCore.h"
#include "common/Messages.h"
#include "support/ScratchFolder.h"

namespace {

// Rows as the store should keep them, with a record of what was done to them.
class FakeRows : public IPlayListMirror {
 public:
  struct Row {
    std::string number, name;
    int mark = 0;
    CPlayListNode* node = nullptr;
    bool selected = false;
  };
  std::vector<Row> rows;
  std::vector<int> deleted;  // row indices in the order they were deleted
  // What a deleted row's remark read as it went, as the list control reads it.
  std::vector<std::string> remarksOfDeleted;
  bool alive = true;
  int depth = 0, maxDepth = 0, calls = 0, insertsWhileBatched = 0;

  bool IsAlive() const override { return alive; }
  int GetRowCount() const override { return static_cast<int>(rows.size()); }
  int InsertRow(int nRow, const std::string& number, const std::string& name,
                CPlayListNode* node) override {
    ++calls;
    if (depth > 0) ++insertsWhileBatched;
    rows.insert(rows.begin() + nRow, Row{number, name, 0, node, false});
    return nRow;
  }
  void DeleteRow(int nRow) override {
    ++calls;
    deleted.push_back(nRow);
    const CPlayListNode* node = rows.at(nRow).node;
    remarksOfDeleted.push_back(node ? node->strRemark : "(no entry)");
    rows.erase(rows.begin() + nRow);
  }
  void SetRowNumber(int nRow, const std::string& number) override {
    ++calls;
    rows.at(nRow).number = number;
  }
  int GetRowMark(int nRow) const override { return rows.at(nRow).mark; }
  void SetRowMark(int nRow, int nMark) override {
    ++calls;
    rows.at(nRow).mark = nMark;
  }
  CPlayListNode* GetRowData(int nRow) const override { return rows.at(nRow).node; }
  int GetSelectedCount() const override {
    int n = 0;
    for (const Row& r : rows) n += r.selected;
    return n;
  }
  int GetNextSelected(int nAfter) const override {
    for (int i = nAfter + 1; i < GetRowCount(); ++i)
      if (rows[i].selected) return i;
    return -1;
  }
  void BeginUpdate() override { maxDepth = std::max(maxDepth, ++depth); }
  void EndUpdate() override { --depth; }

  std::vector<std::string> Numbers() const {
    std::vector<std::string> v;
    for (const Row& r : rows) v.push_back(r.number);
    return v;
  }
  std::vector<std::string> Names() const {
    std::vector<std::string> v;
    for (const Row& r : rows) v.push_back(r.name);
    return v;
  }
  std::vector<int> Marks() const {
    std::vector<int> v;
    for (const Row& r : rows) v.push_back(r.mark);
    return v;
  }
  void Select(std::initializer_list<int> idx) {
    for (int i : idx) rows.at(i).selected = true;
  }
};

// Rows and chain hold the same entries in the same order, numbered 1..n.
void ExpectInStep(const CPlayListCore& list, const FakeRows& rows) {
  ASSERT_EQ(list.GetCount(), rows.GetRowCount());
  for (int i = 0; i < list.GetCount(); ++i) {
    SCOPED_TRACE(i);
    ASSERT_NE(rows.rows[i].node, nullptr);
    EXPECT_EQ(rows.rows[i].node->pszPath, list.GetPath(i));
    EXPECT_EQ(rows.rows[i].name, CPlayListCore::DisplayNameOf(list.GetPath(i)));
    EXPECT_EQ(rows.rows[i].number, std::to_string(i + 1));
  }
}

class PlayListTest : public testing::Test {
 protected:
  void SetUp() override { list.AttachMirror(&rows); }
  void AddClips(int n) {
    for (int i = 1; i <= n; ++i) ASSERT_TRUE(list.Add(Clip(i).c_str()));
  }
  static std::string Clip(int i) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "/media/cam/DCIM/100MEDIA/AMBA%04d.MOV", i);
    return buf;
  }
  FakeRows rows;
  CPlayListCore list;
};

}  // namespace

TEST(PlayListNames, DisplayNameAndRejectedPaths) {
  CPlayListCore list;
  struct Case {
    const char* path;
    const char* name;  // nullptr: rejected
  } cases[] = {
      {"/clips/AMBA0001.MOV", "AMBA0001"},
      {"/clips/a.b/movie", "movie"},  // a dot in a folder name does not cut
      {"/clips/a.b.mov", "a.b"},      // only the last extension goes
      {"relative.mp4", "relative"},
      {"/clips/noext", "noext"},
      {"/clips/\xe9t\xe9.MOV", "\xEF\xBF\xBDt\xEF\xBF\xBD"},  // Latin-1 bytes
      {"/clips/.mov", nullptr},
      {".mov", nullptr},
      {"/clips/", nullptr},
      {"/", nullptr},
      {"", nullptr},
  };
  int expected = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(list.Add(c.path), c.name ? TRUE : FALSE);
    if (c.name) {
      ++expected;
      EXPECT_EQ(CPlayListCore::DisplayNameOf(c.path), c.name);
    }
    EXPECT_EQ(list.GetCount(), expected);
  }
  EXPECT_FALSE(list.Add(nullptr));
  EXPECT_EQ(list.GetCount(), expected);
}

TEST_F(PlayListTest, RowsMirrorAddsAndRejectedPathsLeaveNoRow) {
  AddClips(3);
  EXPECT_FALSE(list.Add("/clips/"));
  ExpectInStep(list, rows);
  EXPECT_EQ(rows.Names(), (std::vector<std::string>{"AMBA0001", "AMBA0002", "AMBA0003"}));
  EXPECT_EQ(rows.Marks(), (std::vector<int>{0, 0, 0}));
}

TEST_F(PlayListTest, FindMatchesTheExactPathAndFindsTheFirstOfEqualPaths) {
  AddClips(3);
  EXPECT_EQ(list.Find(Clip(2).c_str()), 1);
  EXPECT_TRUE(list.Contains(Clip(2).c_str()));
  // Names that differ only by case are two files on Linux.
  EXPECT_EQ(list.Find("/media/cam/DCIM/100MEDIA/amba0002.mov"), -1);
  EXPECT_FALSE(list.Contains("/media/cam/DCIM/100MEDIA/amba0002.mov"));
  AddToPlayList(list, "/media/cam/DCIM/100MEDIA/amba0002.mov");
  EXPECT_EQ(list.GetCount(), 4);
  EXPECT_EQ(list.Find("/media/cam/DCIM/100MEDIA/AMBA0002"), -1);  // no prefix matches
  EXPECT_EQ(list.Find(nullptr), -1);
  // Bytes that are not UTF-8 are compared as they are.
  ASSERT_TRUE(list.Add("/x/\xe9t\xe9.mov"));
  EXPECT_EQ(list.Find("/x/\xe9t\xe9.mov"), 4);
  EXPECT_EQ(list.Find("/X/\xe9T\xe9.MOV"), -1);
  // Add itself does not refuse duplicates; Find reports the first of them.
  ASSERT_TRUE(list.Add(Clip(1).c_str()));
  EXPECT_EQ(list.Find(Clip(1).c_str()), 0);
  ASSERT_TRUE(list.RemoveAt(0));
  EXPECT_EQ(list.Find(Clip(1).c_str()), 4);
  ASSERT_TRUE(list.RemoveAt(4));
  EXPECT_EQ(list.Find(Clip(1).c_str()), -1);
  EXPECT_FALSE(list.Contains(Clip(1).c_str()));
}

TEST_F(PlayListTest, GetPathEnds) {
  EXPECT_EQ(list.GetPath(0), nullptr);
  EXPECT_EQ(list.GetPath(-1), nullptr);
  AddClips(2);
  EXPECT_STREQ(list.GetPath(-5), Clip(1).c_str());  // negative gives the first
  EXPECT_STREQ(list.GetPath(1), Clip(2).c_str());
  EXPECT_EQ(list.GetPath(2), nullptr);
}

TEST_F(PlayListTest, CurrentEntryAndMarks) {
  AddClips(3);
  EXPECT_EQ(list.GetCurSel(), -1);
  EXPECT_EQ(list.GetCurPath(), Clip(1)) << "no current entry reads as the first path";

  EXPECT_STREQ(list.SetCurSel(1), Clip(2).c_str());
  EXPECT_EQ(rows.Marks(), (std::vector<int>{0, 1, 0}));
  list.SetItemMark(list.GetCurSel(), ROWMARK_PAUSED);
  EXPECT_EQ(rows.Marks(), (std::vector<int>{0, 2, 0}));

  EXPECT_STREQ(list.GetNextPath(), Clip(3).c_str());
  EXPECT_EQ(list.GetCurSel(), 2);
  EXPECT_EQ(rows.Marks(), (std::vector<int>{0, 0, 1}));

  // Past the last entry: nothing more to play and no row marked.
  EXPECT_EQ(list.GetNextPath(), nullptr);
  EXPECT_EQ(list.GetCurSel(), 3);
  EXPECT_EQ(rows.Marks(), (std::vector<int>{0, 0, 0}));

  // Stop: the index moves past the end.
  list.SetCurSel(0);
  EXPECT_EQ(list.SetCurSel(list.GetCount()), nullptr);
  EXPECT_EQ(rows.Marks(), (std::vector<int>{0, 0, 0}));

  // A negative index names the first path but makes nothing current.
  EXPECT_STREQ(list.SetCurSel(-1), Clip(1).c_str());
  EXPECT_EQ(rows.Marks(), (std::vector<int>{0, 0, 0}));
  EXPECT_STREQ(list.GetNextPath(), Clip(1).c_str());
  EXPECT_EQ(rows.Marks(), (std::vector<int>{1, 0, 0}));

  // Out-of-range marks are ignored.
  list.SetItemMark(-1, 2);
  list.SetItemMark(3, 2);
  EXPECT_EQ(rows.Marks(), (std::vector<int>{1, 0, 0}));
}

TEST_F(PlayListTest, RemoveAtRenumbersAndTheCurrentIndexFollowsItsEntry) {
  AddClips(5);
  list.SetCurSel(3);
  EXPECT_FALSE(list.RemoveAt(-1));
  EXPECT_FALSE(list.RemoveAt(5));
  ASSERT_TRUE(list.RemoveAt(1));
  ExpectInStep(list, rows);
  EXPECT_EQ(list.GetCurSel(), 2);
  EXPECT_EQ(list.GetCurPath(), Clip(4));
  EXPECT_EQ(rows.Marks(), (std::vector<int>{0, 0, 1, 0}));
  // The next advance goes on from the entry that was playing.
  EXPECT_STREQ(list.GetNextPath(), Clip(5).c_str());
  EXPECT_EQ(rows.Marks(), (std::vector<int>{0, 0, 0, 1}));
  // Removing the current entry leaves none.
  ASSERT_TRUE(list.RemoveAt(3));
  EXPECT_EQ(list.GetCurSel(), -1);
  ExpectInStep(list, rows);
}

TEST_F(PlayListTest, RemoveSelectedRowsTwoAndFourOfSix) {
  AddClips(6);
  list.SetCurSel(4);  // row 5 plays
  rows.Select({1, 3});
  EXPECT_FALSE(list.RemoveSelected()) << "the playing row was not among them";
  EXPECT_EQ(rows.deleted, (std::vector<int>{3, 1})) << "from the last selected row back";
  ExpectInStep(list, rows);
  EXPECT_EQ(rows.Numbers(), (std::vector<std::string>{"1", "2", "3", "4"}));
  EXPECT_EQ(rows.Names(),
            (std::vector<std::string>{"AMBA0001", "AMBA0003", "AMBA0005", "AMBA0006"}));
  EXPECT_EQ(list.GetCurSel(), 2);
  EXPECT_EQ(list.GetCurPath(), Clip(5));
  EXPECT_EQ(rows.Marks(), (std::vector<int>{0, 0, 1, 0}));
  EXPECT_STREQ(list.GetNextPath(), Clip(6).c_str());
}

TEST_F(PlayListTest, RemoveSelectedWithThePlayingRow) {
  AddClips(4);
  list.SetCurSel(2);
  rows.Select({0, 2, 3});
  EXPECT_TRUE(list.RemoveSelected());
  EXPECT_EQ(list.GetCurSel(), -1);
  ExpectInStep(list, rows);
  EXPECT_EQ(rows.Names(), (std::vector<std::string>{"AMBA0002"}));
  EXPECT_EQ(rows.Marks(), (std::vector<int>{0}));
}

TEST_F(PlayListTest, RemoveSelectedRefusals) {
  AddClips(3);
  EXPECT_FALSE(list.RemoveSelected()) << "nothing selected";
  EXPECT_EQ(list.GetCount(), 3);
  rows.Select({1});
  list.AttachMirror(nullptr);
  EXPECT_FALSE(list.RemoveSelected()) << "no rows attached";
  EXPECT_EQ(list.GetCount(), 3);
  list.AttachMirror(&rows);
  rows.alive = false;
  EXPECT_FALSE(list.RemoveSelected()) << "window gone";
  EXPECT_EQ(list.GetCount(), 3);
}

TEST_F(PlayListTest, AfterStopRemovalsKeepTheIndexPastTheEnd) {
  AddClips(4);
  list.SetCurSel(list.GetCount());
  rows.Select({0, 1});
  EXPECT_FALSE(list.RemoveSelected());
  EXPECT_EQ(list.GetCurPath(), nullptr);
  EXPECT_EQ(list.GetNextPath(), nullptr);
  EXPECT_EQ(rows.Marks(), (std::vector<int>{0, 0}));
  // Files added after the end of the list do not become current.
  ASSERT_TRUE(list.Add("/late/x.mov"));
  EXPECT_EQ(list.GetCurPath(), nullptr);
  EXPECT_EQ(list.GetNextPath(), nullptr);
  EXPECT_EQ(rows.Marks(), (std::vector<int>{0, 0, 0}));
}

TEST_F(PlayListTest, DroppedPathsInOrderDuplicatesSkipped) {
  AddClips(2);
  const std::vector<std::string> dropped = {"/drop/c.mov", "/drop/a.mov", Clip(2),
                                            "/drop/c.mov", "/drop/",      "/drop/b.mp4"};
  rows.depth = rows.maxDepth = 0;
  EXPECT_EQ(AddPathsToPlayList(list, dropped), 3);
  ExpectInStep(list, rows);
  EXPECT_EQ(rows.Names(), (std::vector<std::string>{"AMBA0001", "AMBA0002", "c", "a", "b"}));
  EXPECT_EQ(rows.Numbers(), (std::vector<std::string>{"1", "2", "3", "4", "5"}));
  EXPECT_EQ(rows.depth, 0) << "every BeginUpdate has its EndUpdate";
  EXPECT_EQ(rows.insertsWhileBatched, 3);

  EXPECT_EQ(AddToPlayList(list, "/drop/a.mov"), 3) << "a listed path gives its index";
  EXPECT_EQ(AddToPlayList(list, "/drop/d.mov"), TRUE);
  EXPECT_EQ(AddToPlayList(list, "/drop/.mov"), FALSE);
  EXPECT_EQ(list.GetCount(), 6);
}

TEST_F(PlayListTest, AFolderAddsItsMoviesAndEntriesAreGroupedIntoDrivesByTime) {
  // Two drives: clips 1-2, then twenty minutes later clips 3-5.
  const std::string card = VANTOR_FIXTURE_DIR "/two_drives";
  const std::string movies = card + "/DCIM/100MEDIA/";
  if (!std::filesystem::exists(movies + "AMBA0005.MOV"))
    GTEST_SKIP() << "no two-drive card (build the fixtures target)";
  auto drives = [&] {
    std::vector<int> d;
    for (int i = 0; i < list.GetCount(); ++i) d.push_back(list.GetDrive(i));
    return d;
  };
  ASSERT_TRUE(list.Add((movies + "AMBA0003.MOV").c_str()));
  ASSERT_TRUE(list.Add("/elsewhere/AMBA0009.MOV"));
  const std::vector<std::string> late = {movies + "AMBA0005.MOV", movies + "AMBA0004.MOV"};
  EXPECT_EQ(AddPathsToPlayList(list, late), 2);
  // Another folder's clip between two of a drive parts them; taken out, they join again.
  EXPECT_EQ(drives(), (std::vector<int>{0, 1, 2, 2}));
  ASSERT_TRUE(list.RemoveAt(1));
  EXPECT_EQ(drives(), (std::vector<int>{0, 0, 0}));

  EXPECT_EQ(AddPathsToPlayList(list, std::vector<std::string>{card + "/"}), 2);
  ExpectInStep(list, rows);
  EXPECT_EQ(rows.Names(),
            (std::vector<std::string>{"AMBA0003", "AMBA0004", "AMBA0005", "AMBA0001", "AMBA0002"}));
  // The earlier drive, added later, is a drive of its own after the later one.
  EXPECT_EQ(drives(), (std::vector<int>{0, 0, 0, 1, 1}));
  rows.Select({3});
  list.RemoveSelected();
  EXPECT_EQ(drives(), (std::vector<int>{0, 0, 0, 1}));
}

TEST_F(PlayListTest, TheCamerasOfAClipAreOneEntry) {
  vantor::test::ScratchFolder card("playlist-channels");
  const std::string front = card.Write("DCIM/2021_0918_174205_F.MP4", "x").string();
  const std::string rear = card.Write("DCIM/2021_0918_174205_R.MP4", "x").string();
  const std::string next = card.Write("DCIM/2021_0918_174305_R.MP4", "x").string();
  // Given only the front file, the entry takes the rear one from the card too.
  EXPECT_EQ(AddPathsToPlayList(list, std::vector<std::string>{front}), 1);
  EXPECT_EQ(list.GetOtherChannels(0), std::vector<std::string>{rear});
  EXPECT_EQ(list.Find(rear.c_str()), 0);
  EXPECT_EQ(AddPathsToPlayList(list, std::vector<std::string>{rear, next}), 1);
  ASSERT_EQ(list.GetCount(), 2);
  EXPECT_STREQ(list.GetPath(1), next.c_str()) << "a clip the rear camera alone recorded";
  ASSERT_TRUE(list.RemoveAt(0));
  EXPECT_FALSE(list.Contains(rear.c_str())) << "a removed entry forgets every channel";
  // The entry outlives its row: the list control reads the remark while the row goes.
  EXPECT_EQ(rows.remarksOfDeleted, std::vector<std::string>{"F+R"});
}

TEST_F(PlayListTest, GoneWindowIsLeftAlone) {
  AddClips(3);
  list.SetCurSel(0);
  rows.alive = false;
  const int before = rows.calls;
  ASSERT_TRUE(list.Add("/x/late.mov"));
  ASSERT_TRUE(list.RemoveAt(1));
  list.SetCurSel(2);
  EXPECT_EQ(rows.calls, before);
  EXPECT_EQ(list.GetCount(), 3);
}

TEST(PlayListLifetime, DestructionDoesNotTouchTheRows) {
  FakeRows rows;
  {
    CPlayListCore list;
    list.AttachMirror(&rows);
    list.Add("/a/1.mov");
    list.Add("/a/2.mov");
  }
  EXPECT_EQ(rows.GetRowCount(), 2);
  EXPECT_TRUE(rows.deleted.empty());
}

// A long mixed sequence keeps chain and rows in step.
TEST_F(PlayListTest, MixedOperationsKeepRowsAndChainInStep) {
  unsigned seed = 12345;
  auto next = [&](int n) {
    seed = seed * 1103515245u + 12345u;
    return static_cast<int>((seed >> 16) % static_cast<unsigned>(n));
  };
  int added = 0;
  for (int step = 0; step < 400; ++step) {
    switch (next(5)) {
      case 0:
      case 1:
        list.Add(Clip(++added).c_str());
        break;
      case 2:
        list.RemoveAt(next(list.GetCount() + 1));
        break;
      case 3:
        for (auto& r : rows.rows) r.selected = next(3) == 0;
        list.RemoveSelected();
        break;
      case 4:
        list.SetCurSel(next(list.GetCount() + 1));
        break;
    }
    ASSERT_NO_FATAL_FAILURE(ExpectInStep(list, rows)) << "step " << step;
    // Only the current row, if any, carries a mark.
    for (int i = 0; i < rows.GetRowCount(); ++i)
      ASSERT_EQ(rows.rows[i].mark, i == list.GetCurSel() ? 1 : 0) << "step " << step;
  }
  list.RemoveAll();
  EXPECT_EQ(list.GetCount(), 0);
  EXPECT_EQ(rows.GetRowCount(), 0);
  EXPECT_EQ(list.Find(Clip(1).c_str()), -1);
}

TEST(PlayListMessages, DeleteTextsHaveChineseTranslations) {
  const char* oldLang = std::getenv("LANG");
  const char* oldAll = std::getenv("LC_ALL");
  const char* oldMessages = std::getenv("LC_MESSAGES");
  const std::string saved[] = {oldLang ? oldLang : "", oldAll ? oldAll : "",
                               oldMessages ? oldMessages : ""};
  unsetenv("LC_ALL");
  unsetenv("LC_MESSAGES");
  setenv("LANG", "zh_CN.UTF-8", 1);
  setenv("VANTOR_LOCALE_DIR", VANTOR_BINARY_DIR "/share/locale", 1);
  vantor::ResetMessageLocale();
  EXPECT_EQ(vantor::Tr(kMsgSelectFileForDeletion), "请选择要删除的文件。");
  EXPECT_EQ(vantor::Tr(kMsgConfirmDeleteFiles), "确定要删除这些文件吗？");
  setenv("LANG", "en_US.UTF-8", 1);
  vantor::ResetMessageLocale();
  EXPECT_EQ(vantor::Tr(kMsgSelectFileForDeletion), "Please select a file for deletion.");
  EXPECT_EQ(vantor::Tr(kMsgConfirmDeleteFiles), "Are you sure to delete these files?");
  unsetenv("VANTOR_LOCALE_DIR");
  if (oldLang)
    setenv("LANG", saved[0].c_str(), 1);
  else
    unsetenv("LANG");
  if (oldAll) setenv("LC_ALL", saved[1].c_str(), 1);
  if (oldMessages) setenv("LC_MESSAGES", saved[2].c_str(), 1);
  vantor::ResetMessageLocale();
}
