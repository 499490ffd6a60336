// A branch for each stream the decoder gives: the first picture stream goes
// through the frame scaler to the output, the first sound stream to the
// audio sink through tempo and volume, anything else is swallowed.
#include <malloc.h>

#include <iterator>
#include <string_view>

#include "player/FrameScaler.h"
#include "player/PlayerGraph.h"

using vantor::GstPtr;
using Graph = CMoviePlayer::Graph;

namespace vantor::player {

StreamKind ClassifyPad(GstPad* pad) {
  GstPtr<GstCaps> caps(gst_pad_get_current_caps(pad));
  if (!caps) caps.reset(gst_pad_query_caps(pad, nullptr));
  if (!caps || gst_caps_get_size(caps.get()) == 0) return StreamKind::Other;
  const char* media = gst_structure_get_name(gst_caps_get_structure(caps.get(), 0));
  if (g_str_has_prefix(media, "video/x-raw")) return StreamKind::Video;
  if (g_str_has_prefix(media, "audio/x-raw")) return StreamKind::Audio;
  return StreamKind::Other;
}

GstPtr<GstElement> MakeDiscardSink() {
  GstPtr<GstElement> sink(
      GST_ELEMENT(gst_object_ref_sink(gst_element_factory_make("fakesink", nullptr))));
  g_object_set(sink.get(), "sync", FALSE, "async", FALSE, nullptr);
  return sink;
}

void StartAndLink(GstElement* branch, GstPad* pad) {
  gst_element_sync_state_with_parent(branch);
  GstPtr<GstPad> sinkPad(gst_element_get_static_pad(branch, "sink"));
  gst_pad_link(pad, sinkPad.get());
}

int DecoderThreadsFor(const GstCaps* caps) {
  constexpr int kBurst = 2;
  if (!caps || gst_caps_get_size(caps) == 0) return kBurst;
  const GstStructure* s = gst_caps_get_structure(caps, 0);
  int width = 0, height = 0, fpsN = 0, fpsD = 1, depth = 8;
  if (!gst_structure_get_int(s, "width", &width) || !gst_structure_get_int(s, "height", &height))
    return kBurst;
  // A variable rate (0/1) or none at all: taken as the common 30.
  if (!gst_structure_get_fraction(s, "framerate", &fpsN, &fpsD) || fpsN <= 0 || fpsD <= 0) {
    fpsN = 30;
    fpsD = 1;
  }
  // Parsers give the depth unsigned; read either way.
  if (guint udepth = 0; gst_structure_get_uint(s, "bit-depth-luma", &udepth))
    depth = int(udepth);
  else
    gst_structure_get_int(s, "bit-depth-luma", &depth);
  const char* chroma = gst_structure_get_string(s, "chroma-format");
  // The switch reopens the decoder at a key frame, which can only go on
  // from there when the stream's setup (H.264's parameter sets, say) is in
  // the caps: a stream that sent it once at its start in the data (a byte
  // stream) would be left undecodable.
  const bool setupInCaps = gst_structure_has_field(s, "codec_data");
  const bool light = setupInCaps && depth <= 8 &&
                     (!chroma || std::string_view(chroma) == "4:2:0") &&
                     double(width) * height * fpsN / fpsD <= 1920.0 * 1088 * 60;
  return light ? 1 : kBurst;
}

namespace {

bool IsLibavDecoder(GstElement* element) {
  GstElementFactory* factory = gst_element_get_factory(element);
  return factory && g_str_has_prefix(GST_OBJECT_NAME(factory), "avdec_") &&
         g_object_class_find_property(G_OBJECT_GET_CLASS(element), "max-threads");
}

// A playing decoder's threads. Frame threads cost CPU of their own: a
// 1080p30 4:2:0 movie decodes with 15-25 % less CPU in one thread than in
// two (each waits on the other's reference frames), and one thread still
// decodes it at about eight times its pace. But one thread delays the first
// picture: the decoder holds pictures back to reorder them, and the three or
// so it must decode first are done one after the other, about 17 ms more
// for Open at 1080p (measured: 77 ms against 59 ms). So a decoder starts
// with two threads, and a light stream goes over to one at its next key
// frame that does not start the stream or a seek: libav takes the thread
// count when it is reopened for new caps, and after a key frame nothing
// refers to the frames before it. Heavier streams keep two threads, so that
// rate 2.0 keeps time on two cores.
class DecoderThreadsSwitch {
 public:
  static GstPadProbeReturn OnData(GstPad* pad, GstPadProbeInfo* info, gpointer data) {
    return static_cast<DecoderThreadsSwitch*>(data)->Handle(pad, info);
  }
  static void Free(gpointer data) { delete static_cast<DecoderThreadsSwitch*>(data); }

