#pragma once
// Image filters over plain pixel buffers: 32 bits per pixel, rows top-down,
// bytes blue, green, red, reserved in memory (a std::uint32_t holds
// 0xXXRRGGBB). Nothing here needs a window; CImageBitmap converts its bitmap
// to and from such a buffer around ApplyFilters.
#include <bit>
#include <cstdint>
#include <vector>

#include "common/Result.h"

// 0x00BBGGRR, as colours are exchanged throughout the program.
using COLORREF = std::uint32_t;

static_assert(std::endian::native == std::endian::little,
              "pixel buffers are read as little-endian 32-bit words");

namespace vantor {

using Pixel = std::uint32_t;

// "No background": buffers are then filled white.
inline constexpr COLORREF kNoBackground = 0xFFFFFFFFu;

inline constexpr COLORREF MakeColorRef(int r, int g, int b) {
  return static_cast<COLORREF>((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16));
}
// COLORREF -> pixel word (reserved byte 0), and back.
inline constexpr Pixel ColorRefToPixel(COLORREF c) {
  return ((c & 0xFFu) << 16) | (c & 0xFF00u) | ((c >> 16) & 0xFFu);
}
inline constexpr COLORREF PixelToColorRef(Pixel p) {
  return ((p >> 16) & 0xFFu) | (p & 0xFF00u) | ((p & 0xFFu) << 16);
}

struct ImageSize {
  int cx = 0;
  int cy = 0;
  bool operator==(const ImageSize&) const = default;
};

// Fills width x height pixels with `colour`: white (or "no background") and
// black by filling bytes, any other colour by doubling copies of the first
// pixel along the first row and then of whole rows down the buffer.
void FillPixels(Pixel* buffer, int width, int height, COLORREF colour);

}  // namespace vantor

class CImageFilter {
 public:
  explicit CImageFilter(BOOL bSmooth = FALSE) : m_bSmooth(bSmooth) {}
  virtual ~CImageFilter() = default;
  // Size of the result for a source of width x height.
  virtual vantor::ImageSize GetOutputSize(int width, int height) const { return {width, height}; }
  // Writes the result into dst, which holds dstWidth x dstHeight pixels
  // already filled with the background colour.
  virtual BOOL Process(const vantor::Pixel* src, int srcWidth, int srcHeight, vantor::Pixel* dst,
                       int dstWidth, int dstHeight) const;

 protected:
  BOOL m_bSmooth;
};

class CRotateFilter : public CImageFilter {
 public:
  CRotateFilter(int degrees, BOOL bSmooth);
  vantor::ImageSize GetOutputSize(int width, int height) const override;
  BOOL Process(const vantor::Pixel* src, int srcWidth, int srcHeight, vantor::Pixel* dst,
               int dstWidth, int dstHeight) const override;
  int Degrees() const { return m_nDegrees; }  // brought into 0..359
  // Whole degrees brought into 0..359.
  static int NormalizeDegrees(int degrees);

 private:
  int m_nDegrees;
  double m_dSin;
  double m_dCos;
};

class CSkewFilter : public CImageFilter {
 public:
  CSkewFilter(int dx, int dy, BOOL bSmooth) : CImageFilter(bSmooth), m_nDx(dx), m_nDy(dy) {}
  vantor::ImageSize GetOutputSize(int width, int height) const override;
  BOOL Process(const vantor::Pixel* src, int srcWidth, int srcHeight, vantor::Pixel* dst,
               int dstWidth, int dstHeight) const override;

 private:
  int m_nDx;
  int m_nDy;
};

class CGreyscaleFilter : public CImageFilter {
 public:
  BOOL Process(const vantor::Pixel* src, int srcWidth, int srcHeight, vantor::Pixel* dst,
               int dstWidth, int dstHeight) const override;
};

class CBlurFilter : public CImageFilter {
 public:
  explicit CBlurFilter(int level) : m_nLevel(level) {}
  BOOL Process(const vantor::Pixel* src, int srcWidth, int srcHeight, vantor::Pixel* dst,
               int dstWidth, int dstHeight) const override;

 private:
  int m_nLevel;
};

class CSharpenFilter : public CImageFilter {
 public:
  explicit CSharpenFilter(int level) : m_nLevel(level) {}
  BOOL Process(const vantor::Pixel* src, int srcWidth, int srcHeight, vantor::Pixel* dst,
               int dstWidth, int dstHeight) const override;

 private:
  int m_nLevel;
};

class CScaleFilter : public CImageFilter {
 public:
  explicit CScaleFilter(double factor) : m_dFactor(factor) {}
  vantor::ImageSize GetOutputSize(int width, int height) const override;
  BOOL Process(const vantor::Pixel* src, int srcWidth, int srcHeight, vantor::Pixel* dst,
               int dstWidth, int dstHeight) const override;

 private:
  double m_dFactor;
};

class CMirrorFilter : public CImageFilter {
 public:
  CMirrorFilter(BOOL bHorizontal, BOOL bVertical)
      : m_bHorizontal(bHorizontal), m_bVertical(bVertical) {}
  BOOL Process(const vantor::Pixel* src, int srcWidth, int srcHeight, vantor::Pixel* dst,
               int dstWidth, int dstHeight) const override;

 private:
  BOOL m_bHorizontal;
  BOOL m_bVertical;
};

class CInvertFilter : public CImageFilter {
 public:
  BOOL Process(const vantor::Pixel* src, int srcWidth, int srcHeight, vantor::Pixel* dst,
               int dstWidth, int dstHeight) const override;
};

class CReplaceColorFilter : public CImageFilter {
 public:
  CReplaceColorFilter(COLORREF from, COLORREF to) : m_crFrom(from), m_crTo(to) {}
  BOOL Process(const vantor::Pixel* src, int srcWidth, int srcHeight, vantor::Pixel* dst,
               int dstWidth, int dstHeight) const override;

 private:
  COLORREF m_crFrom;
  COLORREF m_crTo;
};

namespace vantor {

// Runs `filters` in order over the width x height image in `pixels`, each on
// the previous one's result, with areas a filter leaves uncovered in `crBack`.
// On success `pixels`, `width` and `height` hold the result; on failure they
// are left as they were. An empty list succeeds without change.
BOOL ApplyFilters(std::vector<Pixel>& pixels, int& width, int& height,
                  const std::vector<const CImageFilter*>& filters, COLORREF crBack);

// The largest image ApplyFilters will produce or hold (pixels); larger
// requests (a huge scale factor, say) fail instead of exhausting memory.
inline constexpr long long kMaxFilterPixels = 1LL << 27;

}  // namespace vantor
