#include "player/VideoFrame.h"

#include <gst/video/video.h>

#include <cstring>
#include <new>

#include "common/DibHeader.h"

struct VideoFrameAccess {
  static void Set(CVideoFrame& f, std::unique_ptr<CVideoFrame::Mapping> m, std::int64_t timeMs);
  static std::shared_ptr<CVideoFrame> New() {
    return std::shared_ptr<CVideoFrame>(new CVideoFrame);
  }
};

// The mapped buffer behind a frame's pixels; unmapped before the sample
// holding the buffer goes.
struct CVideoFrame::Mapping {
  vantor::GstPtr<GstSample> sample;
  GstVideoFrame frame{};
  bool mapped = false;
  ~Mapping() {
    if (mapped) gst_video_frame_unmap(&frame);
  }
};

CVideoFrame::~CVideoFrame() = default;

void VideoFrameAccess::Set(CVideoFrame& f, std::unique_ptr<CVideoFrame::Mapping> m,
                           std::int64_t timeMs) {
  f.m_nWidth = GST_VIDEO_FRAME_WIDTH(&m->frame);
  f.m_nHeight = GST_VIDEO_FRAME_HEIGHT(&m->frame);
  f.m_nStride = GST_VIDEO_FRAME_PLANE_STRIDE(&m->frame, 0);
  f.m_pPixels = static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&m->frame, 0));
  f.m_nTimeMs = timeMs;
  f.m_pMapping = std::move(m);
}

namespace vantor::player {

GstPtr<GstSample> OwnSample(GstSample* pulled) {
  GstPtr<GstSample> taken(pulled);
  if (!taken) return nullptr;
  return GstPtr<GstSample>(gst_sample_new(gst_sample_get_buffer(pulled),
                                          gst_sample_get_caps(pulled),
                                          gst_sample_get_segment(pulled), nullptr));
}

std::int64_t StreamTimeMs(GstSample* sample) {
  GstBuffer* buffer = gst_sample_get_buffer(sample);
  if (!buffer) return -1;
  const GstClockTime pts = GST_BUFFER_PTS(buffer);
  if (!GST_CLOCK_TIME_IS_VALID(pts)) return -1;
  const GstSegment* seg = gst_sample_get_segment(sample);
  guint64 t = pts;
  if (seg && seg->format == GST_FORMAT_TIME) {
    const guint64 st = gst_segment_to_stream_time(seg, GST_FORMAT_TIME, pts);
    if (GST_CLOCK_TIME_IS_VALID(st)) t = st;
  }
  return static_cast<std::int64_t>(t / GST_MSECOND);
}

std::shared_ptr<CVideoFrame> MakeFrame(GstPtr<GstSample> sample) {
  if (!sample) return nullptr;
  GstBuffer* buffer = gst_sample_get_buffer(sample.get());
  GstCaps* caps = gst_sample_get_caps(sample.get());
  GstVideoInfo vi;
  if (!buffer || !caps || !gst_video_info_from_caps(&vi, caps)) return nullptr;
  const std::int64_t timeMs = StreamTimeMs(sample.get());
  auto mapping = std::make_unique<CVideoFrame::Mapping>();
  mapping->sample = std::move(sample);
  mapping->mapped = gst_video_frame_map(&mapping->frame, &vi, buffer, GST_MAP_READ);
  if (!mapping->mapped) return nullptr;
  auto frame = VideoFrameAccess::New();
  VideoFrameAccess::Set(*frame, std::move(mapping), timeMs);
  return frame;
}

namespace {

// Maps `buffer` for reading and unmaps it on the way out.
class MappedFrame {
 public:
  MappedFrame(GstVideoInfo* info, GstBuffer* buffer, GstMapFlags flags)
      : m_ok(gst_video_frame_map(&m_frame, info, buffer, flags)) {}
  ~MappedFrame() {
    if (m_ok) gst_video_frame_unmap(&m_frame);
  }
  MappedFrame(const MappedFrame&) = delete;
  MappedFrame& operator=(const MappedFrame&) = delete;
  explicit operator bool() const { return m_ok; }
  GstVideoFrame* get() { return &m_frame; }

 private:
  GstVideoFrame m_frame{};
  bool m_ok;
};

}  // namespace

std::unique_ptr<std::uint8_t[]> FrameToDib(GstBuffer* buffer, GstCaps* caps, long* pcbSize) {
  if (pcbSize) *pcbSize = 0;
  GstVideoInfo in, out;
  if (!buffer || !caps || !gst_video_info_from_caps(&in, caps)) return nullptr;
  const int w = GST_VIDEO_INFO_WIDTH(&in), h = GST_VIDEO_INFO_HEIGHT(&in);
  gst_video_info_set_format(&out, GST_VIDEO_FORMAT_BGR, w, h);
  // The frame is shown with square pixels at its coded size.
  GST_VIDEO_INFO_PAR_N(&out) = GST_VIDEO_INFO_PAR_N(&in);
  GST_VIDEO_INFO_PAR_D(&out) = GST_VIDEO_INFO_PAR_D(&in);
  GST_VIDEO_INFO_FPS_N(&out) = GST_VIDEO_INFO_FPS_N(&in);
  GST_VIDEO_INFO_FPS_D(&out) = GST_VIDEO_INFO_FPS_D(&in);
  GST_VIDEO_INFO_COLORIMETRY(&out).range = GST_VIDEO_COLOR_RANGE_0_255;
  GstPtr<GstBuffer> outBuffer(gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&out), nullptr));
  if (!outBuffer) return nullptr;
  MappedFrame src(&in, buffer, GST_MAP_READ);
  MappedFrame dst(&out, outBuffer.get(), GST_MAP_WRITE);
  if (!src || !dst) return nullptr;
  std::unique_ptr<GstVideoConverter, decltype(&gst_video_converter_free)> converter(
      gst_video_converter_new(&in, &out, nullptr), gst_video_converter_free);
  if (!converter) return nullptr;
  gst_video_converter_frame(converter.get(), src.get(), dst.get());

  const long rowBytes = ((long(w) * 3) + 3) & ~3L;
  const long size = long(vantor::kDibInfoHeaderSize) + rowBytes * h;
  std::unique_ptr<std::uint8_t[]> dib(new (std::nothrow) std::uint8_t[size]);
  if (!dib) return nullptr;
  vantor::WriteDibInfoHeader(dib.get(), w, h, 24, std::uint32_t(rowBytes * h));
  const auto* pixels = static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(dst.get(), 0));
  const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(dst.get(), 0);
  for (int y = 0; y < h; ++y) {
    std::uint8_t* row = dib.get() + vantor::kDibInfoHeaderSize + (h - 1 - y) * rowBytes;
    std::memcpy(row, pixels + std::ptrdiff_t(y) * stride, std::size_t(w) * 3);
    std::memset(row + w * 3, 0, rowBytes - w * 3);
  }
  if (pcbSize) *pcbSize = size;
  return dib;
}

}  // namespace vantor::player
