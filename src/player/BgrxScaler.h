#pragma once
// The last step of the picture's way to the pane: a 4:2:0 picture, already
// halved to less than twice the shown size, scaled to the shown size and
// converted to letterboxed BGRx in one pass. GStreamer's converter took about
// 0.6 ms a frame for this step of a 1080p movie; this takes about 0.22 ms
// with AVX2 (0.3 with SSSE3): rows are filtered with byte weights, 32 or 16
// samples an instruction, and the colour is converted from the filtered rows
// without going back to 8 bits.
// The conversion is also exact, where GStreamer's 8-bit one turns pictures 1
// to 2.5 levels too dark.
//
// The filter is a triangle as wide as the scale (so a downscale averages
// every source pixel rather than skipping some); the colour planes are
// filtered to the shown size straight from their own resolution.
//
// Inactive, or fed anything but 8-bit I420, the element passes its input
// on untouched, and the converter after it does the work.
#include <gst/gst.h>

#include <cstdint>
#include <vector>

namespace vantor::player {

// A new floating element.
GstElement* MakeBgrxScaler();

// Any thread: the BGRx size to make, the picture letterboxed in it; 0 x 0
// makes the element pass its input on. It negotiates again with its next
// frame.
void SetBgrxScalerSize(GstElement* scaler, int width, int height);

namespace bgrx {

// One axis of a resampling: output i is the weighted sum of `taps` source
// samples from first[i] on; the weights (Q7, bytes) sum to 128. The window
// never leaves the source: samples beyond its edge count as the edge one.
struct Filter {
  int taps = 0;
  std::vector<int> first;
  std::vector<std::int8_t> weights;  // taps per output, output by output
  // With four taps, where the sixteen taps of each four outputs sit from the
  // first one's first sample, when they all lie within sixteen samples of it
  // (so one load and one shuffle gather them); empty otherwise.
  std::vector<std::uint8_t> gather;
};
inline constexpr int kMaxTaps = 32;  // the most the vertical pass takes

// A triangle filter from `inSize` samples to `outSize`; source sample k sits
// at (output + 0.5) * scale - 0.5. `taps` is rounded up to `multiple`.
// Needs inSize at least as large as the taps it comes to.
Filter TriangleFilter(int inSize, int outSize, double scale, int multiple);

// YCbCr (Q6) to RGB: each coefficient applied as an integer part plus a
// 16-bit fraction, the way the vector code can.
struct Matrix {
  std::int16_t lumaOffset;  // Q6
  std::int16_t whole[5];    // luma scale, R from V, G from U, G from V, B from U
  std::int16_t fraction[5];
};
Matrix MakeMatrix(double kr, double kb, bool fullRange);

// The row kernels of the element. The plain ones define the results; the
// vector ones, for the processors that have their instructions, agree with
// them bit for bit.
struct Kernels {
  const char* name;
  // Rows of bytes to one row of bytes: out[x] is the rounded sum of
  // rows[k][x] * weights[k] / 128 over `taps` rows.
  void (*vertical)(const std::uint8_t* const* rows, const std::int8_t* weights, int taps, int width,
                   std::uint8_t* out);
  // A row of bytes to Q6 samples through `filter`. The row may be read up
  // to 16 bytes past the last sample the filter uses.
  void (*horizontal)(const std::uint8_t* in, const Filter& filter, std::int16_t* out);
  // `count` pixels of Q6 samples to BGRx.
  void (*convert)(const std::int16_t* y, const std::int16_t* u, const std::int16_t* v, int count,
                  const Matrix& matrix, std::uint8_t* bgrx);
};
// The kernels this processor runs, the fastest first; the plain ones last.
const std::vector<Kernels>& AvailableKernels();

void VerticalPassPlain(const std::uint8_t* const* rows, const std::int8_t* weights, int taps,
                       int width, std::uint8_t* out);
void HorizontalPassPlain(const std::uint8_t* in, const Filter& filter, std::int16_t* out);
void ConvertRowPlain(const std::int16_t* y, const std::int16_t* u, const std::int16_t* v, int count,
                     const Matrix& matrix, std::uint8_t* bgrx);

}  // namespace bgrx
}  // namespace vantor::player
