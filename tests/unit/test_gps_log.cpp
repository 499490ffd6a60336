#include <gtest/gtest.h>
#include <locale.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "gps/GpsLog.h"
#include "support/ScratchFolder.h"

namespace fs = std::filesystem;
using namespace vantor;

namespace {

// A full 20-field line with the values that matter set.
std::string Line(const char* stamp, const char* lon, const char* lat, int g1, int raw10, int raw11,
                 int speed, int odo) {
  char buf[256];
  std::snprintf(buf, sizeof buf, "%s,%s,%s,%d,%d,%d,7,9,4,68,%d,%d,0,0,%d,1,0,0,%d,0", stamp, lon,
                lat, g1, g1 + 1, g1 + 2, raw10, raw11, speed, odo);
  return buf;
}

GpsRecordTable Parse(const std::string& text, GpsLogStatus expected = GpsLogStatus::Ok) {
  GpsRecordTable t;
  EXPECT_EQ(ParseGpsText(text.data(), text.size(), t), expected);
  return t;
}

}  // namespace

// --- log path -------------------------------------------------------------

TEST(GpsLogPath, DerivesTheCardLayout) {
  EXPECT_EQ(DeriveGpsLogPath("/media/card/DCIM/100MEDIA/AMBA0001.MOV"),
            "/media/card/GPS/GPS0001.txt");
  EXPECT_EQ(DeriveGpsLogPath("/media/card/DCIM/100MEDIA/AMBA0001.mp4"),
            "/media/card/GPS/GPS0001.txt");
  EXPECT_EQ(DeriveGpsLogPath("/media/card/DCIM/100MEDIA/AMBA0001.mov"),
            "/media/card/GPS/GPS0001.txt");
  EXPECT_EQ(DeriveGpsLogPath("/a/b/c/clip.MP4"), "/a/GPS/clip.txt");
  // No known extension: the name stays as it is.
  EXPECT_EQ(DeriveGpsLogPath("/a/b/c/clip.avi"), "/a/GPS/clip.avi");
  // "MOV" wins over "mp4" and every occurrence is replaced.
  EXPECT_EQ(DeriveGpsLogPath("/a/b/c/AMBA_MOV.mp4"), "/a/GPS/GPS_txt.mp4");
  EXPECT_EQ(DeriveGpsLogPath("/a/b/c/AMBAAMBA.MOV"), "/a/GPS/GPSGPS.txt");
  // Replacement is case-sensitive: "amba" stays.
  EXPECT_EQ(DeriveGpsLogPath("/a/b/c/amba0001.MOV"), "/a/GPS/amba0001.txt");
}

TEST(GpsLogPath, ShallowPathsKeepWhatThereIs) {
  EXPECT_EQ(DeriveGpsLogPath("AMBA0001.MOV"), "/GPS/GPS0001.txt");
  EXPECT_EQ(DeriveGpsLogPath("/AMBA0001.MOV"), "/GPS/GPS0001.txt");
  EXPECT_EQ(DeriveGpsLogPath("/DCIM/AMBA0001.MOV"), "/GPS/GPS0001.txt");
  EXPECT_EQ(DeriveGpsLogPath("card/DCIM/AMBA0001.MOV"), "card/GPS/GPS0001.txt");
}

TEST(GpsLogPath, FindsTheLogIgnoringCaseWhenTheExactNameIsMissing) {
  test::ScratchFolder dir("gps");
  const fs::path movie = dir.Write("card/DCIM/100MEDIA/AMBA0001.MOV", "");
  dir.Write("card/gps/gps0001.TXT", "x");
  EXPECT_EQ(GetGpsLogPath(movie.string()), (dir.path() / "card/gps/gps0001.TXT").string());

  // The exact name wins when it exists.
  dir.Write("card/GPS/GPS0001.txt", "y");
  EXPECT_EQ(GetGpsLogPath(movie.string()), (dir.path() / "card/GPS/GPS0001.txt").string());

  // A directory with the log's name is not taken for the log.
  const fs::path movie2 = dir.Write("card/DCIM/100MEDIA/AMBA0002.MOV", "");
  fs::create_directories(dir.path() / "card/gps/GPS0002.txt");
  EXPECT_EQ(GetGpsLogPath(movie2.string()), (dir.path() / "card/GPS/GPS0002.txt").string());
}

