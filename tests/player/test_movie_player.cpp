#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <mutex>
#include <thread>

#include "FixtureMovies.h"
#include "common/Messages.h"
#include "player/MoviePlayer.h"

using vantor::test::Fixture;
using vantor::test::FixtureMovie;
using Clock = std::chrono::steady_clock;

namespace {

const VideoRect kPane{50, 40, 625, 430};

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (Clock::now() >= end) return done();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

// Catches every message box the player would show.
class MessageCatcher {
 public:
  MessageCatcher() {
    m_previous = vantor::SetMessageBoxFunction([this](const vantor::MessageBoxRequest& r) {
      std::lock_guard lock(m_mutex);
      m_messages.push_back(r);
    });
  }
  ~MessageCatcher() { vantor::SetMessageBoxFunction(m_previous); }
  std::vector<vantor::MessageBoxRequest> Take() {
    std::lock_guard lock(m_mutex);
    return std::exchange(m_messages, {});
  }

 private:
  std::mutex m_mutex;
  std::vector<vantor::MessageBoxRequest> m_messages;
  vantor::MessageBoxFn m_previous;
};

// A video output without a window: records what the player asks of it.
class RecordingOutput : public IVideoOutput {
 public:
  ~RecordingOutput() override { DetachFromPlayer(); }
  void PresentFrame(VideoFramePtr frame) override {
    std::lock_guard lock(mutex);
    last = std::move(frame);
    ++frames;
  }
  bool PlaceVideo(const VideoRect& rc) override {
    placed = rc;
    width = rc.Width();
    height = rc.Height();
    return placeOk;
  }
  bool ShowVideoWindow(bool bShow) override {
    shown = bShow;
    ++showCalls;
    return showOk;
  }
  bool SetFullScreen(bool on) override {
    fullScreen = on;
    ++fullScreenCalls;
    return true;
  }
  void GetShownSize(int& w, int& h) const override {
    w = fullScreen ? 1280 : width;
    h = fullScreen ? 800 : height;
  }
  void ClearVideo() override {
    std::lock_guard lock(mutex);
    last.reset();
    ++clears;
  }
  VideoFramePtr Last() {
    std::lock_guard lock(mutex);
    return last;
  }
  int Frames() {
    std::lock_guard lock(mutex);
    return frames;
  }

  std::mutex mutex;
  VideoFramePtr last;
  int frames = 0;
  VideoRect placed;
  int width = 0, height = 0;
  bool shown = false, fullScreen = false, placeOk = true, showOk = true;
  int showCalls = 0, fullScreenCalls = 0, clears = 0;
};

// Makes the pipeline calls whose failures reach the user fail on demand.
class FailingPlayer : public CMoviePlayer {
 public:
  bool failState = false, failQuery = false;

 protected:
  bool ChangeState(int s) override { return !failState && CMoviePlayer::ChangeState(s); }
  bool QueryPosition(std::int64_t& ns) override {
    return !failQuery && CMoviePlayer::QueryPosition(ns);
  }
  bool QueryDuration(std::int64_t& ns) override {
    return !failQuery && CMoviePlayer::QueryDuration(ns);
  }
};

std::vector<std::string> AttemptNames(const CMoviePlayer& p) {
  std::vector<std::string> v;
  for (const auto& a : p.GetRenderAttempts()) v.push_back(a.name);
  return v;
}

std::vector<HRESULT> AttemptResults(const CMoviePlayer& p) {
  std::vector<HRESULT> v;
  for (const auto& a : p.GetRenderAttempts()) v.push_back(a.hr);
  return v;
}

// Waits until the frame handed out is the one at `ms` (one frame's tolerance).
bool ShowsFrameAt(CMoviePlayer& p, long ms, int timeoutMs = 3000) {
  return WaitFor([&] { return std::llabs(p.GetShownFrameTime() - ms) <= 34; }, timeoutMs);
}

}  // namespace

