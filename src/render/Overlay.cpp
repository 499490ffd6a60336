#include "render/Overlay.h"

#include <algorithm>
#include <cmath>

#include "app/SpeedDialRule.h"
#include "common/DataPaths.h"

namespace vantor {

bool ParseOverlayChoice(std::string_view text, OverlayChoice& choice) {
  if (text == "none") {
    choice = OverlayChoice{false, false, false, false, false, false};
    return true;
  }
  OverlayChoice c{false, false, false, false, false, false};
  while (true) {
    const std::size_t comma = text.find(',');
    const std::string_view item = text.substr(0, comma);
    if (item == "time")
      c.time = true;
    else if (item == "speed")
      c.speed = true;
    else if (item == "position")
      c.position = true;
    else if (item == "gauge")
      c.gauge = true;
    else if (item == "route")
      c.route = true;
    else if (item == "inset")
      c.inset = true;
    else
      return false;
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  choice = c;
  return true;
}

namespace {

CairoSurface NewSurface(int w, int h) {
  return CairoSurface(
      cairo_image_surface_create(CAIRO_FORMAT_ARGB32, std::max(w, 1), std::max(h, 1)));
}

// A dark plate under light text: readable over sky and tarmac alike.
void Plate(cairo_t* cr, double w, double h, double r) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, w - r, r, r, -M_PI / 2, 0);
  cairo_arc(cr, w - r, h - r, r, 0, M_PI / 2);
  cairo_arc(cr, r, h - r, r, M_PI / 2, M_PI);
  cairo_arc(cr, r, r, r, M_PI, 3 * M_PI / 2);
  cairo_close_path(cr);
  cairo_set_source_rgba(cr, 0, 0, 0, 0.55);
  cairo_fill(cr);
}

}  // namespace

OverlayPainter::OverlayPainter(const OverlayChoice& choice, SpeedUnit unit, int frameWidth,
                               int frameHeight, std::vector<std::pair<double, double>> route)
    : m_choice(choice),
      m_unit(unit),
      m_width(frameWidth),
      m_height(frameHeight),
      m_scale(frameHeight / 720.0),
      m_route(std::move(route)) {}

int OverlayPainter::Margin(int frameHeight) {
  return std::max(4, frameHeight / 45);
}

bool OverlayPainter::Update(const OverlayValues& values) {
  if (m_painted && values == m_shown) return false;
  m_panels.clear();
  PaintText(values);
  if (m_choice.gauge) PaintGauge(values);
  if (m_choice.route) PaintRoute(values);
  m_shown = values;
  m_painted = true;
  return true;
}

void OverlayPainter::PaintText(const OverlayValues& v) {
  std::vector<const std::string*> lines;
  if (m_choice.time && !v.time.empty()) lines.push_back(&v.time);
  if (m_choice.speed && !v.speed.empty()) lines.push_back(&v.speed);
  if (m_choice.position && !v.position.empty()) lines.push_back(&v.position);
  if (lines.empty()) return;

  const double size = std::max(10.0, 26.0 * m_scale);
  const double pad = size * 0.45;
  const double lineHeight = size * 1.3;
  // Measured on a scratch surface first: the plate is as wide as the longest line.
  CairoSurface scratch = NewSurface(1, 1);
  cairo_t* cr = cairo_create(scratch.get());
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
  cairo_set_font_size(cr, size);
  double widest = 0;
  for (const std::string* line : lines) {
    cairo_text_extents_t ext;
    cairo_text_extents(cr, line->c_str(), &ext);
    widest = std::max(widest, ext.x_advance);
  }
  cairo_destroy(cr);

  const int w = std::min(m_width, static_cast<int>(std::ceil(widest + 2 * pad)));
  const int h = std::min(m_height, static_cast<int>(std::ceil(lines.size() * lineHeight + pad)));
  OverlayPanel panel;
  panel.surface = NewSurface(w, h);
  panel.x = Margin(m_height);
  panel.y = std::max(0, m_height - Margin(m_height) - h);
  cr = cairo_create(panel.surface.get());
  Plate(cr, w, h, pad);
  cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
  cairo_set_font_size(cr, size);
  cairo_set_source_rgb(cr, 1, 1, 1);
  double y = pad * 0.5 + size;
  for (const std::string* line : lines) {
    cairo_move_to(cr, pad, y);
    cairo_show_text(cr, line->c_str());
    y += lineHeight;
  }
  cairo_destroy(cr);
  cairo_surface_flush(panel.surface.get());
  m_panels.push_back(std::move(panel));
}

