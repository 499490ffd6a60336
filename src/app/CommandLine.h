#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "gps/GpsExport.h"

namespace vantor {
// The speed unit and the camera's clock from the window's settings file, as
// every export uses them; what the camera logged without one.
GpsExportStyle ExportStyleFromSettings();

// Handles the command-line modes that need no display (--export, --help,
// --version, option errors). Returns true when it handled the command line;
// exitCode then holds the process's exit status. Returns false when the
// program should start its window (with any movie arguments).
bool RunCommandLine(int argc, char** argv, int& exitCode);

// The same with the streams given, for tests.
bool RunCommandLine(int argc, char** argv, int& exitCode, std::FILE* out, std::FILE* err);

// The movies named on the command line of the window, as absolute paths in
// their order: relative ones are taken from `cwd`, with "." parts and doubled
// separators left out. Arguments starting with "-" are options (the
// toolkit's, such as --display) unless they follow "--".
std::vector<std::string> MoviePathsFromArguments(int argc, char** argv, const std::string& cwd);
}  // namespace vantor
