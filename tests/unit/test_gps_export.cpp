#include <gtest/gtest.h>
#include <locale.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "gps/GpsExport.h"
#include "gps/GpsLog.h"

namespace fs = std::filesystem;
using namespace vantor;

namespace {

// Three records across midnight: 23:59:58, 23:59:59 and 00:00:01 the next day.
const char* kMidnightLog =
    "2012/05/17-23:59:58,121.473701,31.230416,120,88,35,9,12,4,68,6,65535,0,0,47,1,0,0,12345,0\r\n"
    "2012/05/17-23:59:59,121.4738016,-31.5,122,90,36,9,12,4,68,200,65280,0,0,0,1,0,0,12358,0\r\n"
    "2012/05/18-00:00:01,-0.1,51.5,124,91,37,9,12,4,68,65533,30,0,0,130,1,0,0,12372,0\r\n";

GpsRecordTable ParseText(const std::string& text) {
  GpsRecordTable t;
  EXPECT_EQ(ParseGpsText(text.data(), text.size(), t), GpsLogStatus::Ok);
  return t;
}

std::string ReadFile(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  std::stringstream ss;
  ss << f.rdbuf();
  return ss.str();
}

std::string RunCapture(const std::string& command, int& status) {
  std::string out;
  FILE* p = ::popen(command.c_str(), "r");
  if (!p) {
    status = -1;
    return out;
  }
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  status = ::pclose(p);
  return out;
}

// One column of a CSV text (header left out, CR ignored).
std::vector<std::string> Column(const std::string& csv, int column) {
  std::vector<std::string> cells;
  std::istringstream in(csv);
  std::string line;
  std::getline(in, line);
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream fields(line);
    std::string cell;
    for (int k = 0; k <= column && std::getline(fields, cell, ','); ++k) {
    }
    cells.push_back(cell);
  }
  return cells;
}

// "hh:mm:ss" of every second from `from` on, `n` of them.
std::vector<std::string> Seconds(int from, int n) {
  std::vector<std::string> times;
  for (int t = from; t < from + n; ++t) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", t / 3600, t / 60 % 60, t % 60);
    times.push_back(buf);
  }
  return times;
}

class ExportDir : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/vantor_export_XXXXXX";
    dir = ::mkdtemp(tmpl);
    log = dir / "GPS0001.txt";
    std::ofstream(log, std::ios::binary) << kMidnightLog;
    // No settings file: what the camera logged, whatever this user chose.
    ::setenv("XDG_CONFIG_HOME", (dir / "no-settings").c_str(), 1);
  }
  void TearDown() override {
    ::unsetenv("XDG_CONFIG_HOME");
    fs::remove_all(dir);
  }

  // Runs the command line with captured streams; returns the exit status.
  int Run(std::vector<std::string> args) {
    args.insert(args.begin(), "vantor");
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    std::FILE* o = std::tmpfile();
    std::FILE* e = std::tmpfile();
    int code = -1;
    EXPECT_TRUE(RunCommandLine(static_cast<int>(argv.size()), argv.data(), code, o, e));
    out = Slurp(o);
    err = Slurp(e);
    return code;
  }
  static std::string Slurp(std::FILE* f) {
    std::string s;
    std::rewind(f);
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    std::fclose(f);
    return s;
  }

  fs::path dir, log;
  std::string out, err;
};

}  // namespace

TEST(GpsExport, CsvWritesEveryRecordInTheCLocale) {
  const auto t = ParseText(kMidnightLog);
  EXPECT_EQ(ExportGps(t, GpsExportFormat::Csv, "x"),
            "index,date,time,seconds,latitude,longitude,speed_kmh,odometer,graph1,graph2,graph3,"
            "angle1,angle2\n"
            "0,2012-05-17,23:59:58,0,31.230416,121.473701,47,12345,120,88,35,1,0\n"
            "1,2012-05-17,23:59:59,1,-31.500000,121.473802,0,12358,122,90,36,52,60\n"
            "2,2012-05-18,00:00:01,3,51.500000,-0.100000,130,12372,124,91,37,1,5\n");
}

