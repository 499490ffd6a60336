#include "player/MoviePlayer.h"

#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <optional>
#include <thread>

#include "common/GstInit.h"
#include "common/Messages.h"
#include "player/FrameScaler.h"

namespace {

using Clock = std::chrono::steady_clock;

// A bad file fails within milliseconds; this only bounds a pipeline that
// hangs, so that Open always comes back within about three seconds.
constexpr auto kOpenBudget = std::chrono::milliseconds(2800);
// A seek that never completes (it should not happen) must not block later ones.
constexpr auto kSeekStuck = std::chrono::milliseconds(1000);
// Scaled frames kept for stepping while paused: about two key-frame intervals
// at the main window's pane size, fewer at full screen.
constexpr std::size_t kStepCacheBytes = 48u << 20;

bool EqualsNoCase(const std::string& a, const char* b) {
  return g_ascii_strcasecmp(a.c_str(), b) == 0;
}

// The extension test shared by the hand-built strategies: E_FAIL when the
// path has no ".", E_INVALIDARG when the extension is not one of `exts`.
HRESULT CheckExtension(const std::string& path, std::initializer_list<const char*> exts) {
  const auto dot = path.rfind('.');
  if (dot == std::string::npos) return E_FAIL;
  const std::string ext = path.substr(dot + 1);
  for (const char* e : exts)
    if (EqualsNoCase(ext, e)) return S_OK;
  return E_INVALIDARG;
}

// Two libav decoding threads, not one per core: each thread keeps frames of
// its own in flight (about 20 MB at 1920x1080 4:2:0). One thread would save
// that, but it delays the first picture of a 1080p movie by about 10 ms (a
// third more than Open takes now) and cannot hold the pace of rate 2.0 on
// heavier streams (4:4:4) on two cores.
void OnDeepElementAdded(GstBin*, GstBin*, GstElement* element, gpointer) {
  GstElementFactory* factory = gst_element_get_factory(element);
  if (factory && g_str_has_prefix(GST_OBJECT_NAME(factory), "avdec_") &&
      g_object_class_find_property(G_OBJECT_GET_CLASS(element), "max-threads"))
    g_object_set(element, "max-threads", 2, nullptr);
}

// A stream nobody shows or hears: taken and dropped at once, so that it can
// neither stall the others nor hold up preroll.
GstElement* MakeDiscardSink() {
  GstElement* sink = gst_element_factory_make("fakesink", nullptr);
  g_object_set(sink, "sync", FALSE, "async", FALSE, nullptr);
  return sink;
}

// Brings a branch already in the pipeline to the pipeline's state and feeds
// it from `pad`.
void StartAndLink(GstElement* branch, GstPad* pad) {
  gst_element_sync_state_with_parent(branch);
  GstPad* sinkPad = gst_element_get_static_pad(branch, "sink");
  gst_pad_link(pad, sinkPad);
  gst_object_unref(sinkPad);
}

std::int64_t StreamTimeMs(GstSample* sample, GstBuffer* buffer) {
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

// appsink reuses the sample it hands out and changes its caps in place when
// new caps come, which it cannot (and complains) while a frame on screen or
// in the step cache still holds it: frames keep a sample of their own.
GstSample* OwnSample(GstSample* pulled) {
  if (!pulled) return nullptr;
  GstSample* own = gst_sample_new(gst_sample_get_buffer(pulled), gst_sample_get_caps(pulled),
                                  gst_sample_get_segment(pulled), nullptr);
  gst_sample_unref(pulled);
  return own;
}

}  // namespace

// ---------------------------------------------------------------------------
// CVideoFrame

struct VideoFrameAccess {
  static CVideoFrame* New() { return new CVideoFrame; }
  static void Set(CVideoFrame& f, std::unique_ptr<CVideoFrame::Mapping> m, std::int64_t timeMs);
};

struct CVideoFrame::Mapping {
  GstVideoFrame frame;
  GstSample* sample = nullptr;
  bool mapped = false;
  ~Mapping() {
    if (mapped) gst_video_frame_unmap(&frame);
    if (sample) gst_sample_unref(sample);
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

// ---------------------------------------------------------------------------
// IVideoOutput

void IVideoOutput::DetachFromPlayer() {
  if (m_pAttachedPlayer) m_pAttachedPlayer->DetachOutput(this);
  m_pAttachedPlayer = nullptr;
}

void IVideoOutput::NotifyShownSizeChanged() {
  if (m_pAttachedPlayer) m_pAttachedPlayer->OnOutputResized(this);
}

// ---------------------------------------------------------------------------
// The pipeline of one movie and everything its streaming threads share with
// the GUI thread. Streaming threads only ever see this object, never the
// player, so the player can be moved on while they finish.

namespace {
class StepCache;
}

struct CMoviePlayer::Graph {
  GstElement* pipeline = nullptr;
  GstBus* bus = nullptr;
  Clock::time_point deadline;

  std::mutex mutex;  // guards everything below
  std::condition_variable changed;
  // Building: source pads still to come, branches linked, failures seen.
  bool sourcePadsDone = false;
  bool asyncDone = false;
  bool error = false;
  bool eos = false;
  bool videoEnded = false;  // the picture stream ended, perhaps before any frame
  std::shared_ptr<CFrameScaler> scaler;
  GstElement* videoSink = nullptr;
  GstElement* volume = nullptr;
  int videoWidth = 0;
  int videoHeight = 0;
  // Full-size frames on their way to the sink, and the one last shown; only
  // that one is ever converted (GetCurrentImage), on demand.
  GstCaps* fullCaps = nullptr;
  std::vector<std::pair<GstBuffer*, GstCaps*>> fullQueue;
  GstBuffer* shownFull = nullptr;
  GstCaps* shownCaps = nullptr;
  GstBuffer* lastPresented = nullptr;  // not a reference; only compared
  GstClockTime lastPresentedPts = GST_CLOCK_TIME_NONE;
  std::int64_t shownTimeMs = -1;
  std::uint64_t framesPresented = 0;
  int renderWidth = 0;  // 0: no output, frames stay as decoded
  int renderHeight = 0;
  // Seeks: one in flight at a time; only the newest waiting target is kept.
  bool seekBusy = false;
  Clock::time_point seekStarted;
  std::optional<std::int64_t> seekPending;
  std::int64_t seekTarget = 0;
  double rate = 1.0;
  int asyncCalls = 0;
  bool closing = false;
  // Set while the picture shown came from the step cache: the pipeline itself
  // has not been moved there yet (see SyncToShown), and its own frames must
  // not replace the one on screen.
  std::optional<std::int64_t> staleNs;
  std::uint64_t stepCacheHits = 0;
  std::string path;

  std::mutex outputMutex;  // held while a frame is handed to the output
  IVideoOutput* output = nullptr;

  std::unique_ptr<StepCache> stepCache;  // made at the first step while paused

  ~Graph();

  void Notify() { changed.notify_all(); }
  void StartSeek(std::int64_t ns);  // mutex held
  void SeekMain(std::int64_t ns);   // mutex held: now, or after the seek in flight
  void ShowStepFrame(const VideoFramePtr& frame, bool fromCache);
  void ApplyRenderCaps();  // mutex held
  void ApplyRatePolicy();  // mutex held
};

namespace {

GstBusSyncReply OnBusMessage(GstBus*, GstMessage* msg, gpointer data);
void OnSourcePad(GstElement* element, GstPad* pad, gpointer data);
void OnSourceNoMorePads(GstElement* element, gpointer data);

struct SeekCall {
  CMoviePlayer::Graph* graph;
  std::int64_t ns;
  double rate;
};

}  // namespace

// Runs on a pool thread of GStreamer (never a streaming thread, which must
// not seek) or on the GUI thread.
static bool DoSeek(GstElement* pipeline, std::int64_t ns, double rate) {
  return gst_element_seek(pipeline, rate, GST_FORMAT_TIME,
                          GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                          GST_SEEK_TYPE_SET, ns, GST_SEEK_TYPE_NONE, GST_CLOCK_TIME_NONE);
}

void CMoviePlayer::Graph::StartSeek(std::int64_t ns) {
  seekBusy = true;
  seekStarted = Clock::now();
  seekTarget = ns;
  ++asyncCalls;
  auto* call = new SeekCall{this, ns, rate};
  gst_element_call_async(
      pipeline,
      [](GstElement* element, gpointer data) {
        auto* c = static_cast<SeekCall*>(data);
        DoSeek(element, c->ns, c->rate);
      },
      call,
      [](gpointer data) {
        auto* c = static_cast<SeekCall*>(data);
        {
          std::lock_guard lock(c->graph->mutex);
          --c->graph->asyncCalls;
        }
        c->graph->Notify();
        delete c;
      });
}

void CMoviePlayer::Graph::ApplyRenderCaps() {
  if (scaler) scaler->SetShownSize(renderWidth, renderHeight);
}

// At normal speed every frame is shown, a little late if the machine is
// busy. Fast forward doubles the decoding work; there the decoder may skip
// frames (QoS) so that the movie keeps its pace.
void CMoviePlayer::Graph::ApplyRatePolicy() {
  if (!videoSink) return;
  const bool fast = rate > 1.0;
  g_object_set(videoSink, "qos", gboolean(fast), "max-lateness",
               gint64(fast ? 40 * GST_MSECOND : -1), nullptr);
}

namespace {

using Graph = CMoviePlayer::Graph;

GstBusSyncReply OnBusMessage(GstBus*, GstMessage* msg, gpointer data) {
  auto* g = static_cast<Graph*>(data);
  switch (GST_MESSAGE_TYPE(msg)) {
    case GST_MESSAGE_ERROR: {
      std::lock_guard lock(g->mutex);
      g->error = true;
      g->Notify();
      return GST_BUS_PASS;
    }
    case GST_MESSAGE_EOS: {
      std::lock_guard lock(g->mutex);
      g->eos = true;
      g->Notify();
      return GST_BUS_PASS;
    }
    case GST_MESSAGE_ASYNC_DONE:
      if (GST_MESSAGE_SRC(msg) == GST_OBJECT(g->pipeline)) {
        std::lock_guard lock(g->mutex);
        g->asyncDone = true;
        if (g->seekBusy) {
          if (g->seekPending && !g->closing) {
            const std::int64_t ns = *g->seekPending;
            g->seekPending.reset();
            g->StartSeek(ns);
          } else {
            g->seekBusy = false;
          }
        }
        g->Notify();
      }
      gst_message_unref(msg);  // a dropped message is the handler's to free
      return GST_BUS_DROP;
    default:
      // Nobody reads state changes, tags or QoS reports; keeping them would
      // only grow the queue between two polls.
      gst_message_unref(msg);
      return GST_BUS_DROP;
  }
}

GstPadProbeReturn OnFullSizeData(GstPad*, GstPadProbeInfo* info, gpointer data) {
  auto* g = static_cast<Graph*>(data);
  if (info->type & GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM) {
    GstEvent* ev = GST_PAD_PROBE_INFO_EVENT(info);
    if (GST_EVENT_TYPE(ev) == GST_EVENT_CAPS) {
      GstCaps* caps = nullptr;
      gst_event_parse_caps(ev, &caps);
      GstVideoInfo vi;
      std::lock_guard lock(g->mutex);
      gst_caps_replace(&g->fullCaps, caps);
      if (gst_video_info_from_caps(&vi, caps)) {
        g->videoWidth = GST_VIDEO_INFO_WIDTH(&vi);
        g->videoHeight = GST_VIDEO_INFO_HEIGHT(&vi);
      }
    } else if (GST_EVENT_TYPE(ev) == GST_EVENT_EOS) {
      std::lock_guard lock(g->mutex);
      g->videoEnded = true;
      g->Notify();
    } else if (GST_EVENT_TYPE(ev) == GST_EVENT_FLUSH_STOP) {
      std::lock_guard lock(g->mutex);
      for (auto& [b, c] : g->fullQueue) {
        gst_buffer_unref(b);
        gst_caps_unref(c);
      }
      g->fullQueue.clear();
    }
  } else if (info->type & GST_PAD_PROBE_TYPE_BUFFER) {
    GstBuffer* buf = GST_PAD_PROBE_INFO_BUFFER(info);
    std::lock_guard lock(g->mutex);
    if (g->fullCaps) {
      // At most two ahead of the screen: holding more would starve the
      // decoder's buffer pool.
      while (g->fullQueue.size() >= 2) {
        gst_buffer_unref(g->fullQueue.front().first);
        gst_caps_unref(g->fullQueue.front().second);
        g->fullQueue.erase(g->fullQueue.begin());
      }
      g->fullQueue.emplace_back(gst_buffer_ref(buf), gst_caps_ref(g->fullCaps));
    }
  }
  return GST_PAD_PROBE_OK;
}

void Present(Graph* g, GstSample* sample) {
  GstBuffer* buf = gst_sample_get_buffer(sample);
  GstCaps* caps = gst_sample_get_caps(sample);
  if (!buf || !caps) {
    gst_sample_unref(sample);
    return;
  }
  const std::int64_t timeMs = StreamTimeMs(sample, buf);
  bool scaled;
  {
    std::lock_guard lock(g->mutex);
    // In the playing state the first frame after a seek comes twice (preroll,
    // then render); it is shown once.
    // A step is on screen that the pipeline has not caught up with; what it
    // prerolls from an older seek must not cover it.
    if (g->staleNs) {
      gst_sample_unref(sample);
      return;
    }
    if (buf == g->lastPresented && GST_BUFFER_PTS(buf) == g->lastPresentedPts) {
      gst_sample_unref(sample);
      return;
    }
    g->lastPresented = buf;
    g->lastPresentedPts = GST_BUFFER_PTS(buf);
    g->shownTimeMs = timeMs;
    ++g->framesPresented;
    const GstClockTime pts = GST_BUFFER_PTS(buf);
    for (std::size_t i = 0; i < g->fullQueue.size(); ++i) {
      if (GST_BUFFER_PTS(g->fullQueue[i].first) != pts) continue;
      if (g->shownFull) gst_buffer_unref(g->shownFull);
      if (g->shownCaps) gst_caps_unref(g->shownCaps);
      g->shownFull = g->fullQueue[i].first;
      g->shownCaps = g->fullQueue[i].second;
      g->fullQueue.erase(g->fullQueue.begin(), g->fullQueue.begin() + i + 1);
      break;
    }
    scaled = g->renderWidth > 0;
  }
  std::lock_guard outLock(g->outputMutex);
  if (!g->output || !scaled) {
    gst_sample_unref(sample);
    return;
  }
  GstVideoInfo vi;
  if (!gst_video_info_from_caps(&vi, caps) || GST_VIDEO_INFO_FORMAT(&vi) != GST_VIDEO_FORMAT_BGRx) {
    gst_sample_unref(sample);
    return;
  }
  auto mapping = std::make_unique<CVideoFrame::Mapping>();
  mapping->sample = sample;
  if (!(mapping->mapped = gst_video_frame_map(&mapping->frame, &vi, buf, GST_MAP_READ))) return;
  std::shared_ptr<CVideoFrame> frame(VideoFrameAccess::New());
  VideoFrameAccess::Set(*frame, std::move(mapping), timeMs);
  g->output->PresentFrame(std::move(frame));
}

GstFlowReturn OnNewPreroll(GstAppSink* sink, gpointer data) {
  if (GstSample* s = OwnSample(gst_app_sink_pull_preroll(sink)))
    Present(static_cast<Graph*>(data), s);
  return GST_FLOW_OK;
}

GstFlowReturn OnNewSample(GstAppSink* sink, gpointer data) {
  if (GstSample* s = OwnSample(gst_app_sink_pull_sample(sink)))
    Present(static_cast<Graph*>(data), s);
  return GST_FLOW_OK;
}

GstElement* MakeAudioSink() {
  const std::string name = CMoviePlayer::AudioSinkName();
  GstElement* sink = gst_element_factory_make(name.c_str(), nullptr);
  if (!sink) sink = gst_element_factory_make("fakesink", nullptr);
  // Without a sound device the clock must still run in real time.
  if (name == "fakesink") g_object_set(sink, "sync", TRUE, nullptr);
  return sink;
}

// Streaming thread: a decoded (or undecodable) stream appeared; give it a
// branch. The first video and the first audio stream are shown and heard;
// anything else is swallowed so that it cannot stall the others.
void LinkDecodedPad(Graph* g, GstPad* pad) {
  GstCaps* caps = gst_pad_get_current_caps(pad);
  if (!caps) caps = gst_pad_query_caps(pad, nullptr);
  const char* media = "";
  if (caps && gst_caps_get_size(caps) > 0)
    media = gst_structure_get_name(gst_caps_get_structure(caps, 0));
  const bool isVideo = g_str_has_prefix(media, "video/x-raw");
  const bool isAudio = g_str_has_prefix(media, "audio/x-raw");
  if (caps) gst_caps_unref(caps);

  GstElement* branch = nullptr;
  std::unique_lock lock(g->mutex);
  if (isVideo && !g->videoSink) {
    lock.unlock();
    auto scaler = CFrameScaler::Make("sync=true enable-last-sample=false max-buffers=2");
    if (!scaler) return;
    branch = scaler->Bin();
    GstAppSinkCallbacks cb{};
    cb.new_preroll = OnNewPreroll;
    cb.new_sample = OnNewSample;
    gst_app_sink_set_callbacks(GST_APP_SINK(scaler->AppSink()), &cb, g, nullptr);
    gst_pad_add_probe(
        scaler->SinkPad().get(),
        GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM |
                        GST_PAD_PROBE_TYPE_EVENT_FLUSH),
        OnFullSizeData, g, nullptr);
    lock.lock();
    g->scaler = scaler;
    g->videoSink = scaler->AppSink();
    g->ApplyRenderCaps();
    g->ApplyRatePolicy();
    lock.unlock();
  } else if (isAudio && !g->volume) {
    lock.unlock();
    // Built by hand: the sink is chosen at run time, and a parsed bin would
    // have ghosted the volume's output already.
    branch = gst_bin_new(nullptr);
    GstElement* chain[] = {
        gst_element_factory_make("audioconvert", nullptr),
        gst_element_factory_make("audioresample", nullptr),
        gst_element_factory_make("scaletempo", nullptr),
        gst_element_factory_make("audioconvert", nullptr),
        gst_element_factory_make("audioresample", nullptr),
        gst_element_factory_make("volume", nullptr),
        MakeAudioSink(),
    };
    bool ok = true;
    for (GstElement* e : chain) {
      if (e)
        gst_bin_add(GST_BIN(branch), e);
      else
        ok = false;
    }
    for (std::size_t i = 0; ok && i + 1 < std::size(chain); ++i)
      ok = gst_element_link(chain[i], chain[i + 1]);
    if (!ok) {
      gst_object_unref(branch);
      return;
    }
    GstPad* target = gst_element_get_static_pad(chain[0], "sink");
    gst_element_add_pad(branch, gst_ghost_pad_new("sink", target));
    gst_object_unref(target);
    GstElement* vol = GST_ELEMENT(gst_object_ref(chain[5]));
    lock.lock();
    g->volume = vol;
    gst_object_unref(vol);
    lock.unlock();
  } else {
    lock.unlock();
    branch = MakeDiscardSink();
  }
  gst_bin_add(GST_BIN(g->pipeline), branch);
  StartAndLink(branch, pad);
}

void OnSourcePad(GstElement*, GstPad* pad, gpointer data) {
  LinkDecodedPad(static_cast<Graph*>(data), pad);
}

void OnSourceNoMorePads(GstElement*, gpointer data) {
  auto* g = static_cast<Graph*>(data);
  std::lock_guard lock(g->mutex);
  g->sourcePadsDone = true;
  g->Notify();
}

GstElement* MakeFileSource(Graph& g, const std::string& path) {
  GstElement* src = gst_element_factory_make("filesrc", nullptr);
  if (!src) return nullptr;
  g_object_set(src, "location", path.c_str(), nullptr);
  gst_bin_add(GST_BIN(g.pipeline), src);
  return src;
}

// filesrc ! decodebin that accepts only one container (`containerCaps`):
// the container's demuxer and then the decoders of its streams, chosen and
// threaded by decodebin.
HRESULT BuildForContainer(Graph& g, const std::string& path, const char* containerCaps) {
  GstElement* src = MakeFileSource(g, path);
  GstElement* dec = gst_element_factory_make("decodebin", nullptr);
  if (!src || !dec) {
    if (dec) gst_object_unref(dec);
    return E_FAIL;
  }
  GstCaps* caps = gst_caps_from_string(containerCaps);
  g_object_set(dec, "sink-caps", caps, nullptr);
  gst_caps_unref(caps);
  g_signal_connect(dec, "pad-added", G_CALLBACK(OnSourcePad), &g);
  g_signal_connect(dec, "no-more-pads", G_CALLBACK(OnSourceNoMorePads), &g);
  gst_bin_add(GST_BIN(g.pipeline), dec);
  return gst_element_link(src, dec) ? S_OK : E_FAIL;
}

// ---------------------------------------------------------------------------
// Stepping while paused. An accurate seek decodes from the key frame before
// its target, and stepping back 200 ms at a time would decode most of a key
// frame interval again for every step. Instead a second, picture-only
// pipeline of the same file decodes from that key frame up to the target
// once, as fast as it can, keeping every frame already scaled for the output
// (small at the pane's size); the steps that follow inside that stretch are
// lookups. The main pipeline is moved to the position shown only when it is
// needed: before playing, for the full-size image, for a seek the cache
// cannot serve.

class StepCache {
 public:
  StepCache(Graph* g, std::string path) : m_g(g), m_path(std::move(path)) {
    m_worker = std::thread([this] { Run(); });
  }
  ~StepCache() {
    {
      std::lock_guard lock(m_mutex);
      m_quit = true;
    }
    m_cv.notify_all();
    m_worker.join();
  }

  // GUI thread. The cached frame at or before `ms`, when the stretch decoded
  // last covers it at the size frames are now shown at.
  VideoFramePtr Lookup(std::int64_t ms, int width, int height) {
    std::lock_guard lock(m_mutex);
    ++m_requestSeq;
    if (m_frames.empty() || width != m_width || height != m_height) return nullptr;
    if (ms < m_frames.front()->TimeMs() || ms > m_endMs) return nullptr;
    auto it =
        std::upper_bound(m_frames.begin(), m_frames.end(), ms,
                         [](std::int64_t t, const VideoFramePtr& f) { return t < f->TimeMs(); });
    return *std::prev(it);
  }

  // GUI thread: decode up to `ms` and show the frame there. Only the newest
  // request waits while a stretch is being decoded.
  void Request(std::int64_t ms) {
    {
      std::lock_guard lock(m_mutex);
      m_request = ms;
      m_release = false;
    }
    m_cv.notify_all();
  }

  // GUI thread: playing again; the frames and the second pipeline go, so
  // they cost no memory while the movie plays.
  void Release() {
    {
      std::lock_guard lock(m_mutex);
      m_request.reset();
      m_release = true;
      m_frames.clear();
    }
    m_cv.notify_all();
  }

 private:
  void Run();
  bool Build();
  void TearDown();
  void Decode(std::int64_t ms, std::uint64_t seq);

  static void OnPad(GstElement*, GstPad* pad, gpointer data) {
    auto* self = static_cast<StepCache*>(data);
    GstCaps* caps = gst_pad_get_current_caps(pad);
    if (!caps) caps = gst_pad_query_caps(pad, nullptr);
    const bool isVideo =
        caps && gst_caps_get_size(caps) > 0 &&
        g_str_has_prefix(gst_structure_get_name(gst_caps_get_structure(caps, 0)), "video/x-raw");
    if (caps) gst_caps_unref(caps);
    GstElement* branch;
    if (isVideo && !self->m_linked.exchange(true)) {
      branch = self->m_videoBin;
    } else {
      branch = MakeDiscardSink();
      gst_bin_add(GST_BIN(self->m_pipeline), branch);
    }
    StartAndLink(branch, pad);
  }
  // Sound is not wanted here: stop decodebin before it decodes any.
  static gboolean OnAutoplugContinue(GstElement*, GstPad*, GstCaps* caps, gpointer) {
    return !(gst_caps_get_size(caps) > 0 &&
             g_str_has_prefix(gst_structure_get_name(gst_caps_get_structure(caps, 0)), "audio/"));
  }

  Graph* m_g;
  const std::string m_path;
  std::thread m_worker;

  std::mutex m_mutex;  // guards the members down to m_endMs
  std::condition_variable m_cv;
  bool m_quit = false;
  bool m_release = false;
  std::optional<std::int64_t> m_request;
  std::uint64_t m_requestSeq = 0;       // counts every step asked for, served or not
  std::vector<VideoFramePtr> m_frames;  // in time order, one stretch
  int m_width = 0;
  int m_height = 0;
  std::int64_t m_endMs = -1;

  // Worker thread only.
  GstElement* m_pipeline = nullptr;
  std::shared_ptr<CFrameScaler> m_scaler;
  GstElement* m_videoBin = nullptr;
  GstElement* m_sink = nullptr;
  std::atomic<bool> m_linked{false};
  bool m_failed = false;  // the file cannot be stepped this way; seek instead
};

void StepCache::Run() {
  std::unique_lock lock(m_mutex);
  for (;;) {
    m_cv.wait(lock, [this] { return m_quit || m_request || (m_release && m_pipeline); });
    if (m_quit) break;
    if (!m_request) {
      lock.unlock();
      TearDown();
      lock.lock();
      continue;
    }
    const std::int64_t ms = *m_request;
    m_request.reset();
    const std::uint64_t seq = m_requestSeq;
    lock.unlock();
    Decode(ms, seq);
    lock.lock();
  }
  lock.unlock();
  TearDown();
}

bool StepCache::Build() {
  m_linked = false;
  m_pipeline = gst_pipeline_new("steps");
  GstElement* src = gst_element_factory_make("filesrc", nullptr);
  GstElement* dec = gst_element_factory_make("decodebin", nullptr);
  // The same way to the screen as the movie's own frames, so a step looks
  // like the picture played.
  m_scaler = CFrameScaler::Make("sync=false enable-last-sample=false max-buffers=4");
  if (!src || !dec || !m_scaler) {
    if (src) gst_object_unref(src);
    if (dec) gst_object_unref(dec);
    m_scaler.reset();
    return false;
  }
  m_videoBin = m_scaler->Bin();
  m_sink = m_scaler->AppSink();
  g_object_set(src, "location", m_path.c_str(), nullptr);
  g_signal_connect(dec, "pad-added", G_CALLBACK(OnPad), this);
  g_signal_connect(dec, "autoplug-continue", G_CALLBACK(OnAutoplugContinue), this);
  g_signal_connect(m_pipeline, "deep-element-added", G_CALLBACK(OnDeepElementAdded), nullptr);
  gst_bin_add_many(GST_BIN(m_pipeline), src, dec, m_videoBin, nullptr);
  if (!gst_element_link(src, dec)) return false;
  if (gst_element_set_state(m_pipeline, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE) return false;
  GstState state = GST_STATE_VOID_PENDING;
  return gst_element_get_state(m_pipeline, &state, nullptr, 3 * GST_SECOND) ==
             GST_STATE_CHANGE_SUCCESS &&
         m_linked;
}

void StepCache::TearDown() {
  if (!m_pipeline) return;
  gst_element_set_state(m_pipeline, GST_STATE_NULL);
  gst_object_unref(m_pipeline);
  m_scaler.reset();
  m_pipeline = m_videoBin = m_sink = nullptr;
}

void StepCache::Decode(std::int64_t ms, std::uint64_t seq) {
  int width, height;
  {
    std::lock_guard lock(m_g->mutex);
    width = m_g->renderWidth;
    height = m_g->renderHeight;
  }
  if (!m_failed && !m_pipeline && !Build()) {
    TearDown();
    m_failed = true;
  }
  auto fallBack = [this, ms] {
    std::lock_guard lock(m_g->mutex);
    if (m_g->staleNs == ms * GST_MSECOND) {
      m_g->staleNs.reset();
      m_g->SeekMain(ms * GST_MSECOND);
    }
  };
  if (m_failed || width <= 0 || height <= 0) return fallBack();

  m_scaler->SetShownSize(width, height);
  // From the key frame at or before the target, so that every frame decoded
  // is kept; the stretch ends with the frame shown at the target.
  const std::int64_t ns = ms * GST_MSECOND;
  if (!gst_element_seek(
          m_pipeline, 1.0, GST_FORMAT_TIME,
          GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_KEY_UNIT | GST_SEEK_FLAG_SNAP_BEFORE),
          GST_SEEK_TYPE_SET, ns, GST_SEEK_TYPE_SET, ns + GST_MSECOND)) {
    TearDown();
    m_failed = true;
    return fallBack();
  }
  gst_element_set_state(m_pipeline, GST_STATE_PLAYING);

  std::vector<VideoFramePtr> frames;
  std::size_t bytes = 0;
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  bool complete = false;
  while (Clock::now() < deadline) {
    {
      std::lock_guard lock(m_mutex);
      if (m_quit || m_release) return;  // closing, or playing again
    }
    GstSample* sample =
        OwnSample(gst_app_sink_try_pull_sample(GST_APP_SINK(m_sink), 100 * GST_MSECOND));
    if (!sample) {
      if (gst_app_sink_is_eos(GST_APP_SINK(m_sink))) {
        complete = true;
        break;
      }
      continue;
    }
    GstBuffer* buf = gst_sample_get_buffer(sample);
    GstVideoInfo vi;
    auto mapping = std::make_unique<CVideoFrame::Mapping>();
    mapping->sample = sample;  // let go of with the mapping
    if (!buf || !gst_video_info_from_caps(&vi, gst_sample_get_caps(sample))) continue;
    const std::int64_t timeMs = StreamTimeMs(sample, buf);
    if (timeMs < 0 || timeMs > ms) continue;
    if (!(mapping->mapped = gst_video_frame_map(&mapping->frame, &vi, buf, GST_MAP_READ))) continue;
    std::shared_ptr<CVideoFrame> frame(VideoFrameAccess::New());
    VideoFrameAccess::Set(*frame, std::move(mapping), timeMs);
    bytes += std::size_t(frame->Stride()) * frame->Height();
    frames.push_back(std::move(frame));
    // Keep the frames nearest the target: stepping goes back from there.
    while (bytes > kStepCacheBytes && frames.size() > 1) {
      bytes -= std::size_t(frames.front()->Stride()) * frames.front()->Height();
      frames.erase(frames.begin());
    }
  }
  if (!complete || frames.empty()) {
    // Past the end, or a stream this pipeline cannot walk: the main one seeks.
    TearDown();
    return fallBack();
  }
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
  }
  if (current) m_g->ShowStepFrame(shown, false);
}

}  // namespace

CMoviePlayer::Graph::~Graph() {
  stepCache.reset();  // its thread presents through this graph
  if (pipeline) {
    {
      std::unique_lock lock(mutex);
      closing = true;
      changed.wait_for(lock, std::chrono::seconds(2), [this] { return asyncCalls == 0; });
    }
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_bus_set_sync_handler(bus, nullptr, nullptr, nullptr);
    gst_object_unref(bus);
    gst_object_unref(pipeline);
  }
  for (auto& [b, c] : fullQueue) {
    gst_buffer_unref(b);
    gst_caps_unref(c);
  }
  if (fullCaps) gst_caps_unref(fullCaps);
  if (shownFull) gst_buffer_unref(shownFull);
  if (shownCaps) gst_caps_unref(shownCaps);
}

void CMoviePlayer::Graph::ShowStepFrame(const VideoFramePtr& frame, bool fromCache) {
  {
    std::lock_guard lock(mutex);
    // Moved on meanwhile (played, or sought through the pipeline).
    if (!staleNs) return;
    shownTimeMs = frame->TimeMs();
    if (fromCache) ++stepCacheHits;
  }
  std::lock_guard outLock(outputMutex);
  if (output) output->PresentFrame(frame);
}

void CMoviePlayer::Graph::SeekMain(std::int64_t ns) {
  if (seekBusy && Clock::now() - seekStarted < kSeekStuck) {
    seekPending = ns;
    return;
  }
  seekPending.reset();
  StartSeek(ns);
}

// ---------------------------------------------------------------------------
// CMoviePlayer

CMoviePlayer::CMoviePlayer() = default;

CMoviePlayer::~CMoviePlayer() {
  // The pipeline's threads must be gone before the output can be.
  DestroyGraph();
  if (m_pOwner) m_pOwner->m_pAttachedPlayer = nullptr;
}

std::string CMoviePlayer::AudioSinkName() {
  static std::once_flag once;
  static std::string name = "fakesink";
  std::call_once(once, [] {
    if (!vantor::EnsureGStreamer()) return;
    // A sound server or a device must actually open; an installed plug-in
    // alone proves nothing on a machine without sound.
    for (const char* candidate : {"pulsesink", "alsasink"}) {
      GstElement* e = gst_element_factory_make(candidate, nullptr);
      if (!e) continue;
      const bool ok = gst_element_set_state(e, GST_STATE_READY) == GST_STATE_CHANGE_SUCCESS;
      gst_element_set_state(e, GST_STATE_NULL);
      gst_object_unref(e);
      if (ok) {
        name = candidate;
        return;
      }
    }
  });
  return name;
}

std::unique_ptr<CMoviePlayer::Graph> CMoviePlayer::NewGraph() {
  auto g = std::make_unique<Graph>();
  g->pipeline = gst_pipeline_new("movie");
  g_signal_connect(g->pipeline, "deep-element-added", G_CALLBACK(OnDeepElementAdded), nullptr);
  g->bus = gst_pipeline_get_bus(GST_PIPELINE(g->pipeline));
  gst_bus_set_sync_handler(g->bus, OnBusMessage, g.get(), nullptr);
  g->rate = 1.0;
  // The first frame is decoded during preroll: scale it for the output
  // already, so it is on screen when Open returns.
  if (m_pOpeningOwner) {
    g->output = m_pOpeningOwner;
    g->renderWidth = std::max(m_rcVideo.Width(), 0);
    g->renderHeight = std::max(m_rcVideo.Height(), 0);
    if (m_bFullScreen && m_pOwner == m_pOpeningOwner)
      m_pOwner->GetShownSize(g->renderWidth, g->renderHeight);
    if (g->renderWidth <= 0 || g->renderHeight <= 0) g->renderWidth = g->renderHeight = 0;
  }
  return g;
}

void CMoviePlayer::DestroyGraph() {
  if (!m_pGraph) return;
  {
    std::lock_guard lock(m_pGraph->outputMutex);
    m_pGraph->output = nullptr;
  }
  m_pGraph.reset();
}

void CMoviePlayer::CreateGraph() {
  DestroyGraph();
}

namespace {

// decodebin swallows an error that a demuxer posts while decodebin is still
// bringing it up (it keeps such errors in case another demuxer can be tried
// instead), so a file the demuxer refuses at once (a movie cut off before its
// index) would sometimes wait out the whole Open budget. A demuxer that reads
// the file itself (pull mode) and has stopped doing so before giving a single
// stream has given up.
bool DemuxerGaveUp(GstElement* pipeline) {
  bool gaveUp = false;
  GstIterator* it = gst_bin_iterate_recurse(GST_BIN(pipeline));
  GValue item = G_VALUE_INIT;
  while (!gaveUp && gst_iterator_next(it, &item) == GST_ITERATOR_OK) {
    auto* element = GST_ELEMENT(g_value_get_object(&item));
    GstElementFactory* factory = gst_element_get_factory(element);
    const char* klass =
        factory ? gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS) : nullptr;
    GST_OBJECT_LOCK(element);
    const bool noStreams = element->numsrcpads == 0;
    GST_OBJECT_UNLOCK(element);
    if (klass && std::strstr(klass, "Demux") && noStreams) {
      if (GstPad* sink = gst_element_get_static_pad(element, "sink")) {
        GST_OBJECT_LOCK(sink);
        GstTask* task = GST_PAD_MODE(sink) == GST_PAD_MODE_PULL ? GST_PAD_TASK(sink) : nullptr;
        if (task) gst_object_ref(task);
        GST_OBJECT_UNLOCK(sink);
        if (task) {
          gaveUp = gst_task_get_state(task) == GST_TASK_PAUSED;
          gst_object_unref(task);
        }
        gst_object_unref(sink);
      }
    }
    g_value_reset(&item);
  }
  g_value_unset(&item);
  gst_iterator_free(it);
  return gaveUp;
}

}  // namespace

