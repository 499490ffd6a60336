#include "support/ScratchFolder.h"

#include <stdlib.h>

#include <fstream>
#include <stdexcept>

namespace vantor::test {

namespace fs = std::filesystem;

ScratchFolder::ScratchFolder(const std::string& tag) {
  std::string name = (fs::temp_directory_path() / ("vantor_" + tag + "_XXXXXX")).string();
  // A test without its folder would write somewhere it must not.
  if (!::mkdtemp(name.data())) throw std::runtime_error("cannot make a scratch folder " + name);
  m_path = name;
}

ScratchFolder::~ScratchFolder() {
  std::error_code ec;
  // A test may have left a part read-only on purpose.
  for (auto it = fs::recursive_directory_iterator(
           m_path, fs::directory_options::skip_permission_denied, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec))
    if (it->is_directory(ec))
      fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
  fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(m_path, ec);
}

fs::path ScratchFolder::Write(const std::string& relative, const std::string& bytes) const {
  const fs::path p = m_path / relative;
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary) << bytes;
  return p;
}

}  // namespace vantor::test
