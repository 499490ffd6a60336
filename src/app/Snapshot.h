#pragma once
// Snapshot files and the frame block they are made from. No window needed: the
// GUI layer grabs the frame and asks for a file name, everything else is here.
#include <sys/types.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "common/SafeWrite.h"

namespace vantor {

// A frame as the player hands it over: a packed device-independent bitmap (a
// 40-byte BITMAPINFOHEADER, the colour table if any, the pixel rows), allocated
// with array new. Owning it here frees it on every path out of a command.
struct CapturedFrame {
  std::unique_ptr<std::uint8_t[]> bytes;
  std::size_t size = 0;

  CapturedFrame() = default;
  // Takes ownership of a block from array new (null or size 0: no frame).
  CapturedFrame(std::uint8_t* block, std::size_t blockSize) : bytes(block), size(blockSize) {}
  static CapturedFrame Copy(std::span<const std::uint8_t> block);

  explicit operator bool() const { return bytes && size > 0; }
  std::span<const std::uint8_t> span() const { return {bytes.get(), bytes ? size : 0}; }
};

// What the header of a packed DIB says, checked against the block's size.
struct DibLayout {
  std::int32_t width = 0;
  std::int32_t height = 0;  // always positive; see bottomUp
  bool bottomUp = true;
  std::uint16_t bitCount = 0;
  std::uint32_t compression = 0;
  std::uint32_t paletteEntries = 0;
  std::size_t pixelOffset = 0;  // from the start of the block
  std::size_t stride = 0;       // bytes per row, rows padded to 4 bytes
};

constexpr std::size_t kBitmapInfoHeaderSize = 40;
constexpr std::size_t kBitmapFileHeaderSize = 14;

// nullopt when the block is too short for its own header, palette and rows, or
// describes something other than an uncompressed 1/4/8/16/24/32-bit picture.
std::optional<DibLayout> ParseDib(std::span<const std::uint8_t> dib);

// Offset of the pixel rows written into a snapshot's file header: the 14-byte
// file header, the 40-byte info header, and for 8 bits or fewer a colour table of
// 2^bitcount entries.
std::uint32_t BmpPixelOffset(std::uint16_t bitCount);

// The 14-byte file header for a snapshot of `dib`; nullopt for a block shorter
// than its info header or too large for the 32-bit size field.
std::optional<std::array<std::uint8_t, kBitmapFileHeaderSize>> MakeBmpFileHeader(
    std::span<const std::uint8_t> dib);

// Writes the file header then the frame block unchanged to `path`, through
// WriteFileSafely: a failure leaves no truncated picture looking saved and any
// file replaced as it was, and `*error` gets errno.
bool WriteBmpFile(const std::string& path, std::span<const std::uint8_t> dib, int* error = nullptr,
                  const WriteFn& write = {});

// The frame as top-down RGB bytes, 3 per pixel (for printing and checks).
struct RgbImage {
  int width = 0;
  int height = 0;
  std::vector<std::uint8_t> rgb;
};
std::optional<RgbImage> DibToRgb(std::span<const std::uint8_t> dib);

// The pictures of two cameras side by side in one 24-bit DIB: `left` as it
// is, `right` scaled to its height (keeping its shape) beside it. An empty
// frame when either block is no picture.
CapturedFrame SideBySide(std::span<const std::uint8_t> left, std::span<const std::uint8_t> right);

// The process-wide snapshot counter: returns the number to propose and advances
// it. Every snapshot command that got a frame calls it once, saved or not.
int TakeSnapshotNumber();
// "snapshot%03d.bmp"
std::string SnapshotFileName(int n);

// Appends ".ext" when the file name of `path` has no extension (what a save
// dialog's default extension does).
std::string ApplyDefaultExtension(const std::string& path, const std::string& ext);

// Where File Save copies the movie: the chosen path with ".mov" appended unless
// the name already ends in it (any case), and the file name (only the name:
// the folders must keep their case to exist) in upper case.
// /home/user/clips/backup.mov -> /home/user/clips/BACKUP.MOV.
std::string FileSaveDestination(const std::string& chosenPath);

// Upper case of a UTF-8 string, character by character; bytes that are not valid
// UTF-8 are kept as they are (file names on Linux are bytes).
std::string Utf8ToUpper(const std::string& s);

}  // namespace vantor