TEST(GpsLogPath, RelativeMoviePathsAreTakenFromTheCurrentFolder) {
  test::ScratchFolder dir("gps");
  dir.Write("card/DCIM/100MEDIA/AMBA0003.MOV", "");
  dir.Write("card/GPS/GPS0003.txt", "x");
  const fs::path old = fs::current_path();
  fs::current_path(dir.path() / "card/DCIM/100MEDIA");
  const std::string log = GetGpsLogPath("AMBA0003.MOV");
  fs::current_path(old);
  EXPECT_TRUE(fs::equivalent(log, dir.path() / "card/GPS/GPS0003.txt")) << log;
}

TEST(GpsLogPath, DotAndDotDotInTheMoviePathDoNotCountAsFolders) {
  test::ScratchFolder dir("gps");
  dir.Write("card/DCIM/100MEDIA/AMBA0001.MOV", "");
  fs::create_directories(dir.path() / "card/DCIM/101MEDIA");
  const fs::path log = dir.Write("card/GPS/GPS0001.txt", "x");
  for (const char* rel :
       {"card/DCIM/101MEDIA/../100MEDIA/AMBA0001.MOV", "card/DCIM/100MEDIA/./AMBA0001.MOV",
        "card/./DCIM//100MEDIA/AMBA0001.MOV"})
    EXPECT_TRUE(fs::equivalent(GetGpsLogPath((dir.path() / rel).string()), log)) << rel;
  const fs::path old = fs::current_path();
  fs::current_path(dir.path() / "card/DCIM/101MEDIA");
  const std::string fromSibling = GetGpsLogPath("../100MEDIA/AMBA0001.MOV");
  fs::current_path(dir.path() / "card/DCIM/100MEDIA");
  const std::string fromHere = GetGpsLogPath("./AMBA0001.MOV");
  fs::current_path(old);
  EXPECT_EQ(fromSibling, fs::canonical(log).string());
  EXPECT_EQ(fromHere, fs::canonical(log).string());
}

// --- fields, date, time ---------------------------------------------------

TEST(GpsLogFields, FieldSearchRunsOnIntoTheNextLine) {
  const char* text = "a,b,c\nd,e,f";
  EXPECT_STREQ(GetLogField(text, 1), "b,c\nd,e,f");
  EXPECT_STREQ(GetLogField(text, 3), "e,f");
  EXPECT_STREQ(GetLogField(text, 5), "");
  // The search starts after the first character.
  EXPECT_STREQ(GetLogField(",x,y", 1), "y");
}

TEST(GpsLogFields, DateAndTimeReadLikeTheFormats) {
  EXPECT_EQ(ParseLogDate("2012/05/17-13:45:12"), 2012 * 512 + 5 * 32 + 17);
  EXPECT_EQ(ParseLogDate("2012/05/17-13:45:12"), 1030321);
  EXPECT_EQ(ParseLogTime("13:45:12"), 13 * 3600 + 45 * 60 + 12);
  // What does not read stays 0, the parts before it count.
  EXPECT_EQ(ParseLogDate("2012-05-17"), 2012 * 512);
  EXPECT_EQ(ParseLogDate("2012/5/x"), 2012 * 512 + 5 * 32);
  EXPECT_EQ(ParseLogDate(""), 0);
  EXPECT_EQ(ParseLogTime("7:5:3"), 7 * 3600 + 5 * 60 + 3);
  EXPECT_EQ(ParseLogTime("13.45"), 13 * 3600);
  // Widths: at most 4 and 2 characters, a sign counts as one.
  EXPECT_EQ(ParseLogDate("20120/05/17"), 2012 * 512);
  EXPECT_EQ(ParseLogTime("123:00:00"), 12 * 3600);
  EXPECT_EQ(ParseLogTime("-1:-2:03"), -1 * 3600 - 2 * 60 + 3);
  // Leading white space, line feeds included, is skipped.
  EXPECT_EQ(ParseLogDate(" \n2012/05/17"), 1030321);
}

