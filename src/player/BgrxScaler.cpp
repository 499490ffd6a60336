#include "player/BgrxScaler.h"

#include <gst/video/gstvideofilter.h>
#include <gst/video/video.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>

#if defined(__x86_64__)
#include <immintrin.h>
#define VANTOR_BGRX_VECTORS 1
#endif

// The element's pixels go from its streaming thread to the appsink's reader
// through GStreamer's own queues and locks, futexes in uninstrumented code
// that ThreadSanitizer cannot see. So the code that writes pixels is left
// unchecked as GStreamer's own elements are; the element's shared state (the
// size set from other threads) stays checked.
#define VANTOR_PIXELS __attribute__((no_sanitize("thread")))

namespace vantor::player::bgrx {

namespace {
constexpr int kOne = 1 << 7;  // a weight of 1 in Q7
}  // namespace

Filter TriangleFilter(int inSize, int outSize, double scale, int multiple) {
  Filter filter;
  if (inSize <= 0 || outSize <= 0 || multiple <= 0) return filter;
  const double radius = std::max(1.0, scale);
  auto centre = [&](int o) { return (o + 0.5) * scale - 0.5; };
  // Sources strictly inside the radius have a weight; the ends have none.
  auto lowest = [&](int o) { return int(std::floor(centre(o) - radius)) + 1; };
  auto highest = [&](int o) { return int(std::ceil(centre(o) + radius)) - 1; };
  int most = 1;
  for (int o = 0; o < outSize; ++o) most = std::max(most, highest(o) - lowest(o) + 1);
  filter.taps = (most + multiple - 1) / multiple * multiple;
  filter.first.resize(std::size_t(outSize));
  filter.weights.assign(std::size_t(outSize) * filter.taps, 0);
  std::vector<double> exact(std::size_t(filter.taps));
  for (int o = 0; o < outSize; ++o) {
    const int start = std::clamp(lowest(o), 0, std::max(0, inSize - filter.taps));
    std::fill(exact.begin(), exact.end(), 0.0);
    double sum = 0;
    for (int i = lowest(o); i <= highest(o); ++i) {
      const double w = 1.0 - std::abs(i - centre(o)) / radius;
      if (w <= 0) continue;
      exact[std::size_t(std::clamp(i, 0, inSize - 1) - start)] += w;
      sum += w;
    }
    std::int8_t* q = &filter.weights[std::size_t(o) * filter.taps];
    int total = 0, largest = 0;
    for (int k = 0; k < filter.taps; ++k) {
      q[k] = std::int8_t(std::min(127L, std::lround(exact[std::size_t(k)] / sum * kOne)));
      total += q[k];
      if (q[k] > q[largest]) largest = k;
    }
    // Rounded weights that do not add up to one would tint flat areas. A
    // byte holds at most 127/128, so a sample that has all the weight
    // lends 1/128 of it to its neighbour.
    int rest = kOne - total;
    for (int k = largest; rest != 0; k = k + 1 < filter.taps ? k + 1 : 0) {
      const int room = rest > 0 ? 127 - q[k] : -q[k];
      const int step = rest > 0 ? std::min(rest, room) : std::max(rest, room);
      q[k] = std::int8_t(q[k] + step);
      rest -= step;
    }
    filter.first[std::size_t(o)] = start;
  }
  if (filter.taps == 4) {
    for (int o = 0; o + 4 <= outSize; o += 4)
      for (int j = 0; j < 4; ++j)
        for (int k = 0; k < 4; ++k) {
          const int at = filter.first[std::size_t(o + j)] - filter.first[std::size_t(o)] + k;
          if (at >= 16) {
            filter.gather.clear();
            return filter;
          }
          filter.gather.push_back(std::uint8_t(at));
        }
  }
  return filter;
}

VANTOR_PIXELS void VerticalPassPlain(const std::uint8_t* const* rows, const std::int8_t* weights,
                                     int taps, int width, std::uint8_t* out) {
  for (int x = 0; x < width; ++x) {
    int sum = kOne / 2;
    for (int k = 0; k < taps; ++k) sum += rows[k][x] * weights[k];
    out[x] = std::uint8_t(sum >> 7);
  }
}

namespace {
VANTOR_PIXELS std::int16_t HorizontalOne(const std::uint8_t* in, const Filter& filter, int o) {
  const std::uint8_t* from = in + filter.first[std::size_t(o)];
  const std::int8_t* w = &filter.weights[std::size_t(o) * filter.taps];
  int sum = 1;
  for (int k = 0; k < filter.taps; ++k) sum += from[k] * w[k];
  return std::int16_t(sum >> 1);
}
}  // namespace

VANTOR_PIXELS void HorizontalPassPlain(const std::uint8_t* in, const Filter& filter,
                                       std::int16_t* out) {
  const int count = int(filter.first.size());
  for (int o = 0; o < count; ++o) out[o] = HorizontalOne(in, filter, o);
}

Matrix MakeMatrix(double kr, double kb, bool fullRange) {
  const double kg = 1.0 - kr - kb;
  const double luma = fullRange ? 1.0 : 255.0 / 219.0;
  const double chroma = fullRange ? 1.0 : 255.0 / 224.0;
  const double coefficients[5] = {luma, 2 * (1 - kr) * chroma, 2 * kb * (1 - kb) / kg * chroma,
                                  2 * kr * (1 - kr) / kg * chroma, 2 * (1 - kb) * chroma};
  Matrix m{};
  m.lumaOffset = std::int16_t(fullRange ? 0 : 16 * 64);
  for (int i = 0; i < 5; ++i) {
    const long whole = std::lround(coefficients[i]);
    m.whole[i] = std::int16_t(whole);
    m.fraction[i] =
        std::int16_t(std::clamp(std::lround((coefficients[i] - whole) * 65536), -32768L, 32767L));
  }
  return m;
}

namespace {

std::int16_t Wrap(int v) {
  return std::int16_t(std::uint16_t(v));
}
std::int16_t Saturate(int v) {
  return std::int16_t(std::clamp(v, -32768, 32767));
}
std::int16_t Times(std::int16_t x, const Matrix& m, int i) {
  return Wrap(Wrap(x * m.whole[i]) + ((x * m.fraction[i]) >> 16));
}
std::uint8_t ToByte(std::int16_t v) {
  return std::uint8_t(std::clamp(Saturate(v + 32) >> 6, 0, 255));
}

}  // namespace

VANTOR_PIXELS void ConvertRowPlain(const std::int16_t* y, const std::int16_t* u,
                                   const std::int16_t* v, int count, const Matrix& m,
                                   std::uint8_t* bgrx) {
  for (int n = 0; n < count; ++n) {
    const std::int16_t cb = Wrap(u[n] - 8192), cr = Wrap(v[n] - 8192);
    const std::int16_t l = Times(Wrap(y[n] - m.lumaOffset), m, 0);
    const std::int16_t r = Saturate(l + Times(cr, m, 1));
    const std::int16_t g = Saturate(Saturate(l - Times(cb, m, 2)) - Times(cr, m, 3));
    const std::int16_t b = Saturate(l + Times(cb, m, 4));
    bgrx[4 * n] = ToByte(b);
    bgrx[4 * n + 1] = ToByte(g);
    bgrx[4 * n + 2] = ToByte(r);
    bgrx[4 * n + 3] = 0;
  }
}

#if defined(VANTOR_BGRX_VECTORS)

namespace {

__attribute__((target("ssse3"))) VANTOR_PIXELS void VerticalSsse3(const std::uint8_t* const* rows,
                                                                  const std::int8_t* weights,
                                                                  int taps, int width,
                                                                  std::uint8_t* out) {
  // Two rows at a time: their samples interleaved meet their two weights in
  // one multiply-add. The sums stay within 16 bits: 255 times weights that
  // add up to 128.
  __m128i pairs[kMaxTaps / 2];
  for (int k = 0; k < taps; k += 2)
    pairs[k / 2] = _mm_set1_epi16(
        std::int16_t(std::uint8_t(weights[k]) | std::uint16_t(std::uint8_t(weights[k + 1])) << 8));
  const __m128i half = _mm_set1_epi16(kOne / 2);
  int x = 0;
  for (; x + 16 <= width; x += 16) {
    __m128i low = half, high = half;
    for (int k = 0; k < taps; k += 2) {
      const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[k] + x));
      const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(rows[k + 1] + x));
      low = _mm_add_epi16(low, _mm_maddubs_epi16(_mm_unpacklo_epi8(a, b), pairs[k / 2]));
      high = _mm_add_epi16(high, _mm_maddubs_epi16(_mm_unpackhi_epi8(a, b), pairs[k / 2]));
    }
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x),
                     _mm_packus_epi16(_mm_srli_epi16(low, 7), _mm_srli_epi16(high, 7)));
  }
  if (x < width) {
    const std::uint8_t* rest[kMaxTaps];
    for (int k = 0; k < taps; ++k) rest[k] = rows[k] + x;
    VerticalPassPlain(rest, weights, taps, width - x, out + x);
  }
}

