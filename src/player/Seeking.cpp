// The one way the pipeline is moved: an accurate flushing seek, made on one of
// GStreamer's pool threads (never a streaming thread, which must not seek),
// one at a time. While one is being decoded only the newest target waits;
// the seek's completion (PlayerBus.cpp) starts it. A seek that never
// completes (it should not happen) stops counting after a second, so later
// ones still go.
//
// Which ASYNC_DONE completes a seek: the pipeline's ASYNC_DONE carries no
// trace of the seek (GStreamer 1.22 gives it a fresh seqnum), and one of an
// earlier pause can arrive while the seek is on its way upstream. The flush
// that the seek sends down does carry the seek's seqnum; once it has reached
// a sink, every sink has dropped what it held before, so the next ASYNC_DONE
// is the seek's own.
#include "player/PlayerGraph.h"
#include "player/StepCache.h"

using Graph = CMoviePlayer::Graph;

namespace {

constexpr auto kSeekStuck = std::chrono::milliseconds(1000);

struct SeekCall {
  Graph* graph;
  std::int64_t ns;
  double rate;
  std::uint64_t generation;
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
  WatchSeekFlushes();
  m_seekBusy = true;
  m_seekFlushed = false;
  m_seekSeqnum = GST_SEQNUM_INVALID;
  ++m_seekGeneration;
  m_seekStarted = Clock::now();
  m_seekTarget = ns;
  ++m_asyncCalls;
  gst_element_call_async(
      m_pipeline.get(),
      [](GstElement*, gpointer data) {
        auto* c = static_cast<SeekCall*>(data);
        c->graph->SendSeek(c->ns, c->rate, c->generation);
      },
      new SeekCall{this, ns, m_rate, m_seekGeneration},
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

// Pool thread. A seek given up as stuck may still be waiting for a pool
// thread when its successor starts: it is dropped, not sent after it.
void Graph::SendSeek(std::int64_t ns, double rate, std::uint64_t generation) {
  GstEvent* seek = gst_event_new_seek(
      rate, GST_FORMAT_TIME, GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
      GST_SEEK_TYPE_SET, ns, GST_SEEK_TYPE_NONE, GST_CLOCK_TIME_NONE);
  {
    std::lock_guard lock(m_mutex);
    if (generation != m_seekGeneration) {
      gst_event_unref(seek);
      return;
    }
    m_seekSeqnum = gst_event_get_seqnum(seek);
  }
  const bool ok = gst_element_send_event(m_pipeline.get(), seek);
  std::lock_guard lock(m_mutex);
  if (generation != m_seekGeneration) return;
  if (!ok) {
    HandleSeekRefused();
    return;
  }
  // A flushing seek returns once its flush has passed every sink; should no
  // sink have reported it (a branch without a watch), this still holds.
  m_seekFlushed = true;
}

// No ASYNC_DONE follows a refused seek: the next target goes at once.
void Graph::HandleSeekRefused() {
  m_seekBusy = false;
  if (m_seekPending && !m_closing) {
    const std::int64_t ns = *m_seekPending;
    m_seekPending.reset();
    StartSeek(ns);
  }
  Notify();
}

// Every sink of the pipeline reports the flushes that reach it; built once,
// at the first seek, when all streams have their branch.
void Graph::WatchSeekFlushes() {
  if (m_flushesWatched) return;
  m_flushesWatched = true;
  vantor::GstPtr<GstIterator> it(gst_bin_iterate_sinks(GST_BIN(m_pipeline.get())));
  GValue item = G_VALUE_INIT;
  while (gst_iterator_next(it.get(), &item) == GST_ITERATOR_OK) {
    auto* sink = GST_ELEMENT(g_value_get_object(&item));
    if (vantor::GstPtr<GstPad> pad{gst_element_get_static_pad(sink, "sink")})
      gst_pad_add_probe(pad.get(), GST_PAD_PROBE_TYPE_EVENT_FLUSH, OnSinkFlush, this, nullptr);
    g_value_reset(&item);
  }
  g_value_unset(&item);
}

GstPadProbeReturn Graph::OnSinkFlush(GstPad*, GstPadProbeInfo* info, gpointer data) {
  GstEvent* ev = GST_PAD_PROBE_INFO_EVENT(info);
  if (GST_EVENT_TYPE(ev) == GST_EVENT_FLUSH_STOP) {
    auto* g = static_cast<Graph*>(data);
    std::lock_guard lock(g->m_mutex);
    if (g->m_seekBusy && gst_event_get_seqnum(ev) == g->m_seekSeqnum) g->m_seekFlushed = true;
  }
  return GST_PAD_PROBE_OK;
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
