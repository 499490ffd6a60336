#pragma once
#include <wx/app.h>

#include "common/Result.h"

// The application: starts the skin, then runs the main window modally; when
// the window ends, the program ends.
class CVantorApp : public wxApp {
 public:
  bool OnInit() override;
  int OnRun() override;

  // Skin start-up, then the main window, run to its end. Returns FALSE: there
  // is no message loop of the application's own after the window.
  BOOL InitInstance();
};
