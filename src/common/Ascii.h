#pragma once
// Case-insensitive comparison of ASCII letters only, the same in every
// locale (file extensions, folder names on a camera's card). Bytes outside
// A-Z/a-z, UTF-8 sequences included, compare as they are.
#include <string_view>

namespace vantor {

constexpr char LowerAscii(char c) {
  return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

bool EqualsNoCase(std::string_view a, std::string_view b);
bool EndsWithNoCase(std::string_view s, std::string_view suffix);

}  // namespace vantor
