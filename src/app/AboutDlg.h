#pragma once
#include <wx/dialog.h>

// The About box: program name, version, one line about the program, OK.
class CAboutDlg : public wxDialog {
 public:
  explicit CAboutDlg(wxWindow* parent = nullptr);
  CAboutDlg(const CAboutDlg&) = delete;
  CAboutDlg& operator=(const CAboutDlg&) = delete;

 private:
  wxDECLARE_CLASS(CAboutDlg);
  wxDECLARE_EVENT_TABLE();
};
