#include <gst/app/gstappsink.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <random>
#include <vector>

#include "common/GstInit.h"
#include "player/BgrxScaler.h"
#include "player/FrameScaler.h"

using vantor::GstPtr;

namespace {

TEST(FrameScalerSizes, PictureFitsTheBoxWithItsShape) {
  EXPECT_EQ(FitPicture({1920, 1080}, 1, 1, {575, 390}), (PictureSize{575, 323}));
  EXPECT_EQ(FitPicture({640, 480}, 1, 1, {575, 390}), (PictureSize{520, 390}));
  // Anamorphic: 720x576 with wide pixels is shown 16:9.
  EXPECT_EQ(FitPicture({720, 576}, 64, 45, {1024, 1024}), (PictureSize{1024, 576}));
  EXPECT_EQ(FitPicture({0, 0}, 1, 1, {575, 390}), (PictureSize{}));
}

TEST(FrameScalerSizes, HalvesWhileAtLeastTwiceTheShownSize) {
  using Steps = std::vector<PictureSize>;
  EXPECT_EQ(HalvingSteps({1920, 1080}, {575, 323}), (Steps{{960, 540}}));
  EXPECT_EQ(HalvingSteps({3840, 2160}, {575, 323}), (Steps{{1920, 1080}, {960, 540}}));
  EXPECT_EQ(HalvingSteps({320, 240}, {160, 120}), (Steps{{160, 120}}));
  // Full screen from 1080p, and a picture smaller than the pane: no halving.
  EXPECT_EQ(HalvingSteps({1920, 1080}, {1280, 720}), Steps{});
  EXPECT_EQ(HalvingSteps({320, 240}, {575, 390}), Steps{});
  EXPECT_EQ(HalvingSteps({1920, 1080}, {0, 0}), Steps{});
}

// The first frame a 1080p I420 test picture (`pattern`, optionally one solid
// colour) becomes in a 575x390 pane: BGRx bytes, row by row.
struct ShownFrame {
  std::vector<std::uint8_t> bytes;
  int stride = 0;
  int Channel(int x, int y, int c) const { return bytes[std::size_t(y) * stride + x * 4 + c]; }
  int Brightest(int x, int y) const {
    return std::max({Channel(x, y, 0), Channel(x, y, 1), Channel(x, y, 2)});
  }
};

ShownFrame ShowTestPicture(const char* pattern, guint colour = 0, const char* format = "I420") {
  ShownFrame shown;
  if (!vantor::EnsureGStreamer()) return shown;
  GstPtr<GstElement> pipeline(gst_pipeline_new(nullptr));
  GstElement* src = gst_element_factory_make("videotestsrc", nullptr);
  GstElement* caps = gst_element_factory_make("capsfilter", nullptr);
  if (!src || !caps) return shown;
  gst_util_set_object_arg(G_OBJECT(src), "pattern", pattern);
  g_object_set(src, "num-buffers", 1, "foreground-color", colour, nullptr);
  GstPtr<GstCaps> input(gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, format, "width",
                                            G_TYPE_INT, 1920, "height", G_TYPE_INT, 1080, nullptr));
  g_object_set(caps, "caps", input.get(), nullptr);
  auto scaler = CFrameScaler::Make(/*sync=*/false, /*maxBuffers=*/0);
  if (!scaler) return shown;
  scaler->SetShownSize(575, 390);
  gst_bin_add_many(GST_BIN(pipeline.get()), src, caps, scaler->Bin(), nullptr);
  if (!gst_element_link_many(src, caps, scaler->Bin(), nullptr)) return shown;
  gst_element_set_state(pipeline.get(), GST_STATE_PLAYING);
  GstPtr<GstSample> sample(
      gst_app_sink_try_pull_sample(GST_APP_SINK(scaler->AppSink()), 5 * GST_SECOND));
  GstVideoInfo vi;
  GstVideoFrame frame;
  if (sample && gst_video_info_from_caps(&vi, gst_sample_get_caps(sample.get())) &&
      GST_VIDEO_INFO_FORMAT(&vi) == GST_VIDEO_FORMAT_BGRx && GST_VIDEO_INFO_WIDTH(&vi) == 575 &&
      GST_VIDEO_INFO_HEIGHT(&vi) == 390 &&
      gst_video_frame_map(&frame, &vi, gst_sample_get_buffer(sample.get()), GST_MAP_READ)) {
    shown.stride = GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0);
    const auto* pixels = static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0));
    shown.bytes.assign(pixels, pixels + std::size_t(shown.stride) * 390);
    gst_video_frame_unmap(&frame);
  }
  gst_element_set_state(pipeline.get(), GST_STATE_NULL);
  return shown;
}