// The two tap pairs of outputs at..at+3 of a four-tap filter, gathered with
// one shuffle.
__attribute__((target("ssse3"))) VANTOR_PIXELS inline __m128i FourOutputs(
    const std::uint8_t* in, const int* first, const std::uint8_t* gather,
    const std::int8_t* weights, int at) {
  const auto load = [](const void* p) { return _mm_loadu_si128(static_cast<const __m128i*>(p)); };
  return _mm_maddubs_epi16(_mm_shuffle_epi8(load(in + first[at]), load(gather + 4 * at)),
                           load(weights + 4 * at));
}

// Outputs from `from` on (a multiple of four).
__attribute__((target("ssse3"))) VANTOR_PIXELS void HorizontalSsse3(int from,
                                                                    const std::uint8_t* in,
                                                                    const Filter& filter,
                                                                    std::int16_t* out) {
  const int taps = filter.taps;
  const int count = int(filter.first.size());
  const int* first = filter.first.data();
  const std::int8_t* weights = filter.weights.data();
  auto four = [](const void* p) {
    std::int32_t v;
    std::memcpy(&v, p, 4);
    return _mm_cvtsi32_si128(v);
  };
  // Four taps of four outputs, from the weights laid out output by output.
  auto quad = [&](const void* p0, const void* p1, const void* p2, const void* p3) {
    return _mm_unpacklo_epi64(_mm_unpacklo_epi32(four(p0), four(p1)),
                              _mm_unpacklo_epi32(four(p2), four(p3)));
  };
  const __m128i one = _mm_set1_epi16(1);
  int o = from;
  if (!filter.gather.empty()) {
    const std::uint8_t* gather = filter.gather.data();
    for (; o + 8 <= count; o += 8) {
      const __m128i q7 = _mm_hadd_epi16(FourOutputs(in, first, gather, weights, o),
                                        FourOutputs(in, first, gather, weights, o + 4));
      _mm_storeu_si128(reinterpret_cast<__m128i*>(out + o),
                       _mm_srai_epi16(_mm_add_epi16(q7, one), 1));
    }
  }
  // Eight outputs at a time; each multiply-add leaves two sums of two taps
  // per output, added together by the horizontal add.
  for (; o + 8 <= count; o += 8) {
    const std::int8_t* w = weights + std::size_t(o) * taps;
    __m128i front = _mm_setzero_si128(), back = _mm_setzero_si128();
    for (int g = 0; g < taps; g += 4) {
      const __m128i wf = taps == 4 ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(w))
                                   : quad(w + g, w + taps + g, w + 2 * taps + g, w + 3 * taps + g);
      const std::int8_t* wb4 = w + 4 * taps;
      const __m128i wb =
          taps == 4 ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(wb4))
                    : quad(wb4 + g, wb4 + taps + g, wb4 + 2 * taps + g, wb4 + 3 * taps + g);
      front =
          _mm_add_epi16(front, _mm_maddubs_epi16(quad(in + first[o] + g, in + first[o + 1] + g,
                                                      in + first[o + 2] + g, in + first[o + 3] + g),
                                                 wf));
      back =
          _mm_add_epi16(back, _mm_maddubs_epi16(quad(in + first[o + 4] + g, in + first[o + 5] + g,
                                                     in + first[o + 6] + g, in + first[o + 7] + g),
                                                wb));
    }
    const __m128i q7 = _mm_hadd_epi16(front, back);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + o),
                     _mm_srai_epi16(_mm_add_epi16(q7, one), 1));
  }
  for (; o < count; ++o) out[o] = HorizontalOne(in, filter, o);
}

