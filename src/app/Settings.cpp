#include "app/Settings.h"

#include <sys/stat.h>

#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "common/SafeWrite.h"
#include "common/Utf8.h"

namespace vantor {

namespace {

// Far beyond what the player writes; anything larger is not our file.
constexpr std::streamsize kMaxFileBytes = 64 * 1024;

bool IsAbsolute(const char* path) {
  return path && path[0] == '/';
}

bool MakeFolders(const std::string& folder) {
  if (folder.empty()) return true;
  struct stat st{};
  if (::stat(folder.c_str(), &st) == 0) return S_ISDIR(st.st_mode) || (errno = ENOTDIR, false);
  const std::size_t slash = folder.rfind('/');
  if (slash != std::string::npos && slash > 0 && !MakeFolders(folder.substr(0, slash)))
    return false;
  return ::mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
    s.remove_suffix(1);
  return s;
}

}  // namespace

std::string Settings::DefaultPath() {
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); IsAbsolute(xdg))
    return std::string(xdg) + "/vantor/vantor.conf";
  if (const char* home = std::getenv("HOME"); IsAbsolute(home))
    return std::string(home) + "/.config/vantor/vantor.conf";
  return {};
}

bool Settings::Load() {
  m_values.clear();
  m_bDirty = false;
  if (m_path.empty()) return false;
  std::ifstream in(m_path, std::ios::binary);
  if (!in) return false;
  std::string text(kMaxFileBytes + 1, '\0');
  in.read(text.data(), kMaxFileBytes + 1);
  text.resize(static_cast<std::size_t>(in.gcount()));
  if (text.size() > static_cast<std::size_t>(kMaxFileBytes) ||
      text.find('\0') != std::string::npos || !IsValidUtf8(text))
    return false;
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) {
    const std::string_view l = Trim(line);
    if (l.empty() || l.front() == '#') continue;
    const std::size_t eq = l.find('=');
    if (eq == std::string_view::npos || eq == 0) continue;  // a damaged line alone is skipped
    // The value is everything after "=": a folder may end in a space.
    std::string_view value = std::string_view(line).substr(line.find('=') + 1);
    if (!value.empty() && value.back() == '\r') value.remove_suffix(1);
    m_values.insert_or_assign(std::string(Trim(l.substr(0, eq))), std::string(value));
  }
  return true;
}

int Settings::Save() {
  if (!m_bDirty) return 0;
  if (m_path.empty()) return ENOENT;
  const std::size_t slash = m_path.rfind('/');
  if (slash != std::string::npos && !MakeFolders(m_path.substr(0, slash))) return errno;
  std::string text = "# Vantor remembers these between runs.\n";
  for (const auto& [key, value] : m_values) text += key + "=" + value + "\n";
  const int error = WriteFileSafely(m_path, text);
  if (error == 0) m_bDirty = false;
  return error;
}

std::optional<std::string> Settings::Get(std::string_view key) const {
  const auto it = m_values.find(key);
  if (it == m_values.end()) return std::nullopt;
  return it->second;
}

int Settings::GetInt(std::string_view key, int fallback, int lo, int hi) const {
  const auto value = Get(key);
  if (!value) return fallback;
  int n = 0;
  const char* end = value->data() + value->size();
  const auto [ptr, ec] = std::from_chars(value->data(), end, n);
  if (ec != std::errc() || ptr != end || n < lo || n > hi) return fallback;
  return n;
}

bool Settings::Set(std::string_view key, std::string_view value) {
  // Kept as one line of text.
  if (key.empty() || Trim(key) != key || key.find_first_of("=\n\r#") != std::string_view::npos ||
      value.find_first_of(std::string_view("\n\r\0", 3)) != std::string_view::npos ||
      !IsValidUtf8(value))
    return false;
  const auto it = m_values.find(key);
  if (it != m_values.end() && it->second == value) return true;
  m_values.insert_or_assign(std::string(key), std::string(value));
  m_bDirty = true;
  return true;
}

}  // namespace vantor
