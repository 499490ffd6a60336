#include <gtest/gtest.h>
#include <wx/frame.h>
#include <wx/listctrl.h>

#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "GuiTestUtil.h"
#include "app/PlayList.h"
#include "widgets/RowMarks.h"

namespace {

// A frame holding a list laid out like the main window's playlist: a plain
// wxListCtrl (false) or a CPlayListCtrl (true).
class PlayListWindow : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    frame = new wxFrame(nullptr, wxID_ANY, "playlist", wxPoint(0, 0), wxSize(320, 400));
    if (GetParam())
      listCtrl = new CPlayListCtrl(frame, 1025);
    else
      listCtrl = new wxListCtrl(frame, 1025, wxDefaultPosition, wxDefaultSize, wxLC_REPORT);
    listCtrl->InsertColumn(0, "NO.", wxLIST_FORMAT_LEFT, 40);
    listCtrl->InsertColumn(1, "File Name", wxLIST_FORMAT_LEFT, 180);
    listCtrl->InsertColumn(2, "Remarks", wxLIST_FORMAT_LEFT, 60);
    listCtrl->SetBackgroundColour(wxColour(0x20, 0x29, 0x3A));
    listCtrl->SetForegroundColour(wxColour(0x53, 0x5E, 0x72));
    vantor::AttachRowMarks(listCtrl);
    frame->Show();
    vantor::test::PumpEvents(30);
    list.AttachList(listCtrl);
  }
  void TearDown() override {
    if (frame) frame->Destroy();
    vantor::test::PumpEvents(20);
  }
  void AddClips(int n) {
    for (int i = 1; i <= n; ++i) ASSERT_TRUE(list.Add(Clip(i).c_str()));
  }
  static std::string Clip(int i) {
    return "/media/cam/DCIM/100MEDIA/AMBA000" + std::to_string(i) + ".MOV";
  }
  std::string Text(int row, int col) const { return listCtrl->GetItemText(row, col).utf8_string(); }
  std::vector<std::string> Column(int col) const {
    std::vector<std::string> v;
    for (int i = 0; i < listCtrl->GetItemCount(); ++i) v.push_back(Text(i, col));
    return v;
  }
  // The image index each row shows.
  std::vector<int> Marks() const {
    std::vector<int> v;
    for (int i = 0; i < listCtrl->GetItemCount(); ++i) {
      wxListItem item;
      item.SetId(i);
      item.SetMask(wxLIST_MASK_IMAGE);
      v.push_back(listCtrl->GetItem(item) ? item.GetImage() : -99);
    }
    return v;
  }
  void Select(std::initializer_list<int> rows) {
    for (int r : rows) listCtrl->SetItemState(r, wxLIST_STATE_SELECTED, wxLIST_STATE_SELECTED);
  }

  wxFrame* frame = nullptr;
  wxListCtrl* listCtrl = nullptr;
  CPlayList list;
};

}  // namespace

TEST_P(PlayListWindow, RowsShowNumberNameDataAndMark) {
  AddClips(3);
  ASSERT_TRUE(list.Add("/media/a.b/clip.part.mp4"));
  ASSERT_EQ(listCtrl->GetItemCount(), 4);
  EXPECT_EQ(Column(0), (std::vector<std::string>{"1", "2", "3", "4"}));
  EXPECT_EQ(Column(1), (std::vector<std::string>{"AMBA0001", "AMBA0002", "AMBA0003", "clip.part"}));
  EXPECT_EQ(Column(2), (std::vector<std::string>{"", "", "", ""}));
  for (int i = 0; i < 4 && !GetParam(); ++i) {
    auto* node = reinterpret_cast<CPlayListNode*>(listCtrl->GetItemData(i));
    ASSERT_NE(node, nullptr);
    EXPECT_STREQ(node->pszPath.c_str(), list.GetPath(i));
  }
  EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 0, 0}));

  list.SetCurSel(1);
  EXPECT_EQ(Marks(), (std::vector<int>{0, 1, 0, 0}));
  list.SetItemMark(list.GetCurSel(), ROWMARK_PAUSED);
  EXPECT_EQ(Marks(), (std::vector<int>{0, 2, 0, 0}));
  list.GetNextPath();
  EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 1, 0}));
  list.SetCurSel(list.GetCount());
  EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 0, 0}));
}

TEST_P(PlayListWindow, DeletingRowsTwoAndFourOfSixRenumbers) {
  AddClips(6);
  list.SetCurSel(4);
  Select({1, 3});
  // The keyboard focus on the last row, which will no longer exist.
  listCtrl->SetItemState(5, wxLIST_STATE_FOCUSED, wxLIST_STATE_FOCUSED);
  EXPECT_FALSE(list.RemoveSelected());
  vantor::test::PumpEvents(30);
  EXPECT_EQ(Column(0), (std::vector<std::string>{"1", "2", "3", "4"}));
  EXPECT_EQ(Column(1), (std::vector<std::string>{"AMBA0001", "AMBA0003", "AMBA0005", "AMBA0006"}));
  EXPECT_EQ(listCtrl->GetSelectedItemCount(), 0);
  // The playing entry kept its mark and its place as current.
  EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 1, 0}));
  EXPECT_EQ(list.GetCurPath(), Clip(5));
}

