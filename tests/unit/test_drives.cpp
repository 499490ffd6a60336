#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "app/Drives.h"
#include "gps/GpsExport.h"
#include "support/ScratchFolder.h"

namespace fs = std::filesystem;
using namespace vantor;

namespace {

constexpr std::int64_t kT0 = 1631986925000;  // 2021-09-18 17:42:05

DriveClip Clip(const std::string& path, std::int64_t startS, std::int64_t endS) {
  return {path, {kT0 + startS * 1000, kT0 + endS * 1000, ClipTimeSource::Gps}};
}

GpsRecordTable Log(const std::string& text) {
  GpsRecordTable t;
  EXPECT_EQ(ParseGpsText(text.data(), text.size(), t), GpsLogStatus::Ok);
  return t;
}


}  // namespace

TEST(Drives, FileNamesGiveTheCamerasDateAndTime) {
  const std::int64_t t = MakeTimeMs(2021, 9, 18, 17, 42, 5);
  for (const char* name : {"2021_0918_174205_001.MOV", "/card/20210918-174205F.MP4",
                           "NO20210918-174205-000123F.MP4", "FILE210918-174205F.MOV"})
    EXPECT_EQ(TimeFromFileName(name), t) << name;
  // Counters, impossible dates and a date in the folder's name are no time of the file.
  for (const char* name : {"AMBA0001.MOV", "20211318-174205.MOV", "/2021_0918_174205/AMBA1.MOV",
                           "123456789012345.MOV"})
    EXPECT_EQ(TimeFromFileName(name), kNoTime) << name;
}

TEST(Drives, APauseOfMoreThanTenSecondsOrAnotherFolderStartsANewDrive) {
  const std::vector<DriveClip> clips = {
      Clip("/c/A/1.MOV", 0, 60),    Clip("/c/A/2.MOV", 70, 130),  // 10 s pause: same drive
      Clip("/c/A/3.MOV", 141, 200),                               // 11 s: a new one
      Clip("/c/B/4.MOV", 200, 260),                               // another folder
      Clip("/c/B/5.MOV", 100, 150),                               // earlier than the one before
      {"/c/B/6.MOV", {}},                                         // no time at all
      Clip("/c/B/7.MOV", 151, 160)};
  EXPECT_EQ(GroupIntoDrives(clips), (std::vector<int>{0, 0, 1, 2, 3, 4, 5}));
}

TEST(Drives, ABatchIsOrderedByFolderThenTimeAroundTheClipsWithoutATime) {
  const std::vector<DriveClip> clips = {Clip("/c/B/x.MOV", 50, 60),
                                        {"/c/A/u.MOV", {}},
                                        Clip("/c/A/z.MOV", 20, 30),
                                        Clip("/c/B/w.MOV", 10, 20),
                                        Clip("/c/A/y.MOV", 10, 15)};
  std::vector<std::string> paths;
  for (std::size_t i : OrderForDrives(clips)) paths.push_back(clips[i].path);
  EXPECT_EQ(paths, (std::vector<std::string>{"/c/B/w.MOV", "/c/A/u.MOV", "/c/B/x.MOV", "/c/A/y.MOV",
                                             "/c/A/z.MOV"}));
}

