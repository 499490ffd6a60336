#include "app/SpeedDial.h"

#include "widgets/ResourceBitmap.h"

BOOL CSpeedDial::DrawSpeedDial(int value) {
  const int id = vantor::SpeedDialResourceId(value);
  if (id < 0) return FALSE;
  // The same band on every tick: no need to read the file again.
  if (id == m_nResourceId && m_bmpSpeedDial.IsOk()) return TRUE;
  wxBitmap bmp = vantor::LoadResourceBitmap(id);
  if (!bmp.IsOk()) return FALSE;
  m_bmpSpeedDial = bmp;
  m_nResourceId = id;
  return TRUE;
}

void CSpeedDial::Paint(wxDC& dc) const {
  if (m_bmpSpeedDial.IsOk()) dc.DrawBitmap(m_bmpSpeedDial, GetRect().GetTopLeft(), false);
}
