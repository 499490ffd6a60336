// Fuzz target for the image filters: a random picture of random size run
// through a random chain of filters with random parameters (any angle, shift,
// level or factor, NaN included). A chain that succeeds gives the size its
// filters announce; one that fails leaves the picture alone; mirror and invert
// applied twice give the picture back; greyscale leaves no colour.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "widgets/ImageFilter.h"

namespace {

void Check(bool ok, const char* what) {
  if (ok) return;
  std::fprintf(stderr, "image filters: %s\n", what);
  std::abort();
}

enum Kind { kRotate, kSkew, kGrey, kBlur, kSharpen, kScale, kMirror, kInvert, kReplace, kPlain };

std::unique_ptr<CImageFilter> MakeFilter(FuzzedDataProvider& in, Kind kind) {
  const BOOL smooth = in.ConsumeBool();
  switch (kind) {
    case kRotate:
      return std::make_unique<CRotateFilter>(in.ConsumeIntegral<int>(), smooth);
    case kSkew: {
      // Mostly shifts of a sensible size, sometimes anything at all.
      const bool wild = in.ConsumeIntegralInRange(0, 7) == 0;
      const int dx = wild ? in.ConsumeIntegral<int>() : in.ConsumeIntegralInRange(-80, 80);
      const int dy = wild ? in.ConsumeIntegral<int>() : in.ConsumeIntegralInRange(-80, 80);
      return std::make_unique<CSkewFilter>(dx, dy, smooth);
    }
    case kGrey:
      return std::make_unique<CGreyscaleFilter>();
    case kBlur:
      return std::make_unique<CBlurFilter>(in.ConsumeIntegral<int>());
    case kSharpen:
      return std::make_unique<CSharpenFilter>(in.ConsumeIntegral<int>());
    case kScale: {
      double f;
      if (in.ConsumeBool()) {
        f = in.ConsumeFloatingPointInRange(-1.0, 4.0);
      } else {
        const std::uint64_t bits = in.ConsumeIntegral<std::uint64_t>();
        std::memcpy(&f, &bits, sizeof f);
      }
      return std::make_unique<CScaleFilter>(f);
    }
    case kMirror:
      return std::make_unique<CMirrorFilter>(in.ConsumeBool(), in.ConsumeBool());
    case kInvert:
      return std::make_unique<CInvertFilter>();
    case kReplace:
      return std::make_unique<CReplaceColorFilter>(in.ConsumeIntegral<COLORREF>(),
                                                   in.ConsumeIntegral<COLORREF>());
    case kPlain:
      break;
  }
  return std::make_unique<CImageFilter>(smooth);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FuzzedDataProvider in(data, size);
  int width = in.ConsumeIntegralInRange(0, 48);
  int height = in.ConsumeIntegralInRange(0, 48);
  const COLORREF back = in.ConsumeIntegral<COLORREF>();
  const int nFilters = in.ConsumeIntegralInRange(1, 4);
  std::vector<std::unique_ptr<CImageFilter>> owned;
  std::vector<Kind> kinds;
  for (int i = 0; i < nFilters; ++i) {
    kinds.push_back(static_cast<Kind>(in.ConsumeIntegralInRange(0, int(kPlain))));
    owned.push_back(MakeFilter(in, kinds.back()));
  }
  std::vector<vantor::Pixel> pixels(static_cast<std::size_t>(width) * height);
  for (auto& p : pixels) p = in.ConsumeIntegral<vantor::Pixel>();
  std::vector<const CImageFilter*> filters;
  for (const auto& f : owned) filters.push_back(f.get());

  // What the chain announces; a chain far larger than the library's limit is
  // still run (it must refuse quickly), sizes in between are only slow.
  vantor::ImageSize s{width, height};
  long long largest = static_cast<long long>(width) * height;
  bool announcedOk = width > 0 && height > 0;
  for (const auto* f : filters) {
    s = f->GetOutputSize(s.cx, s.cy);
    if (s.cx <= 0 || s.cy <= 0) announcedOk = false;
    const long long n = static_cast<long long>(s.cx) * s.cy;
    if (n > largest) largest = n;
  }
  if (largest > (1 << 20) && largest <= vantor::kMaxFilterPixels) return 0;

  const std::vector<vantor::Pixel> original = pixels;
  const int w0 = width, h0 = height;
  const BOOL ok = vantor::ApplyFilters(pixels, width, height, filters, back);
  if (!ok) {
    Check(pixels == original && width == w0 && height == h0, "a failed chain changed the picture");
    return 0;
  }
  Check(announcedOk && largest <= vantor::kMaxFilterPixels, "a chain beyond the limits succeeded");
  Check(width == s.cx && height == s.cy, "result size differs from the announced size");
  Check(pixels.size() == static_cast<std::size_t>(width) * height, "buffer size");
  if (kinds.back() == kGrey) {
    for (vantor::Pixel p : pixels) {
      const unsigned r = (p >> 16) & 0xFF, g = (p >> 8) & 0xFF, b = p & 0xFF;
      Check(r == g && g == b, "greyscale left colour");
    }
  }

  // Involutions: the first filter applied twice to the original.
  if (kinds[0] == kMirror || kinds[0] == kInvert) {
    std::vector<vantor::Pixel> again = original;
    int w = w0, h = h0;
    const std::vector<const CImageFilter*> twice{filters[0], filters[0]};
    Check(vantor::ApplyFilters(again, w, h, twice, back) == TRUE, "involution failed");
    Check(w == w0 && h == h0 && again == original, "filter applied twice is not the identity");
  }
  return 0;
}
