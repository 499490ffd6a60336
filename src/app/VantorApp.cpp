#include "app/VantorApp.h"

#include <glib-unix.h>
#include <signal.h>
#include <wx/image.h>
#include <wx/timer.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "app/GuiMessageBox.h"
#include "app/Skin.h"
#include "app/VantorDlg.h"
#include "map/MapPage.h"

namespace {

// VANTOR_EXIT_AFTER_MS=<n>: close the main window n ms after it is first
// painted, and say on standard error how long start-up took. Used by the
// start-up benchmark and the screenshot script.
int ExitAfterMs() {
  const char* v = std::getenv("VANTOR_EXIT_AFTER_MS");
  if (!v || !*v) return -1;
  char* end = nullptr;
  const long ms = std::strtol(v, &end, 10);
  if (*end != '\0' || ms < 0 || ms > 3600 * 1000) return -1;
  return static_cast<int>(ms);
}

const auto g_processStart = std::chrono::steady_clock::now();

// SIGTERM and SIGINT (a session ending, Ctrl-C in the terminal) close the
// window as its close box does, so the map page and its folder go with it.
// GLib delivers them in the main loop, where closing is safe; the page goes
// first, in case the window cannot close at once (a message box is up).
gboolean CloseOnSignal(gpointer dlg) {
  vantor::RemoveMapPage();
  static_cast<CVantorDlg*>(dlg)->Close();
  return G_SOURCE_CONTINUE;
}

}  // namespace

bool CVantorApp::OnInit() {
  // The command line is read by main() before the window starts; wx's own
  // parser would refuse the movie paths given to the program.
  wxInitAllImageHandlers();
  vantor::InstallGuiMessageBox();
  return true;
}

int CVantorApp::OnRun() {
  InitInstance();
  return 0;
}

BOOL CVantorApp::InitInstance() {
  try {
    vantor::SkinInit("Vantor", 0, 0);
    vantor::SkinLoadFile(vantor::LocateSkinFile());
  } catch (...) {
    // Without a skin the program still works; it just looks plain.
  }

  // Folders that killed or crashed runs left in the runtime directory.
  vantor::RemoveStaleMapFolders();

  CVantorDlg dlg;
  SetTopWindow(&dlg);
  const guint sigterm = g_unix_signal_add(SIGTERM, CloseOnSignal, &dlg);
  const guint sigint = g_unix_signal_add(SIGINT, CloseOnSignal, &dlg);

  std::unique_ptr<wxTimer> exitTimer;
  if (const int ms = ExitAfterMs(); ms >= 0) {
    exitTimer = std::make_unique<wxTimer>();
    exitTimer->Bind(wxEVT_TIMER, [&dlg](wxTimerEvent&) { dlg.Close(); });
    dlg.Bind(wxEVT_PAINT, [&dlg, &exitTimer, ms, started = false](wxPaintEvent& e) mutable {
      e.Skip();
      if (started || !dlg.IsShownOnScreen()) return;
      started = true;
      const auto shown = std::chrono::duration_cast<std::chrono::milliseconds>(
          std::chrono::steady_clock::now() - g_processStart);
      std::fprintf(stderr, "vantor: window shown after %lld ms\n",
                   static_cast<long long>(shown.count()));
      exitTimer->StartOnce(ms > 0 ? ms : 1);
    });
  }

  // Played from inside the window's loop, once the window is set up.
  if (!m_startupMovies.empty())
    dlg.CallAfter([&dlg, movies = m_startupMovies] { dlg.OpenMovies(movies); });

  dlg.ShowModal();
  g_source_remove(sigterm);
  g_source_remove(sigint);
  SetTopWindow(nullptr);
  return FALSE;
}