TEST(GpsLogFields, DateAndTimeAgreeWithSscanfOnOddTexts) {
  const char* texts[] = {"2012/05/17",  "+201/+5/+7",  "-999/-9/-9", "  12 / 05/17", "2012/ 05/ 17",
                         "2012/05",     "+/05/17",     "-",          "9999/99/99",   "0x12/01/01",
                         "2012/05/17x", "\t1/\n2/\v3", "13:45:12",   "1:2:3",        "99:99:99",
                         "+1:+2:+3",    "12: 5: 6",    "a1:2:3"};
  for (const char* s : texts) {
    int a = 0, b = 0, c = 0;
    std::sscanf(s, "%4d/%02d/%02d", &a, &b, &c);
    EXPECT_EQ(ParseLogDate(s), a * 512 + b * 32 + c) << s;
    a = b = c = 0;
    std::sscanf(s, "%2d:%02d:%02d", &a, &b, &c);
    EXPECT_EQ(ParseLogTime(s), a * 3600 + b * 60 + c) << s;
  }
}

TEST(GpsLogFields, NumbersReadLikeAtofAndAtoi) {
  const char* texts[] = {"12.5",
                         "-0.25",
                         "+3",
                         "  \n 7.75x",
                         "1e3",
                         ".5",
                         "5.",
                         "-",
                         "+-1",
                         "",
                         "abc",
                         "0x1A",
                         "1e999",
                         "-1e999",
                         "1e-400",
                         "inf",
                         "nan",
                         "   ",
                         "007",
                         "9999999999",
                         "-9999999999",
                         "99999999999999999999999",
                         "-9223372036854775808",
                         "4294967297",
                         "1,2"};
  for (const char* s : texts) {
    EXPECT_EQ(LogAtoi(s), std::atoi(s)) << s;
    const double want = std::atof(s), got = LogAtof(s);
    if (std::isnan(want))
      EXPECT_TRUE(std::isnan(got)) << s;
    else
      EXPECT_EQ(got, want) << s;
  }
}

// --- angle conversion -----------------------------------------------------

TEST(GpsLogAngles, ThresholdTableBoundaries) {
  struct Case {
    double raw;
    double degrees;
    BOOL minus;
  } cases[] = {
      {0, 0, FALSE},      {5, 0, FALSE},      {6, 1, TRUE},       {11, 1, TRUE},
      {12, 2, TRUE},      {225, 59, TRUE},    {226, 60, TRUE},    {255, 60, TRUE},
      {256, 60, TRUE},    {32767, 60, TRUE},  {32768, 60, FALSE}, {65279, 60, FALSE},
      {65280, 60, FALSE}, {65314, 60, FALSE}, {65533, 1, FALSE},  {65534, 0, FALSE},
      {65535, 0, FALSE},  {65536, 60, FALSE}, {-5, 60, FALSE},    {6.9, 1, TRUE},
      {-0.9, 0, FALSE},   {65315, 59, FALSE}, {65531, 2, FALSE},  {1e300, 60, FALSE},
  };
  for (const Case& c : cases) {
    BOOL minus = 7;
    EXPECT_EQ(ConvertAngle(c.raw, minus), c.degrees) << c.raw;
    EXPECT_EQ(minus, c.minus) << c.raw;
  }
  // Every entry of both tables is where one more degree starts.
  BOOL f;
  for (double v = 0; v <= 255; ++v) {
    const double d = ConvertAngle(v, f);
    EXPECT_GE(ConvertAngle(v + 1, f), d);
    EXPECT_LE(ConvertAngle(v + 1, f) - d, 1.0);
  }
  int steps = 0;
  for (double v = 65535; v >= 65280; --v) steps += ConvertAngle(v - 1, f) != ConvertAngle(v, f);
  EXPECT_EQ(steps, 60);
}

