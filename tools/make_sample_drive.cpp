// Writes a small drive the way the dash camera lays out its card:
//   OUT/DCIM/100MEDIA/AMBA0001.MOV ...  (H.264 + AAC in QuickTime)
//   OUT/GPS/GPS0001.txt ...             (one CRLF line per second, 20 fields)
// The clips show a moving test picture with the clip's name and its own time
// stamp burnt in, so a viewer sees where in a clip the player is and which
// way it moves. The route runs on continuously from one clip to the next.
// Every run writes the same bytes.
//
// --break-after K,... parks the car after clip K for kParkSeconds: the card
// then holds several drives, each starting from a stop and ending in one, and
// every movie's header carries its own clip's start time.
//
// --rear writes a two-camera card: each clip as AMBA0001F.MOV (front) and
// AMBA0001R.MOV (rear, another test picture), the GPS logs for the front
// files only, as cameras that keep the GPS with one channel do.
//
//   make_sample_drive OUT [--seconds 21,27,24] [--size 1280x720] [--fps 30] [--logs-only]
//                         [--break-after 2] [--rear]
#include <gst/gst.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "EncodePipeline.h"

namespace fs = std::filesystem;

namespace {

struct Options {
  fs::path out;
  std::vector<int> seconds{24, 32, 28};
  int width = 1280, height = 720, fps = 30;
  bool logsOnly = false;
  bool rear = false;
  std::vector<int> breakAfter;  // clip numbers (from 1) after which the car parks
};

// The drive starts on 2021/09/18 at 17:42:05; the camera writes local time.
constexpr int kYear = 2021, kMonth = 9, kDay = 18;
constexpr int kStartSecond = 17 * 3600 + 42 * 60 + 5;
// QuickTime times count from 1904-01-01; this is the same moment (as UTC).
constexpr std::uint64_t kQuickTimeStart = 1631986925ull + 2082844800ull;

constexpr double kPi = 3.14159265358979323846;

// How long the car stands between two drives of one card.
constexpr int kParkSeconds = 20 * 60;

bool ParksAfter(const Options& o, std::size_t clip) {
  return std::find(o.breakAfter.begin(), o.breakAfter.end(), static_cast<int>(clip) + 1) !=
         o.breakAfter.end();
}

// Seconds from the card's first clip to the start of each clip, parking included.
std::vector<int> ClipStarts(const Options& o) {
  std::vector<int> starts;
  int at = 0;
  for (std::size_t clip = 0; clip < o.seconds.size(); ++clip) {
    starts.push_back(at);
    at += o.seconds[clip] + (ParksAfter(o, clip) ? kParkSeconds : 0);
  }
  return starts;
}

// Speed in km/h over the drive's share u (0..1): parked, through town,
// onto the motorway at 130, and back down to a stop.
double SpeedAt(double u) {
  auto ramp = [](double u, double u0, double u1, double v0, double v1) {
    return v0 + (v1 - v0) * (u - u0) / (u1 - u0);
  };
  if (u < 0.05) return 0;
  if (u < 0.20) return ramp(u, 0.05, 0.20, 0, 60);
  if (u < 0.30) return 60;
  if (u < 0.50) return ramp(u, 0.30, 0.50, 60, 130);
  if (u < 0.72) return 130;
  if (u < 0.94) return ramp(u, 0.72, 0.94, 130, 0);
  return 0;
}

// Raw 16-bit tilt reading for a tilt of `v` units: negative tilts wrap to
// values just below 65536, as the sensor register holds them.
unsigned RawTilt(int v) {
  return v >= 0 ? static_cast<unsigned>(v) : static_cast<unsigned>(65536 + v);
}

void WriteLogs(const Options& o) {
  double lat = 31.230416, lon = 121.473701, meters = 0;
  int t = 0;
  // Each drive runs through the whole speed profile over its own clips.
  int driveFirstT = 0, driveTotal = 0;
  const std::vector<int> starts = ClipStarts(o);
  fs::create_directories(o.out / "GPS");
  for (std::size_t clip = 0; clip < o.seconds.size(); ++clip) {
    if (clip == 0 || ParksAfter(o, clip - 1)) {
      driveFirstT = t;
      driveTotal = 0;
      for (std::size_t k = clip; k < o.seconds.size(); ++k) {
        driveTotal += o.seconds[k];
        if (ParksAfter(o, k)) break;
      }
    }
    const int clockShift = starts[clip] - t;  // seconds parked before this clip
    char name[32];
    std::snprintf(name, sizeof name, o.rear ? "GPS%04zuF.txt" : "GPS%04zu.txt", clip + 1);
    const fs::path path = o.out / "GPS" / name;
    const fs::path tmp = path.string() + ".tmp";
    std::string text;
    for (int i = 0; i < o.seconds[clip]; ++i, ++t) {
      const double u =
          driveTotal > 1 ? static_cast<double>(t - driveFirstT) / (driveTotal - 1) : 0.0;
      const int speed = static_cast<int>(std::lround(SpeedAt(u)));
      const double heading = 30.0 + 40.0 * std::sin(2 * kPi * u);  // degrees from north
      const int sec = kStartSecond + t + clockShift;
      const int tilt1 = static_cast<int>(std::lround(120 * std::sin(t * 0.4)));
      const int tilt2 = static_cast<int>(std::lround(200 * std::sin(t * 0.23 + 1.0)));
      const int g1 = 200 + static_cast<int>(std::lround(60 * std::sin(t * 0.7))) + speed / 2;
      const int g2 = 150 + static_cast<int>(std::lround(40 * std::sin(t * 0.31 + 1)));
      const int g3 = 80 + (t * 7) % 50;
      char line[320];
      // Fields: 0 time, 1 lon, 2 lat, 3-5 graph channels, 6 satellites,
      // 7 HDOP x10, 8 altitude m, 9 heading, 10-11 raw tilt, 12-13 reserved,
      // 14 speed km/h, 15 fix, 16-17 reserved, 18 odometer m, 19 checksum.
      std::snprintf(
          line, sizeof line,
          "%04d/%02d/"
          "%02d-%02d:%02d:%02d,%.6f,%.6f,%d,%d,%d,%d,%d,%d,%d,%u,%u,0,0,%d,1,0,0,%d,%d\r\n",
          kYear, kMonth, kDay, sec / 3600 % 24, sec / 60 % 60, sec % 60, lon, lat, g1, g2, g3,
          7 + t % 5, 9 + t % 4, 4 + t % 3, static_cast<int>(std::lround(heading)) % 360,
          RawTilt(tilt1), RawTilt(tilt2), speed, 1520 + static_cast<int>(std::lround(meters)),
          (t * 31 + speed) % 256);
      text += line;
      // Move on by one second of driving.
      const double d = speed / 3.6;
      const double h = heading * kPi / 180;
      lat += d * std::cos(h) / 111320.0;
      lon += d * std::sin(h) / (111320.0 * std::cos(lat * kPi / 180));
      meters += d;
    }
    std::ofstream f(tmp, std::ios::binary);
    f << text;
    f.close();
    if (!f) throw std::runtime_error("cannot write " + tmp.string());
    fs::rename(tmp, path);
  }
}

// QuickTime boxes carry the time the file was made; they are set to the
// drive's own start so that every run gives the same bytes.
void FixTimes(std::vector<unsigned char>& d, std::size_t begin, std::size_t end,
              std::uint64_t stamp) {
  auto be32 = [&](std::size_t at) {
    return (std::uint32_t{d[at]} << 24) | (std::uint32_t{d[at + 1]} << 16) |
           (std::uint32_t{d[at + 2]} << 8) | d[at + 3];
  };
  auto put = [&](std::size_t at, std::uint64_t v, int bytes) {
    for (int i = bytes - 1; i >= 0; --i, v >>= 8) d[at + i] = static_cast<unsigned char>(v & 0xff);
  };
  std::size_t at = begin;
  while (at + 8 <= end) {
    std::uint64_t size = be32(at);
    const std::string type(reinterpret_cast<const char*>(&d[at + 4]), 4);
    std::size_t header = 8;
    if (size == 1 && at + 16 <= end) {
      size = (std::uint64_t{be32(at + 8)} << 32) | be32(at + 12);
      header = 16;
    } else if (size == 0) {
      size = end - at;
    }
    if (size < header || at + size > end) break;
    if (type == "moov" || type == "trak" || type == "mdia") {
      FixTimes(d, at + header, at + size, stamp);
    } else if ((type == "mvhd" || type == "tkhd" || type == "mdhd") && size >= header + 20) {
      const std::size_t body = at + header;
      if (d[body] == 1) {
        put(body + 4, stamp, 8);
        put(body + 12, stamp, 8);
      } else {
        put(body + 4, stamp, 4);
        put(body + 8, stamp, 4);
      }
    }
    at += size;
  }
}

bool HasElement(const char* name) {
  GstElementFactory* f = gst_element_factory_find(name);
  if (!f) return false;
  gst_object_unref(f);
  return true;
}

void WriteMovie(const Options& o, int clip, int seconds, std::uint64_t stamp,
                const fs::path& path, const char* channel = "") {
  const char* aac = HasElement("avenc_aac")  ? "avenc_aac"
                    : HasElement("voaacenc") ? "voaacenc"
                                             : nullptr;
  for (const char* e : {"x264enc", "qtmux", "timeoverlay", "videotestsrc"})
    if (!HasElement(e)) throw std::runtime_error(std::string("GStreamer element missing: ") + e);
  if (!aac) throw std::runtime_error("no AAC encoder (avenc_aac or voaacenc)");

  const fs::path tmp = path.string() + ".part";
  std::ostringstream desc;
  const int fontSize = std::max(10, o.height / 20);
  char label[32];
  std::snprintf(label, sizeof label, "AMBA%04d%s", clip + 1, channel);
  // Audio in buffers of 1/30 s, so that both streams end on the same frame.
  // A constant quantizer: x264's bit-rate control differs from run to run
  // when it uses threads, and the files must be the same every time.
  desc << "videotestsrc num-buffers=" << seconds * o.fps
       << (*channel == 'R' ? " pattern=ball" : " pattern=smpte75 horizontal-speed=3")
       << " ! video/x-raw,width=" << o.width
       << ",height=" << o.height << ",framerate=" << o.fps << "/1,format=I420"
       << " ! timeoverlay text=\"" << label
       << "\" halignment=left valignment=top font-desc=\"Sans Bold " << fontSize << "px\""
       << " ! x264enc speed-preset=ultrafast pass=quant quantizer=26 key-int-max=" << o.fps
       << " ! h264parse ! queue ! mux. audiotestsrc num-buffers=" << seconds * 30
       << " samplesperbuffer=1600 freq=" << 330 + 110 * clip
       << " volume=0.2 ! audio/x-raw,rate=48000,channels=2 ! audioconvert ! " << aac
       << " ! queue ! qtmux name=mux ! filesink location=\"" << tmp.string() << "\"";

  try {
    vantor::tools::EncodeToEnd(desc.str());
  } catch (const std::runtime_error& e) {
    throw std::runtime_error("encoding " + path.string() + ": " + e.what());
  }

  std::ifstream in(tmp, std::ios::binary);
  std::vector<unsigned char> data((std::istreambuf_iterator<char>(in)),
                                  std::istreambuf_iterator<char>());
  in.close();
  FixTimes(data, 0, data.size(), stamp);
  std::ofstream outFile(tmp, std::ios::binary | std::ios::trunc);
  outFile.write(reinterpret_cast<const char*>(data.data()),
                static_cast<std::streamsize>(data.size()));
  outFile.close();
  if (!outFile) throw std::runtime_error("cannot write " + tmp.string());
  fs::rename(tmp, path);
}

Options ParseArgs(int argc, char** argv) {
  Options o;
  if (argc < 2)
    throw std::runtime_error(
        "usage: make_sample_drive OUT [--seconds A,B,..] [--size WxH] [--fps N] [--logs-only] "
        "[--break-after K,..] [--rear]");
  o.out = argv[1];
  for (int i = 2; i < argc; ++i) {
    const std::string a = argv[i];
    auto next = [&]() -> std::string {
      if (i + 1 >= argc) throw std::runtime_error(a + " needs a value");
      return argv[++i];
    };
    if (a == "--seconds") {
      o.seconds.clear();
      std::stringstream ss(next());
      std::string part;
      while (std::getline(ss, part, ',')) o.seconds.push_back(std::stoi(part));
    } else if (a == "--size") {
      const std::string v = next();
      if (std::sscanf(v.c_str(), "%dx%d", &o.width, &o.height) != 2)
        throw std::runtime_error("bad --size " + v);
    } else if (a == "--fps") {
      o.fps = std::stoi(next());
    } else if (a == "--break-after") {
      std::stringstream ss(next());
      std::string part;
      while (std::getline(ss, part, ',')) o.breakAfter.push_back(std::stoi(part));
    } else if (a == "--rear") {
      o.rear = true;
    } else if (a == "--logs-only") {
      o.logsOnly = true;
    } else {
      throw std::runtime_error("unknown option " + a);
    }
  }
  if (o.seconds.empty() || o.width < 16 || o.height < 16 || o.fps < 1)
    throw std::runtime_error("bad options");
  for (int s : o.seconds)
    if (s < 1) throw std::runtime_error("clip lengths must be at least one second");
  for (int k : o.breakAfter)
    if (k < 1 || k >= static_cast<int>(o.seconds.size()))
      throw std::runtime_error("--break-after needs clip numbers before the last clip");
  return o;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    const Options o = ParseArgs(argc, argv);
    WriteLogs(o);
    if (o.logsOnly) return 0;
    gst_init(&argc, &argv);
    fs::create_directories(o.out / "DCIM" / "100MEDIA");
    const std::vector<int> starts = ClipStarts(o);
    for (std::size_t clip = 0; clip < o.seconds.size(); ++clip) {
      // A single drive keeps the one stamp it always had on every clip.
      const std::uint64_t stamp =
          kQuickTimeStart + (o.breakAfter.empty() ? 0 : static_cast<std::uint64_t>(starts[clip]));
      for (const char* channel : o.rear ? std::vector<const char*>{"F", "R"}
                                        : std::vector<const char*>{""}) {
        char name[32];
        std::snprintf(name, sizeof name, "AMBA%04zu%s.MOV", clip + 1, channel);
        WriteMovie(o, static_cast<int>(clip), o.seconds[clip], stamp,
                   o.out / "DCIM" / "100MEDIA" / name, channel);
      }
    }
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "make_sample_drive: %s\n", e.what());
    return 1;
  }
}
