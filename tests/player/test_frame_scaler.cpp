#include <gst/app/gstappsink.h>
#include <gst/video/video.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

#include "common/GstInit.h"
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

ShownFrame ShowTestPicture(const char* pattern, guint colour = 0) {
  ShownFrame shown;
  if (!vantor::EnsureGStreamer()) return shown;
  GstPtr<GstElement> pipeline(gst_pipeline_new(nullptr));
  GstElement* src = gst_element_factory_make("videotestsrc", nullptr);
  GstElement* caps = gst_element_factory_make("capsfilter", nullptr);
  if (!src || !caps) return shown;
  gst_util_set_object_arg(G_OBJECT(src), "pattern", pattern);
  g_object_set(src, "num-buffers", 1, "foreground-color", colour, nullptr);
  GstPtr<GstCaps> i420(gst_caps_from_string("video/x-raw,format=I420,width=1920,height=1080"));
  g_object_set(caps, "caps", i420.get(), nullptr);
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
// takes the picture's colour, so the picture shows at its true shape.
TEST(FrameScalerPicture, BordersStayBlackUpToThePicture) {
  const ShownFrame shown = ShowTestPicture("solid-color", 0xffe02020);  // a strong red
  ASSERT_FALSE(shown.bytes.empty()) << "no 575x390 BGRx frame";
  for (int x = 0; x < 575; x += 41) {
    EXPECT_LT(shown.Brightest(x, 32), 8) << "x=" << x;
    EXPECT_LT(shown.Brightest(x, 356), 8) << "x=" << x;
    EXPECT_GT(shown.Channel(x, 33, 2), 150) << "x=" << x;
    EXPECT_GT(shown.Channel(x, 355, 2), 150) << "x=" << x;
  }
}

}  // namespace
