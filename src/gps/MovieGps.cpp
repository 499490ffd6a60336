#include "gps/MovieGps.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "gps/NmeaReader.h"

namespace vantor {
namespace {

constexpr double kKnotsToKmh = 1.852;
// A freeGPS block is a few hundred bytes; cameras reserve 32 KB or 4 MB for it.
constexpr std::uint64_t kMaxBlockBytes = 4u << 20;
constexpr std::size_t kBlockReadBytes = 256;  // both layouts lie in the first 0x48 + 16 bytes
constexpr std::uint64_t kMaxIndexBytes = 16u << 20;
constexpr std::uint64_t kMaxTextBytes = 16u << 20;
constexpr std::uint64_t kMaxTableBytes = 16u << 20;
constexpr std::uint64_t kMaxSampleBytes = 64u << 10;
constexpr std::size_t kMaxSamples = 1u << 20;
// Cameras write their first block within the first few MB of the media data;
// a movie without one there has none, and the rest is not read.
constexpr std::uint64_t kScanWithoutFind = 64u << 20;
constexpr std::size_t kScanChunk = 4u << 20;
constexpr std::int64_t kMacEpochToUnixSeconds = 2082844800;  // 1904 -> 1970

std::uint32_t Be32(const unsigned char* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) |
         p[3];
}
std::uint64_t Be64(const unsigned char* p) {
  return (std::uint64_t{Be32(p)} << 32) | Be32(p + 4);
}
std::uint32_t Le32(const unsigned char* p) {
  return (std::uint32_t{p[3]} << 24) | (std::uint32_t{p[2]} << 16) | (std::uint32_t{p[1]} << 8) |
         p[0];
}
float LeFloat(const unsigned char* p) {
  const std::uint32_t bits = Le32(p);
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

bool ReadPayload(const ByteSource& src, const Box& box, std::uint64_t maxBytes,
                 std::vector<unsigned char>& out) {
  const std::uint64_t n = std::min(box.PayloadSize(), maxBytes);
  try {
    out.resize(static_cast<std::size_t>(n));
  } catch (const std::bad_alloc&) {
    return false;
  }
  return n == 0 || src.Read(box.Payload(), out.data(), out.size());
}

// The first child of `parent` of the given type.
bool FindChild(const ByteSource& src, const Box& parent, std::uint32_t type, Box& found,
               std::uint64_t skip = 0) {
  bool ok = false;
  WalkBoxes(src, parent.Payload() + skip, parent.offset + parent.size, [&](const Box& b) {
    if (b.type != type) return true;
    found = b;
    ok = true;
    return false;
  });
  return ok;
}

bool IsKnownTopLevel(std::uint32_t t) {
  for (std::uint32_t known :
       {BoxType("ftyp"), BoxType("moov"), BoxType("mdat"), BoxType("free"), BoxType("skip"),
        BoxType("wide"), BoxType("pnot"), BoxType("uuid"), BoxType("PICT"), BoxType("styp"),
        BoxType("sidx"), BoxType("moof"), BoxType("meta")})
    if (t == known) return true;
  return false;
}

bool ValidTime(std::uint32_t h, std::uint32_t mi, std::uint32_t s, std::uint32_t mo,
               std::uint32_t d) {
  return h < 24 && mi < 60 && s < 61 && mo >= 1 && mo <= 12 && d >= 1 && d <= 31;
}

bool IsNs(unsigned char c) {
  return c == 'N' || c == 'S';
}
bool IsEw(unsigned char c) {
  return c == 'E' || c == 'W';
}

// One layout: where its time fields, status letter and floats are.
struct Layout {
  std::size_t time;    // six little-endian 32-bit fields: h, m, s, y, mo, d
  std::size_t status;  // 'A'/'V', then N/S, E/W, then a pad byte
  std::size_t floats;  // latitude, longitude (DDDMM.mmmm), speed (knots), course
  std::size_t accel;   // three signed 32-bit axes in 1/256 g; 0 when absent
};
constexpr Layout kNewer{0x10, 0x28, 0x2c, 0x3c};
constexpr Layout kClassic{0x30, 0x48, 0x4c, 0};

bool Fits(const unsigned char* d, std::size_t size, const Layout& l) {
  if (size < l.floats + 16 || (l.accel && size < l.accel + 12)) return false;
  const unsigned char st = d[l.status];
  if (st == 'A') {
    if (!IsNs(d[l.status + 1]) || !IsEw(d[l.status + 2])) return false;
  } else if (st == 'V') {
    // Without a fix some cameras leave the hemisphere letters empty.
    const unsigned char ns = d[l.status + 1], ew = d[l.status + 2];
    if (!((IsNs(ns) || ns == 0) && (IsEw(ew) || ew == 0))) return false;
  } else {
    return false;
  }
  return ValidTime(Le32(d + l.time), Le32(d + l.time + 4), Le32(d + l.time + 8),
                   Le32(d + l.time + 16), Le32(d + l.time + 20)) ||
         st == 'V';
}

}  // namespace

bool MemorySource::Read(std::uint64_t offset, void* buf, std::size_t n) const {
  if (offset > m_size || n > m_size - offset) return false;
  if (n) std::memcpy(buf, m_data + offset, n);
  return true;
}

FileSource::FileSource(const std::string& path) {
  m_fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (m_fd < 0) return;
  struct stat st {};
  if (::fstat(m_fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(m_fd);
    m_fd = -1;
    return;
  }
  m_size = static_cast<std::uint64_t>(st.st_size);
}

FileSource::~FileSource() {
  if (m_fd >= 0) ::close(m_fd);
}

bool FileSource::Read(std::uint64_t offset, void* buf, std::size_t n) const {
  if (m_fd < 0 || offset > m_size || n > m_size - offset) return false;
  auto* p = static_cast<unsigned char*>(buf);
  while (n > 0) {
    const ssize_t r = ::pread(m_fd, p, n, static_cast<off_t>(offset));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) return false;
    p += r;
    n -= static_cast<std::size_t>(r);
    offset += static_cast<std::uint64_t>(r);
  }
  return true;
}

void WalkBoxes(const ByteSource& src, std::uint64_t begin, std::uint64_t end,
               const std::function<bool(const Box&)>& visit) {
  end = std::min(end, src.Size());
  std::uint64_t pos = begin;
  for (std::size_t count = 0; count < kMaxBoxes && pos < end && end - pos >= 8; ++count) {
    unsigned char h[16];
    if (!src.Read(pos, h, 8)) return;
    Box b;
    b.offset = pos;
    b.type = Be32(h + 4);
    std::uint64_t size = Be32(h);
    if (size == 1) {
      if (end - pos < 16 || !src.Read(pos + 8, h + 8, 8)) return;
      b.header = 16;
      size = Be64(h + 8);
    } else if (size == 0) {
      size = end - pos;
    }
    if (size < b.header) return;
    if (size > end - pos) {
      size = end - pos;
      b.truncated = true;
    }
    b.size = size;
    if (!visit(b)) return;
    pos += size;
  }
}

FreeGpsBlock ReadFreeGpsBlock(const unsigned char* d, std::size_t size, GpsPoint& point) {
  if (size < 16 || std::memcmp(d + 4, "freeGPS ", 8) != 0) return FreeGpsBlock::NotABlock;
  const Layout* l = nullptr;
  if (Fits(d, size, kNewer))
    l = &kNewer;
  else if (Fits(d, size, kClassic))
    l = &kClassic;
  if (!l) return FreeGpsBlock::Scrambled;

  point = GpsPoint{};
  point.bUtc = true;
  const std::uint32_t h = Le32(d + l->time), mi = Le32(d + l->time + 4), s = Le32(d + l->time + 8),
                      mo = Le32(d + l->time + 16), day = Le32(d + l->time + 20);
  std::uint32_t y = Le32(d + l->time + 12);
  if (y < 2000) y += 2000;
  if (ValidTime(h, mi, s, mo, day) && y <= 2200)
    point.nTimeMs = MakeTimeMs(static_cast<int>(y), static_cast<int>(mo), static_cast<int>(day),
                               static_cast<int>(h), static_cast<int>(mi), s);
  if (d[l->status] != 'A') return FreeGpsBlock::NoFix;

  const double lat = LeFloat(d + l->floats), lon = LeFloat(d + l->floats + 4);
  const double knots = LeFloat(d + l->floats + 8), course = LeFloat(d + l->floats + 12);
  // Letters in place but numbers that are no DDMM.mmmm: scrambled numbers.
  if (!std::isfinite(lat) || !std::isfinite(lon) || lat < 0 || lon < 0 || lat > 9000.0 ||
      lon > 18000.0)
    return FreeGpsBlock::Scrambled;
  point.bFix = true;
  point.dLatitude = DegreesFromDdmm(lat) * (d[l->status + 1] == 'S' ? -1 : 1);
  point.dLongitude = DegreesFromDdmm(lon) * (d[l->status + 2] == 'W' ? -1 : 1);
  point.dSpeedKmh = std::isfinite(knots) && knots >= 0 ? knots * kKnotsToKmh : 0.0;
  point.dCourse = std::isfinite(course) ? course : 0.0;
  if (l->accel) {
    const unsigned char* a = d + l->accel;
    // All zeros, or 1..6 as 16-bit counters, is what cameras without the sensor write.
    static const unsigned char kCounter[12] = {1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0};
    static const unsigned char kZero[12] = {};
    if (std::memcmp(a, kZero, 12) != 0 && std::memcmp(a, kCounter, 12) != 0) {
      point.bHasAccel = true;
      for (int k = 0; k < 3; ++k)
        point.adAccel[k] = static_cast<std::int32_t>(Le32(a + 4 * k)) / 256.0;
    }
  }
  return FreeGpsBlock::Fix;
}

namespace {

struct MovieScan {
  const ByteSource& src;
  GpsTrack& track;
  MovieGpsInfo& info;
  std::vector<Box> mdats;
  Box moov;
  bool haveMoov = false;
  std::vector<Box> frees;
};

// Reads a block at `offset` (its size field first); false when it is not one.
bool ReadBlockAt(MovieScan& m, std::uint64_t offset, std::uint64_t size, std::int64_t offsetMs) {
  const std::uint64_t fileSize = m.src.Size();
  if (size < 16 || size > kMaxBlockBytes || offset > fileSize || size > fileSize - offset)
    return false;
  unsigned char buf[kBlockReadBytes];
  const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, sizeof buf));
  if (!m.src.Read(offset, buf, n)) return false;
  m.info.nBytesRead += n;
  GpsPoint p;
  switch (ReadFreeGpsBlock(buf, n, p)) {
    case FreeGpsBlock::Fix:
    case FreeGpsBlock::NoFix:
      p.nOffsetMs = offsetMs;
      m.track.points.push_back(p);
      return true;
    case FreeGpsBlock::Scrambled:
      return true;  // a block, but unreadable: skipped
    case FreeGpsBlock::NotABlock:
      return false;
  }
  return false;
}

