#include "widgets/FileFilter.h"

#include <vector>

namespace vantor {

namespace {

std::vector<std::string_view> Split(std::string_view text, char sep) {
  std::vector<std::string_view> parts;
  std::size_t from = 0;
  for (;;) {
    const std::size_t at = text.find(sep, from);
    parts.push_back(text.substr(from, at == std::string_view::npos ? at : at - from));
    if (at == std::string_view::npos) return parts;
    from = at + 1;
  }
}

std::string_view Trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

bool IsAsciiLetter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

std::string CaseInsensitivePattern(std::string_view pattern) {
  if (pattern == "*.*") return "*";
  std::string out;
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c == '[') {
      // A bracket expression of its own is kept as written.
      const std::size_t close = pattern.find(']', i + 1);
      if (close != std::string_view::npos) {
        out.append(pattern.substr(i, close - i + 1));
        i = close;
        continue;
      }
    }
    if (IsAsciiLetter(c)) {
      const char lower = static_cast<char>(c | 0x20);
      out += '[';
      out += lower;
      out += static_cast<char>(lower - 'a' + 'A');
      out += ']';
    } else {
      out += c;
    }
  }
  return out;
}

}  // namespace

std::string FilterToWildcard(std::string_view filter) {
  const std::vector<std::string_view> fields = Split(filter, '|');
  std::string out;
  for (std::size_t i = 0; i + 1 < fields.size(); i += 2) {
    const std::string_view description = fields[i];
    if (description.empty()) break;  // the closing "||"
    std::string patterns;
    for (std::string_view p : Split(fields[i + 1], ';')) {
      p = Trim(p);
      if (p.empty()) continue;
      if (!patterns.empty()) patterns += ';';
      patterns += CaseInsensitivePattern(p);
    }
    if (patterns.empty()) continue;
    if (!out.empty()) out += '|';
    out.append(description);
    out += '|';
    out += patterns;
  }
  return out;
}

std::string JoinFolderAndName(std::string_view folder, std::string_view name) {
  std::string path(folder);
  if (!path.empty() && path.back() != '/') path += '/';
  path.append(name);
  return path;
}

std::pair<std::string, std::string> SplitFolderAndName(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string_view::npos) return {std::string(), std::string(path)};
  return {std::string(path.substr(0, slash == 0 ? 1 : slash)), std::string(path.substr(slash + 1))};
}

}  // namespace vantor
