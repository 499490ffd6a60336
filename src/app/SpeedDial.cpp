#include "app/SpeedDial.h"

#include "widgets/ResourceBitmap.h"

BOOL CSpeedDial::DrawSpeedDial(int value) {
  const int id = vantor::SpeedDialResourceId(value);
  if (id < 0) return FALSE;
  wxBitmap& bmp = m_aLoaded[id - vantor::kSpeedDialFirstId];
  if (!bmp.IsOk()) bmp = vantor::LoadResourceBitmap(id);
  if (!bmp.IsOk()) return FALSE;
  m_bmpSpeedDial = bmp;
  m_nResourceId = id;
  return TRUE;
}

void CSpeedDial::Paint(wxDC& dc) const {
  if (m_bmpSpeedDial.IsOk()) dc.DrawBitmap(m_bmpSpeedDial, GetRect().GetTopLeft(), false);
}
