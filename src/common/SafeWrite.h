#pragma once
// The one way the program writes a whole file the user may already have
// (exports, snapshots, the map page, the status line):
//
// - A regular file (or a new name) is written to an unnamed temporary file in
//   the folder where it finally lives (through any symbolic links), synced,
//   and only then put in its place, keeping the replaced file's mode and, for
//   root, its owner. A failure or a signal at any point leaves what was there
//   before and no stray temporary file.
// - A regular file with more than one hard link is rewritten in place, so the
//   other names keep seeing it; room is reserved first so a full disk refuses
//   before anything is changed, where the file system can reserve.
// - Devices, FIFOs and the program's own standard output or error are written
//   directly; their write errors (ENOSPC from /dev/full) are reported.
// - A folder is refused (EISDIR), and so is an existing file that may not be
//   written (its permission bits), as the shell's ">" would.
#include <sys/types.h>

#include <cstddef>
#include <functional>
#include <initializer_list>
#include <string>
#include <string_view>

namespace vantor {

// Writes `n` bytes of `buf` to `fd` as write(2) does. Tests replace it to act out
// a full disk; empty means write(2).
using WriteFn = std::function<ssize_t(int fd, const void* buf, std::size_t n)>;

// Writes all of `data`, retrying short writes and EINTR. False with errno set on
// failure (ENOSPC for a writer that accepts nothing).
bool WriteAll(int fd, const void* data, std::size_t n, const WriteFn& write = {});

struct SafeWriteOptions {
  WriteFn write;  // empty: write(2)
  // A FIFO without a reader: wait for one (the command line, like the shell)
  // or refuse at once with ENXIO (the window, which must not hang).
  bool waitForFifoReader = false;
};

// Writes the concatenation of `parts` to `path` as described above. Returns 0,
// or the errno of what failed.
int WriteFileSafely(const std::string& path, std::initializer_list<std::string_view> parts,
                    const SafeWriteOptions& options = {});
int WriteFileSafely(const std::string& path, std::string_view data,
                    const SafeWriteOptions& options = {});

// The path a chain of symbolic links ending at `path` leads to (only the last
// component is followed; it need not exist). False with errno ELOOP for a
// cycle.
bool ResolveFinalLinks(const std::string& path, std::string& resolved);

}  // namespace vantor
