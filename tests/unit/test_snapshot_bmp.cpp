#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "SnapshotTestUtil.h"
#include "app/Snapshot.h"

using namespace vantor;
using namespace vantor::test;

namespace {

std::uint32_t FileU32(const std::string& s, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | std::uint8_t(s[at + i]);
  return v;
}

std::span<const std::uint8_t> Span(const std::vector<std::uint8_t>& v) {
  return {v.data(), v.size()};
}

bool DirIsEmpty(const fs::path& p) {
  return fs::is_empty(p);
}

}  // namespace

TEST(SnapshotBmp, TrueColourFrameGivesHeaderThenFrameUnchanged) {
  ScratchFolder dir("bmp24");
  const auto dib = MakeTrueColourDib(640, 480);
  ASSERT_EQ(dib.size(), 40u + 921600u);
  const fs::path file = dir / "snapshot000.bmp";
  int err = -1;
  ASSERT_TRUE(WriteBmpFile(file, Span(dib), &err));
  EXPECT_EQ(err, 0);
  const std::string bytes = ReadAll(file);
  ASSERT_EQ(bytes.size(), 921654u);
  EXPECT_EQ(bytes.substr(0, 2), "BM");
  EXPECT_EQ(FileU32(bytes, 2), 921654u);
  EXPECT_EQ(FileU32(bytes, 6), 0u);  // both reserved words
  EXPECT_EQ(FileU32(bytes, 10), 54u);
  EXPECT_EQ(0, std::memcmp(bytes.data() + 14, dib.data(), dib.size()));
  // Nothing of the temporary file used while writing is left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
}

TEST(SnapshotBmp, PixelOffsetCountsTheColourTable) {
  EXPECT_EQ(BmpPixelOffset(1), 62u);
  EXPECT_EQ(BmpPixelOffset(4), 118u);
  EXPECT_EQ(BmpPixelOffset(8), 1078u);
  EXPECT_EQ(BmpPixelOffset(16), 54u);
  EXPECT_EQ(BmpPixelOffset(24), 54u);
  EXPECT_EQ(BmpPixelOffset(32), 54u);

  const auto dib = MakePalettedDib(101, 37);  // odd width: rows padded to 104 bytes
  const auto header = MakeBmpFileHeader(Span(dib));
  ASSERT_TRUE(header);
  std::string h(header->begin(), header->end());
  EXPECT_EQ(FileU32(h, 10), 1078u);
  EXPECT_EQ(FileU32(h, 2), dib.size() + 14);
}

TEST(SnapshotBmp, ViewersReadTheSamePicture) {
  if (!HaveProgram("identify") || !HaveProgram("convert")) GTEST_SKIP() << "ImageMagick missing";
  ScratchFolder dir("bmpview");
  const fs::path truecolour = dir / "a.bmp", paletted = dir / "b.bmp";
  ASSERT_TRUE(WriteBmpFile(truecolour, Span(MakeTrueColourDib(640, 480))));
  ASSERT_TRUE(WriteBmpFile(paletted, Span(MakePalettedDib(101, 37))));

  EXPECT_EQ(RunCapture("identify -format '%w %h' " + truecolour.string()), "640 480");
  EXPECT_EQ(RunCapture("identify -format '%w %h' " + paletted.string()), "101 37");

  // The pixels, top row first, as ImageMagick decodes them.
  const std::string rgb = RunCapture("convert " + truecolour.string() + " -depth 8 rgb:-");
  const auto expected = ExpectedTrueColourRgb(640, 480);
  ASSERT_EQ(rgb.size(), expected.size());
  EXPECT_EQ(0, std::memcmp(rgb.data(), expected.data(), expected.size()));

  const std::string rgb8 = RunCapture("convert " + paletted.string() + " -depth 8 rgb:-");
  ASSERT_EQ(rgb8.size(), 101u * 37u * 3u);
  for (int y = 0; y < 37; y += 9)
    for (int x = 0; x < 101; x += 10) {
      std::uint8_t r, g, b;
      PaletteColour(PaletteIndexAt(x, y), r, g, b);
      const std::size_t at = (std::size_t(y) * 101 + x) * 3;
      EXPECT_EQ(std::uint8_t(rgb8[at]), r) << x << "," << y;
      EXPECT_EQ(std::uint8_t(rgb8[at + 1]), g) << x << "," << y;
      EXPECT_EQ(std::uint8_t(rgb8[at + 2]), b) << x << "," << y;
    }
}

