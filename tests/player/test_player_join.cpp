// Playing across the join of two clips: the prepared clip takes over at the
// end, its first picture following the last one of the clip that ended.
#include <gtest/gtest.h>

#include <vector>

#include "PlayerTestUtil.h"

using namespace vantor::test;

namespace {

// Remembers the movie time of every picture in the order they arrived.
class TimelineOutput : public RecordingOutput {
 public:
  void PresentFrame(VideoFramePtr frame) override {
    {
      std::lock_guard lock(mutex);
      times.push_back(frame->TimeMs());
    }
    RecordingOutput::PresentFrame(std::move(frame));
  }
  std::vector<std::int64_t> Times() {
    std::lock_guard lock(mutex);
    return times;
  }
  std::vector<std::int64_t> times;
};

}  // namespace

TEST(MoviePlayerJoin, ThePreparedClipTakesOverWithItsFirstPictureAndNoBlank) {
  const std::string first = FixtureMovie(Fixture::VideoOnly);  // 2 s
  const std::string second = FixtureMovie(Fixture::AudioVideo);
  TimelineOutput out;
  CMoviePlayer p;
  ASSERT_TRUE(p.Open(first, &out, kPane));
  p.SetCurrentPosition(1500);
  ASSERT_TRUE(ShowsFrameAt(p, 1500));
  ASSERT_TRUE(p.PrepareNext(second));
  EXPECT_EQ(p.GetPreparedPath(), second);
  const int clearsBefore = out.clears;
  p.Play();
  ASSERT_TRUE(WaitFor([&] { return p.TakeHandover() != FALSE; }, 5000));

  EXPECT_EQ(p.GetPath(), second);
  EXPECT_EQ(p.GetPreparedPath(), "");
  EXPECT_TRUE(p.IsRunning());
  EXPECT_GT(p.GetDuration(), 3500);  // the second clip's length, not the first's 2 s
  ASSERT_TRUE(WaitFor([&] { return p.GetCurrentPosition() >= 300; }, 3000));
  EXPECT_EQ(out.clears, clearsBefore);

  // The picture right after the first clip's last one is the second's first.
  const std::vector<std::int64_t> times = out.Times();
  std::size_t last = 0;
  while (last + 1 < times.size() && times[last + 1] >= times[last]) ++last;
  ASSERT_LT(last + 1, times.size());
  EXPECT_GE(times[last], 1900);
  EXPECT_EQ(times[last + 1], 0);
  EXPECT_FALSE(p.CheckComplete());
}

TEST(MoviePlayerJoin, ASeekDropsThePreparedClipAndTheEndIsReportedAsBefore) {
  CMoviePlayer p;
  RecordingOutput out;
  ASSERT_TRUE(p.Open(FixtureMovie(Fixture::VideoOnly), &out, kPane));
  ASSERT_TRUE(p.PrepareNext(FixtureMovie(Fixture::AudioVideo)));
  p.SetCurrentPosition(1700);
  EXPECT_EQ(p.GetPreparedPath(), "");
  p.Play();
  ASSERT_TRUE(WaitFor([&] { return p.CheckComplete() != FALSE; }, 3000));
  EXPECT_FALSE(p.TakeHandover());
  EXPECT_EQ(p.GetPath(), FixtureMovie(Fixture::VideoOnly));
}

TEST(MoviePlayerJoin, AClipThatCannotPlayIsRefusedOnceItsPreparationFailsAndTheEndStaysTheEnd) {
  CMoviePlayer p;
  RecordingOutput out;
  ASSERT_TRUE(p.Open(FixtureMovie(Fixture::VideoOnly), &out, kPane));
  const std::string bad = FixtureMovie(Fixture::TextFile);
  p.PrepareNext(bad);
  ASSERT_TRUE(WaitFor([&] { return p.GetPreparedPath().empty(); }, 5000));
  EXPECT_FALSE(p.PrepareNext(bad));
  p.SetCurrentPosition(1700);
  p.Play();
  ASSERT_TRUE(WaitFor([&] { return p.CheckComplete() != FALSE; }, 3000));
  EXPECT_FALSE(p.TakeHandover());
  EXPECT_EQ(p.GetPath(), FixtureMovie(Fixture::VideoOnly));
}