HRESULT CMoviePlayer::Preroll(Graph& g) {
  if (gst_element_set_state(g.pipeline, GST_STATE_PAUSED) == GST_STATE_CHANGE_FAILURE)
    return E_FAIL;
  std::unique_lock lock(g.mutex);
  for (;;) {
    if (g.error) return E_FAIL;
    const bool linked = g.videoSink || g.volume;
    if (g.sourcePadsDone) {
      if (!linked) return E_FAIL;  // nothing in the file that can be played
      lock.unlock();
      GstState state = GST_STATE_VOID_PENDING;
      const GstStateChangeReturn r = gst_element_get_state(g.pipeline, &state, nullptr, 0);
      lock.lock();
      if (g.error || r == GST_STATE_CHANGE_FAILURE) return E_FAIL;
      // Streams added after the pipeline first settled (demuxer strategies)
      // can leave it claiming PAUSED before the picture is there.
      // A picture stream can also end before its first frame (an ASF file
      // whose video payloads all lie past its end): the sound still plays.
      const bool pictureReady = !g.videoSink || g.framesPresented > 0 || g.videoEnded;
      if (r == GST_STATE_CHANGE_SUCCESS && state == GST_STATE_PAUSED && pictureReady) return S_OK;
    }
    if (g.changed.wait_until(lock,
                             std::min(g.deadline, Clock::now() + std::chrono::milliseconds(20))) ==
        std::cv_status::timeout) {
      if (Clock::now() >= g.deadline) return E_FAIL;
      if (!linked && !g.sourcePadsDone) {
        lock.unlock();
        const bool gaveUp = DemuxerGaveUp(g.pipeline);
        lock.lock();
        if (gaveUp) return E_FAIL;
      }
    }
  }
}

