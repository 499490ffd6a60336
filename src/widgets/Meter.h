#pragma once
// CMeter: an analog gauge whose needle follows a value between a minimum and
// a maximum. A plain child window; the owner creates it at the place of the
// control it stands for. Only the needle is painted; the face, hub and value
// text steps are there for owners that draw them on a DC of their own.
#include <wx/bitmap.h>
#include <wx/dcmemory.h>
#include <wx/font.h>
#include <wx/region.h>
#include <wx/window.h>

#include "widgets/ImageFilter.h"  // COLORREF
#include "widgets/MeterGeometry.h"

class CMeter : public wxWindow {
 public:
  CMeter();
  CMeter(wxWindow* parent, int id, const wxRect& rect);
  ~CMeter() override;

  // Creates the window as a child of `parent` at `rect` with control ID `id`.
  bool Create(wxWindow* parent, int id, const wxRect& rect);

  void SetNeedle(double value);
  void SetRange(double min, double max);
  void SetAngleRange(int start, int end);
  void SetUnits(const wxString& units);
  void SetValueDecimals(int n);
  void SetColorNeedle(COLORREF colour);

  void DrawNeedle(wxDC* pDC);
  void DrawHub(wxDC* pDC);
  void DrawValueText(wxDC* pDC);
  void DrawFrame(wxDC* pDC, const wxRect* pRect);

  double GetNeedle() const { return m_dCurrentValue; }
  double GetMinValue() const { return m_dMinValue; }
  double GetMaxValue() const { return m_dMaxValue; }
  int GetStartAngle() const { return m_nStartAngle; }
  int GetEndAngle() const { return m_nEndAngle; }
  const wxString& GetUnits() const { return m_strUnits; }
  int GetValueDecimals() const { return m_nValueDecimals; }
  COLORREF GetColorNeedle() const { return m_colorNeedle; }
  // The geometry of the last paint.
  vantor::MeterLayout GetLayout() const { return {m_nRadius, m_ptCenter, m_nHubRadius}; }
  // Where the value text goes (see DrawValueText).
  const wxRect& GetValueRect() const { return m_rectValue; }
  // Needle angle for the current settings.
  double GetNeedleAngle() const;
  // Times the window was painted; lets a test wait for a repaint.
  int GetPaintCount() const { return m_nPaintCount; }

 private:
  void ReconstructControl();
  void UpdateGeometry();
  void OnPaint(wxPaintEvent& event);
  void OnSize(wxSizeEvent& event);

  wxString m_strUnits = "Volts";
  int m_nValueDecimals = 1;
  COLORREF m_colorNeedle = 0x000000FFu;
  double m_dCurrentValue = 50.0;
  double m_dMaxValue = 280.0;
  double m_dMinValue = 0.0;
  int m_nStartAngle = 225;
  int m_nEndAngle = 315;
  int m_nHubRadius = 0;
  wxRect m_rectCtrl;
  wxRect m_rectValue;
  wxRegion m_rgnClip;  // empty: the needle is filled without clipping
  wxBitmap m_bitmapBackground;
  wxMemoryDC m_dcBackground;
  vantor::MeterPoint m_ptCenter;
  wxFont m_fontValue;
  COLORREF m_colorHighlight = 0x00FFFFFFu;
  COLORREF m_colorShadow = 0x00808080u;
  COLORREF m_colorFace = 0x00FF00FFu;
  int m_nRadius = 0;
  int m_nPaintCount = 0;

  wxDECLARE_EVENT_TABLE();
};