VANTOR_PIXELS void VerticalSsse3Any(const std::uint8_t* const* rows, const std::int8_t* weights,
                                    int taps, int width, std::uint8_t* out) {
  if (taps % 2 || taps > kMaxTaps) return VerticalPassPlain(rows, weights, taps, width, out);
  VerticalSsse3(rows, weights, taps, width, out);
}

VANTOR_PIXELS void HorizontalSsse3Any(const std::uint8_t* in, const Filter& filter,
                                      std::int16_t* out) {
  if (filter.taps % 4) return HorizontalPassPlain(in, filter, out);
  HorizontalSsse3(0, in, filter, out);
}

VANTOR_PIXELS void ConvertSse2(const std::int16_t* y, const std::int16_t* u, const std::int16_t* v,
                               int count, const Matrix& m, std::uint8_t* bgrx) {
  __m128i whole[5], fraction[5];
  for (int i = 0; i < 5; ++i) {
    whole[i] = _mm_set1_epi16(m.whole[i]);
    fraction[i] = _mm_set1_epi16(m.fraction[i]);
  }
  auto times = [&](__m128i x, int i) {
    return _mm_add_epi16(_mm_mullo_epi16(x, whole[i]), _mm_mulhi_epi16(x, fraction[i]));
  };
  const __m128i offset = _mm_set1_epi16(m.lumaOffset);
  const __m128i mid = _mm_set1_epi16(8192);
  const __m128i half = _mm_set1_epi16(32);
  const __m128i zero = _mm_setzero_si128();
  auto load = [](const std::int16_t* p) {
    return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  };
  auto bytes = [&](__m128i v) {
    return _mm_packus_epi16(_mm_srai_epi16(_mm_adds_epi16(v, half), 6), zero);
  };
  int n = 0;
  for (;; n += 8) {
    // The last eight pixels again, overlapping ones already made, rather
    // than a slow tail.
    if (n + 8 > count) {
      if (count < 8 || n == count) break;
      n = count - 8;
    }
    const __m128i cb = _mm_sub_epi16(load(u + n), mid);
    const __m128i cr = _mm_sub_epi16(load(v + n), mid);
    const __m128i l = times(_mm_sub_epi16(load(y + n), offset), 0);
    const __m128i r = _mm_adds_epi16(l, times(cr, 1));
    const __m128i g = _mm_subs_epi16(_mm_subs_epi16(l, times(cb, 2)), times(cr, 3));
    const __m128i b = _mm_adds_epi16(l, times(cb, 4));
    const __m128i bg = _mm_unpacklo_epi8(bytes(b), bytes(g));
    const __m128i rx = _mm_unpacklo_epi8(bytes(r), zero);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(bgrx + 4 * n), _mm_unpacklo_epi16(bg, rx));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(bgrx + 4 * n + 16), _mm_unpackhi_epi16(bg, rx));
    if (n + 8 == count) return;
  }
  ConvertRowPlain(y + n, u + n, v + n, count - n, m, bgrx + 4 * n);
}

