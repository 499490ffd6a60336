#include "player/PlayerGraph.h"

#include <gst/video/video.h>

#include "player/FrameScaler.h"
#include "player/StepCache.h"
#include "player/VideoFrame.h"

using vantor::GstPtr;
using Graph = CMoviePlayer::Graph;

Graph::Graph(Clock::time_point deadline, IVideoOutput* output, int renderWidth, int renderHeight)
    : m_pipeline(GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new("movie")))),
      m_deadline(deadline),
      m_renderWidth(renderWidth > 0 && renderHeight > 0 ? renderWidth : 0),
      m_renderHeight(renderWidth > 0 && renderHeight > 0 ? renderHeight : 0),
      m_output(output) {
  g_signal_connect(m_pipeline.get(), "deep-element-added",
                   G_CALLBACK(vantor::player::OnPlayingElementAdded), nullptr);
  m_bus.reset(gst_pipeline_get_bus(GST_PIPELINE(m_pipeline.get())));
  gst_bus_set_sync_handler(m_bus.get(), OnBusMessage, this, nullptr);
}

Graph::~Graph() {
  {
    std::lock_guard lock(m_outputMutex);
    m_output = nullptr;
    m_held.reset();
  }
  m_stepCache.reset();  // its thread presents through this graph
  {
    std::unique_lock lock(m_mutex);
    m_closing = true;
    m_changed.wait_for(lock, std::chrono::seconds(2), [this] { return m_asyncCalls == 0; });
  }
  gst_element_set_state(m_pipeline.get(), GST_STATE_NULL);
  gst_bus_set_sync_handler(m_bus.get(), nullptr, nullptr, nullptr);
}

bool Graph::HasVideo() const {
  std::lock_guard lock(m_mutex);
  return m_videoSink != nullptr;
}

void Graph::VideoSize(int& width, int& height) const {
  std::lock_guard lock(m_mutex);
  width = m_videoSink ? m_videoWidth : 0;
  height = m_videoSink ? m_videoHeight : 0;
}

std::int64_t Graph::ShownTimeMs() const {
  std::lock_guard lock(m_mutex);
  return m_shownTimeMs;
}

std::int64_t Graph::FrameDurationNs() const {
  std::lock_guard lock(m_mutex);
  GstVideoInfo vi;
  if (!m_fullCaps || !gst_video_info_from_caps(&vi, m_fullCaps.get()) || vi.fps_n <= 0 ||
      vi.fps_d <= 0)
    return 0;
  return gst_util_uint64_scale_int(GST_SECOND, vi.fps_d, vi.fps_n);
}

std::uint64_t Graph::FramesPresented() const {
  std::lock_guard lock(m_mutex);
  return m_framesPresented;
}

std::uint64_t Graph::StepCacheHits() const {
  std::lock_guard lock(m_mutex);
  return m_stepCacheHits;
}

void Graph::SetOutput(IVideoOutput* output) {
  std::lock_guard lock(m_outputMutex);
  m_output = output;
}

bool Graph::HasOutput() const {
  std::lock_guard lock(m_outputMutex);
  return m_output != nullptr;
}

void Graph::SetRenderSize(int width, int height) {
  if (width <= 0 || height <= 0) width = height = 0;
  std::lock_guard lock(m_mutex);
  if (width == m_renderWidth && height == m_renderHeight) return;
  m_renderWidth = width;
  m_renderHeight = height;
  if (m_scaler) m_scaler->SetShownSize(width, height);
}

std::unique_ptr<std::uint8_t[]> Graph::CurrentImage(long* pcbSize) {
  if (pcbSize) *pcbSize = 0;
  // The full-size frame of a step shown from the cache: the pipeline has to
  // get there first.
  SyncToShown();
  GstPtr<GstBuffer> buffer;
  GstPtr<GstCaps> caps;
  {
    std::unique_lock lock(m_mutex);
    m_changed.wait_for(lock, std::chrono::seconds(3), [this] { return !SeekInFlight(); });
    if (!m_shownFull) return nullptr;
    buffer = vantor::Ref(m_shownFull.get());
    caps = vantor::Ref(m_shownCaps.get());
  }
  return vantor::player::FrameToDib(buffer.get(), caps.get(), pcbSize);
}
