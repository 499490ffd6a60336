#pragma once
// Window-free pieces of the open dialog: the filter text and the paths of the
// selection.
#include <string>
#include <string_view>
#include <utility>

namespace vantor {

// The filter the Open File command offers. The camera writes both .MOV and .mp4.
inline constexpr const char* kMovieFileFilter =
    "Movie File(*.mov;*.mp4)|*.mov;*.mp4|All File(*.*)|*.*||";

// Turns a "description|pattern|...||" filter into a wxFileDialog wildcard for
// the GTK chooser: the closing "||" and a description without a pattern are
// dropped; patterns match letters in either case (the GTK chooser compares
// them exactly, and the camera names its files AMBA0001.MOV); "*.*" becomes "*"
// so that "All File" also lists names without a dot.
std::string FilterToWildcard(std::string_view filter);

// folder + "/" + name, without doubling the separator after "/" (the root).
std::string JoinFolderAndName(std::string_view folder, std::string_view name);

// A full path split at its last "/" into folder and name ("/a.mov" -> "/", "a.mov").
std::pair<std::string, std::string> SplitFolderAndName(std::string_view path);

}  // namespace vantor
