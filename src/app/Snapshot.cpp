#include "app/Snapshot.h"

#include <fcntl.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>
#include <wctype.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <limits>

#include "common/DibHeader.h"
#include "common/Utf8.h"

namespace vantor {

namespace {

constexpr std::uint32_t kBiRgb = 0;
constexpr std::uint32_t kBiBitfields = 3;

std::uint16_t U16(const std::uint8_t* p) {
  return std::uint16_t(p[0] | p[1] << 8);
}
std::uint32_t U32(const std::uint8_t* p) {
  return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
         std::uint32_t(p[3]) << 24;
}
void PutU16(std::uint8_t* p, std::uint16_t v) {
  p[0] = std::uint8_t(v);
  p[1] = std::uint8_t(v >> 8);
}
void PutU32(std::uint8_t* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(v >> (8 * i));
}

// Scales the bits of `value` selected by `mask` to 0..255.
std::uint8_t MaskedChannel(std::uint32_t value, std::uint32_t mask) {
  if (mask == 0) return 0;
  int shift = 0;
  while (!((mask >> shift) & 1u)) ++shift;
  const std::uint32_t m = mask >> shift;
  const std::uint32_t v = (value >> shift) & m;
  return std::uint8_t((std::uint64_t(v) * 255 + m / 2) / m);
}

}  // namespace

CapturedFrame CapturedFrame::Copy(std::span<const std::uint8_t> block) {
  if (block.empty()) return {};
  auto* bytes = new std::uint8_t[block.size()];
  std::memcpy(bytes, block.data(), block.size());
  return CapturedFrame(bytes, block.size());
}

std::optional<DibLayout> ParseDib(std::span<const std::uint8_t> dib) {
  if (dib.size() < kBitmapInfoHeaderSize) return std::nullopt;
  const std::uint8_t* p = dib.data();
  const std::uint32_t headerSize = U32(p);
  if (headerSize < kBitmapInfoHeaderSize || headerSize > dib.size()) return std::nullopt;
  DibLayout d;
  d.width = std::int32_t(U32(p + 4));
  const std::int32_t height = std::int32_t(U32(p + 8));
  d.bitCount = U16(p + 14);
  d.compression = U32(p + 16);
  const std::uint32_t colorsUsed = U32(p + 32);
  if (d.width <= 0 || height == 0 || height == std::numeric_limits<std::int32_t>::min())
    return std::nullopt;
  d.bottomUp = height > 0;
  d.height = height > 0 ? height : -height;
  switch (d.bitCount) {
    case 1:
    case 4:
    case 8:
    case 24:
      if (d.compression != kBiRgb) return std::nullopt;
      break;
    case 16:
    case 32:
      if (d.compression != kBiRgb && d.compression != kBiBitfields) return std::nullopt;
      break;
    default:
      return std::nullopt;
  }
  std::uint64_t offset = headerSize;
  if (d.bitCount <= 8) {
    const std::uint32_t maxEntries = 1u << d.bitCount;
    if (colorsUsed > maxEntries) return std::nullopt;
    d.paletteEntries = colorsUsed ? colorsUsed : maxEntries;
    offset += 4ull * d.paletteEntries;
  } else if (d.compression == kBiBitfields && headerSize == kBitmapInfoHeaderSize) {
    offset += 12;  // the three colour masks follow a plain info header
  } else if (d.compression == kBiBitfields && headerSize < kBitmapInfoHeaderSize + 12) {
    return std::nullopt;  // a longer header that stops short of its own masks
  }
  const std::uint64_t stride = (std::uint64_t(d.width) * d.bitCount + 31) / 32 * 4;
  if (offset + stride * std::uint64_t(d.height) > dib.size()) return std::nullopt;
  d.pixelOffset = std::size_t(offset);
  d.stride = std::size_t(stride);
  return d;
}

std::uint32_t BmpPixelOffset(std::uint16_t bitCount) {
  const std::uint32_t base = kBitmapFileHeaderSize + kBitmapInfoHeaderSize;
  return bitCount <= 8 ? base + 4u * (1u << bitCount) : base;
}

std::optional<std::array<std::uint8_t, kBitmapFileHeaderSize>> MakeBmpFileHeader(
    std::span<const std::uint8_t> dib) {
  if (dib.size() < kBitmapInfoHeaderSize) return std::nullopt;
  if (dib.size() > std::numeric_limits<std::uint32_t>::max() - kBitmapFileHeaderSize)
    return std::nullopt;
  std::array<std::uint8_t, kBitmapFileHeaderSize> h{};
  h[0] = 'B';
  h[1] = 'M';
  PutU32(&h[2], std::uint32_t(dib.size() + kBitmapFileHeaderSize));
  PutU16(&h[6], 0);
  PutU16(&h[8], 0);
  PutU32(&h[10], BmpPixelOffset(U16(dib.data() + 14)));
  return h;
}

bool WriteBmpFile(const std::string& path, std::span<const std::uint8_t> dib, int* error,
                  const WriteFn& write) {
  const auto header = MakeBmpFileHeader(dib);
  int e = EINVAL;
  if (header) {
    SafeWriteOptions options;
    options.write = write;
    e = WriteFileSafely(
        path,
        {std::string_view(reinterpret_cast<const char*>(header->data()), header->size()),
         std::string_view(reinterpret_cast<const char*>(dib.data()), dib.size())},
        options);
  }
  if (error) *error = e;
  errno = e;
  return e == 0;
}

std::optional<RgbImage> DibToRgb(std::span<const std::uint8_t> dib) {
  const auto d = ParseDib(dib);
  if (!d) return std::nullopt;
  const std::uint8_t* base = dib.data();
  const std::uint8_t* palette = base + U32(base);
  std::uint32_t rMask = 0, gMask = 0, bMask = 0;
  if (d->bitCount == 16 || d->bitCount == 32) {
    if (d->compression == kBiBitfields) {
      const std::uint8_t* m = base + 40;  // masks in a V4/V5 header sit at the same place
      rMask = U32(m);
      gMask = U32(m + 4);
      bMask = U32(m + 8);
    } else if (d->bitCount == 16) {
      rMask = 0x7C00;
      gMask = 0x03E0;
      bMask = 0x001F;
    } else {
      rMask = 0x00FF0000;
      gMask = 0x0000FF00;
      bMask = 0x000000FF;
    }
  }
  RgbImage img;
  img.width = d->width;
  img.height = d->height;
  img.rgb.resize(std::size_t(d->width) * d->height * 3);
  for (int y = 0; y < d->height; ++y) {
    const int srcRow = d->bottomUp ? d->height - 1 - y : y;
    const std::uint8_t* row = base + d->pixelOffset + std::size_t(srcRow) * d->stride;
    std::uint8_t* out = img.rgb.data() + std::size_t(y) * d->width * 3;
    for (int x = 0; x < d->width; ++x, out += 3) {
      switch (d->bitCount) {
        case 1:
        case 4:
        case 8: {
          const int perByte = 8 / d->bitCount;
          const std::uint8_t byte = row[x / perByte];
          const int shift = 8 - d->bitCount * (x % perByte + 1);
          const std::uint32_t index = (byte >> shift) & ((1u << d->bitCount) - 1);
          if (index < d->paletteEntries) {
            const std::uint8_t* q = palette + 4 * index;
            out[0] = q[2];
            out[1] = q[1];
            out[2] = q[0];
          } else {
            out[0] = out[1] = out[2] = 0;
          }
          break;
        }
        case 24: {
          const std::uint8_t* q = row + 3 * x;
          out[0] = q[2];
          out[1] = q[1];
          out[2] = q[0];
          break;
        }
        default: {
          const std::uint32_t v = d->bitCount == 16 ? U16(row + 2 * x) : U32(row + 4 * x);
          out[0] = MaskedChannel(v, rMask);
          out[1] = MaskedChannel(v, gMask);
          out[2] = MaskedChannel(v, bMask);
          break;
        }
      }
    }
  }
  return img;
}

namespace {
std::atomic<int> s_nSnapshot{0};
}

int TakeSnapshotNumber() {
  return s_nSnapshot.fetch_add(1);
}

std::string SnapshotFileName(int n) {
  char buf[32];
  std::snprintf(buf, sizeof buf, "snapshot%03d.bmp", n);
  return buf;
}

std::string ApplyDefaultExtension(const std::string& path, const std::string& ext) {
  const auto slash = path.rfind('/');
  const std::size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
  if (nameStart >= path.size() || ext.empty()) return path;
  const auto dot = path.find('.', nameStart + 1);  // a leading dot hides, it is no extension
  if (dot != std::string::npos) return path;
  return path + "." + ext;
}

std::string Utf8ToUpper(const std::string& s) {
  static const locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(0));
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    char32_t cp = 0;
    const std::size_t len = DecodeUtf8(s, i, cp);
    if (len == 0) {
      out += s[i++];
      continue;
    }
    char32_t up = cp;
    if (cp < 0x80) {
      if (cp >= 'a' && cp <= 'z') up = cp - 'a' + 'A';
    } else if (utf8) {
      up = char32_t(::towupper_l(wint_t(cp), utf8));
    }
    if (up == cp)
      out.append(s, i, len);
    else
      AppendUtf8(up, out);
    i += len;
  }
  return out;
}

