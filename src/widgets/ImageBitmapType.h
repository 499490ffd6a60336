#pragma once
// Picture type from a file name, shared by CImageBitmap and anything that
// needs the same decision without a window.
#include <string>

namespace vantor {

enum ImageType { kImageBmp = 0, kImageIco = 1, kImageJpeg = 2, kImageGif = 3, kImageUnknown = 4 };

// Looks for ".BMP", ".ICO", ".JPG"/".JPEG", ".GIF" (in that order of
// preference, case-insensitive) anywhere after the first character of the
// path; the first that occurs decides. Returns an ImageType.
int GetImageType(const std::string& path);

}  // namespace vantor
