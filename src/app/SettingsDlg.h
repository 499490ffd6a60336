#pragma once
// The settings dialog (F2, or the window's right-click menu): the speed unit
// and what the camera's clock shows. It edits a copy; the window applies and
// stores what OK returns.
#include <wx/dialog.h>

#include <string>
#include <vector>

#include "gps/Units.h"

class wxChoice;
class wxRadioBox;
class wxTextCtrl;

class CSettingsDlg : public wxDialog {
 public:
  CSettingsDlg(wxWindow* parent, vantor::SpeedUnit unit, const vantor::CameraClock& clock);

  vantor::SpeedUnit GetSpeedUnit() const { return m_unit; }
  const vantor::CameraClock& GetCameraClock() const { return m_clock; }

  // What OK does: reads the controls; false (with a message, the dialog
  // staying open) for an offset that is not "+HH:MM" or a zone not chosen.
  bool TakeValues();

  wxRadioBox* m_radioUnit = nullptr;
  wxChoice* m_choiceClock = nullptr;  // as logged, UTC, a zone, an offset
  wxChoice* m_choiceZone = nullptr;
  wxTextCtrl* m_textOffset = nullptr;

 private:
  void EnableClockParts();

  vantor::SpeedUnit m_unit;
  vantor::CameraClock m_clock;
  std::vector<std::string> m_zones;
};
