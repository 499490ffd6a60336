// What the pipeline's threads tell the player: bus messages, one handler per
// type, dispatched in one place; the frames the appsink hands out; and the
// full-size frames kept on their way to the scaler for GetCurrentImage.
#include <gst/video/video.h>

#include "player/PlayerGraph.h"
#include "player/StepCache.h"
#include "player/VideoFrame.h"

using vantor::GstPtr;
using vantor::Ref;
using Graph = CMoviePlayer::Graph;

GstBusSyncReply Graph::OnBusMessage(GstBus*, GstMessage* msg, gpointer data) {
  auto* g = static_cast<Graph*>(data);
  const bool fromPipeline = GST_MESSAGE_SRC(msg) == GST_OBJECT(g->m_pipeline.get());
  switch (GST_MESSAGE_TYPE(msg)) {
    // Errors and the end stay on the bus for CheckComplete.
    case GST_MESSAGE_ERROR:
      g->HandleError();
      return GST_BUS_PASS;
    case GST_MESSAGE_EOS:
      g->HandleEos();
      return GST_BUS_PASS;
    case GST_MESSAGE_ASYNC_DONE:
      if (fromPipeline) g->HandleAsyncDone();
      break;
    case GST_MESSAGE_STATE_CHANGED:
      if (fromPipeline) {
        GstState old, now, pending;
        gst_message_parse_state_changed(msg, &old, &now, &pending);
        g->HandleStateChanged(now, pending);
      }
      break;
    default:
      // Tags and QoS reports nobody reads; keeping them would only grow the
      // queue between two polls.
      break;
  }
  gst_message_unref(msg);  // a dropped message is the handler's to free
  return GST_BUS_DROP;
}

void Graph::HandleError() {
  std::lock_guard lock(m_mutex);
  m_error = true;
  Notify();
}

void Graph::HandleEos() {
  std::function<void()> onEos;
  {
    std::lock_guard lock(m_mutex);
    onEos = m_onEos;
  }
  if (onEos) onEos();
  Notify();
}

void Graph::SetOnEos(std::function<void()> onEos) {
  std::lock_guard lock(m_mutex);
  m_onEos = std::move(onEos);
}

void Graph::HandleAsyncDone() {
  std::lock_guard lock(m_mutex);
  // Before the seek's flush has reached the sinks, an ASYNC_DONE is an
  // earlier state change's, however late it comes (Seeking.cpp).
  if (m_seekBusy && m_seekFlushed) {
    if (m_seekPending && !m_closing) {
      const std::int64_t ns = *m_seekPending;
      m_seekPending.reset();
      StartSeek(ns);
    } else {
      m_seekBusy = false;
    }
  }
  Notify();
}

void Graph::HandleStateChanged(GstState now, GstState pending) {
  std::lock_guard lock(m_mutex);
  m_state = now;
  m_statePending = pending;
  Notify();
}

bool Graph::RequestState(GstState state) {
  {
    std::lock_guard lock(m_mutex);
    m_stateRequested = state;
  }
  return gst_element_set_state(m_pipeline.get(), state) != GST_STATE_CHANGE_FAILURE;
}

GstState Graph::RequestedState() const {
  std::lock_guard lock(m_mutex);
  return m_stateRequested;
}

bool Graph::IsRunning() {
  {
    // Settled where it was asked to go: the messages already said so.
    std::lock_guard lock(m_mutex);
    if (m_statePending == GST_STATE_VOID_PENDING && m_state == m_stateRequested)
      return m_state == GST_STATE_PLAYING;
  }
  GstState state = GST_STATE_VOID_PENDING, pending = GST_STATE_VOID_PENDING;
  const GstStateChangeReturn r =
      gst_element_get_state(m_pipeline.get(), &state, &pending, 500 * GST_MSECOND);
  if (r == GST_STATE_CHANGE_FAILURE) return false;
  if (r == GST_STATE_CHANGE_ASYNC && pending != GST_STATE_VOID_PENDING) state = pending;
  return state == GST_STATE_PLAYING;
}

bool Graph::TakeCompletion() {
  bool complete = false;
  while (GstPtr<GstMessage> msg{gst_bus_pop(m_bus.get())}) {
    // A stream that breaks off (a truncated recording) ends the movie as
    // surely as its regular end does; waiting on would hang the playlist.
    const GstMessageType t = GST_MESSAGE_TYPE(msg.get());
    if (t == GST_MESSAGE_EOS || t == GST_MESSAGE_ERROR) complete = true;
  }
  return complete;
}

// ---------------------------------------------------------------------------
// Full-size frames