// The same kernels on 256-bit registers, twice the samples an instruction.
// Their halves work apart (shuffles, packs and horizontal adds stay within
// 128 bits), so the results are put back in order before they are stored.
#define VANTOR_AVX2 __attribute__((target("avx2"))) VANTOR_PIXELS

VANTOR_AVX2 inline __m256i Load256(const void* p) {
  return _mm256_loadu_si256(static_cast<const __m256i*>(p));
}

VANTOR_AVX2 void VerticalAvx2(const std::uint8_t* const* rows, const std::int8_t* weights, int taps,
                              int width, std::uint8_t* out) {
  __m256i pairs[kMaxTaps / 2];
  for (int k = 0; k < taps; k += 2)
    pairs[k / 2] = _mm256_set1_epi16(
        std::int16_t(std::uint8_t(weights[k]) | std::uint16_t(std::uint8_t(weights[k + 1])) << 8));
  const __m256i half = _mm256_set1_epi16(kOne / 2);
  int x = 0;
  for (; x + 32 <= width; x += 32) {
    __m256i low = half, high = half;
    for (int k = 0; k < taps; k += 2) {
      const __m256i a = Load256(rows[k] + x), b = Load256(rows[k + 1] + x);
      low = _mm256_add_epi16(low, _mm256_maddubs_epi16(_mm256_unpacklo_epi8(a, b), pairs[k / 2]));
      high = _mm256_add_epi16(high, _mm256_maddubs_epi16(_mm256_unpackhi_epi8(a, b), pairs[k / 2]));
    }
    // unpacklo/hi and the pack undo each other's order within each half.
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x),
                        _mm256_packus_epi16(_mm256_srli_epi16(low, 7), _mm256_srli_epi16(high, 7)));
  }
  if (x < width) {
    const std::uint8_t* rest[kMaxTaps];
    for (int k = 0; k < taps; ++k) rest[k] = rows[k] + x;
    VerticalSsse3(rest, weights, taps, width - x, out + x);
  }
}

VANTOR_PIXELS void VerticalAvx2Any(const std::uint8_t* const* rows, const std::int8_t* weights,
                                   int taps, int width, std::uint8_t* out) {
  if (taps % 2 || taps > kMaxTaps) return VerticalPassPlain(rows, weights, taps, width, out);
  VerticalAvx2(rows, weights, taps, width, out);
}

// Outputs at..at+3 in the low half and at+4..at+7 in the high one: their tap
// pairs, gathered as FourOutputs does.
VANTOR_AVX2 inline __m256i EightOutputs(const std::uint8_t* in, const int* first,
                                        const std::uint8_t* gather, const std::int8_t* weights,
                                        int at) {
  const __m256i samples = _mm256_inserti128_si256(
      _mm256_castsi128_si256(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + first[at]))),
      _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + first[at + 4])), 1);
  return _mm256_maddubs_epi16(_mm256_shuffle_epi8(samples, Load256(gather + 4 * at)),
                              Load256(weights + 4 * at));
}

