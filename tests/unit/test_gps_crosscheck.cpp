// Vantor's GPS readers against independent ones, on the files tools/
// make_gps_files writes as the cameras and phones lay them out: ExifTool
// (`exiftool -ee -n`) for the GPS inside movies, gpsbabel for NMEA and GPX.
// The same points, positions within 1e-6 degrees, speeds within 0.1 km/h,
// the same times.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "support/ScratchFolder.h"
#include "app/CommandLine.h"
#include "gps/GpsSources.h"

using namespace vantor;
namespace fs = std::filesystem;

namespace {

const fs::path kDir = fs::path(VANTOR_FIXTURE_DIR) / "gps";
constexpr int kDriveFixes = 39;  // 40 seconds, one without a fix

struct Ref {
  std::int64_t timeMs = kNoTime;
  double lat = 0, lon = 0, kmh = NAN, sampleTime = NAN;
};

std::string Run(const std::string& cmd) {
  std::string out;
  if (std::FILE* p = ::popen(cmd.c_str(), "r")) {
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
    ::pclose(p);
  }
  return out;
}

bool Have(const char* tool) {
  return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

std::vector<std::string> Split(const std::string& line, char sep) {
  std::vector<std::string> f;
  std::stringstream ss(line);
  for (std::string x; std::getline(ss, x, sep);) f.push_back(x);
  if (!line.empty() && line.back() == sep) f.emplace_back();
  return f;
}

// "2020:12:03 13:45:20Z" or "2020/12/03,13:45:20" pieces -> ms since 1970.
std::int64_t ParseTime(const std::string& date, const std::string& time) {
  int y = 0, mo = 0, d = 0, h = 0, mi = 0;
  double s = 0;
  if (std::sscanf(date.c_str(), "%d%*c%d%*c%d", &y, &mo, &d) != 3 ||
      std::sscanf(time.c_str(), "%d:%d:%lf", &h, &mi, &s) != 3)
    return kNoTime;
  return MakeTimeMs(y, mo, d, h, mi, s);
}

std::vector<Ref> ExifTool(const fs::path& file) {
  std::vector<Ref> refs;
  const std::string out =
      Run("exiftool -q -q -ee -n -api MissingTagValue=- -p "
          "'${GPSDateTime};${GPSLatitude};${GPSLongitude};${GPSSpeed};${SampleTime}' '" +
          file.string() + "'");
  std::stringstream ss(out);
  for (std::string line; std::getline(ss, line);) {
    const auto f = Split(line, ';');
    if (f.size() != 5 || f[1] == "-") continue;
    Ref r;
    const auto dt = Split(f[0], ' ');
    if (dt.size() == 2) r.timeMs = ParseTime(dt[0], dt[1]);
    r.lat = std::stod(f[1]);
    r.lon = std::stod(f[2]);
    if (f[3] != "-") r.kmh = std::stod(f[3]);
    if (f[4] != "-") r.sampleTime = std::stod(f[4]);
    refs.push_back(r);
  }
  return refs;
}

// gpsbabel's unicsv: a header naming the columns, speeds in m/s, times UTC.
std::vector<Ref> Gpsbabel(const char* format, const fs::path& file) {
  std::vector<Ref> refs;
  const std::string out = Run(std::string("TZ=UTC gpsbabel -t -i ") + format + " -f '" +
                              file.string() + "' -o unicsv -F - 2>/dev/null");
  std::stringstream ss(out);
  std::string line;
  if (!std::getline(ss, line)) return refs;
  if (!line.empty() && line.back() == '\r') line.pop_back();
  std::map<std::string, std::size_t> col;
  const auto head = Split(line, ',');
  for (std::size_t i = 0; i < head.size(); ++i) col[head[i]] = i;
  while (std::getline(ss, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const auto f = Split(line, ',');
    if (f.size() != head.size()) continue;
    Ref r;
    r.lat = std::stod(f[col["Latitude"]]);
    r.lon = std::stod(f[col["Longitude"]]);
    r.timeMs = ParseTime(f[col["Date"]], f[col["Time"]]);
    if (col.count("Speed") && !f[col["Speed"]].empty()) r.kmh = std::stod(f[col["Speed"]]) * 3.6;
    refs.push_back(r);
  }
  return refs;
}

std::vector<GpsPoint> Vantor(const fs::path& file, const fs::path& movie = {}) {
  GpsTrack track;
  GpsSourceKind kind{};
  EXPECT_TRUE(ReadGpsTrackFile(file.string(), movie.string(), track, kind)) << file;
  std::vector<GpsPoint> fixes;
  for (const GpsPoint& p : track.points)
    if (p.bFix) fixes.push_back(p);
  return fixes;
}

// Every reference point has a Vantor point of the same time that agrees.
void ExpectSame(const std::vector<Ref>& refs, const std::vector<GpsPoint>& ours,
                const std::string& what, bool offsets = false) {
  std::map<std::int64_t, const GpsPoint*> byTime;
  for (const GpsPoint& p : ours) byTime[p.nTimeMs] = &p;
  for (const Ref& r : refs) {
    SCOPED_TRACE(what + " at " + std::to_string(r.timeMs));
    const auto it = byTime.find(r.timeMs);
    ASSERT_NE(it, byTime.end());
    EXPECT_NEAR(it->second->dLatitude, r.lat, 1e-6);
    EXPECT_NEAR(it->second->dLongitude, r.lon, 1e-6);
    if (!std::isnan(r.kmh)) {
      EXPECT_NEAR(it->second->dSpeedKmh, r.kmh, 0.1);
    }
    if (offsets) {
      EXPECT_NEAR(it->second->nOffsetMs / 1000.0, r.sampleTime, 1e-3);
    }
  }
}

class GpsCrossCheck : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!fs::exists(kDir / "drive.csv"))
      GTEST_SKIP() << "no GPS test files in " << kDir << " (build the fixtures target)";
  }
};

}  // namespace