GstPadProbeReturn Graph::OnFullSizeData(GstPad*, GstPadProbeInfo* info, gpointer data) {
  auto* g = static_cast<Graph*>(data);
  if (info->type & GST_PAD_PROBE_TYPE_BUFFER) {
    g->KeepFullSizeBuffer(GST_PAD_PROBE_INFO_BUFFER(info));
    return GST_PAD_PROBE_OK;
  }
  GstEvent* ev = GST_PAD_PROBE_INFO_EVENT(info);
  switch (GST_EVENT_TYPE(ev)) {
    case GST_EVENT_CAPS: {
      GstCaps* caps = nullptr;
      gst_event_parse_caps(ev, &caps);
      g->KeepFullSizeCaps(caps);
      break;
    }
    case GST_EVENT_EOS: {
      std::lock_guard lock(g->m_mutex);
      g->m_videoEnded = true;
      g->Notify();
      break;
    }
    case GST_EVENT_FLUSH_STOP:
      g->DropFullSizeQueue();
      break;
    default:
      break;
  }
  return GST_PAD_PROBE_OK;
}

void Graph::KeepFullSizeCaps(GstCaps* caps) {
  GstVideoInfo vi;
  std::lock_guard lock(m_mutex);
  m_fullCaps = Ref(caps);
  if (caps && gst_video_info_from_caps(&vi, caps)) {
    m_videoWidth = GST_VIDEO_INFO_WIDTH(&vi);
    m_videoHeight = GST_VIDEO_INFO_HEIGHT(&vi);
  }
}

void Graph::KeepFullSizeBuffer(GstBuffer* buffer) {
  std::lock_guard lock(m_mutex);
  if (!m_fullCaps) return;
  // At most two ahead of the screen: holding more would starve the
  // decoder's buffer pool.
  while (m_fullQueue.size() >= 2) m_fullQueue.erase(m_fullQueue.begin());
  m_fullQueue.emplace_back(Ref(buffer), Ref(m_fullCaps.get()));
}

void Graph::DropFullSizeQueue() {
  std::lock_guard lock(m_mutex);
  m_fullQueue.clear();
}

void Graph::TakeShownFullSize(GstClockTime pts) {
  for (std::size_t i = 0; i < m_fullQueue.size(); ++i) {
    if (GST_BUFFER_PTS(m_fullQueue[i].first.get()) != pts) continue;
    m_shownFull = std::move(m_fullQueue[i].first);
    m_shownCaps = std::move(m_fullQueue[i].second);
    m_fullQueue.erase(m_fullQueue.begin(), m_fullQueue.begin() + std::ptrdiff_t(i) + 1);
    return;
  }
}

// ---------------------------------------------------------------------------
// Frames for the screen

GstFlowReturn Graph::OnNewPreroll(GstAppSink* sink, gpointer data) {
  if (GstPtr<GstSample> s = vantor::player::OwnSample(gst_app_sink_pull_preroll(sink)))
    static_cast<Graph*>(data)->Present(std::move(s));
  return GST_FLOW_OK;
}

GstFlowReturn Graph::OnNewSample(GstAppSink* sink, gpointer data) {
  if (GstPtr<GstSample> s = vantor::player::OwnSample(gst_app_sink_pull_sample(sink)))
    static_cast<Graph*>(data)->Present(std::move(s));
  return GST_FLOW_OK;
}

void Graph::Present(GstPtr<GstSample> sample) {
  GstBuffer* buf = gst_sample_get_buffer(sample.get());
  if (!buf || !gst_sample_get_caps(sample.get())) return;
  bool scaled;
  {
    std::lock_guard lock(m_mutex);
    // A step is on screen that the pipeline has not caught up with; what it
    // prerolls from an older seek must not cover it.
    if (m_staleNs) return;
    // In the playing state the first frame after a seek comes twice (preroll,
    // then render); it is shown once.
    if (buf == m_lastPresented && GST_BUFFER_PTS(buf) == m_lastPresentedPts) return;
    m_lastPresented = buf;
    m_lastPresentedPts = GST_BUFFER_PTS(buf);
    m_shownTimeMs = vantor::player::StreamTimeMs(sample.get());
    ++m_framesPresented;
    TakeShownFullSize(GST_BUFFER_PTS(buf));
    scaled = m_renderWidth > 0;
  }
  std::lock_guard outLock(m_outputMutex);
  if (!scaled) return;
  if (!m_output) {
    // Prerolled ahead of its turn: the picture waits here until the clip
    // playing now has shown its last one.
    m_held = std::move(sample);
    return;
  }
  GstVideoInfo vi;
  if (!gst_video_info_from_caps(&vi, gst_sample_get_caps(sample.get())) ||
      GST_VIDEO_INFO_FORMAT(&vi) != GST_VIDEO_FORMAT_BGRx)
    return;
  if (VideoFramePtr frame = vantor::player::MakeFrame(std::move(sample)))
    m_output->PresentFrame(std::move(frame));
}

bool Graph::ShowHeld() {
  std::lock_guard outLock(m_outputMutex);
  if (!m_output || !m_held) return false;
  VideoFramePtr frame = vantor::player::MakeFrame(std::move(m_held));
  m_held.reset();
  if (!frame) return false;
  m_output->PresentFrame(std::move(frame));
  return true;
}
