// The GPS readers of other cameras and phones (NMEA, boxes inside MP4/MOV,
// GPX), the track they share, the record table filled from it, and the order
// in which a movie's sources are tried.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "gps/GpsSources.h"
#include "gps/GpxReader.h"
#include "gps/MovieGps.h"
#include "gps/NmeaReader.h"
#include "map/GpsDisplay.h"

using namespace vantor;
namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<unsigned char>;

GpsTrack Nmea(const std::string& text, std::int64_t start = kNoTime) {
  GpsTrack t;
  ReadNmea(text.data(), text.size(), t, start);
  return t;
}

void Put32(Bytes& b, std::uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) b.push_back(static_cast<unsigned char>(v >> s));
}
Bytes MakeBox(const char* type, const Bytes& payload) {
  Bytes b;
  Put32(b, static_cast<std::uint32_t>(payload.size() + 8));
  b.insert(b.end(), type, type + 4);
  b.insert(b.end(), payload.begin(), payload.end());
  return b;
}
void PutLe32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int k = 0; k < 4; ++k) b[at + k] = static_cast<unsigned char>(v >> (8 * k));
}
void PutLeFloat(Bytes& b, std::size_t at, float f) {
  std::uint32_t v;
  std::memcpy(&v, &f, 4);
  PutLe32(b, at, v);
}

// A classic block: 13:45:20 on 2020-12-03, 4851.396 N 00221.132 E, 20 knots.
Bytes ClassicBlock(char status = 'A', char ns = 'N', char ew = 'E') {
  Bytes b(0x100, 0);
  b[3] = 0x00;
  b[2] = 0x01;  // size 0x100
  std::memcpy(b.data() + 4, "freeGPS ", 8);
  const std::uint32_t t[6] = {13, 45, 20, 20, 12, 3};
  for (int k = 0; k < 6; ++k) PutLe32(b, 0x30 + 4 * k, t[k]);
  b[0x48] = static_cast<unsigned char>(status);
  b[0x49] = static_cast<unsigned char>(ns);
  b[0x4a] = static_cast<unsigned char>(ew);
  PutLeFloat(b, 0x4c, 4851.396f);
  PutLeFloat(b, 0x50, 221.132f);
  PutLeFloat(b, 0x54, 20.0f);
  PutLeFloat(b, 0x58, 90.0f);
  return b;
}

struct TempDir {
  fs::path path;
  TempDir() {
    char tmpl[] = "/tmp/vantor_gpssrc_XXXXXX";
    path = ::mkdtemp(tmpl);
  }
  ~TempDir() {
    std::error_code ec;
    fs::remove_all(path, ec);
  }
  std::string Write(const std::string& name, const std::string& text) const {
    const fs::path p = path / name;
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << text;
    return p.string();
  }
};

const char kRmc[] = "$GPRMC,134520.00,A,4851.396000,N,00221.132000,E,20.000,90.0,031220,,,A*00\n";

}  // namespace

TEST(NmeaReader, MergesRmcAndGgaOfOneSecondFromAnyTalkerWhateverTheChecksum) {
  const GpsTrack t = Nmea(
      "$GNGGA,134520.00,4851.396000,N,00221.132000,E,1,09,0.9,35.5,M,47.3,M,,*FF\r\n"
      "GNRMC,134520.00,A,4851.396000,N,00221.132000,E,20.000,90.0,031220,,,A\r\n"
      "$BDRMC,134521.00,A,4851.400000,S,00221.140000,W,0,0,031220,,,A*12\n"
      "$GPGSV,3,1,11,03,03,111,00*74\n");
  ASSERT_EQ(t.points.size(), 2u);
  const GpsPoint& p = t.points[0];
  EXPECT_TRUE(p.bFix);
  EXPECT_NEAR(p.dLatitude, 48 + 51.396 / 60, 1e-9);
  EXPECT_NEAR(p.dLongitude, 2 + 21.132 / 60, 1e-9);
  EXPECT_NEAR(p.dSpeedKmh, 37.04, 1e-9);
  EXPECT_TRUE(p.bHasAltitude);
  EXPECT_DOUBLE_EQ(p.dAltitude, 35.5);
  EXPECT_EQ(p.nTimeMs, MakeTimeMs(2020, 12, 3, 13, 45, 20));
  EXPECT_LT(t.points[1].dLatitude, 0);
  EXPECT_LT(t.points[1].dLongitude, 0);
}