TEST_F(GpsCrossCheck, MoviesAgreeWithExifTool) {
  if (!Have("exiftool")) GTEST_SKIP() << "exiftool is not installed";
  for (const char* name : {"index_classic.MOV", "index_newer.MP4", "noindex.MP4"}) {
    const auto refs = ExifTool(kDir / name);
    const auto ours = Vantor(kDir / name);
    EXPECT_EQ(refs.size(), static_cast<std::size_t>(kDriveFixes)) << name;
    EXPECT_EQ(ours.size(), refs.size()) << name;
    ExpectSame(refs, ours, name);
  }
  // Scrambled blocks: neither reader takes them for positions.
  const auto refs = ExifTool(kDir / "scrambled.MP4");
  const auto ours = Vantor(kDir / "scrambled.MP4");
  EXPECT_EQ(refs.size(), 30u);
  EXPECT_EQ(ours.size(), refs.size());
  ExpectSame(refs, ours, "scrambled.MP4");
}

TEST_F(GpsCrossCheck, TwoChannelCameraAgreesWithExifToolIncludingPlaceInTheMovie) {
  if (!Have("exiftool")) GTEST_SKIP() << "exiftool is not installed";
  const auto refs = ExifTool(kDir / "twochannel.mp4");
  ASSERT_EQ(refs.size(), static_cast<std::size_t>(kDriveFixes));
  // The `free` box in the movie, and the sidecar placed by the movie's `sttm`.
  ExpectSame(refs, Vantor(kDir / "twochannel.mp4"), "free box", true);
  const auto sidecar = Vantor(kDir / "twochannel.gps", kDir / "twochannel.mp4");
  EXPECT_EQ(sidecar.size(), refs.size());
  ExpectSame(refs, sidecar, "sidecar", true);
}

TEST_F(GpsCrossCheck, NmeaAndGpxAgreeWithGpsbabel) {
  if (!Have("gpsbabel")) GTEST_SKIP() << "gpsbabel is not installed";
  // gpsbabel drops sentences with a wrong checksum; Vantor takes every
  // sentence whose fields parse, so it has all the drive's fixes.
  const auto nmeaRefs = Gpsbabel("nmea", kDir / "talkers.nmea");
  const auto ours = Vantor(kDir / "talkers.nmea");
  EXPECT_EQ(nmeaRefs.size(), static_cast<std::size_t>(kDriveFixes - 10));
  EXPECT_EQ(ours.size(), static_cast<std::size_t>(kDriveFixes));
  ExpectSame(nmeaRefs, ours, "talkers.nmea");
  // Missing checksums and missing '$' change nothing for Vantor.
  const auto sloppy = Vantor(kDir / "sloppy.nmea");
  ASSERT_EQ(sloppy.size(), ours.size());
  for (std::size_t i = 0; i < ours.size(); ++i) {
    EXPECT_EQ(sloppy[i].nTimeMs, ours[i].nTimeMs);
    EXPECT_EQ(sloppy[i].dLatitude, ours[i].dLatitude);
    EXPECT_EQ(sloppy[i].dLongitude, ours[i].dLongitude);
    EXPECT_EQ(sloppy[i].dSpeedKmh, ours[i].dSpeedKmh);
  }

  const auto gpxRefs = Gpsbabel("gpx", kDir / "phone.gpx");
  const auto gpx = Vantor(kDir / "phone.gpx");
  EXPECT_EQ(gpxRefs.size(), static_cast<std::size_t>(kDriveFixes));
  EXPECT_EQ(gpx.size(), gpxRefs.size());
  ExpectSame(gpxRefs, gpx, "phone.gpx");
}

TEST_F(GpsCrossCheck, ExportReadsEverySourceAndGpsbabelReadsItBack) {
  if (!Have("gpsbabel")) GTEST_SKIP() << "gpsbabel is not installed";
  const vantor::test::ScratchFolder scratch("crosscheck-export");
  const fs::path out = scratch / "drive.gpx";
  for (const char* name : {"index_newer.MP4", "twochannel.mp4", "talkers.nmea", "phone.gpx"}) {
    std::string args[] = {"vantor", "--export", "gpx", (kDir / name).string(), "-o", out.string()};
    char* argv[6];
    for (int i = 0; i < 6; ++i) argv[i] = args[i].data();
    int code = -1;
    ASSERT_TRUE(RunCommandLine(6, argv, code, stdout, stderr));
    ASSERT_EQ(code, 0) << name;
    // The written track holds the drive's fixes, the second without one left out.
    const auto refs = Gpsbabel("gpx", out);
    EXPECT_EQ(refs.size(), static_cast<std::size_t>(kDriveFixes)) << name;
    ExpectSame(refs, Vantor(kDir / name), name);
    fs::remove(out);  // written afresh for the next source
  }
}
