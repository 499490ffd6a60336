#pragma once
// Window-free geometry of the analog meter: everything the needle and hub
// drawing needs, computed from the client rectangle and the meter's settings.
#include <array>
#include <vector>

namespace vantor {

struct MeterPoint {
  int x = 0;
  int y = 0;
  bool operator==(const MeterPoint&) const = default;
};

// Client rectangle in the right/bottom-exclusive convention (right = left + width).
struct MeterRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

struct MeterLayout {
  int nRadius = 0;
  MeterPoint ptCenter;
  int nHubRadius = 0;
};

// Radius, pivot and hub radius of the scale in `rect` (integer arithmetic).
MeterLayout ComputeMeterLayout(const MeterRect& rect);

// Needle angle in degrees (counter-clockwise from 3 o'clock) for `value`.
// Values outside the range, and an empty range, pin the needle to a scale end.
double MeterNeedleAngle(double value, double minValue, double maxValue, int startAngle,
                        int endAngle);

struct NeedlePolygon {
  // P0 and P2 beside the pivot, P1 the tip, P3 the tail.
  std::array<MeterPoint, 4> pt;
  // True when the needle points into the left half (θ > 90): the shadow edge
  // then runs through P0, otherwise through P2.
  bool bShadowThroughP0 = false;

  const MeterPoint& Tip() const { return pt[1]; }
  const MeterPoint& Tail() const { return pt[3]; }
  const MeterPoint& ShadowSide() const { return bShadowThroughP0 ? pt[0] : pt[2]; }
  const MeterPoint& HighlightSide() const { return bShadowThroughP0 ? pt[2] : pt[0]; }
};

// The needle's four points for angle `theta` (degrees) about `center`.
NeedlePolygon ComputeNeedlePolygon(double theta, MeterPoint center, int nRadius, int nHubRadius);

struct HubRing {
  int nRadius = 0;
  unsigned char grey = 0;  // the ring is drawn in RGB(grey, grey, grey)
};

// The hub's rings, outermost first: dark at the rim, white at the centre.
std::vector<HubRing> ComputeHubRings(int nHubRadius);

}  // namespace vantor
