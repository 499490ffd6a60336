#pragma once

namespace vantor {
// Starts the wxWidgets application (main window) and runs it to the end.
int RunGui(int argc, char** argv);
}  // namespace vantor