TEST(NmeaReader, VoidStatusKeepsTheTimeButNoPosition) {
  const GpsTrack t = Nmea(
      "$GPRMC,134522.00,V,,,,,,,031220,,,N*00\n"
      "$GPGGA,134522.00,,,,,0,00,99.9,,M,,M,,*00\n");
  ASSERT_EQ(t.points.size(), 1u);
  EXPECT_FALSE(t.points[0].bFix);
  EXPECT_EQ(t.points[0].nTimeMs, MakeTimeMs(2020, 12, 3, 13, 45, 22));
}

TEST(NmeaReader, CameraClockInBracketsPlacesPointsAfterTheMovieStart) {
  const std::string text = std::string("[1607003122000]") + kRmc +
                           "[1607003125500]$GPRMC,134521.00,A,4851.4,N,00221.1,E,1,0,031220,,,A\n";
  const GpsTrack known = Nmea(text, 1607003121000);
  ASSERT_EQ(known.points.size(), 2u);
  EXPECT_EQ(known.points[0].nOffsetMs, 1000);
  EXPECT_EQ(known.points[1].nOffsetMs, 4500);
  // Without the movie's start the first point is its start.
  const GpsTrack unknown = Nmea(text);
  EXPECT_EQ(unknown.points[0].nOffsetMs, 0);
  EXPECT_EQ(unknown.points[1].nOffsetMs, 3500);
}

TEST(NmeaReader, GarbageNulBytesAndBrokenFieldsAreSkipped) {
  std::string text = std::string("\x01\xff garbage $GPRMC,,,\n") + kRmc;
  text += std::string("\0\0\0", 3);
  text += "$GPRMC,134599.00,A,4851.3,N,00221.1,E,1,0,031220,,,A\n";  // second 99
  text += "$GPRMC,134523.00,A,4899.0,N,00221.1,E,1,0,031220,,,A\n";  // 99 minutes
  text += "$GPRMC,134524.00,A,4851.3,X,00221.1,E,1,0,031220,,,A\n";  // hemisphere X
  text += "$GPRMC,134525.00,A,4851.3,N,00221.1,E,1,0,311320,,,A\n";  // month 13
  text += "$GPRMC,134526.00,A,4851.3,N,00221.1,E,1e999,0,031220\n";  // too few fields
  text += "$GPRMC,1345";                                             // cut off
  const GpsTrack t = Nmea(text);
  ASSERT_EQ(t.points.size(), 1u);
  EXPECT_TRUE(t.points[0].bFix);
}

