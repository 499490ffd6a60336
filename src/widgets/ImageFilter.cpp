#include "widgets/ImageFilter.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>

using vantor::ImageSize;
using vantor::Pixel;

namespace {

constexpr double kPi = 3.141592653589793;
constexpr double kOneOver180 = 0.005555555555555556;

inline int ChB(Pixel p) {
  return static_cast<int>(p & 0xFFu);
}
inline int ChG(Pixel p) {
  return static_cast<int>((p >> 8) & 0xFFu);
}
inline int ChR(Pixel p) {
  return static_cast<int>((p >> 16) & 0xFFu);
}
inline Pixel Reserved(Pixel p) {
  return p & 0xFF000000u;
}
inline int Clamp255(int v) {
  return v < 0 ? 0 : (v > 255 ? 255 : v);
}
inline Pixel MakePixel(int r, int g, int b, Pixel reserved) {
  return reserved | (static_cast<Pixel>(r) << 16) | (static_cast<Pixel>(g) << 8) |
         static_cast<Pixel>(b);
}

void CopyImage(const Pixel* src, int width, int height, Pixel* dst) {
  std::memcpy(dst, src, sizeof(Pixel) * static_cast<size_t>(width) * height);
}

// Bilinear sample at (x, y) in pixel-index coordinates, neighbours clamped to
// the image so that edge pixels keep their own colour.
Pixel SampleBilinear(const Pixel* src, int w, int h, double x, double y) {
  int x0 = static_cast<int>(std::floor(x));
  int y0 = static_cast<int>(std::floor(y));
  const double fx = x - x0;
  const double fy = y - y0;
  const int x1 = std::clamp(x0 + 1, 0, w - 1);
  const int y1 = std::clamp(y0 + 1, 0, h - 1);
  x0 = std::clamp(x0, 0, w - 1);
  y0 = std::clamp(y0, 0, h - 1);
  const Pixel p00 = src[static_cast<size_t>(y0) * w + x0];
  const Pixel p10 = src[static_cast<size_t>(y0) * w + x1];
  const Pixel p01 = src[static_cast<size_t>(y1) * w + x0];
  const Pixel p11 = src[static_cast<size_t>(y1) * w + x1];
  // Weights in 1/256 steps: plenty for 8-bit channels, and integer
  // arithmetic keeps a smooth rotation of a full frame well inside its budget.
  // fx and fy lie in [0, 1): adding 0.5 rounds them, and is cheaper than lround
  // in this innermost loop.
  // NOLINTNEXTLINE(bugprone-incorrect-roundings)
  const unsigned wx = static_cast<unsigned>(fx * 256.0 + 0.5);
  // NOLINTNEXTLINE(bugprone-incorrect-roundings)
  const unsigned wy = static_cast<unsigned>(fy * 256.0 + 0.5);
  Pixel out = 0;
  for (int shift = 0; shift < 32; shift += 8) {
    const unsigned a = (p00 >> shift) & 0xFFu;
    const unsigned b = (p10 >> shift) & 0xFFu;
    const unsigned c = (p01 >> shift) & 0xFFu;
    const unsigned d = (p11 >> shift) & 0xFFu;
    const unsigned top = a * (256 - wx) + b * wx;
    const unsigned bottom = c * (256 - wx) + d * wx;
    const unsigned v = (top * (256 - wy) + bottom * wy + 32768u) >> 16;
    out |= static_cast<Pixel>(v > 255 ? 255 : v) << shift;
  }
  return out;
}

// A size computed in floating point, kept within int so that a silly factor
// becomes a size ApplyFilters refuses rather than an overflow.
int SafeDimension(double v) {
  if (!(v > 0)) return 0;
  if (v > static_cast<double>(INT_MAX / 2)) return INT_MAX / 2;
  return static_cast<int>(std::trunc(v));
}

}  // namespace

