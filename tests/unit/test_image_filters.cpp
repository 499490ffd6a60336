#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <limits>
#include <vector>

#include "widgets/ImageFilter.h"

using vantor::ColorRefToPixel;
using vantor::Pixel;

namespace {

// A picture whose every pixel differs: red = x, green = y, blue = 100 + x + y.
struct Picture {
  std::vector<Pixel> px;
  int w = 0;
  int h = 0;

  static Picture Numbered(int w, int h) {
    Picture p{std::vector<Pixel>(static_cast<size_t>(w) * h), w, h};
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) p.at(x, y) = Rgb(x, y, 100 + x + y);
    return p;
  }
  static Picture Filled(int w, int h, Pixel v) {
    return Picture{std::vector<Pixel>(static_cast<size_t>(w) * h, v), w, h};
  }
  static Pixel Rgb(int r, int g, int b) {
    return (static_cast<Pixel>(r) << 16) | (static_cast<Pixel>(g) << 8) | static_cast<Pixel>(b);
  }
  Pixel& at(int x, int y) { return px[static_cast<size_t>(y) * w + x]; }
  Pixel at(int x, int y) const { return px[static_cast<size_t>(y) * w + x]; }
  bool operator==(const Picture&) const = default;

  BOOL Apply(std::vector<const CImageFilter*> filters, COLORREF back = vantor::kNoBackground) {
    return vantor::ApplyFilters(px, w, h, filters, back);
  }
  BOOL Apply(const CImageFilter& f, COLORREF back = vantor::kNoBackground) {
    return Apply(std::vector<const CImageFilter*>{&f}, back);
  }
};

constexpr Pixel kWhite = 0x00FFFFFFu;
int Red(Pixel p) {
  return (p >> 16) & 0xFF;
}
int Green(Pixel p) {
  return (p >> 8) & 0xFF;
}
int Blue(Pixel p) {
  return p & 0xFF;
}

}  // namespace

TEST(FillPixels, ByteFillsAndDoublingCopies) {
  std::vector<Pixel> buf(7 * 5, 0x12345678u);
  vantor::FillPixels(buf.data(), 7, 5, vantor::kNoBackground);
  for (Pixel p : buf) EXPECT_EQ(p, 0xFFFFFFFFu);
  vantor::FillPixels(buf.data(), 7, 5, 0);
  for (Pixel p : buf) EXPECT_EQ(p, 0u);
  // COLORREF 0x00BBGGRR becomes bytes B, G, R in memory. Odd sizes exercise
  // the last, shorter run of each doubling.
  vantor::FillPixels(buf.data(), 7, 5, 0x00123456u);
  for (Pixel p : buf) EXPECT_EQ(p, 0x00563412u);
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(buf.data());
  EXPECT_EQ(bytes[0], 0x12);  // blue
  EXPECT_EQ(bytes[1], 0x34);  // green
  EXPECT_EQ(bytes[2], 0x56);  // red
  // Only the given area is touched.
  std::vector<Pixel> big(10 * 10, 7u);
  vantor::FillPixels(big.data(), 3, 3, 0x00010203u);
  EXPECT_EQ(big[8], ColorRefToPixel(0x00010203u));
  EXPECT_EQ(big[9], 7u);
}

TEST(Rotate, AngleNormalisation) {
  EXPECT_EQ(CRotateFilter::NormalizeDegrees(360), 0);
  EXPECT_EQ(CRotateFilter::NormalizeDegrees(720), 0);
  EXPECT_EQ(CRotateFilter::NormalizeDegrees(-90), 270);
  EXPECT_EQ(CRotateFilter::NormalizeDegrees(-1), 359);
  EXPECT_EQ(CRotateFilter::NormalizeDegrees(-360), 0);
  EXPECT_EQ(CRotateFilter::NormalizeDegrees(-361), 359);
  EXPECT_EQ(CRotateFilter::NormalizeDegrees(INT_MIN), 359 - (359 - (long long)INT_MIN) % 360);
}

TEST(Rotate, FullTurnsAndEquivalentAngles) {
  const Picture src = Picture::Numbered(7, 4);
  for (BOOL smooth : {FALSE, TRUE}) {
    Picture zero = src, full = src;
    ASSERT_TRUE(zero.Apply(CRotateFilter(0, smooth)));
    ASSERT_TRUE(full.Apply(CRotateFilter(360, smooth)));
    EXPECT_EQ(zero, src);
    EXPECT_EQ(full, src);
    Picture minus90 = src, plus270 = src;
    ASSERT_TRUE(minus90.Apply(CRotateFilter(-90, smooth)));
    ASSERT_TRUE(plus270.Apply(CRotateFilter(270, smooth)));
    EXPECT_EQ(minus90, plus270);
  }
}

