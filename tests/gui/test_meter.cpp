#include <gtest/gtest.h>
#include <wx/dcmemory.h>
#include <wx/frame.h>
#include <wx/image.h>
#include <wx/panel.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "GuiTestUtil.h"
#include "widgets/Meter.h"

namespace {

using vantor::MeterPoint;

// A frame holding one meter at a fixed place, as the main window holds it.
struct MeterWindow {
  wxFrame* frame = nullptr;
  wxPanel* panel = nullptr;
  CMeter* meter = nullptr;

  explicit MeterWindow(const wxRect& rect, int id = 1026) {
    frame = new wxFrame(nullptr, wxID_ANY, "meter", wxPoint(0, 0), wxSize(320, 220));
    panel = new wxPanel(frame);
    // A plain white backdrop so that the needle's colours stand out.
    panel->SetBackgroundColour(*wxWHITE);
    meter = new CMeter(panel, id, rect);
    meter->SetBackgroundColour(*wxWHITE);
  }
  ~MeterWindow() {
    // Hidden at once: the deletion itself waits for idle time, and a frame
    // still on the screen would cover the next test's window.
    frame->Hide();
    frame->Destroy();
    vantor::test::PumpEvents(20);
  }
  bool ShowAndPaint() {
    frame->Show();
    const int before = meter->GetPaintCount();
    meter->Refresh();
    return vantor::test::PumpUntil(
        [&] { return meter->IsShownOnScreen() && meter->GetPaintCount() > before; }, 3000);
  }
  // What the meter shows on the screen, pixel for pixel. Read from the X
  // server itself: a wxScreenDC blit may hand back an older picture of the
  // screen, cached by the drawing library.
  wxImage Capture() {
    vantor::test::PumpEvents(100);
    const wxSize size = meter->GetClientSize();
    const wxPoint origin = meter->ClientToScreen(wxPoint(0, 0));
    const std::string file = VANTOR_BINARY_DIR "/meter_capture.png";
    std::remove(file.c_str());
    const std::string cmd = "import -window root -crop " + std::to_string(size.GetWidth()) + "x" +
                            std::to_string(size.GetHeight()) + "+" + std::to_string(origin.x) +
                            "+" + std::to_string(origin.y) + " +repage " + file;
    if (std::system(cmd.c_str()) != 0) return wxImage();
    if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG)) wxImage::AddHandler(new wxPNGHandler);
    wxImage img;
    img.LoadFile(file, wxBITMAP_TYPE_PNG);
    return img;
  }
};

bool IsNeedleRed(const wxImage& img, int x, int y) {
  return img.GetRed(x, y) > 200 && img.GetGreen(x, y) < 80 && img.GetBlue(x, y) < 80;
}

// Distance of (x, y) outside the convex polygon (0 inside).
double OutsideBy(const std::array<MeterPoint, 4>& p, double x, double y) {
  // The polygon's winding decides which side of each edge is inside.
  double area = 0;
  for (int i = 0; i < 4; ++i) {
    const MeterPoint a = p[i], b = p[(i + 1) % 4];
    area += double(a.x) * b.y - double(b.x) * a.y;
  }
  const double sign = area >= 0 ? 1.0 : -1.0;
  double worst = 0;
  for (int i = 0; i < 4; ++i) {
    const MeterPoint a = p[i], b = p[(i + 1) % 4];
    const double ex = b.x - a.x, ey = b.y - a.y;
    const double len = std::hypot(ex, ey);
    if (len == 0) continue;
    const double cross = sign * (ex * (y - a.y) - ey * (x - a.x)) / len;
    if (cross < 0) worst = std::max(worst, -cross);
  }
  return worst;
}

// Checks that red pixels appear only inside the needle polygon (allowing for
// the pen and edge pixels) and that its core is red.
void ExpectNeedleWherePolygonSays(const wxImage& img, const vantor::NeedlePolygon& poly) {
  int red = 0;
  for (int y = 0; y < img.GetHeight(); ++y)
    for (int x = 0; x < img.GetWidth(); ++x) {
      if (!IsNeedleRed(img, x, y)) continue;
      ++red;
      EXPECT_LE(OutsideBy(poly.pt, x + 0.5, y + 0.5), 1.5) << "red pixel at " << x << "," << y;
    }
  EXPECT_GT(red, 100);
  // Along the axis from the tail through the pivot towards the tip, where
  // the needle is wide enough to be red inside its bevel lines.
  const MeterPoint tail = poly.Tail(), tip = poly.Tip();
  const MeterPoint p0 = poly.pt[0], p2 = poly.pt[2];
  const double cx = (p0.x + p2.x) / 2.0, cy = (p0.y + p2.y) / 2.0;
  for (double t : {-0.3, 0.0, 0.2}) {
    const double x = t < 0 ? cx + (cx - tail.x) * t : cx + (tip.x - cx) * t;
    const double y = t < 0 ? cy + (cy - tail.y) * t : cy + (tip.y - cy) * t;
    EXPECT_TRUE(IsNeedleRed(img, int(x), int(y))) << "no needle at " << x << "," << y;
  }
}

}  // namespace

