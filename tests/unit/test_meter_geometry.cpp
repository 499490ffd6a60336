#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>

#include "widgets/MeterGeometry.h"

using vantor::ComputeHubRings;
using vantor::ComputeMeterLayout;
using vantor::ComputeNeedlePolygon;
using vantor::MeterNeedleAngle;
using vantor::MeterPoint;

namespace {

// Defaults of the control: 0..280 over 225 .. 315-360.
double DefaultAngle(double value) {
  return MeterNeedleAngle(value, 0.0, 280.0, 225, 315);
}

std::array<MeterPoint, 4> PolygonAt(double theta) {
  return ComputeNeedlePolygon(theta, {100, 58}, 85, 4).pt;
}

}  // namespace

TEST(MeterLayout, TwoHundredByHundredClient) {
  const vantor::MeterLayout l = ComputeMeterLayout({0, 0, 200, 100});
  EXPECT_EQ(l.nRadius, 85);  // 200 * 9 / 21 = 85.7, truncated
  EXPECT_EQ(l.ptCenter, (MeterPoint{100, 58}));
  EXPECT_EQ(l.nHubRadius, 4);
}

TEST(MeterLayout, UsesTheLargerSideAndTheRectanglesOrigin) {
  const vantor::MeterLayout tall = ComputeMeterLayout({0, 0, 100, 200});
  EXPECT_EQ(tall.nRadius, 85);
  EXPECT_EQ(tall.ptCenter, (MeterPoint{50, 108}));
  // The main window's control is 125 dialog units square, 187 pixels.
  const vantor::MeterLayout square = ComputeMeterLayout({10, 20, 197, 207});
  EXPECT_EQ(square.nRadius, 80);
  EXPECT_EQ(square.ptCenter, (MeterPoint{103, 121}));
  EXPECT_EQ(square.nHubRadius, 4);
  const vantor::MeterLayout empty = ComputeMeterLayout({0, 0, 0, 0});
  EXPECT_EQ(empty.nRadius, 0);
  EXPECT_EQ(empty.nHubRadius, 0);
}

TEST(MeterAngle, ValuesOutsideTheRangePinTheNeedleToTheScaleEnds) {
  EXPECT_EQ(DefaultAngle(-10.0), 225.0);
  EXPECT_EQ(DefaultAngle(0.0), 225.0);
  EXPECT_EQ(DefaultAngle(281.0), -45.0);
  EXPECT_EQ(DefaultAngle(280.0), -45.0);
  EXPECT_EQ(DefaultAngle(1e300), -45.0);
  EXPECT_NEAR(DefaultAngle(50.0), 176.7857142857, 1e-9);
  EXPECT_DOUBLE_EQ(DefaultAngle(140.0), 90.0);
}

TEST(MeterAngle, EmptyRangeStillGivesAScaleEnd) {
  EXPECT_EQ(MeterNeedleAngle(5.0, 5.0, 5.0, 225, 315), -45.0);  // 0/0: undefined
  EXPECT_EQ(MeterNeedleAngle(6.0, 5.0, 5.0, 225, 315), -45.0);
  EXPECT_EQ(MeterNeedleAngle(4.0, 5.0, 5.0, 225, 315), 225.0);
  EXPECT_EQ(MeterNeedleAngle(std::numeric_limits<double>::quiet_NaN(), 0, 280, 225, 315), -45.0);
}

TEST(MeterAngle, OtherAngleRanges) {
  // A half-circle scale from 9 o'clock over the top to 3 o'clock.
  EXPECT_DOUBLE_EQ(MeterNeedleAngle(50.0, 0.0, 100.0, 180, 360), 90.0);
  EXPECT_DOUBLE_EQ(MeterNeedleAngle(100.0, 0.0, 100.0, 180, 360), 0.0);
  // A reversed range sweeps the other way and clamps likewise.
  EXPECT_EQ(MeterNeedleAngle(0.0, 100.0, 0.0, 225, 315), -45.0);
  EXPECT_EQ(MeterNeedleAngle(100.0, 100.0, 0.0, 225, 315), 225.0);
}

TEST(MeterNeedle, DefaultValuePointsLeftWithTheLeftHalfBevel) {
  const vantor::NeedlePolygon p = ComputeNeedlePolygon(DefaultAngle(50.0), {100, 58}, 85, 4);
  // L*cs/8 = -4.99: truncated to -4, not rounded to -5.
  const std::array<MeterPoint, 4> expected{{{100, 62}, {19, 53}, {100, 54}, {114, 59}}};
  EXPECT_EQ(p.pt, expected);
  EXPECT_TRUE(p.bShadowThroughP0);
  EXPECT_EQ(p.ShadowSide(), (MeterPoint{100, 62}));
  EXPECT_EQ(p.HighlightSide(), (MeterPoint{100, 54}));
  EXPECT_EQ(p.Tip(), (MeterPoint{19, 53}));
  EXPECT_EQ(p.Tail(), (MeterPoint{114, 59}));
}

TEST(MeterNeedle, ScaleEnds) {
  const std::array<MeterPoint, 4> low{{{103, 61}, {43, 115}, {97, 55}, {110, 48}}};
  EXPECT_EQ(PolygonAt(225.0), low);
  const std::array<MeterPoint, 4> high{{{103, 55}, {157, 115}, {97, 61}, {90, 48}}};
  EXPECT_EQ(PolygonAt(-45.0), high);
  EXPECT_FALSE(ComputeNeedlePolygon(-45.0, {100, 58}, 85, 4).bShadowThroughP0);
}

TEST(MeterNeedle, StraightUpTakesTheRightHalfBevel) {
  const vantor::NeedlePolygon p = ComputeNeedlePolygon(90.0, {100, 58}, 85, 4);
  // L = 40: the side points lie L/8 = 5 pixels either side of the pivot.
  const std::array<MeterPoint, 4> expected{{{95, 58}, {100, -23}, {105, 58}, {100, 72}}};
  EXPECT_EQ(p.pt, expected);
  EXPECT_FALSE(p.bShadowThroughP0);
  EXPECT_EQ(p.ShadowSide(), (MeterPoint{105, 58}));
  EXPECT_TRUE(ComputeNeedlePolygon(90.0001, {100, 58}, 85, 4).bShadowThroughP0);
}

TEST(MeterHub, RingsFadeFromDarkRimToWhiteCentre) {
  const auto rings4 = ComputeHubRings(4);
  ASSERT_EQ(rings4.size(), 4u);  // n = 3, 2, 1, 0
  const int greys4[] = {0, 85, 170, 255};
  for (size_t i = 0; i < rings4.size(); ++i) {
    EXPECT_EQ(rings4[i].nRadius, 3 - static_cast<int>(i));
    EXPECT_EQ(rings4[i].grey, greys4[i]);
  }
  // Truncated, not rounded: 255 - 5 * 1020 / 21 = 12.14 and so on.
  const auto rings7 = ComputeHubRings(7);
  ASSERT_EQ(rings7.size(), 6u);
  const int greys7[] = {12, 60, 109, 157, 206, 255};
  for (size_t i = 0; i < rings7.size(); ++i) EXPECT_EQ(rings7[i].grey, greys7[i]);

  for (int p : {0, 1}) {
    const auto rings = ComputeHubRings(p);
    ASSERT_EQ(rings.size(), 1u);
    EXPECT_EQ(rings[0].nRadius, 0);
    EXPECT_EQ(rings[0].grey, 255);
  }
}
