#include "common/DataPaths.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <system_error>

namespace fs = std::filesystem;

namespace vantor {

std::string ExecutableDirectory() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  return exe.parent_path().string();
}

static void AddUnique(std::vector<std::string>& dirs, const fs::path& p) {
  if (p.empty()) return;
  std::string s = p.lexically_normal().string();
  for (const auto& d : dirs)
    if (d == s) return;
  dirs.push_back(s);
}

std::vector<std::string> DataDirectories() {
  std::vector<std::string> dirs;
  if (const char* env = std::getenv("VANTOR_DATA_DIR"); env && *env) AddUnique(dirs, env);
  const fs::path exeDir = ExecutableDirectory();
  if (!exeDir.empty()) {
    // Build tree: <build>/vantor beside <build>/share/vantor; test programs
    // sit one or two folders deeper.
    AddUnique(dirs, exeDir / "share/vantor");
    AddUnique(dirs, exeDir.parent_path() / "share/vantor");
    AddUnique(dirs, exeDir.parent_path().parent_path() / "share/vantor");
  }
  AddUnique(dirs, VANTOR_INSTALL_DATADIR);
  return dirs;
}

std::vector<std::string> LocaleDirectories() {
  std::vector<std::string> dirs;
  if (const char* env = std::getenv("VANTOR_LOCALE_DIR"); env && *env) AddUnique(dirs, env);
  const fs::path exeDir = ExecutableDirectory();
  if (!exeDir.empty()) {
    AddUnique(dirs, exeDir / "share/locale");
    AddUnique(dirs, exeDir.parent_path() / "share/locale");
    AddUnique(dirs, exeDir.parent_path().parent_path() / "share/locale");
  }
  AddUnique(dirs, VANTOR_INSTALL_LOCALEDIR);
  return dirs;
}

std::string FindDataFile(const std::string& relative) {
  std::error_code ec;
  for (const auto& d : DataDirectories()) {
    fs::path p = fs::path(d) / relative;
    if (fs::exists(p, ec)) return p.string();
  }
  return {};
}

}  // namespace vantor