TEST(FreeGpsBlock, ClassicAndNewerLayoutsAreToldApartByTheirLetters) {
  GpsPoint p;
  Bytes classic = ClassicBlock('A', 'S', 'W');
  ASSERT_EQ(ReadFreeGpsBlock(classic.data(), classic.size(), p), FreeGpsBlock::Fix);
  EXPECT_NEAR(p.dLatitude, -(48 + 51.396 / 60), 1e-5);
  EXPECT_NEAR(p.dLongitude, -(2 + 21.132 / 60), 1e-5);
  EXPECT_NEAR(p.dSpeedKmh, 37.04, 1e-4);
  EXPECT_FALSE(p.bHasAccel);

  // The newer layout: the same fields 0x20 earlier, accelerometer after them.
  Bytes newer(0x100, 0);
  std::memcpy(newer.data(), classic.data(), 12);
  std::memcpy(newer.data() + 0x10, classic.data() + 0x30, 0x2c);
  PutLe32(newer, 0x3c, 256);
  PutLe32(newer, 0x40, static_cast<std::uint32_t>(-128));
  PutLe32(newer, 0x44, 64);
  ASSERT_EQ(ReadFreeGpsBlock(newer.data(), newer.size(), p), FreeGpsBlock::Fix);
  EXPECT_NEAR(p.dLatitude, -(48 + 51.396 / 60), 1e-5);
  ASSERT_TRUE(p.bHasAccel);
  EXPECT_DOUBLE_EQ(p.adAccel[0], 1.0);
  EXPECT_DOUBLE_EQ(p.adAccel[1], -0.5);
  EXPECT_DOUBLE_EQ(p.adAccel[2], 0.25);

  Bytes noFix = ClassicBlock('V', 0, 0);
  EXPECT_EQ(ReadFreeGpsBlock(noFix.data(), noFix.size(), p), FreeGpsBlock::NoFix);
  EXPECT_EQ(p.nTimeMs, MakeTimeMs(2020, 12, 3, 13, 45, 20));
}

TEST(FreeGpsBlock, ScrambledBlocksAreNeverReadAsPositions) {
  GpsPoint p;
  Bytes xored = ClassicBlock();
  for (std::size_t i = 16; i < xored.size(); ++i) xored[i] ^= 0xaa;
  EXPECT_EQ(ReadFreeGpsBlock(xored.data(), xored.size(), p), FreeGpsBlock::Scrambled);
  // Letters in place but the numbers are no DDMM.mmmm.
  Bytes wild = ClassicBlock();
  PutLeFloat(wild, 0x4c, 1e9f);
  EXPECT_EQ(ReadFreeGpsBlock(wild.data(), wild.size(), p), FreeGpsBlock::Scrambled);
  Bytes shortBlock = ClassicBlock();
  EXPECT_EQ(ReadFreeGpsBlock(shortBlock.data(), 0x50, p), FreeGpsBlock::Scrambled);
  EXPECT_EQ(ReadFreeGpsBlock(shortBlock.data(), 11, p), FreeGpsBlock::NotABlock);
}

TEST(BoxWalker, SizesThatOverflowRunPastOrAreTooSmallStayWithinTheFile) {
  Bytes file = MakeBox("ftyp", Bytes(8, 0));
  // A 64-bit size.
  Bytes big = {0, 0, 0, 1, 'w', 'i', 'd', 'e', 0, 0, 0, 0, 0, 0, 0, 24};
  big.resize(24, 0);
  file.insert(file.end(), big.begin(), big.end());
  // A size far past the end: cut at the end of the file.
  Bytes past = {0x7f, 0xff, 0xff, 0xff, 'm', 'd', 'a', 't', 1, 2, 3};
  file.insert(file.end(), past.begin(), past.end());
  MemorySource src(file.data(), file.size());
  std::vector<vantor::Box> boxes;
  WalkBoxes(src, 0, src.Size(), [&](const vantor::Box& b) {
    boxes.push_back(b);
    return true;
  });
  ASSERT_EQ(boxes.size(), 3u);
  EXPECT_EQ(boxes[1].header, 16u);
  EXPECT_EQ(boxes[1].size, 24u);
  EXPECT_TRUE(boxes[2].truncated);
  EXPECT_EQ(boxes[2].offset + boxes[2].size, file.size());

  // A 64-bit size of 2^64-1 and a size smaller than its header end the walk.
  for (Bytes bad :
       {Bytes{0, 0, 0, 1, 'm', 'o', 'o', 'v', 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff},
        Bytes{0, 0, 0, 4, 'm', 'o', 'o', 'v'}}) {
    Bytes f = MakeBox("ftyp", Bytes(8, 0));
    f.insert(f.end(), bad.begin(), bad.end());
    MemorySource s(f.data(), f.size());
    std::size_t n = 0;
    WalkBoxes(s, 0, s.Size(), [&](const vantor::Box& b) {
      ++n;
      EXPECT_LE(b.offset + b.size, f.size());
      return true;
    });
    EXPECT_LE(n, 2u);
  }
}