// The `gps ` index: version, count, then count x {offset, size}, big-endian.
bool ReadIndex(MovieScan& m, const Box& gps) {
  std::vector<unsigned char> idx;
  if (!ReadPayload(m.src, gps, kMaxIndexBytes, idx) || idx.size() < 8) return false;
  m.info.bIndex = true;
  m.info.nBytesRead += idx.size();
  const std::uint64_t count = std::min<std::uint64_t>(Be32(idx.data() + 4), (idx.size() - 8) / 8);
  std::size_t blocks = 0;
  for (std::uint64_t i = 0; i < count; ++i) {
    const unsigned char* e = idx.data() + 8 + i * 8;
    // One entry per second of the movie.
    if (ReadBlockAt(m, Be32(e), Be32(e + 4), static_cast<std::int64_t>(i) * 1000)) ++blocks;
  }
  return blocks > 0;
}

void ScanForBlocks(MovieScan& m) {
  m.info.bScanned = true;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> ranges;
  for (const Box& b : m.mdats) ranges.emplace_back(b.Payload(), b.offset + b.size);
  if (ranges.empty()) ranges.emplace_back(0, m.src.Size());
  std::uint64_t longest = 0;
  for (const auto& [begin, end] : ranges) longest = std::max(longest, end - begin);
  std::vector<unsigned char> buf;
  try {
    // No more than the media data: a small movie needs no 4 MB buffer.
    buf.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kScanChunk, longest)) + 16);
  } catch (const std::bad_alloc&) {
    return;
  }
  static constexpr char kSig[] = "freeGPS ";
  for (const auto& [begin, end] : ranges) {
    std::uint64_t pos = begin;
    bool found = false;
    while (pos + 12 <= end) {
      if (!found && pos - begin >= kScanWithoutFind) break;
      const std::size_t n =
          static_cast<std::size_t>(std::min<std::uint64_t>(kScanChunk, end - pos));
      if (n < 12 || !m.src.Read(pos, buf.data(), n)) break;
      m.info.nBytesRead += n;
      std::uint64_t next = pos + n - 11;  // a signature may straddle chunks
      const unsigned char* p = buf.data() + 4;
      const unsigned char* stop = buf.data() + n;
      while (p + 8 <= stop) {
        const void* hit = memmem(p, static_cast<std::size_t>(stop - p), kSig, 8);
        if (!hit) break;
        const auto* h = static_cast<const unsigned char*>(hit);
        const std::uint64_t at = pos + static_cast<std::uint64_t>(h - buf.data()) - 4;
        const std::uint64_t size = Be32(h - 4);
        if (ReadBlockAt(m, at, size, -1)) {
          found = true;
          // Skip the block; blocks are often padded to a fixed size.
          const std::uint64_t after = at + size;
          if (after >= pos + n) {
            next = after;
            break;
          }
          p = buf.data() + (after - pos) + 4;
        } else {
          p = h + 1;
        }
      }
      if (next <= pos) next = pos + 1;
      pos = next;
    }
  }
}

