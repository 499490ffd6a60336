// Options of the command line other than --export: help, version, and the
// refusal of anything that looks like an option but is none.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "common/Messages.h"

namespace {

struct Outcome {
  bool handled = false;
  int code = -1;
  std::string out, err;
};

std::string Slurp(std::FILE* f) {
  std::string s;
  std::rewind(f);
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
  std::fclose(f);
  return s;
}

Outcome RunVantor(std::vector<std::string> args) {
  args.insert(args.begin(), "vantor");
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  Outcome r;
  std::FILE* o = std::tmpfile();
  std::FILE* e = std::tmpfile();
  r.handled = vantor::RunCommandLine(static_cast<int>(argv.size()), argv.data(), r.code, o, e);
  r.out = Slurp(o);
  r.err = Slurp(e);
  return r;
}

int Lines(const std::string& s) {
  int n = 0;
  for (char c : s) n += c == '\n';
  return n;
}

}  // namespace

TEST(CommandLine, HelpAndVersionWhereverTheyStand) {
  for (const auto& args :
       std::vector<std::vector<std::string>>{{"--help"}, {"-h"}, {"a.MOV", "--help"}}) {
    const Outcome r = RunVantor(args);
    EXPECT_TRUE(r.handled);
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.rfind("Usage: vantor", 0), 0u) << r.out;
    EXPECT_TRUE(r.err.empty());
  }
  const Outcome v = RunVantor({"--version"});
  EXPECT_TRUE(v.handled);
  EXPECT_EQ(v.code, 0);
  EXPECT_EQ(v.out, std::string("vantor ") + VANTOR_VERSION + "\n");
}

TEST(CommandLine, UnknownOptionsAreOneLineAndStatusTwo) {
  vantor::ResetMessageLocale();
  for (const auto& args : std::vector<std::vector<std::string>>{{"--bogus"},
                                                                {"-x"},
                                                                {"-"},
                                                                {"--versions"},
                                                                {"--help=1"},
                                                                {"--fullscreen", "--"},
                                                                {"a.MOV", "--fullscreen"},
                                                                {"a.MOV", "-v", "b.MOV"}}) {
    const Outcome r = RunVantor(args);
    EXPECT_TRUE(r.handled);
    EXPECT_EQ(r.code, 2);
    EXPECT_TRUE(r.out.empty());
    EXPECT_EQ(Lines(r.err), 1) << r.err;
    EXPECT_EQ(r.err.rfind("vantor: ", 0), 0u) << r.err;
    // The message names the option that was refused.
    std::string bad;
    for (const auto& a : args)
      if (a[0] == '-') {
        bad = a;
        break;
      }
    EXPECT_NE(r.err.find("'" + bad + "'"), std::string::npos) << r.err;
  }
}

TEST(CommandLine, MoviesAreLeftToTheWindow) {
  for (const auto& args : std::vector<std::vector<std::string>>{
           {},
           {"a.MOV"},
           {"/media/card/AMBA0001.MOV", "./-odd name.mp4", "b-c.mp4"},
           {"--"},
           {"--", "-x.mov", "--help"}}) {
    const Outcome r = RunVantor(args);
    EXPECT_FALSE(r.handled);
    EXPECT_TRUE(r.out.empty() && r.err.empty());
  }
}

TEST(CommandLine, TheProgramRefusesAnUnknownOptionWithoutADisplay) {
  const std::string exe = std::string(VANTOR_BINARY_DIR) + "/vantor";
  if (!std::filesystem::exists(exe)) GTEST_SKIP() << "vantor is not built";
  // Without a display the window could not start: status 2 shows the option
  // was refused before any GUI toolkit was touched.
  const std::string cmd =
      "env -u DISPLAY -u WAYLAND_DISPLAY LANG=C LC_ALL=C '" + exe + "' --no-such-option 2>&1";
  FILE* p = ::popen(cmd.c_str(), "r");
  ASSERT_NE(p, nullptr);
  std::string text;
  char buf[512];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, p)) > 0) text.append(buf, n);
  const int status = ::pclose(p);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 2);
  EXPECT_EQ(text, "vantor: unknown option '--no-such-option' (see vantor --help)\n");
}
