#pragma once
// Frames as the player hands them over, built independently of the code under
// test, plus scratch folders and small file helpers.
#include <sys/mount.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "common/DibHeader.h"
#include "support/ScratchFolder.h"

namespace vantor::test {

namespace fs = std::filesystem;

// The colour the synthetic frames show at (x, y), y counted from the top.
inline void FramePixel(int x, int y, std::uint8_t& r, std::uint8_t& g, std::uint8_t& b) {
  r = std::uint8_t(x * 3 + y);
  g = std::uint8_t(y * 5);
  b = std::uint8_t(x ^ y);
}

inline void Put16(std::vector<std::uint8_t>& v, std::size_t at, std::uint16_t x) {
  v[at] = std::uint8_t(x);
  v[at + 1] = std::uint8_t(x >> 8);
}
inline void Put32(std::vector<std::uint8_t>& v, std::size_t at, std::uint32_t x) {
  for (int i = 0; i < 4; ++i) v[at + i] = std::uint8_t(x >> (8 * i));
}

inline std::vector<std::uint8_t> InfoHeader(int w, int h, int bits, std::size_t imageBytes) {
  std::vector<std::uint8_t> d(kDibInfoHeaderSize);
  WriteDibInfoHeader(d.data(), w, h, std::uint16_t(bits), std::uint32_t(imageBytes));
  return d;
}

// 24-bit (or 32-bit) frame; bottom-up unless topDown.
inline std::vector<std::uint8_t> MakeTrueColourDib(int w, int h, int bits = 24,
                                                   bool topDown = false) {
  const std::size_t stride = (std::size_t(w) * bits + 31) / 32 * 4;
  auto d = InfoHeader(w, topDown ? -h : h, bits, stride * h);
  d.resize(40 + stride * h, 0);
  for (int row = 0; row < h; ++row) {
    const int y = topDown ? row : h - 1 - row;
    std::uint8_t* p = d.data() + 40 + row * stride;
    for (int x = 0; x < w; ++x) {
      std::uint8_t r, g, b;
      FramePixel(x, y, r, g, b);
      p[x * bits / 8 + 0] = b;
      p[x * bits / 8 + 1] = g;
      p[x * bits / 8 + 2] = r;
    }
  }
  return d;
}

// Palette entry i and the index shown at (x, y) of the 8-bit frames.
inline void PaletteColour(int i, std::uint8_t& r, std::uint8_t& g, std::uint8_t& b) {
  r = std::uint8_t(i * 7);
  g = std::uint8_t(255 - i);
  b = std::uint8_t(i);
}
inline int PaletteIndexAt(int x, int y) {
  return (x + 2 * y) & 255;
}

inline std::vector<std::uint8_t> MakePalettedDib(int w, int h) {
  const std::size_t stride = (std::size_t(w) + 3) / 4 * 4;
  auto d = InfoHeader(w, h, 8, stride * h);
  for (int i = 0; i < 256; ++i) {
    std::uint8_t r, g, b;
    PaletteColour(i, r, g, b);
    d.insert(d.end(), {b, g, r, 0});
  }
  const std::size_t pixels = d.size();
  d.resize(pixels + stride * h, 0);
  for (int row = 0; row < h; ++row)
    for (int x = 0; x < w; ++x)
      d[pixels + row * stride + x] = std::uint8_t(PaletteIndexAt(x, h - 1 - row));
  return d;
}

// Top-down RGB of the synthetic frames, for comparing with what viewers decode.
inline std::vector<std::uint8_t> ExpectedTrueColourRgb(int w, int h) {
  std::vector<std::uint8_t> v;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      std::uint8_t r, g, b;
      FramePixel(x, y, r, g, b);
      v.insert(v.end(), {r, g, b});
    }
  return v;
}

inline std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const fs::path& p, const std::string& data) {
  std::ofstream(p, std::ios::binary) << data;
}

// A write(2) stand-in for a disk with `room` bytes free: it writes what fits
// and then fails with ENOSPC, as a full file system does.
inline auto DiskWithRoom(std::size_t room) {
  return
      [room, written = std::size_t(0)](int fd, const void* buf, std::size_t n) mutable -> ssize_t {
        if (written >= room) {
          errno = ENOSPC;
          return -1;
        }
        const std::size_t take = std::min(n, room - written);
        written += take;
        return ::write(fd, buf, take);
      };
}

// Runs a shell command and returns its standard output ("" when it fails).
inline std::string RunCapture(const std::string& command, int* status = nullptr) {
  std::string out;
  if (FILE* f = ::popen(command.c_str(), "r")) {
    char buf[4096];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
    const int rc = ::pclose(f);
    if (status) *status = rc;
  } else if (status) {
    *status = -1;
  }
  return out;
}

inline bool HaveProgram(const std::string& name) {
  int status = 0;
  RunCapture("command -v " + name + " >/dev/null 2>&1", &status);
  return status == 0;
}

// A small tmpfs of its own (needs the right to mount, as root has); `ok()` tells
// whether the machine allowed it.
class TmpfsMount {
 public:
  TmpfsMount(const fs::path& where, const std::string& options, bool readOnly = false)
      : m_where(where) {
    m_ok = ::mount("tmpfs", where.c_str(), "tmpfs", readOnly ? MS_RDONLY : 0, options.c_str()) == 0;
  }
  ~TmpfsMount() {
    if (m_ok) ::umount2(m_where.c_str(), MNT_DETACH);
  }
  bool ok() const { return m_ok; }

 private:
  fs::path m_where;
  bool m_ok = false;
};

// A folder this process cannot create files in: read-only tmpfs for root (who
// ignores permissions), mode 0555 otherwise. `ok()` is false when neither works.
class UnwritableDir {
 public:
  explicit UnwritableDir(const ScratchFolder& scratch) : m_path(scratch / "locked") {
    fs::create_directory(m_path);
    if (::geteuid() == 0) {
      m_mount = std::make_unique<TmpfsMount>(m_path, "size=64k", true);
      m_ok = m_mount->ok();
    } else {
      fs::permissions(m_path, fs::perms::owner_read | fs::perms::owner_exec);
      m_ok = ::access(m_path.c_str(), W_OK) != 0;
    }
  }
  bool ok() const { return m_ok; }
  const fs::path& path() const { return m_path; }

 private:
  fs::path m_path;
  std::unique_ptr<TmpfsMount> m_mount;
  bool m_ok = false;
};

}  // namespace vantor::test
