#include "gps/LogGraph.h"

#include <wx/brush.h>
#include <wx/image.h>
#include <wx/pen.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <new>

namespace {

// The picture is drawn into plain RGB rows rather than through a DC: a
// memory DC on GTK 3 draws through cairo with smoothing, which would smear
// one-pixel curves over two rows and blend their colours.
class Raster {
 public:
  Raster(unsigned char* rgb, int w, int h) : rgb_(rgb), w_(w), h_(h) {}

  void Fill(const wxColour& c) {
    for (int i = 0; i < w_ * h_; ++i) Put(i, c);
  }

  // A line from (x0, y0) up to, not including, (x1, y1): the end point is the
  // start of the next segment of a polyline.
  void LineTo(int x0, int y0, int x1, int y1, const wxColour& c) {
    const int dx = std::abs(x1 - x0), sx = x0 < x1 ? 1 : -1;
    const int dy = -std::abs(y1 - y0), sy = y0 < y1 ? 1 : -1;
    int err = dx + dy;
    while (x0 != x1 || y0 != y1) {
      Plot(x0, y0, c);
      const int e2 = 2 * err;
      if (e2 >= dy) err += dy, x0 += sx;
      if (e2 <= dx) err += dx, y0 += sy;
    }
  }

 private:
  void Plot(int x, int y, const wxColour& c) {
    if (x >= 0 && x < w_ && y >= 0 && y < h_) Put(y * w_ + x, c);
  }
  void Put(int i, const wxColour& c) {
    rgb_[3 * i] = c.Red();
    rgb_[3 * i + 1] = c.Green();
    rgb_[3 * i + 2] = c.Blue();
  }
  unsigned char* rgb_;
  int w_, h_;
};

// Offset of a value from its baseline, kept within int range however wild
// the log's numbers are.
int Offset(double scale, double average) {
  const double v = std::trunc(scale * average);
  if (!(v > -1e6)) return v != v ? 0 : -1000000;
  return v > 1e6 ? 1000000 : static_cast<int>(v);
}

}  // namespace

void CLogGraph::Clear() {
  m_pdAverage1.clear();
  m_pdAverage2.clear();
  m_pdAverage3.clear();
  m_bitmapGraph = wxBitmap();
  m_nPoints = 0;
  m_nPerColumn = 1;
  m_dScale = 1.0;
}

BOOL CLogGraph::Build(const GpsRecord* pRecords, int nCount, wxRect* pRect) {
  Clear();
  if (!pRecords || nCount <= 0 || !pRect || pRect->width <= 0 || pRect->height <= 0) return FALSE;
  const int w = pRect->width, h = pRect->height, n = nCount;

  m_nPerColumn = n / w;
  if (m_nPerColumn < 1) m_nPerColumn = 1;
  int columns = n / m_nPerColumn;
  if (columns > w) {
    m_nPerColumn += 1;
    columns = w;
  }

  try {
    m_pdAverage1.assign(columns, 0.0);
    m_pdAverage2.assign(columns, 0.0);
    m_pdAverage3.assign(columns, 0.0);
  } catch (const std::bad_alloc&) {
    Clear();
    return FALSE;
  }

  double max = 0.0;
  int r = 0;
  for (int i = 0; i < columns; ++i) {
    double s1 = 0, s2 = 0, s3 = 0;
    // Records past the parsed ones count as zeros (the last columns of a
    // raised m_nPerColumn reach past the log).
    for (int k = 0; k < m_nPerColumn; ++k, ++r) {
      if (r >= n) continue;
      s1 += pRecords[r].nGraph1;
      s2 += pRecords[r].nGraph2;
      s3 += pRecords[r].nGraph3;
    }
    m_pdAverage1[i] = s1 / m_nPerColumn;
    m_pdAverage2[i] = s2 / m_nPerColumn;
    m_pdAverage3[i] = s3 / m_nPerColumn;
    max = std::max({max, m_pdAverage1[i], m_pdAverage2[i], m_pdAverage3[i]});
  }

  const int band = h / 3;
  // With nothing above zero there is no scale to take: the curves lie flat
  // on their baselines.
  m_dScale = max > 0.0 ? (band - 2) / max : 0.0;

  wxImage image(w, h, false);
  if (!image.IsOk()) {
    Clear();
    return FALSE;
  }
  Raster raster(image.GetData(), w, h);
  raster.Fill(kBackground);

  m_rect = *pRect;
  pRect->SetPosition(wxPoint(0, 0));
  m_nPoints = n / m_nPerColumn;
  if (m_nPoints > columns) m_nPoints = columns;

  const int baselines[3] = {band - 2, 2 * (band - 2) + 2, 3 * (band - 2) + 4};
  const std::vector<double>* averages[3] = {&m_pdAverage1, &m_pdAverage2, &m_pdAverage3};
  const wxColour* colours[3] = {&kCurve1, &kCurve2, &kCurve3};
  for (int c = 0; c < 3; ++c) {
    int x = 0, y = baselines[c];
    for (int i = 0; i < m_nPoints; ++i) {
      const int ny = baselines[c] - Offset(m_dScale, (*averages[c])[i]);
      raster.LineTo(x, y, i, ny, *colours[c]);
      x = i, y = ny;
    }
    // The polyline leaves out its end point; the last column is still drawn.
    if (m_nPoints > 0) raster.LineTo(x, y, x + 1, y, *colours[c]);
  }

  m_bitmapGraph = wxBitmap(image);
  if (!m_bitmapGraph.IsOk()) {
    Clear();
    return FALSE;
  }
  return TRUE;
}

void CLogGraph::DrawCursor(wxDC* pDC, double dFraction) const {
  if (!pDC || !m_bitmapGraph.IsOk()) return;
  pDC->DrawBitmap(m_bitmapGraph, m_rect.GetTopLeft(), false);
  if (!std::isfinite(dFraction)) dFraction = 0.0;
  dFraction = std::clamp(dFraction, 0.0, 1.0);
  const int x = static_cast<int>(m_nPoints * dFraction);
  // A one-pixel filled rectangle, not a line: it lands on whole pixels under
  // cairo as it did on the original device context.
  const wxPen oldPen = pDC->GetPen();
  const wxBrush oldBrush = pDC->GetBrush();
  pDC->SetPen(*wxTRANSPARENT_PEN);
  pDC->SetBrush(wxBrush(kCursor));
  pDC->DrawRectangle(m_rect.x + x, m_rect.y, 1, m_rect.height);
  pDC->SetPen(oldPen);
  pDC->SetBrush(oldBrush);
}
