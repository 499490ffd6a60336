#include "app/SettingsDlg.h"

#include <wx/button.h>
#include <wx/choice.h>
#include <wx/radiobox.h>
#include <wx/sizer.h>
#include <wx/stattext.h>
#include <wx/textctrl.h>

#include <algorithm>

#include "app/GuiText.h"
#include "app/Skin.h"
#include "common/Messages.h"

using vantor::CameraClock;
using vantor::TrWx;

namespace {

constexpr const char* kMsgBadOffset = "The offset from UTC must look like +08:00 or -03:30.";
constexpr const char* kMsgNoZone = "Please choose the time zone of the camera's clock.";

}  // namespace

CSettingsDlg::CSettingsDlg(wxWindow* parent, vantor::SpeedUnit unit, const CameraClock& clock)
    : wxDialog(parent, wxID_ANY, TrWx("Settings"), wxDefaultPosition, wxDefaultSize,
               wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX),
      m_unit(unit),
      m_clock(clock),
      m_zones(vantor::SystemTimeZones()) {
  auto* top = new wxBoxSizer(wxVERTICAL);

  const wxString units[] = {TrWx("km/h and kilometres"), TrWx("mph and miles")};
  m_radioUnit = new wxRadioBox(this, wxID_ANY, TrWx("Speed unit"), wxDefaultPosition,
                               wxDefaultSize, 2, units, 1, wxRA_SPECIFY_COLS);
  m_radioUnit->SetSelection(unit == vantor::SpeedUnit::Mph ? 1 : 0);
  top->Add(m_radioUnit, 0, wxEXPAND | wxALL, 10);

  top->Add(new wxStaticText(this, wxID_ANY, TrWx("The camera's clock shows")), 0,
           wxLEFT | wxRIGHT, 10);
  m_choiceClock = new wxChoice(this, wxID_ANY);
  for (const char* kind : {"The time as logged (no time zone)", "UTC",
                           "Local time of a time zone", "A fixed offset from UTC"})
    m_choiceClock->Append(TrWx(kind));
  m_choiceClock->SetSelection(static_cast<int>(clock.kind));
  top->Add(m_choiceClock, 0, wxEXPAND | wxALL, 10);

  auto* grid = new wxFlexGridSizer(2, 8, 8);
  grid->AddGrowableCol(1);
  grid->Add(new wxStaticText(this, wxID_ANY, TrWx("Time zone")), 0, wxALIGN_CENTRE_VERTICAL);
  m_choiceZone = new wxChoice(this, wxID_ANY);
  for (const std::string& zone : m_zones) m_choiceZone->Append(wxString::FromUTF8(zone));
  const auto at = std::find(m_zones.begin(), m_zones.end(), clock.zone);
  if (at != m_zones.end()) m_choiceZone->SetSelection(static_cast<int>(at - m_zones.begin()));
  grid->Add(m_choiceZone, 1, wxEXPAND);
  grid->Add(new wxStaticText(this, wxID_ANY, TrWx("Offset from UTC")), 0,
            wxALIGN_CENTRE_VERTICAL);
  std::string offset = "+00:00";
  if (clock.kind == CameraClock::Kind::Offset)
    offset = vantor::FormatCameraClock(clock).substr(7);  // after "offset:"
  m_textOffset = new wxTextCtrl(this, wxID_ANY, offset);
  grid->Add(m_textOffset, 1, wxEXPAND);
  top->Add(grid, 0, wxEXPAND | wxLEFT | wxRIGHT | wxBOTTOM, 10);

  top->Add(CreateStdDialogButtonSizer(wxOK | wxCANCEL), 0, wxEXPAND | wxALL, 10);
  SetSizerAndFit(top);
  SetMinSize(wxSize(std::max(GetSize().x, 360), GetSize().y));

  m_choiceClock->Bind(wxEVT_CHOICE, [this](wxCommandEvent&) { EnableClockParts(); });
  Bind(
      wxEVT_BUTTON,
      [this](wxCommandEvent&) {
        if (TakeValues()) EndModal(wxID_OK);
      },
      wxID_OK);
  EnableClockParts();
  vantor::SkinSetWindowSkin(this, "Dialog");
  CentreOnParent();
}

void CSettingsDlg::EnableClockParts() {
  const auto kind = static_cast<CameraClock::Kind>(m_choiceClock->GetSelection());
  m_choiceZone->Enable(kind == CameraClock::Kind::Zone);
  m_textOffset->Enable(kind == CameraClock::Kind::Offset);
}

bool CSettingsDlg::TakeValues() {
  CameraClock clock;
  switch (static_cast<CameraClock::Kind>(m_choiceClock->GetSelection())) {
    case CameraClock::Kind::Utc:
      clock.kind = CameraClock::Kind::Utc;
      break;
    case CameraClock::Kind::Zone: {
      const int zone = m_choiceZone->GetSelection();
      if (zone < 0 || zone >= static_cast<int>(m_zones.size())) {
        vantor::ShowMessageBox(vantor::Tr(kMsgNoZone), "Vantor", vantor::MessageIcon::Warning);
        return false;
      }
      clock.kind = CameraClock::Kind::Zone;
      clock.zone = m_zones[static_cast<std::size_t>(zone)];
      break;
    }
    case CameraClock::Kind::Offset: {
      const std::string text = "offset:" + m_textOffset->GetValue().Strip(wxString::both).utf8_string();
      if (!vantor::ParseCameraClock(text, clock)) {
        vantor::ShowMessageBox(vantor::Tr(kMsgBadOffset), "Vantor", vantor::MessageIcon::Warning);
        return false;
      }
      break;
    }
    default:
      break;
  }
  m_clock = clock;
  m_unit = m_radioUnit->GetSelection() == 1 ? vantor::SpeedUnit::Mph : vantor::SpeedUnit::Kmh;
  return true;
}
