// Playing: transport, rate, volume, tracks, and the messages failures show.
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
  CapturedDialogs messages;
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
  CapturedDialogs messages;
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
