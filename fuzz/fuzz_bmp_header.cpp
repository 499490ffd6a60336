// Fuzz target for the snapshot's BMP writing: the input is the frame block.
// The 14-byte file header must always describe the block it is written for,
// a header that parses must describe rows that lie inside the block, and the
// file written through a writer that accepts random short counts must hold
// the header and the block unchanged.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/Snapshot.h"

namespace {

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "bmp: %s\n", what);
  std::abort();
}

std::uint32_t U32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t(p[3]) << 24);
}
std::uint16_t U16(const std::uint8_t* p) {
  return std::uint16_t(p[0] | (p[1] << 8));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  // The first byte shapes the writer; the rest is the frame block.
  const std::uint8_t shape = data[0];
  const std::span<const std::uint8_t> dib(data + 1, size - 1);

  const auto header = vantor::MakeBmpFileHeader(dib);
  Check(header.has_value() == (dib.size() >= vantor::kBitmapInfoHeaderSize), "header presence");
  if (header) {
    const std::uint8_t* h = header->data();
    Check(h[0] == 'B' && h[1] == 'M', "magic");
    Check(U32(h + 2) == dib.size() + vantor::kBitmapFileHeaderSize, "file size field");
    Check(U16(h + 6) == 0 && U16(h + 8) == 0, "reserved fields");
    const std::uint16_t bits = U16(dib.data() + 14);
    Check(U32(h + 10) == vantor::BmpPixelOffset(bits), "pixel offset field");
  }

  if (const auto layout = vantor::ParseDib(dib)) {
    Check(layout->width > 0 && layout->height > 0, "size not positive");
    Check(layout->pixelOffset + layout->stride * std::size_t(layout->height) <= dib.size(),
          "rows outside the block");
    Check(layout->stride % 4 == 0, "rows not padded to 4 bytes");
    // The standard layout (plain header, full palette or none, no masks): the
    // file header must point exactly at the rows.
    if (U32(dib.data()) == vantor::kBitmapInfoHeaderSize && layout->compression == 0 &&
        (layout->bitCount > 8 || layout->paletteEntries == (1u << layout->bitCount)))
      Check(
          header && U32(header->data() + 10) == vantor::kBitmapFileHeaderSize + layout->pixelOffset,
          "file header does not point at the rows");
    // Converting a huge picture only costs time; the rows are already checked.
    if (std::uint64_t(layout->width) * std::uint64_t(layout->height) <= (1u << 16)) {
      const auto rgb = vantor::DibToRgb(dib);
      Check(rgb && rgb->width == layout->width && rgb->height == layout->height &&
                rgb->rgb.size() == std::size_t(rgb->width) * rgb->height * 3,
            "conversion of a valid block");
    }
  } else {
    Check(!vantor::DibToRgb(dib), "conversion of a block that does not parse");
  }

  // Writing: the writer takes at most `shape % 7 + 1` bytes at a time and,
  // for some shapes, takes no more than failAt bytes in all, as a full disk.
  static const std::string dir = [] {
    char d[] = "/tmp/vantor_fuzz_bmp_XXXXXX";
    Check(::mkdtemp(d) != nullptr, "mkdtemp");
    return std::string(d);
  }();
  const std::string path = dir + "/snapshot001.bmp";
  std::vector<std::uint8_t> written;
  const std::size_t chunk = shape % 7 + 1;
  const bool failing = (shape & 0x80) != 0;
  const std::size_t failAt = (shape & 0x78) * 2u;
  vantor::WriteFn writer = [&](int, const void* buf, std::size_t n) -> ssize_t {
    std::size_t k = n < chunk ? n : chunk;
    if (failing) {
      if (written.size() >= failAt) {
        errno = ENOSPC;
        return -1;
      }
      k = std::min(k, failAt - written.size());
    }
    const auto* p = static_cast<const std::uint8_t*>(buf);
    written.insert(written.end(), p, p + k);
    return static_cast<ssize_t>(k);
  };
  int error = -1;
  const bool ok = vantor::WriteBmpFile(path, dib, &error, writer);
  const std::size_t total = dib.size() + vantor::kBitmapFileHeaderSize;
  if (!header) {
    Check(!ok && error == EINVAL, "a block without a header was written");
  } else if (failing && failAt < total) {
    Check(!ok && error == ENOSPC, "a failed write reported success");
    Check(::access(path.c_str(), F_OK) != 0, "a failed write left a file");
  } else {
    Check(ok && error == 0, "write failed");
    Check(written.size() == total, "written size");
    Check(std::memcmp(written.data(), header->data(), header->size()) == 0, "written header");
    Check(std::memcmp(written.data() + 14, dib.data(), dib.size()) == 0, "written block");
    ::unlink(path.c_str());
  }
  return 0;
}
