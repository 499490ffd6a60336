#include "widgets/MeterGeometry.h"

#include <algorithm>
#include <cmath>

namespace vantor {

MeterLayout ComputeMeterLayout(const MeterRect& rect) {
  MeterLayout l;
  const int width = rect.right - rect.left;
  const int height = rect.bottom - rect.top;
  l.nRadius = std::max(width, height) * 9 / 21;
  l.ptCenter.x = (rect.left + rect.right) / 2;
  l.ptCenter.y = (rect.top + rect.bottom) / 2 + l.nRadius / 10;
  l.nHubRadius = l.nRadius / 20;
  return l;
}

double MeterNeedleAngle(double value, double minValue, double maxValue, int startAngle,
                        int endAngle) {
  const double sweep = startAngle + 360 - endAngle;
  double theta = startAngle - sweep * (value - minValue) / (maxValue - minValue);
  if (theta >= startAngle) theta = startAngle;
  // Written as "unless greater" so that a NaN (empty range, value at its
  // minimum) also lands on the end of the scale.
  if (!(theta > endAngle - 360)) theta = endAngle - 360;
  return theta;
}

NeedlePolygon ComputeNeedlePolygon(double theta, MeterPoint center, int nRadius, int nHubRadius) {
  const double factor = std::atan(1.0) / 45.0;
  const double a = theta * factor;
  const double sn = std::sin(a);
  const double cs = std::cos(a);
  const double L = 10.0 * nHubRadius;
  const double R = nRadius;
  const int cx = center.x;
  const int cy = center.y;
  const auto tr = [](double v) { return static_cast<int>(std::trunc(v)); };
  const auto rd = [](double v) { return static_cast<int>(std::round(v)); };

  NeedlePolygon p;
  p.pt[0] = {cx - tr(L * sn / 8), cy - tr(L * cs / 8)};
  p.pt[1] = {rd(cx + 0.95 * R * cs), rd(cy - 0.95 * R * sn)};
  p.pt[2] = {cx + tr(L * sn / 8), cy + tr(L * cs / 8)};
  p.pt[3] = {rd(cx - R * cs * 0.16666666666666666), rd(cy + R * sn * 0.16666666666666666)};
  p.bShadowThroughP0 = theta > 90;
  return p;
}

std::vector<HubRing> ComputeHubRings(int nHubRadius) {
  std::vector<HubRing> rings;
  const int p = nHubRadius;
  for (int n = (3 * p) / 4; n >= 0; --n) {
    // A hub radius of 0 (a tiny control) leaves one centre dot; 0/0 would be
    // undefined, so it is simply white.
    const double g = p > 0 ? 255.0 - n * 1020.0 / (3.0 * p) : 255.0;
    const int gi = static_cast<int>(std::trunc(g));
    rings.push_back({n, static_cast<unsigned char>(gi & 0xFF)});
  }
  return rings;
}

}  // namespace vantor