// --- line handling --------------------------------------------------------

TEST(GpsLogParse, ReadsEveryFieldOfALine) {
  const auto t = Parse(
      Line("2012/05/17-13:45:12", "121.473701", "31.230416", 120, 6, 65533, 47, 12345) + "\n");
  ASSERT_EQ(t.nCount, 1);
  const GpsRecord& r = t.pRecords[0];
  EXPECT_EQ(r.nDate, 1030321);
  EXPECT_EQ(r.nTime, 0);
  EXPECT_EQ(t.nFirstTimeOfDay, 13 * 3600 + 45 * 60 + 12);
  EXPECT_DOUBLE_EQ(r.dLongitude, 121.473701);
  EXPECT_DOUBLE_EQ(r.dLatitude, 31.230416);
  EXPECT_EQ(r.nGraph1, 120);
  EXPECT_EQ(r.nGraph2, 121);
  EXPECT_EQ(r.nGraph3, 122);
  EXPECT_EQ(r.nSpeed, 47);
  EXPECT_EQ(r.nOdometer, 12345);
  EXPECT_EQ(r.dAngle1, 1);
  EXPECT_EQ(r.dAngle2, 1);
  EXPECT_TRUE(t.bAngle1Minus);
  EXPECT_FALSE(t.bAngle2Minus);
}

TEST(GpsLogParse, TimesAreRelativeToTheFirstRecordAndGoNegativeAfterMidnight) {
  const auto t = Parse(Line("2012/05/17-13:45:12", "1", "2", 0, 0, 0, 0, 0) + "\n" +
                       Line("2012/05/17-13:46:00", "1", "2", 0, 0, 0, 0, 0) + "\n");
  ASSERT_EQ(t.nCount, 2);
  EXPECT_EQ(t.pRecords[0].nTime, 0);
  EXPECT_EQ(t.pRecords[1].nTime, 48);

  const auto n = Parse(Line("2012/05/17-23:59:59", "1", "2", 0, 0, 0, 0, 0) + "\n" +
                       Line("2012/05/18-00:00:01", "1", "2", 0, 0, 0, 0, 0) + "\n");
  ASSERT_EQ(n.nCount, 2);
  EXPECT_EQ(n.pRecords[1].nTime, 1 - 86399);
  EXPECT_EQ(n.pRecords[1].nDate, 2012 * 512 + 5 * 32 + 18);
}

TEST(GpsLogParse, LineEndsEmptyLinesAndTheTableTail) {
  const std::string a = Line("2012/05/17-13:45:12", "1.5", "2.5", 10, 6, 6, 30, 100);
  const std::string b = Line("2012/05/17-13:45:13", "1.6", "2.6", 11, 0, 0, 31, 101);
  // A final line feed, with or without CR, adds no record; neither does an
  // empty line, and the flags are those of the last real record.
  for (const std::string& text :
       {a + "\n" + b + "\n", a + "\r\n" + b + "\r\n", a + "\n\n" + b + "\n\n",
        "\r\n" + a + "\r\n\r\n\r\n" + b, a + "\n" + b}) {
    const auto t = Parse(text);
    ASSERT_EQ(t.nCount, 2) << text;
    EXPECT_EQ(t.pRecords[0].nSpeed, 30);
    EXPECT_EQ(t.pRecords[1].nSpeed, 31);
    EXPECT_EQ(t.pRecords[1].nOdometer, 101);
    EXPECT_EQ(t.pRecords[1].nTime, 1);
    EXPECT_FALSE(t.bAngle1Minus);
    EXPECT_FALSE(t.bAngle2Minus);
    // Room for the counted lines plus the zeroed spare records.
    ASSERT_GE(t.nCapacity, 2 + kGpsSpareRecords);
    for (std::size_t i = 2; i < t.nCapacity; ++i) {
      ASSERT_EQ(t.pRecords[i].nDate, 0);
      ASSERT_EQ(t.pRecords[i].dLatitude, 0.0);
      ASSERT_EQ(t.pRecords[i].nSpeed, 0);
    }
  }
}