TEST(Rotate, QuarterTurnsOnANonSquarePicture) {
  const Picture src = Picture::Numbered(7, 4);
  Picture p = src;
  ASSERT_TRUE(p.Apply(CRotateFilter(90, FALSE)));
  ASSERT_EQ(p.w, 4);
  ASSERT_EQ(p.h, 7);
  // Counter-clockwise: the top-right corner comes to the top left, the
  // top-left corner to the bottom left.
  EXPECT_EQ(p.at(0, 0), src.at(6, 0));
  EXPECT_EQ(p.at(0, 6), src.at(0, 0));
  EXPECT_EQ(p.at(3, 6), src.at(0, 3));
  ASSERT_TRUE(p.Apply(CRotateFilter(270, FALSE)));
  EXPECT_EQ(p, src);

  Picture half = src, mirrored = src;
  ASSERT_TRUE(half.Apply(CRotateFilter(180, FALSE)));
  ASSERT_TRUE(mirrored.Apply(CMirrorFilter(TRUE, TRUE)));
  EXPECT_EQ(half, mirrored);
}

TEST(Rotate, UncoveredCornersShowTheBackground) {
  const COLORREF back = 0x00336699u;
  for (BOOL smooth : {FALSE, TRUE}) {
    Picture p = Picture::Filled(20, 10, Picture::Rgb(10, 200, 10));
    ASSERT_TRUE(p.Apply(CRotateFilter(45, smooth), back));
    // Bounding box of a 20 x 10 rectangle turned by 45 degrees: 21.2 -> 22.
    EXPECT_EQ(p.w, 22);
    EXPECT_EQ(p.h, 22);
    EXPECT_EQ(p.at(0, 0), ColorRefToPixel(back));
    EXPECT_EQ(p.at(21, 21), ColorRefToPixel(back));
    EXPECT_EQ(p.at(11, 11), Picture::Rgb(10, 200, 10));
  }
  // Without a background colour the uncovered area is white.
  Picture p = Picture::Filled(20, 10, 0);
  ASSERT_TRUE(p.Apply(CRotateFilter(30, FALSE)));
  EXPECT_EQ(p.at(0, 0) & kWhite, kWhite);
}

TEST(Skew, SizesDirectionAndBackground) {
  const Picture src = Picture::Numbered(4, 5);
  Picture copy = src;
  ASSERT_TRUE(copy.Apply(CSkewFilter(0, 0, FALSE)));
  EXPECT_EQ(copy, src);

  const COLORREF back = 0x00010203u;
  Picture p = src;
  ASSERT_TRUE(p.Apply(CSkewFilter(3, 0, FALSE), back));
  ASSERT_EQ(p.w, 7);
  ASSERT_EQ(p.h, 5);
  // The top row stays put, the bottom row moves right by the full 3.
  for (int x = 0; x < 4; ++x) EXPECT_EQ(p.at(x, 0), src.at(x, 0));
  for (int x = 0; x < 4; ++x) EXPECT_EQ(p.at(x + 3, 4), src.at(x, 4));
  EXPECT_EQ(p.at(6, 0), ColorRefToPixel(back));
  EXPECT_EQ(p.at(0, 4), ColorRefToPixel(back));

  Picture n = src;
  ASSERT_TRUE(n.Apply(CSkewFilter(-3, 0, FALSE), back));
  ASSERT_EQ(n.w, 7);
  // Reversed: the top row moves the most, the bottom row not at all.
  for (int x = 0; x < 4; ++x) EXPECT_EQ(n.at(x + 3, 0), src.at(x, 0));
  for (int x = 0; x < 4; ++x) EXPECT_EQ(n.at(x, 4), src.at(x, 4));

  Picture v = src;
  ASSERT_TRUE(v.Apply(CSkewFilter(0, 2, FALSE), back));
  ASSERT_EQ(v.w, 4);
  ASSERT_EQ(v.h, 7);
  for (int y = 0; y < 5; ++y) EXPECT_EQ(v.at(0, y), src.at(0, y));
  for (int y = 0; y < 5; ++y) EXPECT_EQ(v.at(3, y + 2), src.at(3, y));
  EXPECT_EQ(v.at(3, 0), ColorRefToPixel(back));

  Picture both = src;
  ASSERT_TRUE(both.Apply(CSkewFilter(-2, 3, TRUE), back));
  EXPECT_EQ(both.w, 6);
  EXPECT_EQ(both.h, 8);
}