// One-pixel checkers at 1080p: a path that averages shows them as an even
// grey in the pane; one that skips pixels shows stripes of black and white.
TEST(FrameScalerPicture, FineDetailIsAveragedNotSkipped) {
  const ShownFrame shown = ShowTestPicture("checkers-1");
  ASSERT_FALSE(shown.bytes.empty()) << "no 575x390 BGRx frame";
  // Letterboxed: black above and below the 16:9 picture.
  EXPECT_LT(shown.Channel(287, 5, 1), 20);
  EXPECT_LT(shown.Channel(287, 384, 1), 20);
  int lowest = 255, highest = 0;
  for (int y = 60; y < 330; y += 7)
    for (int x = 10; x < 565; x += 3) {
      lowest = std::min(lowest, shown.Channel(x, y, 1));
      highest = std::max(highest, shown.Channel(x, y, 1));
    }
  EXPECT_GT(lowest, 100);
  EXPECT_LT(highest, 155);
}

// The 575x323 picture sits on rows 33 to 355 exactly: no row of the border
// takes the picture's colour, so the picture shows at its true shape. 4:2:0
// takes the fast last step; NV12 the converter's.
TEST(FrameScalerPicture, BordersStayBlackUpToThePicture) {
  for (const char* format : {"I420", "NV12"}) {
    const ShownFrame shown = ShowTestPicture("solid-color", 0xffe02020, format);  // a strong red
    ASSERT_FALSE(shown.bytes.empty()) << "no 575x390 BGRx frame from " << format;
    for (int x = 0; x < 575; x += 41) {
      EXPECT_LT(shown.Brightest(x, 32), 8) << format << " x=" << x;
      EXPECT_LT(shown.Brightest(x, 356), 8) << format << " x=" << x;
      EXPECT_GT(shown.Channel(x, 33, 2), 150) << format << " x=" << x;
      EXPECT_GT(shown.Channel(x, 355, 2), 150) << format << " x=" << x;
    }
  }
}

using namespace vantor::player::bgrx;

// The scales the last step meets: after halving (960 to 575), the colour
// planes widened (480 to 575), a source no halving was left for (1920 to
// 575), and small odd sizes with short tails.
const struct {
  int in, out;
  double scale;
} kScales[] = {{960, 575, 960.0 / 575},
               {480, 575, 480.0 / 575},
               {1920, 575, 1920.0 / 575},
               {45, 21, 45.0 / 21},
               {23, 37, 23.0 / 37}};

TEST(BgrxKernels, FilterWeightsAreWholeAndStayInsideTheSource) {
  for (const auto& s : kScales) {
    const Filter f = TriangleFilter(s.in, s.out, s.scale, 4);
    ASSERT_EQ(f.first.size(), std::size_t(s.out));
    for (int o = 0; o < s.out; ++o) {
      int sum = 0;
      for (int k = 0; k < f.taps; ++k) {
        const int w = f.weights[std::size_t(o) * f.taps + k];
        EXPECT_GE(w, 0);
        sum += w;
      }
      EXPECT_EQ(sum, 128) << s.in << "->" << s.out << " output " << o;
      EXPECT_GE(f.first[o], 0);
      EXPECT_LE(f.first[o] + f.taps, s.in);
    }
  }
  // An output on a source sample: all of its weight there but the 1/128 a
  // byte cannot hold.
  const Filter same = TriangleFilter(8, 8, 1.0, 2);
  EXPECT_EQ(same.weights[std::size_t(3) * same.taps + 3 - same.first[3]], 127);
}