HRESULT CMoviePlayer::RenderWmv(const std::string& path, Graph& g) {
  const HRESULT hr = CheckExtension(path, {"wma", "wmv"});
  if (FAILED(hr)) return hr;
  if (FAILED(BuildForContainer(g, path, "video/x-ms-asf"))) return E_FAIL;
  return Preroll(g);
}

HRESULT CMoviePlayer::RenderFile(const std::string& path, Graph& g) {
  GError* err = nullptr;
  gchar* uri = gst_filename_to_uri(path.c_str(), &err);
  if (!uri) {
    if (err) g_error_free(err);
    return E_FAIL;
  }
  GstElement* dec = gst_element_factory_make("uridecodebin", nullptr);
  if (!dec) {
    g_free(uri);
    return E_FAIL;
  }
  g_object_set(dec, "uri", uri, nullptr);
  g_free(uri);
  g_signal_connect(dec, "pad-added", G_CALLBACK(OnSourcePad), &g);
  g_signal_connect(dec, "no-more-pads", G_CALLBACK(OnSourceNoMorePads), &g);
  gst_bin_add(GST_BIN(g.pipeline), dec);
  return Preroll(g);
}

HRESULT CMoviePlayer::RenderAvi(const std::string& path, Graph& g) {
  const HRESULT hr = CheckExtension(path, {"avi"});
  if (FAILED(hr)) return hr;
  if (FAILED(BuildForContainer(g, path, "video/x-msvideo"))) return E_FAIL;
  return Preroll(g);
}

