// What UpdateGpsDisplay shows for a movie position, and when it writes the map
// page, over a table laid out the way the parser leaves it (parsed records
// followed by zeroed spare ones).
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "app/SpeedDialRule.h"
#include "map/GpsDisplay.h"

using namespace vantor;

namespace {

const std::string kDeg = "\xC2\xB0";

// One record per second of a 60 s movie, then the spare tail.
struct Drive {
  std::vector<GpsRecord> table;
  int count = 60;
  Drive() : table(60 + 1024) {
    for (int i = 0; i < count; ++i) {
      GpsRecord& r = table[i];
      r.nTime = i;
      r.nSpeed = 40 + i;
      r.nOdometer = 123400 + i;
      r.dLatitude = 31.2 + i * 0.001;
      r.dLongitude = 121.4 + i * 0.001;
      r.dAngle1 = i % 61;
      r.dAngle2 = 12.7;
    }
  }
};

// The dialog's side of the bargain: a due page that was written moves
// m_nLastMapSecond to the shown second.
struct Dialog {
  const Drive& drive;
  std::uint32_t nLastMapSecond = 0;
  int writes = 0;
  GpsDisplayValues Update(std::uint32_t posMs, BOOL throttle) {
    GpsDisplayValues v = ComputeGpsDisplay(drive.table.data(), drive.count, FALSE, TRUE, posMs,
                                           60000, nLastMapSecond, throttle);
    if (v.bWritePage) {
      ++writes;
      nLastMapSecond = v.nSecond;
    }
    return v;
  }
};

}  // namespace

TEST(GpsDisplay, ValuesOfTheRecordForTheShareOfTheMovie) {
  Drive d;
  d.table[30].nOdometer = 123456;
  const auto v = ComputeGpsDisplay(d.table.data(), d.count, FALSE, TRUE, 30500, 60000, 0, TRUE);
  EXPECT_TRUE(v.bHasLog);
  EXPECT_EQ(v.nIndex, 30);  // 60 × 0.5083 = 30.5 -> 30
  EXPECT_EQ(v.nSpeed, 70);
  EXPECT_EQ(v.strAngle1, "30" + kDeg);
  EXPECT_EQ(v.strAngle2, "-12" + kDeg);  // flag set, angle truncated
  const int expected[6] = {1, 2, 3, 4, 5, 6};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(v.anDigits[i], expected[i]) << "control " << 1032 + i;
  EXPECT_DOUBLE_EQ(v.dLatitude, 31.23);
  EXPECT_DOUBLE_EQ(v.dLongitude, 121.43);
  EXPECT_EQ(v.nSecond, 30u);
  EXPECT_DOUBLE_EQ(v.dFraction, 30500.0 / 60000.0);
}

TEST(GpsDisplay, AngleTextsAndOdometerDigits) {
  EXPECT_EQ(AngleText(12, TRUE), "-12" + kDeg);
  EXPECT_EQ(AngleText(0, FALSE), "0" + kDeg);
  EXPECT_EQ(AngleText(59.9, FALSE), "59" + kDeg);
  EXPECT_EQ(AngleText(NAN, FALSE), "0" + kDeg);
  EXPECT_EQ(CoordinateText(31.2304164, -0.1), "31.23042" + kDeg + " N  0.10000" + kDeg + " W");
  EXPECT_EQ(CoordinateText(-33.9, 151.2), "33.90000" + kDeg + " S  151.20000" + kDeg + " E");
  EXPECT_EQ(CoordinateText(NAN, 1), "");

  int digits[6];
  OdometerDigits(123456, digits);
  EXPECT_EQ(std::vector<int>(digits, digits + 6), (std::vector<int>{1, 2, 3, 4, 5, 6}));
  OdometerDigits(7, digits);
  EXPECT_EQ(std::vector<int>(digits, digits + 6), (std::vector<int>{0, 0, 0, 0, 0, 7}));
  // Past a million the dial shows the low six digits.
  OdometerDigits(9876543, digits);
  EXPECT_EQ(std::vector<int>(digits, digits + 6), (std::vector<int>{8, 7, 6, 5, 4, 3}));
}

