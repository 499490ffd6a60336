// Draws the speed gauge pictures and writes them as "<outdir>/<id>.png": thirty
// in km/h (IDs 186..215, one per band of 10 km/h, a scale to 300) and nineteen
// in mph (IDs 1186..1204, bands of 10 mph, a scale to 180), 227 x 164 each.
// Run at build time; the look follows the window's dark artwork: a dark dial
// face, a lit arc up to the speed, a red zone, a needle and a digital readout.
//
// Usage: gen_speed_gauges <outdir>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int kWidth = 227, kHeight = 164;
constexpr int kSS = 4;  // supersampling per axis: smooth edges without a drawing library
constexpr double kPi = 3.14159265358979323846;

struct Rgb {
  double r, g, b;
};

Rgb Hex(unsigned v) {
  return {double(v >> 16 & 255), double(v >> 8 & 255), double(v & 255)};
}

class Canvas {
 public:
  Canvas() : px_(size_t(kWidth) * kSS * kHeight * kSS) {}

  // Paints every subsample of the box (in picture pixels) where `inside`
  // holds, blending `color` with `alpha`.
  void Fill(double x0, double y0, double x1, double y1,
            const std::function<bool(double, double)>& inside, Rgb color, double alpha = 1.0) {
    const int sx0 = std::max(0, int(std::floor(x0 * kSS))),
              sy0 = std::max(0, int(std::floor(y0 * kSS)));
    const int sx1 = std::min(kWidth * kSS - 1, int(std::ceil(x1 * kSS))),
              sy1 = std::min(kHeight * kSS - 1, int(std::ceil(y1 * kSS)));
    for (int sy = sy0; sy <= sy1; ++sy)
      for (int sx = sx0; sx <= sx1; ++sx) {
        const double x = (sx + 0.5) / kSS, y = (sy + 0.5) / kSS;
        if (!inside(x, y)) continue;
        Rgb& p = px_[size_t(sy) * kWidth * kSS + sx];
        p.r += (color.r - p.r) * alpha;
        p.g += (color.g - p.g) * alpha;
        p.b += (color.b - p.b) * alpha;
      }
  }

  void Shade(const std::function<Rgb(double, double)>& f) {
    for (int sy = 0; sy < kHeight * kSS; ++sy)
      for (int sx = 0; sx < kWidth * kSS; ++sx)
        px_[size_t(sy) * kWidth * kSS + sx] = f((sx + 0.5) / kSS, (sy + 0.5) / kSS);
  }

  std::vector<std::uint8_t> Pixels() const {
    std::vector<std::uint8_t> out(size_t(kWidth) * kHeight * 3);
    for (int y = 0; y < kHeight; ++y)
      for (int x = 0; x < kWidth; ++x) {
        double r = 0, g = 0, b = 0;
        for (int j = 0; j < kSS; ++j)
          for (int i = 0; i < kSS; ++i) {
            const Rgb& p = px_[size_t(y * kSS + j) * kWidth * kSS + x * kSS + i];
            r += p.r, g += p.g, b += p.b;
          }
        const double n = kSS * kSS;
        std::uint8_t* o = &out[(size_t(y) * kWidth + x) * 3];
        o[0] = std::uint8_t(std::clamp(std::lround(r / n), 0L, 255L));
        o[1] = std::uint8_t(std::clamp(std::lround(g / n), 0L, 255L));
        o[2] = std::uint8_t(std::clamp(std::lround(b / n), 0L, 255L));
      }
    return out;
  }

 private:
  std::vector<Rgb> px_;
};

// Dial geometry: 0 at the lower left, the scale's end at the lower right, clockwise.
constexpr double kCx = 113.5, kCy = 88.0, kR = 78.0;
constexpr double kStartDeg = 225.0, kSweepDeg = 270.0;

// What a dial's scale reads.
struct Scale {
  const char* unit;
  int firstId, count;
  int max;        // the scale's end
  int redFrom;    // where the red zone starts
  int labelEvery;
};
constexpr Scale kKmh{"km/h", 186, 30, 300, 220, 40};
constexpr Scale kMph{"mph", 1186, 19, 180, 140, 20};
double kMaxSpeed = 300.0;  // of the scale being drawn