TEST(MoviePlayerClosed, EveryOperationIsAQuietNoOp) {
  MessageCatcher messages;
  CMoviePlayer p;
  EXPECT_FALSE(p.IsOpen());
  EXPECT_FALSE(p.IsRunning());
  EXPECT_TRUE(p.CheckComplete());
  EXPECT_EQ(p.GetCurrentPosition(), 0);
  EXPECT_EQ(p.GetDuration(), 0);
  EXPECT_FALSE(p.SetRate(2.0));
  EXPECT_EQ(p.GetVolume(), 0);
  EXPECT_TRUE(p.IsMuted());
  EXPECT_FALSE(p.EnterFullScreen());
  EXPECT_FALSE(p.IsFullScreen());  // untouched without a video
  EXPECT_FALSE(p.LeaveFullScreen());
  long size = 99;
  EXPECT_EQ(p.GetCurrentImage(&size), nullptr);
  EXPECT_EQ(size, 0);
  p.Play();
  p.Pause();
  p.Stop();
  p.ShowVideo(TRUE);
  p.SetVideoPosition(kPane);
  p.SetCurrentPosition(1000);
  p.Mute(TRUE);
  EXPECT_EQ(p.Close(), S_OK);
  EXPECT_TRUE(messages.Take().empty());
}

TEST(MoviePlayerOpen, PrerollsAndStopsOnTheFirstFrame) {
  MessageCatcher messages;
  CMoviePlayer p;
  ASSERT_TRUE(p.Open(FixtureMovie(Fixture::AudioVideo), nullptr, kPane));
  EXPECT_TRUE(p.IsOpen());
  EXPECT_EQ(p.GetVideoWidth(), 320);
  EXPECT_EQ(p.GetVideoHeight(), 240);
  EXPECT_FALSE(p.IsAudioOnly());
  EXPECT_NEAR(p.GetDuration(), 4000, 100);
  EXPECT_FALSE(p.IsRunning());
  EXPECT_EQ(p.GetCurrentPosition(), 0);
  EXPECT_EQ(p.GetShownFrameTime(), 0);  // before Open came back
  EXPECT_FALSE(p.CheckComplete());
  EXPECT_TRUE(messages.Take().empty());

  EXPECT_EQ(p.Close(), S_OK);
  EXPECT_FALSE(p.IsOpen());
  EXPECT_EQ(p.GetVideoWidth(), 0);
  EXPECT_TRUE(p.CheckComplete());
}

TEST(MoviePlayerOpen, EmptyPathClosesAndSucceeds) {
  CMoviePlayer p;
  ASSERT_TRUE(p.Open(FixtureMovie(Fixture::AudioVideo), nullptr, kPane));
  EXPECT_TRUE(p.Open("", nullptr, kPane));
  EXPECT_FALSE(p.IsOpen());
  EXPECT_TRUE(p.GetRenderAttempts().empty());
  EXPECT_TRUE(p.CheckComplete());
}

TEST(MoviePlayerOpen, OpeningAnotherMovieReplacesTheFirst) {
  CMoviePlayer p;
  ASSERT_TRUE(p.Open(FixtureMovie(Fixture::AudioVideo), nullptr, kPane));
  p.Play();
  ASSERT_TRUE(p.Open(FixtureMovie(Fixture::VideoOnly), nullptr, kPane));
  EXPECT_NEAR(p.GetDuration(), 2000, 100);
  EXPECT_FALSE(p.IsRunning());
}

TEST(MoviePlayerStrategies, MovAndMp4GoStraightToAutomaticPlayback) {
  CMoviePlayer p;
  ASSERT_TRUE(p.Open(FixtureMovie(Fixture::AudioVideo), nullptr, kPane));
  EXPECT_EQ(AttemptNames(p), (std::vector<std::string>{"RenderWmv", "RenderFile"}));
  EXPECT_EQ(AttemptResults(p), (std::vector<HRESULT>{E_INVALIDARG, S_OK}));
}

