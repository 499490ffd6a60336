#include <gtest/gtest.h>

#include <array>
#include <cstdint>

#include "common/Ascii.h"
#include "common/DibHeader.h"

namespace {

TEST(AsciiNoCase, FoldsOnlyAsciiLetters) {
  EXPECT_TRUE(vantor::EqualsNoCase("AMBA0001.MOV", "amba0001.mov"));
  EXPECT_TRUE(vantor::EqualsNoCase("", ""));
  EXPECT_FALSE(vantor::EqualsNoCase("mov", "mo"));
  EXPECT_FALSE(vantor::EqualsNoCase("[", "{"));  // 0x5B and 0x7B differ by 0x20 too
  // UTF-8 bytes are compared as they are: no locale folds "Ä" into "ä".
  EXPECT_FALSE(vantor::EqualsNoCase("\xC3\x84", "\xC3\xA4"));
  EXPECT_TRUE(vantor::EndsWithNoCase("/card/DCIM/A.Mp4", ".mp4"));
  EXPECT_FALSE(vantor::EndsWithNoCase("mp4", ".mp4"));
}

TEST(DibInfoHeader, FieldsAreLittleEndianAtTheirOffsets) {
  std::array<std::uint8_t, vantor::kDibInfoHeaderSize> h;
  h.fill(0xAA);
  vantor::WriteDibInfoHeader(h.data(), 0x0102, -3, 24, 0x0A0B0C0D);
  const std::array<std::uint8_t, 40> expected = {
      40,   0,    0,    0,    0x02, 0x01, 0, 0, 0xFD, 0xFF, 0xFF, 0xFF, 1, 0, 24, 0, 0, 0, 0, 0,
      0x0D, 0x0C, 0x0B, 0x0A, 0,    0,    0, 0, 0,    0,    0,    0,    0, 0, 0,  0, 0, 0, 0, 0};
  EXPECT_EQ(h, expected);
}

}  // namespace
