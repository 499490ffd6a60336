#include "app/SkinFile.h"

#include <cctype>
#include <charconv>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace vantor {

namespace {

std::string_view Trim(std::string_view s) {
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front()))) s.remove_prefix(1);
  while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.remove_suffix(1);
  return s;
}

bool IsName(std::string_view s) {
  if (s.empty()) return false;
  for (char c : s)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_' && c != '-') return false;
  return true;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void SetError(std::string* error, int line, const std::string& what) {
  if (error) *error = "line " + std::to_string(line) + ": " + what;
}

}  // namespace

std::optional<SkinColour> ParseSkinColour(std::string_view text) {
  text = Trim(text);
  if (text.size() != 7 || text[0] != '#') return std::nullopt;
  std::uint8_t v[3];
  for (int i = 0; i < 3; ++i) {
    const int hi = HexDigit(text[1 + 2 * i]), lo = HexDigit(text[2 + 2 * i]);
    if (hi < 0 || lo < 0) return std::nullopt;
    v[i] = static_cast<std::uint8_t>(hi * 16 + lo);
  }
  return SkinColour{v[0], v[1], v[2]};
}

std::optional<SkinFont> ParseSkinFont(std::string_view text) {
  text = Trim(text);
  SkinFont font;
  const char* end = text.data() + text.size();
  auto [p, ec] = std::from_chars(text.data(), end, font.pointSize);
  if (ec != std::errc() || font.pointSize < 4 || font.pointSize > 72) return std::nullopt;
  std::string_view rest(p, static_cast<std::size_t>(end - p));
  if (!rest.empty() && !std::isspace(static_cast<unsigned char>(rest.front()))) return std::nullopt;
  rest = Trim(rest);
  if (rest == "bold" || rest.starts_with("bold ")) {
    font.bold = true;
    rest = Trim(rest.substr(4));
  }
  font.family = std::string(rest);
  return font;
}

std::optional<SkinFile> SkinFile::Parse(std::string_view text, std::string* error) {
  if (text.size() > kMaxSkinFileSize) {
    SetError(error, 0, "file too large");
    return std::nullopt;
  }
  if (text.find('\0') != std::string_view::npos) {
    SetError(error, 0, "not a text file");
    return std::nullopt;
  }
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);

  SkinFile skin;
  Object* current = nullptr;
  int lineNo = 0;
  while (!text.empty()) {
    ++lineNo;
    const std::size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
    line = Trim(line);  // also drops the CR of CRLF files
    if (line.empty() || line.front() == '#' || line.front() == ';') continue;

    if (line.front() == '[') {
      if (line.back() != ']' || !IsName(Trim(line.substr(1, line.size() - 2)))) {
        SetError(error, lineNo, "bad section header");
        return std::nullopt;
      }
      current = &skin.m_objects[std::string(Trim(line.substr(1, line.size() - 2)))];
      continue;
    }
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) {
      SetError(error, lineNo, "expected key = value");
      return std::nullopt;
    }
    const std::string_view key = Trim(line.substr(0, eq));
    const std::string_view value = Trim(line.substr(eq + 1));
    if (!IsName(key)) {
      SetError(error, lineNo, "bad key");
      return std::nullopt;
    }
    if (!current) {
      SetError(error, lineNo, "key outside a section");
      return std::nullopt;
    }
    if (key == "font") {
      auto font = ParseSkinFont(value);
      if (!font) {
        SetError(error, lineNo, "bad font");
        return std::nullopt;
      }
      current->font = std::move(*font);
    } else {
      auto colour = ParseSkinColour(value);
      if (!colour) {
        SetError(error, lineNo, "bad colour");
        return std::nullopt;
      }
      current->colours[std::string(key)] = *colour;
    }
  }
  return skin;
}

std::optional<SkinFile> SkinFile::Load(const std::string& path, std::string* error) {
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    if (error) *error = "not a file: " + path;
    return std::nullopt;
  }
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = "cannot open " + path;
    return std::nullopt;
  }
  std::string data;
  data.resize(kMaxSkinFileSize + 1);
  in.read(data.data(), static_cast<std::streamsize>(data.size()));
  data.resize(static_cast<std::size_t>(in.gcount()));
  return Parse(data, error);
}

bool SkinFile::HasObject(std::string_view object) const {
  return m_objects.find(object) != m_objects.end();
}

std::optional<SkinColour> SkinFile::Colour(std::string_view object, std::string_view key) const {
  auto o = m_objects.find(object);
  if (o == m_objects.end()) return std::nullopt;
  auto c = o->second.colours.find(key);
  if (c == o->second.colours.end()) return std::nullopt;
  return c->second;
}

std::optional<SkinFont> SkinFile::Font(std::string_view object) const {
  auto o = m_objects.find(object);
  if (o == m_objects.end()) return std::nullopt;
  return o->second.font;
}

}  // namespace vantor