TEST(SnapshotBmp, TwoCamerasSideBySideKeepTheLeftPictureAndScaleTheRight) {
  // The right picture, half the height, is doubled; both keep their pixels.
  const auto pair = SideBySide(Span(MakeTrueColourDib(6, 4)), Span(MakeTrueColourDib(5, 2, 32)));
  ASSERT_TRUE(pair);
  const auto rgb = DibToRgb(pair.span());
  ASSERT_TRUE(rgb);
  ASSERT_EQ(rgb->width, 16);
  ASSERT_EQ(rgb->height, 4);
  const auto left = ExpectedTrueColourRgb(6, 4), right = ExpectedTrueColourRgb(5, 2);
  for (int y = 0; y < 4; ++y) {
    const auto* row = rgb->rgb.data() + y * 16 * 3;
    EXPECT_TRUE(std::equal(row, row + 18, left.data() + y * 18)) << "row " << y;
    EXPECT_TRUE(std::equal(row + 18, row + 21, right.data() + (y / 2) * 15)) << "row " << y;
  }
  EXPECT_FALSE(SideBySide(Span(MakeTrueColourDib(6, 4)), {}));
}

TEST(SnapshotBmp, BlockShorterThanItsHeaderIsRefused) {
  ScratchFolder dir("bmpshort");
  const std::vector<std::uint8_t> tiny(20, 0);
  int err = 0;
  EXPECT_FALSE(WriteBmpFile(dir / "x.bmp", Span(tiny), &err));
  EXPECT_EQ(err, EINVAL);
  EXPECT_TRUE(DirIsEmpty(dir.path()));
}

TEST(SnapshotBmp, UnwritableFolderCreatesNothing) {
  ScratchFolder dir("bmpro");
  UnwritableDir locked(dir);
  if (!locked.ok()) GTEST_SKIP() << "cannot make a read-only folder here";
  int err = 0;
  EXPECT_FALSE(WriteBmpFile(locked.path() / "snap.bmp", Span(MakeTrueColourDib(8, 8)), &err));
  EXPECT_NE(err, 0);
  EXPECT_TRUE(DirIsEmpty(locked.path()));
}

// A disk that fills up part-way: the writer is told so at various points,
// including inside the 14-byte header.
TEST(SnapshotBmp, FullDiskLeavesNoTruncatedFileAndKeepsTheOldOne) {
  ScratchFolder dir("bmpfull");
  const auto dib = MakeTrueColourDib(64, 48);
  const fs::path file = dir / "snap.bmp";
  WriteFile(file, "the picture saved before");
  for (std::size_t room : {std::size_t(0), std::size_t(10), std::size_t(14), std::size_t(5000)}) {
    WriteFn full = DiskWithRoom(room);
    int err = 0;
    EXPECT_FALSE(WriteBmpFile(file, Span(dib), &err, full)) << room;
    EXPECT_EQ(err, ENOSPC) << room;
    EXPECT_EQ(ReadAll(file), "the picture saved before") << room;
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1)
        << "a partial file was left behind at " << room;
  }
  // A writer that accepts nothing without saying why counts as a full disk too.
  int err = 0;
  EXPECT_FALSE(WriteBmpFile(dir / "other.bmp", Span(dib), &err,
                            [](int, const void*, std::size_t) -> ssize_t { return 0; }));
  EXPECT_EQ(err, ENOSPC);
  EXPECT_FALSE(fs::exists(dir / "other.bmp"));
}

TEST(SnapshotBmp, RealFullFileSystem) {
  ScratchFolder dir("bmptmpfs");
  fs::create_directory(dir / "small");
  TmpfsMount small(dir / "small", "size=256k");
  if (!small.ok()) GTEST_SKIP() << "mounting a tmpfs is not allowed here";
  const auto dib = MakeTrueColourDib(640, 480);  // 900 KB into 256 KB
  int err = 0;
  EXPECT_FALSE(WriteBmpFile(dir / "small/snapshot000.bmp", Span(dib), &err));
  EXPECT_EQ(err, ENOSPC);
  EXPECT_TRUE(DirIsEmpty(dir / "small"));
  // The same folder takes a frame that fits.
  EXPECT_TRUE(WriteBmpFile(dir / "small/snapshot001.bmp", Span(MakeTrueColourDib(64, 48))));
}