TEST(MoviePlayerStrategies, PathWithoutDotFailsTheExtensionTestsWithEFail) {
  CMoviePlayer p;
  ASSERT_TRUE(p.Open(FixtureMovie(Fixture::NoExtension), nullptr, kPane));
  EXPECT_EQ(AttemptResults(p), (std::vector<HRESULT>{E_FAIL, S_OK}));
  EXPECT_NEAR(p.GetDuration(), 4000, 100);
}

TEST(MoviePlayerStrategies, WmvInAnyCaseUsesTheAsfStrategy) {
  const std::string wmv = FixtureMovie(Fixture::WmvMovie);
  for (const char* ext : {".wmv", ".WMV", ".Wmv", ".wMa"}) {
    const std::filesystem::path copy =
        std::filesystem::path(wmv).parent_path() / (std::string("case") + ext);
    if (!std::filesystem::exists(copy)) std::filesystem::copy_file(wmv, copy);
    CMoviePlayer p;
    ASSERT_TRUE(p.Open(copy.string(), nullptr, kPane)) << ext;
    EXPECT_EQ(AttemptNames(p), std::vector<std::string>{"RenderWmv"}) << ext;
    EXPECT_EQ(p.GetVideoWidth(), 320) << ext;
  }
}

// A two-second movie opened in `p` plays, and comes to its end.
static void PlayTwoSecondsToTheEnd(CMoviePlayer& p) {
  p.Play();
  EXPECT_TRUE(WaitFor([&] { return p.GetCurrentPosition() >= 300; }, 3000));
  EXPECT_TRUE(WaitFor([&] { return p.CheckComplete(); }, 5000));
}

TEST(MoviePlayerStrategies, WmvWithSoundShowsPictureAndSound) {
  RecordingOutput out;
  CMoviePlayer p;
  const auto t0 = Clock::now();
  ASSERT_TRUE(p.Open(FixtureMovie(Fixture::WmvSound), &out, kPane));
  EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(2500));
  EXPECT_EQ(AttemptNames(p), std::vector<std::string>{"RenderWmv"});
  EXPECT_NEAR(p.GetDuration(), 2000, 100);
  EXPECT_EQ(p.GetVideoWidth(), 320);
  EXPECT_EQ(p.GetVideoHeight(), 240);
  p.SetVolume(74);
  EXPECT_EQ(p.GetVolume(), 74);  // the sound branch is there
  const int before = out.Frames();
  PlayTwoSecondsToTheEnd(p);
  // 60 frames in two seconds; a loaded machine may drop a few late ones.
  EXPECT_GE(out.Frames() - before, 40);
}

// Every picture of this file lies past its end, so only its sound can be
// played; it must still open and play, not wait for a picture forever.
TEST(MoviePlayerStrategies, WmvWhosePicturesAreLostStillPlaysItsSound) {
  RecordingOutput out;
  CMoviePlayer p;
  const auto t0 = Clock::now();
  ASSERT_TRUE(p.Open(FixtureMovie(Fixture::WmvLostPicture), &out, kPane));
  EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(2500));
  EXPECT_NEAR(p.GetDuration(), 2000, 100);
  p.SetVolume(74);
  EXPECT_EQ(p.GetVolume(), 74);  // the sound branch is there
  PlayTwoSecondsToTheEnd(p);
}

TEST(MoviePlayerStrategies, AviIsOpenedByAutomaticPlaybackFirst) {
  CMoviePlayer p;
  ASSERT_TRUE(p.Open(FixtureMovie(Fixture::AviVideo), nullptr, kPane));
  EXPECT_EQ(AttemptResults(p), (std::vector<HRESULT>{E_INVALIDARG, S_OK}));
  EXPECT_NEAR(p.GetDuration(), 2000, 100);
}

