#include "widgets/ImageBitmapType.h"

#include <algorithm>

namespace vantor {

int GetImageType(const std::string& path) {
  std::string upper = path;
  // Only ASCII letters matter for the extensions; UTF-8 bytes above 0x7F stay.
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : char(c); });
  const auto after0 = [&](const char* ext) {
    return upper.size() > 1 && upper.find(ext, 1) != std::string::npos;
  };
  if (after0(".BMP")) return kImageBmp;
  if (after0(".ICO")) return kImageIco;
  if (after0(".JPG") || after0(".JPEG")) return kImageJpeg;
  if (after0(".GIF")) return kImageGif;
  return kImageUnknown;
}

}  // namespace vantor
