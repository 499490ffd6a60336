// Speed units and the camera's clock: what the settings make of the log's values.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "gps/Units.h"

using namespace vantor;

namespace {

long long Epoch(int y, int m, int d, int secs) {
  CameraClock utc;
  utc.kind = CameraClock::Kind::Utc;
  long long t = 0;
  EXPECT_TRUE(CameraTimeToUtc(utc, y, m, d, secs, t));
  return t;
}

}  // namespace

TEST(Units, MilesAnHourAndMilesFromWhatTheLogCounts) {
  EXPECT_EQ(SpeedInUnit(100, SpeedUnit::Mph), 62);
  EXPECT_EQ(SpeedInUnit(100, SpeedUnit::Kmh), 100);
  EXPECT_EQ(OdometerInUnit(16094, true, SpeedUnit::Mph), 10);  // the camera counts metres
  EXPECT_EQ(OdometerInUnit(17, false, SpeedUnit::Mph), 10);    // the others kilometres
  EXPECT_EQ(OdometerInUnit(16094, true, SpeedUnit::Kmh), 16094);
  EXPECT_STREQ(OdometerUnitName(true, SpeedUnit::Kmh), "m");
  EXPECT_STREQ(OdometerUnitName(false, SpeedUnit::Mph), "mi");
  EXPECT_EQ(ParseSpeedUnit("mph"), SpeedUnit::Mph);
  EXPECT_EQ(ParseSpeedUnit("furlongs"), SpeedUnit::Kmh);
}

TEST(Units, CameraClockSettingsRoundTripAndOddTextIsRefused) {
  for (const char* text : {"", "utc", "zone:America/Argentina/Buenos_Aires", "offset:-03:30",
                           "offset:+14:00"}) {
    CameraClock c;
    ASSERT_TRUE(ParseCameraClock(text, c)) << text;
    EXPECT_EQ(FormatCameraClock(c), text);
  }
  for (const char* text : {"offset:+14:01", "offset:+8:00", "offset:+08:60", "zone:../etc/passwd",
                           "zone:/etc/passwd", "zone:", "UTC", "local"}) {
    CameraClock c;
    EXPECT_FALSE(ParseCameraClock(text, c)) << text;
    EXPECT_EQ(c.kind, CameraClock::Kind::AsLogged) << text;
  }
}

TEST(Units, CameraTimesBecomeUtcByOffsetOrByTheZonesOwnRule) {
  CameraClock clock;
  long long t = 0;
  EXPECT_FALSE(CameraTimeToUtc(clock, 2021, 7, 1, 12 * 3600, t));  // as logged: no zone
  ASSERT_TRUE(ParseCameraClock("offset:+08:00", clock));
  ASSERT_TRUE(CameraTimeToUtc(clock, 2012, 5, 17, 8 * 3600, t));
  EXPECT_EQ(t, Epoch(2012, 5, 17, 0));
  EXPECT_EQ(CameraClockSuffix(clock, t), " +08:00");

  if (!std::filesystem::exists("/usr/share/zoneinfo/Europe/Berlin"))
    GTEST_SKIP() << "no zone database (package tzdata)";
  ::setenv("TZ", "America/New_York", 1);
  ASSERT_TRUE(ParseCameraClock("zone:Europe/Berlin", clock));
  ASSERT_TRUE(CameraTimeToUtc(clock, 2021, 7, 1, 12 * 3600, t));  // summer time
  EXPECT_EQ(t, Epoch(2021, 7, 1, 10 * 3600));
  EXPECT_EQ(CameraClockSuffix(clock, t), " CEST");
  ASSERT_TRUE(CameraTimeToUtc(clock, 2021, 12, 1, 12 * 3600, t));
  EXPECT_EQ(t, Epoch(2021, 12, 1, 11 * 3600));
  EXPECT_STREQ(std::getenv("TZ"), "America/New_York");  // the process's own zone is kept
  ::unsetenv("TZ");
  ASSERT_TRUE(ParseCameraClock("zone:Nowhere/Atlantis", clock));
  EXPECT_FALSE(CameraTimeToUtc(clock, 2021, 7, 1, 0, t));

  const auto zones = SystemTimeZones();
  EXPECT_NE(std::find(zones.begin(), zones.end(), "Asia/Shanghai"), zones.end());
  EXPECT_TRUE(std::is_sorted(zones.begin(), zones.end()));
}
