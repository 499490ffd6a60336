// A branch for each stream the decoder gives: the first picture stream goes
// through the frame scaler to the output, the first sound stream to the
// audio sink through tempo and volume, anything else is swallowed.
#include <iterator>

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
  auto scaler = CFrameScaler::Make("sync=true enable-last-sample=false max-buffers=2");
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