double SpeedAngle(double speed) {
  return (kStartDeg - kSweepDeg * speed / kMaxSpeed) * kPi / 180;
}

// Angle of a point measured like SpeedAngle, as a speed (may fall outside 0..300).
double PointSpeed(double x, double y) {
  double deg = std::atan2(kCy - y, x - kCx) * 180 / kPi;  // -180..180, y up
  double d = kStartDeg - deg;                             // clockwise from the start
  while (d < 0) d += 360;
  while (d >= 360) d -= 360;
  if (d > kSweepDeg + (360 - kSweepDeg) / 2) d -= 360;  // just before 0 reads as negative
  return d / kSweepDeg * kMaxSpeed;
}

double Dist(double x, double y) {
  return std::hypot(x - kCx, y - kCy);
}

void Disc(Canvas& c, double cx, double cy, double r, Rgb col, double a = 1.0) {
  c.Fill(
      cx - r, cy - r, cx + r, cy + r,
      [=](double x, double y) { return std::hypot(x - cx, y - cy) <= r; }, col, a);
}

// A band of the dial between two radii and two speeds.
void Arc(Canvas& c, double r0, double r1, double s0, double s1, Rgb col, double a = 1.0) {
  c.Fill(
      kCx - r1, kCy - r1, kCx + r1, kCy + r1,
      [=](double x, double y) {
        const double d = Dist(x, y);
        if (d < r0 || d > r1) return false;
        const double s = PointSpeed(x, y);
        return s >= s0 && s <= s1;
      },
      col, a);
}

// A thick segment with square ends.
void Segment(Canvas& c, double x0, double y0, double x1, double y1, double w, Rgb col) {
  const double dx = x1 - x0, dy = y1 - y0, len = std::hypot(dx, dy);
  c.Fill(
      std::min(x0, x1) - w, std::min(y0, y1) - w, std::max(x0, x1) + w, std::max(y0, y1) + w,
      [=](double x, double y) {
        const double t = ((x - x0) * dx + (y - y0) * dy) / (len * len);
        if (t < 0 || t > 1) return false;
        return std::fabs((x - x0) * dy - (y - y0) * dx) / len <= w / 2;
      },
      col);
}

// A tapered needle from the hub (width w0) to the tip (width w1), with a tail.
void Needle(Canvas& c, double angle, double len, double tail, double w0, double w1, Rgb col) {
  const double ux = std::cos(angle), uy = -std::sin(angle);
  c.Fill(
      kCx - len - 2, kCy - len - 2, kCx + len + 2, kCy + len + 2,
      [=](double x, double y) {
        const double along = (x - kCx) * ux + (y - kCy) * uy;
        const double across = std::fabs((x - kCx) * uy - (y - kCy) * ux);
        if (along < -tail || along > len) return false;
        const double t = std::max(0.0, along) / len;
        return across <= (w0 + (w1 - w0) * t) / 2;
      },
      col);
}