TEST(GpsLogParse, CtrlZAndZeroBytesEndTheText) {
  const std::string a = Line("2012/05/17-13:45:12", "1.5", "2.5", 10, 0, 0, 30, 100);
  const std::string b = Line("2012/05/17-13:45:13", "1.6", "2.6", 11, 0, 0, 31, 101);
  EXPECT_EQ(Parse(a + "\r\n\x1a" + b + "\r\n").nCount, 1);
  EXPECT_EQ(Parse(a + "\r\n" + std::string(1, '\0') + b + "\r\n").nCount, 1);
  // A lone carriage return is text, not a line end.
  const auto t = Parse(a + "\r" + b);
  ASSERT_EQ(t.nCount, 1);
  EXPECT_EQ(t.pRecords[0].nSpeed, 30);
}

TEST(GpsLogParse, AShortLineTakesItsLaterFieldsFromTheNextLine) {
  const std::string full = Line("2012/05/17-13:45:13", "1.6", "2.6", 11, 0, 0, 31, 101);
  const auto t = Parse("2012/05/17-13:45:12,1.5,2.5\n" + full + "\n");
  ASSERT_EQ(t.nCount, 2);
  // Field 3 of the short line is the text after the first comma of the next:
  // the next line's longitude, read by atoi.
  EXPECT_EQ(t.pRecords[0].nGraph1, 1);
  EXPECT_EQ(t.pRecords[0].dLatitude, 2.5);
  // Field k >= 3 of the short line is field k - 2 of the next one.
  EXPECT_EQ(t.pRecords[0].nGraph3, 11);
  EXPECT_EQ(t.pRecords[0].dAngle2, 14);  // field 9 of the next line, 68
  EXPECT_EQ(t.pRecords[1].nSpeed, 31);
  // A line ending in a comma reads the next line's date as its number
  // (atof skips the line feed).
  const auto u = Parse("2012/05/17-13:45:12,\n" + full + "\n");
  ASSERT_EQ(u.nCount, 2);
  EXPECT_EQ(u.pRecords[0].dLongitude, 2012.0);
  // A line without "-" takes its time from the next line that has one.
  const auto w = Parse("2012/05/17 13:45:00,1,2\n" + full + "\n");
  ASSERT_EQ(w.nCount, 2);
  EXPECT_EQ(w.nFirstTimeOfDay, 13 * 3600 + 45 * 60 + 13);
}

TEST(GpsLogParse, EmptyAndBlankLogsHaveNoRecords) {
  for (const std::string& text : {std::string(), std::string("\n"), std::string("\r\n\r\n\n"),
                                  std::string("\x1a"
                                              "2012/05/17-13:45:12,1,2\n")}) {
    auto t = Parse(text, GpsLogStatus::Empty);
    EXPECT_EQ(t.nCount, 0);
    EXPECT_EQ(t.pRecords, nullptr);
  }
  // Lines of garbage are records of zeros, as a camera's damaged log would be.
  const auto g = Parse("garbage\n???\n");
  ASSERT_EQ(g.nCount, 2);
  EXPECT_EQ(g.pRecords[1].nDate, 0);
  // A date that is no day of the calendar is none: 2021/13/45 would pack into
  // another date that looks valid.
  const auto d = Parse("2021/13/45-10:00:00,1,2\n2021/02/29-10:00:00,1,2\n2020/02/29-1:0:0,1,2\n");
  ASSERT_EQ(d.nCount, 3);
  EXPECT_EQ(d.pRecords[0].nDate, 0);
  EXPECT_EQ(d.pRecords[1].nDate, 0);
  EXPECT_EQ(d.pRecords[2].nDate, 2020 * 512 + 2 * 32 + 29);
}

