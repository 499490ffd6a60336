// Writes GPS test files from one known drive, laid out as the cameras and
// phones write them, so that Vantor and independent readers can be compared:
//
//   make_gps_files OUTDIR                 the test set (below)
//   make_gps_files --seeds OUTDIR         the same layouts in miniature (three
//       seconds, small blocks), as seeds for the fuzz targets
//   make_gps_files --wrap MOVIE OUT [classic|newer|twochannel]
//       a playable copy of MOVIE (mdat before a trailing moov) with the drive
//       stored inside it as that camera stores it
//
// The test set in OUTDIR:
//   index_classic.MOV   freeGPS blocks (classic layout) in the media data, `gps ` index in moov
//   index_newer.MP4     the newer layout with accelerometer axes, indexed
//   noindex.MP4         classic blocks without an index (found by scanning)
//   scrambled.MP4       indexed, every fourth block XORed as some brands do
//   twochannel.mp4      a top-level `free` box with `sttm` and a `gps ` NMEA child
//   twochannel.gps      the same NMEA as a sidecar, camera clock in brackets
//   talkers.nmea        GN/GP/GL/BD/GA talkers, wrong checksums, V status
//   sloppy.nmea         the same with missing checksums and sentences without '$' too
//   phone.gpx           a GPX 1.1 track
//   drive.csv           the known drive: second, UTC time, fix, latitude, longitude, km/h
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<unsigned char>;

int kPoints = 40;
std::uint32_t kBlockBytes = 0x8000;  // cameras reserve 32 KB per block
std::size_t kFillerBytes = 48 * 1024;
int kNoFixPoint = 7;                             // the receiver lost its fix for this second
constexpr std::int64_t kStartUnix = 1607003120;  // 2020-12-03 13:45:20 UTC
constexpr std::int64_t kSttmMs =
    kStartUnix * 1000 - 1500;  // movie started 1.5 s before the first fix

struct Fix {
  int second;
  bool valid;
  double lat, lon, kmh, course, alt;
  double accel[3];
};

Fix DrivePoint(int i) {
  Fix f{};
  f.second = i;
  f.valid = i != kNoFixPoint;
  // A drive north-east out of a city, speeding up and slowing down.
  f.lat = 48.8566 + 0.00011 * i + 0.00002 * std::sin(i / 3.0);
  f.lon = 2.3522 + 0.00016 * i;
  f.kmh = 42.0 + 18.0 * std::sin(i / 6.0);
  f.course = 52.0 + 4.0 * std::cos(i / 5.0);
  f.alt = 35.0 + 0.4 * i;
  f.accel[0] = 0.05 * std::sin(i / 2.0);
  f.accel[1] = 0.1 * std::cos(i / 4.0);
  f.accel[2] = 1.0 + 0.02 * std::sin(i);
  return f;
}

void Put32(Bytes& b, std::uint32_t v) {
  for (int s = 24; s >= 0; s -= 8) b.push_back(static_cast<unsigned char>(v >> s));
}
void Put64(Bytes& b, std::uint64_t v) {
  Put32(b, static_cast<std::uint32_t>(v >> 32));
  Put32(b, static_cast<std::uint32_t>(v));
}
void Set32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int k = 0; k < 4; ++k) b[at + k] = static_cast<unsigned char>(v >> (24 - 8 * k));
}
void SetLe32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int k = 0; k < 4; ++k) b[at + k] = static_cast<unsigned char>(v >> (8 * k));
}
void SetLeFloat(Bytes& b, std::size_t at, float f) {
  std::uint32_t v;
  std::memcpy(&v, &f, 4);
  SetLe32(b, at, v);
}
void Append(Bytes& b, const Bytes& more) {
  b.insert(b.end(), more.begin(), more.end());
}
Bytes MakeBox(const char* type, const Bytes& payload) {
  Bytes b;
  Put32(b, static_cast<std::uint32_t>(payload.size() + 8));
  b.insert(b.end(), type, type + 4);
  Append(b, payload);
  return b;
}

