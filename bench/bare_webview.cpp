// The floor for the main window's start-up time: a bare program that shows a
// 1024 x 700 dialog holding one web view (the size of the main window's map)
// and closes itself like the player does under VANTOR_EXIT_AFTER_MS.
#include <wx/app.h>
#include <wx/dialog.h>
#include <wx/timer.h>
#include <wx/webview.h>

#include <cstdlib>

class BareApp : public wxApp {
 public:
  bool OnInit() override { return true; }
  int OnRun() override {
    wxDialog dlg(nullptr, wxID_ANY, "bare", wxPoint(0, 0), wxSize(1024, 700));
    wxWebView::New(&dlg, wxID_ANY, "about:blank", wxPoint(692, 365), wxSize(294, 197));
    const char* v = std::getenv("VANTOR_EXIT_AFTER_MS");
    const int ms = v ? std::atoi(v) : 0;
    wxTimer timer;
    timer.Bind(wxEVT_TIMER, [&dlg](wxTimerEvent&) { dlg.EndModal(wxID_OK); });
    bool started = false;
    dlg.Bind(wxEVT_PAINT, [&](wxPaintEvent& e) {
      e.Skip();
      if (started || !dlg.IsShownOnScreen()) return;
      started = true;
      timer.StartOnce(ms > 0 ? ms : 1);
    });
    dlg.ShowModal();
    return 0;
  }
};

wxIMPLEMENT_APP(BareApp);