void ReadFreeBox(MovieScan& m, const Box& free) {
  Box gps{};
  bool haveGps = false;
  WalkBoxes(m.src, free.Payload(), free.offset + free.size, [&](const Box& b) {
    if (b.type == BoxType("sttm") && b.PayloadSize() >= 8) {
      unsigned char v[8];
      if (m.src.Read(b.Payload(), v, 8) && Be64(v) < (std::uint64_t{1} << 52))
        m.info.nStartMs = static_cast<std::int64_t>(Be64(v));
    } else if (b.type == BoxType("gps ")) {
      gps = b;
      haveGps = true;
    }
    return true;
  });
  if (!haveGps) return;
  std::vector<unsigned char> text;
  if (!ReadPayload(m.src, gps, kMaxTextBytes, text)) return;
  m.info.nBytesRead += text.size();
  ReadNmea(reinterpret_cast<const char*>(text.data()), text.size(), m.track, m.info.nStartMs);
}

void ReadMvhd(MovieScan& m, const Box& mvhd) {
  unsigned char v[32];
  if (mvhd.PayloadSize() < 20 || !m.src.Read(mvhd.Payload(), v, 20)) return;
  std::uint64_t created, timescale, duration;
  if (v[0] == 1) {
    if (mvhd.PayloadSize() < 32 || !m.src.Read(mvhd.Payload(), v, 32)) return;
    created = Be64(v + 4);
    timescale = Be32(v + 20);
    duration = Be64(v + 24);
  } else {
    created = Be32(v + 4);
    timescale = Be32(v + 12);
    duration = Be32(v + 16);
  }
  if (created > static_cast<std::uint64_t>(kMacEpochToUnixSeconds) &&
      created < (std::uint64_t{1} << 40))
    m.info.nCreationMs = (static_cast<std::int64_t>(created) - kMacEpochToUnixSeconds) * 1000;
  if (timescale > 0 && duration < (std::uint64_t{1} << 50))
    m.info.nDurationMs = static_cast<std::int64_t>(duration * 1000 / timescale);
}

