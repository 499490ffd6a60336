#include "widgets/Meter.h"

#include <wx/dcclient.h>
#include <wx/settings.h>

#include <cstdio>

namespace {

wxColour ToColour(COLORREF c) {
  return wxColour(c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

COLORREF ToColorRef(const wxColour& c) {
  return vantor::MakeColorRef(c.Red(), c.Green(), c.Blue());
}

wxPoint ToPoint(const vantor::MeterPoint& p) {
  return wxPoint(p.x, p.y);
}

}  // namespace

wxBEGIN_EVENT_TABLE(CMeter, wxWindow) EVT_PAINT(CMeter::OnPaint) EVT_SIZE(CMeter::OnSize)
    wxEND_EVENT_TABLE()

        CMeter::CMeter() = default;

CMeter::CMeter(wxWindow* parent, int id, const wxRect& rect) {
  Create(parent, id, rect);
}

CMeter::~CMeter() {
  if (m_dcBackground.IsOk()) m_dcBackground.SelectObject(wxNullBitmap);
}

bool CMeter::Create(wxWindow* parent, int id, const wxRect& rect) {
  if (!wxWindow::Create(parent, id, rect.GetPosition(), rect.GetSize(),
                        wxBORDER_NONE | wxFULL_REPAINT_ON_RESIZE))
    return false;
  // OnPaint erases and draws everything itself (the needle must not leave
  // a trail when it moves).
  SetBackgroundStyle(wxBG_STYLE_PAINT);
  return true;
}

void CMeter::ReconstructControl() {
  if (m_bitmapBackground.IsOk() && m_dcBackground.IsOk()) {
    m_dcBackground.SelectObject(wxNullBitmap);
    m_bitmapBackground = wxBitmap();
  }
  if (GetHandle()) Refresh(true);
}

void CMeter::SetNeedle(double value) {
  m_dCurrentValue = value;
  if (GetHandle()) Refresh(true);  // the cached background stays
}

void CMeter::SetRange(double min, double max) {
  m_dMinValue = min;
  m_dMaxValue = max;
  ReconstructControl();
}

void CMeter::SetAngleRange(int start, int end) {
  m_nStartAngle = start;
  m_nEndAngle = end;
  ReconstructControl();
}

void CMeter::SetUnits(const wxString& units) {
  m_strUnits = units;
  ReconstructControl();
}

void CMeter::SetValueDecimals(int n) {
  m_nValueDecimals = n;
  ReconstructControl();
}

void CMeter::SetColorNeedle(COLORREF colour) {
  m_colorNeedle = colour;
  ReconstructControl();
}

double CMeter::GetNeedleAngle() const {
  return vantor::MeterNeedleAngle(m_dCurrentValue, m_dMinValue, m_dMaxValue, m_nStartAngle,
                                  m_nEndAngle);
}

void CMeter::OnSize(wxSizeEvent& event) {
  event.Skip();
  ReconstructControl();
}

void CMeter::UpdateGeometry() {
  m_rectCtrl = GetClientRect();
  const vantor::MeterLayout l = vantor::ComputeMeterLayout(
      {m_rectCtrl.GetLeft(), m_rectCtrl.GetTop(), m_rectCtrl.GetLeft() + m_rectCtrl.GetWidth(),
       m_rectCtrl.GetTop() + m_rectCtrl.GetHeight()});
  m_nRadius = l.nRadius;
  m_ptCenter = l.ptCenter;
  m_nHubRadius = l.nHubRadius;
  // The value text sits under the pivot, clear of the hub, one line (a fifth
  // of the radius) high.
  const int h = m_nRadius / 5;
  m_rectValue =
      wxRect(m_rectCtrl.GetLeft(), m_ptCenter.y + m_nRadius / 4, m_rectCtrl.GetWidth(), h);
}

void CMeter::OnPaint(wxPaintEvent&) {
  wxPaintDC dc(this);
  // The erase that an invalidation asks for: the window's own background.
  dc.SetBackground(wxBrush(GetBackgroundColour()));
  dc.Clear();
  UpdateGeometry();
  m_colorShadow = ToColorRef(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNSHADOW));
  m_colorHighlight = ToColorRef(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNHIGHLIGHT));
  DrawNeedle(&dc);
  ++m_nPaintCount;
}

