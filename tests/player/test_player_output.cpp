// The output: frames scaled to the pane, full screen, an output going away, the full-size image.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <thread>

#include "PlayerTestUtil.h"
#include "common/Messages.h"

using namespace vantor::test;

TEST(MoviePlayerOutput, FirstFrameReachesTheOutputScaledToThePane) {
  RecordingOutput out;
  CMoviePlayer p;
  ASSERT_TRUE(p.Open(FixtureMovie(Fixture::AudioVideo), &out, VideoRect{10, 20, 170, 140}));
  EXPECT_EQ(out.placed.left, 10);
  EXPECT_EQ(out.placed.bottom, 140);
  EXPECT_TRUE(out.shown);
  const VideoFramePtr f = out.Last();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(f->Width(), 160);
  EXPECT_EQ(f->Height(), 120);
  EXPECT_GE(f->Stride(), 160 * 4);
  // Top-left: the first SMPTE bar, white; the second, yellow; B, G, R, x order.
  const std::uint8_t* px = f->Pixels() + 5 * f->Stride() + 5 * 4;
  EXPECT_GT(px[0], 225);
  EXPECT_GT(px[1], 225);
  EXPECT_GT(px[2], 225);
  const std::uint8_t* yellow = f->Pixels() + 5 * f->Stride() + 34 * 4;
  EXPECT_LT(yellow[0], 60);
  EXPECT_GT(yellow[1], 180);
  EXPECT_GT(yellow[2], 180);

  p.SetVideoPosition(VideoRect{0, 0, 80, 60});
  p.SetCurrentPosition(1000);
  EXPECT_TRUE(WaitFor(
      [&] {
        auto l = out.Last();
        return l && l->Width() == 80 && l->TimeMs() == 1000;
      },
      3000));

  p.Close();
  EXPECT_EQ(out.Last(), nullptr);
  EXPECT_GE(out.clears, 1);
}

TEST(MoviePlayerOutput, FullScreenFlagOutlivesCloseAndComesBackOnOpen) {
  RecordingOutput out;
  CMoviePlayer p;
  ASSERT_TRUE(p.Open(FixtureMovie(Fixture::AudioVideo), &out, kPane));
  EXPECT_TRUE(p.EnterFullScreen());
  EXPECT_TRUE(out.fullScreen);
  EXPECT_TRUE(p.IsFullScreen());
  p.SetCurrentPosition(500);
  EXPECT_TRUE(WaitFor(
      [&] {
        auto l = out.Last();
        return l && l->Width() == 1280;
      },
      3000));

  p.Close();
  EXPECT_TRUE(p.IsFullScreen());
  EXPECT_FALSE(out.fullScreen);  // the window goes with the movie

  ASSERT_TRUE(p.Open(FixtureMovie(Fixture::VideoOnly), &out, kPane));
  EXPECT_TRUE(out.fullScreen);
  EXPECT_TRUE(p.LeaveFullScreen());
  EXPECT_FALSE(p.IsFullScreen());
  EXPECT_FALSE(out.fullScreen);
}

TEST(MoviePlayerOutput, AnOutputThatGoesAwayIsNotCalledAgain) {
  CMoviePlayer p;
  {
    RecordingOutput out;
    ASSERT_TRUE(p.Open(FixtureMovie(Fixture::AudioVideo), &out, kPane));
    p.Play();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  // Frames keep coming with nobody to take them; nothing may reach the dead output.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_TRUE(p.IsRunning());
  p.Close();
}

TEST(MoviePlayerImage, CurrentImageIsABottomUpDibOfTheShownFrame) {
  CMoviePlayer p;
  ASSERT_TRUE(p.Open(FixtureMovie(Fixture::AudioVideo), nullptr, kPane));
  long size = 0;
  auto dib = p.GetCurrentImage(&size);
  ASSERT_NE(dib, nullptr);
  const long row = 320 * 3;  // already a multiple of 4
  ASSERT_EQ(size, 40 + row * 240);
  auto u32 = [&](int at) {
    return std::uint32_t(dib[at]) | std::uint32_t(dib[at + 1]) << 8 |
           std::uint32_t(dib[at + 2]) << 16 | std::uint32_t(dib[at + 3]) << 24;
  };
  EXPECT_EQ(u32(0), 40u);                 // biSize
  EXPECT_EQ(u32(4), 320u);                // biWidth
  EXPECT_EQ(u32(8), 240u);                // biHeight > 0: bottom-up
  EXPECT_EQ(dib[12] | dib[13] << 8, 1);   // biPlanes
  EXPECT_EQ(dib[14] | dib[15] << 8, 24);  // biBitCount
  EXPECT_EQ(u32(16), 0u);                 // BI_RGB
  EXPECT_EQ(u32(20), std::uint32_t(row * 240));
  auto pixel = [&](int x, int y) {  // y from the top of the picture
    return dib.get() + 40 + (239 - y) * row + x * 3;
  };
  // Top-left: the white bar; next bar: yellow (blue low, green and red high).
  const std::uint8_t* white = pixel(10, 10);
  EXPECT_GT(white[0], 225);
  EXPECT_GT(white[1], 225);
  EXPECT_GT(white[2], 225);
  const std::uint8_t* yellow = pixel(68, 10);
  EXPECT_LT(yellow[0], 60);
  EXPECT_GT(yellow[1], 150);
  EXPECT_GT(yellow[2], 150);
  // Bottom-left is not the white bar: the rows really are upside down.
  const std::uint8_t* bottom = pixel(10, 235);
  EXPECT_GT(std::abs(int(bottom[0]) - int(bottom[2])), 30);

  // After a seek the image follows the frame shown.
  p.SetCurrentPosition(2000);
  ASSERT_TRUE(ShowsFrameAt(p, 2000));
  EXPECT_NE(p.GetCurrentImage(nullptr), nullptr);
}

// --- messages ----------------------------------------------------------------