TEST(MovieGps, IndexWithAbsurdCountOrPointingPastTheEndFallsBackToTheScan) {
  Bytes mdatPayload(4096, 0x11);
  const Bytes block = ClassicBlock();
  mdatPayload.insert(mdatPayload.end(), block.begin(), block.end());
  Bytes file = MakeBox("ftyp", Bytes(8, 0));
  const std::uint32_t blockAt = static_cast<std::uint32_t>(file.size() + 8 + 4096);
  Bytes mdat = MakeBox("mdat", mdatPayload);
  file.insert(file.end(), mdat.begin(), mdat.end());
  Bytes index;
  Put32(index, 0x101);
  Put32(index, 0xffffffff);  // absurd count: only the entries present are read
  Put32(index, 0xfffffff0);  // past the end
  Put32(index, 0x100);
  Put32(index, blockAt);
  Put32(index, 0xffffffff);  // size past the end
  Bytes moov = MakeBox("moov", MakeBox("gps ", index));
  file.insert(file.end(), moov.begin(), moov.end());

  MemorySource src(file.data(), file.size());
  GpsTrack t;
  MovieGpsInfo info;
  ASSERT_EQ(ReadMovieGps(src, t, info), MovieGpsStatus::Ok);
  EXPECT_TRUE(info.bIndex);
  EXPECT_TRUE(info.bScanned);
  ASSERT_EQ(t.points.size(), 1u);
  EXPECT_NEAR(t.points[0].dLatitude, 48 + 51.396 / 60, 1e-5);

  // Truncated anywhere: a partial track or none, never more than there is.
  for (std::size_t cut = 0; cut < file.size(); cut += 97) {
    MemorySource part(file.data(), cut);
    GpsTrack pt;
    const MovieGpsStatus s = ReadMovieGps(part, pt, info);
    EXPECT_LE(pt.points.size(), 1u);
    if (s != MovieGpsStatus::Ok) {
      EXPECT_TRUE(pt.points.empty());
    }
  }
  const char text[] = "not a movie at all";
  MemorySource foreign(text, sizeof text);
  EXPECT_EQ(ReadMovieGps(foreign, t, info), MovieGpsStatus::NotAMovie);
}

TEST(MovieGps, NmeaInATextTrackIsPlacedAtItsSampleTimes) {
  // One text sample at 2 s (timescale 1000) holding an RMC sentence.
  const std::string sentence = kRmc;
  Bytes sample = {0, static_cast<unsigned char>(sentence.size())};
  sample.insert(sample.end(), sentence.begin(), sentence.end());
  Bytes file = MakeBox("ftyp", Bytes(8, 0));
  const std::uint32_t sampleAt = static_cast<std::uint32_t>(file.size() + 8);
  Bytes mdat = MakeBox("mdat", sample);
  file.insert(file.end(), mdat.begin(), mdat.end());

  Bytes hdlr(12, 0);
  std::memcpy(hdlr.data() + 8, "text", 4);
  Bytes mdhd(24, 0);
  mdhd[15] = 0xe8;
  mdhd[14] = 0x03;  // timescale 1000
  Bytes stts, stsc, stsz, stco;
  for (std::uint32_t v : {0u, 2u, 1u, 2000u, 1u, 1000u}) Put32(stts, v);  // 2000 then 1000
  for (std::uint32_t v : {0u, 1u, 1u, 2u, 1u}) Put32(stsc, v);            // chunk 1: 2 samples
  for (std::uint32_t v : {0u, 0u, 2u, 0u, static_cast<std::uint32_t>(sample.size())})
    Put32(stsz, v);  // an empty sample at 0 s, the sentence at 2 s
  for (std::uint32_t v : {0u, 1u, sampleAt}) Put32(stco, v);
  Bytes stbl = MakeBox("stts", stts);
  for (const Bytes& b : {MakeBox("stsc", stsc), MakeBox("stsz", stsz), MakeBox("stco", stco)})
    stbl.insert(stbl.end(), b.begin(), b.end());
  Bytes mdia = MakeBox("hdlr", hdlr);
  const Bytes more = MakeBox("mdhd", mdhd);
  mdia.insert(mdia.end(), more.begin(), more.end());
  const Bytes minf = MakeBox("minf", MakeBox("stbl", stbl));
  mdia.insert(mdia.end(), minf.begin(), minf.end());
  const Bytes moov = MakeBox("moov", MakeBox("trak", MakeBox("mdia", mdia)));
  file.insert(file.end(), moov.begin(), moov.end());

  MemorySource src(file.data(), file.size());
  GpsTrack t;
  MovieGpsInfo info;
  ASSERT_EQ(ReadMovieGps(src, t, info), MovieGpsStatus::Ok);
  ASSERT_EQ(t.points.size(), 1u);
  EXPECT_EQ(t.points[0].nOffsetMs, 2000);
  EXPECT_TRUE(t.points[0].bFix);
}

