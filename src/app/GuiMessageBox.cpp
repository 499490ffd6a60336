#include "app/GuiMessageBox.h"

#include <wx/app.h>
#include <wx/msgdlg.h>

#include "common/Messages.h"

namespace vantor {

void InstallGuiMessageBox() {
  SetMessageBoxFunction([](const MessageBoxRequest& r) {
    long style = wxOK;
    switch (r.icon) {
      case MessageIcon::Error: style |= wxICON_ERROR; break;
      case MessageIcon::Warning: style |= wxICON_WARNING; break;
      case MessageIcon::Information: style |= wxICON_INFORMATION; break;
      case MessageIcon::Question: style |= wxICON_QUESTION; break;
    }
    wxMessageBox(wxString::FromUTF8(r.text), wxString::FromUTF8(r.caption), style);
  });
  // A question belongs to the main window: it stays over it.
  SetQuestionFunction([](const MessageBoxRequest& r) {
    return wxMessageBox(wxString::FromUTF8(r.text), wxString::FromUTF8(r.caption),
                        wxYES_NO | wxICON_QUESTION,
                        wxTheApp ? wxTheApp->GetTopWindow() : nullptr) == wxYES;
  });
}

}  // namespace vantor
