// The one way the pipeline is moved: an accurate flushing seek, made on one of
// GStreamer's pool threads (never a streaming thread, which must not seek),
// one at a time. While one is being decoded only the newest target waits;
// ASYNC_DONE (PlayerBus.cpp) starts it. A seek that never completes (it
// should not happen) stops counting after a second, so later ones still go.
#include "player/PlayerGraph.h"
#include "player/StepCache.h"

using Graph = CMoviePlayer::Graph;

namespace {

constexpr auto kSeekStuck = std::chrono::milliseconds(1000);

struct SeekCall {
  Graph* graph;
  std::int64_t ns;
  double rate;
};

}  // namespace

bool Graph::SeekInFlight() const {
  return m_seekBusy && Clock::now() - m_seekStarted < kSeekStuck;
}

void Graph::Seek(std::int64_t ns, double rate) {
  std::lock_guard lock(m_mutex);
  if (rate != m_rate) {
    m_rate = rate;
    ApplyRatePolicy();
  }
  m_staleNs.reset();
  SeekLocked(ns);
}

void Graph::SeekLocked(std::int64_t ns) {
  if (SeekInFlight()) {
    m_seekPending = ns;
    return;
  }
  m_seekPending.reset();
  StartSeek(ns);
}

void Graph::StartSeek(std::int64_t ns) {
  m_seekBusy = true;
  m_seekIssued = false;
  m_seekStarted = Clock::now();
  m_seekTarget = ns;
  ++m_asyncCalls;
  gst_element_call_async(
      m_pipeline.get(),
      [](GstElement* element, gpointer data) {
        auto* c = static_cast<SeekCall*>(data);
        c->graph->MarkSeekIssued();
        const bool ok =
            gst_element_seek(element, c->rate, GST_FORMAT_TIME,
                             GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                             GST_SEEK_TYPE_SET, c->ns, GST_SEEK_TYPE_NONE, GST_CLOCK_TIME_NONE);
        if (!ok) c->graph->HandleSeekRefused();
      },
      new SeekCall{this, ns, m_rate},
      [](gpointer data) {
        auto* c = static_cast<SeekCall*>(data);
        {
          std::lock_guard lock(c->graph->m_mutex);
          --c->graph->m_asyncCalls;
        }
        c->graph->Notify();
        delete c;
      });
}

// Until the pool thread gets to it, an ASYNC_DONE (of a pause, say) is not
// the seek's.
void Graph::MarkSeekIssued() {
  std::lock_guard lock(m_mutex);
  m_seekIssued = true;
}

// No ASYNC_DONE follows a refused seek: the next target goes at once.
void Graph::HandleSeekRefused() {
  std::lock_guard lock(m_mutex);
  m_seekBusy = false;
  if (m_seekPending && !m_closing) {
    const std::int64_t ns = *m_seekPending;
    m_seekPending.reset();
    StartSeek(ns);
  }
  Notify();
}

std::optional<std::int64_t> Graph::PositionGoingTo() const {
  std::lock_guard lock(m_mutex);
  if (m_staleNs) return m_staleNs;
  if (SeekInFlight()) return m_seekPending.value_or(m_seekTarget);
  return std::nullopt;
}

// At normal speed every frame is shown, a little late if the machine is
// busy. Fast forward doubles the decoding work; there the decoder may skip
// frames (QoS) so that the movie keeps its pace.
void Graph::ApplyRatePolicy() {
  if (!m_videoSink) return;
  const bool fast = m_rate > 1.0;
  g_object_set(m_videoSink, "qos", gboolean(fast), "max-lateness",
               gint64(fast ? 40 * GST_MSECOND : -1), nullptr);
}

// ---------------------------------------------------------------------------
// Steps while paused

bool Graph::StepWhilePaused(std::int64_t ms) {
  if (RequestedState() != GST_STATE_PAUSED || m_path.empty()) return false;
  int width, height;
  {
    std::lock_guard lock(m_mutex);
    if (!m_videoSink || m_renderWidth <= 0) return false;
    width = m_renderWidth;
    height = m_renderHeight;
  }
  if (!HasOutput()) return false;  // nothing to show it on: the pipeline seeks
  if (!m_stepCache) m_stepCache = std::make_unique<vantor::player::StepCache>(this, m_path);
  {
    std::lock_guard lock(m_mutex);
    m_staleNs = ms * std::int64_t(GST_MSECOND);
  }
  if (VideoFramePtr frame = m_stepCache->Lookup(ms, width, height))
    ShowStepFrame(frame, true);
  else
    m_stepCache->Request(ms);
  return true;
}

void Graph::ShowStepFrame(const VideoFramePtr& frame, bool fromCache) {
  {
    std::lock_guard lock(m_mutex);
    // Moved on meanwhile (played, or sought through the pipeline).
    if (!m_staleNs) return;
    m_shownTimeMs = frame->TimeMs();
    if (fromCache) ++m_stepCacheHits;
  }
  std::lock_guard outLock(m_outputMutex);
  if (m_output) m_output->PresentFrame(frame);
}

// The step cache could not serve `ms`: the pipeline seeks there, unless a
// newer step or seek has replaced it meanwhile.
void Graph::SeekInsteadOfStep(std::int64_t ms) {
  std::lock_guard lock(m_mutex);
  const std::int64_t ns = ms * std::int64_t(GST_MSECOND);
  if (m_staleNs != ns) return;
  m_staleNs.reset();
  SeekLocked(ns);
}

void Graph::SyncToShown() {
  std::optional<std::int64_t> ns;
  double rate;
  {
    std::lock_guard lock(m_mutex);
    ns = m_staleNs;
    rate = m_rate;
  }
  if (ns) Seek(*ns, rate);
}

void Graph::ReleaseSteps() {
  if (m_stepCache) m_stepCache->Release();
}
