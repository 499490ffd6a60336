#pragma once
#include <cstdio>

namespace vantor {
// Handles the command-line modes that need no display (--export, --help,
// --version, option errors). Returns true when it handled the command line;
// exitCode then holds the process's exit status. Returns false when the
// program should start its window (with any movie arguments).
bool RunCommandLine(int argc, char** argv, int& exitCode);

// The same with the streams given, for tests.
bool RunCommandLine(int argc, char** argv, int& exitCode, std::FILE* out, std::FILE* err);
}  // namespace vantor
