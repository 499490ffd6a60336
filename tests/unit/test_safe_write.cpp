// The one writer of whole files and the one UTF-8 decoder: what each kind of
// target becomes, and that nothing the user had is lost or left lying around.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <chrono>
#include <future>
#include <string>

#include "SnapshotTestUtil.h"
#include "common/SafeWrite.h"
#include "common/Utf8.h"

using namespace vantor;
using namespace vantor::test;

namespace {

struct stat Stat(const fs::path& p) {
  struct stat st {};
  EXPECT_EQ(::stat(p.c_str(), &st), 0) << p;
  return st;
}

std::size_t Entries(const fs::path& dir) {
  return static_cast<std::size_t>(
      std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

}  // namespace

TEST(SafeWrite, NewFileGetsTheUsualModeAndReplacingKeepsModeAndOwner) {
  ScratchFolder dir("sw_mode");
  const mode_t mask = ::umask(022);
  EXPECT_EQ(WriteFileSafely(dir / "new.csv", "one\n"), 0);
  EXPECT_EQ(Stat(dir / "new.csv").st_mode & 07777, 0644u);
  ::umask(mask);

  const fs::path priv = dir / "priv.csv";
  WriteFile(priv, "x");
  ::chmod(priv.c_str(), 0600);
  const bool root = ::geteuid() == 0;
  if (root) {
    ASSERT_EQ(::chown(priv.c_str(), 65534, 65534), 0);
  }
  EXPECT_EQ(WriteFileSafely(priv, {"a private ", "history\n"}), 0);
  EXPECT_EQ(ReadAll(priv), "a private history\n");
  EXPECT_EQ(Stat(priv).st_mode & 07777, 0600u);
  if (root) {
    EXPECT_EQ(Stat(priv).st_uid, 65534u);
  }
  EXPECT_EQ(Entries(dir.path()), 2u) << "a temporary file was left behind";
}

TEST(SafeWrite, SymbolicLinksAreFollowedAndHardLinksKept) {
  ScratchFolder dir("sw_links");
  fs::create_directory(dir / "real");
  WriteFile(dir / "real/target.csv", "old");
  fs::create_symlink("real/target.csv", dir / "link.csv");
  fs::create_symlink("link.csv", dir / "link2.csv");
  EXPECT_EQ(WriteFileSafely(dir / "link2.csv", "new"), 0);
  EXPECT_TRUE(fs::is_symlink(dir / "link.csv"));
  EXPECT_TRUE(fs::is_symlink(dir / "link2.csv"));
  EXPECT_EQ(ReadAll(dir / "real/target.csv"), "new");
  // A link to a file not there yet creates the file where the link points.
  fs::create_symlink("real/later.csv", dir / "dangling.csv");
  EXPECT_EQ(WriteFileSafely(dir / "dangling.csv", "made"), 0);
  EXPECT_TRUE(fs::is_symlink(dir / "dangling.csv"));
  EXPECT_EQ(ReadAll(dir / "real/later.csv"), "made");
  EXPECT_EQ(Entries(dir.path()), 4u);
  EXPECT_EQ(Entries(dir / "real"), 2u);

  fs::create_hard_link(dir / "real/target.csv", dir / "hard.csv");
  EXPECT_EQ(WriteFileSafely(dir / "hard.csv", "seen by both names"), 0);
  EXPECT_EQ(ReadAll(dir / "real/target.csv"), "seen by both names");
  EXPECT_EQ(Stat(dir / "hard.csv").st_nlink, 2u);

  fs::create_symlink("loop.csv", dir / "loop.csv");
  EXPECT_EQ(WriteFileSafely(dir / "loop.csv", "x"), ELOOP);
}

TEST(SafeWrite, FoldersReadOnlyFilesAndFullDisksLeaveEverythingAsItWas) {
  ScratchFolder dir("sw_refuse");
  EXPECT_EQ(WriteFileSafely(dir.path(), "x"), EISDIR);
  EXPECT_EQ(WriteFileSafely(dir / "no/such/folder.csv", "x"), ENOENT);

  const fs::path file = dir / "kept.csv";
  WriteFile(file, "what was there");
  for (std::size_t room : {std::size_t(0), std::size_t(5)}) {
    SafeWriteOptions full;
    full.write = DiskWithRoom(room);
    EXPECT_EQ(WriteFileSafely(file, "a much longer replacement", full), ENOSPC) << room;
    EXPECT_EQ(ReadAll(file), "what was there");
    EXPECT_EQ(Entries(dir.path()), 1u) << room;
  }
  if (::geteuid() != 0) {
    ::chmod(file.c_str(), 0444);
    EXPECT_EQ(WriteFileSafely(file, "x"), EACCES);
    EXPECT_EQ(ReadAll(file), "what was there");
  }
}

TEST(SafeWrite, AnyValidNameWorks) {
  ScratchFolder dir("sw_long");
  const fs::path longest = dir / (std::string(251, 'n') + ".csv");  // 255 bytes
  EXPECT_EQ(WriteFileSafely(longest, "fits"), 0);
  EXPECT_EQ(ReadAll(longest), "fits");
  EXPECT_EQ(WriteFileSafely(longest, "again"), 0);
  EXPECT_EQ(ReadAll(longest), "again");
  EXPECT_EQ(Entries(dir.path()), 1u);
}

TEST(SafeWrite, FifosAndDevicesAreWrittenDirectly) {
  ScratchFolder dir("sw_special");
  const fs::path fifo = dir / "fifo";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  // No reader: the window's writers refuse at once rather than hang.
  EXPECT_EQ(WriteFileSafely(fifo, "x"), ENXIO);
  auto reader = std::async(std::launch::async, [&] { return ReadAll(fifo); });
  SafeWriteOptions wait;
  wait.waitForFifoReader = true;
  EXPECT_EQ(WriteFileSafely(fifo, "through the pipe", wait), 0);
  ASSERT_EQ(reader.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_EQ(reader.get(), "through the pipe");
  EXPECT_TRUE(S_ISFIFO(Stat(fifo).st_mode));

  // Device nodes of our own, so a fault here cannot harm the real ones.
  const fs::path null = dir / "null", full = dir / "full";
  if (::mknod(null.c_str(), S_IFCHR | 0666, makedev(1, 3)) != 0 ||
      ::mknod(full.c_str(), S_IFCHR | 0666, makedev(1, 7)) != 0)
    GTEST_SKIP() << "cannot make device nodes here";
  EXPECT_EQ(WriteFileSafely(null, "gone"), 0);
  EXPECT_EQ(WriteFileSafely(full, "no room"), ENOSPC);
  EXPECT_TRUE(S_ISCHR(Stat(null).st_mode));
  EXPECT_TRUE(S_ISCHR(Stat(full).st_mode));
  EXPECT_EQ(Entries(dir.path()), 3u);
}

TEST(Utf8, OnlyShortestFormsOfScalarValuesDecode) {
  char32_t cp = 0;
  EXPECT_EQ(DecodeUtf8("\xC3\xA9", 0, cp), 2u);
  EXPECT_EQ(cp, U'\u00E9');
  EXPECT_EQ(DecodeUtf8("\xF0\x9F\x9A\x97", 0, cp), 4u);
  EXPECT_EQ(cp, U'\U0001F697');
  for (const char* bad : {"\xC0\xAF", "\xC1\xA1", "\xE0\x80\xAF", "\xF0\x80\x80\xAF",  // overlong
                          "\xED\xA0\x80", "\xED\xBF\xBF",                              // surrogates
                          "\xF4\x90\x80\x80", "\xF8\x88\x80\x80\x80",  // past U+10FFFF
                          "\xC3", "\xE2\x82", "\x80", "\xFF"}) {       // cut short, stray
    EXPECT_EQ(DecodeUtf8(bad, 0, cp), 0u) << bad;
    EXPECT_FALSE(IsValidUtf8(bad)) << bad;
  }
  EXPECT_TRUE(IsValidUtf8("plain, \xE8\xA1\x8C\xE8\xBD\xA6 and \xF4\x8F\xBF\xBF"));
  EXPECT_EQ(ToValidUtf8("a\xFF"
                        "b\xC3"),
            "a\xEF\xBF\xBD"
            "b\xEF\xBF\xBD");
  EXPECT_EQ(ToValidUtf8("\xED\xA0\x80"), "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(ToValidUtf8("\xC3\xA9t\xC3\xA9"), "\xC3\xA9t\xC3\xA9");
}
