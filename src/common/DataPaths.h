#pragma once
#include <string>
#include <vector>

namespace vantor {

// Folders searched for the program's data (skin, artwork, catalogues), most
// specific first: $VANTOR_DATA_DIR, the build tree beside the executable, the
// installed share/vantor relative to the executable's prefix, and the
// configured install folder.
std::vector<std::string> DataDirectories();

// The first existing "<dir>/<relative>" over DataDirectories(), or "".
std::string FindDataFile(const std::string& relative);

// Folders searched for message catalogues (<dir>/zh_CN/LC_MESSAGES/vantor.mo).
std::vector<std::string> LocaleDirectories();

// The running executable's folder ("" when unknown).
std::string ExecutableDirectory();

}  // namespace vantor