TEST(SnapshotBmp, ReplacingKeepsThePermissionsOfTheFileReplaced) {
  ScratchFolder dir("bmpmode");
  const fs::path file = dir / "snap.bmp";
  WriteFile(file, "old");
  ::chmod(file.c_str(), 0640);
  ASSERT_TRUE(WriteBmpFile(file, Span(MakeTrueColourDib(4, 4))));
  struct stat st {};
  ASSERT_EQ(::stat(file.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0640u);
  EXPECT_EQ(ReadAll(file).size(), 14u + 40u + 16u * 3u);
}

TEST(SnapshotDib, ConvertsEveryLayoutTheRendererHandsOver) {
  const auto expected = ExpectedTrueColourRgb(13, 7);
  for (bool topDown : {false, true})
    for (int bits : {24, 32}) {
      const auto img = DibToRgb(Span(MakeTrueColourDib(13, 7, bits, topDown)));
      ASSERT_TRUE(img) << bits;
      EXPECT_EQ(img->width, 13);
      EXPECT_EQ(img->height, 7);
      EXPECT_EQ(img->rgb, expected) << bits << " bits, top-down " << topDown;
    }

  const auto pal = DibToRgb(Span(MakePalettedDib(101, 37)));
  ASSERT_TRUE(pal);
  std::uint8_t r, g, b;
  PaletteColour(PaletteIndexAt(100, 36), r, g, b);
  const std::size_t last = (36u * 101u + 100u) * 3u;
  EXPECT_EQ(pal->rgb[last], r);
  EXPECT_EQ(pal->rgb[last + 1], g);
  EXPECT_EQ(pal->rgb[last + 2], b);

  // 16-bit 5-5-5: pure red and a mid grey.
  auto d16 = InfoHeader(2, 1, 16, 4);
  d16.insert(d16.end(), {0x00, 0x7C, 0x10, 0x42});
  const auto img16 = DibToRgb(Span(d16));
  ASSERT_TRUE(img16);
  EXPECT_EQ(img16->rgb, (std::vector<std::uint8_t>{255, 0, 0, 132, 132, 132}));
}

TEST(SnapshotDib, InconsistentBlocksAreNoFrame) {
  auto dib = MakeTrueColourDib(16, 16);
  EXPECT_TRUE(ParseDib(Span(dib)));
  auto truncated = dib;
  truncated.pop_back();
  EXPECT_FALSE(ParseDib(Span(truncated)));
  auto zeroWidth = dib;
  Put32(zeroWidth, 4, 0);
  EXPECT_FALSE(ParseDib(Span(zeroWidth)));
  auto badBits = dib;
  Put16(badBits, 14, 7);
  EXPECT_FALSE(ParseDib(Span(badBits)));
  auto compressed = dib;
  Put32(compressed, 16, 1);  // run-length encoded
  EXPECT_FALSE(ParseDib(Span(compressed)));
  auto huge = dib;
  Put32(huge, 4, 0x7FFFFFFF);  // would overflow a 32-bit size computation
  EXPECT_FALSE(ParseDib(Span(huge)));
  auto palette = MakePalettedDib(8, 8);
  Put32(palette, 32, 300);  // more colours than 8 bits can index
  EXPECT_FALSE(ParseDib(Span(palette)));
  // A bit-field header longer than 40 bytes but shorter than its three masks:
  // the masks would be read past the header (and here past the block).
  std::vector<std::uint8_t> shortMasks(44 + 4, 0);
  Put32(shortMasks, 0, 44);
  Put32(shortMasks, 4, 1);
  Put32(shortMasks, 8, 1);
  Put16(shortMasks, 12, 1);
  Put16(shortMasks, 14, 32);
  Put32(shortMasks, 16, 3);  // bit fields
  EXPECT_FALSE(ParseDib(Span(shortMasks)));
  std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[shortMasks.size()]);
  std::memcpy(exact.get(), shortMasks.data(), shortMasks.size());
  EXPECT_FALSE(DibToRgb({exact.get(), shortMasks.size()}));
}

TEST(SnapshotNames, CounterProposesConsecutiveZeroPaddedNames) {
  EXPECT_EQ(SnapshotFileName(0), "snapshot000.bmp");
  EXPECT_EQ(SnapshotFileName(42), "snapshot042.bmp");
  EXPECT_EQ(SnapshotFileName(1000), "snapshot1000.bmp");
  const int a = TakeSnapshotNumber();
  EXPECT_EQ(TakeSnapshotNumber(), a + 1);
  EXPECT_EQ(TakeSnapshotNumber(), a + 2);
}