HRESULT CMoviePlayer::RenderWithAsyncReader(const std::string& path, Graph& g) {
  GstElement* src = MakeFileSource(g, path);
  GstElement* dec = gst_element_factory_make("decodebin", nullptr);
  if (!src || !dec) {
    if (dec) gst_object_unref(dec);
    return E_FAIL;
  }
  g_signal_connect(dec, "pad-added", G_CALLBACK(OnSourcePad), &g);
  g_signal_connect(dec, "no-more-pads", G_CALLBACK(OnSourceNoMorePads), &g);
  gst_bin_add(GST_BIN(g.pipeline), dec);
  if (!gst_element_link(src, dec)) return E_FAIL;
  return Preroll(g);
}

BOOL CMoviePlayer::Open(const std::string& path, IVideoOutput* owner, VideoRect rcVideo) {
  m_nVideoWidth = m_nVideoHeight = 0;
  m_attempts.clear();
  if (path.empty()) {
    Close();
    return TRUE;
  }
  CreateGraph();
  if (!vantor::EnsureGStreamer()) return FALSE;

  // The strategies in their fixed order. Each attempt gets a fresh pipeline:
  // what a failed attempt left behind could only get in the way.
  using Strategy = HRESULT (CMoviePlayer::*)(const std::string&, Graph&);
  const std::pair<const char*, Strategy> strategies[] = {
      {"RenderWmv", &CMoviePlayer::RenderWmv},
      {"RenderFile", &CMoviePlayer::RenderFile},
      {"RenderAvi", &CMoviePlayer::RenderAvi},
      {"RenderWithAsyncReader", &CMoviePlayer::RenderWithAsyncReader},
      {"RenderFile", &CMoviePlayer::RenderFile},
  };
  const auto deadline = Clock::now() + kOpenBudget;
  std::unique_ptr<Graph> graph;
  m_pOpeningOwner = owner;
  const VideoRect previousRect = m_rcVideo;
  if (owner) m_rcVideo = rcVideo;
  for (const auto& [name, strategy] : strategies) {
    auto candidate = NewGraph();
    candidate->deadline = deadline;
    const HRESULT hr = (this->*strategy)(path, *candidate);
    m_attempts.push_back({name, hr});
    if (SUCCEEDED(hr)) {
      graph = std::move(candidate);
      break;
    }
  }
  m_pOpeningOwner = nullptr;
  if (!graph) {
    m_rcVideo = previousRect;
    return FALSE;
  }
  m_pGraph = std::move(graph);
  m_pGraph->path = path;
  m_dRate = 1.0;

  if (m_pGraph->volume) SetVolume(m_nVolume);
  {
    std::lock_guard lock(m_pGraph->mutex);
    m_nVideoWidth = m_pGraph->videoSink ? m_pGraph->videoWidth : 0;
    m_nVideoHeight = m_pGraph->videoSink ? m_pGraph->videoHeight : 0;
  }
  if (IsAudioOnly()) {
    std::lock_guard lock(m_pGraph->outputMutex);
    m_pGraph->output = nullptr;
  }
  if (owner) {
    SetOwnerWindow(owner);
    SetVideoPosition(rcVideo);
    ShowVideo(TRUE);
  }
  m_bOpen = TRUE;
  if (m_bFullScreen) EnterFullScreen();
  return TRUE;
}

