#include "common/DibHeader.h"

#include <cstring>

namespace vantor {

void PutLe16(std::uint8_t* p, std::uint16_t v) {
  p[0] = std::uint8_t(v);
  p[1] = std::uint8_t(v >> 8);
}

void PutLe32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (8 * i));
}

void WriteDibInfoHeader(std::uint8_t* p, std::int32_t width, std::int32_t height,
                        std::uint16_t bitCount, std::uint32_t imageBytes) {
  std::memset(p, 0, kDibInfoHeaderSize);
  PutLe32(p, std::uint32_t(kDibInfoHeaderSize));  // biSize
  PutLe32(p + 4, std::uint32_t(width));
  PutLe32(p + 8, std::uint32_t(height));
  PutLe16(p + 12, 1);  // biPlanes
  PutLe16(p + 14, bitCount);
  // biCompression 0 (BI_RGB) and the rest stay zero.
  PutLe32(p + 20, imageBytes);
}

}  // namespace vantor