 private:
  static constexpr const char* kMark = "vantor-decoder-threads";

  GstPadProbeReturn Handle(GstPad* pad, GstPadProbeInfo* info) {
    if (info->type & GST_PAD_PROBE_TYPE_BUFFER) {
      GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info);
      const bool key = !GST_BUFFER_FLAG_IS_SET(buffer, GST_BUFFER_FLAG_DELTA_UNIT);
      // The frames the second thread held are freed within a key frame or
      // two, but the C library keeps freed memory for its next requests:
      // without giving it back the switch saves CPU and no memory.
      if (key && m_switched && m_running && m_keysSinceSwitch >= 0 && ++m_keysSinceSwitch == 2) {
        m_keysSinceSwitch = -1;
        ::malloc_trim(0);
      }
      if (key && m_light && !m_switched && m_caps && m_running) SwitchToOne(pad);
      m_running = true;
      return GST_PAD_PROBE_OK;
    }
    GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
    switch (GST_EVENT_TYPE(event)) {
      case GST_EVENT_FLUSH_STOP:
      case GST_EVENT_SEGMENT:
        m_running = false;
        break;
      case GST_EVENT_CAPS: {
        GstCaps* caps = nullptr;
        gst_event_parse_caps(event, &caps);
        if (!caps || gst_caps_get_size(caps) == 0 ||
            gst_structure_has_field(gst_caps_get_structure(caps, 0), kMark))
          break;
        m_caps.reset(gst_caps_copy(caps));
        m_light = DecoderThreadsFor(caps) == 1;
        if (!m_light) m_switched = false;
        SetThreads(pad, m_switched ? 1 : 2);
        m_running = false;
        break;
      }
      default:
        break;
    }
    return GST_PAD_PROBE_OK;
  }

  void SwitchToOne(GstPad* pad) {
    m_switched = true;
    SetThreads(pad, 1);
    // Caps equal to the current ones would be ignored; the mark makes them
    // new, and libav ignores fields it does not know.
    GstPtr<GstCaps> marked(gst_caps_copy(m_caps.get()));
    gst_caps_set_simple(marked.get(), kMark, G_TYPE_INT, 1, nullptr);
    gst_pad_send_event(pad, gst_event_new_caps(marked.get()));
  }

  static void SetThreads(GstPad* pad, int threads) {
    GstPtr<GstElement> decoder(gst_pad_get_parent_element(pad));
    if (decoder) g_object_set(decoder.get(), "max-threads", threads, nullptr);
  }

  // Only the streaming thread of the decoder's sink pad touches these.
  GstPtr<GstCaps> m_caps;
  bool m_light = false;
  bool m_switched = false;
  int m_keysSinceSwitch = 0;  // -1 once trimmed
  bool m_running = false;  // a buffer went in since the caps, a seek or the start
};

}  // namespace

// Bursts (the step cache decoding from a key frame to the frame wanted) use
// two libav threads, not one per core: each thread keeps frames of its own
// in flight (about 20 MB at 1920x1080 4:2:0).
void OnDeepElementAdded(GstBin*, GstBin*, GstElement* element, gpointer) {
  if (IsLibavDecoder(element)) g_object_set(element, "max-threads", 2, nullptr);
}