VANTOR_AVX2 void HorizontalAvx2(const std::uint8_t* in, const Filter& filter, std::int16_t* out) {
  const int count = int(filter.first.size());
  const int* first = filter.first.data();
  const std::uint8_t* gather = filter.gather.data();
  const std::int8_t* weights = filter.weights.data();
  const __m256i one = _mm256_set1_epi16(1);
  int o = 0;
  for (; o + 16 <= count; o += 16) {
    // The horizontal add leaves outputs 0-3, 8-11 | 4-7, 12-15.
    const __m256i q7 =
        _mm256_permute4x64_epi64(_mm256_hadd_epi16(EightOutputs(in, first, gather, weights, o),
                                                   EightOutputs(in, first, gather, weights, o + 8)),
                                 _MM_SHUFFLE(3, 1, 2, 0));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + o),
                        _mm256_srai_epi16(_mm256_add_epi16(q7, one), 1));
  }
  HorizontalSsse3(o, in, filter, out);
}

VANTOR_PIXELS void HorizontalAvx2Any(const std::uint8_t* in, const Filter& filter,
                                     std::int16_t* out) {
  if (filter.taps % 4) return HorizontalPassPlain(in, filter, out);
  if (filter.gather.empty()) return HorizontalSsse3(0, in, filter, out);
  HorizontalAvx2(in, filter, out);
}

VANTOR_AVX2 inline __m256i Times256(__m256i x, __m256i whole, __m256i fraction) {
  return _mm256_add_epi16(_mm256_mullo_epi16(x, whole), _mm256_mulhi_epi16(x, fraction));
}

VANTOR_AVX2 inline __m256i Bytes256(__m256i v) {
  return _mm256_packus_epi16(_mm256_srai_epi16(_mm256_adds_epi16(v, _mm256_set1_epi16(32)), 6),
                             _mm256_setzero_si256());
}

VANTOR_AVX2 void ConvertAvx2(const std::int16_t* y, const std::int16_t* u, const std::int16_t* v,
                             int count, const Matrix& m, std::uint8_t* bgrx) {
  __m256i whole[5], fraction[5];
  for (int i = 0; i < 5; ++i) {
    whole[i] = _mm256_set1_epi16(m.whole[i]);
    fraction[i] = _mm256_set1_epi16(m.fraction[i]);
  }
  const __m256i offset = _mm256_set1_epi16(m.lumaOffset);
  const __m256i mid = _mm256_set1_epi16(8192);
  const __m256i zero = _mm256_setzero_si256();
  int n = 0;
  for (;; n += 16) {
    if (n + 16 > count) {
      if (count < 16 || n == count) break;
      n = count - 16;  // the last sixteen again, as in ConvertSse2
    }
    const __m256i cb = _mm256_sub_epi16(Load256(u + n), mid);
    const __m256i cr = _mm256_sub_epi16(Load256(v + n), mid);
    const __m256i l = Times256(_mm256_sub_epi16(Load256(y + n), offset), whole[0], fraction[0]);
    const __m256i r = _mm256_adds_epi16(l, Times256(cr, whole[1], fraction[1]));
    const __m256i g = _mm256_subs_epi16(_mm256_subs_epi16(l, Times256(cb, whole[2], fraction[2])),
                                        Times256(cr, whole[3], fraction[3]));
    const __m256i b = _mm256_adds_epi16(l, Times256(cb, whole[4], fraction[4]));
    const __m256i bg = _mm256_unpacklo_epi8(Bytes256(b), Bytes256(g));
    const __m256i rx = _mm256_unpacklo_epi8(Bytes256(r), zero);
    // Pixels 0-3, 8-11 and 4-7, 12-15.
    const __m256i front = _mm256_unpacklo_epi16(bg, rx), back = _mm256_unpackhi_epi16(bg, rx);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(bgrx + 4 * n),
                        _mm256_permute2x128_si256(front, back, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(bgrx + 4 * n + 32),
                        _mm256_permute2x128_si256(front, back, 0x31));
    if (n + 16 == count) return;
  }
  ConvertSse2(y + n, u + n, v + n, count - n, m, bgrx + 4 * n);
}
}  // namespace

#endif

