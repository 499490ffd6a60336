#include "player/StepCache.h"

#include <gst/app/gstappsink.h>

#include <algorithm>

#include "player/FrameScaler.h"
#include "player/VideoFrame.h"

namespace vantor::player {

namespace {

// Scaled frames kept for stepping while paused: two key-frame intervals of a
// dash cam (one second each) at the main window's pane size, the one being
// stepped through and the one before it; fewer at full screen.
constexpr std::size_t kStepCacheBytes = 64u << 20;
// Stepping back to within this much of the first frame kept decodes the
// stretch before it in the background.
constexpr std::int64_t kPrefetchAheadMs = 1000;

std::size_t FrameBytes(const VideoFramePtr& f) {
  return std::size_t(f->Stride()) * std::size_t(f->Height());
}

}  // namespace

StepCache::StepCache(CMoviePlayer::Graph* graph, std::string path)
    : m_graph(graph), m_path(std::move(path)), m_worker([this] { Run(); }) {}

StepCache::~StepCache() {
  {
    std::lock_guard lock(m_mutex);
    m_quit = true;
  }
  m_cv.notify_all();
  m_worker.join();
}

VideoFramePtr StepCache::Lookup(std::int64_t ms, int width, int height) {
  std::lock_guard lock(m_mutex);
  ++m_requestSeq;
  return Find(ms, width, height);
}

VideoFramePtr StepCache::Find(std::int64_t ms, int width, int height) {
  if (m_frames.empty() || width != m_width || height != m_height) return nullptr;
  if (ms < m_frames.front()->TimeMs() || ms > m_endMs) return nullptr;
  auto it =
      std::upper_bound(m_frames.begin(), m_frames.end(), ms,
                       [](std::int64_t t, const VideoFramePtr& f) { return t < f->TimeMs(); });
  VideoFramePtr frame = *std::prev(it);
  PrefetchIfNear(frame->TimeMs());
  return frame;
}

// Stepping backward crosses into the stretch before the one kept about once
// a second; decoding it then would be the slowest step of all. It is decoded
// ahead instead, once per stretch.
void StepCache::PrefetchIfNear(std::int64_t shownMs) {
  if (m_frames.empty()) return;
  const std::int64_t front = m_frames.front()->TimeMs();
  if (front <= 0 || shownMs - front > kPrefetchAheadMs || m_prefetchedBefore == front) return;
  m_prefetchedBefore = front;
  m_prefetch = front - 1;
  m_cv.notify_all();
}

void StepCache::Request(std::int64_t ms) {
  {
    std::lock_guard lock(m_mutex);
    m_request = ms;
    m_release = false;
  }
  m_cv.notify_all();
}

void StepCache::Release() {
  {
    std::lock_guard lock(m_mutex);
    m_request.reset();
    m_prefetch.reset();
    m_prefetchedBefore = -1;
    m_release = true;
    m_frames.clear();
  }
  m_cv.notify_all();
}

void StepCache::OnPad(GstElement*, GstPad* pad, gpointer data) {
  auto* self = static_cast<StepCache*>(data);
  GstPtr<GstElement> branch;
  if (ClassifyPad(pad) == StreamKind::Video && !self->m_linked.exchange(true)) {
    branch = Ref(self->m_scaler->Bin());
  } else {
    branch = MakeDiscardSink();
    gst_bin_add(GST_BIN(self->m_pipeline.get()), branch.get());
  }
  StartAndLink(branch.get(), pad);
}

// Sound is not wanted here: stop decodebin before it decodes any.
gboolean StepCache::OnAutoplugContinue(GstElement*, GstPad*, GstCaps* caps, gpointer) {
  return !(gst_caps_get_size(caps) > 0 &&
           g_str_has_prefix(gst_structure_get_name(gst_caps_get_structure(caps, 0)), "audio/"));
}

void StepCache::Run() {
  std::unique_lock lock(m_mutex);
  for (;;) {
    m_cv.wait(lock,
              [this] { return m_quit || m_request || m_prefetch || (m_release && m_pipeline); });
    if (m_quit) break;
    if (m_request) {
      const std::int64_t ms = *m_request;
      m_request.reset();
      const std::uint64_t seq = m_requestSeq;
      lock.unlock();
      if (!ServeFromFrames(ms)) Decode(ms, seq, false);
    } else if (m_prefetch) {
      const std::int64_t ms = *m_prefetch;
      m_prefetch.reset();
      lock.unlock();
      Decode(ms, 0, true);
    } else {
      lock.unlock();
      TearDown();
    }
    lock.lock();
  }
  lock.unlock();
  TearDown();
}

bool StepCache::Build() {
  m_linked = false;
  m_pipeline.reset(GST_ELEMENT(gst_object_ref_sink(gst_pipeline_new("steps"))));
  GstElement* src = gst_element_factory_make("filesrc", nullptr);
  GstElement* dec = gst_element_factory_make("decodebin", nullptr);
  // The same way to the screen as the movie's own frames, so a step looks
  // like the picture played.
  m_scaler = CFrameScaler::Make(/*sync=*/false, /*maxBuffers=*/4);
  if (!src || !dec || !m_scaler) {
    if (src) gst_object_unref(gst_object_ref_sink(src));
    if (dec) gst_object_unref(gst_object_ref_sink(dec));
    return false;
  }
  g_object_set(src, "location", m_path.c_str(), nullptr);
  g_signal_connect(dec, "pad-added", G_CALLBACK(OnPad), this);
  g_signal_connect(dec, "autoplug-continue", G_CALLBACK(OnAutoplugContinue), this);
  g_signal_connect(m_pipeline.get(), "deep-element-added", G_CALLBACK(OnDeepElementAdded), nullptr);
  gst_bin_add_many(GST_BIN(m_pipeline.get()), src, dec, m_scaler->Bin(), nullptr);
  if (!gst_element_link(src, dec)) return false;
  if (gst_element_set_state(m_pipeline.get(), GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE)
    return false;
  GstState state = GST_STATE_VOID_PENDING;
  return gst_element_get_state(m_pipeline.get(), &state, nullptr, 3 * GST_SECOND) ==
             GST_STATE_CHANGE_SUCCESS &&
         m_linked;
}

void StepCache::TearDown() {
  if (!m_pipeline) return;
  gst_element_set_state(m_pipeline.get(), GST_STATE_NULL);
  m_pipeline.reset();
  m_scaler.reset();
}

// A step asked for while the stretch before was being decoded ahead is most
// often in it by now.
bool StepCache::ServeFromFrames(std::int64_t ms) {
  int width, height;
  {
    std::lock_guard lock(m_graph->m_mutex);
    width = m_graph->m_renderWidth;
    height = m_graph->m_renderHeight;
  }
  VideoFramePtr frame;
  {
    std::lock_guard lock(m_mutex);
    frame = Find(ms, width, height);
  }
  if (!frame) return false;
  m_graph->ShowStepFrame(frame, true);
  return true;
}

void StepCache::Decode(std::int64_t ms, std::uint64_t seq, bool ahead) {
  int width, height;
  {
    std::lock_guard lock(m_graph->m_mutex);
    width = m_graph->m_renderWidth;
    height = m_graph->m_renderHeight;
  }
  if (!m_failed && !m_pipeline && !Build()) {
    TearDown();
    m_failed = true;
  }
  auto giveUp = [&] {
    if (!ahead) m_graph->SeekInsteadOfStep(ms);
  };
  if (m_failed || width <= 0 || height <= 0) return giveUp();

  m_scaler->SetShownSize(width, height);
  // From the key frame at or before the target, so that every frame decoded
  // is kept; the stretch ends with the frame shown at the target.
  const std::int64_t ns = ms * std::int64_t(GST_MSECOND);
  if (!gst_element_seek(
          m_pipeline.get(), 1.0, GST_FORMAT_TIME,
          GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_KEY_UNIT | GST_SEEK_FLAG_SNAP_BEFORE),
          GST_SEEK_TYPE_SET, ns, GST_SEEK_TYPE_SET, ns + GST_MSECOND)) {
    TearDown();
    m_failed = true;
    return giveUp();
  }
  gst_element_set_state(m_pipeline.get(), GST_STATE_PLAYING);

  std::vector<VideoFramePtr> frames;
  std::size_t bytes = 0;
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  bool complete = false;
  auto* sink = GST_APP_SINK(m_scaler->AppSink());
  while (Clock::now() < deadline) {
    {
      std::lock_guard lock(m_mutex);
      if (m_quit || m_release) return;  // closing, or playing again
      // Decoding ahead gives way to a step far from it.
      if (ahead && m_request && (*m_request > ms || *m_request < ms - 2 * kPrefetchAheadMs)) return;
    }
    GstPtr<GstSample> sample = OwnSample(gst_app_sink_try_pull_sample(sink, 100 * GST_MSECOND));
    if (!sample) {
      if (gst_app_sink_is_eos(sink)) {
        complete = true;
        break;
      }
      continue;
    }
    const std::int64_t timeMs = StreamTimeMs(sample.get());
    if (timeMs < 0 || timeMs > ms) continue;
    VideoFramePtr frame = MakeFrame(std::move(sample));
    if (!frame) continue;
    bytes += FrameBytes(frame);
    frames.push_back(std::move(frame));
    // Keep the frames nearest the target: stepping goes back from there.
    while (bytes > kStepCacheBytes && frames.size() > 1) {
      bytes -= FrameBytes(frames.front());
      frames.erase(frames.begin());
    }
  }
  if (!complete || frames.empty()) {
    // Past the end, or a stream this pipeline cannot walk: the main one seeks.
    TearDown();
    return giveUp();
  }
  if (ahead) return KeepBefore(std::move(frames), bytes, width, height);
  VideoFramePtr shown = frames.back();
  bool current;
  {
    std::lock_guard lock(m_mutex);
    if (m_release) return;
    m_frames = std::move(frames);
    m_width = width;
    m_height = height;
    m_endMs = ms;
    // A newer step was asked for meanwhile: it is served from here or next.
    current = seq == m_requestSeq;
    PrefetchIfNear(shown->TimeMs());
  }
  if (current) m_graph->ShowStepFrame(shown, false);
}

// The stretch decoded ahead goes in front of the frames kept; past the
// memory bound the frames furthest along the way back go first.
void StepCache::KeepBefore(std::vector<VideoFramePtr> frames, std::size_t bytes, int width,
                           int height) {
  std::lock_guard lock(m_mutex);
  if (m_release || m_frames.empty() || width != m_width || height != m_height ||
      frames.back()->TimeMs() >= m_frames.front()->TimeMs())
    return;
  for (const VideoFramePtr& f : m_frames) bytes += FrameBytes(f);
  frames.insert(frames.end(), std::make_move_iterator(m_frames.begin()),
                std::make_move_iterator(m_frames.end()));
  bool trimmed = false;
  while (bytes > kStepCacheBytes && frames.size() > 1) {
    bytes -= FrameBytes(frames.back());
    frames.pop_back();
    trimmed = true;
  }
  m_frames = std::move(frames);
  if (trimmed) m_endMs = m_frames.back()->TimeMs();
}

}  // namespace vantor::player
