#include "app/CommandLine.h"
#include "app/GuiMain.h"

int main(int argc, char** argv) {
  // Modes such as --export run without a display, so they are decided before
  // any GUI toolkit starts.
  int exitCode = 0;
  if (vantor::RunCommandLine(argc, argv, exitCode)) return exitCode;
  return vantor::RunGui(argc, argv);
}
