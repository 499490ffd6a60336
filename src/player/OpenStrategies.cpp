// The rendering strategies Open tries in order, each building its source part
// into a fresh graph, and the preroll that decides whether it worked.
#include <cstring>
#include <initializer_list>

#include "common/Ascii.h"
#include "player/PlayerGraph.h"

using vantor::GstPtr;
using Graph = CMoviePlayer::Graph;

namespace {

// The extension test shared by the hand-built strategies: E_FAIL when the
// path has no ".", E_INVALIDARG when the extension is not one of `exts`.
HRESULT CheckExtension(const std::string& path, std::initializer_list<const char*> exts) {
  const auto dot = path.rfind('.');
  if (dot == std::string::npos) return E_FAIL;
  const std::string_view ext = std::string_view(path).substr(dot + 1);
  for (const char* e : exts)
    if (vantor::EqualsNoCase(ext, e)) return S_OK;
  return E_INVALIDARG;
}

GstElement* AddFileSource(Graph& g, const std::string& path) {
  GstElement* src = gst_element_factory_make("filesrc", nullptr);
  if (!src) return nullptr;
  g_object_set(src, "location", path.c_str(), nullptr);
  gst_bin_add(GST_BIN(g.Pipeline()), src);
  return src;
}

// filesrc ! decodebin, the decodebin accepting only `containerCaps` when
// given: the container's demuxer and then the decoders of its streams, chosen
// and threaded by decodebin.
HRESULT BuildFileDecoder(Graph& g, const std::string& path, const char* containerCaps) {
  GstElement* src = AddFileSource(g, path);
  GstElement* dec = gst_element_factory_make("decodebin", nullptr);
  if (!src || !dec) {
    if (dec) gst_object_unref(gst_object_ref_sink(dec));
    return E_FAIL;
  }
  if (containerCaps) {
    GstPtr<GstCaps> caps(gst_caps_from_string(containerCaps));
    g_object_set(dec, "sink-caps", caps.get(), nullptr);
  }
  g.ConnectDecoder(dec);
  return gst_element_link(src, dec) ? S_OK : E_FAIL;
}

// decodebin swallows an error that a demuxer posts while decodebin is still
// bringing it up (it keeps such errors in case another demuxer can be tried
// instead), so a file the demuxer refuses at once (a movie cut off before its
// index) would sometimes wait out the whole Open budget. A demuxer that reads
// the file itself (pull mode) and has stopped doing so before giving a single
// stream has given up.
bool DemuxerGaveUp(GstElement* pipeline) {
  bool gaveUp = false;
  GstPtr<GstIterator> it(gst_bin_iterate_recurse(GST_BIN(pipeline)));
  GValue item = G_VALUE_INIT;
  while (!gaveUp && gst_iterator_next(it.get(), &item) == GST_ITERATOR_OK) {
    auto* element = GST_ELEMENT(g_value_get_object(&item));
    GstElementFactory* factory = gst_element_get_factory(element);
    const char* klass =
        factory ? gst_element_factory_get_metadata(factory, GST_ELEMENT_METADATA_KLASS) : nullptr;
    GST_OBJECT_LOCK(element);
    const bool noStreams = element->numsrcpads == 0;
    GST_OBJECT_UNLOCK(element);
    if (klass && std::strstr(klass, "Demux") && noStreams) {
      if (GstPtr<GstPad> sink{gst_element_get_static_pad(element, "sink")}) {
        GST_OBJECT_LOCK(sink.get());
        GstPtr<GstTask> task;
        if (GST_PAD_MODE(sink.get()) == GST_PAD_MODE_PULL && GST_PAD_TASK(sink.get()))
          task = vantor::Ref(GST_PAD_TASK(sink.get()));
        GST_OBJECT_UNLOCK(sink.get());
        if (task) gaveUp = gst_task_get_state(task.get()) == GST_TASK_PAUSED;
      }
    }
    g_value_reset(&item);
  }
  g_value_unset(&item);
  return gaveUp;
}

}  // namespace

void Graph::ConnectDecoder(GstElement* decoder) {
  g_signal_connect(decoder, "pad-added", G_CALLBACK(OnDecodedPad), this);
  g_signal_connect(decoder, "no-more-pads", G_CALLBACK(OnNoMorePads), this);
  gst_bin_add(GST_BIN(m_pipeline.get()), decoder);
}

HRESULT Graph::Preroll() {
  if (!RequestState(GST_STATE_PAUSED)) return E_FAIL;
  std::unique_lock lock(m_mutex);
  for (;;) {
    if (m_error) return E_FAIL;
    const bool linked = m_videoSink || m_volume;
    if (m_sourcePadsDone) {
      if (!linked) return E_FAIL;  // nothing in the file that can be played
      lock.unlock();
      GstState state = GST_STATE_VOID_PENDING;
      const GstStateChangeReturn r = gst_element_get_state(m_pipeline.get(), &state, nullptr, 0);
      lock.lock();
      if (m_error || r == GST_STATE_CHANGE_FAILURE) return E_FAIL;
      // Streams added after the pipeline first settled (demuxer strategies)
      // can leave it claiming PAUSED before the picture is there.
      // A picture stream can also end before its first frame (an ASF file
      // whose video payloads all lie past its end): the sound still plays.
      const bool pictureReady = !m_videoSink || m_framesPresented > 0 || m_videoEnded;
      if (r == GST_STATE_CHANGE_SUCCESS && state == GST_STATE_PAUSED && pictureReady) return S_OK;
    }
    if (m_changed.wait_until(lock,
                             std::min(m_deadline, Clock::now() + std::chrono::milliseconds(20))) ==
        std::cv_status::timeout) {
      if (Clock::now() >= m_deadline) return E_FAIL;
      if (!linked && !m_sourcePadsDone) {
        lock.unlock();
        const bool gaveUp = DemuxerGaveUp(m_pipeline.get());
        lock.lock();
        if (gaveUp) return E_FAIL;
      }
    }
  }
}

HRESULT CMoviePlayer::RenderWmv(const std::string& path, Graph& g) {
  const HRESULT hr = CheckExtension(path, {"wma", "wmv"});
  if (FAILED(hr)) return hr;
  if (FAILED(BuildFileDecoder(g, path, "video/x-ms-asf"))) return E_FAIL;
  return g.Preroll();
}

HRESULT CMoviePlayer::RenderFile(const std::string& path, Graph& g) {
  GError* error = nullptr;
  GstPtr<gchar> uri(gst_filename_to_uri(path.c_str(), &error));
  GstPtr<GError> ownedError(error);
  if (!uri) return E_FAIL;
  GstElement* dec = gst_element_factory_make("uridecodebin", nullptr);
  if (!dec) return E_FAIL;
  g_object_set(dec, "uri", uri.get(), nullptr);
  g.ConnectDecoder(dec);
  return g.Preroll();
}

HRESULT CMoviePlayer::RenderAvi(const std::string& path, Graph& g) {
  const HRESULT hr = CheckExtension(path, {"avi"});
  if (FAILED(hr)) return hr;
  if (FAILED(BuildFileDecoder(g, path, "video/x-msvideo"))) return E_FAIL;
  return g.Preroll();
}

HRESULT CMoviePlayer::RenderWithAsyncReader(const std::string& path, Graph& g) {
  if (FAILED(BuildFileDecoder(g, path, nullptr))) return E_FAIL;
  return g.Preroll();
}