TEST(Greyscale, IntegerWeights) {
  Picture p = Picture::Filled(4, 1, 0);
  p.at(0, 0) = Picture::Rgb(200, 100, 50);  // (600 + 600 + 50) / 10 = 125
  p.at(1, 0) = Picture::Rgb(255, 255, 255);
  p.at(2, 0) = Picture::Rgb(0, 0, 9);  // 9 / 10 truncates to 0
  p.at(3, 0) = Picture::Rgb(1, 2, 3);  // (3 + 12 + 3) / 10 = 1
  ASSERT_TRUE(p.Apply(CGreyscaleFilter()));
  EXPECT_EQ(p.at(0, 0), Picture::Rgb(125, 125, 125));
  EXPECT_EQ(p.at(1, 0), Picture::Rgb(255, 255, 255));
  EXPECT_EQ(p.at(2, 0), 0u);
  EXPECT_EQ(p.at(3, 0), Picture::Rgb(1, 1, 1));
}

TEST(Invert, ChannelsAndTwice) {
  const Picture src = Picture::Numbered(5, 3);
  Picture p = src;
  ASSERT_TRUE(p.Apply(CInvertFilter()));
  EXPECT_EQ(p.at(2, 1), Picture::Rgb(253, 254, 152));  // from (2, 1, 103)
  ASSERT_TRUE(p.Apply(CInvertFilter()));
  EXPECT_EQ(p, src);
}

TEST(Mirror, DirectionsAndTwice) {
  const Picture src = Picture::Numbered(5, 3);
  Picture h = src;
  ASSERT_TRUE(h.Apply(CMirrorFilter(TRUE, FALSE)));
  EXPECT_EQ(h.at(0, 0), src.at(4, 0));
  EXPECT_EQ(h.at(1, 2), src.at(3, 2));
  Picture v = src;
  ASSERT_TRUE(v.Apply(CMirrorFilter(FALSE, TRUE)));
  EXPECT_EQ(v.at(0, 0), src.at(0, 2));
  EXPECT_EQ(v.at(3, 1), src.at(3, 1));
  Picture none = src;
  ASSERT_TRUE(none.Apply(CMirrorFilter(FALSE, FALSE)));
  EXPECT_EQ(none, src);
  for (BOOL hz : {FALSE, TRUE})
    for (BOOL vt : {FALSE, TRUE}) {
      Picture p = src;
      ASSERT_TRUE(p.Apply(CMirrorFilter(hz, vt)));
      ASSERT_TRUE(p.Apply(CMirrorFilter(hz, vt)));
      EXPECT_EQ(p, src);
    }
}

TEST(ReplaceColor, OnlyExactMatchesChange) {
  Picture p = Picture::Filled(3, 1, Picture::Rgb(10, 20, 30));
  p.at(1, 0) = Picture::Rgb(10, 20, 31);
  p.at(2, 0) = 0xAB000000u | Picture::Rgb(10, 20, 30);  // the reserved byte does not matter
  const COLORREF from = vantor::MakeColorRef(10, 20, 30);
  const COLORREF to = vantor::MakeColorRef(1, 2, 3);
  Picture same = p;
  ASSERT_TRUE(same.Apply(CReplaceColorFilter(from, from)));
  EXPECT_EQ(same, p);
  ASSERT_TRUE(p.Apply(CReplaceColorFilter(from, to)));
  EXPECT_EQ(p.at(0, 0), Picture::Rgb(1, 2, 3));
  EXPECT_EQ(p.at(1, 0), Picture::Rgb(10, 20, 31));
  EXPECT_EQ(p.at(2, 0) & kWhite, Picture::Rgb(1, 2, 3));
}

