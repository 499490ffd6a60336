#include "app/AboutDlg.h"

#include <wx/button.h>
#include <wx/statbmp.h>
#include <wx/stattext.h>

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

}  // namespace

CAboutDlg::CAboutDlg(wxWindow* parent)
    : wxDialog(parent, vantor::res::IDD_ABOUTBOX, TrWx("About GPS Video Player"), wxDefaultPosition,
               wxDefaultSize, wxCAPTION | wxSYSTEM_MENU | wxCLOSE_BOX) {
  SetClientSize(DuSize(235, 87));
  // The picture is kept, hidden, as the layout has always had it.
  auto* picture =
      new wxStaticBitmap(this, wxID_ANY, vantor::LoadResourceBitmap(vantor::res::IDB_ABOUT),
                         Du(126, 19), DuSize(102, 61));
  picture->Hide();
  new wxStaticText(this, wxID_ANY, TrWx("GPS player V1.00"), Du(29, 29), wxDefaultSize);
  new wxStaticText(this, wxID_ANY, TrWx("Dash camera movies with their GPS logs"), Du(30, 46),
                   wxDefaultSize);
  auto* ok = new wxButton(this, wxID_OK, TrWx("OK"), Du(91, 66), DuSize(50, 14));
  ok->SetDefault();
  SetAffirmativeId(wxID_OK);
  SetEscapeId(wxID_OK);
  vantor::SkinSetWindowSkin(this, "Dialog");
  CentreOnParent();
}
