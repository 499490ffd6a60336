#pragma once
#include <wx/app.h>

#include <string>
#include <vector>

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

  // Movies from the command line: listed and the first one played once the
  // main window is up.
  void SetStartupMovies(std::vector<std::string> paths) { m_startupMovies = std::move(paths); }

 private:
  std::vector<std::string> m_startupMovies;
};