namespace vantor {

void FillPixels(Pixel* buffer, int width, int height, COLORREF colour) {
  if (width <= 0 || height <= 0) return;
  const size_t count = static_cast<size_t>(width) * height;
  if (colour == kNoBackground || colour == 0x00FFFFFFu) {
    std::memset(buffer, 0xFF, count * sizeof(Pixel));
    return;
  }
  if (colour == 0) {
    std::memset(buffer, 0, count * sizeof(Pixel));
    return;
  }
  buffer[0] = ColorRefToPixel(colour);
  size_t done = 1;
  while (done < static_cast<size_t>(width)) {
    const size_t n = std::min(done, static_cast<size_t>(width) - done);
    std::memcpy(buffer + done, buffer, n * sizeof(Pixel));
    done += n;
  }
  size_t rows = 1;
  while (rows < static_cast<size_t>(height)) {
    const size_t n = std::min(rows, static_cast<size_t>(height) - rows);
    std::memcpy(buffer + rows * width, buffer, n * width * sizeof(Pixel));
    rows += n;
  }
}

}  // namespace vantor

BOOL CImageFilter::Process(const Pixel* src, int srcWidth, int srcHeight, Pixel* dst, int dstWidth,
                           int dstHeight) const {
  const int w = std::min(srcWidth, dstWidth);
  const int h = std::min(srcHeight, dstHeight);
  for (int y = 0; y < h; ++y)
    std::memcpy(dst + static_cast<size_t>(y) * dstWidth, src + static_cast<size_t>(y) * srcWidth,
                sizeof(Pixel) * w);
  return TRUE;
}

// --- Rotate ---------------------------------------------------------------

int CRotateFilter::NormalizeDegrees(int degrees) {
  if (degrees >= 0) return degrees % 360;
  // Computed in long long: 359 - INT_MIN would overflow an int.
  return static_cast<int>(359 - ((359 - static_cast<long long>(degrees)) % 360));
}

CRotateFilter::CRotateFilter(int degrees, BOOL bSmooth)
    : CImageFilter(bSmooth), m_nDegrees(NormalizeDegrees(degrees)) {
  const double a = m_nDegrees * kPi * kOneOver180;
  m_dSin = std::sin(a);
  m_dCos = std::cos(a);
}

ImageSize CRotateFilter::GetOutputSize(int width, int height) const {
  // Exact sizes at the right angles, where sin/cos carry tiny residues that
  // would otherwise add a column.
  switch (m_nDegrees) {
    case 0:
    case 180:
      return {width, height};
    case 90:
    case 270:
      return {height, width};
    default:
      break;
  }
  const double w = std::fabs(width * m_dCos) + std::fabs(height * m_dSin);
  const double h = std::fabs(width * m_dSin) + std::fabs(height * m_dCos);
  return {SafeDimension(std::ceil(w - 1e-6)), SafeDimension(std::ceil(h - 1e-6))};
}

BOOL CRotateFilter::Process(const Pixel* src, int srcWidth, int srcHeight, Pixel* dst, int dstWidth,
                            int dstHeight) const {
  // Counter-clockwise on screen (y grows downwards). Each output pixel centre
  // is taken back by the inverse rotation about the centres of both images.
  const double c = m_dCos;
  const double s = m_dSin;
  const double srcCx = srcWidth / 2.0;
  const double srcCy = srcHeight / 2.0;
  for (int y = 0; y < dstHeight; ++y) {
    const double v = y + 0.5 - dstHeight / 2.0;
    const double bx = srcCx - v * s;
    const double by = srcCy + v * c;
    Pixel* row = dst + static_cast<size_t>(y) * dstWidth;
    for (int x = 0; x < dstWidth; ++x) {
      const double u = x + 0.5 - dstWidth / 2.0;
      const double sx = bx + u * c;
      const double sy = by + u * s;
      if (!(sx >= 0 && sy >= 0 && sx < srcWidth && sy < srcHeight)) continue;
      if (m_bSmooth) {
        row[x] = SampleBilinear(src, srcWidth, srcHeight, sx - 0.5, sy - 0.5);
      } else {
        row[x] = src[static_cast<size_t>(sy) * srcWidth + static_cast<size_t>(sx)];
      }
    }
  }
  return TRUE;
}

