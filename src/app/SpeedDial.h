#pragma once
// The speed gauge picture of the main window: which of the pictures is
// current. The dialog draws it from its paint handler, so a repaint shows the
// current speed, not the zero picture.
#include <wx/bitmap.h>
#include <wx/dc.h>
#include <wx/gdicmn.h>

#include <array>

#include "app/SpeedDialRule.h"
#include "common/Result.h"

class CSpeedDial {
 public:
  // Where the picture sits in the main window's client area.
  static wxRect GetRect() {
    return wxRect(268, 500, vantor::kSpeedDialWidth, vantor::kSpeedDialHeight);
  }

  // The pictures' unit: `value` below is in it.
  void SetUnit(vantor::SpeedUnit unit) { m_unit = unit; }
  vantor::SpeedUnit GetUnit() const { return m_unit; }

  // Makes the picture for `value` current. FALSE, and the current picture
  // stays, for a negative value or a picture that cannot be loaded. The
  // caller refreshes GetRect() when it returns TRUE.
  BOOL DrawSpeedDial(int value);

  // Draws the current picture at GetRect() (nothing before the first one).
  void Paint(wxDC& dc) const;

  int GetResourceId() const { return m_nResourceId; }  // 0: none yet
  const wxBitmap& GetBitmap() const { return m_bmpSpeedDial; }

 private:
  int m_nResourceId = 0;
  wxBitmap m_bmpSpeedDial;
  // Each picture is read once: reading one takes longer than a whole tick
  // may, and the speed crosses bands often while driving.
  std::array<wxBitmap, vantor::kSpeedDialCount + vantor::kSpeedDialMphCount> m_aLoaded;
  vantor::SpeedUnit m_unit = vantor::SpeedUnit::Kmh;
};