TEST(GpsDisplay, TheEndOfTheMovieShowsTheLastRecordNotTheSpareOne) {
  Drive d;
  for (std::uint32_t pos : {60000u, 59999u, 61000u}) {
    const auto v = ComputeGpsDisplay(d.table.data(), d.count, FALSE, FALSE, pos, 60000, 0, FALSE);
    EXPECT_EQ(v.nIndex, 59) << pos;
    EXPECT_EQ(v.nSpeed, 99) << pos;
    EXPECT_DOUBLE_EQ(v.dLatitude, 31.2 + 59 * 0.001) << pos;
    EXPECT_TRUE(v.bWritePage) << pos;  // not at 0,0
    EXPECT_LE(v.dFraction, 1.0);
  }
  // A one-record log shows that record throughout.
  const auto v = ComputeGpsDisplay(d.table.data(), 1, FALSE, FALSE, 60000, 60000, 0, FALSE);
  EXPECT_EQ(v.nIndex, 0);
  EXPECT_EQ(RecordIndexForFraction(10, 0.0), 0);
  EXPECT_EQ(RecordIndexForFraction(10, 0.35), 3);
  EXPECT_EQ(RecordIndexForFraction(0, 0.5), -1);
}

TEST(GpsDisplay, UnknownDurationShowsTheFirstRecord) {
  Drive d;
  const auto v = ComputeGpsDisplay(d.table.data(), d.count, FALSE, FALSE, 5000, 0, 0, TRUE);
  EXPECT_EQ(v.nIndex, 0);
  EXPECT_DOUBLE_EQ(v.dFraction, 0.0);
  EXPECT_EQ(v.nSecond, 5u);
  EXPECT_TRUE(v.bWritePage);  // 5 s away from second 0
}

TEST(GpsDisplay, OpeningWritesThePageAtOnceEvenAtSecondZero) {
  Drive d;
  Dialog dlg{d};
  EXPECT_TRUE(dlg.Update(0, FALSE).bWritePage);
  EXPECT_FALSE(dlg.Update(0, TRUE).bWritePage);
}

TEST(GpsDisplay, ThrottledPageFollowsPlaybackEveryFiveSeconds) {
  Drive d;
  Dialog dlg{d};
  dlg.Update(0, FALSE);
  std::vector<std::uint32_t> writtenAt;
  for (std::uint32_t pos = 500; pos <= 12000; pos += 500) {
    if (dlg.Update(pos, TRUE).bWritePage) writtenAt.push_back(pos);
  }
  EXPECT_EQ(writtenAt, (std::vector<std::uint32_t>{5000, 10000}));
}

TEST(GpsDisplay, AfterASeekThePageWaitsForFiveSecondsFromTheSeekPoint) {
  Drive d;
  Dialog dlg{d};
  dlg.Update(0, FALSE);
  dlg.nLastMapSecond = 40;  // the position slider moved to 0:40
  EXPECT_FALSE(dlg.Update(40000, TRUE).bWritePage);
  EXPECT_FALSE(dlg.Update(44900, TRUE).bWritePage);
  EXPECT_TRUE(dlg.Update(45000, TRUE).bWritePage);
  EXPECT_EQ(dlg.nLastMapSecond, 45u);
}

TEST(GpsDisplay, SteppingBackwardsRewritesWhenFiveSecondsBehind) {
  Drive d;
  Dialog dlg{d};
  dlg.nLastMapSecond = 30;
  std::vector<std::uint32_t> writtenAt;
  // Backward play: 200 ms back per 100 ms tick.
  for (std::uint32_t pos = 30000; pos >= 19000; pos -= 200)
    if (dlg.Update(pos, TRUE).bWritePage) writtenAt.push_back(pos / 1000);
  EXPECT_EQ(writtenAt, (std::vector<std::uint32_t>{25, 20}));
}