// NMEA in the samples of a text or subtitle track: sample tables followed to
// each sample's bytes; the sample's time places its sentences in the movie.
void ReadTextTrack(MovieScan& m, const Box& trak) {
  Box mdia, hdlr, mdhd, minf, stbl;
  if (!FindChild(m.src, trak, BoxType("mdia"), mdia) ||
      !FindChild(m.src, mdia, BoxType("hdlr"), hdlr) ||
      !FindChild(m.src, mdia, BoxType("mdhd"), mdhd) ||
      !FindChild(m.src, mdia, BoxType("minf"), minf) ||
      !FindChild(m.src, minf, BoxType("stbl"), stbl))
    return;
  unsigned char h[12];
  if (hdlr.PayloadSize() < 12 || !m.src.Read(hdlr.Payload(), h, 12)) return;
  const std::uint32_t handler = Be32(h + 8);
  if (handler != BoxType("text") && handler != BoxType("sbtl") && handler != BoxType("subt"))
    return;
  unsigned char md[24];
  if (mdhd.PayloadSize() < 24 || !m.src.Read(mdhd.Payload(), md, 24)) return;
  const std::uint32_t timescale = md[0] == 1 ? Be32(md + 20) : Be32(md + 12);
  if (timescale == 0) return;

  std::vector<unsigned char> stsz, stco, stsc, stts;
  Box b;
  bool co64 = false;
  if (!FindChild(m.src, stbl, BoxType("stsz"), b) || !ReadPayload(m.src, b, kMaxTableBytes, stsz))
    return;
  if (FindChild(m.src, stbl, BoxType("stco"), b)) {
    if (!ReadPayload(m.src, b, kMaxTableBytes, stco)) return;
  } else if (FindChild(m.src, stbl, BoxType("co64"), b)) {
    co64 = true;
    if (!ReadPayload(m.src, b, kMaxTableBytes, stco)) return;
  } else {
    return;
  }
  if (!FindChild(m.src, stbl, BoxType("stsc"), b) || !ReadPayload(m.src, b, kMaxTableBytes, stsc))
    return;
  if (!FindChild(m.src, stbl, BoxType("stts"), b) || !ReadPayload(m.src, b, kMaxTableBytes, stts))
    return;
  if (stsz.size() < 12 || stco.size() < 8 || stsc.size() < 8 || stts.size() < 8) return;

  const std::uint32_t fixedSize = Be32(stsz.data() + 4);
  std::size_t samples = Be32(stsz.data() + 8);
  if (fixedSize == 0) samples = std::min<std::size_t>(samples, (stsz.size() - 12) / 4);
  samples = std::min(samples, kMaxSamples);
  const std::size_t entry = co64 ? 8 : 4;
  const std::size_t chunks =
      std::min<std::size_t>(Be32(stco.data() + 4), (stco.size() - 8) / entry);
  const std::size_t runs = std::min<std::size_t>(Be32(stsc.data() + 4), (stsc.size() - 8) / 12);
  const std::size_t deltas = std::min<std::size_t>(Be32(stts.data() + 4), (stts.size() - 8) / 8);

  std::size_t sample = 0, run = 0, delta = 0;
  std::uint64_t deltaLeft = deltas ? Be32(stts.data() + 8) : 0;
  std::uint64_t time = 0;
  std::vector<unsigned char> text;
  for (std::size_t c = 0; c < chunks && sample < samples; ++c) {
    while (run + 1 < runs && Be32(stsc.data() + 8 + (run + 1) * 12) <= c + 1) ++run;
    const std::uint32_t perChunk = runs ? Be32(stsc.data() + 8 + run * 12 + 4) : 1;
    std::uint64_t off = co64 ? Be64(stco.data() + 8 + c * 8) : Be32(stco.data() + 8 + c * 4);
    for (std::uint32_t k = 0; k < perChunk && sample < samples; ++k, ++sample) {
      const std::uint64_t size = fixedSize ? fixedSize : Be32(stsz.data() + 12 + sample * 4);
      if (size > 2 && size <= kMaxSampleBytes && off <= m.src.Size() &&
          size <= m.src.Size() - off) {
        text.resize(static_cast<std::size_t>(size));
        if (m.src.Read(off, text.data(), text.size())) {
          m.info.nBytesRead += text.size();
          // Text samples start with a 16-bit length.
          std::size_t len = (std::size_t{text[0]} << 8) | text[1];
          len = std::min(len, text.size() - 2);
          const std::size_t before = m.track.points.size();
          ReadNmea(reinterpret_cast<const char*>(text.data() + 2), len, m.track);
          const auto ms = static_cast<std::int64_t>(time * 1000 / timescale);
          for (std::size_t i = before; i < m.track.points.size(); ++i)
            m.track.points[i].nOffsetMs = ms;
        }
      }
      off += size;
      // Advance the sample clock.
      while (deltaLeft == 0 && delta + 1 < deltas) {
        ++delta;
        deltaLeft = Be32(stts.data() + 8 + delta * 8);
      }
      if (deltaLeft) {
        time += Be32(stts.data() + 12 + delta * 8);
        --deltaLeft;
      }
    }
  }
}

}  // namespace

