#include "app/SpeedDial.h"

#include "widgets/ResourceBitmap.h"

BOOL CSpeedDial::DrawSpeedDial(int value) {
  const int id = vantor::SpeedDialResourceId(value, m_unit);
  const int slot = m_unit == vantor::SpeedUnit::Mph
                       ? vantor::kSpeedDialCount + id - vantor::kSpeedDialMphFirstId
                       : id - vantor::kSpeedDialFirstId;
  if (id < 0 || slot < 0 || slot >= static_cast<int>(m_aLoaded.size())) return FALSE;
  wxBitmap& bmp = m_aLoaded[static_cast<std::size_t>(slot)];
  if (!bmp.IsOk()) bmp = vantor::LoadResourceBitmap(id);
  if (!bmp.IsOk()) return FALSE;
  m_bmpSpeedDial = bmp;
  m_nResourceId = id;
  return TRUE;
}

void CSpeedDial::Paint(wxDC& dc) const {
  if (m_bmpSpeedDial.IsOk()) dc.DrawBitmap(m_bmpSpeedDial, GetRect().GetTopLeft(), false);
}