std::string FileSaveDestination(const std::string& chosenPath) {
  // "trip.mov" typed in the chooser already has its extension.
  const auto slash0 = chosenPath.rfind('/');
  const std::string typed =
      slash0 == std::string::npos ? chosenPath : chosenPath.substr(slash0 + 1);
  const bool hasExtension =
      typed.size() > 4 && Utf8ToUpper(typed.substr(typed.size() - 4)) == ".MOV";
  const std::string dest = hasExtension ? chosenPath : chosenPath + ".mov";
  const auto slash = dest.rfind('/');
  if (slash == std::string::npos) return Utf8ToUpper(dest);
  return dest.substr(0, slash + 1) + Utf8ToUpper(dest.substr(slash + 1));
}

CapturedFrame SideBySide(std::span<const std::uint8_t> left, std::span<const std::uint8_t> right) {
  const auto a = DibToRgb(left);
  const auto b = DibToRgb(right);
  if (!a || !b || a->height <= 0 || b->height <= 0) return {};
  const std::int64_t bw64 = std::max<std::int64_t>(1, std::int64_t(b->width) * a->height / b->height);
  const std::int64_t width64 = a->width + bw64;
  const std::int64_t stride64 = (width64 * 3 + 3) / 4 * 4;
  if (stride64 * a->height > (std::int64_t(1) << 30)) return {};  // no sane snapshot is this big
  const int bw = int(bw64), width = int(width64), height = a->height;
  const std::size_t stride = std::size_t(stride64);
  const std::size_t size = kDibInfoHeaderSize + stride * height;
  auto block = std::make_unique<std::uint8_t[]>(size);
  std::fill_n(block.get(), size, std::uint8_t(0));
  WriteDibInfoHeader(block.get(), width, height, 24, std::uint32_t(stride * height));
  for (int y = 0; y < height; ++y) {
    // Bottom-up rows, blue-green-red pixels.
    std::uint8_t* out = block.get() + kDibInfoHeaderSize + std::size_t(height - 1 - y) * stride;
    const std::uint8_t* ra = a->rgb.data() + std::size_t(y) * a->width * 3;
    for (int x = 0; x < a->width; ++x, out += 3, ra += 3) {
      out[0] = ra[2];
      out[1] = ra[1];
      out[2] = ra[0];
    }
    // The smaller picture grows by picking the nearest pixel: a snapshot
    // shows what the camera recorded, not a smoothed guess.
    const std::uint8_t* rb = b->rgb.data() + std::size_t(std::int64_t(y) * b->height / height) * b->width * 3;
    for (int x = 0; x < bw; ++x, out += 3) {
      const std::uint8_t* p = rb + std::size_t(std::int64_t(x) * b->width / bw) * 3;
      out[0] = p[2];
      out[1] = p[1];
      out[2] = p[0];
    }
  }
  return CapturedFrame(block.release(), size);
}

}  // namespace vantor
