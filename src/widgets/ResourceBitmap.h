#pragma once
#include <wx/bitmap.h>
#include <wx/image.h>

#include <string>

namespace vantor {

// The file of bitmap resource `id`: "bitmaps/<id>.png" in the program's data
// folders (see DataPaths.h), or "" when there is none.
std::string ResourceBitmapPath(int id);

// Bitmap resource `id` (artwork built with the program and looked up by its
// numeric ID). An invalid bitmap when the artwork is missing or unreadable;
// callers draw nothing then rather than fail.
wxBitmap LoadResourceBitmap(int id);
wxImage LoadResourceImage(int id);

}  // namespace vantor
