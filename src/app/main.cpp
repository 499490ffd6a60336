#include <cstdio>
#include <string_view>

#include "app/CommandLine.h"
#include "app/GuiMain.h"
#include "render/RenderCommand.h"

int main(int argc, char** argv) {
  // Modes such as --export run without a display, so they are decided before
  // any GUI toolkit starts.
  if (argc > 1 && std::string_view(argv[1]) == "--render")
    return vantor::RunRenderCommand(argc, argv, stderr);
  int exitCode = 0;
  if (vantor::RunCommandLine(argc, argv, exitCode)) return exitCode;
  return vantor::RunGui(argc, argv);
}
