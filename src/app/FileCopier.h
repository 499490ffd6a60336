#pragma once
// Copying the playing movie elsewhere. Dash-cam movies run to gigabytes, so the
// copy goes in chunks on a worker thread that reports progress and can be
// cancelled; it never replaces an existing file and never leaves a partial copy.
#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

#include "app/Snapshot.h"

namespace vantor {

enum class CopyStatus {
  Ok,
  Cancelled,
  SourceUnreadable,   // missing, not a regular file, or a read failed
  DestinationExists,  // never overwritten
  DestinationUnwritable,
  WriteFailed,  // disk full, I/O error
};

struct CopyResult {
  CopyStatus status = CopyStatus::Ok;
  int error = 0;  // errno of the failing call
  std::uint64_t bytesCopied = 0;
};

struct CopyOptions {
  std::size_t chunkSize = 1 << 20;
  WriteFn write;  // empty: write(2)
};

// Copies `source` to `destination`, which must not exist yet (it is opened
// exclusively). `cancel` is looked at between chunks; `progress(done, total)` is
// called after each chunk from the copying thread. A failed or cancelled copy
// removes what it wrote.
CopyResult CopyFileExclusive(const std::string& source, const std::string& destination,
                             const std::atomic<bool>* cancel = nullptr,
                             const std::function<void(std::uint64_t, std::uint64_t)>& progress = {},
                             const CopyOptions& options = {});

// The user-visible explanation of a failed copy (translated); empty for Ok and
// Cancelled, which need no message.
std::string CopyFailureMessage(const CopyResult& result, const std::string& source,
                               const std::string& destination);

// One copy on a worker thread. Progress is kept in atomics so the GUI thread can
// poll it from a timer without touching the worker.
class CFileCopyJob {
 public:
  CFileCopyJob(std::string source, std::string destination, CopyOptions options = {});
  // Cancels a copy still running and waits for it, so a partial file is removed.
  ~CFileCopyJob();
  CFileCopyJob(const CFileCopyJob&) = delete;
  CFileCopyJob& operator=(const CFileCopyJob&) = delete;

  void Start();
  void Cancel() { m_cancel = true; }
  bool IsFinished() const { return m_finished.load(std::memory_order_acquire); }
  std::uint64_t BytesCopied() const { return m_done.load(std::memory_order_relaxed); }
  std::uint64_t BytesTotal() const { return m_total.load(std::memory_order_relaxed); }
  // Waits for the worker; the outcome of the copy.
  CopyResult Wait();

  const std::string& Source() const { return m_source; }
  const std::string& Destination() const { return m_destination; }

 private:
  std::string m_source;
  std::string m_destination;
  CopyOptions m_options;
  std::atomic<bool> m_cancel{false};
  std::atomic<bool> m_finished{false};
  std::atomic<std::uint64_t> m_done{0};
  std::atomic<std::uint64_t> m_total{0};
  CopyResult m_result;
  std::thread m_thread;
};

}  // namespace vantor
