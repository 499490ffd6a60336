#pragma once
// The data burned into an exported movie: date and time, speed, position, the
// speed gauge picture and a small map of the route. Drawn with cairo into
// small panels that the video path blends over each frame, so nothing here
// needs a window or a media framework. The gauge is the window's own
// picture, chosen by the same rule (SpeedDialResourceId).
#include <cairo.h>

#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "gps/Units.h"

namespace vantor {

struct OverlayChoice {
  bool time = true;
  bool speed = true;
  bool position = true;
  bool gauge = false;
  bool route = false;
  // Not drawn by the painter: the clip's second camera, shown small in the
  // top left corner of the picture by the renderer.
  bool inset = false;
};

// "time,speed,position,gauge,route,inset" in any order and subset; "none" for no
// overlay. False (and `choice` untouched) for an unknown or empty item.
bool ParseOverlayChoice(std::string_view text, OverlayChoice& choice);

// What one frame shows. Texts are empty where the GPS has nothing.
struct OverlayValues {
  std::string time;      // "2021-09-18 17:42:05 CEST"
  std::string speed;     // "57 km/h"
  std::string position;  // "31.23052° N  121.47380° E"
  int speedInUnit = -1;  // for the gauge picture; negative: none
  bool hasPosition = false;
  double latitude = 0.0;
  double longitude = 0.0;

  bool operator==(const OverlayValues&) const = default;
};

struct CairoSurfaceFree {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
using CairoSurface = std::unique_ptr<cairo_surface_t, CairoSurfaceFree>;

// A piece of the overlay: premultiplied ARGB32 pixels placed at x, y of the frame.
struct OverlayPanel {
  int x = 0;
  int y = 0;
  CairoSurface surface;
};

class OverlayPainter {
 public:
  // `route`: the drive's positions (latitude, longitude) for the inset.
  OverlayPainter(const OverlayChoice& choice, SpeedUnit unit, int frameWidth, int frameHeight,
                 std::vector<std::pair<double, double>> route = {});

  // Redraws the panels for `values`; false when they already show them (the
  // values change about once a second, frames thirty times).
  bool Update(const OverlayValues& values);
  const std::vector<OverlayPanel>& Panels() const { return m_panels; }

  // Where the text block sits, for callers that must keep clear of it.
  static int Margin(int frameHeight);

 private:
  void PaintText(const OverlayValues& v);
  void PaintGauge(const OverlayValues& v);
  void PaintRoute(const OverlayValues& v);
  cairo_surface_t* GaugePicture(int id);

  OverlayChoice m_choice;
  SpeedUnit m_unit;
  int m_width, m_height;
  double m_scale;  // 1 at 720 lines
  std::vector<std::pair<double, double>> m_route;
  std::vector<OverlayPanel> m_panels;
  std::map<int, CairoSurface> m_gauges;  // pictures read once each
  OverlayValues m_shown;
  bool m_painted = false;
};

}  // namespace vantor