TEST(GpsDisplay, ARecordWithoutAFixKeepsTheLastFixOnTheMap) {
  Drive d;
  for (int i : {10, 11}) d.table[i].dLatitude = d.table[i].dLongitude = 0.0;  // fix lost
  d.table[20].dLatitude = NAN;
  d.table[30].dLongitude = 200.0;
  for (int i : {10, 11, 20, 30}) {
    const auto v =
        ComputeGpsDisplay(d.table.data(), d.count, FALSE, FALSE, i * 1000u, 60000, 0, FALSE);
    EXPECT_TRUE(v.bWritePage) << i;
    EXPECT_TRUE(v.bMarker) << i;
    const int last = i == 11 ? 9 : i - 1;
    EXPECT_DOUBLE_EQ(v.dLatitude, d.table[last].dLatitude) << i;
    EXPECT_DOUBLE_EQ(v.dLongitude, d.table[last].dLongitude) << i;
    EXPECT_EQ(v.nSpeed, 40 + i);  // the rest of the record is still shown
  }
}

TEST(GpsDisplay, BeforeTheFirstFixTheMapShowsWhereItWillBeWithoutAMarker) {
  Drive d;
  for (int i = 0; i < 5; ++i) d.table[i].dLatitude = d.table[i].dLongitude = 0.0;
  const auto early =
      ComputeGpsDisplay(d.table.data(), d.count, FALSE, FALSE, 2000, 60000, 0, FALSE);
  EXPECT_TRUE(early.bWritePage);
  EXPECT_FALSE(early.bMarker);
  EXPECT_DOUBLE_EQ(early.dLatitude, d.table[5].dLatitude);
  EXPECT_DOUBLE_EQ(early.dLongitude, d.table[5].dLongitude);

  for (int i = 0; i < d.count; ++i) d.table[i].dLatitude = d.table[i].dLongitude = 0.0;
  const auto never =
      ComputeGpsDisplay(d.table.data(), d.count, FALSE, FALSE, 2000, 60000, 0, FALSE);
  EXPECT_TRUE(never.bHasLog);
  EXPECT_FALSE(never.bMapPosition);
  EXPECT_FALSE(never.bWritePage);
}

TEST(GpsDisplay, NoLogGivesTheZeroState) {
  const GpsRecord one{};
  for (auto [table, count] :
       {std::pair<const GpsRecord*, int>{nullptr, 0}, {nullptr, 10}, {&one, 0}}) {
    const auto v = ComputeGpsDisplay(table, count, TRUE, TRUE, 30000, 60000, 0, FALSE);
    EXPECT_FALSE(v.bHasLog);
    EXPECT_FALSE(v.bWritePage);
    EXPECT_EQ(v.nIndex, -1);
    EXPECT_EQ(v.nSpeed, 0);
    EXPECT_EQ(SpeedDialResourceId(v.nSpeed), 186);
    EXPECT_EQ(v.strAngle1, "0" + kDeg);
    EXPECT_EQ(v.strAngle2, "0" + kDeg);
    for (int dgt : v.anDigits) EXPECT_EQ(dgt, 0);
    EXPECT_DOUBLE_EQ(v.dFraction, 0.5);
  }
}

TEST(SpeedDialRule, OnePicturePerBandOfTenKmH) {
  EXPECT_EQ(SpeedDialResourceId(0), 186);
  EXPECT_EQ(SpeedDialResourceId(9), 186);
  EXPECT_EQ(SpeedDialResourceId(10), 187);
  EXPECT_EQ(SpeedDialResourceId(249), 210);
  EXPECT_EQ(SpeedDialResourceId(250), 211);
  EXPECT_EQ(SpeedDialResourceId(289), 214);
  EXPECT_EQ(SpeedDialResourceId(290), 215);
  EXPECT_EQ(SpeedDialResourceId(100000), 215);
  EXPECT_EQ(SpeedDialResourceId(-1), -1);
  EXPECT_EQ(SpeedDialResourceId(-2147483647 - 1), -1);
  for (int v = 0; v < 300; ++v) EXPECT_EQ(SpeedDialBandSpeed(SpeedDialResourceId(v)), v / 10 * 10);
  // In mph the pictures run from 1186 to 1204 (180 mph and faster).
  EXPECT_EQ(SpeedDialResourceId(9, SpeedUnit::Mph), 1186);
  EXPECT_EQ(SpeedDialResourceId(62, SpeedUnit::Mph), 1192);
  EXPECT_EQ(SpeedDialResourceId(500, SpeedUnit::Mph), 1204);
  EXPECT_EQ(SpeedDialResourceId(-1, SpeedUnit::Mph), -1);
}