// --- Skew -----------------------------------------------------------------

ImageSize CSkewFilter::GetOutputSize(int width, int height) const {
  return {SafeDimension(static_cast<double>(width) + std::abs(static_cast<double>(m_nDx))),
          SafeDimension(static_cast<double>(height) + std::abs(static_cast<double>(m_nDy)))};
}

BOOL CSkewFilter::Process(const Pixel* src, int srcWidth, int srcHeight, Pixel* dst, int dstWidth,
                          int dstHeight) const {
  if (m_nDx == 0 && m_nDy == 0) {
    CopyImage(src, srcWidth, srcHeight, dst);
    return TRUE;
  }
  // Row r of the source moves right by rowShift(r), growing from 0 at the top
  // to dx at the bottom (from the bottom up when dx < 0); then column X of the
  // result moves down by colShift(X), growing over the result's width. The
  // two shifts are undone in reverse order for every output pixel.
  const double rowDen = std::max(srcHeight - 1, 1);
  const double colDen = std::max(dstWidth - 1, 1);
  const double dx = m_nDx, dy = m_nDy;
  const auto rowShift = [&](double r) {
    return dx >= 0 ? dx * r / rowDen : -dx * (srcHeight - 1 - r) / rowDen;
  };
  const auto colShift = [&](double c) {
    return dy >= 0 ? dy * c / colDen : -dy * (dstWidth - 1 - c) / colDen;
  };
  for (int X = 0; X < dstWidth; ++X) {
    const double ty = colShift(X);
    for (int Y = 0; Y < dstHeight; ++Y) {
      const double syf = Y - ty;
      const long iy = std::lround(syf);
      if (iy < 0 || iy >= srcHeight) continue;
      Pixel* out = dst + static_cast<size_t>(Y) * dstWidth + X;
      if (m_bSmooth) {
        const double sxf = X - rowShift(syf);
        const long ix = std::lround(sxf);
        if (ix < 0 || ix >= srcWidth) continue;
        *out = SampleBilinear(src, srcWidth, srcHeight, sxf, syf);
      } else {
        const long ix = std::lround(X - rowShift(static_cast<double>(iy)));
        if (ix < 0 || ix >= srcWidth) continue;
        *out = src[static_cast<size_t>(iy) * srcWidth + ix];
      }
    }
  }
  return TRUE;
}

// --- Greyscale, invert, replace colour, mirror -----------------------------

BOOL CGreyscaleFilter::Process(const Pixel* src, int srcWidth, int srcHeight, Pixel* dst, int,
                               int) const {
  const size_t n = static_cast<size_t>(srcWidth) * srcHeight;
  for (size_t i = 0; i < n; ++i) {
    const Pixel p = src[i];
    const int g = (3 * ChR(p) + 6 * ChG(p) + ChB(p)) / 10;
    dst[i] = MakePixel(g, g, g, Reserved(p));
  }
  return TRUE;
}

BOOL CInvertFilter::Process(const Pixel* src, int srcWidth, int srcHeight, Pixel* dst, int,
                            int) const {
  const size_t n = static_cast<size_t>(srcWidth) * srcHeight;
  for (size_t i = 0; i < n; ++i) dst[i] = src[i] ^ 0x00FFFFFFu;
  return TRUE;
}