TEST(MoviePlayerStrategies, ForeignFileRunsAllFiveInOrderAndFails) {
  MessageCatcher messages;
  CMoviePlayer p;
  EXPECT_FALSE(p.Open(FixtureMovie(Fixture::TextFile), nullptr, kPane));
  EXPECT_EQ(AttemptNames(p), (std::vector<std::string>{"RenderWmv", "RenderFile", "RenderAvi",
                                                       "RenderWithAsyncReader", "RenderFile"}));
  const auto hr = AttemptResults(p);
  ASSERT_EQ(hr.size(), 5u);
  EXPECT_EQ(hr[0], E_INVALIDARG);  // not even built
  EXPECT_TRUE(FAILED(hr[1]));
  EXPECT_EQ(hr[2], E_INVALIDARG);
  EXPECT_TRUE(FAILED(hr[3]));
  EXPECT_TRUE(FAILED(hr[4]));
  EXPECT_TRUE(messages.Take().empty());
}

TEST(MoviePlayerTransport, PlayPauseStopKeepThePosition) {
  CMoviePlayer p;
  ASSERT_TRUE(p.Open(FixtureMovie(Fixture::AudioVideo), nullptr, kPane));
  p.Play();
  EXPECT_TRUE(p.IsRunning());
  ASSERT_TRUE(WaitFor([&] { return p.GetCurrentPosition() >= 500; }, 3000));
  p.Pause();
  EXPECT_FALSE(p.IsRunning());
  const long paused = p.GetCurrentPosition();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(p.GetCurrentPosition(), paused);
  p.Play();
  ASSERT_TRUE(WaitFor([&] { return p.GetCurrentPosition() >= paused + 200; }, 3000));
  p.Stop();
  EXPECT_FALSE(p.IsRunning());
  const long stopped = p.GetCurrentPosition();
  EXPECT_GE(stopped, paused + 200);  // not rewound
  p.Play();
  EXPECT_TRUE(p.IsRunning());
  EXPECT_GE(p.GetCurrentPosition(), stopped);
}

TEST(MoviePlayerTransport, PlaysInRealTimeWhateverTheAudioSink) {
  // Without a sound device the clock still has to run at the movie's pace.
  CMoviePlayer p;
  ASSERT_TRUE(p.Open(FixtureMovie(Fixture::AudioVideo), nullptr, kPane));
  p.Play();
  ASSERT_TRUE(WaitFor([&] { return p.GetCurrentPosition() > 0; }, 2000));
  const long start = p.GetCurrentPosition();
  const auto t0 = Clock::now();
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  const long moved = p.GetCurrentPosition() - start;
  const long wall =
      long(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0).count());
  EXPECT_NEAR(moved, wall, 250) << "audio sink: " << CMoviePlayer::AudioSinkName();
}

TEST(MoviePlayerTransport, CompletionIsReportedOnceAndDrainsTheQueue) {
  CMoviePlayer p;
  ASSERT_TRUE(p.Open(FixtureMovie(Fixture::AudioVideo), nullptr, kPane));
  EXPECT_FALSE(p.CheckComplete());
  p.SetCurrentPosition(3500);
  p.Play();
  ASSERT_TRUE(WaitFor([&] { return p.CheckComplete() != FALSE; }, 3000));
  EXPECT_FALSE(p.CheckComplete());
}

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

TEST(MoviePlayerRate, DoubleRateMovesTwiceAsFast) {
  CMoviePlayer p;
  ASSERT_TRUE(p.Open(FixtureMovie(Fixture::AudioVideo), nullptr, kPane));
  EXPECT_TRUE(p.SetRate(2.0));
  p.Play();
  ASSERT_TRUE(WaitFor([&] { return p.GetShownFrameTime() > 100; }, 2000));
  const long start = p.GetCurrentPosition();
  std::this_thread::sleep_for(std::chrono::milliseconds(800));
  EXPECT_NEAR(p.GetCurrentPosition() - start, 1600, 300);
  EXPECT_TRUE(p.SetRate(1.0));
  EXPECT_TRUE(p.IsRunning());
}

