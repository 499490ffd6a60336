#include <cstdio>
#include <cstring>

int main(int argc, char** argv) {
  if (argc > 1 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("vantor %s\n", VANTOR_VERSION);
    return 0;
  }
  std::printf("vantor %s: the main window is not built yet\n", VANTOR_VERSION);
  return 0;
}