TEST(SnapshotNames, DefaultExtensionOnlyWhenTheNameHasNone) {
  EXPECT_EQ(ApplyDefaultExtension("/tmp/shot", "bmp"), "/tmp/shot.bmp");
  EXPECT_EQ(ApplyDefaultExtension("/tmp/shot.bmp", "bmp"), "/tmp/shot.bmp");
  EXPECT_EQ(ApplyDefaultExtension("/tmp/shot.png", "bmp"), "/tmp/shot.png");
  EXPECT_EQ(ApplyDefaultExtension("/tmp.d/shot", "bmp"), "/tmp.d/shot.bmp");
  EXPECT_EQ(ApplyDefaultExtension("/tmp/.hidden", "bmp"), "/tmp/.hidden.bmp");
  EXPECT_EQ(ApplyDefaultExtension("/tmp/", "bmp"), "/tmp/");
}

TEST(FileSaveName, UpperCasesOnlyTheFileName) {
  // The extension is added only when the typed name lacks it.
  EXPECT_EQ(FileSaveDestination("/home/user/clips/trip.mov"), "/home/user/clips/TRIP.MOV");
  EXPECT_EQ(FileSaveDestination("/home/user/clips/trip.MoV"), "/home/user/clips/TRIP.MOV");
  EXPECT_EQ(FileSaveDestination("/home/user/clips/.mov"), "/home/user/clips/.MOV.MOV");
  EXPECT_EQ(FileSaveDestination("/home/user/clips/trip.mp4"), "/home/user/clips/TRIP.MP4.MOV");
  EXPECT_EQ(FileSaveDestination("/home/user/clips/backup"), "/home/user/clips/BACKUP.MOV");
  EXPECT_EQ(FileSaveDestination("relative"), "RELATIVE.MOV");
  EXPECT_EQ(FileSaveDestination("/media/Fahrt-ä/bäckup-été"), "/media/Fahrt-ä/BÄCKUP-ÉTÉ.MOV");
  EXPECT_EQ(FileSaveDestination("/data/行车记录/第1段"), "/data/行车记录/第1段.MOV");
  // Bytes that are not UTF-8 stay as they are; the rest is still upper-cased.
  EXPECT_EQ(FileSaveDestination(std::string("/d/a\xff") + "b"), std::string("/d/A\xff") + "B.MOV");
  // An overlong form is no letter: "\xC1\xA1" is not read as "a".
  EXPECT_EQ(FileSaveDestination("/d/x\xC1\xA1"), "/d/X\xC1\xA1.MOV");
}

// Frames with damaged headers or cut short: never a read outside the block (run
// under the sanitizer build), and any picture returned matches its block.
TEST(SnapshotDib, DamagedBlocksNeverReadPastTheirEnd) {
  std::uint32_t seed = 12345;
  auto next = [&] {
    seed = seed * 1664525u + 1013904223u;
    return seed >> 8;
  };
  const std::vector<std::vector<std::uint8_t>> originals = {
      MakeTrueColourDib(9, 5), MakeTrueColourDib(7, 3, 32, true), MakePalettedDib(10, 4)};
  int accepted = 0;
  for (int i = 0; i < 3000; ++i) {
    auto d = originals[i % originals.size()];
    for (int k = 0; k < 3; ++k) d[next() % 60] = std::uint8_t(next());
    if (next() % 4 == 0) d.resize(next() % d.size());
    // A copy of exactly the block's size, so a sanitizer sees any overrun.
    std::unique_ptr<std::uint8_t[]> exact(new std::uint8_t[d.size()]);
    std::memcpy(exact.get(), d.data(), d.size());
    const std::span<const std::uint8_t> block(exact.get(), d.size());
    const auto layout = ParseDib(block);
    const auto img = DibToRgb(block);
    ASSERT_EQ(bool(layout), bool(img));
    if (!img) continue;
    ++accepted;
    EXPECT_EQ(img->rgb.size(), std::size_t(img->width) * img->height * 3);
    EXPECT_LE(layout->pixelOffset + layout->stride * std::size_t(layout->height), d.size());
  }
  EXPECT_GT(accepted, 0);
}
