#pragma once
// The log graph: the whole log's three graph channels stacked in three bands
// on a dark background, with a green cursor at the movie position. The
// picture is drawn once per log into a bitmap; the main window's paint
// handler copies it into the graph's rectangle through DrawCursor.
#include <wx/bitmap.h>
#include <wx/colour.h>
#include <wx/dc.h>
#include <wx/gdicmn.h>

#include <vector>

#include "common/Result.h"
#include "gps/GpsRecord.h"

class CLogGraph {
 public:
  static inline const wxColour kBackground{0x21, 0x21, 0x21};
  static inline const wxColour kCurve1{0xFF, 0x00, 0x00};
  static inline const wxColour kCurve2{0xFF, 0xFF, 0x00};
  static inline const wxColour kCurve3{0x00, 0xFF, 0xFF};
  static inline const wxColour kCursor{0x00, 0xFF, 0x00};

  CLogGraph() = default;
  virtual ~CLogGraph() = default;
  CLogGraph(const CLogGraph&) = delete;
  CLogGraph& operator=(const CLogGraph&) = delete;

  // Draws the picture of records [0, nCount) for the rectangle *pRect (main
  // window client coordinates), which is kept and then moved to the origin.
  // Columns past the parsed records read as zeros. FALSE (and an empty graph)
  // for no records, an empty rectangle or no memory.
  BOOL Build(const GpsRecord* pRecords, int nCount, wxRect* pRect);

  // Copies the picture into its rectangle on `pDC` and draws the cursor at
  // dFraction (0..1) of the drawn columns. Nothing before the first Build.
  void DrawCursor(wxDC* pDC, double dFraction) const;

  // Back to the empty graph (the movie has no log).
  void Clear();

  bool IsBuilt() const { return m_bitmapGraph.IsOk(); }
  const wxRect& GetRect() const { return m_rect; }
  const wxBitmap& GetBitmap() const { return m_bitmapGraph; }
  int GetPoints() const { return m_nPoints; }
  int GetPerColumn() const { return m_nPerColumn; }
  int GetColumns() const { return static_cast<int>(m_pdAverage1.size()); }
  double GetScale() const { return m_dScale; }

 private:
  wxRect m_rect;
  int m_nPoints = 0;
  int m_nPerColumn = 1;
  double m_dScale = 1.0;
  std::vector<double> m_pdAverage1, m_pdAverage2, m_pdAverage3;
  wxBitmap m_bitmapGraph;
};