BOOL CReplaceColorFilter::Process(const Pixel* src, int srcWidth, int srcHeight, Pixel* dst, int,
                                  int) const {
  const size_t n = static_cast<size_t>(srcWidth) * srcHeight;
  const Pixel from = vantor::ColorRefToPixel(m_crFrom & 0x00FFFFFFu);
  const Pixel to = vantor::ColorRefToPixel(m_crTo & 0x00FFFFFFu);
  for (size_t i = 0; i < n; ++i) {
    const Pixel p = src[i];
    dst[i] = (p & 0x00FFFFFFu) == from ? (Reserved(p) | to) : p;
  }
  return TRUE;
}

BOOL CMirrorFilter::Process(const Pixel* src, int srcWidth, int srcHeight, Pixel* dst, int,
                            int) const {
  for (int y = 0; y < srcHeight; ++y) {
    const int sy = m_bVertical ? srcHeight - 1 - y : y;
    const Pixel* in = src + static_cast<size_t>(sy) * srcWidth;
    Pixel* out = dst + static_cast<size_t>(y) * srcWidth;
    if (m_bHorizontal)
      std::reverse_copy(in, in + srcWidth, out);
    else
      std::memcpy(out, in, sizeof(Pixel) * srcWidth);
  }
  return TRUE;
}

// --- Blur -----------------------------------------------------------------

BOOL CBlurFilter::Process(const Pixel* src, int w, int h, Pixel* dst, int, int) const {
  if (m_nLevel == 0) {
    CopyImage(src, w, h, dst);
    return TRUE;
  }
  // Beyond a few hundred either way the result no longer changes (the centre
  // weight outweighs or cancels the eight neighbours); the clamp keeps the
  // weighted sums of any level within int.
  const int centre = 55 - 5 * std::clamp(m_nLevel, -100000, 100000);
  // Weighted mean over the neighbours inside the image. At high levels the
  // centre weight turns negative and an edge pixel's weights can cancel out;
  // such a pixel keeps its own colour.
  const auto general = [&](int x, int y) {
    int sb = 0, sg = 0, sr = 0, wsum = 0;
    for (int j = -1; j <= 1; ++j) {
      const int yy = y + j;
      if (yy < 0 || yy >= h) continue;
      for (int i = -1; i <= 1; ++i) {
        const int xx = x + i;
        if (xx < 0 || xx >= w) continue;
        const int wt = (i == 0 && j == 0) ? centre : 1;
        const Pixel p = src[static_cast<size_t>(yy) * w + xx];
        sb += wt * ChB(p);
        sg += wt * ChG(p);
        sr += wt * ChR(p);
        wsum += wt;
      }
    }
    const Pixel self = src[static_cast<size_t>(y) * w + x];
    if (wsum <= 0) return self;
    return MakePixel(Clamp255(sr / wsum), Clamp255(sg / wsum), Clamp255(sb / wsum), Reserved(self));
  };
  const int total = 8 + centre;
  for (int y = 0; y < h; ++y) {
    Pixel* out = dst + static_cast<size_t>(y) * w;
    if (y == 0 || y == h - 1 || total <= 0) {
      for (int x = 0; x < w; ++x) out[x] = general(x, y);
      continue;
    }
    const Pixel* up = src + static_cast<size_t>(y - 1) * w;
    const Pixel* mid = up + w;
    const Pixel* down = mid + w;
    out[0] = general(0, y);
    for (int x = 1; x < w - 1; ++x) {
      int sb = 0, sg = 0, sr = 0;
      for (int i = -1; i <= 1; ++i) {
        const Pixel a = up[x + i], b = down[x + i];
        sb += ChB(a) + ChB(b);
        sg += ChG(a) + ChG(b);
        sr += ChR(a) + ChR(b);
      }
      const Pixel l = mid[x - 1], r = mid[x + 1], c = mid[x];
      sb += ChB(l) + ChB(r) + centre * ChB(c);
      sg += ChG(l) + ChG(r) + centre * ChG(c);
      sr += ChR(l) + ChR(r) + centre * ChR(c);
      out[x] =
          MakePixel(Clamp255(sr / total), Clamp255(sg / total), Clamp255(sb / total), Reserved(c));
    }
    if (w > 1) out[w - 1] = general(w - 1, y);
  }
  return TRUE;
}