// 5 x 7 glyphs of the few characters the gauge writes.
const std::array<const char*, 7>* Glyph(char ch) {
  static const std::array<const char*, 7> digits[10] = {
      {"01110", "10001", "10011", "10101", "11001", "10001", "01110"},
      {"00100", "01100", "00100", "00100", "00100", "00100", "01110"},
      {"01110", "10001", "00001", "00010", "00100", "01000", "11111"},
      {"11111", "00010", "00100", "00010", "00001", "10001", "01110"},
      {"00010", "00110", "01010", "10010", "11111", "00010", "00010"},
      {"11111", "10000", "11110", "00001", "00001", "10001", "01110"},
      {"00110", "01000", "10000", "11110", "10001", "10001", "01110"},
      {"11111", "00001", "00010", "00100", "01000", "01000", "01000"},
      {"01110", "10001", "10001", "01110", "10001", "10001", "01110"},
      {"01110", "10001", "10001", "01111", "00001", "00010", "01100"}};
  static const std::array<const char*, 7> k = {"10000", "10000", "10010", "10100",
                                               "11000", "10100", "10010"};
  static const std::array<const char*, 7> m = {"00000", "00000", "11010", "10101",
                                               "10101", "10101", "10101"};
  static const std::array<const char*, 7> h = {"10000", "10000", "10110", "11001",
                                               "10001", "10001", "10001"};
  static const std::array<const char*, 7> p = {"00000", "11110", "10001", "10001",
                                               "11110", "10000", "10000"};
  static const std::array<const char*, 7> slash = {"00001", "00010", "00010", "00100",
                                                   "01000", "01000", "10000"};
  if (ch >= '0' && ch <= '9') return &digits[ch - '0'];
  if (ch == 'k') return &k;
  if (ch == 'm') return &m;
  if (ch == 'h') return &h;
  if (ch == 'p') return &p;
  if (ch == '/') return &slash;
  return nullptr;
}

// Text centred on (cx, cy) with cells of `s` pixels.
void Text(Canvas& c, const std::string& text, double cx, double cy, double s, Rgb col) {
  const double width = (6.0 * text.size() - 1) * s;
  double x = cx - width / 2;
  const double y = cy - 3.5 * s;
  for (char ch : text) {
    if (const auto* g = Glyph(ch)) {
      for (int row = 0; row < 7; ++row)
        for (int colm = 0; colm < 5; ++colm)
          if ((*g)[row][colm] == '1') {
            const double x0 = x + colm * s, y0 = y + row * s;
            c.Fill(
                x0, y0, x0 + s, y0 + s,
                [=](double px, double py) {
                  return px >= x0 && px < x0 + s && py >= y0 && py < y0 + s;
                },
                col);
          }
    }
    x += 6 * s;
  }
}

void DrawGauge(Canvas& c, int speed, const Scale& scale) {
  kMaxSpeed = scale.max;
  const int red = scale.redFrom, top = scale.max;
  // Background: the window's dark grey, a little lighter at the top.
  c.Shade([](double, double y) {
    const double t = y / kHeight;
    return Rgb{42 - 20 * t, 42 - 20 * t, 44 - 20 * t};
  });
  // Bezel and face.
  Disc(c, kCx, kCy, kR + 4, Hex(0x0c0c0c));
  c.Fill(
      kCx - kR - 3, kCy - kR - 3, kCx + kR + 3, kCy + kR + 3,
      [](double x, double y) { return Dist(x, y) <= kR + 3; }, Hex(0x6a6e73));
  Disc(c, kCx, kCy, kR, Hex(0x161719));
  c.Fill(
      kCx - kR, kCy - kR, kCx + kR, kCy,
      [](double x, double y) { return Dist(x, y) <= kR && y < kCy - 0.25 * (x - kCx); },
      Hex(0x2a2d31), 0.35);  // soft glare on the upper face

  // Scale band: dim track, lit up to the speed, red zone at the top.
  constexpr double kBand0 = kR - 9, kBand1 = kR - 4;
  Arc(c, kBand0, kBand1, 0, red, Hex(0x26313b));
  Arc(c, kBand0, kBand1, red, top, Hex(0x4a1d1a));
  Arc(c, kBand0, kBand1, 0, std::min(speed, red), Hex(0x2fb4ff));
  if (speed > red) Arc(c, kBand0, kBand1, red, std::min(speed, top), Hex(0xff4a2a));

  // Ticks every 10, longer every 20, labels as the scale has them.
  for (int s = 0; s <= top; s += 10) {
    const double a = SpeedAngle(s), ca = std::cos(a), sa = -std::sin(a);
    const bool major = s % 20 == 0;
    const double r1 = kBand0 - 2, r0 = r1 - (major ? 8 : 4);
    const Rgb col = s >= red ? Hex(0xff6a4a) : major ? Hex(0xe6e6e6) : Hex(0x8c939a);
    Segment(c, kCx + r0 * ca, kCy + r0 * sa, kCx + r1 * ca, kCy + r1 * sa, major ? 1.8 : 1.1, col);
    if (s % scale.labelEvery == 0) {
      const double rl = r0 - 9;
      Text(c, std::to_string(s), kCx + rl * ca, kCy + rl * sa, 1.0,
           s >= red ? Hex(0xff7a5a) : Hex(0xc8cdd2));
    }
  }

  // Readout under the hub.
  c.Fill(
      kCx - 24, kCy + 24, kCx + 24, kCy + 52,
      [](double x, double y) {
        return x >= kCx - 23 && x <= kCx + 23 && y >= kCy + 25 && y <= kCy + 51;
      },
      Hex(0x0a0b0c));
  Text(c, std::to_string(speed), kCx, kCy + 34, 2.0, Hex(0xf2f4f6));
  Text(c, scale.unit, kCx, kCy + 46.5, 0.8, Hex(0x8c939a));

  // Needle and hub.
  Needle(c, SpeedAngle(std::min(speed, top)), kBand0 - 1, 12, 4.5, 1.4, Hex(0xff5a1f));
  Disc(c, kCx, kCy, 7, Hex(0x3a3d41));
  Disc(c, kCx, kCy, 5.5, Hex(0x202224));
  Disc(c, kCx, kCy, 2.5, Hex(0xff5a1f));
}

