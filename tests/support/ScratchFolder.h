#pragma once
// A fresh folder of its own under the system's temporary folder for one test,
// removed with everything in it (read-only parts included) when it goes.
//
//   ScratchFolder dir("export");
//   const auto log = dir.Write("GPS/GPS0001.txt", "...");
#include <filesystem>
#include <string>

namespace vantor::test {

class ScratchFolder {
 public:
  // `tag` goes into the folder's name, to tell leftovers of a crashed run apart.
  explicit ScratchFolder(const std::string& tag);
  ~ScratchFolder();
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;

  const std::filesystem::path& path() const { return m_path; }
  std::filesystem::path operator/(const std::string& name) const { return m_path / name; }
  // Writes `bytes` to `relative` (its folders made as needed); its full path.
  std::filesystem::path Write(const std::string& relative, const std::string& bytes) const;

 private:
  std::filesystem::path m_path;
};

}  // namespace vantor::test