// --- Sharpen --------------------------------------------------------------

BOOL CSharpenFilter::Process(const Pixel* src, int w, int h, Pixel* dst, int, int) const {
  CopyImage(src, w, h, dst);  // level 0, and the outermost rows and columns
  if (m_nLevel == 0 || w < 3 || h < 3) return TRUE;
  const double e = 51.0 - 5.0 * m_nLevel;  // in double: any int level, no overflow
  const double f = 1.0 / (4.0 * (1.0 + 1.0 / e));
  const double g = f / e;
  for (int y = 1; y < h - 1; ++y) {
    const Pixel* up = src + static_cast<size_t>(y - 1) * w;
    const Pixel* mid = up + w;
    const Pixel* down = mid + w;
    Pixel* out = dst + static_cast<size_t>(y) * w;
    for (int x = 1; x < w - 1; ++x) {
      Pixel result = Reserved(mid[x]);
      for (int shift = 0; shift < 24; shift += 8) {
        const auto ch = [shift](Pixel p) { return static_cast<int>((p >> shift) & 0xFFu); };
        const int edges = ch(up[x]) + ch(down[x]) + ch(mid[x - 1]) + ch(mid[x + 1]);
        const int corners = ch(up[x - 1]) + ch(up[x + 1]) + ch(down[x - 1]) + ch(down[x + 1]);
        const double v = 2.0 * ch(mid[x]) - f * edges - g * corners;
        // v is positive here, so adding 0.5 rounds it.
        // NOLINTNEXTLINE(bugprone-incorrect-roundings)
        const int iv = v <= 0 ? 0 : (v >= 255 ? 255 : static_cast<int>(v + 0.5));
        result |= static_cast<Pixel>(iv) << shift;
      }
      out[x] = result;
    }
  }
  return TRUE;
}

// --- Scale ----------------------------------------------------------------

ImageSize CScaleFilter::GetOutputSize(int width, int height) const {
  if (!(m_dFactor > 0)) return {0, 0};
  return {SafeDimension(width * m_dFactor), SafeDimension(height * m_dFactor)};
}

BOOL CScaleFilter::Process(const Pixel* src, int srcWidth, int srcHeight, Pixel* dst, int dstWidth,
                           int dstHeight) const {
  if (!(m_dFactor > 0) || dstWidth <= 0 || dstHeight <= 0) return FALSE;
  if (m_dFactor == 1.0) {
    CopyImage(src, srcWidth, srcHeight, dst);
    return TRUE;
  }
  // Each output pixel averages the block of source pixels it covers: one
  // pixel when enlarging (nearest), a box when reducing.
  const auto spans = [](int from, int to) {
    std::vector<std::pair<int, int>> s(static_cast<size_t>(to));
    for (int i = 0; i < to; ++i) {
      int a = static_cast<int>(static_cast<long long>(i) * from / to);
      int b = static_cast<int>(static_cast<long long>(i + 1) * from / to);
      if (from < to) {  // enlarging: the source pixel under the output centre
        a = static_cast<int>((2LL * i + 1) * from / (2LL * to));
        b = a + 1;
      }
      a = std::clamp(a, 0, from - 1);
      b = std::clamp(std::max(b, a + 1), a + 1, from);
      s[static_cast<size_t>(i)] = {a, b};
    }
    return s;
  };
  const auto cols = spans(srcWidth, dstWidth);
  const auto rows = spans(srcHeight, dstHeight);
  for (int y = 0; y < dstHeight; ++y) {
    const auto [y0, y1] = rows[static_cast<size_t>(y)];
    Pixel* out = dst + static_cast<size_t>(y) * dstWidth;
    if (y1 - y0 == 1) {
      const Pixel* in = src + static_cast<size_t>(y0) * srcWidth;
      for (int x = 0; x < dstWidth; ++x) {
        const auto [x0, x1] = cols[static_cast<size_t>(x)];
        if (x1 - x0 == 1) {
          out[x] = in[x0];
          continue;
        }
        unsigned sb = 0, sg = 0, sr = 0;
        for (int i = x0; i < x1; ++i) {
          sb += ChB(in[i]);
          sg += ChG(in[i]);
          sr += ChR(in[i]);
        }
        const unsigned n = static_cast<unsigned>(x1 - x0);
        out[x] = MakePixel(sr / n, sg / n, sb / n, Reserved(in[x0]));
      }
      continue;
    }
    for (int x = 0; x < dstWidth; ++x) {
      const auto [x0, x1] = cols[static_cast<size_t>(x)];
      unsigned long sb = 0, sg = 0, sr = 0;
      for (int j = y0; j < y1; ++j) {
        const Pixel* in = src + static_cast<size_t>(j) * srcWidth;
        for (int i = x0; i < x1; ++i) {
          sb += ChB(in[i]);
          sg += ChG(in[i]);
          sr += ChR(in[i]);
        }
      }
      const unsigned long n = static_cast<unsigned long>(x1 - x0) * (y1 - y0);
      out[x] =
          MakePixel(static_cast<int>(sr / n), static_cast<int>(sg / n), static_cast<int>(sb / n),
                    Reserved(src[static_cast<size_t>(y0) * srcWidth + x0]));
    }
  }
  return TRUE;
}

