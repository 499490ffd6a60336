// The speed gauge picture: which picture a speed shows, how it looks where it
// is drawn, and that a repaint of the window keeps it.
#include <gtest/gtest.h>
#include <wx/dcclient.h>
#include <wx/dcmemory.h>
#include <wx/dcscreen.h>
#include <wx/frame.h>
#include <wx/image.h>

#include "GuiTestUtil.h"
#include "app/SpeedDial.h"
#include "widgets/ResourceBitmap.h"

namespace {

// Whether the picture of resource `id` is what `img` shows at (ox, oy).
::testing::AssertionResult ShowsPicture(const wxImage& img, int ox, int oy, int id) {
  const wxImage want = vantor::LoadResourceImage(id);
  if (!want.IsOk()) return ::testing::AssertionFailure() << "no picture " << id;
  for (int y = 0; y < want.GetHeight(); y += 3)
    for (int x = 0; x < want.GetWidth(); x += 3)
      if (img.GetRed(ox + x, oy + y) != want.GetRed(x, y) ||
          img.GetGreen(ox + x, oy + y) != want.GetGreen(x, y) ||
          img.GetBlue(ox + x, oy + y) != want.GetBlue(x, y))
        return ::testing::AssertionFailure() << "differs from " << id << " at " << x << "," << y;
  return ::testing::AssertionSuccess();
}

}  // namespace

TEST(SpeedDial, ThirtyPicturesOfTheSameSizeAndAllDifferent) {
  std::vector<wxImage> pictures;
  for (int id = 186; id <= 215; ++id) {
    pictures.push_back(vantor::LoadResourceImage(id));
    ASSERT_TRUE(pictures.back().IsOk()) << id;
    EXPECT_EQ(pictures.back().GetSize(), wxSize(227, 164)) << id;
  }
  EXPECT_FALSE(vantor::LoadResourceImage(185).IsOk());
  EXPECT_FALSE(vantor::LoadResourceImage(216).IsOk());
  for (size_t i = 1; i < pictures.size(); ++i)
    EXPECT_NE(0, memcmp(pictures[i].GetData(), pictures[i - 1].GetData(), 227 * 164 * 3)) << i;
}

TEST(SpeedDial, ChoosesThePictureByBand) {
  CSpeedDial dial;
  EXPECT_EQ(dial.GetResourceId(), 0);
  EXPECT_EQ(dial.DrawSpeedDial(0), TRUE);
  EXPECT_EQ(dial.GetResourceId(), 186);
  EXPECT_EQ(dial.DrawSpeedDial(9), TRUE);
  EXPECT_EQ(dial.GetResourceId(), 186);
  EXPECT_EQ(dial.DrawSpeedDial(10), TRUE);
  EXPECT_EQ(dial.GetResourceId(), 187);
  EXPECT_EQ(dial.DrawSpeedDial(249), TRUE);
  EXPECT_EQ(dial.GetResourceId(), 210);
  EXPECT_EQ(dial.DrawSpeedDial(400), TRUE);
  EXPECT_EQ(dial.GetResourceId(), 215);
  // A negative speed has no picture: FALSE and the current one stays.
  EXPECT_EQ(dial.DrawSpeedDial(-1), FALSE);
  EXPECT_EQ(dial.GetResourceId(), 215);
}

TEST(SpeedDial, PaintsTheCurrentPictureAtItsPlace) {
  CSpeedDial dial;
  wxBitmap target(600, 700, 24);
  wxMemoryDC dc(target);
  dc.SetBackground(*wxBLACK_BRUSH);
  dc.Clear();
  dial.Paint(dc);  // nothing yet
  ASSERT_EQ(dial.DrawSpeedDial(123), TRUE);
  dial.Paint(dc);
  dc.SelectObject(wxNullBitmap);
  const wxImage img = target.ConvertToImage();
  EXPECT_TRUE(ShowsPicture(img, 268, 500, 198));
  EXPECT_EQ(img.GetRed(267, 500) + img.GetGreen(267, 500) + img.GetBlue(267, 500), 0);
  EXPECT_EQ(img.GetRed(268 + 227, 500 + 10), 0);
}

// A window whose paint handler draws the dial, as the main window's does.
TEST(SpeedDial, ARepaintOfTheWindowKeepsTheCurrentSpeed) {
  auto* frame =
      new wxFrame(nullptr, wxID_ANY, "gauge", wxPoint(0, 0), wxSize(600, 700), wxBORDER_NONE);
  CSpeedDial dial;
  int paints = 0;
  frame->SetBackgroundStyle(wxBG_STYLE_PAINT);
  frame->Bind(wxEVT_PAINT, [&](wxPaintEvent&) {
    wxPaintDC dc(frame);
    dc.SetBackground(*wxBLACK_BRUSH);
    dc.Clear();
    dial.Paint(dc);
    ++paints;
  });
  frame->Show();
  ASSERT_TRUE(
      vantor::test::PumpUntil([&] { return frame->IsShownOnScreen() && paints > 0; }, 3000));
  ASSERT_EQ(dial.DrawSpeedDial(87), TRUE);  // a tick while driving
  frame->RefreshRect(CSpeedDial::GetRect());
  vantor::test::PumpEvents(100);

  // Something else covers the window and goes: a full repaint.
  const int before = paints;
  frame->Refresh();
  frame->Update();
  ASSERT_TRUE(vantor::test::PumpUntil([&] { return paints > before; }, 3000));
  vantor::test::PumpEvents(100);
  EXPECT_EQ(dial.GetResourceId(), 194);

  // What is on the screen now.
  const wxPoint origin = frame->GetScreenPosition() + frame->GetClientAreaOrigin();
  wxScreenDC screen;
  wxBitmap grab(227, 164, 24);
  {
    wxMemoryDC mem(grab);
    mem.Blit(0, 0, 227, 164, &screen, origin.x + 268, origin.y + 500);
  }
  EXPECT_TRUE(ShowsPicture(grab.ConvertToImage(), 0, 0, 194));
  frame->Destroy();
  vantor::test::PumpEvents(20);
}