struct Utc {
  int year, month, day, hour, minute, second;
};
Utc ToUtc(std::int64_t unix) {
  std::int64_t days = unix / 86400, rem = unix % 86400;
  days += 719468;
  const std::int64_t era = days / 146097, doe = days - era * 146097;
  const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100), mp = (5 * doy + 2) / 153;
  Utc u{};
  u.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  u.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  u.year = static_cast<int>(yoe + era * 400 + (u.month <= 2 ? 1 : 0));
  u.hour = static_cast<int>(rem / 3600);
  u.minute = static_cast<int>(rem / 60 % 60);
  u.second = static_cast<int>(rem % 60);
  return u;
}

double ToDdmm(double deg) {
  const double a = std::fabs(deg), d = std::floor(a);
  return d * 100.0 + (a - d) * 60.0;
}

enum class Layout { Classic, Newer };

// One freeGPS block padded to `size` bytes, as the cameras reserve it.
Bytes FreeGpsBlock(const Fix& f, Layout layout, std::uint32_t size = kBlockBytes) {
  Bytes b(size, 0);
  Set32(b, 0, size);
  std::memcpy(b.data() + 4, "freeGPS ", 8);
  const Utc t = ToUtc(kStartUnix + f.second);
  const std::size_t time = layout == Layout::Classic ? 0x30 : 0x10;
  const std::size_t status = layout == Layout::Classic ? 0x48 : 0x28;
  const std::size_t floats = status + 4;
  SetLe32(b, 12, layout == Layout::Classic ? 0x4c : 0x3f0);
  const std::uint32_t fields[6] = {
      static_cast<std::uint32_t>(t.hour),   static_cast<std::uint32_t>(t.minute),
      static_cast<std::uint32_t>(t.second), static_cast<std::uint32_t>(t.year - 2000),
      static_cast<std::uint32_t>(t.month),  static_cast<std::uint32_t>(t.day)};
  for (int k = 0; k < 6; ++k) SetLe32(b, time + 4 * k, fields[k]);
  b[status] = f.valid ? 'A' : 'V';
  b[status + 1] = f.lat >= 0 ? 'N' : 'S';
  b[status + 2] = f.lon >= 0 ? 'E' : 'W';
  if (f.valid) {
    SetLeFloat(b, floats, static_cast<float>(ToDdmm(f.lat)));
    SetLeFloat(b, floats + 4, static_cast<float>(ToDdmm(f.lon)));
    SetLeFloat(b, floats + 8, static_cast<float>(f.kmh / 1.852));
    SetLeFloat(b, floats + 12, static_cast<float>(f.course));
    if (layout == Layout::Newer)
      for (int k = 0; k < 3; ++k)
        SetLe32(
            b, 0x3c + 4 * k,
            static_cast<std::uint32_t>(static_cast<std::int32_t>(std::lround(f.accel[k] * 256))));
  }
  return b;
}

// Brands that hide their blocks XOR everything after the signature.
void Scramble(Bytes& block) {
  for (std::size_t i = 16; i < block.size(); ++i) block[i] ^= 0xaa;
}

std::string Checksummed(const std::string& body) {
  unsigned sum = 0;
  for (char c : body) sum ^= static_cast<unsigned char>(c);
  char buf[8];
  std::snprintf(buf, sizeof buf, "*%02X", sum);
  return "$" + body + buf;
}

std::string NmeaCoord(double deg, bool lat) {
  char buf[32];
  std::snprintf(buf, sizeof buf, lat ? "%011.6f,%c" : "%012.6f,%c", ToDdmm(deg),
                lat ? (deg >= 0 ? 'N' : 'S') : (deg >= 0 ? 'E' : 'W'));
  return buf;
}

std::string RmcBody(const char* talker, const Fix& f) {
  const Utc t = ToUtc(kStartUnix + f.second);
  char head[64], tail[64];
  std::snprintf(head, sizeof head, "%sRMC,%02d%02d%02d.00,%c,", talker, t.hour, t.minute, t.second,
                f.valid ? 'A' : 'V');
  std::snprintf(tail, sizeof tail, ",%02d%02d%02d,,,%c", t.day, t.month, t.year % 100,
                f.valid ? 'A' : 'N');
  if (!f.valid) return std::string(head) + ",,,,," + tail;
  char mid[64];
  std::snprintf(mid, sizeof mid, ",%.3f,%.2f", f.kmh / 1.852, f.course);
  return std::string(head) + NmeaCoord(f.lat, true) + "," + NmeaCoord(f.lon, false) + mid + tail;
}