TEST(GpxReader, ReadsGpx10And11WithPrefixesZonesAndSpeeds) {
  const std::string gpx10 =
      "<gpx version=\"1.0\"><trk><trkseg>"
      "<trkpt lat='48.5' lon=\"-2.25\"><ele>12.5</ele><time>2020-12-03T14:45:20+01:00</time>"
      "<speed>10</speed><course>45</course></trkpt>"
      "<trkpt lat=\"91\" lon=\"0\"/>"
      "<trkpt lat=\"48.6\" lon=\"-2.2\"/></trkseg></trk></gpx>";
  GpsTrack t;
  EXPECT_EQ(ReadGpx(gpx10.data(), gpx10.size(), t), 2u);
  ASSERT_EQ(t.points.size(), 2u);
  EXPECT_DOUBLE_EQ(t.points[0].dLatitude, 48.5);
  EXPECT_DOUBLE_EQ(t.points[0].dLongitude, -2.25);
  EXPECT_EQ(t.points[0].nTimeMs, MakeTimeMs(2020, 12, 3, 13, 45, 20));
  EXPECT_DOUBLE_EQ(t.points[0].dSpeedKmh, 36.0);
  EXPECT_DOUBLE_EQ(t.points[0].dAltitude, 12.5);

  const std::string gpx11 =
      "<g:gpx xmlns:g=\"http://www.topografix.com/GPX/1/1\"><g:trk><g:trkseg>"
      "<g:trkpt lon=\"2.5\" lat=\"48.25\"><g:time>2020-12-03T13:45:20.5Z</g:time></g:trkpt>"
      "</g:trkseg></g:trk></g:gpx>";
  GpsTrack t2;
  ASSERT_EQ(ReadGpx(gpx11.data(), gpx11.size(), t2), 1u);
  EXPECT_EQ(t2.points[0].nTimeMs, MakeTimeMs(2020, 12, 3, 13, 45, 20.5));
  EXPECT_DOUBLE_EQ(t2.points[0].dLatitude, 48.25);
}

