#include "app/GuiMain.h"

#include <wx/app.h>
#include <wx/init.h>

#include "app/VantorApp.h"

namespace vantor {

int RunGui(int argc, char** argv) {
  wxApp::SetInstance(new CVantorApp);
  return wxEntry(argc, argv);
}

}  // namespace vantor