TEST(GpsLogParse, TheTableIsSizedByRecordsNotByLineFeeds) {
  // Ten million line feeds once cost a record each before anything was read.
  std::string text(10'000'000, '\n');
  Parse(text, GpsLogStatus::Empty);
  text += Line("2012/05/17-13:45:12", "1.5", "2.5", 10, 6, 6, 30, 100) + "\n";
  text += std::string(1'000'000, '\n') + "x";
  const auto t = Parse(text);
  EXPECT_EQ(t.nCount, 2);
  EXPECT_EQ(t.nCapacity, 2 + kGpsSpareRecords);
}

TEST(GpsLogParse, ReplacingATableKeepsFlagsOnlyWhenNothingIsParsed) {
  GpsRecordTable t;
  const std::string text = Line("2012/05/17-13:45:12", "1", "2", 0, 100, 100, 0, 0) + "\n";
  ASSERT_EQ(ParseGpsText(text.data(), text.size(), t), GpsLogStatus::Ok);
  EXPECT_TRUE(t.bAngle1Minus);
  EXPECT_TRUE(t.bAngle2Minus);
  EXPECT_EQ(ParseGpsText("", 0, t), GpsLogStatus::Empty);
  EXPECT_EQ(t.pRecords, nullptr);
  EXPECT_EQ(t.nCount, 0);
  EXPECT_TRUE(t.bAngle1Minus);
  const std::string neg = Line("2012/05/17-13:45:12", "1", "2", 0, 65535, 3, 0, 0) + "\n";
  ASSERT_EQ(ParseGpsText(neg.data(), neg.size(), t), GpsLogStatus::Ok);
  EXPECT_FALSE(t.bAngle1Minus);
  EXPECT_FALSE(t.bAngle2Minus);
}

TEST(GpsLogParse, NumbersReadTheSameUnderADecimalCommaLocale) {
  // The fixtures build a German locale into the build tree; glibc finds it
  // through LOCPATH.
  const std::string locDir = std::string(VANTOR_FIXTURE_DIR) + "/locale";
  const char* oldPath = std::getenv("LOCPATH");
  const std::string savedPath = oldPath ? oldPath : "";
  ::setenv("LOCPATH", locDir.c_str(), 1);
  const std::string saved = ::setlocale(LC_ALL, nullptr);
  const bool german = ::setlocale(LC_ALL, "de_DE.UTF-8") != nullptr;
  const std::string text = Line("2012/05/17-13:45:12", "121.473701", "31.5", 1, 2, 3, 4, 5) + "\n";
  GpsRecordTable t;
  const GpsLogStatus status = ParseGpsText(text.data(), text.size(), t);
  const bool comma = *::localeconv()->decimal_point == ',';
  ::setlocale(LC_ALL, saved.c_str());
  if (oldPath)
    ::setenv("LOCPATH", savedPath.c_str(), 1);
  else
    ::unsetenv("LOCPATH");
  if (!german || !comma)
    GTEST_SKIP() << "no de_DE.UTF-8 locale in " << locDir << " (build the fixtures target)";
  ASSERT_EQ(status, GpsLogStatus::Ok);
  EXPECT_DOUBLE_EQ(t.pRecords[0].dLongitude, 121.473701);
  EXPECT_DOUBLE_EQ(t.pRecords[0].dLatitude, 31.5);
}

// --- files ----------------------------------------------------------------

