#pragma once
// What the player remembers between runs: a few "key=value" lines in
// $XDG_CONFIG_HOME/vantor/vantor.conf (~/.config/vantor/vantor.conf without
// it). A missing, unreadable or damaged file means the defaults; keys this
// version does not know are kept when the file is written again, so an older
// and a newer player can share it.
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace vantor {

class Settings {
 public:
  // Keys of what the window remembers.
  static constexpr const char* kOpenFolder = "open_folder";
  static constexpr const char* kVolume = "volume";
  static constexpr const char* kMapType = "map_type";  // index in the map type list
  static constexpr const char* kMapZoom = "map_zoom";
  static constexpr const char* kSpeedUnit = "speed_unit";      // "km/h" or "mph"
  static constexpr const char* kCameraClock = "camera_clock";  // see ParseCameraClock

  // The file above; "" when neither XDG_CONFIG_HOME nor HOME is an absolute path.
  static std::string DefaultPath();

  explicit Settings(std::string path = DefaultPath()) : m_path(std::move(path)) {}
  const std::string& Path() const { return m_path; }

  // Replaces what is held by the file's content. False (nothing held) when the
  // file is missing, unreadable, too large or not text.
  bool Load();
  // Writes every key at once through the safe writer, creating the folder;
  // 0 or the errno of what failed. Nothing is written while nothing changed.
  int Save();

  std::optional<std::string> Get(std::string_view key) const;
  // The value when it is a whole number within lo..hi, else `fallback`.
  int GetInt(std::string_view key, int fallback, int lo, int hi) const;
  // A value holding a line break or NUL cannot be kept in a line: refused.
  bool Set(std::string_view key, std::string_view value);
  void SetInt(std::string_view key, int value) { Set(key, std::to_string(value)); }

 private:
  std::string m_path;
  std::map<std::string, std::string, std::less<>> m_values;
  bool m_bDirty = false;
};

}  // namespace vantor