TEST(GpsExport, DatesAndTimesUnpack) {
  const GpsDate d = UnpackGpsDate(1030321);
  EXPECT_EQ(d.year, 2012);
  EXPECT_EQ(d.month, 5);
  EXPECT_EQ(d.day, 17);
  const GpsDate z = UnpackGpsDate(0);
  EXPECT_EQ(z.year + z.month + z.day, 0);
  const auto t = ParseText(kMidnightLog);
  EXPECT_EQ(GpsTimeOfDay(t, 0), 86398);
  EXPECT_EQ(GpsTimeOfDay(t, 2), 1);
  EXPECT_EQ(GpsDateTimeText(t, 2), "2012-05-18 00:00:01");
  EXPECT_EQ(GpsDateTimeText(t, 3), "");  // past the parsed records
  // Garbage in the log gives no date: an empty cell, the record still written.
  const auto g = ParseText("junk\n");
  EXPECT_NE(ExportGps(g, GpsExportFormat::Csv, "x").find("\n0,,00:00:00,0,"), std::string::npos);
  EXPECT_EQ(GpsDateTimeText(g, 0), "");
}

TEST(GpsExport, GpxHasOneTrackWithAPointPerRecord) {
  const auto t = ParseText(kMidnightLog);
  const std::string gpx = ExportGps(t, GpsExportFormat::Gpx, "AMBA<1>&");
  EXPECT_NE(gpx.find("<gpx version=\"1.1\""), std::string::npos);
  EXPECT_NE(gpx.find("<name>AMBA&lt;1&gt;&amp;</name>"), std::string::npos);
  auto count = [&](const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = gpx.find(what); at != std::string::npos; at = gpx.find(what, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("<trk>"), 1u);
  EXPECT_EQ(count("<trkseg>"), 1u);
  EXPECT_EQ(count("<trkpt "), 3u);
  EXPECT_NE(gpx.find("<trkpt lat=\"-31.5\" lon=\"121.4738016\"><time>2012-05-17T23:59:59</time>"),
            std::string::npos);
  EXPECT_NE(gpx.find("<time>2012-05-18T00:00:01</time>"), std::string::npos);
  // Speeds in m/s: 130 km/h.
  EXPECT_NE(gpx.find("<gpxtpx:speed>36.111</gpxtpx:speed>"), std::string::npos);
  // A time without a calendar date would make the file invalid: left out.
  const auto g = ParseText("junk,1,2\n");
  const std::string bad = ExportGps(g, GpsExportFormat::Gpx, "x");
  EXPECT_EQ(bad.find("<time>"), std::string::npos);
  EXPECT_NE(bad.find("<trkpt lat=\"2\" lon=\"1\">"), std::string::npos);
}

TEST(GpsExport, GpxReadsBackThroughGpsbabel) {
  if (std::system("command -v gpsbabel >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "gpsbabel is not installed";
  const auto t = ParseText(kMidnightLog);
  char tmpl[] = "/tmp/vantor_gpx_XXXXXX";
  const int fd = ::mkstemp(tmpl);
  ASSERT_GE(fd, 0);
  const std::string gpx = ExportGps(t, GpsExportFormat::Gpx, "drive");
  ASSERT_EQ(::write(fd, gpx.data(), gpx.size()), static_cast<ssize_t>(gpx.size()));
  ::close(fd);
  // -t: gpsbabel lists track points only when asked for tracks.
  int status = 0;
  const std::string csv = RunCapture(
      std::string("TZ=UTC gpsbabel -t -i gpx -f ") + tmpl + " -o unicsv -F - 2>&1", status);
  ::unlink(tmpl);
  ASSERT_EQ(status, 0) << csv;
  std::string lines;  // gpsbabel ends its lines with CR LF
  for (char c : csv)
    if (c != '\r') lines += c;
  EXPECT_EQ(lines,
            "No,Latitude,Longitude,Date,Time\n"
            "1,31.230416,121.473701,2012/05/17,23:59:58\n"
            "2,-31.500000,121.473802,2012/05/17,23:59:59\n"
            "3,51.500000,-0.100000,2012/05/18,00:00:01\n");
}

TEST(GpsExport, GpxStartsANewSegmentAfterAPauseInThePositions) {
  const auto t = ParseText(
      "2012/05/17-10:00:00,121.1,31.1,1,1,1\r\n"
      "2012/05/17-10:00:10,121.2,31.2,1,1,1\r\n"
      "2012/05/17-10:00:21,121.3,31.3,1,1,1\r\n");
  const std::string gpx = ExportGps(t, GpsExportFormat::Gpx, "x");
  EXPECT_NE(gpx.find("lat=\"31.2\"", gpx.find("<trkseg>")), std::string::npos);
  const std::size_t second = gpx.find("</trkseg>\n    <trkseg>\n      <trkpt lat=\"31.3\"");
  EXPECT_NE(second, std::string::npos) << gpx;
  EXPECT_EQ(gpx.find("<trkseg>", second + 20), std::string::npos) << gpx;
}

TEST(GpsExport, GeoJsonIsOneFeatureWithPropertyArrays) {
  const auto t = ParseText(kMidnightLog);
  EXPECT_EQ(ExportGps(t, GpsExportFormat::GeoJson, "a\"b"),
            "{\"type\":\"Feature\",\"geometry\":{\"type\":\"LineString\",\"coordinates\":"
            "[[121.473701,31.230416],[121.4738016,-31.5],[-0.1,51.5]]},"
            "\"properties\":{\"name\":\"a\\\"b\",\"times\":[\"2012-05-17T23:59:58\",\"2012-05-"
            "17T23:59:59\","
            "\"2012-05-18T00:00:01\"],\"seconds\":[0,1,3],\"speeds_kmh\":[47,0,130],"
            "\"odometer\":[12345,12358,12372]}}\n");
}

// Positions that are not numbers or lie off the globe, impossible dates and
// names that are not UTF-8: nothing made up, nothing a reader would refuse.
TEST(GpsExport, RecordsWithoutAPositionOrADateAreWrittenWithoutThem) {
  const auto t = ParseText(
      "2012/05/17-10:00:00,inf,nan,1,1,1,0,0,0,0,0,0,0,0,11\n"
      "2012/05/17-10:00:01,121.5,95.25,1,1,1,0,0,0,0,0,0,0,0,12\n"
      "2021/13/45-10:00:02,-200,10,1,1,1,0,0,0,0,0,0,0,0,13\n"
      "2021/13/45-10:00:03,121.5,31.25,1,1,1,0,0,0,0,0,0,0,0,14\n");
  const std::string csv = ExportGps(t, GpsExportFormat::Csv, "x");
  EXPECT_NE(csv.find("\n0,2012-05-17,10:00:00,0,,,11,"), std::string::npos) << csv;
  EXPECT_NE(csv.find("\n1,2012-05-17,10:00:01,1,,,12,"), std::string::npos) << csv;
  EXPECT_NE(csv.find("\n2,,10:00:02,2,,,13,"), std::string::npos) << csv;
  EXPECT_NE(csv.find("\n3,,10:00:03,3,31.250000,121.500000,14,"), std::string::npos) << csv;
  for (const char* bad : {"inf", "nan", "95.25", "-200"})
    EXPECT_EQ(csv.find(bad), std::string::npos);

  const std::string gpx = ExportGps(t, GpsExportFormat::Gpx, "trip\xFF");
  EXPECT_EQ(gpx.find("95.25"), std::string::npos);
  EXPECT_NE(gpx.find("<trkpt lat=\"31.25\" lon=\"121.5\"><extensions>"), std::string::npos) << gpx;
  EXPECT_NE(gpx.find("<name>trip\xEF\xBF\xBD</name>"), std::string::npos);

  EXPECT_EQ(ExportGps(t, GpsExportFormat::GeoJson, "trip\xFF"),
            "{\"type\":\"Feature\",\"geometry\":{\"type\":\"LineString\",\"coordinates\":"
            "[[121.5,31.25]]},\"properties\":{\"name\":\"trip\xEF\xBF\xBD\",\"times\":[null],"
            "\"seconds\":[3],\"speeds_kmh\":[14],\"odometer\":[0]}}\n");

  // Only a line that starts with a date makes a file a log.
  EXPECT_TRUE(HasDatedRecord(t));
  EXPECT_FALSE(HasDatedRecord(ParseText("junk,1,2\n \t \n2021/13/45,1,2\n")));
}

TEST(GpsExport, OutputIsTheSameUnderADecimalCommaLocale) {
  const auto t = ParseText(kMidnightLog);
  std::string plain[3];
  for (int f = 0; f < 3; ++f) plain[f] = ExportGps(t, static_cast<GpsExportFormat>(f), "x");
  ::setenv("LOCPATH", VANTOR_FIXTURE_DIR "/locale", 1);
  const std::string saved = ::setlocale(LC_ALL, nullptr);
  if (!::setlocale(LC_ALL, "de_DE.UTF-8")) {
    ::unsetenv("LOCPATH");
    GTEST_SKIP() << "no de_DE.UTF-8 locale (build the fixtures target)";
  }
  const auto t2 = ParseText(kMidnightLog);
  std::string german[3];
  for (int f = 0; f < 3; ++f) german[f] = ExportGps(t2, static_cast<GpsExportFormat>(f), "x");
  ::setlocale(LC_ALL, saved.c_str());
  ::unsetenv("LOCPATH");
  for (int f = 0; f < 3; ++f) EXPECT_EQ(german[f], plain[f]);
}

TEST(GpsExport, FormatNames) {
  GpsExportFormat f{};
  EXPECT_TRUE(ParseGpsExportFormat("CSV", f));
  EXPECT_EQ(f, GpsExportFormat::Csv);
  EXPECT_TRUE(ParseGpsExportFormat("geojson", f));
  EXPECT_EQ(f, GpsExportFormat::GeoJson);
  EXPECT_FALSE(ParseGpsExportFormat("kml", f));
  EXPECT_FALSE(ParseGpsExportFormat("", f));
}

// --- the --export command line --------------------------------------------

TEST_F(ExportDir, WritesToStandardOutputOrToAFile) {
  ASSERT_EQ(Run({"--export", "csv", log.string()}), 0) << err;
  EXPECT_EQ(out, ExportGps(ParseText(kMidnightLog), GpsExportFormat::Csv, "GPS0001"));
  EXPECT_EQ(err, "");

  const fs::path gpx = dir / "drive.gpx";
  ASSERT_EQ(Run({"--export", "gpx", log.string(), "-o", gpx.string()}), 0) << err;
  EXPECT_EQ(out, "");
  EXPECT_EQ(ReadFile(gpx), ExportGps(ParseText(kMidnightLog), GpsExportFormat::Gpx, "GPS0001"));
  // No temporary file is left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 2);
}

TEST(GpsExport, TheUnitAndACameraClockWithAZoneApply) {
  const auto t = ParseText(kMidnightLog);
  GpsExportStyle style;
  style.unit = SpeedUnit::Mph;
  ASSERT_TRUE(ParseCameraClock("offset:+08:00", style.clock));
  const std::string csv = ExportGps(t, GpsExportFormat::Csv, "x", style);
  EXPECT_EQ(csv.substr(0, csv.find('\n')),
            "index,date_utc,time_utc,seconds,latitude,longitude,speed_mph,odometer,graph1,graph2,"
            "graph3,angle1,angle2");
  EXPECT_NE(csv.find("\n2,2012-05-17,16:00:01,3,"), std::string::npos) << csv;  // 00:00:01 +08:00
  EXPECT_NE(csv.find(",81,12372,"), std::string::npos);                           // 130 km/h
  const std::string gpx = ExportGps(t, GpsExportFormat::Gpx, "x", style);
  EXPECT_NE(gpx.find("<time>2012-05-17T15:59:58Z</time>"), std::string::npos) << gpx;
  EXPECT_NE(gpx.find("<gpxtpx:speed>13.056</gpxtpx:speed>"), std::string::npos);  // m/s as ever
  EXPECT_NE(ExportGps(t, GpsExportFormat::GeoJson, "x", style).find("\"speeds_mph\":[29,0,81]"),
            std::string::npos);
}

TEST_F(ExportDir, TheCommandLineFollowsTheWindowsSettings) {
  fs::create_directories(dir / "cfg/vantor");
  std::ofstream(dir / "cfg/vantor/vantor.conf") << "speed_unit=mph\ncamera_clock=utc\n";
  ::setenv("XDG_CONFIG_HOME", (dir / "cfg").c_str(), 1);
  ASSERT_EQ(Run({"--export", "gpx", log.string()}), 0) << err;
  EXPECT_NE(out.find("<time>2012-05-17T23:59:58Z</time>"), std::string::npos) << out;
}

TEST_F(ExportDir, AMovieFindsItsLogOnTheCard) {
  const std::string movie = std::string(VANTOR_TEST_DATA_DIR) + "/card/DCIM/100MEDIA/AMBA0001.MOV";
  ASSERT_EQ(Run({"--export", "geojson", movie}), 0) << err;
  EXPECT_NE(out.find("\"name\":\"AMBA0001\""), std::string::npos);
  EXPECT_NE(out.find("\"odometer\":[12345,12358,12372]"), std::string::npos);

  // A movie without a log names the log it looked for.
  const fs::path lonely = dir / "DCIM/100MEDIA/AMBA0009.MOV";
  fs::create_directories(lonely.parent_path());
  std::ofstream(lonely) << "";
  EXPECT_EQ(Run({"--export", "csv", lonely.string()}), 1);
  EXPECT_NE(err.find("GPS0009.txt"), std::string::npos) << err;
  EXPECT_EQ(out, "");
}

TEST_F(ExportDir, BadInputFailsWithOneLineAndLeavesOutAlone) {
  const fs::path target = dir / "out.csv";
  std::ofstream(target) << "precious";
  const std::vector<std::string> inputs = {(dir / "missing.txt").string(),
                                           (dir / "missing.MOV").string(), dir.string(),
                                           (dir / "empty.txt").string()};
  std::ofstream(dir / "empty.txt") << "";
  for (const std::string& input : inputs) {
    EXPECT_EQ(Run({"--export", "csv", input, "-o", target.string()}), 1) << input;
    EXPECT_NE(err.find(input), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
    EXPECT_EQ(ReadFile(target), "precious");
    EXPECT_FALSE(fs::exists(dir / "new.csv"));
    EXPECT_EQ(Run({"--export", "csv", input, "-o", (dir / "new.csv").string()}), 1);
    EXPECT_FALSE(fs::exists(dir / "new.csv"));
  }
}

TEST_F(ExportDir, UnwritableTargetsAreRefusedWithoutLoss) {
  // No input is ever overwritten: the log, the movie, nor either through a
  // symbolic or a hard link.
  const fs::path movie = dir / "card/DCIM/100MEDIA/AMBA0001.MOV";
  fs::create_directories(movie.parent_path());
  fs::create_directories(dir / "card/GPS");
  fs::copy_file(log, dir / "card/GPS/GPS0001.txt");
  std::ofstream(movie) << "moov";
  fs::create_symlink(movie, dir / "movie-link.MOV");
  fs::create_hard_link(dir / "card/GPS/GPS0001.txt", dir / "log-hard.txt");
  for (const fs::path& out : {log, movie, dir / "movie-link.MOV", dir / "log-hard.txt"}) {
    const std::string input = out == log ? log.string() : movie.string();
    EXPECT_EQ(Run({"--export", "csv", input, "-o", out.string()}), 1) << out;
    EXPECT_NE(err.find("refusing to overwrite"), std::string::npos) << err;
  }
  EXPECT_EQ(ReadFile(log), kMidnightLog);
  EXPECT_EQ(ReadFile(dir / "card/GPS/GPS0001.txt"), kMidnightLog);
  EXPECT_EQ(ReadFile(movie), "moov");
  // A folder, or a file in a missing folder.
  EXPECT_EQ(Run({"--export", "csv", log.string(), "-o", dir.string()}), 1);
  EXPECT_NE(err.find(dir.string()), std::string::npos);
  EXPECT_EQ(Run({"--export", "csv", log.string(), "-o", (dir / "no/such/dir.csv").string()}), 1);
  // A full disk on standard output.
  if (fs::exists("/dev/full")) {
    std::string arg0 = "vantor", a1 = "--export", a2 = "csv", a3 = log.string();
    char* argv[] = {arg0.data(), a1.data(), a2.data(), a3.data()};
    std::FILE* full = std::fopen("/dev/full", "w");
    std::FILE* e = std::tmpfile();
    int code = 0;
    EXPECT_TRUE(RunCommandLine(4, argv, code, full, e));
    EXPECT_EQ(code, 1);
    std::fclose(full);
    EXPECT_NE(Slurp(e).find("standard output"), std::string::npos);
  }
}

TEST_F(ExportDir, NamesFromTheUserAreNeverUsedAsFormats) {
  const std::string odd = (dir / "trip%s%d/no such file.txt").string();
  EXPECT_EQ(Run({"--export", "csv", odd}), 1);
  EXPECT_EQ(err, "vantor: " + odd + ": no such file\n");
  // A file of no dated line is no log, whatever else it holds.
  std::ofstream(dir / "blank.txt") << "   \n\t\n" << std::string(5000, '\n');
  EXPECT_EQ(Run({"--export", "gpx", (dir / "blank.txt").string()}), 1);
  EXPECT_EQ(err, "vantor: " + (dir / "blank.txt").string() + ": holds no GPS records\n");
  EXPECT_EQ(out, "");
}

TEST_F(ExportDir, UsageErrors) {
  EXPECT_EQ(Run({"--export", "kml", log.string()}), 2);
  EXPECT_NE(err.find("kml"), std::string::npos);
  EXPECT_EQ(Run({"--export", "csv"}), 2);
  EXPECT_EQ(Run({"--export", "csv", log.string(), "-o"}), 2);
  // A second input is read like the first: one that is not there is no usage error.
  EXPECT_EQ(Run({"--export", "csv", log.string(), "extra"}), 1);
  EXPECT_EQ(err, "vantor: extra: no such file\n");
  // Anything else is left to the window.
  std::string a0 = "vantor", a1 = "movie.MOV";
  char* argv[] = {a0.data(), a1.data()};
  int code = -1;
  EXPECT_FALSE(RunCommandLine(2, argv, code, stdout, stderr));
}

TEST_F(ExportDir, TheProgramExportsWithoutADisplay) {
  const std::string exe = std::string(VANTOR_BINARY_DIR) + "/vantor";
  if (!fs::exists(exe)) GTEST_SKIP() << "vantor is not built";
  int status = 0;
  const std::string gpx = RunCapture(
      "env -u DISPLAY -u WAYLAND_DISPLAY '" + exe + "' --export gpx '" + log.string() + "'",
      status);
  EXPECT_EQ(status, 0);
  EXPECT_EQ(gpx, ExportGps(ParseText(kMidnightLog), GpsExportFormat::Gpx, "GPS0001"));
  RunCapture(
      "env -u DISPLAY '" + exe + "' --export gpx '" + (dir / "nope.txt").string() + "' 2>/dev/null",
      status);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 1);
}

// The fixture card: clips of 3 and 4 s from 17:42:05, twenty minutes parked,
// then clips of 3, 4 and 3 s.
const fs::path kTwoDrives = VANTOR_FIXTURE_DIR "/two_drives";
constexpr int kFirstDriveStart = 17 * 3600 + 42 * 60 + 5;
constexpr int kSecondDriveStart = kFirstDriveStart + 7 + 20 * 60;

TEST_F(ExportDir, AFolderIsWrittenOneWholeDriveToAFileAndReadsBackThroughGpsbabel) {
  if (!fs::exists(kTwoDrives / "DCIM/100MEDIA/AMBA0005.MOV"))
    GTEST_SKIP() << "no two-drive card (build the fixtures target)";
  if (std::system("command -v gpsbabel >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "gpsbabel is not installed";
  EXPECT_EQ(Run({"--export", "gpx", kTwoDrives.string()}), 2);
  EXPECT_NE(err.find("2 drives"), std::string::npos) << err;

  ASSERT_EQ(Run({"--export", "gpx", kTwoDrives.string(), "-o", (dir / "trip.gpx").string()}), 0)
      << err;
  EXPECT_NE(out.find("trip-2.gpx: 3 clips, 2021-09-18 18:02:12"), std::string::npos) << out;
  const std::pair<int, int> drives[] = {{kFirstDriveStart, 7}, {kSecondDriveStart, 10}};
  for (int k = 1; k <= 2; ++k) {
    const fs::path gpx = dir / ("trip-" + std::to_string(k) + ".gpx");
    int status = 0;
    const std::string csv = RunCapture(
        "TZ=UTC gpsbabel -t -i gpx -f '" + gpx.string() + "' -o unicsv -F - 2>&1", status);
    ASSERT_EQ(status, 0) << csv;
    EXPECT_EQ(Column(csv, 4), Seconds(drives[k - 1].first, drives[k - 1].second)) << csv;
    EXPECT_EQ(ReadFile(gpx).find("<trkseg>", ReadFile(gpx).find("<trkseg>") + 1),
              std::string::npos);
  }
  EXPECT_FALSE(fs::exists(dir / "trip-3.gpx"));
}

TEST_F(ExportDir, SeveralLogsGivenOutOfOrderAreOneDriveInTimeOrder) {
  if (!fs::exists(kTwoDrives / "GPS/GPS0005.txt"))
    GTEST_SKIP() << "no two-drive card (build the fixtures target)";
  const fs::path gps = kTwoDrives / "GPS";
  ASSERT_EQ(Run({"--export", "csv", (gps / "GPS0005.txt").string(), (gps / "GPS0003.txt").string(),
                 (gps / "GPS0004.txt").string(), (gps / "GPS0003.txt").string()}),
            0)
      << err;
  EXPECT_EQ(Column(out, 2), Seconds(kSecondDriveStart, 10)) << out;
  EXPECT_EQ(Column(out, 3).back(), "9");
}
