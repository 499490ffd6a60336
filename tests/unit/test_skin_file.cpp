#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/SkinFile.h"

using vantor::ParseSkinColour;
using vantor::ParseSkinFont;
using vantor::SkinColour;
using vantor::SkinFile;
using vantor::SkinFont;

TEST(SkinFile, ReadsObjectsColoursAndFonts) {
  const std::string text =
      "# comment\n"
      "; another comment\n"
      "\n"
      "[Dialog]\n"
      "background = #1B1f27\n"
      "  text=#a8acb7  \n"
      "font = 9\n"
      "[Digit]\n"
      "font = 11 bold Monospace\n"
      "[Empty]\n";
  std::string error;
  auto skin = SkinFile::Parse(text, &error);
  ASSERT_TRUE(skin) << error;
  EXPECT_EQ(skin->Colour("Dialog", "background"), (SkinColour{0x1b, 0x1f, 0x27}));
  EXPECT_EQ(skin->Colour("Dialog", "text"), (SkinColour{0xa8, 0xac, 0xb7}));
  EXPECT_EQ(skin->Font("Dialog"), (SkinFont{9, false, ""}));
  EXPECT_EQ(skin->Font("Digit"), (SkinFont{11, true, "Monospace"}));
  EXPECT_TRUE(skin->HasObject("Empty"));
  EXPECT_FALSE(skin->HasObject("List"));
  EXPECT_FALSE(skin->Colour("Digit", "background"));
  EXPECT_FALSE(skin->Colour("Nope", "text"));
}

TEST(SkinFile, AcceptsCrlfLineEndsAndAByteOrderMark) {
  auto skin = SkinFile::Parse("\xEF\xBB\xBF[Dialog]\r\nbackground = #010203\r\n");
  ASSERT_TRUE(skin);
  EXPECT_EQ(skin->Colour("Dialog", "background"), (SkinColour{1, 2, 3}));
}

TEST(SkinFile, RefusesMalformedTextAsAWhole) {
  const char* bad[] = {
      "background = #000000\n",            // key before any section
      "[Dialog]\nbackground #000000\n",    // no '='
      "[Dialog]\nbackground = #12345\n",   // short colour
      "[Dialog]\nbackground = #GG0000\n",  // not hex
      "[Dialog]\nbackground = 1b1f27\n",   // no '#'
      "[Dia log]\n",                       // bad object name
      "[Dialog\n",                         // unclosed section
      "[Dialog]\nfont = big\n",            // font without size
      "[Dialog]\nfont = 2\n",              // implausible size
      "[Dialog]\nfont = 9bold\n",          // size glued to a word
      "[Dialog]\nba ck = #000000\n",       // bad key
  };
  for (const char* text : bad) {
    std::string error;
    EXPECT_FALSE(SkinFile::Parse(text, &error)) << text;
    EXPECT_NE(error.find("line"), std::string::npos) << text;
  }
}

TEST(SkinFile, RefusesBinaryAndOversizedFiles) {
  EXPECT_FALSE(SkinFile::Parse(std::string("[Dialog]\0\x01\x02", 11)));
  std::string big = "[Dialog]\n";
  while (big.size() <= vantor::kMaxSkinFileSize) big += "# padding padding padding padding\n";
  EXPECT_FALSE(SkinFile::Parse(big));
}

TEST(SkinFile, LoadReportsMissingFilesAndReadsTheShippedSkin) {
  std::string error;
  EXPECT_FALSE(SkinFile::Load("/nonexistent/Skin/Vantor.smf", &error));
  EXPECT_FALSE(error.empty());
  EXPECT_FALSE(SkinFile::Load(std::filesystem::temp_directory_path().string()));  // a folder

  auto shipped = SkinFile::Load(std::string(VANTOR_SOURCE_DIR) + "/res/Skin/Vantor.smf", &error);
  ASSERT_TRUE(shipped) << error;
  for (const char* object : {"Dialog", "Label", "Digit", "Slider", "List"})
    EXPECT_TRUE(shipped->HasObject(object)) << object;
  // Dark: the dialog's background is darker than its text.
  const auto bg = shipped->Colour("Dialog", "background");
  const auto fg = shipped->Colour("Dialog", "text");
  ASSERT_TRUE(bg && fg);
  EXPECT_LT(bg->r + bg->g + bg->b, fg->r + fg->g + fg->b);
}

TEST(SkinFile, ColourAndFontSyntax) {
  EXPECT_EQ(ParseSkinColour(" #ffFF00 "), (SkinColour{255, 255, 0}));
  EXPECT_FALSE(ParseSkinColour("#fff"));
  EXPECT_FALSE(ParseSkinColour("#1234567"));
  EXPECT_EQ(ParseSkinFont("10 bold"), (SkinFont{10, true, ""}));
  EXPECT_EQ(ParseSkinFont("10 DejaVu Sans"), (SkinFont{10, false, "DejaVu Sans"}));
  EXPECT_EQ(ParseSkinFont("10 bolder"), (SkinFont{10, false, "bolder"}));
  EXPECT_FALSE(ParseSkinFont(""));
  EXPECT_FALSE(ParseSkinFont("-9"));
  EXPECT_FALSE(ParseSkinFont("100"));
}