MovieGpsStatus ReadMovieGps(const ByteSource& src, GpsTrack& track, MovieGpsInfo& info) {
  info = MovieGpsInfo{};
  MovieScan m{src, track, info, {}, {}, false, {}};
  bool first = true, foreign = false;
  WalkBoxes(src, 0, src.Size(), [&](const Box& b) {
    if (first && !IsKnownTopLevel(b.type)) {
      foreign = true;
      return false;
    }
    first = false;
    if (b.type == BoxType("mdat"))
      m.mdats.push_back(b);
    else if (b.type == BoxType("moov") && !m.haveMoov) {
      m.moov = b;
      m.haveMoov = true;
    } else if (b.type == BoxType("free") && m.frees.size() < 16)
      m.frees.push_back(b);
    return true;
  });
  if (first || foreign) return MovieGpsStatus::NotAMovie;

  Box gps{};
  bool haveIndex = false;
  std::vector<Box> traks;
  if (m.haveMoov) {
    WalkBoxes(src, m.moov.Payload(), m.moov.offset + m.moov.size, [&](const Box& b) {
      if (b.type == BoxType("gps ") && !haveIndex) {
        gps = b;
        haveIndex = true;
      } else if (b.type == BoxType("mvhd")) {
        ReadMvhd(m, b);
      } else if (b.type == BoxType("trak") && traks.size() < 64) {
        traks.push_back(b);
      }
      return true;
    });
  }
  for (const Box& f : m.frees) ReadFreeBox(m, f);
  if (track.points.empty() && haveIndex) {
    if (!ReadIndex(m, gps)) track.points.clear();
  }
  if (track.points.empty())
    for (const Box& t : traks) ReadTextTrack(m, t);
  if (track.points.empty()) ScanForBlocks(m);
  if (track.points.empty()) return MovieGpsStatus::NoGps;
  PlaceTrackInMovie(track);
  return MovieGpsStatus::Ok;
}