void CMeter::DrawNeedle(wxDC* pDC) {
  const double theta = GetNeedleAngle();
  const vantor::NeedlePolygon poly =
      vantor::ComputeNeedlePolygon(theta, m_ptCenter, m_nRadius, m_nHubRadius);
  wxPoint pts[4];
  for (int i = 0; i < 4; ++i) pts[i] = ToPoint(poly.pt[static_cast<size_t>(i)]);

  const wxPen oldPen = pDC->GetPen();
  const wxBrush oldBrush = pDC->GetBrush();
  if (!m_rgnClip.IsEmpty()) pDC->SetDeviceClippingRegion(m_rgnClip);
  pDC->SetBrush(wxBrush(ToColour(m_colorNeedle), wxBRUSHSTYLE_SOLID));
  pDC->SetPen(wxPen(ToColour(m_colorNeedle), 1, wxPENSTYLE_SOLID));
  pDC->DrawPolygon(4, pts);
  if (!m_rgnClip.IsEmpty()) pDC->DestroyClippingRegion();

  const wxPoint tip = ToPoint(poly.Tip());
  const wxPoint tail = ToPoint(poly.Tail());
  const auto edge = [&](const wxPen& pen, const vantor::MeterPoint& side) {
    pDC->SetPen(pen);
    pDC->DrawLine(tip, ToPoint(side));
    pDC->DrawLine(ToPoint(side), tail);
  };
  edge(wxPen(ToColour(m_colorShadow), 2, wxPENSTYLE_SOLID), poly.ShadowSide());
  edge(wxPen(ToColour(m_colorHighlight), 1, wxPENSTYLE_SOLID), poly.HighlightSide());
  pDC->SetPen(oldPen);
  pDC->SetBrush(oldBrush);
}

void CMeter::DrawHub(wxDC* pDC) {
  const wxPen oldPen = pDC->GetPen();
  const wxBrush oldBrush = pDC->GetBrush();
  pDC->SetBrush(*wxTRANSPARENT_BRUSH);
  for (const vantor::HubRing& ring : vantor::ComputeHubRings(m_nHubRadius)) {
    const wxColour grey(ring.grey, ring.grey, ring.grey);
    pDC->SetPen(wxPen(grey, 1, wxPENSTYLE_SOLID));
    if (ring.nRadius == 0)
      pDC->DrawPoint(m_ptCenter.x, m_ptCenter.y);
    else
      pDC->DrawCircle(m_ptCenter.x, m_ptCenter.y, ring.nRadius);
  }
  pDC->SetPen(oldPen);
  pDC->SetBrush(oldBrush);
}

void CMeter::DrawValueText(wxDC* pDC) {
  const int h = m_nRadius / 5;
  char value[64];
  std::snprintf(value, sizeof value, "%.*f", m_nValueDecimals, m_dCurrentValue);

  m_fontValue = wxFont(wxFontInfo(wxSize(0, h > 0 ? h : 1))
                           .Family(wxFONTFAMILY_SWISS)
                           .FaceName("Arial")
                           .Weight(wxFONTWEIGHT_NORMAL));
  const wxFont oldFont = pDC->GetFont();
  pDC->SetFont(m_fontValue);
  pDC->SetTextBackground(ToColour(m_colorFace));
  const int x = (m_rectValue.GetLeft() + m_rectValue.GetLeft() + m_rectValue.GetWidth()) / 2;
  const int y = (m_rectValue.GetTop() + m_rectValue.GetTop() + m_rectValue.GetHeight()) / 2;
  // Centred on x, top at y, as a centre/top text alignment would place it.
  const auto drawCentred = [&](const wxString& text, int top) {
    const wxSize extent = pDC->GetTextExtent(text);
    pDC->DrawText(text, x - extent.GetWidth() / 2, top);
  };
  drawCentred(m_strUnits, y);
  drawCentred(wxString::FromUTF8(value), y + h);
  pDC->SetFont(oldFont);
  pDC->SetTextBackground(ToColour(m_colorFace));
}

void CMeter::DrawFrame(wxDC* pDC, const wxRect* pRect) {
  m_colorShadow = ToColorRef(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNSHADOW));
  m_colorHighlight = ToColorRef(wxSystemSettings::GetColour(wxSYS_COLOUR_BTNHIGHLIGHT));
  m_colorFace = 0x00FF00FFu;
  if (!pRect) return;
  const wxBrush oldBrush = pDC->GetBrush();
  pDC->SetBrush(wxBrush(ToColour(m_colorFace), wxBRUSHSTYLE_SOLID));
  pDC->DrawRectangle(*pRect);
  pDC->SetBrush(oldBrush);
}