HRESULT CMoviePlayer::SetOwnerWindow(IVideoOutput* owner) {
  if (!m_pGraph || IsAudioOnly()) return S_OK;
  if (m_pOwner && m_pOwner != owner) {
    m_pOwner->ClearVideo();
    m_pOwner->m_pAttachedPlayer = nullptr;
  }
  m_pOwner = owner;
  owner->m_pAttachedPlayer = this;
  {
    std::lock_guard lock(m_pGraph->outputMutex);
    m_pGraph->output = owner;
  }
  UpdateRenderSize();
  return S_OK;
}

HRESULT CMoviePlayer::Close() {
  Stop();
  DestroyGraph();
  if (m_pOwner) {
    m_pOwner->ClearVideo();
    if (m_bFullScreen) m_pOwner->SetFullScreen(false);
    m_pOwner->m_pAttachedPlayer = nullptr;
    m_pOwner = nullptr;
  }
  m_nVideoHeight = m_nVideoWidth = 0;
  m_bOpen = FALSE;
  m_dRate = 1.0;
  return S_OK;
}

void CMoviePlayer::DetachOutput(IVideoOutput* output) {
  if (m_pOwner != output) return;
  if (m_pGraph) {
    std::lock_guard lock(m_pGraph->outputMutex);
    m_pGraph->output = nullptr;
  }
  m_pOwner = nullptr;
}

