// Seeking: accurate paused seeks, coalesced floods, and steps served from decoded frames.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <optional>
#include <thread>

#include "PlayerTestUtil.h"
#include "common/GstInit.h"
#include "common/Messages.h"
#include "player/PlayerGraph.h"

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

namespace {

// Builds a movie's graph the way Open does, for a test that reaches into the
// pipeline.
class GraphBuilder : public CMoviePlayer {
 public:
  HRESULT Build(const std::string& path, Graph& g) { return RenderFile(path, g); }
};

}  // namespace

// A pause that completes late posts its ASYNC_DONE while a seek is still on
// its way to the demuxer; that must not count as the seek's completion.
TEST(MoviePlayerSeek, AnEarlierAsyncDoneDoesNotEndTheSeek) {
  ASSERT_TRUE(vantor::EnsureGStreamer());
  CMoviePlayer::Graph g(Clock::now() + std::chrono::seconds(3), nullptr, 0, 0);
  ASSERT_EQ(GraphBuilder().Build(FixtureMovie(Fixture::VideoOnly), g), S_OK);
  struct Probe {
    CMoviePlayer::Graph* graph = nullptr;
    std::mutex mutex;
    bool fired = false;
    std::optional<std::int64_t> goingTo;
  } probe;
  probe.graph = &g;
  vantor::GstPtr<GstIterator> it(gst_bin_iterate_sinks(GST_BIN(g.Pipeline())));
  GValue item = G_VALUE_INIT;
  while (gst_iterator_next(it.get(), &item) == GST_ITERATOR_OK) {
    vantor::GstPtr<GstPad> pad(
        gst_element_get_static_pad(GST_ELEMENT(g_value_get_object(&item)), "sink"));
    gst_pad_add_probe(
        pad.get(), GST_PAD_PROBE_TYPE_EVENT_UPSTREAM,
        [](GstPad*, GstPadProbeInfo* info, gpointer data) {
          auto* pr = static_cast<Probe*>(data);
          if (GST_EVENT_TYPE(GST_PAD_PROBE_INFO_EVENT(info)) != GST_EVENT_SEEK)
            return GST_PAD_PROBE_OK;
          std::lock_guard lock(pr->mutex);
          if (pr->fired) return GST_PAD_PROBE_OK;
          GstElement* pipeline = pr->graph->Pipeline();
          vantor::GstPtr<GstBus> bus(gst_element_get_bus(pipeline));
          gst_bus_post(bus.get(),
                       gst_message_new_async_done(GST_OBJECT(pipeline), GST_CLOCK_TIME_NONE));
          pr->goingTo = pr->graph->PositionGoingTo();
          pr->fired = true;
          return GST_PAD_PROBE_OK;
        },
        &probe, nullptr);
    g_value_reset(&item);
  }
  g_value_unset(&item);

  const std::int64_t target = 1500 * std::int64_t(GST_MSECOND);
  g.Seek(target, 1.0);
  ASSERT_TRUE(WaitFor(
      [&] {
        std::lock_guard lock(probe.mutex);
        return probe.fired;
      },
      3000));
  {
    std::lock_guard lock(probe.mutex);
    EXPECT_EQ(probe.goingTo, target);
  }
  // The seek's own completion still ends it.
  EXPECT_TRUE(WaitFor([&] { return !g.PositionGoingTo(); }, 3000));
}
