#pragma once
// What the player tests share: an output without a window that records what
// the player asks of it, a player whose user-visible calls fail on demand,
// and waiting for the pipeline's threads.
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "player/MoviePlayer.h"
#include "support/CapturedDialogs.h"
#include "support/FixtureMovies.h"

namespace vantor::test {

using Clock = std::chrono::steady_clock;

inline constexpr VideoRect kPane{50, 40, 625, 430};

// Polls `done` every 10 ms until it holds or `timeoutMs` pass (times the
// VANTOR_TEST_WAIT_SCALE factor of slow, instrumented builds).
bool WaitFor(const std::function<bool()>& done, int timeoutMs);

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

std::vector<std::string> AttemptNames(const CMoviePlayer& p);
std::vector<HRESULT> AttemptResults(const CMoviePlayer& p);

// Waits until the frame handed out is the one at `ms` (one frame's tolerance).
bool ShowsFrameAt(CMoviePlayer& p, long ms, int timeoutMs = 3000);

}  // namespace vantor::test