// Every set of kernels this processor runs, against the plain ones.
TEST(BgrxKernels, VectorCodeAgreesWithThePlainCode) {
  const auto& all = AvailableKernels();
  ASSERT_STREQ(all.back().name, "plain");
  std::mt19937 random(7);
  auto byte = [&] { return std::uint8_t(random() & 0xff); };
  for (const Kernels& kernels : all) {
    for (const auto& s : kScales) {
      const Filter f = TriangleFilter(s.in, s.out, s.scale, 4);
      // Rows of noise and rows at the extremes.
      std::vector<std::vector<std::uint8_t>> rows(std::size_t(f.taps));
      for (std::size_t k = 0; k < rows.size(); ++k) {
        rows[k].resize(std::size_t(s.in) + 16);
        for (auto& b : rows[k]) b = k % 3 == 2 ? 255 : byte();
      }
      std::vector<const std::uint8_t*> pointers;
      for (const auto& r : rows) pointers.push_back(r.data());
      std::vector<std::uint8_t> down(std::size_t(s.in)), plainDown(down.size());
      kernels.vertical(pointers.data(), &f.weights[0], f.taps, s.in, down.data());
      VerticalPassPlain(pointers.data(), &f.weights[0], f.taps, s.in, plainDown.data());
      EXPECT_EQ(down, plainDown) << kernels.name << " " << s.in << "->" << s.out;
      std::vector<std::int16_t> across(std::size_t(s.out)), plainAcross(across.size());
      kernels.horizontal(rows[0].data(), f, across.data());
      HorizontalPassPlain(rows[0].data(), f, plainAcross.data());
      EXPECT_EQ(across, plainAcross) << kernels.name << " " << s.in << "->" << s.out;
    }
    for (bool full : {false, true}) {
      const Matrix m = MakeMatrix(0.2126, 0.0722, full);
      for (int count : {7, 8, 21, 575}) {
        std::vector<std::int16_t> y(static_cast<std::size_t>(count)), u(y.size()), v(y.size());
        for (int n = 0; n < count; ++n) {
          y[n] = std::int16_t(n % 5 == 0 ? 16320 : (random() % 16321));
          u[n] = std::int16_t(n % 7 == 0 ? 0 : (random() % 16321));
          v[n] = std::int16_t(n % 11 == 0 ? 16320 : (random() % 16321));
        }
        std::vector<std::uint8_t> bgrx(std::size_t(count) * 4), plain(bgrx.size());
        kernels.convert(y.data(), u.data(), v.data(), count, m, bgrx.data());
        ConvertRowPlain(y.data(), u.data(), v.data(), count, m, plain.data());
        EXPECT_EQ(bgrx, plain) << kernels.name << " " << count << " pixels, full range " << full;
      }
    }
  }
}

// BT.709 as movies carry it: black, white, mid grey and the primaries land
// within a level of the exact values (GStreamer's own 8-bit conversion gives
// 128 for the mid grey).
TEST(BgrxKernels, ColoursComeOutExact) {
  const Matrix m = MakeMatrix(0.2126, 0.0722, false);
  const struct {
    int y, u, v, r, g, b;
  } cases[] = {{16, 128, 128, 0, 0, 0},        {235, 128, 128, 255, 255, 255},
               {128, 128, 128, 130, 130, 130}, {63, 102, 240, 255, 0, 0},
               {173, 42, 26, 0, 255, 0},       {32, 240, 118, 0, 0, 255}};
  for (const auto& c : cases) {
    std::vector<std::int16_t> y(8, std::int16_t(c.y * 64)), u(8, std::int16_t(c.u * 64)),
        v(8, std::int16_t(c.v * 64));
    std::uint8_t bgrx[32];
    ConvertRowPlain(y.data(), u.data(), v.data(), 8, m, bgrx);
    EXPECT_NEAR(bgrx[2], c.r, 1) << "Y" << c.y << " U" << c.u << " V" << c.v;
    EXPECT_NEAR(bgrx[1], c.g, 1) << "Y" << c.y << " U" << c.u << " V" << c.v;
    EXPECT_NEAR(bgrx[0], c.b, 1) << "Y" << c.y << " U" << c.u << " V" << c.v;
  }
}

}  // namespace