TEST(GpsLogFile, ReadsTheCardInTheTestData) {
  GpsRecordTable t;
  const std::string movie = std::string(VANTOR_TEST_DATA_DIR) + "/card/DCIM/100MEDIA/AMBA0001.MOV";
  ASSERT_EQ(ParseGpsLog(GetGpsLogPath(movie), t), GpsLogStatus::Ok);
  ASSERT_EQ(t.nCount, 3);
  EXPECT_EQ(t.pRecords[2].nTime, 48);
  EXPECT_EQ(t.pRecords[2].nOdometer, 12372);
  EXPECT_EQ(t.pRecords[1].dAngle1, 52);
  EXPECT_EQ(t.pRecords[1].dAngle2, 60);
  EXPECT_EQ(t.pRecords[2].dAngle1, 1);
  EXPECT_EQ(t.pRecords[2].dAngle2, 5);
  EXPECT_TRUE(t.bAngle2Minus);
  EXPECT_FALSE(t.bAngle1Minus);
}

TEST(GpsLogFile, BadFilesAreCleanFailures) {
  test::ScratchFolder dir("gps");
  GpsRecordTable t;
  EXPECT_EQ(ParseGpsLog((dir.path() / "missing.txt").string(), t), GpsLogStatus::NotFound);
  EXPECT_EQ(ParseGpsLog((dir.path() / "missing/deeper.txt").string(), t), GpsLogStatus::NotFound);
  EXPECT_EQ(ParseGpsLog(dir.path().string(), t), GpsLogStatus::NotAFile);
  EXPECT_EQ(ParseGpsLog(dir.Write("empty.txt", "").string(), t), GpsLogStatus::Empty);

  // A named pipe with no writer must not hang the reader.
  const fs::path fifo = dir.path() / "fifo.txt";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(ParseGpsLog(fifo.string(), t), GpsLogStatus::NotAFile);

  // A huge (sparse) file is refused without being read.
  const fs::path huge = dir.path() / "huge.txt";
  { std::ofstream(huge) << "x"; }
  fs::resize_file(huge, kMaxGpsLogBytes);
  EXPECT_EQ(ParseGpsLog(huge.string(), t), GpsLogStatus::TooLarge);
  EXPECT_EQ(t.pRecords, nullptr);

  // Binary junk parses to whatever it holds, without a crash.
  std::string junk;
  for (int i = 0; i < 4096; ++i) junk += static_cast<char>((i * 7919 + 13) % 255 + 1);
  EXPECT_EQ(ParseGpsLog(dir.Write("junk.bin", junk).string(), t), GpsLogStatus::Ok);
  EXPECT_GT(t.nCount, 0);

  if (::geteuid() != 0) {
    const fs::path locked = dir.Write("locked.txt", "2012/05/17-13:45:12,1,2\n");
    fs::permissions(locked, fs::perms::none);
    EXPECT_EQ(ParseGpsLog(locked.string(), t), GpsLogStatus::Unreadable);
  }
}

TEST(GpsLogFile, PathologicalTextsStayLinear) {
  // Many short lines sharing blanks, commas and a "-" far ahead: the searches
  // must not run through the rest of the text again for every line (this
  // would take hours, not milliseconds).
  std::string text;
  for (int i = 0; i < 300'000; ++i) text += "  \n";
  for (int i = 0; i < 1'000'000; ++i) text += "x\n";
  text += ",,,,,,,,,,,,,,,,,," + std::string(1'000'000, ' ') + "7-" + std::string(1'000'000, ' ') +
          "1:00:00";
  GpsRecordTable t;
  ASSERT_EQ(ParseGpsText(text.data(), text.size(), t), GpsLogStatus::Ok);
  ASSERT_EQ(t.nCount, 1'300'001);
  EXPECT_EQ(t.nFirstTimeOfDay, 3600);
  EXPECT_EQ(t.pRecords[0].nOdometer, 7);
  EXPECT_EQ(t.pRecords[1'299'999].nOdometer, 7);
  // The last line starts with its first comma, so it has only 17 fields.
  EXPECT_EQ(t.pRecords[1'300'000].nOdometer, 0);
}
