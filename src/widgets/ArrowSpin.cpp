#include "widgets/ArrowSpin.h"

#include <wx/dcbuffer.h>

#include <algorithm>

wxIMPLEMENT_DYNAMIC_CLASS(CArrowSpin, wxControl);

// clang-format off
wxBEGIN_EVENT_TABLE(CArrowSpin, wxControl)
  EVT_PAINT(CArrowSpin::OnPaint)
  EVT_LEFT_DOWN(CArrowSpin::OnLeftDown)
  EVT_LEFT_DCLICK(CArrowSpin::OnLeftDown)
  EVT_KEY_DOWN(CArrowSpin::OnKeyDown)
wxEND_EVENT_TABLE();
// clang-format on

CArrowSpin::CArrowSpin(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size) {
  Create(parent, id, pos, size);
}

bool CArrowSpin::Create(wxWindow* parent, wxWindowID id, const wxPoint& pos, const wxSize& size) {
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  return wxControl::Create(parent, id, pos, size, wxBORDER_NONE, wxDefaultValidator, "spin");
}

void CArrowSpin::SetRange(int minVal, int maxVal) {
  m_min = std::min(minVal, maxVal);
  m_max = std::max(minVal, maxVal);
  m_value = std::clamp(m_value, m_min, m_max);
  Refresh(false);
}

void CArrowSpin::SetValue(int value) {
  m_value = std::clamp(value, m_min, m_max);
  Refresh(false);
}

void CArrowSpin::Step(int direction) {
  const int next = std::clamp(m_value + (direction > 0 ? 1 : -1), m_min, m_max);
  if (next == m_value) return;
  m_value = next;
  Refresh(false);
  wxSpinEvent step(direction > 0 ? wxEVT_SPIN_UP : wxEVT_SPIN_DOWN, GetId());
  step.SetEventObject(this);
  step.SetPosition(m_value);
  ProcessWindowEvent(step);
  wxSpinEvent changed(wxEVT_SPIN, GetId());
  changed.SetEventObject(this);
  changed.SetPosition(m_value);
  ProcessWindowEvent(changed);
}

void CArrowSpin::OnPaint(wxPaintEvent&) {
  wxAutoBufferedPaintDC dc(this);
  const wxSize sz = GetClientSize();
  const wxColour back = GetParent() ? GetParent()->GetBackgroundColour() : GetBackgroundColour();
  dc.SetBackground(wxBrush(back));
  dc.Clear();
  const wxColour fg = GetForegroundColour();
  const int half = sz.x / 2;
  const int cy = sz.y / 2;
  const int h = std::max(2, std::min(sz.y / 3, half / 2));
  dc.SetPen(*wxTRANSPARENT_PEN);
  auto arrow = [&](int cx, int dir, bool enabled) {
    dc.SetBrush(wxBrush(enabled && IsEnabled() ? fg : fg.ChangeLightness(50)));
    const wxPoint pts[3] = {wxPoint(cx - dir * h / 2, cy - h), wxPoint(cx + dir * (h + 1) / 2, cy),
                            wxPoint(cx - dir * h / 2, cy + h)};
    dc.DrawPolygon(3, pts);
  };
  arrow(half / 2, -1, m_value > m_min);
  arrow(half + half / 2, 1, m_value < m_max);
}

void CArrowSpin::OnLeftDown(wxMouseEvent& event) {
  if (!IsEnabled()) return;
  Step(event.GetX() >= GetClientSize().x / 2 ? 1 : -1);
}

void CArrowSpin::OnKeyDown(wxKeyEvent& event) {
  switch (event.GetKeyCode()) {
    case WXK_RIGHT:
    case WXK_UP:
      Step(1);
      break;
    case WXK_LEFT:
    case WXK_DOWN:
      Step(-1);
      break;
    default:
      event.Skip();
  }
}
