#include "app/CommandLine.h"

#include <cstdio>
#include <cstring>

namespace vantor {

bool RunCommandLine(int argc, char** argv, int& exitCode) {
  if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("vantor %s\n", VANTOR_VERSION);
    exitCode = 0;
    return true;
  }
  return false;
}

}  // namespace vantor