TEST_P(PlayListWindow, DeletingThePlayingRowReportsIt) {
  AddClips(3);
  list.SetCurSel(2);
  Select({2});
  EXPECT_TRUE(list.RemoveSelected());
  EXPECT_EQ(list.GetCurSel(), -1);
  EXPECT_EQ(Column(1), (std::vector<std::string>{"AMBA0001", "AMBA0002"}));
  EXPECT_EQ(Marks(), (std::vector<int>{0, 0}));
}

TEST_P(PlayListWindow, DroppedFilesInDropOrderNumberedOn) {
  AddClips(2);
  // The event owns its array, as when the toolkit delivers a drop.
  auto* files =
      new wxString[5]{"/drop/zeta.mov", "/drop/alpha.MOV", wxString::FromUTF8("/drop/行车.mp4"),
                      "/drop/zeta.mov", wxString::FromUTF8(Clip(1))};
  wxDropFilesEvent event(wxEVT_DROP_FILES, 5, files);
  EXPECT_EQ(AddDroppedFiles(list, event), 3);
  EXPECT_EQ(Column(0), (std::vector<std::string>{"1", "2", "3", "4", "5"}));
  EXPECT_EQ(Column(1), (std::vector<std::string>{"AMBA0001", "AMBA0002", "zeta", "alpha", "行车"}));
  EXPECT_STREQ(list.GetPath(4), "/drop/行车.mp4");
  EXPECT_FALSE(listCtrl->IsFrozen()) << "the list is redrawn after the batch";
}

TEST_P(PlayListWindow, StoreOutlivingItsListLeavesTheDeadControlAlone) {
  AddClips(3);
  list.SetCurSel(0);
  frame->Destroy();
  frame = nullptr;
  vantor::test::PumpEvents(30);
  EXPECT_EQ(list.GetList(), nullptr);
  EXPECT_TRUE(list.Add("/late/x.mov"));
  list.SetCurSel(1);
  EXPECT_TRUE(list.RemoveAt(0));
  EXPECT_FALSE(list.RemoveSelected());
  EXPECT_EQ(list.GetCount(), 3);
}

INSTANTIATE_TEST_SUITE_P(ListKinds, PlayListWindow, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                           return info.param ? "PlayListCtrl" : "wxListCtrl";
                         });

TEST(RowMarks, ThreePicturesDistinctAndVisibleOnTheDarkRows) {
  std::unique_ptr<wxImageList> images(vantor::CreateRowMarkImageList());
  ASSERT_EQ(images->GetImageCount(), 3);
  int w = 0, h = 0;
  images->GetSize(0, w, h);
  EXPECT_EQ(w, 16);
  EXPECT_EQ(h, 16);

  const wxImage blank = vantor::DrawRowMarkImage(0);
  const wxImage play = vantor::DrawRowMarkImage(1);
  const wxImage pause = vantor::DrawRowMarkImage(2);
  ASSERT_TRUE(blank.HasAlpha() && play.HasAlpha() && pause.HasAlpha());
  auto opaque = [](const wxImage& im) {
    int n = 0;
    for (int y = 0; y < im.GetHeight(); ++y)
      for (int x = 0; x < im.GetWidth(); ++x) n += im.GetAlpha(x, y) > 128;
    return n;
  };
  EXPECT_EQ(opaque(blank), 0);
  EXPECT_GT(opaque(play), 40);
  EXPECT_GT(opaque(pause), 40);
  // Corners stay clear, so the row colour shows round the marks.
  EXPECT_EQ(play.GetAlpha(0, 0), 0);
  EXPECT_EQ(pause.GetAlpha(15, 15), 0);
  // A play triangle: solid left of centre, clear at the right edge of its rows;
  // pause bars: clear between the bars, solid in each bar.
  EXPECT_GT(play.GetAlpha(6, 8), 200);
  EXPECT_EQ(play.GetAlpha(15, 8), 0);
  EXPECT_LT(pause.GetAlpha(8, 8), 60);
  EXPECT_GT(pause.GetAlpha(5, 8), 200);
  EXPECT_GT(pause.GetAlpha(10, 8), 200);

  // Against the row background (0x20293A) the filled parts stand out clearly.
  auto luma = [](int r, int g, int b) { return 0.2126 * r + 0.7152 * g + 0.0722 * b; };
  const double bg = luma(0x20, 0x29, 0x3A);
  EXPECT_GT(luma(play.GetRed(6, 8), play.GetGreen(6, 8), play.GetBlue(6, 8)) - bg, 80);
  EXPECT_GT(luma(pause.GetRed(5, 8), pause.GetGreen(5, 8), pause.GetBlue(5, 8)) - bg, 80);
  // The two marks differ in colour as well as shape.
  EXPECT_GT(std::abs(play.GetRed(6, 8) - pause.GetRed(5, 8)), 60);
}