TEST(MoviePlayerVolume, PercentMapsOntoHundredthsOfADecibel) {
  EXPECT_DOUBLE_EQ(CMoviePlayer::AudioVolumeToLinear(0), 1.0);
  EXPECT_NEAR(CMoviePlayer::AudioVolumeToLinear(-2000), 0.1, 1e-12);
  EXPECT_EQ(CMoviePlayer::LinearToAudioVolume(CMoviePlayer::AudioVolumeToLinear(-2550)), -2550);
  EXPECT_EQ(CMoviePlayer::LinearToAudioVolume(0.0), -10000);

  CMoviePlayer p;
  ASSERT_TRUE(p.Open(FixtureMovie(Fixture::AudioVideo), nullptr, kPane));
  EXPECT_EQ(p.GetVolume(), 100);  // the remembered volume of a new player
  p.SetVolume(50);
  EXPECT_EQ(p.GetAudioVolume(), -5000);
  EXPECT_EQ(p.GetVolume(), 50);
  p.SetVolume(0);
  EXPECT_EQ(p.GetAudioVolume(), -10000);
  EXPECT_TRUE(p.IsMuted());
  p.SetVolume(100);
  EXPECT_EQ(p.GetAudioVolume(), 0);
  p.PutAudioVolume(-2550);
  EXPECT_EQ(p.GetVolume(), 74);  // truncated, not rounded
  p.SetVolume(150);              // out of range: refused, as before
  EXPECT_EQ(p.GetVolume(), 74);
}

TEST(MoviePlayerVolume, MuteRemembersTheVolumeAcrossMovies) {
  CMoviePlayer p;
  ASSERT_TRUE(p.Open(FixtureMovie(Fixture::AudioVideo), nullptr, kPane));
  p.SetVolume(80);
  p.Mute(TRUE);
  EXPECT_TRUE(p.IsMuted());
  p.Mute(TRUE);  // already silent: 80 stays remembered
  p.Mute(FALSE);
  EXPECT_EQ(p.GetVolume(), 80);

  p.SetVolume(30);
  p.Mute(TRUE);
  ASSERT_TRUE(p.Open(FixtureMovie(Fixture::AudioVideo), nullptr, kPane));
  EXPECT_EQ(p.GetVolume(), 30);  // the remembered volume, applied by Open
}

TEST(MoviePlayerTracks, MovieWithoutSoundHasNoVolumeButPlays) {
  CMoviePlayer p;
  ASSERT_TRUE(p.Open(FixtureMovie(Fixture::VideoOnly), nullptr, kPane));
  EXPECT_EQ(p.GetVolume(), 0);
  p.Mute(FALSE);
  EXPECT_EQ(p.GetVolume(), 0);
  p.SetCurrentPosition(1500);
  p.Play();
  EXPECT_TRUE(WaitFor([&] { return p.CheckComplete() != FALSE; }, 3000));
}

TEST(MoviePlayerTracks, SoundOnlyMovieHasNoPictureAndStillPlays) {
  MessageCatcher messages;
  RecordingOutput out;
  CMoviePlayer p;
  ASSERT_TRUE(p.Open(FixtureMovie(Fixture::AudioOnly), &out, kPane));
  EXPECT_TRUE(p.IsOpen());
  EXPECT_TRUE(p.IsAudioOnly());
  EXPECT_EQ(p.GetVideoHeight(), 0);
  EXPECT_NEAR(p.GetDuration(), 2000, 100);
  // No window set-up at all for it.
  EXPECT_EQ(out.showCalls, 0);
  EXPECT_EQ(out.placed.right, 0);
  p.ShowVideo(FALSE);
  p.SetVideoPosition(kPane);
  EXPECT_EQ(out.showCalls, 0);
  // Full screen has nothing to show, but the flag is set all the same.
  EXPECT_FALSE(p.EnterFullScreen());
  EXPECT_TRUE(p.IsFullScreen());
  EXPECT_FALSE(p.LeaveFullScreen());
  EXPECT_FALSE(p.IsFullScreen());
  EXPECT_EQ(p.GetCurrentImage(nullptr), nullptr);
  EXPECT_EQ(p.GetVolume(), 100);
  p.Play();
  EXPECT_TRUE(WaitFor([&] { return p.GetCurrentPosition() >= 300; }, 3000));
  EXPECT_TRUE(messages.Take().empty());
}

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