void CMoviePlayer::OnOutputResized(IVideoOutput* output) {
  if (output == m_pOwner) UpdateRenderSize();
}

void CMoviePlayer::UpdateRenderSize() {
  if (!m_pGraph) return;
  int w = 0, h = 0;
  if (m_pOwner) m_pOwner->GetShownSize(w, h);
  std::lock_guard lock(m_pGraph->mutex);
  if (w == m_pGraph->renderWidth && h == m_pGraph->renderHeight) return;
  m_pGraph->renderWidth = std::max(w, 0);
  m_pGraph->renderHeight = std::max(h, 0);
  if (m_pGraph->renderWidth == 0 || m_pGraph->renderHeight == 0)
    m_pGraph->renderWidth = m_pGraph->renderHeight = 0;
  m_pGraph->ApplyRenderCaps();
}

// ---------------------------------------------------------------------------
// Operations

void CMoviePlayer::ShowPlayerError(const char* english) {
  vantor::ShowMessageBox(vantor::Tr(english), "Preview Player", vantor::MessageIcon::Error);
}

bool CMoviePlayer::ChangeState(int gstState) {
  return gst_element_set_state(m_pGraph->pipeline, static_cast<GstState>(gstState)) !=
         GST_STATE_CHANGE_FAILURE;
}