const std::vector<Kernels>& AvailableKernels() {
  static const std::vector<Kernels> kernels = [] {
    std::vector<Kernels> found;
#if defined(VANTOR_BGRX_VECTORS)
    if (__builtin_cpu_supports("avx2"))
      found.push_back({"AVX2", VerticalAvx2Any, HorizontalAvx2Any, ConvertAvx2});
    // Bytes multiplied by bytes (pmaddubsw) need SSSE3, which every x86-64
    // processor of the last fifteen years has.
    if (__builtin_cpu_supports("ssse3"))
      found.push_back({"SSSE3", VerticalSsse3Any, HorizontalSsse3Any, ConvertSse2});
#endif
    found.push_back({"plain", VerticalPassPlain, HorizontalPassPlain, ConvertRowPlain});
    return found;
  }();
  return kernels;
}

}  // namespace vantor::player::bgrx

namespace {

using namespace vantor::player::bgrx;

// Where the picture sits in the output: as wide or as tall as it, centred,
// with the source's shape (the same rounding as GStreamer's converter uses
// for its borders).
struct Placement {
  int x = 0, y = 0, width = 0, height = 0;
};

Placement Place(int inWidth, int inHeight, int parN, int parD, int outWidth, int outHeight) {
  if (parN <= 0 || parD <= 0) parN = parD = 1;
  int n = 0, d = 0;
  if (!gst_util_fraction_multiply(inWidth, inHeight, parN, parD, &n, &d) || n <= 0 || d <= 0)
    return {};
  const int height = int(gst_util_uint64_scale_int(guint64(outWidth), d, n));
  if (height <= outHeight) return {0, (outHeight - height) / 2, outWidth, height};
  const int width = int(gst_util_uint64_scale_int(guint64(outHeight), n, d));
  return {(outWidth - width) / 2, 0, width, outHeight};
}

// What a frame of a given size takes: set on the streaming thread when the
// caps come, used by every frame after.
struct Plan {
  Placement place;
  Filter lumaAcross, lumaDown, chromaAcross, chromaDown;
  Matrix matrix{};
  std::vector<std::uint8_t> down[3];
  std::vector<std::int16_t> across[3];
  std::vector<const std::uint8_t*> rows;
  const Kernels* kernels = &AvailableKernels().front();
};

struct BgrxScaler {
  GstVideoFilter parent;
  std::mutex* sizeMutex;
  int width, height;  // under sizeMutex
  Plan* plan;         // null while passing through
};

struct BgrxScalerClass {
  GstVideoFilterClass parent;
};

GType BgrxScalerType();
BgrxScaler* Self(gpointer p) {
  return reinterpret_cast<BgrxScaler*>(p);
}
GObjectClass* g_parentClass = nullptr;

void ShownSize(BgrxScaler* self, int* width, int* height) {
  std::lock_guard lock(*self->sizeMutex);
  *width = self->width;
  *height = self->height;
}

// Whether a picture of these caps is this element's to scale into
// width x height: 8-bit I420, no more than eight times the picture it
// becomes, which keeps the filters short and inside the source.
bool Takes(const GstStructure* s, int width, int height) {
  const char* format = gst_structure_get_string(s, "format");
  int inWidth = 0, inHeight = 0, parN = 1, parD = 1;
  if (width <= 0 || height <= 0 || !format || std::strcmp(format, "I420") != 0 ||
      !gst_structure_get_int(s, "width", &inWidth) ||
      !gst_structure_get_int(s, "height", &inHeight) || inWidth < 16 || inHeight < 16)
    return false;
  gst_structure_get_fraction(s, "pixel-aspect-ratio", &parN, &parD);
  const Placement place = Place(inWidth, inHeight, parN, parD, width, height);
  return place.width >= 8 && place.height >= 8 && inWidth <= 8 * place.width &&
         inHeight <= 8 * place.height;
}

GstCaps* TransformCaps(GstBaseTransform* trans, GstPadDirection direction, GstCaps* caps,
                       GstCaps* filter) {
  GstCaps* result = gst_caps_copy(caps);
  if (direction == GST_PAD_SINK) {
    int width = 0, height = 0;
    ShownSize(Self(trans), &width, &height);
    for (guint i = 0; i < gst_caps_get_size(result); ++i) {
      GstStructure* s = gst_caps_get_structure(result, i);
      if (!Takes(s, width, height)) continue;
      gst_structure_set(s, "format", G_TYPE_STRING, "BGRx", "width", G_TYPE_INT, width, "height",
                        G_TYPE_INT, height, "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr);
      gst_structure_remove_fields(s, "colorimetry", "chroma-site", nullptr);
    }
  } else {
    // Towards the input: what passes, and any I420 this element could scale.
    // Appended, not merged: merging checks every structure of the
    // converter's long format lists against the others, on the streaming
    // thread, before the first frame.
    gst_caps_append(result,
                    gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "I420", nullptr));
  }
  if (filter) {
    GstCaps* both = gst_caps_intersect_full(filter, result, GST_CAPS_INTERSECT_FIRST);
    gst_caps_unref(result);
    result = both;
  }
  return result;
}

gboolean SetInfo(GstVideoFilter* filter, GstCaps*, GstVideoInfo* in, GstCaps*, GstVideoInfo* out) {
  BgrxScaler* self = Self(filter);
  delete self->plan;
  self->plan = nullptr;
  const int inWidth = GST_VIDEO_INFO_WIDTH(in), inHeight = GST_VIDEO_INFO_HEIGHT(in);
  if (GST_VIDEO_INFO_FORMAT(in) == GST_VIDEO_INFO_FORMAT(out) &&
      inWidth == GST_VIDEO_INFO_WIDTH(out) && inHeight == GST_VIDEO_INFO_HEIGHT(out))
    return TRUE;  // passed through
  if (GST_VIDEO_INFO_FORMAT(in) != GST_VIDEO_FORMAT_I420 ||
      GST_VIDEO_INFO_FORMAT(out) != GST_VIDEO_FORMAT_BGRx)
    return FALSE;
  auto plan = std::make_unique<Plan>();
  plan->place = Place(inWidth, inHeight, GST_VIDEO_INFO_PAR_N(in), GST_VIDEO_INFO_PAR_D(in),
                      GST_VIDEO_INFO_WIDTH(out), GST_VIDEO_INFO_HEIGHT(out));
  const Placement& p = plan->place;
  if (p.width < 1 || p.height < 1) return FALSE;
  const int chromaWidth = (inWidth + 1) / 2, chromaHeight = (inHeight + 1) / 2;
  // The colour samples sit in the middle of their 2x2 blocks. They are
  // filtered to the full shown size: a colour plane at half of it measured
  // 2 dB further from a Lanczos reference on a detailed still.
  plan->lumaAcross = TriangleFilter(inWidth, p.width, double(inWidth) / p.width, 4);
  plan->lumaDown = TriangleFilter(inHeight, p.height, double(inHeight) / p.height, 2);
  plan->chromaAcross = TriangleFilter(chromaWidth, p.width, inWidth / 2.0 / p.width, 4);
  plan->chromaDown = TriangleFilter(chromaHeight, p.height, inHeight / 2.0 / p.height, 2);
  for (const Filter* f : {&plan->lumaAcross, &plan->chromaAcross})
    if (f->taps > chromaWidth) return FALSE;
  for (const Filter* f : {&plan->lumaDown, &plan->chromaDown})
    if (f->taps > chromaHeight || f->taps > kMaxTaps) return FALSE;
  gdouble kr = 0.2126, kb = 0.0722;  // BT.709, what HD movies use
  gst_video_color_matrix_get_Kr_Kb(GST_VIDEO_INFO_COLORIMETRY(in).matrix, &kr, &kb);
  plan->matrix =
      MakeMatrix(kr, kb, GST_VIDEO_INFO_COLORIMETRY(in).range == GST_VIDEO_COLOR_RANGE_0_255);
  // Room for the horizontal pass's 16-byte loads past the last sample.
  plan->down[0].resize(std::size_t(inWidth) + 16);
  plan->down[1].resize(std::size_t(chromaWidth) + 16);
  plan->down[2].resize(std::size_t(chromaWidth) + 16);
  for (auto& row : plan->across) row.resize(std::size_t(p.width));
  plan->rows.resize(kMaxTaps);
  self->plan = plan.release();
  return TRUE;
}

// Zeroes with stores of its own: memset's interceptor would check them.
__attribute__((optimize("no-tree-loop-distribute-patterns"))) VANTOR_PIXELS void Black(
    std::uint8_t* p, std::size_t bytes) {
  std::size_t i = 0;
#if defined(VANTOR_BGRX_VECTORS)
  for (; i + 16 <= bytes; i += 16)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(p + i), _mm_setzero_si128());
#endif
  for (; i < bytes; ++i) p[i] = 0;
}

