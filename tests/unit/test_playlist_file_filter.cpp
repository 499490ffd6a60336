#include <gtest/gtest.h>

#include "widgets/FileFilter.h"

using vantor::FilterToWildcard;

TEST(FileFilter, TranslatesToTheChoosersWildcard) {
  EXPECT_EQ(FilterToWildcard("Movie File(*.mov)|*.mov|All File(*.*)|*.*||"),
            "Movie File(*.mov)|*.[mM][oO][vV]|All File(*.*)|*");
  EXPECT_EQ(FilterToWildcard(vantor::kMovieFileFilter),
            "Movie File(*.mov;*.mp4)|*.[mM][oO][vV];*.[mM][pP]4|All File(*.*)|*");
  // Without the closing bars, and with spaces around patterns.
  EXPECT_EQ(FilterToWildcard("Logs|GPS*.txt ; *.log"),
            "Logs|[gG][pP][sS]*.[tT][xX][tT];*.[lL][oO][gG]");
  // A bracket expression of the caller is kept.
  EXPECT_EQ(FilterToWildcard("Clips|clip[0-9].avi||"), "Clips|[cC][lL][iI][pP][0-9].[aA][vV][iI]");
}

TEST(FileFilter, MalformedFiltersLoseOnlyTheBrokenPart) {
  EXPECT_EQ(FilterToWildcard(""), "");
  EXPECT_EQ(FilterToWildcard("||"), "");
  EXPECT_EQ(FilterToWildcard("Movie File(*.mov)"), "") << "a description without a pattern";
  EXPECT_EQ(FilterToWildcard("A|*.a|B"), "A|*.[aA]");
  EXPECT_EQ(FilterToWildcard("A| ; |B|*.b||ignored|*.c"), "B|*.[bB]")
      << "empty patterns, text after ||";
}

TEST(FileFilter, JoinAndSplitPaths) {
  EXPECT_EQ(vantor::JoinFolderAndName("/media/cam", "AMBA0001.MOV"), "/media/cam/AMBA0001.MOV");
  EXPECT_EQ(vantor::JoinFolderAndName("/", "a.mov"), "/a.mov")
      << "no doubled separator at the root";
  EXPECT_EQ(vantor::JoinFolderAndName("/media/", "a.mov"), "/media/a.mov");
  EXPECT_EQ(vantor::JoinFolderAndName("", "a.mov"), "a.mov");
  using P = std::pair<std::string, std::string>;
  EXPECT_EQ(vantor::SplitFolderAndName("/media/cam/a.mov"), P("/media/cam", "a.mov"));
  EXPECT_EQ(vantor::SplitFolderAndName("/a.mov"), P("/", "a.mov"));
  EXPECT_EQ(vantor::SplitFolderAndName("a.mov"), P("", "a.mov"));
}
