#include "common/SafeWrite.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <optional>
#include <vector>

#include "common/UniqueFd.h"

namespace vantor {
namespace {

struct ErrnoKeeper {
  int saved = errno;
  ~ErrnoKeeper() { errno = saved; }
};

// Holds back the signals that end a program at a terminal or under a service
// manager while the temporary file has a name: a signal then arrives after
// the name is gone again (renamed over the target or removed).
class TerminationSignalsHeld {
 public:
  TerminationSignalsHeld() {
    sigset_t set;
    sigemptyset(&set);
    for (int sig : {SIGINT, SIGTERM, SIGHUP, SIGQUIT}) sigaddset(&set, sig);
    m_ok = ::pthread_sigmask(SIG_BLOCK, &set, &m_old) == 0;
  }
  ~TerminationSignalsHeld() {
    if (m_ok) ::pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
  }

 private:
  sigset_t m_old{};
  bool m_ok = false;
};

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// A name for the moment between linking the finished file into its folder and
// renaming it over the target. Kept short so that a target name of the full
// 255 bytes still works.
std::string TemporaryName(const std::string& dir) {
  static std::atomic<unsigned> counter{0};
  const unsigned n = (static_cast<unsigned>(::getpid()) * 2654435761u) ^
                     (counter.fetch_add(1) * 40503u) ^ static_cast<unsigned>(::time(nullptr));
  char name[16];
  std::snprintf(name, sizeof name, ".vt%06x", n & 0xFFFFFF);
  return (dir == "/" ? std::string() : dir) + "/" + name;
}

int WriteParts(int fd, std::initializer_list<std::string_view> parts, const WriteFn& write) {
  for (std::string_view part : parts)
    if (!WriteAll(fd, part.data(), part.size(), write)) return errno;
  return 0;
}

std::size_t TotalSize(std::initializer_list<std::string_view> parts) {
  std::size_t total = 0;
  for (std::string_view part : parts) total += part.size();
  return total;
}

int WriteDirectly(int fd, std::initializer_list<std::string_view> parts, const WriteFn& write) {
  return WriteParts(fd, parts, write);
}

int WriteSpecialFile(const std::string& path, const struct stat& st,
                     std::initializer_list<std::string_view> parts,
                     const SafeWriteOptions& options) {
  const bool dontWait = S_ISFIFO(st.st_mode) && !options.waitForFifoReader;
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | (dontWait ? O_NONBLOCK : 0)));
  if (!fd) return errno;
  if (dontWait) ::fcntl(fd.Get(), F_SETFL, ::fcntl(fd.Get(), F_GETFL) & ~O_NONBLOCK);
  if (const int e = WriteParts(fd.Get(), parts, options.write)) return e;
  return fd.Close() ? 0 : errno;
}

// The other names of a hard-linked file must keep seeing it, so it is
// rewritten where it is.
int RewriteInPlace(const std::string& path, std::initializer_list<std::string_view> parts,
                   const SafeWriteOptions& options) {
  UniqueFd fd(::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC));
  if (!fd) return errno;
  const auto total = static_cast<off_t>(TotalSize(parts));
  if (total > 0 && ::fallocate(fd.Get(), FALLOC_FL_KEEP_SIZE, 0, total) != 0 &&
      errno != EOPNOTSUPP && errno != ENOSYS)
    return errno;
  if (const int e = WriteParts(fd.Get(), parts, options.write)) return e;
  if (::ftruncate(fd.Get(), total) != 0 || ::fsync(fd.Get()) != 0) return errno;
  return fd.Close() ? 0 : errno;
}

// Gives the unnamed file `fd` the name `temp` in its folder.
bool LinkUnnamed(int fd, const std::string& temp) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, temp.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
  if (errno == EEXIST) return false;
  // Without /proc, a privileged process can still link it by descriptor.
  return ::linkat(fd, "", AT_FDCWD, temp.c_str(), AT_EMPTY_PATH) == 0;
}

