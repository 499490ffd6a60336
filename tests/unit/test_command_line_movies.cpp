// Movies named on the command line: absolute paths in their order, options
// of the toolkit left out.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/CommandLine.h"

namespace {

std::vector<std::string> Movies(std::vector<std::string> args, const std::string& cwd) {
  args.insert(args.begin(), "vantor");
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  return vantor::MoviePathsFromArguments(static_cast<int>(args.size()), argv.data(), cwd);
}

}  // namespace

TEST(CommandLineMovies, RelativePathsAreMadeAbsoluteInTheirOrder) {
  EXPECT_EQ(
      Movies({"b.MOV", "/card/a.mov", "./DCIM//100MEDIA/./AMBA0001.MOV", "../x/c.mp4"}, "/home/me"),
      (std::vector<std::string>{"/home/me/b.MOV", "/card/a.mov",
                                "/home/me/DCIM/100MEDIA/AMBA0001.MOV", "/home/me/../x/c.mp4"}));
  EXPECT_EQ(Movies({"a.mov"}, "/"), (std::vector<std::string>{"/a.mov"}));
  // A folder keeps its final "/", so the playlist still refuses it.
  EXPECT_EQ(Movies({"clips/"}, "/m"), (std::vector<std::string>{"/m/clips/"}));
}

TEST(CommandLineMovies, OptionsAreNotMoviesUnlessAfterDoubleDash) {
  EXPECT_TRUE(Movies({}, "/m").empty());
  EXPECT_EQ(Movies({"--display=:1", "a.mov", "", "-v", "--", "-odd name.mov"}, "/m"),
            (std::vector<std::string>{"/m/a.mov", "/m/-odd name.mov"}));
  // Bytes that are not UTF-8 pass through untouched.
  EXPECT_EQ(Movies({"caf\xe9.mov"}, "/m"), (std::vector<std::string>{"/m/caf\xe9.mov"}));
}
