#pragma once
// CArrowSpin: a small horizontal spin control (a left and a right arrow) that
// fits places of a few pixels, where the desktop's spin button would not. It
// offers the calls of wxSpinButton the program uses and sends wxEVT_SPIN,
// wxEVT_SPIN_UP / wxEVT_SPIN_DOWN with its id when the value changes.
#include <wx/control.h>
#include <wx/spinbutt.h>

class CArrowSpin : public wxControl {
 public:
  CArrowSpin() = default;
  CArrowSpin(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size);
  bool Create(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size);

  void SetRange(int minVal, int maxVal);
  int GetMin() const { return m_min; }
  int GetMax() const { return m_max; }
  // Clamped to the range; sends no event.
  void SetValue(int value);
  int GetValue() const { return m_value; }

  // One step up (+1) or down (-1), as a click on an arrow does; the value
  // stays within the range. Sends the events when the value changed.
  void Step(int direction);

 private:
  void OnPaint(wxPaintEvent& event);
  void OnLeftDown(wxMouseEvent& event);
  void OnKeyDown(wxKeyEvent& event);

  int m_min = 0, m_max = 100, m_value = 0;

  wxDECLARE_DYNAMIC_CLASS(CArrowSpin);
  wxDECLARE_EVENT_TABLE();
};