std::string GgaBody(const char* talker, const Fix& f) {
  const Utc t = ToUtc(kStartUnix + f.second);
  char head[64], tail[64];
  std::snprintf(head, sizeof head, "%sGGA,%02d%02d%02d.00,", talker, t.hour, t.minute, t.second);
  if (!f.valid) return std::string(head) + ",,,,0,00,99.9,,M,,M,,";
  std::snprintf(tail, sizeof tail, ",1,09,0.9,%.1f,M,47.3,M,,", f.alt);
  return std::string(head) + NmeaCoord(f.lat, true) + "," + NmeaCoord(f.lon, false) + tail;
}

// The two-channel camera's NMEA: each sentence after its camera clock.
std::string TwoChannelNmea() {
  std::string s;
  for (int i = 0; i < kPoints; ++i) {
    const Fix f = DrivePoint(i);
    const std::string clock = "[" + std::to_string((kStartUnix + i) * 1000 + 20) + "]";
    s += clock + Checksummed(RmcBody("GP", f)) + "\n";
    s += clock + Checksummed(GgaBody("GP", f)) + "\n";
  }
  return s;
}

// What several cheap receivers write: mixed talkers, wrong checksums, and
// when `sloppy`, sentences without a checksum or without the '$'.
std::string TalkersNmea(bool sloppy) {
  static const char* kTalkers[] = {"GN", "GP", "GL", "BD", "GA"};
  std::string s = "$GPTXT,01,01,02,ANTSTATUS=OK*3B\n";
  for (int i = 0; i < kPoints; ++i) {
    const Fix f = DrivePoint(i);
    const char* talker = kTalkers[i % 5];
    std::string rmc = Checksummed(RmcBody(talker, f)), gga = Checksummed(GgaBody(talker, f));
    // Whole seconds are broken alike: a reader that drops one sentence of a
    // second drops the other too, and no second is half read.
    for (std::string* line : {&rmc, &gga}) {
      if (i % 4 == 1) line->back() = line->back() == '0' ? '1' : '0';  // wrong checksum
      if (sloppy && i % 6 == 2) line->resize(line->size() - 3);        // none at all
      if (sloppy && i % 5 == 3) line->erase(0, 1);                     // no '$'
    }
    s += gga + "\r\n" + rmc + "\r\n";
    if (i % 10 == 4) s += "$GPGSV,3,1,11,03,03,111,00,04,15,270,00*74\r\n";
  }
  return s;
}

std::string PhoneGpx() {
  std::string s =
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<gpx version=\"1.1\" creator=\"phone\" xmlns=\"http://www.topografix.com/GPX/1/1\">\n"
      "  <trk><name>drive</name><trkseg>\n";
  for (int i = 0; i < kPoints; ++i) {
    const Fix f = DrivePoint(i);
    if (!f.valid) continue;  // a phone writes no point without a position
    const Utc t = ToUtc(kStartUnix + f.second);
    char buf[256];
    std::snprintf(buf, sizeof buf,
                  "    <trkpt lat=\"%.7f\" lon=\"%.7f\"><ele>%.1f</ele>"
                  "<time>%04d-%02d-%02dT%02d:%02d:%02dZ</time></trkpt>\n",
                  f.lat, f.lon, f.alt, t.year, t.month, t.day, t.hour, t.minute, t.second);
    s += buf;
  }
  return s + "  </trkseg></trk>\n</gpx>\n";
}

Bytes Mvhd(std::int64_t createdUnix, std::uint32_t durationMs) {
  Bytes p(100, 0);
  Set32(p, 4, static_cast<std::uint32_t>(createdUnix + 2082844800));
  Set32(p, 8, static_cast<std::uint32_t>(createdUnix + 2082844800));
  Set32(p, 12, 1000);
  Set32(p, 16, durationMs);
  Set32(p, 20, 0x00010000);
  p[24] = 1;
  Set32(p, 96, 2);
  return MakeBox("mvhd", p);
}

Bytes GpsIndex(const std::vector<std::pair<std::uint32_t, std::uint32_t>>& entries) {
  Bytes p;
  Put32(p, 0x101);
  Put32(p, static_cast<std::uint32_t>(entries.size()));
  for (const auto& [off, size] : entries) {
    Put32(p, off);
    Put32(p, size);
  }
  return MakeBox("gps ", p);
}

