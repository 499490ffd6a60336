// Fuzz target for GetImageType: checked against a plain search that compares
// letters without case one position at a time.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "widgets/ImageBitmapType.h"

namespace {

char Upper(char c) {
  return (c >= 'a' && c <= 'z') ? char(c - 'a' + 'A') : c;
}

// Whether `ext` occurs in `s` at some position after the first character.
bool OccursAfterFirst(const std::string& s, const char* ext) {
  const std::size_t n = std::char_traits<char>::length(ext);
  for (std::size_t i = 1; i + n <= s.size(); ++i) {
    std::size_t k = 0;
    while (k < n && Upper(s[i + k]) == ext[k]) ++k;
    if (k == n) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path(reinterpret_cast<const char*>(data), size);
  int expected = vantor::kImageUnknown;
  if (OccursAfterFirst(path, ".BMP"))
    expected = vantor::kImageBmp;
  else if (OccursAfterFirst(path, ".ICO"))
    expected = vantor::kImageIco;
  else if (OccursAfterFirst(path, ".JPG") || OccursAfterFirst(path, ".JPEG"))
    expected = vantor::kImageJpeg;
  else if (OccursAfterFirst(path, ".GIF"))
    expected = vantor::kImageGif;
  const int got = vantor::GetImageType(path);
  if (got != expected) {
    std::fprintf(stderr, "GetImageType gave %d, expected %d\n", got, expected);
    std::abort();
  }
  return 0;
}
