// Entry point of the GUI test suite: starts a wx application (without a main
// window of its own) on the X display of the test run, then runs the tests.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <wx/app.h>
#include <wx/init.h>
#include <wx/log.h>

#include <filesystem>
#include <string>

#include "common/Messages.h"
#include "map/WebBrowser2.h"

namespace {
class GuiTestApp : public wxApp {
 public:
  bool OnInit() override { return true; }
};
}  // namespace

wxIMPLEMENT_APP_NO_MAIN(GuiTestApp);

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  // Test discovery happens at build time, where no display may exist.
  if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
  // What the window remembers goes to a scratch folder, never the user's own.
  std::string config = (std::filesystem::temp_directory_path() / "vantor-gui-config-XXXXXX").string();
  if (!::mkdtemp(config.data())) return 1;
  ::setenv("XDG_CONFIG_HOME", config.c_str(), 1);
  // The map's web engine draws as it does in the program.
  CWebBrowser2::PrepareProcess();
  wxApp::SetInstance(new GuiTestApp);
  if (!wxEntryStart(argc, argv)) {
    std::fprintf(stderr, "GUI tests: cannot start wxWidgets (no X display?)\n");
    return 1;
  }
  wxTheApp->CallOnInit();
  // A library warning (WebKit, GTK) must not open a modal log window that
  // blocks the suite; it goes to standard error instead.
  delete wxLog::SetActiveTarget(new wxLogStderr);
  // Message boxes would block a test: print them instead unless a test captures them.
  vantor::SetMessageBoxFunction([](const vantor::MessageBoxRequest& r) {
    std::fprintf(stderr, "[message box] %s: %s\n", r.caption.c_str(), r.text.c_str());
  });
  const int result = RUN_ALL_TESTS();
  wxTheApp->OnExit();
  wxEntryCleanup();
  std::filesystem::remove_all(config);
  return result;
}