TEST(Blur, LevelZeroCopiesAndKernelWeights) {
  const Picture src = Picture::Numbered(6, 5);
  Picture zero = src;
  ASSERT_TRUE(zero.Apply(CBlurFilter(0)));
  EXPECT_EQ(zero, src);

  Picture flat = Picture::Filled(5, 4, Picture::Rgb(90, 40, 200));
  ASSERT_TRUE(flat.Apply(CBlurFilter(3)));
  EXPECT_EQ(flat, Picture::Filled(5, 4, Picture::Rgb(90, 40, 200)));

  // One bright pixel: centre weight 55 - 5 = 50 of 58 inside, neighbours 1.
  Picture dot = Picture::Filled(5, 5, 0);
  dot.at(2, 2) = Picture::Rgb(255, 255, 255);
  ASSERT_TRUE(dot.Apply(CBlurFilter(1)));
  EXPECT_EQ(Red(dot.at(2, 2)), 255 * 50 / 58);
  EXPECT_EQ(Green(dot.at(1, 1)), 255 / 58);
  EXPECT_EQ(dot.at(0, 0), 0u);
  // At the border only the neighbours inside count: a corner has 3 + 50.
  Picture corner = Picture::Filled(3, 3, 0);
  corner.at(1, 1) = Picture::Rgb(0, 0, 212);
  ASSERT_TRUE(corner.Apply(CBlurFilter(1)));
  EXPECT_EQ(Blue(corner.at(0, 0)), 212 / 53);
  EXPECT_EQ(Blue(corner.at(1, 0)), 212 / 55);
}

TEST(Blur, HighLevelsStayInRange) {
  // Level 12 gives the centre weight -5: an edge pixel's weights cancel out.
  for (int level : {11, 12, 20, -3}) {
    Picture p = Picture::Numbered(6, 5);
    ASSERT_TRUE(p.Apply(CBlurFilter(level)));
    EXPECT_EQ(p.w, 6);
  }
  Picture p = Picture::Filled(4, 3, Picture::Rgb(50, 50, 50));
  p.at(1, 0) = Picture::Rgb(0, 0, 0);
  ASSERT_TRUE(p.Apply(CBlurFilter(12)));
  EXPECT_EQ(p.at(1, 0), Picture::Rgb(0, 0, 0));  // weight sum 0: kept
}

TEST(Blur, ExtremeLevelsSaturate) {
  // From level 13 up every weight sum is at most 0: the picture is kept. Far
  // below 0 the centre outweighs any neighbours the same way at every level.
  // Levels near the ends of int must not overflow the weights on the way.
  const Picture src = Picture::Numbered(7, 6);
  Picture top = src;
  ASSERT_TRUE(top.Apply(CBlurFilter(INT_MAX)));
  EXPECT_EQ(top, src);
  Picture low = src, lowest = src;
  ASSERT_TRUE(low.Apply(CBlurFilter(-1000)));
  ASSERT_TRUE(lowest.Apply(CBlurFilter(INT_MIN)));
  EXPECT_EQ(lowest, low);
}

TEST(Sharpen, LevelZeroBorderAndWeights) {
  const Picture src = Picture::Numbered(6, 5);
  Picture zero = src;
  ASSERT_TRUE(zero.Apply(CSharpenFilter(0)));
  EXPECT_EQ(zero, src);

  Picture p = src;
  ASSERT_TRUE(p.Apply(CSharpenFilter(4)));
  for (int x = 0; x < 6; ++x) {
    EXPECT_EQ(p.at(x, 0), src.at(x, 0));
    EXPECT_EQ(p.at(x, 4), src.at(x, 4));
  }
  for (int y = 0; y < 5; ++y) {
    EXPECT_EQ(p.at(0, y), src.at(0, y));
    EXPECT_EQ(p.at(5, y), src.at(5, y));
  }
  // The weights sum to 1: a flat area stays as it is.
  Picture flat = Picture::Filled(5, 5, Picture::Rgb(100, 7, 255));
  ASSERT_TRUE(flat.Apply(CSharpenFilter(3)));
  EXPECT_EQ(flat, Picture::Filled(5, 5, Picture::Rgb(100, 7, 255)));

  // Level 1: e = 46, f = 46/188, corners 1/188. A grey 100 beside a 200 spot:
  // 200 - 500 * 46/188 - 400/188 = 75.5; the spot itself goes past 255.
  Picture spot = Picture::Filled(5, 5, Picture::Rgb(100, 100, 100));
  spot.at(2, 2) = Picture::Rgb(200, 200, 200);
  ASSERT_TRUE(spot.Apply(CSharpenFilter(1)));
  EXPECT_NEAR(Red(spot.at(2, 1)), 75.5, 0.5);
  EXPECT_EQ(spot.at(2, 2), Picture::Rgb(255, 255, 255));
  // A dark pixel among bright ones would go far below 0.
  Picture dark = Picture::Filled(3, 3, Picture::Rgb(255, 255, 255));
  dark.at(1, 1) = 0;
  ASSERT_TRUE(dark.Apply(CSharpenFilter(1)));
  EXPECT_EQ(dark.at(1, 1), 0u);
}