Bytes Filler(std::size_t n, unsigned seed) {
  Bytes b(n);
  for (std::size_t i = 0; i < n; ++i) b[i] = static_cast<unsigned char>((i * 131 + seed * 7) >> 3);
  return b;
}

// ftyp, mdat (a stand-in for the pictures with a block after each second's
// frames), moov (mvhd and, when indexed, the `gps ` index).
Bytes NovatekMovie(Layout layout, bool indexed, bool scrambled, const char* brand) {
  Bytes file = MakeBox(
      "ftyp", Bytes{static_cast<unsigned char>(brand[0]), static_cast<unsigned char>(brand[1]),
                    static_cast<unsigned char>(brand[2]), static_cast<unsigned char>(brand[3]), 0,
                    0, 2, 0});
  const std::size_t mdatAt = file.size();
  Put32(file, 0);
  file.insert(file.end(), {'m', 'd', 'a', 't'});
  std::vector<std::pair<std::uint32_t, std::uint32_t>> entries;
  for (int i = 0; i < kPoints; ++i) {
    Append(file, Filler(kFillerBytes, static_cast<unsigned>(i)));
    Bytes block = FreeGpsBlock(DrivePoint(i), layout);
    if (scrambled && i % 4 == 3) Scramble(block);
    entries.emplace_back(static_cast<std::uint32_t>(file.size()),
                         static_cast<std::uint32_t>(block.size()));
    Append(file, block);
  }
  Append(file, Filler(kFillerBytes + kFillerBytes / 3, 99));
  Set32(file, mdatAt, static_cast<std::uint32_t>(file.size() - mdatAt));
  Bytes moov = Mvhd(kStartUnix, kPoints * 1000);
  if (indexed) Append(moov, GpsIndex(entries));
  Append(file, MakeBox("moov", moov));
  return file;
}

Bytes FreeBoxWithNmea(const std::string& nmea) {
  Bytes sttm;
  Put64(sttm, static_cast<std::uint64_t>(kSttmMs));
  Bytes payload = MakeBox("sttm", sttm);
  Append(payload, MakeBox("gps ", Bytes(nmea.begin(), nmea.end())));
  return MakeBox("free", payload);
}

Bytes TwoChannelMovie() {
  Bytes file = MakeBox("ftyp", Bytes{'m', 'p', '4', '2', 0, 0, 0, 0, 'i', 's', 'o', 'm'});
  Append(file, FreeBoxWithNmea(TwoChannelNmea()));
  Append(file, MakeBox("mdat", Filler(kFillerBytes * 5, 5)));
  Append(file, MakeBox("moov", Mvhd(kStartUnix - 2, kPoints * 1000)));
  return file;
}

bool WriteFile(const std::string& path, const void* data, std::size_t n) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(data, 1, n, f) == n;
  return std::fclose(f) == 0 && ok;
}
bool WriteFile(const std::string& path, const Bytes& b) {
  return WriteFile(path, b.data(), b.size());
}
bool WriteFile(const std::string& path, const std::string& s) {
  return WriteFile(path, s.data(), s.size());
}

std::string DriveCsv() {
  std::string s = "second,utc,fix,latitude,longitude,kmh\n";
  for (int i = 0; i < kPoints; ++i) {
    const Fix f = DrivePoint(i);
    const Utc t = ToUtc(kStartUnix + f.second);
    char buf[160];
    std::snprintf(buf, sizeof buf, "%d,%04d-%02d-%02dT%02d:%02d:%02dZ,%d,%.7f,%.7f,%.2f\n", i,
                  t.year, t.month, t.day, t.hour, t.minute, t.second, f.valid ? 1 : 0, f.lat, f.lon,
                  f.kmh);
    s += buf;
  }
  return s;
}

std::uint32_t Get32(const Bytes& b, std::size_t at) {
  return (std::uint32_t{b[at]} << 24) | (std::uint32_t{b[at + 1]} << 16) |
         (std::uint32_t{b[at + 2]} << 8) | b[at + 3];
}

