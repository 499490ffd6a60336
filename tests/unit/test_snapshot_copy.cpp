#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "SnapshotTestUtil.h"
#include "app/FileCopier.h"

using namespace vantor;
using namespace vantor::test;

namespace {

// A movie-sized stand-in: not a multiple of any chunk size, no repeating pattern.
std::string MakeMovieBytes(std::size_t n) {
  std::string s(n, '\0');
  std::uint32_t x = 2463534242u;
  for (auto& c : s) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = char(x);
  }
  return s;
}

std::string Sha256(const fs::path& p) {
  const std::string out = RunCapture("sha256sum '" + p.string() + "'");
  return out.substr(0, 64);
}

}  // namespace

TEST(FileCopy, CopyIsByteIdenticalWithProgressToTheEnd) {
  ScratchFolder dir("copy");
  const fs::path src = dir / "AMBA0001.MOV", dst = dir / "BACKUP.MOV.MOV";
  WriteFile(src, MakeMovieBytes(3 * 65536 + 12345));
  std::vector<std::uint64_t> seen;
  std::uint64_t lastTotal = 0;
  CopyOptions options;
  options.chunkSize = 65536;
  const auto r = CopyFileExclusive(
      src, dst, nullptr,
      [&](std::uint64_t done, std::uint64_t total) {
        seen.push_back(done);
        lastTotal = total;
      },
      options);
  ASSERT_EQ(r.status, CopyStatus::Ok);
  EXPECT_EQ(r.bytesCopied, fs::file_size(src));
  const std::string sum = Sha256(src);
  ASSERT_EQ(sum.size(), 64u);
  EXPECT_EQ(Sha256(dst), sum);
  EXPECT_TRUE(std::is_sorted(seen.begin(), seen.end()));
  EXPECT_EQ(seen.size(), 5u);  // the start, then four chunks
  EXPECT_EQ(seen.back(), fs::file_size(src));
  EXPECT_EQ(lastTotal, fs::file_size(src));
  // The copy carries the movie's time stamp.
  EXPECT_EQ(fs::last_write_time(dst), fs::last_write_time(src));
}

TEST(FileCopy, NeverOverwritesAnExistingFile) {
  ScratchFolder dir("copyexists");
  const fs::path src = dir / "a.mov", dst = dir / "B.MOV";
  WriteFile(src, "movie");
  WriteFile(dst, "what the user had");
  const auto r = CopyFileExclusive(src, dst);
  EXPECT_EQ(r.status, CopyStatus::DestinationExists);
  EXPECT_EQ(r.error, EEXIST);
  EXPECT_EQ(ReadAll(dst), "what the user had");
  const std::string msg = CopyFailureMessage(r, src, dst);
  EXPECT_NE(msg.find(dst.string()), std::string::npos);
  EXPECT_NE(msg.find("already exists"), std::string::npos);
}

TEST(FileCopy, MissingOrUnreadableSourceCreatesNothing) {
  ScratchFolder dir("copysrc");
  const fs::path dst = dir / "OUT.MOV";
  auto r = CopyFileExclusive(dir / "gone.mov", dst);
  EXPECT_EQ(r.status, CopyStatus::SourceUnreadable);
  EXPECT_EQ(r.error, ENOENT);
  EXPECT_FALSE(fs::exists(dst));
  EXPECT_NE(CopyFailureMessage(r, (dir / "gone.mov").string(), dst).find("gone.mov"),
            std::string::npos);

  fs::create_directory(dir / "folder");
  r = CopyFileExclusive(dir / "folder", dst);
  EXPECT_EQ(r.status, CopyStatus::SourceUnreadable);
  EXPECT_FALSE(fs::exists(dst));
}

TEST(FileCopy, UnwritableFolderIsReported) {
  ScratchFolder dir("copyro");
  UnwritableDir locked(dir);
  if (!locked.ok()) GTEST_SKIP() << "cannot make a read-only folder here";
  WriteFile(dir / "a.mov", "movie");
  const auto r = CopyFileExclusive(dir / "a.mov", locked.path() / "A.MOV");
  EXPECT_EQ(r.status, CopyStatus::DestinationUnwritable);
  EXPECT_NE(r.error, 0);
  EXPECT_FALSE(CopyFailureMessage(r, "a", "b").empty());
}