VANTOR_PIXELS GstFlowReturn TransformFrame(GstVideoFilter* filter, GstVideoFrame* in,
                                           GstVideoFrame* out) {
  Plan* plan = Self(filter)->plan;
  if (!plan) return GST_FLOW_NOT_NEGOTIATED;
  const Placement& p = plan->place;
  auto* to = static_cast<std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(out, 0));
  const int toStride = GST_VIDEO_FRAME_PLANE_STRIDE(out, 0);
  const int outWidth = GST_VIDEO_FRAME_WIDTH(out), outHeight = GST_VIDEO_FRAME_HEIGHT(out);
  auto row = [&](int y) { return to + std::ptrdiff_t(y) * toStride; };
  for (int y = 0; y < outHeight; ++y) {
    if (y >= p.y && y < p.y + p.height) {
      Black(row(y), std::size_t(p.x) * 4);
      Black(row(y) + (p.x + p.width) * 4, std::size_t(outWidth - p.x - p.width) * 4);
    } else {
      Black(row(y), std::size_t(outWidth) * 4);
    }
  }
  const Filter* down[3] = {&plan->lumaDown, &plan->chromaDown, &plan->chromaDown};
  const Filter* across[3] = {&plan->lumaAcross, &plan->chromaAcross, &plan->chromaAcross};
  for (int y = 0; y < p.height; ++y) {
    for (int c = 0; c < 3; ++c) {
      const auto* plane = static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_COMP_DATA(in, c));
      const int stride = GST_VIDEO_FRAME_COMP_STRIDE(in, c);
      const Filter& f = *down[c];
      const int first = f.first[std::size_t(y)];
      for (int k = 0; k < f.taps; ++k)
        plan->rows[std::size_t(k)] = plane + std::ptrdiff_t(first + k) * stride;
      plan->kernels->vertical(plan->rows.data(), &f.weights[std::size_t(y) * f.taps], f.taps,
                              int(plan->down[c].size()) - 16, plan->down[c].data());
      plan->kernels->horizontal(plan->down[c].data(), *across[c], plan->across[c].data());
    }
    plan->kernels->convert(plan->across[0].data(), plan->across[1].data(), plan->across[2].data(),
                           p.width, plan->matrix, row(p.y + y) + p.x * 4);
  }
  return GST_FLOW_OK;
}

