#pragma once
// The skin module: gives the main window its dark look from a skin file
// (format in SkinFile.h). Four calls, used by start-up and the window's
// set-up. None of them reports a failure to the user: without a usable skin
// file the program simply runs unskinned.
#include <string>

class wxWindow;

namespace vantor {

// Starts the module for the application `appName`. The two reserved
// arguments must be 0.
bool SkinInit(const char* appName, int reserved1, int reserved2);

// Loads a skin file and makes it the current skin. A missing, unreadable or
// malformed file leaves no current skin (the program stays unskinned).
bool SkinLoadFile(const std::string& path);

// Applies skin object `objectName` to `window` and, through the objects named
// after their class (Label, Slider, Choice, List, Spin) or after their window
// name (for example "Digit"), to its descendants. False when there is no
// current skin or no such object; the window is left as it was then.
bool SkinSetWindowSkin(wxWindow* window, const char* objectName);

// Keeps the skin off a window that draws all of itself (it is skipped by
// SkinSetWindowSkin, also when applied later).
bool SkinExcludeWindow(wxWindow* window);

// Whether a skin is loaded now (tests and diagnostics).
bool SkinIsLoaded();

// Where start-up looks for the skin file: "Skin/Vantor.smf" relative to the
// current directory, then beside the program's data files. The relative path
// when neither exists (loading it then fails quietly).
std::string LocateSkinFile();

}  // namespace vantor