class MoviePlayerMessages : public testing::Test {
 protected:
  void SetLocale(const char* lang) {
    setenv("LC_ALL", lang, 1);
    vantor::ResetMessageLocale();
  }
  void TearDown() override {
    unsetenv("LC_ALL");
    vantor::ResetMessageLocale();
  }
  std::vector<std::string> Provoke() {
    FailingPlayer p;
    RecordingOutput out;
    EXPECT_TRUE(p.Open(FixtureMovie(Fixture::AudioVideo), &out, kPane));
    messages.Take();
    p.failState = p.failQuery = true;
    out.placeOk = out.showOk = false;
    p.Pause();
    p.Play();
    p.Stop();
    EXPECT_EQ(p.GetCurrentPosition(), 0);
    EXPECT_EQ(p.GetDuration(), 0);
    p.SetVideoPosition(kPane);
    p.ShowVideo(FALSE);
    std::vector<std::string> texts;
    for (const auto& m : messages.Take()) {
      EXPECT_EQ(m.caption, "Preview Player");
      EXPECT_EQ(m.icon, vantor::MessageIcon::Error);
      texts.push_back(m.text);
    }
    p.failState = false;
    return texts;
  }
  MessageCatcher messages;
};

TEST_F(MoviePlayerMessages, EnglishTexts) {
  SetLocale("en_US.UTF-8");
  EXPECT_EQ(Provoke(), (std::vector<std::string>{
                           "Failed to pause", "Failed to play", "Failed to stop",
                           "Failed to get play position", "Failed to get movie duration",
                           "Failed to set play position", "Failed to show or hide video window"}));
}

TEST_F(MoviePlayerMessages, ChineseTextsOnlyForSimplifiedChinese) {
  SetLocale("zh_CN.UTF-8");
  EXPECT_EQ(Provoke(),
            (std::vector<std::string>{"无法暂停！", "无法播放！", "无法停止！",
                                      "无法获取播放位置！", "无法获取影片长度！",
                                      "无法设置播放创位置！", "无法显示或隐藏播放窗！"}));
  SetLocale("zh_TW.UTF-8");
  const auto tw = Provoke();
  ASSERT_FALSE(tw.empty());
  EXPECT_EQ(tw.front(), "Failed to pause");
}

// --- bad input -----------------------------------------------------------------

TEST(MoviePlayerBadInput, RefusedQuicklyAndSilentlyThenAGoodMovieOpens) {
  MessageCatcher messages;
  const std::string folder = vantor::test::FixtureFolder();
  const std::vector<std::string> bad = {
      folder + "/no such movie.MOV",
      FixtureMovie(Fixture::EmptyFile),
      FixtureMovie(Fixture::TextFile),
      folder,  // a directory
      folder + "/missing 'q' \"d\" #2 50% \xce\xa9.MOV",
  };
  CMoviePlayer p;
  for (const auto& path : bad) {
    const auto t0 = Clock::now();
    EXPECT_FALSE(p.Open(path, nullptr, kPane)) << path;
    EXPECT_LT(Clock::now() - t0, std::chrono::seconds(3)) << path;
    EXPECT_FALSE(p.IsOpen()) << path;
    EXPECT_EQ(p.GetDuration(), 0);
  }
  EXPECT_TRUE(messages.Take().empty());
  ASSERT_TRUE(p.Open(FixtureMovie(Fixture::AudioVideo), nullptr, kPane));
  EXPECT_NEAR(p.GetDuration(), 4000, 100);
}

TEST(MoviePlayerBadInput, TruncatedMovieIsRefusedOrPlaysWhatItHas) {
  MessageCatcher messages;
  CMoviePlayer p;
  const auto t0 = Clock::now();
  const BOOL opened = p.Open(FixtureMovie(Fixture::Truncated), nullptr, kPane);
  EXPECT_LT(Clock::now() - t0, std::chrono::seconds(3));
  if (opened) {
    p.Play();
    EXPECT_TRUE(WaitFor([&] { return p.CheckComplete() != FALSE; }, 6000));
  }
  EXPECT_TRUE(messages.Take().empty());
  ASSERT_TRUE(p.Open(FixtureMovie(Fixture::AudioVideo), nullptr, kPane));
}