void InstanceInit(GTypeInstance* instance, gpointer) {
  BgrxScaler* self = Self(instance);
  self->sizeMutex = new std::mutex;
  self->width = self->height = 0;
  self->plan = nullptr;
}

void Finalize(GObject* object) {
  BgrxScaler* self = Self(object);
  delete self->plan;
  delete self->sizeMutex;
  g_parentClass->finalize(object);
}

void ClassInit(gpointer klass, gpointer) {
  g_parentClass = G_OBJECT_CLASS(g_type_class_peek_parent(klass));
  G_OBJECT_CLASS(klass)->finalize = Finalize;
  auto* element = GST_ELEMENT_CLASS(klass);
  GstCaps* any = gst_caps_new_empty_simple("video/x-raw");
  gst_element_class_add_pad_template(
      element, gst_pad_template_new("sink", GST_PAD_SINK, GST_PAD_ALWAYS, any));
  gst_element_class_add_pad_template(element,
                                     gst_pad_template_new("src", GST_PAD_SRC, GST_PAD_ALWAYS, any));
  gst_caps_unref(any);
  gst_element_class_set_static_metadata(element, "BGRx scaler", "Filter/Converter/Video/Scaler",
                                        "Scales 4:2:0 pictures into letterboxed BGRx", "Vantor");
  auto* trans = GST_BASE_TRANSFORM_CLASS(klass);
  trans->transform_caps = TransformCaps;
  trans->passthrough_on_same_caps = TRUE;
  auto* filter = GST_VIDEO_FILTER_CLASS(klass);
  filter->set_info = SetInfo;
  filter->transform_frame = TransformFrame;
}

GType BgrxScalerType() {
  static GType type = [] {
    const GTypeInfo info{
        sizeof(BgrxScalerClass), nullptr, nullptr,      ClassInit, nullptr, nullptr,
        sizeof(BgrxScaler),      0,       InstanceInit, nullptr};
    return g_type_register_static(GST_TYPE_VIDEO_FILTER, "VantorBgrxScaler", &info, GTypeFlags(0));
  }();
  return type;
}

}  // namespace

namespace vantor::player {

GstElement* MakeBgrxScaler() {
  // A name of null makes GStreamer give a unique one, as a bin requires.
  return GST_ELEMENT(g_object_new(BgrxScalerType(), "name", nullptr, nullptr));
}

void SetBgrxScalerSize(GstElement* scaler, int width, int height) {
  BgrxScaler* self = Self(scaler);
  {
    std::lock_guard lock(*self->sizeMutex);
    if (width <= 0 || height <= 0) width = height = 0;
    if (self->width == width && self->height == height) return;
    self->width = width;
    self->height = height;
  }
  gst_base_transform_reconfigure_src(GST_BASE_TRANSFORM(scaler));
}

}  // namespace vantor::player
