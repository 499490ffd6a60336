// The log graph read back pixel by pixel: its bitmap, and what DrawCursor puts
// on a target DC.
#include <gtest/gtest.h>
#include <wx/dcmemory.h>
#include <wx/image.h>

#include <vector>

#include "gps/LogGraph.h"

namespace {

struct Rgb {
  int r, g, b;
  bool operator==(const Rgb&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Rgb& c) {
  return os << "(" << c.r << "," << c.g << "," << c.b << ")";
}
const Rgb kBg{0x21, 0x21, 0x21}, kRed{255, 0, 0}, kYellow{255, 255, 0}, kCyan{0, 255, 255},
    kGreen{0, 255, 0};

Rgb Pixel(const wxImage& img, int x, int y) {
  return {img.GetRed(x, y), img.GetGreen(x, y), img.GetBlue(x, y)};
}

// The log as the parser leaves it: parsed records, then zeroed spare ones.
std::vector<GpsRecord> Log(int n, int g1, int g2, int g3) {
  std::vector<GpsRecord> v(n + 1024);
  for (int i = 0; i < n; ++i) v[i].nGraph1 = g1, v[i].nGraph2 = g2, v[i].nGraph3 = g3;
  return v;
}

bool ColumnIsBackground(const wxImage& img, int x) {
  for (int y = 0; y < img.GetHeight(); ++y)
    if (!(Pixel(img, x, y) == kBg)) return false;
  return true;
}

// Where curve `c` crosses column x: the rows of its colour there.
std::vector<int> RowsOf(const wxImage& img, int x, const Rgb& colour) {
  std::vector<int> rows;
  for (int y = 0; y < img.GetHeight(); ++y)
    if (Pixel(img, x, y) == colour) rows.push_back(y);
  return rows;
}

}  // namespace

TEST(LogGraph, FewerRecordsThanColumnsLeavesTheRestBackground) {
  auto log = Log(50, 10, 5, 0);
  CLogGraph graph;
  wxRect rc(36, 481, 300, 75);
  ASSERT_EQ(graph.Build(log.data(), 50, &rc), TRUE);
  EXPECT_EQ(rc, wxRect(0, 0, 300, 75));  // moved to the origin
  EXPECT_EQ(graph.GetRect(), wxRect(36, 481, 300, 75));
  EXPECT_EQ(graph.GetPerColumn(), 1);
  EXPECT_EQ(graph.GetPoints(), 50);
  const wxImage img = graph.GetBitmap().ConvertToImage();
  ASSERT_EQ(img.GetWidth(), 300);
  ASSERT_EQ(img.GetHeight(), 75);
  // Largest average (10) reaches the top of band 1; 5 is scaled by 23/10 to 11.
  for (int x = 1; x < 50; ++x) {
    EXPECT_EQ(RowsOf(img, x, kRed), std::vector<int>{0}) << x;
    EXPECT_EQ(RowsOf(img, x, kYellow), std::vector<int>{48 - 11}) << x;
    EXPECT_EQ(RowsOf(img, x, kCyan), std::vector<int>{73}) << x;
  }
  for (int x = 50; x < 300; ++x) ASSERT_TRUE(ColumnIsBackground(img, x)) << x;
}

TEST(LogGraph, ThousandRecordsOnThreeHundredColumns) {
  // Records 0..999 ramp up, so a wrong grouping shows in the heights.
  std::vector<GpsRecord> log(1000 + 1024);
  for (int i = 0; i < 1000; ++i) log[i].nGraph1 = i + 1;
  CLogGraph graph;
  wxRect rc(0, 0, 300, 75);
  ASSERT_EQ(graph.Build(log.data(), 1000, &rc), TRUE);
  EXPECT_EQ(graph.GetPerColumn(), 4);
  EXPECT_EQ(graph.GetColumns(), 300);
  EXPECT_EQ(graph.GetPoints(), 250);
  // Column 249 averages records 996..999 (997..1000): the maximum, 998.5.
  EXPECT_DOUBLE_EQ(graph.GetScale(), 23.0 / 998.5);
  const wxImage img = graph.GetBitmap().ConvertToImage();
  EXPECT_EQ(RowsOf(img, 249, kRed), std::vector<int>{0});
  // Column 100 averages records 400..403: 402.5 × 23 / 998.5 = 9.27 -> 9 above 23.
  EXPECT_EQ(RowsOf(img, 100, kRed), std::vector<int>{14});
  for (int x = 250; x < 300; ++x) ASSERT_TRUE(ColumnIsBackground(img, x)) << x;
}

TEST(LogGraph, SixHundredRecordsAverageTwoPerColumnAcrossTheWidth) {
  // Alternating 0 and 20 average to a flat 10 only when paired correctly.
  auto log = Log(600, 0, 0, 0);
  for (int i = 0; i < 600; ++i) log[i].nGraph3 = i % 2 ? 20 : 0;
  CLogGraph graph;
  wxRect rc(0, 0, 300, 75);
  ASSERT_EQ(graph.Build(log.data(), 600, &rc), TRUE);
  EXPECT_EQ(graph.GetPerColumn(), 2);
  EXPECT_EQ(graph.GetColumns(), 300);
  EXPECT_EQ(graph.GetPoints(), 300);
  const wxImage img = graph.GetBitmap().ConvertToImage();
  for (int x = 1; x < 300; ++x) ASSERT_EQ(RowsOf(img, x, kCyan), std::vector<int>{73 - 23}) << x;
}

TEST(LogGraph, BaselinesForHeight75AndFlatCurvesWithoutPositiveValues) {
  for (int sign : {0, -1}) {
    auto log = Log(100, 7 * sign, 3 * sign, 9 * sign);
    CLogGraph graph;
    wxRect rc(0, 0, 300, 75);
    ASSERT_EQ(graph.Build(log.data(), 100, &rc), TRUE);
    const wxImage img = graph.GetBitmap().ConvertToImage();
    for (int x : {1, 50, 99}) {
      EXPECT_EQ(RowsOf(img, x, kRed), std::vector<int>{23}) << sign;
      EXPECT_EQ(RowsOf(img, x, kYellow), std::vector<int>{48}) << sign;
      EXPECT_EQ(RowsOf(img, x, kCyan), std::vector<int>{73}) << sign;
    }
  }
}

TEST(LogGraph, NegativeAveragesGoBelowTheBaseline) {
  auto log = Log(100, 10, -5, 0);
  CLogGraph graph;
  wxRect rc(0, 0, 300, 75);
  ASSERT_EQ(graph.Build(log.data(), 100, &rc), TRUE);
  const wxImage img = graph.GetBitmap().ConvertToImage();
  EXPECT_EQ(RowsOf(img, 50, kYellow), std::vector<int>{48 + 11});
}

TEST(LogGraph, CursorAtTheLeftEdgeAndOnePastTheLastColumn) {
  auto log = Log(1000, 10, 0, 0);
  CLogGraph graph;
  wxRect rc(20, 30, 300, 75);
  ASSERT_EQ(graph.Build(log.data(), 1000, &rc), TRUE);

  wxBitmap target(400, 150, 24);
  wxMemoryDC dc(target);
  dc.SetBackground(*wxWHITE_BRUSH);
  dc.Clear();
  graph.DrawCursor(&dc, 0.0);
  dc.SelectObject(wxNullBitmap);
  wxImage img = target.ConvertToImage();
  for (int y = 30; y < 105; ++y) ASSERT_EQ(Pixel(img, 20, y), kGreen) << y;
  EXPECT_EQ(Pixel(img, 20, 29), (Rgb{255, 255, 255}));   // above the graph
  EXPECT_EQ(Pixel(img, 20, 105), (Rgb{255, 255, 255}));  // below it
  EXPECT_EQ(Pixel(img, 21, 30), kRed);                   // the picture, copied at its place
  EXPECT_EQ(Pixel(img, 319, 104), kBg);
  EXPECT_EQ(Pixel(img, 320, 104), (Rgb{255, 255, 255}));

  // Fraction 1: x = 250, one right of the last column; the old cursor is gone.
  dc.SelectObject(target);
  graph.DrawCursor(&dc, 1.0);
  dc.SelectObject(wxNullBitmap);
  img = target.ConvertToImage();
  for (int y = 30; y < 105; ++y) ASSERT_EQ(Pixel(img, 270, y), kGreen) << y;
  EXPECT_EQ(RowsOf(img, 20, kGreen), std::vector<int>{});
  EXPECT_EQ(RowsOf(img, 269, kRed), std::vector<int>{30});
}

TEST(LogGraph, NothingToDrawWithoutABuild) {
  CLogGraph graph;
  wxBitmap target(50, 50, 24);
  wxMemoryDC dc(target);
  dc.SetBackground(*wxWHITE_BRUSH);
  dc.Clear();
  graph.DrawCursor(&dc, 0.5);  // must not crash nor draw
  auto log = Log(10, 1, 1, 1);
  wxRect empty(0, 0, 0, 40), ok(0, 0, 40, 40);
  EXPECT_EQ(graph.Build(nullptr, 10, &ok), FALSE);
  EXPECT_EQ(graph.Build(log.data(), 0, &ok), FALSE);
  EXPECT_EQ(graph.Build(log.data(), 10, &empty), FALSE);
  EXPECT_FALSE(graph.IsBuilt());
  // A log that was shown and is then cleared draws nothing any more.
  ASSERT_EQ(graph.Build(log.data(), 10, &ok), TRUE);
  graph.Clear();
  graph.DrawCursor(&dc, 0.5);
  dc.SelectObject(wxNullBitmap);
  const wxImage img = target.ConvertToImage();
  for (int x = 0; x < 50; ++x) ASSERT_TRUE(Pixel(img, x, 20) == (Rgb{255, 255, 255})) << x;
}
