#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/Channels.h"
#include "support/ScratchFolder.h"

using namespace vantor;

namespace {

std::string KeyOf(const std::string& path) {
  const auto named = ChannelOfPath(path);
  return named ? named->clipKey : "(none)";
}

}  // namespace

TEST(Channels, TheCamerasNamingsPairFrontWithRear) {
  const char* pairs[][2] = {
      {"/card/2021_0918_174205_001_F.MP4", "/card/2021_0918_174205_001_R.MP4"},
      {"/card/20210918-174205F.MP4", "/card/20210918-174205R.mp4"},
      {"/card/2021_0918_174205_NF.mp4", "/card/2021_0918_174205_NR.mp4"},
      {"/card/Movie/Front/0001.MOV", "/card/Movie/rear/0001.MOV"},
      {"/card/F/2021_0918_174205_F.MP4", "/card/R/2021_0918_174205_R.MP4"},
  };
  for (const auto& pair : pairs) {
    ASSERT_TRUE(ChannelOfPath(pair[0])) << pair[0];
    EXPECT_EQ(ChannelOfPath(pair[0])->channel, CameraChannel::Front) << pair[0];
    EXPECT_EQ(ChannelOfPath(pair[1])->channel, CameraChannel::Rear) << pair[1];
    EXPECT_EQ(KeyOf(pair[0]), KeyOf(pair[1])) << pair[0];
  }
  EXPECT_EQ(ChannelOfPath("/card/2021_0918_174205_I.MP4")->channel, CameraChannel::Interior);
  // Another clip, another folder, a clip of another kind: not the same clip.
  EXPECT_NE(KeyOf("/card/20210918-174205F.MP4"), KeyOf("/card/20210918-174305R.MP4"));
  EXPECT_NE(KeyOf("/card/a/20210918-174205F.MP4"), KeyOf("/card/b/20210918-174205R.MP4"));
  EXPECT_NE(KeyOf("/card/x_NF.MP4"), KeyOf("/card/x_ER.MP4"));
  // Names of one-channel cameras, and words that merely end in a channel letter.
  for (const char* name : {"/card/2021_0918_174205_001.MOV", "/card/AMBA0001.MOV",
                           "/card/GOPR0001.MP4", "/card/WINTER.MP4", "/card/F.MP4",
                           "/card/Front.MP4"})
    EXPECT_FALSE(ChannelOfPath(name)) << name;
}

TEST(Channels, GroupingMakesOneEntryPerClip) {
  const std::vector<std::string> paths = {
      "/c/A_R.MP4", "/c/A_F.MP4", "/c/B_F.MP4", "/c/plain.MOV", "/c/C_R.MP4", "/c/A_F.MP4"};
  const std::vector<ClipChannels> clips = GroupChannels(paths);
  ASSERT_EQ(clips.size(), 5u);
  // In the order of each clip's first file; the front plays in the pane.
  EXPECT_EQ(clips[0].Main(), "/c/A_F.MP4");
  EXPECT_EQ(clips[0].Others(), std::vector<std::string>{"/c/A_R.MP4"});
  EXPECT_EQ(clips[0].Remark(), "F+R");
  EXPECT_EQ(clips[1].Remark(), "F");
  EXPECT_EQ(clips[2].Main(), "/c/plain.MOV");
  EXPECT_EQ(clips[2].Remark(), "");
  // A clip whose rear camera alone recorded plays that.
  EXPECT_EQ(clips[3].Main(), "/c/C_R.MP4");
  EXPECT_EQ(clips[3].MainChannel(), CameraChannel::Rear);
  EXPECT_TRUE(clips[3].Others().empty());
  // The same file twice is not two channels.
  EXPECT_EQ(clips[4].Main(), "/c/A_F.MP4");
}

TEST(Channels, TheOtherChannelsAreFoundOnTheCard) {
  test::ScratchFolder card("channels");
  const auto front = card.Write("DCIM/2021_0918_174205_F.MP4", "x").string();
  const auto rear = card.Write("DCIM/2021_0918_174205_R.MP4", "x").string();
  card.Write("DCIM/2021_0918_174305_R.MP4", "x");  // the next clip
  EXPECT_EQ(OtherChannelFiles(front), std::vector<std::string>{rear});
  EXPECT_EQ(OtherChannelFiles(rear), std::vector<std::string>{front});

  const auto f = card.Write("Movie/Front/0001.MOV", "x").string();
  const auto r = card.Write("Movie/REAR/0001.MOV", "x").string();
  const auto i = card.Write("Movie/Inside/0001.MOV", "x").string();
  card.Write("Movie/Photo/0001.MOV", "x");  // not a channel's folder
  std::vector<std::string> others = OtherChannelFiles(f);
  std::sort(others.begin(), others.end());
  EXPECT_EQ(others, (std::vector<std::string>{i, r}));
  EXPECT_TRUE(OtherChannelFiles((card / "DCIM/plain.MOV").string()).empty());
}