TEST(MoviePlayerBadInput, FailedOpenAfterAGoodMovieLeavesNothingToDrive) {
  MessageCatcher messages;
  CMoviePlayer p;
  ASSERT_TRUE(p.Open(FixtureMovie(Fixture::AudioVideo), nullptr, kPane));
  EXPECT_FALSE(p.Open(FixtureMovie(Fixture::TextFile), nullptr, kPane));
  // The old movie is gone; the open flag keeps its value, every operation is idle.
  EXPECT_TRUE(p.IsOpen());
  EXPECT_FALSE(p.IsRunning());
  EXPECT_TRUE(p.CheckComplete());
  p.Play();
  EXPECT_EQ(p.GetCurrentPosition(), 0);
  EXPECT_TRUE(messages.Take().empty());
}

TEST(MoviePlayerBadInput, AwkwardCharactersInAGoodMoviesPath) {
  CMoviePlayer p;
  ASSERT_TRUE(p.Open(FixtureMovie(Fixture::OddPath), nullptr, kPane));
  EXPECT_NEAR(p.GetDuration(), 4000, 100);
  EXPECT_EQ(p.GetVideoWidth(), 320);
}

// Missing, empty, text, a directory, and the cut-off movie last.
static std::vector<std::string> BadInputs() {
  return {vantor::test::FixtureFolder() + "/no such movie.MOV", FixtureMovie(Fixture::EmptyFile),
          FixtureMovie(Fixture::TextFile), vantor::test::FixtureFolder(),
          FixtureMovie(Fixture::Truncated)};
}

// A demuxer that refuses a file at once can have its error swallowed while
// it is being set up; the refusal must still come quickly, not at the end of
// the Open budget. Before that was handled, about one open in two of the cut
// off movie in this sequence waited out the budget, from the fifth round or so.
TEST(MoviePlayerBadInput, RefusalsComeQuicklyEveryTime) {
  const std::vector<std::string> bad = BadInputs();
  MessageCatcher messages;
  CMoviePlayer p;
  for (int round = 0; round < 40; ++round) {
    for (const auto& path : bad) {
      const auto t0 = Clock::now();
      const BOOL opened = p.Open(path, nullptr, kPane);
      // The cut-off movie may also open and play what it has.
      if (path != bad.back()) {
        EXPECT_FALSE(opened) << path;
      }
      EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(1000)) << path << " round " << round;
    }
  }
  EXPECT_TRUE(messages.Take().empty());
}

// Run by hand under valgrind or ASan with VANTOR_OPEN_LOOP=200 to look for
// pipelines, threads or memory left behind by refused files.
TEST(MoviePlayerBadInput, RepeatedRefusalsLeaveNothingBehind) {
  const char* env = std::getenv("VANTOR_OPEN_LOOP");
  const int rounds = env ? std::atoi(env) : 2;
  const std::vector<std::string> bad = BadInputs();
  MessageCatcher messages;
  CMoviePlayer p;
  for (int i = 0; i < rounds; ++i) {
    for (const auto& path : bad) {
      auto t0 = Clock::now();
      BOOL ok = p.Open(path, nullptr, kPane);
      fprintf(stderr, "%lld ms ok=%d %s",
              (long long)std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - t0)
                  .count(),
              ok, path.c_str());
      for (auto& a : p.GetRenderAttempts())
        fprintf(stderr, " %s=%x", a.name.c_str(), (unsigned)a.hr);
      fprintf(stderr, "\n");
    }
  }
  EXPECT_TRUE(messages.Take().empty());
  ASSERT_TRUE(p.Open(FixtureMovie(Fixture::AudioVideo), nullptr, kPane));
  EXPECT_NEAR(p.GetDuration(), 4000, 100);
}