TEST(Sharpen, ExtremeLevelsKeepFlatAreas) {
  // The weights sum to 1 at any level, the ends of int included.
  for (int level : {INT_MAX, INT_MIN, 1000000}) {
    Picture flat = Picture::Filled(5, 4, Picture::Rgb(100, 7, 255));
    ASSERT_TRUE(flat.Apply(CSharpenFilter(level)));
    EXPECT_EQ(flat, Picture::Filled(5, 4, Picture::Rgb(100, 7, 255))) << level;
  }
}

TEST(Scale, SizesAndContent) {
  const Picture src = Picture::Numbered(10, 7);
  Picture half = src;
  ASSERT_TRUE(half.Apply(CScaleFilter(0.5)));
  EXPECT_EQ(half.w, 5);
  EXPECT_EQ(half.h, 3);
  Picture twice = src;
  ASSERT_TRUE(twice.Apply(CScaleFilter(2.0)));
  EXPECT_EQ(twice.w, 20);
  EXPECT_EQ(twice.h, 14);
  // Enlarging repeats each pixel; reducing averages the block it covers.
  EXPECT_EQ(twice.at(0, 0), src.at(0, 0));
  EXPECT_EQ(twice.at(1, 1), src.at(0, 0));
  EXPECT_EQ(twice.at(19, 13), src.at(9, 6));
  EXPECT_EQ(twice.at(5, 8), src.at(2, 4));
  Picture back = twice;
  ASSERT_TRUE(back.Apply(CScaleFilter(0.5)));
  EXPECT_EQ(back, src);

  Picture block = Picture::Filled(2, 2, 0);
  block.at(0, 0) = Picture::Rgb(0, 100, 1);
  block.at(1, 0) = Picture::Rgb(100, 100, 2);
  block.at(0, 1) = Picture::Rgb(200, 100, 3);
  block.at(1, 1) = Picture::Rgb(50, 100, 4);
  ASSERT_TRUE(block.Apply(CScaleFilter(0.5)));
  ASSERT_EQ(block.w, 1);
  EXPECT_EQ(block.at(0, 0), Picture::Rgb(87, 100, 2));

  Picture one = src;
  ASSERT_TRUE(one.Apply(CScaleFilter(1.0)));
  EXPECT_EQ(one, src);
}

TEST(Scale, BadFactorsFailAndChangeNothing) {
  const Picture src = Picture::Numbered(10, 7);
  for (double f : {0.0, -1.0, -0.5, std::numeric_limits<double>::quiet_NaN(), 0.05, 1e9,
                   std::numeric_limits<double>::infinity()}) {
    Picture p = src;
    EXPECT_FALSE(p.Apply(CScaleFilter(f))) << f;
    EXPECT_EQ(p, src) << f;
  }
}

TEST(ApplyFilters, ChainsSizesAndKeepsTheImageOnFailure) {
  const Picture src = Picture::Numbered(3, 2);
  Picture empty = src;
  EXPECT_TRUE(empty.Apply(std::vector<const CImageFilter*>{}));
  EXPECT_EQ(empty, src);

  // Rotate to 2 x 3, then double to 4 x 6.
  const CRotateFilter rotate(90, FALSE);
  const CScaleFilter scale(2.0);
  Picture p = src;
  ASSERT_TRUE(p.Apply({&rotate, &scale}));
  EXPECT_EQ(p.w, 4);
  EXPECT_EQ(p.h, 6);
  EXPECT_EQ(p.at(0, 0), src.at(2, 0));

  // The largest size is in the middle of the chain; a skew after an
  // enlargement must still see the background around the moved rows.
  const CScaleFilter down(0.5);
  const CSkewFilter skew(2, 0, FALSE);
  Picture q = src;
  ASSERT_TRUE(q.Apply({&scale, &down, &skew}, 0x00000001u));
  EXPECT_EQ(q.w, 5);
  EXPECT_EQ(q.h, 2);
  EXPECT_EQ(q.at(0, 0), src.at(0, 0));
  EXPECT_EQ(q.at(4, 0), ColorRefToPixel(0x00000001u));

  const CScaleFilter bad(0.0);
  Picture r = src;
  EXPECT_FALSE(r.Apply({&rotate, &bad}));
  EXPECT_EQ(r, src);
}
