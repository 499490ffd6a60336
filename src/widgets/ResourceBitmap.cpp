#include "widgets/ResourceBitmap.h"

#include <wx/log.h>

#include "common/DataPaths.h"

namespace vantor {

std::string ResourceBitmapPath(int id) {
  return FindDataFile("bitmaps/" + std::to_string(id) + ".png");
}

wxImage LoadResourceImage(int id) {
  const std::string path = ResourceBitmapPath(id);
  if (path.empty()) return wxImage();
  if (!wxImage::FindHandler(wxBITMAP_TYPE_PNG)) wxImage::AddHandler(new wxPNGHandler);
  wxLogNull quiet;  // a damaged file is reported by the invalid result, not a log window
  wxImage img;
  img.LoadFile(wxString::FromUTF8(path), wxBITMAP_TYPE_PNG);
  return img;
}

wxBitmap LoadResourceBitmap(int id) {
  wxImage img = LoadResourceImage(id);
  return img.IsOk() ? wxBitmap(img) : wxBitmap();
}

}  // namespace vantor