TEST(FileCopy, DiskFillingUpRemovesThePartialCopy) {
  ScratchFolder dir("copyfull");
  const fs::path src = dir / "a.mov", dst = dir / "A.MOV";
  WriteFile(src, MakeMovieBytes(300000));
  CopyOptions options;
  options.chunkSize = 65536;
  options.write = DiskWithRoom(100000);
  const auto r = CopyFileExclusive(src, dst, nullptr, {}, options);
  EXPECT_EQ(r.status, CopyStatus::WriteFailed);
  EXPECT_EQ(r.error, ENOSPC);
  EXPECT_FALSE(fs::exists(dst));
  EXPECT_NE(CopyFailureMessage(r, src, dst).find("The disk is full."), std::string::npos);
}

TEST(FileCopy, RealFullFileSystem) {
  ScratchFolder dir("copytmpfs");
  fs::create_directory(dir / "small");
  TmpfsMount small(dir / "small", "size=256k");
  if (!small.ok()) GTEST_SKIP() << "mounting a tmpfs is not allowed here";
  WriteFile(dir / "a.mov", MakeMovieBytes(1 << 20));
  const auto r = CopyFileExclusive(dir / "a.mov", dir / "small/A.MOV");
  EXPECT_EQ(r.status, CopyStatus::WriteFailed);
  EXPECT_EQ(r.error, ENOSPC);
  EXPECT_TRUE(fs::is_empty(dir / "small"));
}

TEST(FileCopy, CancelBetweenChunksRemovesThePartialCopy) {
  ScratchFolder dir("copycancel");
  const fs::path src = dir / "a.mov", dst = dir / "A.MOV";
  WriteFile(src, MakeMovieBytes(10 * 4096));
  std::atomic<bool> cancel{false};
  CopyOptions options;
  options.chunkSize = 4096;
  const auto r = CopyFileExclusive(
      src, dst, &cancel,
      [&](std::uint64_t done, std::uint64_t) {
        if (done >= 3 * 4096) cancel = true;
      },
      options);
  EXPECT_EQ(r.status, CopyStatus::Cancelled);
  EXPECT_EQ(r.bytesCopied, 3u * 4096u);
  EXPECT_FALSE(fs::exists(dst));
  EXPECT_TRUE(CopyFailureMessage(r, src, dst).empty());
}

TEST(FileCopyJob, RunsOnAWorkerAndCanBeCancelled) {
  ScratchFolder dir("copyjob");
  const fs::path src = dir / "a.mov";
  WriteFile(src, MakeMovieBytes(64 * 1024));

  {  // runs to the end
    CFileCopyJob job(src, dir / "DONE.MOV", {16 * 1024, {}});
    job.Start();
    const auto r = job.Wait();
    EXPECT_TRUE(job.IsFinished());
    EXPECT_EQ(r.status, CopyStatus::Ok);
    EXPECT_EQ(job.BytesCopied(), 64u * 1024u);
    EXPECT_EQ(job.BytesTotal(), 64u * 1024u);
    EXPECT_EQ(ReadAll(dir / "DONE.MOV"), ReadAll(src));
  }

  // A slow disk: the copy is still going when the user cancels.
  std::atomic<int> chunks{0};
  CopyOptions slow;
  slow.chunkSize = 1024;
  slow.write = [&](int fd, const void* buf, std::size_t n) -> ssize_t {
    ++chunks;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return ::write(fd, buf, n);
  };
  {
    CFileCopyJob job(src, dir / "CANCEL.MOV", slow);
    job.Start();
    while (chunks < 3) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_FALSE(job.IsFinished());
    EXPECT_GT(job.BytesCopied(), 0u);
    job.Cancel();
    EXPECT_EQ(job.Wait().status, CopyStatus::Cancelled);
    EXPECT_FALSE(fs::exists(dir / "CANCEL.MOV"));
  }
  {  // destroyed while copying (the window closes): cancelled and cleaned up
    chunks = 0;
    auto job = std::make_unique<CFileCopyJob>(src, dir / "CLOSED.MOV", slow);
    job->Start();
    while (chunks < 2) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    job.reset();
    EXPECT_FALSE(fs::exists(dir / "CLOSED.MOV"));
  }
}
