#pragma once
// The 40-byte BITMAPINFOHEADER that starts a packed device-independent bitmap
// (the player's current image, the snapshot files). Little-endian whatever
// the machine.
//
//   std::vector<std::uint8_t> dib(kDibInfoHeaderSize + stride * h);
//   WriteDibInfoHeader(dib.data(), w, h, 24, stride * h);   // bottom-up rows
#include <cstddef>
#include <cstdint>

namespace vantor {

constexpr std::size_t kDibInfoHeaderSize = 40;

void PutLe16(std::uint8_t* p, std::uint16_t v);
void PutLe32(std::uint8_t* p, std::uint32_t v);

// Writes the header at `p` (kDibInfoHeaderSize bytes): one plane, no
// compression, no colour table counts, no resolution. A negative `height`
// means top-down rows.
void WriteDibInfoHeader(std::uint8_t* p, std::int32_t width, std::int32_t height,
                        std::uint16_t bitCount, std::uint32_t imageBytes);

}  // namespace vantor