// --- The chain ------------------------------------------------------------

namespace vantor {

namespace {
bool UsableSize(ImageSize s) {
  return s.cx > 0 && s.cy > 0 && static_cast<long long>(s.cx) * s.cy <= kMaxFilterPixels;
}
}  // namespace

BOOL ApplyFilters(std::vector<Pixel>& pixels, int& width, int& height,
                  const std::vector<const CImageFilter*>& filters, COLORREF crBack) {
  if (filters.empty()) return TRUE;
  if (width <= 0 || height <= 0 ||
      pixels.size() < static_cast<size_t>(width) * static_cast<size_t>(height))
    return FALSE;

  // Every buffer is allocated once at the largest size any step needs.
  ImageSize size{width, height};
  ImageSize largest = size;
  for (const CImageFilter* f : filters) {
    if (!f) return FALSE;
    size = f->GetOutputSize(size.cx, size.cy);
    if (!UsableSize(size)) return FALSE;
    largest.cx = std::max(largest.cx, size.cx);
    largest.cy = std::max(largest.cy, size.cy);
  }
  if (static_cast<long long>(largest.cx) * largest.cy > kMaxFilterPixels) return FALSE;
  const size_t capacity = static_cast<size_t>(largest.cx) * largest.cy;

  std::vector<Pixel> src(pixels.begin(),
                         pixels.begin() + static_cast<std::ptrdiff_t>(width) * height);
  std::vector<Pixel> dst(capacity);
  FillPixels(dst.data(), largest.cx, largest.cy, crBack);

  ImageSize cur{width, height};
  bool first = true;
  for (const CImageFilter* f : filters) {
    if (!first) {
      src.assign(dst.begin(), dst.begin() + static_cast<std::ptrdiff_t>(cur.cx) * cur.cy);
      FillPixels(dst.data(), largest.cx, largest.cy, crBack);
    }
    first = false;
    const ImageSize out = f->GetOutputSize(cur.cx, cur.cy);
    if (!f->Process(src.data(), cur.cx, cur.cy, dst.data(), out.cx, out.cy)) return FALSE;
    cur = out;
  }
  dst.resize(static_cast<size_t>(cur.cx) * cur.cy);
  pixels = std::move(dst);
  width = cur.cx;
  height = cur.cy;
  return TRUE;
}

}  // namespace vantor