void SyncFolder(const std::string& dir) {
  UniqueFd d(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (d) ::fsync(d.Get());
}

int ReplaceRegularFile(const std::string& target, bool exists, const struct stat& st,
                       std::initializer_list<std::string_view> parts,
                       const SafeWriteOptions& options) {
  const std::string dir = FolderOf(target);
  // An unnamed file vanishes by itself if the program dies while writing it.
  UniqueFd fd(::open(dir.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
  std::string temp;
  std::optional<TerminationSignalsHeld> held;
  if (!fd) {
    if (errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) return errno;
    // A file system without unnamed files: a named one, with the signals held
    // for the whole write so that it is always removed or renamed.
    held.emplace();
    temp = (dir == "/" ? std::string() : dir) + "/.vtXXXXXX";
    fd.Reset(::mkostemp(temp.data(), O_CLOEXEC));
    if (!fd) return errno;
    if (!exists) {
      const mode_t mask = ::umask(0);
      ::umask(mask);
      ::fchmod(fd.Get(), 0666 & ~mask);
    }
  }
  auto fail = [&](int e) {
    if (!temp.empty()) ::unlink(temp.c_str());
    return e;
  };
  if (exists) {
    // chown first: it clears set-id bits that fchmod then puts back.
    if (::geteuid() == 0) (void)::fchown(fd.Get(), st.st_uid, st.st_gid);
    ::fchmod(fd.Get(), st.st_mode & 07777);
  }
  if (const int e = WriteParts(fd.Get(), parts, options.write)) return fail(e);
  if (::fsync(fd.Get()) != 0) return fail(errno);

  if (!held) held.emplace();
  if (temp.empty()) {
    for (int attempt = 0;; ++attempt) {
      temp = TemporaryName(dir);
      if (LinkUnnamed(fd.Get(), temp)) break;
      const int e = errno;
      temp.clear();
      if (e != EEXIST || attempt == 16) return e;
    }
  }
  if (!fd.Close()) return fail(errno);
  if (::rename(temp.c_str(), target.c_str()) != 0) return fail(errno);
  SyncFolder(dir);
  return 0;
}

int WriteFileSafelyImpl(const std::string& path, std::initializer_list<std::string_view> parts,
                        const SafeWriteOptions& options) {
  ErrnoKeeper keep;
  if (path.empty()) return ENOENT;
  struct stat st {};
  const bool exists = ::stat(path.c_str(), &st) == 0;
  if (!exists && errno != ENOENT) return errno;
  if (exists) {
    if (S_ISDIR(st.st_mode)) return EISDIR;
    // "-o /dev/stdout" and the like: the stream the program already holds,
    // not a file to replace.
    for (int stdFd : {STDOUT_FILENO, STDERR_FILENO}) {
      struct stat fdSt {};
      if (::fstat(stdFd, &fdSt) == 0 && fdSt.st_dev == st.st_dev && fdSt.st_ino == st.st_ino)
        return WriteDirectly(stdFd, parts, options.write);
    }
    if (!S_ISREG(st.st_mode)) return WriteSpecialFile(path, st, parts, options);
    if (::access(path.c_str(), W_OK) != 0) return errno;
    if (st.st_nlink > 1) return RewriteInPlace(path, parts, options);
  }
  std::string target;
  if (!ResolveFinalLinks(path, target)) return errno;
  return ReplaceRegularFile(target, exists, st, parts, options);
}

}  // namespace

bool WriteAll(int fd, const void* data, std::size_t n, const WriteFn& write) {
  const auto* p = static_cast<const unsigned char*>(data);
  while (n > 0) {
    const ssize_t w = write ? write(fd, p, n) : ::write(fd, p, n);
    if (w < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (w == 0) {  // nothing accepted and no reason given: treat as a full disk
      errno = ENOSPC;
      return false;
    }
    p += w;
    n -= static_cast<std::size_t>(w);
  }
  return true;
}

bool ResolveFinalLinks(const std::string& path, std::string& resolved) {
  std::string current = path;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(current.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) {
      resolved = current;
      return true;
    }
    std::vector<char> buf(static_cast<std::size_t>(st.st_size > 0 ? st.st_size : PATH_MAX) + 1);
    const ssize_t n = ::readlink(current.c_str(), buf.data(), buf.size());
    if (n < 0) return false;
    if (static_cast<std::size_t>(n) >= buf.size()) {
      errno = ENAMETOOLONG;
      return false;
    }
    std::string link(buf.data(), static_cast<std::size_t>(n));
    if (link.starts_with('/')) {
      current = link;
    } else {
      const std::size_t slash = current.rfind('/');
      current = slash == std::string::npos ? link : current.substr(0, slash + 1) + link;
    }
  }
  errno = ELOOP;
  return false;
}

int WriteFileSafely(const std::string& path, std::initializer_list<std::string_view> parts,
                    const SafeWriteOptions& options) {
  return WriteFileSafelyImpl(path, parts, options);
}

int WriteFileSafely(const std::string& path, std::string_view data,
                    const SafeWriteOptions& options) {
  return WriteFileSafelyImpl(path, {data}, options);
}

}  // namespace vantor
