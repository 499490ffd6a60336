#pragma once
// GPS that cameras store inside their MP4/MOV movies: freeGPS blocks found
// through the `gps ` index under `moov` or by scanning the media data, NMEA
// text in a top-level `free` box (with the camera's start clock, `sttm`), and
// NMEA in the samples of a text or subtitle track. Every read is bounded by
// the file's size and by fixed limits, whatever the sizes in the file claim.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "gps/GpsTrack.h"

namespace vantor {

// Something to read bytes from at offsets: a file or a buffer.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t Size() const = 0;
  // Exactly n bytes at `offset`; false when they are not all there.
  virtual bool Read(std::uint64_t offset, void* buf, std::size_t n) const = 0;
};

class MemorySource : public ByteSource {
 public:
  MemorySource(const void* data, std::size_t size)
      : m_data(static_cast<const unsigned char*>(data)), m_size(size) {}
  std::uint64_t Size() const override { return m_size; }
  bool Read(std::uint64_t offset, void* buf, std::size_t n) const override;

 private:
  const unsigned char* m_data;
  std::size_t m_size;
};

class FileSource : public ByteSource {
 public:
  explicit FileSource(const std::string& path);
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;
  bool IsOpen() const { return m_fd >= 0; }
  std::uint64_t Size() const override { return m_size; }
  bool Read(std::uint64_t offset, void* buf, std::size_t n) const override;

 private:
  int m_fd = -1;
  std::uint64_t m_size = 0;
};

constexpr std::uint32_t BoxType(const char (&t)[5]) {
  return (static_cast<std::uint32_t>(static_cast<unsigned char>(t[0])) << 24) |
         (static_cast<std::uint32_t>(static_cast<unsigned char>(t[1])) << 16) |
         (static_cast<std::uint32_t>(static_cast<unsigned char>(t[2])) << 8) |
         static_cast<std::uint32_t>(static_cast<unsigned char>(t[3]));
}

struct Box {
  std::uint32_t type = 0;
  std::uint64_t offset = 0;  // of its header
  std::uint64_t header = 8;  // 8, or 16 with a 64-bit size
  std::uint64_t size = 0;    // header included; cut at the parent's end
  bool truncated = false;    // it claimed to run past its parent
  std::uint64_t Payload() const { return offset + header; }
  std::uint64_t PayloadSize() const { return size - header; }
};

// Calls `visit` for each box between `begin` and `end` until it returns false.
// A size of 0 runs to `end`; a 64-bit size is read; a box claiming to run
// past `end` is cut there (and marked); a size smaller than its header, or a
// header that is not all there, ends the walk. At most kMaxBoxes boxes.
inline constexpr std::size_t kMaxBoxes = 1u << 16;
void WalkBoxes(const ByteSource& src, std::uint64_t begin, std::uint64_t end,
               const std::function<bool(const Box&)>& visit);

enum class FreeGpsBlock {
  Fix,        // a position
  NoFix,      // the receiver had no position: time only
  Scrambled,  // the signature, but no layout fits (encrypted or XORed by the brand)
  NotABlock,  // no freeGPS signature
};

// Reads one freeGPS block (starting with its 4-byte size and "freeGPS "). The
// classic layout and the newer one with accelerometer axes are told apart by
// the status and hemisphere letters at each layout's place.
FreeGpsBlock ReadFreeGpsBlock(const unsigned char* data, std::size_t size, GpsPoint& point);

struct MovieGpsInfo {
  std::int64_t nStartMs = kNoTime;     // the two-channel camera's `sttm` clock
  std::int64_t nCreationMs = kNoTime;  // `mvhd` creation time (seconds since 1904)
  std::int64_t nDurationMs = -1;
  bool bIndex = false;    // a `gps ` index was found
  bool bScanned = false;  // the media data was scanned for blocks
  std::uint64_t nBytesRead = 0;
};

enum class MovieGpsStatus { Ok, NoGps, NotAMovie, Unreadable };

// Reads the GPS stored in the movie; points get their offsets in the movie.
MovieGpsStatus ReadMovieGps(const ByteSource& src, GpsTrack& track, MovieGpsInfo& info);
MovieGpsStatus ReadMovieGpsFile(const std::string& path, GpsTrack& track, MovieGpsInfo& info);

// Only the `sttm` start clock and `mvhd` times, for placing a sidecar's points.
MovieGpsInfo ReadMovieTimes(const std::string& path);

}  // namespace vantor