TEST(GpsTrackTable, RecordsInKmhWithOdometerFromDistanceAndNoPositionWithoutFix) {
  GpsTrack t;
  for (int i = 0; i < 4; ++i) {
    GpsPoint p;
    p.nTimeMs = MakeTimeMs(2020, 12, 3, 23, 59, 58) + i * 1000;
    p.nOffsetMs = i * 1000;
    p.bFix = i != 2;
    p.dLatitude = 48.0 + i * 0.005;  // about 556 m a step
    p.dLongitude = 2.0;
    p.dSpeedKmh = 50.4;
    p.dAltitude = 30 + i;
    p.bHasAltitude = true;
    t.points.push_back(p);
  }
  GpsRecordTable table;
  std::vector<std::int64_t> offsets;
  ASSERT_TRUE(FillRecordTable(t, table, offsets));
  ASSERT_EQ(table.nCount, 4);
  const GpsRecord* r = table.Records();
  EXPECT_EQ(r[0].nSpeed, 50);
  EXPECT_EQ(r[0].nOdometer, 0);
  EXPECT_EQ(r[1].nOdometer, 0);
  EXPECT_EQ(r[3].nOdometer, 1);  // 1.67 km: the point without a fix is not a stop on the way
  EXPECT_TRUE(std::isnan(r[2].dLatitude));
  EXPECT_EQ(r[2].nSpeed, 0);
  // Across midnight the date moves on and the seconds keep counting.
  EXPECT_EQ(r[0].nDate, 2020 * 512 + 12 * 32 + 3);
  EXPECT_EQ(r[3].nDate, 2020 * 512 + 12 * 32 + 4);
  EXPECT_EQ(r[3].nTime, 3);
  EXPECT_EQ(table.nFirstTimeOfDay, 86398);
  // Speed and altitude on the graph, both using their band; no tilt.
  EXPECT_EQ(r[0].nGraph1, 1000);
  EXPECT_EQ(r[0].nGraph2, 0);
  EXPECT_EQ(r[3].nGraph2, 1000);
  EXPECT_EQ(r[0].dAngle1, 0.0);
  EXPECT_EQ(offsets, (std::vector<std::int64_t>{0, 1000, 2000, 3000}));
  // The spare tail reads as zeros.
  EXPECT_EQ(table.nCapacity, 4 + kGpsSpareRecords);
  EXPECT_EQ(r[4].nSpeed, 0);

  // A "fix" at 0°N 0°E is a receiver without one.
  t.points[1].dLatitude = 0.0;
  t.points[1].dLongitude = 0.0;
  ASSERT_TRUE(FillRecordTable(t, table, offsets));
  EXPECT_TRUE(std::isnan(table.Records()[1].dLatitude));

  // With accelerometer readings the graph shows the three axes instead.
  t.points[0].bHasAccel = true;
  t.points[0].adAccel[2] = 1.0;
  ASSERT_TRUE(FillRecordTable(t, table, offsets));
  EXPECT_EQ(table.Records()[0].nGraph3, 750);
  EXPECT_EQ(table.Records()[0].nGraph1, 500);
}

TEST(GpsTrackDisplay, TimedSourcesShowThePointAtThePlayPositionAndNoTilt) {
  // Points at 0, 1, 2 s, then a gap to 10 s: at 9.5 s the point of 2 s shows,
  // not the one a share of the count would give.
  const std::vector<std::int64_t> offsets = {0, 1000, 2000, 10000};
  std::vector<GpsRecord> recs(4 + 8);
  for (int i = 0; i < 4; ++i) {
    recs[i].nSpeed = 10 * (i + 1);
    recs[i].dLatitude = 48;
    recs[i].dLongitude = 2;
  }
  const GpsDisplayValues v = ComputeGpsDisplay(recs.data(), 4, FALSE, FALSE, 9500, 12000, 0, FALSE,
                                               GpsRecordPlacement{offsets.data(), false});
  EXPECT_EQ(v.nIndex, 2);
  EXPECT_EQ(v.nSpeed, 30);
  EXPECT_EQ(v.strAngle1, "");
  EXPECT_EQ(v.strAngle2, "");
  EXPECT_EQ(RecordIndexForOffset(offsets.data(), 4, 0), 0);
  EXPECT_EQ(RecordIndexForOffset(offsets.data(), 4, 60000), 3);
  // A point without a fix never goes on the map: the map keeps the last fix.
  recs[2].dLatitude = 47;
  recs[3].dLatitude = std::nan("");
  const GpsDisplayValues lost = ComputeGpsDisplay(recs.data(), 4, FALSE, FALSE, 11000, 12000, 0,
                                                  FALSE, GpsRecordPlacement{offsets.data(), false});
  EXPECT_EQ(lost.nIndex, 3);
  EXPECT_TRUE(lost.bMarker);
  EXPECT_EQ(lost.dLatitude, 47);
}

