// The settings store: what survives between runs, and what a damaged file means.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "app/Settings.h"
#include "support/ScratchFolder.h"

namespace fs = std::filesystem;
using vantor::Settings;

namespace {

class SettingsTest : public testing::Test {
 protected:
  std::string File(const std::string& name) const { return (m_dir / name).string(); }
  void Write(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
  }
  vantor::test::ScratchFolder m_dir{"settings"};
};

TEST_F(SettingsTest, KeepsWhatWasSetAcrossRunsWithUnknownKeys) {
  // The folder is made on first save; a newer player's key survives ours.
  const std::string path = File("config/vantor/vantor.conf");
  {
    Settings s(path);
    EXPECT_FALSE(s.Load());
    ASSERT_TRUE(s.Set(Settings::kOpenFolder, "/media/card/DCIM 行车 "));
    s.SetInt(Settings::kVolume, 35);
    ASSERT_EQ(s.Save(), 0);
    std::ofstream(path, std::ios::app) << "window_layout=two cameras\n";
  }
  Settings s(path);
  ASSERT_TRUE(s.Load());
  EXPECT_EQ(s.Get(Settings::kOpenFolder), "/media/card/DCIM 行车 ");
  EXPECT_EQ(s.GetInt(Settings::kVolume, 100, 0, 100), 35);
  s.SetInt(Settings::kVolume, 60);
  ASSERT_EQ(s.Save(), 0);
  Settings again(path);
  ASSERT_TRUE(again.Load());
  EXPECT_EQ(again.Get("window_layout"), "two cameras");
  EXPECT_EQ(again.GetInt(Settings::kVolume, 100, 0, 100), 60);
  // A line break cannot be kept in a line: refused, not half-stored.
  EXPECT_FALSE(again.Set(Settings::kOpenFolder, "/a\nvolume=0"));
  EXPECT_EQ(again.Get(Settings::kOpenFolder), "/media/card/DCIM 行车 ");
}

TEST_F(SettingsTest, DamagedFilesMeanTheDefaults) {
  const std::string path = File("vantor.conf");
  Write(path, std::string("volume=80\0\x01\xff", 13));
  Settings binary(path);
  EXPECT_FALSE(binary.Load());
  EXPECT_EQ(binary.GetInt(Settings::kVolume, 100, 0, 100), 100);

  // Damaged lines and values alone fall back; the good ones are kept.
  Write(path, "garbage without equals\nvolume=250\nopen_folder=/home/u/Videos\r\n=x\n");
  Settings lines(path);
  ASSERT_TRUE(lines.Load());
  EXPECT_EQ(lines.GetInt(Settings::kVolume, 100, 0, 100), 100);
  EXPECT_EQ(lines.Get(Settings::kOpenFolder), "/home/u/Videos");
  Write(path, "volume=8O\n");
  ASSERT_TRUE(lines.Load());
  EXPECT_EQ(lines.GetInt(Settings::kVolume, 100, 0, 100), 100);
}

TEST_F(SettingsTest, AnUnwritablePlaceIsReportedAndLeavesTheOldFile) {
  Write(File("blocker"), "not a folder");
  Settings s(File("blocker/vantor/vantor.conf"));
  s.SetInt(Settings::kVolume, 10);
  EXPECT_EQ(s.Save(), ENOTDIR);

  const std::string path = File("ro/vantor.conf");
  fs::create_directory(File("ro"));
  Write(path, "volume=40\n");
  ::chmod(File("ro").c_str(), 0500);
  Settings ro(path);
  ASSERT_TRUE(ro.Load());
  ro.SetInt(Settings::kVolume, 90);
  if (::geteuid() != 0) {
    EXPECT_NE(ro.Save(), 0);  // root may write anywhere
  }
  ::chmod(File("ro").c_str(), 0700);
  Settings check(path);
  ASSERT_TRUE(check.Load());
  if (::geteuid() != 0) {
    EXPECT_EQ(check.GetInt(Settings::kVolume, 100, 0, 100), 40);
  }
}

TEST(SettingsPath, FollowsXdgConfigHomeThenHome) {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  const std::string saved = xdg ? xdg : "", home = std::getenv("HOME") ? std::getenv("HOME") : "";
  ::setenv("XDG_CONFIG_HOME", "/x/cfg", 1);
  EXPECT_EQ(Settings::DefaultPath(), "/x/cfg/vantor/vantor.conf");
  ::setenv("XDG_CONFIG_HOME", "relative", 1);  // not absolute: ignored, as XDG asks
  ::setenv("HOME", "/home/u", 1);
  EXPECT_EQ(Settings::DefaultPath(), "/home/u/.config/vantor/vantor.conf");
  ::setenv("HOME", home.c_str(), 1);
  if (xdg)
    ::setenv("XDG_CONFIG_HOME", saved.c_str(), 1);
  else
    ::unsetenv("XDG_CONFIG_HOME");
}

}  // namespace