void PutU32(std::vector<std::uint8_t>& v, std::uint32_t x) {
  for (int i = 3; i >= 0; --i) v.push_back(std::uint8_t(x >> (8 * i)));
}

void Chunk(std::vector<std::uint8_t>& png, const char* type,
           const std::vector<std::uint8_t>& data) {
  PutU32(png, std::uint32_t(data.size()));
  std::vector<std::uint8_t> body(type, type + 4);
  body.insert(body.end(), data.begin(), data.end());
  png.insert(png.end(), body.begin(), body.end());
  PutU32(png, std::uint32_t(crc32(0, body.data(), uInt(body.size()))));
}

bool WritePng(const std::string& path, const std::vector<std::uint8_t>& rgb) {
  std::vector<std::uint8_t> raw;
  raw.reserve(size_t(kHeight) * (kWidth * 3 + 1));
  for (int y = 0; y < kHeight; ++y) {
    raw.push_back(0);  // no row filter
    raw.insert(raw.end(), rgb.begin() + size_t(y) * kWidth * 3,
               rgb.begin() + size_t(y + 1) * kWidth * 3);
  }
  uLongf zlen = compressBound(uLong(raw.size()));
  std::vector<std::uint8_t> z(zlen);
  if (compress2(z.data(), &zlen, raw.data(), uLong(raw.size()), 9) != Z_OK) return false;
  z.resize(zlen);

  std::vector<std::uint8_t> png = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
  std::vector<std::uint8_t> ihdr;
  PutU32(ihdr, kWidth);
  PutU32(ihdr, kHeight);
  ihdr.insert(ihdr.end(), {8, 2, 0, 0, 0});  // 8-bit RGB
  Chunk(png, "IHDR", ihdr);
  Chunk(png, "IDAT", z);
  Chunk(png, "IEND", {});

  const std::string part = path + ".part";
  std::FILE* f = std::fopen(part.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(png.data(), 1, png.size(), f) == png.size();
  if (std::fclose(f) != 0 || !ok) return false;
  return std::rename(part.c_str(), path.c_str()) == 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
    return 2;
  }
  std::error_code ec;
  std::filesystem::create_directories(argv[1], ec);
  for (const Scale& scale : {kKmh, kMph}) {
    for (int i = 0; i < scale.count; ++i) {
      Canvas c;
      DrawGauge(c, 10 * i, scale);
      const std::string path =
          std::string(argv[1]) + "/" + std::to_string(scale.firstId + i) + ".png";
      if (!WritePng(path, c.Pixels())) {
        std::fprintf(stderr, "gen_speed_gauges: cannot write %s\n", path.c_str());
        return 1;
      }
    }
  }
  return 0;
}