TEST(GpsSources, FirstSourceWithPointsWinsInOrder) {
  TempDir dir;
  const std::string movie = dir.Write("DCIM/100MEDIA/CLIP0001.MP4", "not a movie");
  const std::string rmc = kRmc;
  const std::string gpx = "<gpx><trk><trkseg><trkpt lat=\"1\" lon=\"2\"/></trkseg></trk></gpx>";
  GpsRecordTable table;
  GpsLoad load;
  EXPECT_EQ(LoadGpsForMovie(movie, table, load), GpsSourceKind::None);
  EXPECT_EQ(table.nCount, 0);

  dir.Write("DCIM/100MEDIA/CLIP0001.Gpx", gpx);
  EXPECT_EQ(LoadGpsForMovie(movie, table, load), GpsSourceKind::Gpx);
  EXPECT_DOUBLE_EQ(table.Records()[0].dLatitude, 1.0);

  // A sidecar that holds no NMEA does not count; one that does wins over the GPX.
  dir.Write("DCIM/100MEDIA/CLIP0001.txt", "shopping list\n");
  EXPECT_EQ(LoadGpsForMovie(movie, table, load), GpsSourceKind::Gpx);
  dir.Write("DCIM/100MEDIA/CLIP0001.NMEA", rmc);
  EXPECT_EQ(LoadGpsForMovie(movie, table, load), GpsSourceKind::Nmea);
  EXPECT_EQ(load.path, (dir.path / "DCIM/100MEDIA/CLIP0001.NMEA").string());
  EXPECT_FALSE(load.bHasTilt);
  EXPECT_EQ(load.offsetsMs.size(), 1u);

  // The camera's own log comes first of all.
  dir.Write("GPS/CLIP0001.txt", "2020/12/03-13:45:20,2.5,48.5,1,2,3,,,,,0,0,,,50,,,,7\n");
  EXPECT_EQ(LoadGpsForMovie(movie, table, load), GpsSourceKind::CameraLog);
  EXPECT_TRUE(load.bHasTilt);
  EXPECT_TRUE(load.offsetsMs.empty());
  EXPECT_EQ(table.Records()[0].nSpeed, 50);

  // Of a clip's cameras, the first whose file has GPS gives it.
  const std::string rear = dir.Write("DCIM/100MEDIA/CLIP0002.MP4", "not a movie");
  const std::string cameras[] = {rear, movie};
  EXPECT_EQ(LoadGpsForMovies(cameras, table, load), GpsSourceKind::CameraLog);
  EXPECT_EQ(load.path, (dir.path / "GPS/CLIP0001.txt").string());
}

TEST(MovieGps, AFourGigabyteMovieWithoutGpsIsRefusedAfterReadingItsStart) {
  TempDir dir;
  const std::string path = (dir.path / "BIG.MP4").string();
  // ftyp, then a 64-bit sized mdat over 4 GB of (sparse) zeros.
  Bytes head = MakeBox("ftyp", Bytes(8, 0));
  const std::uint64_t mdat = (std::uint64_t{5} << 30) - head.size();
  const unsigned char large[8] = {0, 0, 0, 1, 'm', 'd', 'a', 't'};
  head.insert(head.end(), large, large + 8);
  for (int s = 56; s >= 0; s -= 8) head.push_back(static_cast<unsigned char>(mdat >> s));
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(head.data()), static_cast<std::streamsize>(head.size()));
  fs::resize_file(path, head.size() - 16 + mdat);
  GpsTrack t;
  MovieGpsInfo info;
  EXPECT_EQ(ReadMovieGpsFile(path, t, info), MovieGpsStatus::NoGps);
  EXPECT_TRUE(info.bScanned);
  // Cameras write their first block near the start: 64 MB and the chunk that
  // crosses it are read, not the 5 GB.
  EXPECT_LE(info.nBytesRead, std::uint64_t{72} << 20);
}