cairo_surface_t* OverlayPainter::GaugePicture(int id) {
  auto it = m_gauges.find(id);
  if (it == m_gauges.end()) {
    const std::string path = FindDataFile("bitmaps/" + std::to_string(id) + ".png");
    CairoSurface s;
    if (!path.empty()) {
      s.reset(cairo_image_surface_create_from_png(path.c_str()));
      if (cairo_surface_status(s.get()) != CAIRO_STATUS_SUCCESS) s.reset();
    }
    it = m_gauges.emplace(id, std::move(s)).first;
  }
  return it->second.get();
}

void OverlayPainter::PaintGauge(const OverlayValues& v) {
  // No speed known shows the zero picture, as the window does without a log.
  const int id = SpeedDialResourceId(std::max(v.speedInUnit, 0), m_unit);
  cairo_surface_t* picture = id < 0 ? nullptr : GaugePicture(id);
  if (!picture) return;
  const double s = m_scale;
  const int w = static_cast<int>(kSpeedDialWidth * s);
  const int h = static_cast<int>(kSpeedDialHeight * s);
  if (w < 1 || h < 1 || w > m_width || h > m_height) return;
  OverlayPanel panel;
  panel.surface = NewSurface(w, h);
  panel.x = m_width - Margin(m_height) - w;
  panel.y = m_height - Margin(m_height) - h;
  cairo_t* cr = cairo_create(panel.surface.get());
  cairo_scale(cr, static_cast<double>(w) / cairo_image_surface_get_width(picture),
              static_cast<double>(h) / cairo_image_surface_get_height(picture));
  cairo_set_source_surface(cr, picture, 0, 0);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_flush(panel.surface.get());
  m_panels.push_back(std::move(panel));
}

void OverlayPainter::PaintRoute(const OverlayValues& v) {
  if (m_route.size() < 2) return;
  double minLat = 90, maxLat = -90, minLon = 180, maxLon = -180;
  for (const auto& [lat, lon] : m_route) {
    minLat = std::min(minLat, lat), maxLat = std::max(maxLat, lat);
    minLon = std::min(minLon, lon), maxLon = std::max(maxLon, lon);
  }
  const int side = std::min({static_cast<int>(200 * m_scale), m_width / 3, m_height / 3});
  if (side < 16) return;
  // Longitude degrees shrink towards the poles; the inset keeps the map's shape.
  const double kx = std::cos((minLat + maxLat) / 2 * M_PI / 180);
  const double spanX = std::max((maxLon - minLon) * kx, 1e-6);
  const double spanY = std::max(maxLat - minLat, 1e-6);
  const double inner = side * 0.84;
  const double k = inner / std::max(spanX, spanY);
  const double ox = (side - spanX * k) / 2, oy = (side - spanY * k) / 2;
  auto X = [&](double lon) { return ox + (lon - minLon) * kx * k; };
  auto Y = [&](double lat) { return side - oy - (lat - minLat) * k; };

  OverlayPanel panel;
  panel.surface = NewSurface(side, side);
  panel.x = m_width - Margin(m_height) - side;
  panel.y = Margin(m_height);
  cairo_t* cr = cairo_create(panel.surface.get());
  Plate(cr, side, side, side * 0.06);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_set_line_width(cr, std::max(1.5, 3 * m_scale));
  cairo_set_source_rgb(cr, 0.35, 0.75, 1.0);
  cairo_move_to(cr, X(m_route[0].second), Y(m_route[0].first));
  for (std::size_t i = 1; i < m_route.size(); ++i)
    cairo_line_to(cr, X(m_route[i].second), Y(m_route[i].first));
  cairo_stroke(cr);
  if (v.hasPosition) {
    cairo_arc(cr, X(v.longitude), Y(v.latitude), std::max(3.0, 7 * m_scale), 0, 2 * M_PI);
    cairo_set_source_rgb(cr, 1, 0.2, 0.15);
    cairo_fill_preserve(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_set_line_width(cr, std::max(1.0, 2 * m_scale));
    cairo_stroke(cr);
  }
  cairo_destroy(cr);
  cairo_surface_flush(panel.surface.get());
  m_panels.push_back(std::move(panel));
}

}  // namespace vantor
