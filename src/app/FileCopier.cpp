#include "app/FileCopier.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "common/Messages.h"
#include "common/UniqueFd.h"

namespace vantor {

namespace {

std::string Reason(const char* english, int error) {
  std::string s = Tr(english);
  if (error != 0) {
    s += " (";
    s += std::strerror(error);
    s += ")";
  }
  return s;
}

}  // namespace

CopyResult CopyFileExclusive(const std::string& source, const std::string& destination,
                             const std::atomic<bool>* cancel,
                             const std::function<void(std::uint64_t, std::uint64_t)>& progress,
                             const CopyOptions& options) {
  CopyResult result;
  auto fail = [&](CopyStatus status, int error) {
    result.status = status;
    result.error = error;
    return result;
  };

  // Non-blocking so that a FIFO in the movie's place cannot hang the open;
  // it is refused below as not a regular file.
  UniqueFd in(::open(source.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (in.Get() < 0) return fail(CopyStatus::SourceUnreadable, errno);
  struct stat st {};
  if (::fstat(in.Get(), &st) != 0) return fail(CopyStatus::SourceUnreadable, errno);
  if (!S_ISREG(st.st_mode)) return fail(CopyStatus::SourceUnreadable, EISDIR);
  const std::uint64_t total = std::uint64_t(st.st_size);

  // O_EXCL: an existing file, or one that appears meanwhile, is never replaced.
  UniqueFd out(::open(destination.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
  if (out.Get() < 0) {
    const int e = errno;
    return fail(e == EEXIST ? CopyStatus::DestinationExists : CopyStatus::DestinationUnwritable, e);
  }

  // From here on the destination is ours: anything short of a whole copy goes.
  auto abandon = [&](CopyStatus status, int error) {
    out.Close();
    ::unlink(destination.c_str());
    return fail(status, error);
  };

  const std::size_t chunk = options.chunkSize ? options.chunkSize : (1 << 20);
  std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[chunk]);
  std::uint64_t done = 0;
  if (progress) progress(0, total);
  for (;;) {
    if (cancel && cancel->load(std::memory_order_relaxed)) return abandon(CopyStatus::Cancelled, 0);
    const ssize_t n = ::read(in.Get(), buffer.get(), chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      return abandon(CopyStatus::SourceUnreadable, errno);
    }
    if (n == 0) break;
    if (!WriteAll(out.Get(), buffer.get(), std::size_t(n), options.write))
      return abandon(CopyStatus::WriteFailed, errno);
    done += std::uint64_t(n);
    result.bytesCopied = done;
    if (progress) progress(done, total > done ? total : done);
  }

  // The copy keeps the movie's time stamps, as a copy in a file manager does.
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  ::futimens(out.Get(), times);
  if (!out.Close()) return abandon(CopyStatus::WriteFailed, errno);
  return result;
}

std::string CopyFailureMessage(const CopyResult& result, const std::string& source,
                               const std::string& destination) {
  std::string reason;
  std::string path = destination;
  switch (result.status) {
    case CopyStatus::Ok:
    case CopyStatus::Cancelled:
      return {};
    case CopyStatus::SourceUnreadable:
      reason = Reason("The movie file cannot be read.", result.error);
      path = source;
      break;
    case CopyStatus::DestinationExists:
      reason = Tr("A file of that name already exists; it has been left as it was.");
      break;
    case CopyStatus::DestinationUnwritable:
      reason = Reason("The file cannot be created in that folder.", result.error);
      break;
    case CopyStatus::WriteFailed:
      reason = result.error == ENOSPC ? Tr("The disk is full.")
                                      : Reason("The file cannot be written.", result.error);
      break;
  }
  return Tr("The movie could not be copied.") + "\n" + path + "\n" + reason;
}

CFileCopyJob::CFileCopyJob(std::string source, std::string destination, CopyOptions options)
    : m_source(std::move(source)),
      m_destination(std::move(destination)),
      m_options(std::move(options)) {}

CFileCopyJob::~CFileCopyJob() {
  Cancel();
  if (m_thread.joinable()) m_thread.join();
}

void CFileCopyJob::Start() {
  if (m_thread.joinable() || IsFinished()) return;
  m_thread = std::thread([this] {
    m_result = CopyFileExclusive(
        m_source, m_destination, &m_cancel,
        [this](std::uint64_t done, std::uint64_t total) {
          m_total.store(total, std::memory_order_relaxed);
          m_done.store(done, std::memory_order_relaxed);
        },
        m_options);
    m_finished.store(true, std::memory_order_release);
  });
}

CopyResult CFileCopyJob::Wait() {
  if (m_thread.joinable()) m_thread.join();
  return m_result;
}

}  // namespace vantor
