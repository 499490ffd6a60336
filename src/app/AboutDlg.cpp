#include "app/AboutDlg.h"

#include <wx/button.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

#include <algorithm>
#include <utility>

#include "app/DialogTemplate.h"
#include "app/GuiText.h"
#include "app/Resource.h"
#include "app/Skin.h"
#include "widgets/ResourceBitmap.h"

using vantor::DialogUnitsToPixels;
using vantor::TrWx;

wxIMPLEMENT_CLASS(CAboutDlg, wxDialog);

// clang-format off
wxBEGIN_EVENT_TABLE(CAboutDlg, wxDialog)
wxEND_EVENT_TABLE();
// clang-format on

namespace {

wxPoint Du(int x, int y) {
  return wxPoint(DialogUnitsToPixels(x), DialogUnitsToPixels(y));
}
wxSize DuSize(int w, int h) {
  return wxSize(DialogUnitsToPixels(w), DialogUnitsToPixels(h));
}

constexpr std::pair<const char*, const char*> kKeys[] = {
    {"Space", "Play or pause"},
    {"Left / Right", "5 seconds back or forward (with Shift: 1 second)"},
    {", / .", "One frame back or forward"},
    {"Up / Down", "Volume"},
    {"M", "Mute"},
    {"F", "Full screen and back"},
    {"Tab", "Move or hide the second camera's picture"},
    {"Escape", "Leave full screen, or stop the movie"},
    {"Delete", "Remove the selected entries from the list"},
    {"F1", "This box"},
    {"F2", "Settings"},
};

}  // namespace

CAboutDlg::CAboutDlg(wxWindow* parent)
    : wxDialog(parent, vantor::res::IDD_ABOUTBOX, TrWx("About GPS Video Player"), wxDefaultPosition,
               wxDefaultSize, wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX) {
  // The picture is kept, hidden, as the layout has always had it.
  auto* picture =
      new wxStaticBitmap(this, wxID_ANY, vantor::LoadResourceBitmap(vantor::res::IDB_ABOUT),
                         Du(126, 19), DuSize(102, 61));
  picture->Hide();
  new wxStaticText(this, wxID_ANY, TrWx("GPS player V1.00"), Du(29, 29), wxDefaultSize);
  new wxStaticText(this, wxID_ANY, TrWx("Dash camera movies with their GPS logs"), Du(30, 46),
                   wxDefaultSize);
  // The keys the main window and full screen answer to, under the texts; the
  // box grows by their height and the OK button moves below them.
  wxString keys, meanings;
  for (const auto& [key, meaning] : kKeys) {
    keys += TrWx(key) + "\n";
    meanings += TrWx(meaning) + "\n";
  }
  keys.RemoveLast();
  meanings.RemoveLast();
  auto* keyText = new wxStaticText(this, wxID_ANY, keys, Du(30, 62));
  auto* meaningText = new wxStaticText(this, wxID_ANY, meanings, Du(100, 62));
  keyText->SetFont(keyText->GetFont().Bold());
  const int keysBottom =
      std::max(keyText->GetRect().GetBottom(), meaningText->GetRect().GetBottom());
  const int extra = keysBottom + DialogUnitsToPixels(8) - DialogUnitsToPixels(66);
  const int width = std::max(DialogUnitsToPixels(235), meaningText->GetRect().GetRight() +
                                                           DialogUnitsToPixels(12));
  SetClientSize(width, DialogUnitsToPixels(87) + extra);
  auto* ok = new wxButton(this, wxID_OK, TrWx("OK"),
                          wxPoint((width - DialogUnitsToPixels(50)) / 2,
                                  DialogUnitsToPixels(66) + extra),
                          DuSize(50, 14));
  ok->SetDefault();
  SetAffirmativeId(wxID_OK);
  SetEscapeId(wxID_OK);
  vantor::SkinSetWindowSkin(this, "Dialog");
  CentreOnParent();
}