bool CMoviePlayer::QueryPosition(std::int64_t& ns) {
  gint64 v = 0;
  if (!gst_element_query_position(m_pGraph->pipeline, GST_FORMAT_TIME, &v) || v < 0) return false;
  ns = v;
  return true;
}

bool CMoviePlayer::QueryDuration(std::int64_t& ns) {
  gint64 v = 0;
  if (!gst_element_query_duration(m_pGraph->pipeline, GST_FORMAT_TIME, &v) || v < 0) return false;
  ns = v;
  return true;
}

void CMoviePlayer::Play() {
  if (!m_pGraph) return;
  SyncToShown();
  if (m_pGraph->stepCache) m_pGraph->stepCache->Release();
  if (!ChangeState(GST_STATE_PLAYING)) ShowPlayerError("Failed to play");
}

void CMoviePlayer::Pause() {
  if (!m_pGraph) return;
  if (!ChangeState(GST_STATE_PAUSED)) ShowPlayerError("Failed to pause");
}

void CMoviePlayer::Stop() {
  if (!m_pGraph) return;
  // Paused rather than torn down: the picture stays and Play goes on from here.
  if (!ChangeState(GST_STATE_PAUSED)) ShowPlayerError("Failed to stop");
}

BOOL CMoviePlayer::IsRunning() {
  if (!m_pGraph) return FALSE;
  GstState state = GST_STATE_VOID_PENDING, pending = GST_STATE_VOID_PENDING;
  const GstStateChangeReturn r =
      gst_element_get_state(m_pGraph->pipeline, &state, &pending, 500 * GST_MSECOND);
  if (r == GST_STATE_CHANGE_FAILURE) return FALSE;
  if (r == GST_STATE_CHANGE_ASYNC && pending != GST_STATE_VOID_PENDING) state = pending;
  return state == GST_STATE_PLAYING;
}

BOOL CMoviePlayer::CheckComplete() {
  if (!m_pGraph) return TRUE;
  BOOL complete = FALSE;
  while (GstMessage* msg = gst_bus_pop(m_pGraph->bus)) {
    // A stream that breaks off (a truncated recording) ends the movie as
    // surely as its regular end does; waiting on would hang the playlist.
    const GstMessageType t = GST_MESSAGE_TYPE(msg);
    if (t == GST_MESSAGE_EOS || t == GST_MESSAGE_ERROR) complete = TRUE;
    gst_message_unref(msg);
  }
  return complete;
}

long CMoviePlayer::GetCurrentPosition() {
  if (!m_pGraph) return 0;
  {
    // While seeks are being decoded the position is where the last one goes.
    std::lock_guard lock(m_pGraph->mutex);
    if (m_pGraph->staleNs) return static_cast<long>(*m_pGraph->staleNs / 1000000);
    if (m_pGraph->seekBusy && Clock::now() - m_pGraph->seekStarted < kSeekStuck) {
      const std::int64_t ns = m_pGraph->seekPending.value_or(m_pGraph->seekTarget);
      return static_cast<long>(ns / 1000000);
    }
  }
  std::int64_t ns = 0;
  if (!QueryPosition(ns)) {
    ShowPlayerError("Failed to get play position");
    return 0;
  }
  return static_cast<long>(ns / 1000000);
}

void CMoviePlayer::IssueSeek(std::int64_t ns) {
  if (!m_pGraph) return;
  Graph& g = *m_pGraph;
  {
    std::lock_guard lock(g.mutex);
    if (g.rate != m_dRate) {
      g.rate = m_dRate;
      g.ApplyRatePolicy();
    }
    g.staleNs.reset();
    if (g.seekBusy && Clock::now() - g.seekStarted < kSeekStuck) {
      g.seekPending = ns;
      return;
    }
    g.seekBusy = true;
    g.seekStarted = Clock::now();
    g.seekTarget = ns;
    g.seekPending.reset();
  }
  if (!DoSeek(g.pipeline, ns, m_dRate)) {
    std::lock_guard lock(g.mutex);
    g.seekBusy = false;
  }
}

void CMoviePlayer::SetCurrentPosition(long ms) {
  if (!m_pGraph) return;
  if (ms >= 0 && StepWhilePaused(ms)) return;
  IssueSeek(std::int64_t(ms) * 1000000);
}

bool CMoviePlayer::StepWhilePaused(long ms) {
  Graph& g = *m_pGraph;
  if (GST_STATE_TARGET(g.pipeline) != GST_STATE_PAUSED || g.path.empty()) return false;
  int width, height;
  {
    std::lock_guard lock(g.mutex);
    if (!g.videoSink || g.renderWidth <= 0) return false;
    width = g.renderWidth;
    height = g.renderHeight;
  }
  {
    std::lock_guard lock(g.outputMutex);
    if (!g.output) return false;  // nothing to show it on: the pipeline seeks
  }
  if (!g.stepCache) g.stepCache = std::make_unique<StepCache>(&g, g.path);
  {
    std::lock_guard lock(g.mutex);
    g.staleNs = std::int64_t(ms) * 1000000;
  }
  if (VideoFramePtr frame = g.stepCache->Lookup(ms, width, height))
    g.ShowStepFrame(frame, true);
  else
    g.stepCache->Request(ms);
  return true;
}

void CMoviePlayer::SyncToShown() {
  if (!m_pGraph) return;
  std::optional<std::int64_t> ns;
  {
    std::lock_guard lock(m_pGraph->mutex);
    ns = m_pGraph->staleNs;
  }
  if (ns) IssueSeek(*ns);
}

long CMoviePlayer::GetDuration() {
  if (!m_pGraph) return 0;
  std::int64_t ns = 0;
  if (!QueryDuration(ns)) {
    ShowPlayerError("Failed to get movie duration");
    return 0;
  }
  return static_cast<long>(ns / 1000000);
}

BOOL CMoviePlayer::SetRate(double dRate) {
  if (!m_pGraph || !(dRate > 0.0)) return FALSE;
  if (dRate == m_dRate) return TRUE;
  std::int64_t ns = 0;
  {
    std::lock_guard lock(m_pGraph->mutex);
    if (m_pGraph->staleNs)
      ns = *m_pGraph->staleNs;
    else if (m_pGraph->seekBusy)
      ns = m_pGraph->seekPending.value_or(m_pGraph->seekTarget);
  }
  if (ns == 0 && !QueryPosition(ns)) ns = 0;
  m_dRate = dRate;
  IssueSeek(ns);
  return TRUE;
}

double CMoviePlayer::AudioVolumeToLinear(long nVolume) {
  return std::pow(10.0, double(nVolume) / 2000.0);
}

long CMoviePlayer::LinearToAudioVolume(double dLinear) {
  if (!(dLinear > 0.0)) return -10000;
  const long v = std::lround(2000.0 * std::log10(dLinear));
  return std::clamp(v, -10000L, 0L);
}

void CMoviePlayer::PutAudioVolume(long nVolume) {
  if (!m_pGraph || !m_pGraph->volume) return;
  if (nVolume < -10000 || nVolume > 0) return;
  g_object_set(m_pGraph->volume, "volume", AudioVolumeToLinear(nVolume), nullptr);
}