TEST(Drives, AClipsTimeComesFromItsGpsElseTheMovieElseItsName) {
  vantor::test::ScratchFolder dir("drives");
  const GpsRecordTable gps =
      Log("2021/09/18-17:42:05,121.4,31.2,1,1,1\r\n2021/09/18-17:42:29,121.4,31.2,1,1,1\r\n");
  const std::string named = (dir.path() / "20210918_180000.MOV").string();
  std::ofstream(named) << "no boxes";
  // A movie whose header says it was made at 17:42:05 and runs 24 s.
  const std::string made = (dir.path() / "20210918_190000.MOV").string();
  {
    const unsigned created = 1631986925u + 2082844800u;
    unsigned char box[8 + 8 + 20] = {0, 0, 0, 36, 'm', 'o', 'o', 'v',
                                     0, 0, 0, 28, 'm', 'v', 'h', 'd'};
    unsigned char* p = box + 16;
    auto be32 = [&](int at, unsigned v) {
      for (int k = 0; k < 4; ++k) p[at + k] = static_cast<unsigned char>(v >> (24 - 8 * k));
    };
    be32(4, created);
    be32(8, created);
    be32(12, 1000);   // timescale
    be32(16, 24000);  // duration
    std::ofstream(made, std::ios::binary).write(reinterpret_cast<const char*>(box), sizeof box);
  }
  const ClipSpan fromGps = ClipSpanOf(made, &gps);
  EXPECT_EQ(fromGps.source, ClipTimeSource::Gps);
  EXPECT_EQ(fromGps.nEndMs - fromGps.nStartMs, 24000);
  EXPECT_EQ(fromGps.nStartMs, kT0);
  const ClipSpan fromMovie = ClipSpanOf(made, nullptr);
  EXPECT_EQ(fromMovie.source, ClipTimeSource::Movie);
  EXPECT_EQ(fromMovie.nStartMs, kT0);
  EXPECT_EQ(fromMovie.nEndMs, kT0 + 24000);
  const ClipSpan fromName = ClipSpanOf(named, nullptr);
  EXPECT_EQ(fromName.source, ClipTimeSource::FileName);
  EXPECT_EQ(fromName.nStartMs, MakeTimeMs(2021, 9, 18, 18, 0, 0));
  EXPECT_EQ(ClipSpanOf((dir.path() / "AMBA0001.MOV").string(), nullptr).source, ClipTimeSource::None);
}

TEST(Drives, ADrivesRecordsAreMergedInTimeOrderAcrossMidnight) {
  const GpsRecordTable undated = Log("junk,121.0,31.0,1,1,1\r\n");
  const GpsRecordTable late =
      Log("2021/09/18-23:59:59,121.5,31.5,1,1,1\r\n"
          "2021/09/19-00:00:01,121.6,31.6,1,1,1\r\n");
  const GpsRecordTable early =
      Log("2021/09/18-23:59:50,121.1,31.1,1,1,1\r\n"
          "junk,121.2,31.2,1,1,1\r\n"
          "2021/09/18-23:59:58,121.3,31.3,1,1,1\r\n");
  const GpsRecordTable* tables[] = {&undated, &late, &early};
  GpsRecordTable drive;
  ASSERT_TRUE(MergeDriveRecords(tables, drive));
  ASSERT_EQ(drive.nCount, 6);
  // A record of no time at all goes first; the times count from the first timed one.
  const double lats[] = {31.0, 31.1, 31.2, 31.3, 31.5, 31.6};
  for (int i = 0; i < 6; ++i) EXPECT_DOUBLE_EQ(drive.pRecords[i].dLatitude, lats[i]) << i;
  EXPECT_EQ(GpsDateTimeText(drive, 1), "2021-09-18 23:59:50");
  EXPECT_EQ(GpsDateTimeText(drive, 5), "2021-09-19 00:00:01");
  EXPECT_EQ(drive.pRecords[5].nTime, 11);
  // The spare records past the end read as zeros, as for any table.
  EXPECT_EQ(drive.pRecords[6].nSpeed, 0);
  const GpsRecordTable* none[] = {nullptr};
  EXPECT_FALSE(MergeDriveRecords(none, drive));
}

TEST(Drives, EveryMovieUnderAFolderIsFound) {
  vantor::test::ScratchFolder dir("drives");
  fs::create_directories(dir.path() / "DCIM/101MEDIA");
  fs::create_directories(dir.path() / "GPS");
  for (const char* f : {"DCIM/101MEDIA/b.mp4", "DCIM/100.MOV", "GPS/GPS0001.txt", "notes.mov.txt"})
    std::ofstream(dir.path() / f) << "x";
  fs::create_directory_symlink(dir.path(), dir.path() / "DCIM/loop");
  std::vector<std::string> movies;
  std::string error;
  ASSERT_TRUE(MoviesUnderFolder(dir.path().string(), movies, error)) << error;
  EXPECT_EQ(movies, (std::vector<std::string>{(dir.path() / "DCIM/100.MOV").string(),
                                              (dir.path() / "DCIM/101MEDIA/b.mp4").string()}));
  EXPECT_FALSE(MoviesUnderFolder((dir.path() / "GPS/GPS0001.txt").string(), movies, error));
  EXPECT_FALSE(error.empty());
}
