#include "app/GuiMain.h"

#include <cstdio>

namespace vantor {

int RunGui(int, char**) {
  std::fprintf(stderr, "vantor: the main window is not built yet\n");
  return 1;
}

}  // namespace vantor