// A playable movie with the drive inside: blocks appended to the end of its
// mdat and the index appended to its moov (both after the pictures, so no
// chunk offset moves), or the two-channel camera's `free` box at the end.
int Wrap(const std::string& in, const std::string& out, const std::string& kind) {
  std::ifstream f(in, std::ios::binary);
  Bytes src((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  std::size_t pos = 0, mdatAt = 0, mdatEnd = 0, moovAt = 0, moovEnd = 0;
  while (pos + 8 <= src.size()) {
    std::uint64_t size = Get32(src, pos);
    if (size == 1) size = (std::uint64_t{Get32(src, pos + 8)} << 32) | Get32(src, pos + 12);
    if (size == 0) size = src.size() - pos;
    if (size < 8 || pos + size > src.size()) break;
    if (std::memcmp(&src[pos + 4], "mdat", 4) == 0 && Get32(src, pos) != 1) {
      mdatAt = pos;
      mdatEnd = pos + size;
    } else if (std::memcmp(&src[pos + 4], "moov", 4) == 0) {
      moovAt = pos;
      moovEnd = pos + size;
    }
    pos += size;
  }
  if (!mdatEnd || !moovEnd || moovAt < mdatEnd || moovEnd != src.size()) {
    std::fprintf(stderr, "make_gps_files: %s needs a 32-bit mdat followed by a final moov\n",
                 in.c_str());
    return 1;
  }
  if (kind == "twochannel") {
    Bytes file = src;
    Append(file, FreeBoxWithNmea(TwoChannelNmea()));
    return WriteFile(out, file) ? 0 : 1;
  }
  const Layout layout = kind == "newer" ? Layout::Newer : Layout::Classic;
  Bytes file(src.begin(), src.begin() + static_cast<std::ptrdiff_t>(mdatEnd));
  std::vector<std::pair<std::uint32_t, std::uint32_t>> entries;
  for (int i = 0; i < kPoints; ++i) {
    const Bytes block = FreeGpsBlock(DrivePoint(i), layout, 0x400);
    entries.emplace_back(static_cast<std::uint32_t>(file.size()),
                         static_cast<std::uint32_t>(block.size()));
    Append(file, block);
  }
  Set32(file, mdatAt, static_cast<std::uint32_t>(file.size() - mdatAt));
  file.insert(file.end(), src.begin() + static_cast<std::ptrdiff_t>(mdatEnd),
              src.begin() + static_cast<std::ptrdiff_t>(moovAt));
  Bytes moov(src.begin() + static_cast<std::ptrdiff_t>(moovAt) + 8, src.end());
  Append(moov, GpsIndex(entries));
  Append(file, MakeBox("moov", moov));
  return WriteFile(out, file) ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4 && std::string(argv[1]) == "--wrap")
    return Wrap(argv[2], argv[3], argc >= 5 ? argv[4] : "classic");
  if (argc < 2 || (argv[1][0] == '-' && std::string(argv[1]) != "--seeds")) {
    std::fprintf(stderr,
                 "usage: make_gps_files [--seeds] OUTDIR\n"
                 "       make_gps_files --wrap MOVIE OUT [classic|newer|twochannel]\n");
    return 2;
  }
  std::string dir = argv[1];
  if (argc == 3 && dir == "--seeds") {
    kPoints = 3;
    kBlockBytes = 0x80;
    kFillerBytes = 16;
    kNoFixPoint = 1;
    dir = argv[2];
  } else if (argc != 2) {
    return 2;
  }
  const std::string nmea = TwoChannelNmea();
  const bool ok =
      WriteFile(dir + "/index_classic.MOV", NovatekMovie(Layout::Classic, true, false, "qt  ")) &&
      WriteFile(dir + "/index_newer.MP4", NovatekMovie(Layout::Newer, true, false, "mp42")) &&
      WriteFile(dir + "/noindex.MP4", NovatekMovie(Layout::Classic, false, false, "mp42")) &&
      WriteFile(dir + "/scrambled.MP4", NovatekMovie(Layout::Classic, true, true, "mp42")) &&
      WriteFile(dir + "/twochannel.mp4", TwoChannelMovie()) &&
      WriteFile(dir + "/twochannel.gps", nmea) &&
      WriteFile(dir + "/talkers.nmea", TalkersNmea(false)) &&
      WriteFile(dir + "/sloppy.nmea", TalkersNmea(true)) &&
      WriteFile(dir + "/phone.gpx", PhoneGpx()) && WriteFile(dir + "/drive.csv", DriveCsv());
  if (!ok) {
    std::fprintf(stderr, "make_gps_files: cannot write into %s\n", dir.c_str());
    return 1;
  }
  return 0;
}