MovieGpsStatus ReadMovieGpsFile(const std::string& path, GpsTrack& track, MovieGpsInfo& info) {
  FileSource src(path);
  if (!src.IsOpen()) return MovieGpsStatus::Unreadable;
  track.source = path;
  return ReadMovieGps(src, track, info);
}

MovieGpsInfo ReadMovieTimes(const std::string& path) {
  MovieGpsInfo info;
  FileSource src(path);
  if (!src.IsOpen()) return info;
  GpsTrack unused;
  MovieScan m{src, unused, info, {}, {}, false, {}};
  WalkBoxes(src, 0, src.Size(), [&](const Box& b) {
    if (b.type == BoxType("moov")) {
      WalkBoxes(src, b.Payload(), b.offset + b.size, [&](const Box& c) {
        if (c.type == BoxType("mvhd")) ReadMvhd(m, c);
        return true;
      });
    } else if (b.type == BoxType("free")) {
      WalkBoxes(src, b.Payload(), b.offset + b.size, [&](const Box& c) {
        unsigned char v[8];
        if (c.type == BoxType("sttm") && c.PayloadSize() >= 8 && src.Read(c.Payload(), v, 8) &&
            Be64(v) < (std::uint64_t{1} << 52))
          info.nStartMs = static_cast<std::int64_t>(Be64(v));
        return true;
      });
    }
    return true;
  });
  return info;
}

}  // namespace vantor