void OnPlayingElementAdded(GstBin*, GstBin*, GstElement* element, gpointer) {
  if (!IsLibavDecoder(element)) return;
  g_object_set(element, "max-threads", 2, nullptr);
  // Decoding straight into the pipeline's buffers saves no copy here:
  // gst-libav hands on a frame libav still holds as a reference, and making
  // it writable for its time stamps copies it into a fresh 3 MB allocation
  // per frame at 1080p. Those allocations, freed out of order, fragment the
  // C library's heap (19 MB free but resident after 15 s of playing). Without
  // direct rendering libav decodes into its own pool and the one copy goes
  // into the pipeline's pool: about 10 MB less memory for the same CPU.
  if (g_object_class_find_property(G_OBJECT_GET_CLASS(element), "direct-rendering"))
    g_object_set(element, "direct-rendering", FALSE, nullptr);
  GstPtr<GstPad> sink(gst_element_get_static_pad(element, "sink"));
  if (sink)
    gst_pad_add_probe(sink.get(),
                      GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER |
                                      GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM |
                                      GST_PAD_PROBE_TYPE_EVENT_FLUSH),
                      DecoderThreadsSwitch::OnData, new DecoderThreadsSwitch,
                      DecoderThreadsSwitch::Free);
}

}  // namespace vantor::player

namespace {

GstElement* MakeAudioSink() {
  const std::string name = CMoviePlayer::AudioSinkName();
  GstElement* sink = gst_element_factory_make(name.c_str(), nullptr);
  if (!sink) sink = gst_element_factory_make("fakesink", nullptr);
  // Without a sound device the clock must still run in real time.
  if (name == "fakesink") g_object_set(sink, "sync", TRUE, nullptr);
  return sink;
}

}  // namespace

void Graph::OnDecodedPad(GstElement*, GstPad* pad, gpointer data) {
  static_cast<Graph*>(data)->LinkDecodedPad(pad);
}

void Graph::OnNoMorePads(GstElement*, gpointer data) {
  auto* g = static_cast<Graph*>(data);
  std::lock_guard lock(g->m_mutex);
  g->m_sourcePadsDone = true;
  g->Notify();
}

// Streaming thread: a decoded (or undecodable) stream appeared.
void Graph::LinkDecodedPad(GstPad* pad) {
  using vantor::player::StreamKind;
  const StreamKind kind = vantor::player::ClassifyPad(pad);
  bool wanted;
  {
    std::lock_guard lock(m_mutex);
    wanted =
        (kind == StreamKind::Video && !m_videoSink) || (kind == StreamKind::Audio && !m_volume);
  }
  GstPtr<GstElement> branch = !wanted                     ? vantor::player::MakeDiscardSink()
                              : kind == StreamKind::Video ? MakeVideoBranch()
                                                          : MakeAudioBranch();
  if (!branch) return;
  gst_bin_add(GST_BIN(m_pipeline.get()), branch.get());
  vantor::player::StartAndLink(branch.get(), pad);
}

GstPtr<GstElement> Graph::MakeVideoBranch() {
  auto scaler = CFrameScaler::Make(/*sync=*/true, /*maxBuffers=*/2);
  if (!scaler) return nullptr;
  GstAppSinkCallbacks cb{};
  cb.new_preroll = OnNewPreroll;
  cb.new_sample = OnNewSample;
  gst_app_sink_set_callbacks(GST_APP_SINK(scaler->AppSink()), &cb, this, nullptr);
  gst_pad_add_probe(
      scaler->SinkPad().get(),
      GstPadProbeType(GST_PAD_PROBE_TYPE_BUFFER | GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM |
                      GST_PAD_PROBE_TYPE_EVENT_FLUSH),
      OnFullSizeData, this, nullptr);
  std::lock_guard lock(m_mutex);
  m_scaler = scaler;
  m_videoSink = scaler->AppSink();
  m_scaler->SetShownSize(m_renderWidth, m_renderHeight);
  ApplyRatePolicy();
  return vantor::Ref(scaler->Bin());
}

GstPtr<GstElement> Graph::MakeAudioBranch() {
  // Built by hand: the sink is chosen at run time, and a parsed bin would
  // have ghosted the volume's output already.
  GstPtr<GstElement> branch(GST_ELEMENT(gst_object_ref_sink(gst_bin_new(nullptr))));
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
      gst_bin_add(GST_BIN(branch.get()), e);
    else
      ok = false;
  }
  for (std::size_t i = 0; ok && i + 1 < std::size(chain); ++i)
    ok = gst_element_link(chain[i], chain[i + 1]);
  if (!ok) return nullptr;
  GstPtr<GstPad> target(gst_element_get_static_pad(chain[0], "sink"));
  gst_element_add_pad(branch.get(), gst_ghost_pad_new("sink", target.get()));
  {
    std::lock_guard lock(m_mutex);
    m_volume = chain[5];
  }
  return branch;
}
