// The generated drives (build/sample from the sample_drive target, and the
// test fixtures) must look like a camera's card: logs that parse, one line a
// second, one route running on from clip to clip, movies beside them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "gps/GpsExport.h"
#include "gps/GpsLog.h"

namespace fs = std::filesystem;
using namespace vantor;

namespace {

struct Clip {
  GpsRecordTable table;
  std::string text;
};

// The clips of a drive; with `withMovies` false only the logs are there.
std::vector<Clip> LoadDrive(const fs::path& root, bool withMovies = true) {
  std::vector<Clip> clips;
  for (int i = 1;; ++i) {
    char name[32];
    std::snprintf(name, sizeof name, "AMBA%04d.MOV", i);
    const fs::path movie = root / "DCIM/100MEDIA" / name;
    std::snprintf(name, sizeof name, "GPS%04d.txt", i);
    if (!fs::exists(withMovies ? movie : root / "GPS" / name)) break;
    Clip c;
    const std::string log =
        withMovies ? GetGpsLogPath(movie.string()) : (root / "GPS" / name).string();
    std::ifstream f(log, std::ios::binary);
    c.text.assign(std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>());
    EXPECT_EQ(ParseGpsLog(log, c.table), GpsLogStatus::Ok) << log;
    if (withMovies) {
      // A QuickTime file starts with its file type box.
      std::ifstream m(movie, std::ios::binary);
      char head[8] = {};
      m.read(head, 8);
      EXPECT_EQ(std::string(head + 4, 4), "ftyp") << movie;
    }
    clips.push_back(std::move(c));
  }
  return clips;
}

void CheckDrive(const std::vector<Clip>& clips, int minSeconds, int maxSeconds) {
  double lastLat = 0, lastLon = 0;
  int lastTimeOfDay = -1, lastOdometer = -1;
  for (const Clip& c : clips) {
    const GpsRecordTable& t = c.table;
    ASSERT_GE(t.nCount, minSeconds);
    ASSERT_LE(t.nCount, maxSeconds);
    // CRLF lines of at least 20 fields each.
    std::size_t lines = 0, at = 0;
    while ((at = c.text.find("\r\n", at)) != std::string::npos) ++lines, at += 2;
    EXPECT_EQ(lines, static_cast<std::size_t>(t.nCount));
    EXPECT_GE(std::count(c.text.begin(), c.text.end(), ','), 19 * t.nCount);
    for (int i = 0; i < t.nCount; ++i) {
      const GpsRecord& r = t.pRecords[i];
      EXPECT_EQ(r.nTime, i);
      const int tod = GpsTimeOfDay(t, i);
      if (lastTimeOfDay >= 0) {
        EXPECT_EQ(tod, lastTimeOfDay + 1);
        EXPECT_GE(r.nOdometer, lastOdometer);
        // At most 130 km/h: about 36 m in a second.
        const double dy = (r.dLatitude - lastLat) * 111320;
        const double dx =
            (r.dLongitude - lastLon) * 111320 * std::cos(r.dLatitude * 3.14159265 / 180);
        EXPECT_LE(std::hypot(dx, dy), 40.0);
      }
      EXPECT_GE(r.nSpeed, 0);
      EXPECT_LE(r.nSpeed, 130);
      lastTimeOfDay = tod;
      lastOdometer = r.nOdometer;
      lastLat = r.dLatitude;
      lastLon = r.dLongitude;
    }
  }
}

}  // namespace

TEST(GpsSampleDrive, FixturesAreFiveShortClipsOfOneRoute) {
  const auto clips = LoadDrive(VANTOR_FIXTURE_DIR);
  if (clips.empty())
    GTEST_SKIP() << "no fixtures in " << VANTOR_FIXTURE_DIR << " (build the fixtures target)";
  EXPECT_EQ(clips.size(), 5u);
  CheckDrive(clips, 3, 4);
}

TEST(GpsSampleDrive, SampleDriveCoversSpeedsOdometerAndBothTiltSides) {
  // The sample drive when it has been written, else its logs among the fixtures.
  auto clips = LoadDrive(fs::path(VANTOR_BINARY_DIR) / "sample");
  if (clips.empty()) clips = LoadDrive(fs::path(VANTOR_FIXTURE_DIR) / "sample_logs", false);
  if (clips.empty()) GTEST_SKIP() << "no sample drive (build the fixtures target)";
  ASSERT_EQ(clips.size(), 3u);
  CheckDrive(clips, 20, 40);
  int maxSpeed = 0, minSpeed = 1000;
  bool bothSides1 = false, bothSides2 = false, nearTop = false;
  bool seen1[2] = {}, seen2[2] = {};
  for (const Clip& c : clips) {
    for (int i = 0; i < c.table.nCount; ++i) {
      maxSpeed = std::max(maxSpeed, c.table.pRecords[i].nSpeed);
      minSpeed = std::min(minSpeed, c.table.pRecords[i].nSpeed);
    }
    // Raw tilt readings (fields 10 and 11) on both sides of 0.
    std::size_t start = 0;
    while (start < c.text.size()) {
      const char* line = c.text.c_str() + start;
      const int raw1 = LogAtoi(GetLogField(line, 10));
      const int raw2 = LogAtoi(GetLogField(line, 11));
      seen1[raw1 >= 32768] = true;
      seen2[raw2 >= 32768] = true;
      nearTop = nearTop || raw1 >= 65500 || raw2 >= 65500;
      start = c.text.find('\n', start) + 1;
      if (start == 0) break;
    }
  }
  bothSides1 = seen1[0] && seen1[1];
  bothSides2 = seen2[0] && seen2[1];
  EXPECT_EQ(minSpeed, 0);
  EXPECT_EQ(maxSpeed, 130);
  EXPECT_TRUE(bothSides1);
  EXPECT_TRUE(bothSides2);
  EXPECT_TRUE(nearTop);
  EXPECT_GT(clips.back().table.pRecords[clips.back().table.nCount - 1].nOdometer,
            clips.front().table.pRecords[0].nOdometer + 1000);
}