long CMoviePlayer::GetAudioVolume() {
  if (!m_pGraph || !m_pGraph->volume) return -10000;
  double linear = 0;
  g_object_get(m_pGraph->volume, "volume", &linear, nullptr);
  return LinearToAudioVolume(linear);
}

void CMoviePlayer::SetVolume(int nPercent) {
  if (!m_pGraph || !m_pGraph->volume) return;
  PutAudioVolume(100L * nPercent - 10000);
}

int CMoviePlayer::GetVolume() {
  long v = -10000;
  if (m_pGraph && m_pGraph->volume) v = GetAudioVolume();
  return static_cast<int>((v + 10000) / 100);
}

void CMoviePlayer::Mute(BOOL bMute) {
  if (!m_pGraph || !m_pGraph->volume) return;
  if (bMute) {
    // Muting twice must not remember silence as the volume to come back to.
    if (!IsMuted()) {
      m_nVolume = GetVolume();
      SetVolume(0);
    }
  } else if (IsMuted()) {
    SetVolume(m_nVolume);
  }
}

void CMoviePlayer::ShowVideo(BOOL bShow) {
  if (!m_pGraph || !m_pGraph->videoSink || IsAudioOnly()) return;
  if (m_pOwner && !m_pOwner->ShowVideoWindow(bShow != FALSE))
    ShowPlayerError("Failed to show or hide video window");
}

void CMoviePlayer::SetVideoPosition(VideoRect rc) {
  if (!m_pGraph || !m_pGraph->videoSink || IsAudioOnly()) return;
  m_rcVideo = rc;
  if (!m_pOwner) return;
  if (!m_pOwner->PlaceVideo(rc)) {
    ShowPlayerError("Failed to set play position");
    return;
  }
  UpdateRenderSize();
}

BOOL CMoviePlayer::EnterFullScreen() {
  if (!m_pGraph || !m_pGraph->videoSink) return FALSE;
  m_bFullScreen = TRUE;
  if (!m_pOwner || IsAudioOnly()) return FALSE;
  const bool ok = m_pOwner->SetFullScreen(true);
  UpdateRenderSize();
  return ok ? TRUE : FALSE;
}

BOOL CMoviePlayer::LeaveFullScreen() {
  if (!m_pGraph || !m_pGraph->videoSink) return FALSE;
  m_bFullScreen = FALSE;
  if (!m_pOwner || IsAudioOnly()) return FALSE;
  const bool ok = m_pOwner->SetFullScreen(false);
  UpdateRenderSize();
  return ok ? TRUE : FALSE;
}

std::int64_t CMoviePlayer::GetShownFrameTime() const {
  if (!m_pGraph) return -1;
  std::lock_guard lock(m_pGraph->mutex);
  return m_pGraph->shownTimeMs;
}

std::uint64_t CMoviePlayer::GetStepCacheHits() const {
  if (!m_pGraph) return 0;
  std::lock_guard lock(m_pGraph->mutex);
  return m_pGraph->stepCacheHits;
}

std::uint64_t CMoviePlayer::GetFramesPresented() const {
  if (!m_pGraph) return 0;
  std::lock_guard lock(m_pGraph->mutex);
  return m_pGraph->framesPresented;
}

std::unique_ptr<std::uint8_t[]> CMoviePlayer::GetCurrentImage(long* pcbSize) {
  if (pcbSize) *pcbSize = 0;
  if (!m_pGraph) return nullptr;
  // The full-size frame of a step shown from the cache: the pipeline has to
  // get there first.
  SyncToShown();
  GstBuffer* buf = nullptr;
  GstCaps* caps = nullptr;
  {
    std::unique_lock lock(m_pGraph->mutex);
    m_pGraph->changed.wait_for(lock, std::chrono::seconds(3), [this] {
      return !m_pGraph->seekBusy || Clock::now() - m_pGraph->seekStarted >= kSeekStuck;
    });
    if (!m_pGraph->shownFull) return nullptr;
    buf = gst_buffer_ref(m_pGraph->shownFull);
    caps = gst_caps_ref(m_pGraph->shownCaps);
  }
  std::unique_ptr<std::uint8_t[]> dib;
  GstVideoInfo in, out;
  if (gst_video_info_from_caps(&in, caps)) {
    const int w = GST_VIDEO_INFO_WIDTH(&in), h = GST_VIDEO_INFO_HEIGHT(&in);
    gst_video_info_set_format(&out, GST_VIDEO_FORMAT_BGR, w, h);
    // The frame is shown with square pixels at its coded size.
    GST_VIDEO_INFO_PAR_N(&out) = GST_VIDEO_INFO_PAR_N(&in);
    GST_VIDEO_INFO_PAR_D(&out) = GST_VIDEO_INFO_PAR_D(&in);
    GST_VIDEO_INFO_FPS_N(&out) = GST_VIDEO_INFO_FPS_N(&in);
    GST_VIDEO_INFO_FPS_D(&out) = GST_VIDEO_INFO_FPS_D(&in);
    GST_VIDEO_INFO_COLORIMETRY(&out).range = GST_VIDEO_COLOR_RANGE_0_255;
    GstVideoFrame src, dst;
    GstBuffer* outBuf = gst_buffer_new_allocate(nullptr, GST_VIDEO_INFO_SIZE(&out), nullptr);
    if (outBuf && gst_video_frame_map(&src, &in, buf, GST_MAP_READ)) {
      if (gst_video_frame_map(&dst, &out, outBuf, GST_MAP_WRITE)) {
        if (GstVideoConverter* conv = gst_video_converter_new(&in, &out, nullptr)) {
          gst_video_converter_frame(conv, &src, &dst);
          gst_video_converter_free(conv);
          const long rowBytes = ((long(w) * 3) + 3) & ~3L;
          const long imageBytes = rowBytes * h;
          const long size = 40 + imageBytes;
          dib.reset(new (std::nothrow) std::uint8_t[size]);
          if (dib) {
            std::uint8_t* p = dib.get();
            auto put32 = [&p](std::uint32_t v, int at) {
              for (int i = 0; i < 4; ++i) p[at + i] = std::uint8_t(v >> (8 * i));
            };
            auto put16 = [&p](std::uint16_t v, int at) {
              p[at] = std::uint8_t(v);
              p[at + 1] = std::uint8_t(v >> 8);
            };
            std::memset(p, 0, 40);
            put32(40, 0);                          // biSize
            put32(std::uint32_t(w), 4);            // biWidth
            put32(std::uint32_t(h), 8);            // biHeight: positive, bottom-up
            put16(1, 12);                          // biPlanes
            put16(24, 14);                         // biBitCount
            put32(0, 16);                          // biCompression: BI_RGB
            put32(std::uint32_t(imageBytes), 20);  // biSizeImage
            const auto* pixels =
                static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&dst, 0));
            const int stride = GST_VIDEO_FRAME_PLANE_STRIDE(&dst, 0);
            for (int y = 0; y < h; ++y) {
              std::uint8_t* row = p + 40 + (h - 1 - y) * rowBytes;
              std::memcpy(row, pixels + std::ptrdiff_t(y) * stride, std::size_t(w) * 3);
              std::memset(row + w * 3, 0, rowBytes - w * 3);
            }
            if (pcbSize) *pcbSize = size;
          }
        }
        gst_video_frame_unmap(&dst);
      }
      gst_video_frame_unmap(&src);
    }
    if (outBuf) gst_buffer_unref(outBuf);
  }
  gst_buffer_unref(buf);
  gst_caps_unref(caps);
  return dib;
}
