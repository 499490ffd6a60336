// Seeking: accurate paused seeks, coalesced floods, and steps served from decoded frames.
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

TEST(MoviePlayerSeek, PausedSeeksShowTheNewFrame) {
  CMoviePlayer p;
  ASSERT_TRUE(p.Open(FixtureMovie(Fixture::AudioVideo), nullptr, kPane));
  p.Pause();
  p.SetCurrentPosition(2000);
  EXPECT_TRUE(ShowsFrameAt(p, 2000));
  EXPECT_EQ(p.GetCurrentPosition(), 2000);
  // Stepping backwards, 200 ms at a time, between key frames.
  for (long t = 1800; t >= 1000; t -= 200) {
    p.SetCurrentPosition(t);
    EXPECT_TRUE(ShowsFrameAt(p, t)) << t;
    EXPECT_NEAR(p.GetCurrentPosition(), t, 34);
  }
  EXPECT_FALSE(p.IsRunning());
}

TEST(MoviePlayerSeek, SteppingBackWithAnOutputReusesDecodedFrames) {
  RecordingOutput out;
  CMoviePlayer p;
  ASSERT_TRUE(p.Open(FixtureMovie(Fixture::AudioVideo), &out, kPane));
  p.Pause();
  auto outputShows = [&](long ms) {
    return WaitFor(
        [&] {
          VideoFramePtr f = out.Last();
          return f && std::llabs(f->TimeMs() - ms) <= 34 && f->TimeMs() <= ms;
        },
        3000);
  };
  // 2900 ms is near the end of a key-frame interval: the frames back to
  // 2000 ms are decoded once on the way there.
  p.SetCurrentPosition(2900);
  ASSERT_TRUE(outputShows(2900));
  for (long t = 2700; t >= 2100; t -= 200) {
    p.SetCurrentPosition(t);
    EXPECT_TRUE(outputShows(t)) << t;
    EXPECT_TRUE(ShowsFrameAt(p, t)) << t;
    EXPECT_EQ(p.GetCurrentPosition(), t);
    VideoFramePtr f = out.Last();
    ASSERT_NE(f, nullptr);
    EXPECT_EQ(f->Width(), kPane.Width());
    EXPECT_EQ(f->Height(), kPane.Height());
  }
  EXPECT_GE(p.GetStepCacheHits(), 3u);
  // Outside what was decoded (a different key-frame interval): decoded anew.
  p.SetCurrentPosition(1500);
  EXPECT_TRUE(outputShows(1500));
  EXPECT_EQ(p.GetCurrentPosition(), 1500);

  // The full-size image is the frame at the position stepped to.
  p.SetCurrentPosition(2300);
  EXPECT_TRUE(outputShows(2300));
  long size = 0;
  EXPECT_NE(p.GetCurrentImage(&size), nullptr);
  EXPECT_EQ(size, 40 + 320 * 3 * 240);
  EXPECT_NEAR(p.GetShownFrameTime(), 2300, 34);
  EXPECT_LE(p.GetShownFrameTime(), 2300);
  // Playing goes on from the frame shown.
  p.Play();
  EXPECT_TRUE(WaitFor([&] { return p.GetCurrentPosition() > 2400; }, 3000));
  EXPECT_GE(out.Last()->TimeMs(), 2300);
  p.Pause();
}

TEST(MoviePlayerSeek, FrameStepsShowTheNeighbouringFramesExactly) {
  RecordingOutput out;
  CMoviePlayer p;
  ASSERT_TRUE(p.Open(FixtureMovie(Fixture::AudioVideo), &out, kPane));
  p.Play();
  EXPECT_FALSE(p.StepFrame(1));  // only while paused
  p.Pause();
  p.SetCurrentPosition(1050);  // frame 31 (30 frames a second, a key frame at 1000 ms)
  auto shownFrame = [&] {
    VideoFramePtr f = out.Last();
    return f ? static_cast<int>((f->TimeMs() + 1) * 30 / 1000) : -1;
  };
  ASSERT_TRUE(WaitFor([&] { return shownFrame() == 31; }, 3000));
  // Forward, then back across the key frame, where another stretch is decoded;
  // two quick presses count twice.
  for (const auto& [step, expected] : {std::pair{1, 32}, {-1, 31}, {-1, 30}, {-1, 29}, {1, 30}}) {
    ASSERT_TRUE(p.StepFrame(step));
    EXPECT_TRUE(WaitFor([&] { return shownFrame() == expected; }, 3000)) << expected;
  }
  p.StepFrame(-1);
  p.StepFrame(-1);
  EXPECT_TRUE(WaitFor([&] { return shownFrame() == 28; }, 3000));
  // Never before the first frame.
  p.SetCurrentPosition(0);
  ASSERT_TRUE(WaitFor([&] { return shownFrame() == 0; }, 3000));
  p.StepFrame(-1);
  p.StepFrame(1);
  EXPECT_TRUE(WaitFor([&] { return shownFrame() == 1; }, 3000));
}

TEST(MoviePlayerSeek, AFloodOfSeeksSettlesOnTheLastOne) {
  CMoviePlayer p;
  ASSERT_TRUE(p.Open(FixtureMovie(Fixture::AudioVideo), nullptr, kPane));
  const std::uint64_t before = p.GetFramesPresented();
  int seeks = 0;
  long last = 0;
  for (long t = 100; t <= 3100; t += 30, ++seeks) p.SetCurrentPosition(last = t);
  EXPECT_EQ(p.GetCurrentPosition(), last);  // the newest target, at once
  EXPECT_TRUE(ShowsFrameAt(p, last));
  // Coalesced, not queued: far fewer frames decoded than seeks asked for.
  EXPECT_LT(p.GetFramesPresented() - before, std::uint64_t(seeks) / 2);
}

TEST(MoviePlayerSeek, TenMinutesIsFormedIn64Bits) {
  CMoviePlayer p;
  ASSERT_TRUE(p.Open(FixtureMovie(Fixture::AudioVideo), nullptr, kPane));
  p.SetCurrentPosition(600000);
  EXPECT_EQ(p.GetCurrentPosition(), 600000);
}