TEST(Meter, DefaultsAndSetters) {
  CMeter meter;
  EXPECT_EQ(meter.GetUnits(), "Volts");
  EXPECT_EQ(meter.GetValueDecimals(), 1);
  EXPECT_EQ(meter.GetColorNeedle(), 0x000000FFu);
  EXPECT_EQ(meter.GetNeedle(), 50.0);
  EXPECT_EQ(meter.GetMaxValue(), 280.0);
  EXPECT_EQ(meter.GetMinValue(), 0.0);
  EXPECT_EQ(meter.GetStartAngle(), 225);
  EXPECT_EQ(meter.GetEndAngle(), 315);
  EXPECT_NEAR(meter.GetNeedleAngle(), 176.786, 1e-3);
  // Setters work before the window exists (nothing to invalidate yet).
  meter.SetRange(10, 20);
  meter.SetNeedle(25);
  meter.SetAngleRange(180, 360);
  meter.SetUnits("km/h");
  meter.SetValueDecimals(0);
  meter.SetColorNeedle(0x00FF0000u);
  EXPECT_EQ(meter.GetNeedleAngle(), 0.0);
  EXPECT_EQ(meter.GetUnits(), "km/h");
  EXPECT_EQ(meter.GetColorNeedle(), 0x00FF0000u);
}

TEST(Meter, CreatedAtTheControlsPlaceAndHidden) {
  MeterWindow w(wxRect(40, 30, 188, 188));
  EXPECT_EQ(w.meter->GetId(), 1026);
  EXPECT_EQ(w.meter->GetParent(), w.panel);
  EXPECT_EQ(w.meter->GetPosition(), wxPoint(40, 30));
  EXPECT_EQ(w.meter->GetClientSize(), wxSize(188, 188));
  w.meter->Hide();
  w.frame->Show();
  vantor::test::PumpEvents(100);
  EXPECT_FALSE(w.meter->IsShown());
  EXPECT_EQ(w.meter->GetPaintCount(), 0);
}

TEST(Meter, NeedlePixelsLieWhereThePolygonSays) {
  MeterWindow w(wxRect(10, 10, 200, 100));
  ASSERT_TRUE(w.ShowAndPaint());
  const vantor::MeterLayout l = w.meter->GetLayout();
  EXPECT_EQ(l.nRadius, 85);
  EXPECT_EQ(l.ptCenter, (MeterPoint{100, 58}));
  const wxImage img = w.Capture();
  ASSERT_TRUE(img.IsOk());
  // Kept for a look by eye.
  img.SaveFile(VANTOR_BINARY_DIR "/meter_default.png", wxBITMAP_TYPE_PNG);
  ExpectNeedleWherePolygonSays(
      img, vantor::ComputeNeedlePolygon(w.meter->GetNeedleAngle(), l.ptCenter, 85, 4));
  // Pointing left and slightly up: nothing red right of the tail.
  for (int y = 0; y < 100; ++y)
    for (int x = 120; x < 200; ++x) ASSERT_FALSE(IsNeedleRed(img, x, y));
}

TEST(Meter, SetNeedleMovesTheNeedleToTheScaleEnd) {
  MeterWindow w(wxRect(10, 10, 200, 100));
  ASSERT_TRUE(w.ShowAndPaint());
  const int before = w.meter->GetPaintCount();
  w.meter->SetNeedle(1000.0);  // above the maximum: lower right
  ASSERT_TRUE(vantor::test::PumpUntil([&] { return w.meter->GetPaintCount() > before; }, 3000));
  const wxImage img = w.Capture();
  img.SaveFile(VANTOR_BINARY_DIR "/meter_max.png", wxBITMAP_TYPE_PNG);
  ExpectNeedleWherePolygonSays(img, vantor::ComputeNeedlePolygon(-45.0, {100, 58}, 85, 4));
  for (int y = 0; y < 100; ++y)
    for (int x = 0; x < 80; ++x) ASSERT_FALSE(IsNeedleRed(img, x, y));
}

// The steps the paint leaves out, drawn by an owner on a DC of its own.
TEST(Meter, FrameHubAndValueTextOnAnOwnersDc) {
  MeterWindow w(wxRect(10, 10, 200, 100));
  ASSERT_TRUE(w.ShowAndPaint());  // the geometry comes from the paint
  wxBitmap bmp(200, 100, 24);
  wxMemoryDC dc(bmp);
  dc.SetBackground(*wxWHITE_BRUSH);
  dc.Clear();
  const wxRect all(0, 0, 200, 100);
  w.meter->DrawFrame(&dc, &all);
  w.meter->DrawHub(&dc);
  w.meter->SetNeedle(12.345);
  w.meter->SetValueDecimals(2);
  w.meter->DrawValueText(&dc);
  dc.SelectObject(wxNullBitmap);
  const wxImage img = bmp.ConvertToImage();
  const auto rgb = [&](int x, int y) {
    return (img.GetRed(x, y) << 16) | (img.GetGreen(x, y) << 8) | img.GetBlue(x, y);
  };
  EXPECT_EQ(rgb(150, 20), 0xFF00FF);  // the face: magenta key colour
  EXPECT_EQ(rgb(100, 58), 0xFFFFFF);  // hub centre white ...
  // ... its rim (radius 3) black, blended a little with the face by the
  // smoothing of the drawing library.
  EXPECT_LT(img.GetRed(103, 58) + img.GetGreen(103, 58) + img.GetBlue(103, 58), 60);
  // The units and value text: dark glyph pixels in the value rectangle.
  const wxRect text = w.meter->GetValueRect();
  int ink = 0;
  for (int y = text.GetTop(); y < std::min(100, text.GetBottom() + text.GetHeight()); ++y)
    for (int x = 0; x < 200; ++x)
      if (img.GetRed(x, y) < 100 && img.GetGreen(x, y) < 100) ++ink;
  EXPECT_GT(ink, 10);
}
