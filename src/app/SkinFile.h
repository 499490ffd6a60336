#pragma once
// The skin file: a small text format of this program that gives colours and
// fonts to the main window and its controls.
//
//   # comment
//   [Dialog]                 a skin object, named by its section
//   background = #1b2029     colours are #RRGGBB
//   text = #a8acb7
//   font = 9 bold Sans       point size, optional "bold", optional family
//
// Keys other than "font" hold colours. Anything else (a line that is neither a
// section, a key or a comment, a bad colour or font, a key before any section,
// a NUL byte, a file larger than kMaxSkinFileSize) makes the whole file
// malformed: half a skin would look worse than none.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace vantor {

struct SkinColour {
  std::uint8_t r = 0, g = 0, b = 0;
  constexpr bool operator==(const SkinColour&) const = default;
};

struct SkinFont {
  int pointSize = 0;
  bool bold = false;
  std::string family;  // empty: the desktop's default family
  bool operator==(const SkinFont&) const = default;
};

inline constexpr std::size_t kMaxSkinFileSize = 64 * 1024;

class SkinFile {
 public:
  // nullopt when the text is malformed (see above); `error` then says why and where.
  static std::optional<SkinFile> Parse(std::string_view text, std::string* error = nullptr);
  // nullopt when the file cannot be read or is malformed.
  static std::optional<SkinFile> Load(const std::string& path, std::string* error = nullptr);

  bool HasObject(std::string_view object) const;
  std::optional<SkinColour> Colour(std::string_view object, std::string_view key) const;
  std::optional<SkinFont> Font(std::string_view object) const;

 private:
  struct Object {
    std::map<std::string, SkinColour, std::less<>> colours;
    std::optional<SkinFont> font;
  };
  std::map<std::string, Object, std::less<>> m_objects;
};

std::optional<SkinColour> ParseSkinColour(std::string_view text);
std::optional<SkinFont> ParseSkinFont(std::string_view text);

}  // namespace vantor
