#include "render/Render.h"

#include <fcntl.h>
#include <gst/app/gstappsink.h>
#include <gst/app/gstappsrc.h>
#include <gst/pbutils/pbutils.h>
#include <gst/video/video.h>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <mutex>

#include "common/GstInit.h"
#include "common/Messages.h"
#include "gps/GpsExport.h"
#include "map/GpsDisplay.h"
#include "player/GstHandle.h"

namespace vantor {

template <>
struct GstFree<GstElementFactory> {
  void operator()(GstElementFactory* p) const { gst_object_unref(p); }
};

namespace {

// The encoder's constant quality: visually clean for evidence at a size a
// phone can send.
constexpr int kQuality = 21;
constexpr int kAudioBitrate = 128000;
// Samples written as one buffer of silence where a clip has no sound.
constexpr std::int64_t kSilenceChunk = 4096;

std::string ErrorText(GstMessage* msg) {
  GError* err = nullptr;
  gst_message_parse_error(msg, &err, nullptr);
  GstPtr<GError> owned(err);
  if (err && err->domain == GST_RESOURCE_ERROR && err->code == GST_RESOURCE_ERROR_NO_SPACE_LEFT)
    return std::strerror(ENOSPC);
  return err ? err->message : "unknown error";
}

std::int64_t FrameTime(std::int64_t n, const ClipMedia& m) {
  return static_cast<std::int64_t>(
      gst_util_uint64_scale(static_cast<guint64>(n), GST_SECOND * static_cast<guint64>(m.fpsDen),
                            static_cast<guint64>(m.fpsNum)));
}

const char* AacEncoder() {
  for (const char* name : {"avenc_aac", "voaacenc"}) {
    GstPtr<GstElementFactory> f(gst_element_factory_find(name));
    if (f) return name;
  }
  return nullptr;
}

}  // namespace

bool ProbeClip(const std::string& path, ClipMedia& media, std::string& error) {
  if (!EnsureGStreamer()) {
    error = Tr("the media framework (GStreamer) cannot start");
    return false;
  }
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) {
    error = path + ": " + std::strerror(errno);
    return false;
  }
  GError* err = nullptr;
  GstDiscoverer* disc = gst_discoverer_new(20 * GST_SECOND, &err);
  GstPtr<GError> discErr(err);
  if (!disc) {
    error = Tr("the media framework cannot read movies");
    return false;
  }
  GstPtr<gchar> uri(gst_filename_to_uri(path.c_str(), nullptr));
  err = nullptr;
  GstDiscovererInfo* info = gst_discoverer_discover_uri(disc, uri.get(), &err);
  GstPtr<GError> infoErr(err);
  bool ok = false;
  if (info && gst_discoverer_info_get_result(info) == GST_DISCOVERER_OK) {
    GList* videos = gst_discoverer_info_get_video_streams(info);
    GList* audios = gst_discoverer_info_get_audio_streams(info);
    if (videos) {
      auto* v = static_cast<GstDiscovererVideoInfo*>(videos->data);
      media.width = static_cast<int>(gst_discoverer_video_info_get_width(v));
      media.height = static_cast<int>(gst_discoverer_video_info_get_height(v));
      media.fpsNum = static_cast<int>(gst_discoverer_video_info_get_framerate_num(v));
      media.fpsDen = static_cast<int>(gst_discoverer_video_info_get_framerate_denom(v));
      if (media.fpsNum <= 0 || media.fpsDen <= 0) media.fpsNum = 30, media.fpsDen = 1;
      // Whole frames: the sound may run on a little past the last picture,
      // and the clips are joined picture to picture.
      const auto total = static_cast<std::int64_t>(gst_discoverer_info_get_duration(info));
      const auto frames = static_cast<std::int64_t>(
          gst_util_uint64_scale(static_cast<guint64>(total), static_cast<guint64>(media.fpsNum),
                                GST_SECOND * static_cast<guint64>(media.fpsDen)));
      media.durationNs = FrameTime(frames, media);
      ok = media.width > 0 && media.height > 0 && frames > 0;
    }
    if (audios) {
      auto* a = static_cast<GstDiscovererAudioInfo*>(audios->data);
      media.hasAudio = true;
      media.audioRate = static_cast<int>(gst_discoverer_audio_info_get_sample_rate(a));
      media.audioChannels = static_cast<int>(gst_discoverer_audio_info_get_channels(a));
      if (media.audioRate <= 0 || media.audioChannels <= 0) media.hasAudio = false;
    }
    gst_discoverer_stream_info_list_free(videos);
    gst_discoverer_stream_info_list_free(audios);
    if (!ok) error = path + ": " + Tr("no picture in this movie");
  } else {
    error = path + ": " + Tr("not a movie that can be read (damaged or cut short?)");
  }
  if (info) g_object_unref(info);
  g_object_unref(disc);
  return ok;
}

bool LoadRenderClip(const std::string& path, RenderClip& clip, std::string& error) {
  clip.path = path;
  if (!ProbeClip(path, clip.media, error)) return false;
  if (LoadGpsForMovie(path, clip.gps, clip.gpsLoad) == GpsSourceKind::CameraLog &&
      !HasDatedRecord(clip.gps))
    clip.gps.Clear();
  return true;
}

bool LoadRenderInset(const std::string& path, RenderClip& clip, std::string& error) {
  if (!ProbeClip(path, clip.insetMedia, error)) return false;
  clip.insetPath = path;
  if (clip.gps.nCount == 0 &&
      LoadGpsForMovie(path, clip.gps, clip.gpsLoad) == GpsSourceKind::CameraLog &&
      !HasDatedRecord(clip.gps))
    clip.gps.Clear();
  return true;
}

std::int64_t DriveLengthNs(const std::vector<RenderClip>& clips) {
  std::int64_t total = 0;
  for (const RenderClip& c : clips) total += c.media.durationNs;
  return total;
}

void OutputSize(const ClipMedia& first, int height, int& outWidth, int& outHeight) {
  if (height <= 0 || first.height <= 0) height = first.height;
  outHeight = height & ~1;
  const double w = static_cast<double>(first.width) * height / std::max(first.height, 1);
  outWidth = static_cast<int>(std::lround(w / 2)) * 2;
}

OverlayValues OverlayValuesAt(const RenderClip& clip, std::int64_t offsetNs,
                              const GpsExportStyle& style) {
  OverlayValues v;
  const GpsRecordTable& t = clip.gps;
  if (!t.pRecords || t.nCount <= 0) return v;
  GpsRecordPlacement placement;
  placement.pOffsetsMs = clip.gpsLoad.offsetsMs.empty() ? nullptr : clip.gpsLoad.offsetsMs.data();
  const auto posMs = static_cast<std::uint32_t>(std::max<std::int64_t>(offsetNs, 0) / 1000000);
  const auto durMs = static_cast<std::uint32_t>(clip.media.durationNs / 1000000);
  const GpsDisplayValues d = ComputeGpsDisplay(t.Records(), t.nCount, t.bAngle1Minus,
                                               t.bAngle2Minus, posMs, durMs, 0, FALSE, placement);
  if (d.nIndex < 0) return v;
  v.speedInUnit = SpeedInUnit(d.nSpeed, style.unit);
  v.speed = std::to_string(v.speedInUnit) + " " + SpeedUnitName(style.unit);
  v.time = GpsDateTimeText(t, d.nIndex);
  if (!v.time.empty()) {
    const GpsDate date = UnpackGpsDate(t.pRecords[d.nIndex].nDate);
    long long utc = 0;
    if (CameraTimeToUtc(style.clock, date.year, date.month, date.day, GpsTimeOfDay(t, d.nIndex),
                        utc))
      v.time += CameraClockSuffix(style.clock, utc);
  }
  if (d.bMapPosition && d.bMarker) {
    v.hasPosition = true;
    v.latitude = d.dLatitude;
    v.longitude = d.dLongitude;
    v.position = CoordinateText(d.dLatitude, d.dLongitude);
  }
  return v;
}

namespace {

// One run of the export: the encoding pipeline, and the clips decoded one
// after another into it.
class Renderer {
 public:
  Renderer(const RenderRequest& r, RenderStatus& status) : m_req(r), m_status(status) {}
  ~Renderer() { Stop(); }

  bool Run(const std::string& tempPath, const std::string& moovPath, std::string& error);

 private:
  bool BuildEncoder(const std::string& tempPath, const std::string& moovPath, std::string& error);
  bool DecodeClip(std::size_t index, std::int64_t from, std::int64_t to, std::string& error);
  // Waits for one of `types` on `bus`, watching the encoder and the cancel
  // flag meanwhile. False with `error` set on an error or a cancel.
  bool Wait(GstBus* bus, GstMessageType types, std::string& error, const std::string& what);
  void Stop();

  static GstFlowReturn OnVideo(GstAppSink* sink, gpointer self);
  static GstFlowReturn OnAudio(GstAppSink* sink, gpointer self);
  static void OnPadAdded(GstElement* dec, GstPad* pad, gpointer self);
  static void OnInsetPadAdded(GstElement* dec, GstPad* pad, gpointer self);
  // The decoding pipeline's description for one clip.
  std::string DecoderDescription(const RenderClip& clip) const;
  GstFlowReturn PushVideo(GstSample* sample);
  GstFlowReturn PushAudio(GstSample* sample);
  bool PushSilence(std::int64_t samples);

  const RenderRequest& m_req;
  RenderStatus& m_status;
  ClipMedia m_out;  // size, rate and sound of the output
  int m_width = 0, m_height = 0;
  bool m_audio = false;
  GstPtr<GstElement> m_encoder, m_decoder;
  GstAppSrc* m_vsrc = nullptr;
  GstAppSrc* m_asrc = nullptr;
  std::unique_ptr<OverlayPainter> m_painter;
  GstVideoOverlayComposition* m_composition = nullptr;

  // The clip being decoded: its window [m_from, m_to) of its own time.
  const RenderClip* m_clip = nullptr;
  std::int64_t m_from = 0, m_to = 0;
  std::int64_t m_clipStartNs = 0;  // where it starts in the output
  std::int64_t m_lastPts = -1;     // its last frame pushed, own time
  std::int64_t m_frames = 0;       // frames written (video thread)
  std::int64_t m_samples = 0;      // sound samples written (audio thread)
  std::atomic<bool> m_pushFailed{false};
};

void Renderer::Stop() {
  // The encoder first: a decoder thread blocked on a full queue is let go.
  if (m_encoder) gst_element_set_state(m_encoder.get(), GST_STATE_NULL);
  if (m_decoder) gst_element_set_state(m_decoder.get(), GST_STATE_NULL);
  m_decoder.reset();
  if (m_vsrc) gst_object_unref(m_vsrc), m_vsrc = nullptr;
  if (m_asrc) gst_object_unref(m_asrc), m_asrc = nullptr;
  m_encoder.reset();
  if (m_composition) gst_video_overlay_composition_unref(m_composition), m_composition = nullptr;
}

bool Renderer::BuildEncoder(const std::string& tempPath, const std::string& moovPath,
                            std::string& error) {
  const char* aac = AacEncoder();
  std::string desc = "appsrc name=vsrc format=time block=true max-bytes=" +
                     std::to_string(static_cast<std::int64_t>(m_width) * m_height * 3 / 2 * 4) +
                     " caps=video/x-raw,format=I420,width=" + std::to_string(m_width) +
                     ",height=" + std::to_string(m_height) +
                     ",pixel-aspect-ratio=1/1,framerate=" + std::to_string(m_out.fpsNum) + "/" +
                     std::to_string(m_out.fpsDen) +
                     " ! x264enc speed-preset=" + m_req.encoderPreset +
                     " pass=qual quantizer=" + std::to_string(kQuality) +
                     " ! video/x-h264,profile=high ! h264parse ! mp4mux name=mux faststart=true"
                     " ! filesink name=sink";
  if (m_audio) {
    if (!aac) {
      error = Tr("no AAC encoder is installed (avenc_aac or voaacenc)");
      return false;
    }
    desc +=
        " appsrc name=asrc format=time block=true max-bytes=1000000"
        " caps=audio/x-raw,format=S16LE,layout=interleaved,rate=" +
        std::to_string(m_out.audioRate) + ",channels=" + std::to_string(m_out.audioChannels) +
        " ! audioconvert ! " + aac + " bitrate=" + std::to_string(kAudioBitrate) +
        " ! aacparse ! mux.";
  }
  GError* err = nullptr;
  m_encoder.reset(gst_parse_launch(desc.c_str(), &err));
  GstPtr<GError> owned(err);
  if (!m_encoder || err) {
    error = Tr("the video encoder is missing (x264enc, mp4mux)") + std::string(": ") +
            (err ? err->message : "");
    return false;
  }
  GstPtr<GstElement> sink(gst_bin_get_by_name(GST_BIN(m_encoder.get()), "sink"));
  GstPtr<GstElement> mux(gst_bin_get_by_name(GST_BIN(m_encoder.get()), "mux"));
  g_object_set(sink.get(), "location", tempPath.c_str(), nullptr);
  // The muxer parks the movie's data while it writes the index first: beside
  // the output, so that a full disk shows there and nothing fills /tmp.
  g_object_set(mux.get(), "faststart-file", moovPath.c_str(), nullptr);
  m_vsrc = GST_APP_SRC(gst_bin_get_by_name(GST_BIN(m_encoder.get()), "vsrc"));
  if (m_audio) m_asrc = GST_APP_SRC(gst_bin_get_by_name(GST_BIN(m_encoder.get()), "asrc"));
  if (gst_element_set_state(m_encoder.get(), GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
    GstPtr<GstBus> bus(gst_element_get_bus(m_encoder.get()));
    GstPtr<GstMessage> msg(gst_bus_pop_filtered(bus.get(), GST_MESSAGE_ERROR));
    error = msg ? ErrorText(msg.get()) : Tr("the video encoder cannot start");
    return false;
  }
  return true;
}

bool Renderer::Wait(GstBus* bus, GstMessageType types, std::string& error,
                    const std::string& what) {
  GstPtr<GstBus> encBus(gst_element_get_bus(m_encoder.get()));
  while (true) {
    if (m_status.cancel.load()) {
      error = Tr("cancelled");
      return false;
    }
    if (bus != encBus.get()) {
      GstPtr<GstMessage> e(gst_bus_pop_filtered(encBus.get(), GST_MESSAGE_ERROR));
      if (e) {
        error = m_req.outPath + ": " + ErrorText(e.get());
        return false;
      }
    }
    GstPtr<GstMessage> msg(gst_bus_timed_pop_filtered(
        bus, 100 * GST_MSECOND, static_cast<GstMessageType>(types | GST_MESSAGE_ERROR)));
    if (m_req.onTick) m_req.onTick(m_status);
    if (!msg) continue;
    if (GST_MESSAGE_TYPE(msg.get()) == GST_MESSAGE_ERROR) {
      error = (what.empty() ? "" : what + ": ") + ErrorText(msg.get());
      return false;
    }
    if (GST_MESSAGE_TYPE(msg.get()) == GST_MESSAGE_ASYNC_DONE &&
        GST_MESSAGE_SRC(msg.get()) != GST_OBJECT(m_decoder.get()))
      continue;  // a bin inside; the pipeline's own comes when all are done
    return true;
  }
}

void Renderer::OnPadAdded(GstElement*, GstPad* pad, gpointer self) {
  auto* r = static_cast<Renderer*>(self);
  GstPtr<GstCaps> caps(gst_pad_get_current_caps(pad));
  if (!caps) caps.reset(gst_pad_query_caps(pad, nullptr));
  const char* name = gst_structure_get_name(gst_caps_get_structure(caps.get(), 0));
  const char* target = g_str_has_prefix(name, "video/")   ? "vq"
                       : g_str_has_prefix(name, "audio/") ? "aq"
                                                          : nullptr;
  if (!target) return;
  GstPtr<GstElement> q(gst_bin_get_by_name(GST_BIN(r->m_decoder.get()), target));
  if (!q) return;  // sound of a clip the output has no sound for
  GstPtr<GstPad> sinkPad(gst_element_get_static_pad(q.get(), "sink"));
  if (!gst_pad_is_linked(sinkPad.get())) gst_pad_link(pad, sinkPad.get());
}

void Renderer::OnInsetPadAdded(GstElement*, GstPad* pad, gpointer self) {
  auto* r = static_cast<Renderer*>(self);
  GstPtr<GstCaps> caps(gst_pad_get_current_caps(pad));
  if (!caps) caps.reset(gst_pad_query_caps(pad, nullptr));
  // The second camera's sound, if any, is not the clip's: only its picture.
  if (!g_str_has_prefix(gst_structure_get_name(gst_caps_get_structure(caps.get(), 0)), "video/"))
    return;
  GstPtr<GstElement> q(gst_bin_get_by_name(GST_BIN(r->m_decoder.get()), "iq"));
  GstPtr<GstPad> sinkPad(gst_element_get_static_pad(q.get(), "sink"));
  if (!gst_pad_is_linked(sinkPad.get())) gst_pad_link(pad, sinkPad.get());
}

GstFlowReturn Renderer::OnVideo(GstAppSink* sink, gpointer self) {
  GstPtr<GstSample> sample(gst_app_sink_pull_sample(sink));
  if (!sample) return GST_FLOW_EOS;
  return static_cast<Renderer*>(self)->PushVideo(sample.get());
}

GstFlowReturn Renderer::OnAudio(GstAppSink* sink, gpointer self) {
  GstPtr<GstSample> sample(gst_app_sink_pull_sample(sink));
  if (!sample) return GST_FLOW_EOS;
  return static_cast<Renderer*>(self)->PushAudio(sample.get());
}

GstFlowReturn Renderer::PushVideo(GstSample* sample) {
  GstBuffer* in = gst_sample_get_buffer(sample);
  if (!in || !GST_BUFFER_PTS_IS_VALID(in)) return GST_FLOW_OK;
  const auto pts = static_cast<std::int64_t>(GST_BUFFER_PTS(in));
  // Only frames that start inside the stretch, each once: the decoder may
  // hand over a frame before the seek target or one after the end.
  if (pts < m_from || pts >= m_to || pts <= m_lastPts) return GST_FLOW_OK;
  m_lastPts = pts;

  if (m_painter && m_painter->Update(OverlayValuesAt(*m_clip, pts, m_req.style))) {
    if (m_composition) gst_video_overlay_composition_unref(m_composition);
    m_composition = nullptr;
    for (const OverlayPanel& p : m_painter->Panels()) {
      cairo_surface_t* s = p.surface.get();
      const int w = cairo_image_surface_get_width(s), h = cairo_image_surface_get_height(s);
      const int stride = cairo_image_surface_get_stride(s);
      if (p.x < 0 || p.y < 0 || p.x + w > m_width || p.y + h > m_height) continue;
      GstBuffer* pix =
          gst_buffer_new_memdup(cairo_image_surface_get_data(s), static_cast<gsize>(stride) * h);
      gsize offsets[GST_VIDEO_MAX_PLANES] = {0};
      gint strides[GST_VIDEO_MAX_PLANES] = {stride};
      gst_buffer_add_video_meta_full(pix, GST_VIDEO_FRAME_FLAG_NONE,
                                     GST_VIDEO_OVERLAY_COMPOSITION_FORMAT_RGB, w, h, 1, offsets,
                                     strides);
      GstVideoOverlayRectangle* rect = gst_video_overlay_rectangle_new_raw(
          pix, p.x, p.y, w, h, GST_VIDEO_OVERLAY_FORMAT_FLAG_PREMULTIPLIED_ALPHA);
      gst_buffer_unref(pix);
      if (!m_composition)
        m_composition = gst_video_overlay_composition_new(rect);
      else
        gst_video_overlay_composition_add_rectangle(m_composition, rect);
      gst_video_overlay_rectangle_unref(rect);
    }
  }

  GstBuffer* out = gst_buffer_copy(in);
  if (m_composition) {
    GstVideoInfo info;
    GstVideoFrame frame;
    if (gst_video_info_from_caps(&info, gst_sample_get_caps(sample)) &&
        gst_video_frame_map(&frame, &info, out, GST_MAP_READWRITE)) {
      gst_video_overlay_composition_blend(m_composition, &frame);
      gst_video_frame_unmap(&frame);
    }
  }
  // Output times count frames: exact across the joins whatever the clips'
  // own time stamps say.
  const std::int64_t t = FrameTime(m_frames, m_out);
  GST_BUFFER_PTS(out) = static_cast<GstClockTime>(t);
  GST_BUFFER_DTS(out) = GST_CLOCK_TIME_NONE;
  GST_BUFFER_DURATION(out) = static_cast<GstClockTime>(FrameTime(m_frames + 1, m_out) - t);
  GST_BUFFER_OFFSET(out) = GST_BUFFER_OFFSET_NONE;
  ++m_frames;
  m_status.doneNs.store(t);
  if (gst_app_src_push_buffer(m_vsrc, out) != GST_FLOW_OK) {
    m_pushFailed = true;
    return GST_FLOW_FLUSHING;
  }
  return GST_FLOW_OK;
}

bool Renderer::PushSilence(std::int64_t samples) {
  const std::int64_t frameBytes = 2 * m_out.audioChannels;
  while (samples > 0) {
    const std::int64_t n = std::min(samples, kSilenceChunk);
    GstBuffer* b = gst_buffer_new_allocate(nullptr, static_cast<gsize>(n * frameBytes), nullptr);
    gst_buffer_memset(b, 0, 0, static_cast<gsize>(n * frameBytes));
    GST_BUFFER_PTS(b) = gst_util_uint64_scale(static_cast<guint64>(m_samples), GST_SECOND,
                                              static_cast<guint64>(m_out.audioRate));
    m_samples += n;
    samples -= n;
    if (gst_app_src_push_buffer(m_asrc, b) != GST_FLOW_OK) return false;
  }
  return true;
}

GstFlowReturn Renderer::PushAudio(GstSample* sample) {
  GstBuffer* in = gst_sample_get_buffer(sample);
  if (!in || !GST_BUFFER_PTS_IS_VALID(in)) return GST_FLOW_OK;
  const std::int64_t rate = m_out.audioRate;
  const std::int64_t frameBytes = 2 * m_out.audioChannels;
  const auto pts = static_cast<std::int64_t>(GST_BUFFER_PTS(in));
  std::int64_t count = static_cast<std::int64_t>(gst_buffer_get_size(in)) / frameBytes;
  // Clip the buffer to the stretch of this clip, in samples.
  std::int64_t skip = 0;
  if (pts < m_from) skip = (m_from - pts) * rate / GST_SECOND;
  const std::int64_t endSample = (m_to - pts) * rate / GST_SECOND;
  count = std::min(count, endSample);
  if (skip >= count) return GST_FLOW_OK;
  // Where its first kept sample belongs in the output; a gap is filled with
  // silence, an overlap dropped, so the sound stays with the picture.
  const std::int64_t at = (m_clipStartNs + pts - m_from) * rate / GST_SECOND + skip;
  if (at > m_samples + rate / 100) {
    if (!PushSilence(at - m_samples)) return GST_FLOW_FLUSHING;
  } else if (at < m_samples) {
    skip += m_samples - at;
    if (skip >= count) return GST_FLOW_OK;
  }
  GstBuffer* out =
      gst_buffer_copy_region(in, GST_BUFFER_COPY_MEMORY, static_cast<gsize>(skip * frameBytes),
                             static_cast<gsize>((count - skip) * frameBytes));
  GST_BUFFER_PTS(out) = gst_util_uint64_scale(static_cast<guint64>(m_samples), GST_SECOND,
                                              static_cast<guint64>(rate));
  m_samples += count - skip;
  if (gst_app_src_push_buffer(m_asrc, out) != GST_FLOW_OK) {
    m_pushFailed = true;
    return GST_FLOW_FLUSHING;
  }
  return GST_FLOW_OK;
}

std::string Renderer::DecoderDescription(const RenderClip& clip) const {
  const std::string size =
      ",width=" + std::to_string(m_width) + ",height=" + std::to_string(m_height);
  std::string desc = "filesrc name=src ! decodebin name=dec";
  if (!m_req.overlay.inset || clip.insetPath.empty())
    return desc + " queue name=vq ! videoconvert ! videoscale ! video/x-raw,format=I420" + size +
           ",pixel-aspect-ratio=1/1 ! appsink name=vsink sync=false max-buffers=4";
  // The second camera a quarter of the picture wide in the top left corner
  // (the text plate, the gauge and the route take the others), its own shape
  // kept.
  const ClipMedia& im = clip.insetMedia;
  const int margin = std::max(4, m_height / 45);
  const int iw = std::max(2, m_width / 4 / 2 * 2);
  const int ih = std::max(
      2, static_cast<int>(std::lround(static_cast<double>(iw) * std::max(im.height, 1) /
                                      std::max(im.width, 1) / 2)) * 2);
  const std::string rate = ",framerate=" + std::to_string(std::max(clip.media.fpsNum, 1)) + "/" +
                           std::to_string(std::max(clip.media.fpsDen, 1));
  desc += " compositor name=mix background=black sink_1::xpos=" + std::to_string(margin) +
          " sink_1::ypos=" + std::to_string(margin) + " ! video/x-raw,format=I420" + size + rate +
          " ! appsink name=vsink sync=false max-buffers=4"
          " queue name=vq ! videoconvert ! videoscale ! video/x-raw,format=I420" + size +
          ",pixel-aspect-ratio=1/1 ! mix.sink_0"
          " filesrc name=isrc ! decodebin name=idec"
          " queue name=iq ! videoconvert ! videoscale ! video/x-raw,format=I420,width=" +
          std::to_string(iw) + ",height=" + std::to_string(ih) +
          ",pixel-aspect-ratio=1/1 ! mix.sink_1";
  return desc;
}

bool Renderer::DecodeClip(std::size_t index, std::int64_t from, std::int64_t to,
                          std::string& error) {
  const RenderClip& clip = m_req.clips[index];
  const bool sound = m_audio && clip.media.hasAudio;
  const bool inset = m_req.overlay.inset && !clip.insetPath.empty();
  std::string desc = DecoderDescription(clip);
  if (sound)
    desc +=
        " queue name=aq ! audioconvert ! audioresample ! audio/x-raw,format=S16LE,"
        "layout=interleaved,rate=" +
        std::to_string(m_out.audioRate) + ",channels=" + std::to_string(m_out.audioChannels) +
        " ! appsink name=asink sync=false max-buffers=64";
  GError* err = nullptr;
  m_decoder.reset(gst_parse_launch(desc.c_str(), &err));
  GstPtr<GError> owned(err);
  if (!m_decoder || err) {
    error = Tr("the video decoder is missing");
    return false;
  }
  GstBin* bin = GST_BIN(m_decoder.get());
  GstPtr<GstElement> src(gst_bin_get_by_name(bin, "src"));
  g_object_set(src.get(), "location", clip.path.c_str(), nullptr);
  GstPtr<GstElement> dec(gst_bin_get_by_name(bin, "dec"));
  g_signal_connect(dec.get(), "pad-added", G_CALLBACK(&Renderer::OnPadAdded), this);
  if (inset) {
    GstPtr<GstElement> isrc(gst_bin_get_by_name(bin, "isrc"));
    g_object_set(isrc.get(), "location", clip.insetPath.c_str(), nullptr);
    GstPtr<GstElement> idec(gst_bin_get_by_name(bin, "idec"));
    g_signal_connect(idec.get(), "pad-added", G_CALLBACK(&Renderer::OnInsetPadAdded), this);
  }
  GstAppSinkCallbacks vcb{};
  vcb.new_sample = &Renderer::OnVideo;
  GstPtr<GstElement> vsink(gst_bin_get_by_name(bin, "vsink"));
  gst_app_sink_set_callbacks(GST_APP_SINK(vsink.get()), &vcb, this, nullptr);
  if (sound) {
    GstAppSinkCallbacks acb{};
    acb.new_sample = &Renderer::OnAudio;
    GstPtr<GstElement> asink(gst_bin_get_by_name(bin, "asink"));
    gst_app_sink_set_callbacks(GST_APP_SINK(asink.get()), &acb, this, nullptr);
  }

  m_clip = &clip;
  m_from = from;
  m_to = to;
  m_lastPts = -1;
  m_clipStartNs = FrameTime(m_frames, m_out);
  GstPtr<GstBus> bus(gst_element_get_bus(m_decoder.get()));
  gst_element_set_state(m_decoder.get(), GST_STATE_PAUSED);
  if (!Wait(bus.get(), GST_MESSAGE_ASYNC_DONE, error, clip.path)) return false;
  if (from > 0 || to < clip.media.durationNs) {
    if (!gst_element_seek(m_decoder.get(), 1.0, GST_FORMAT_TIME,
                          static_cast<GstSeekFlags>(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE),
                          GST_SEEK_TYPE_SET, from, GST_SEEK_TYPE_SET, to)) {
      error = clip.path + ": " + Tr("cannot seek in this movie");
      return false;
    }
    if (!Wait(bus.get(), GST_MESSAGE_ASYNC_DONE, error, clip.path)) return false;
  }
  gst_element_set_state(m_decoder.get(), GST_STATE_PLAYING);
  if (!Wait(bus.get(), GST_MESSAGE_EOS, error, m_pushFailed ? std::string() : clip.path)) {
    if (m_pushFailed && !m_status.cancel.load()) {
      // The encoder stopped taking frames: its own error says why.
      GstPtr<GstBus> encBus(gst_element_get_bus(m_encoder.get()));
      GstPtr<GstMessage> e(gst_bus_timed_pop_filtered(encBus.get(), GST_SECOND, GST_MESSAGE_ERROR));
      if (e) error = m_req.outPath + ": " + ErrorText(e.get());
    }
    return false;
  }
  gst_element_set_state(m_decoder.get(), GST_STATE_NULL);
  m_decoder.reset();
  // A movie cut short (a card pulled while writing) ends before its stated length.
  const std::int64_t frame = FrameTime(1, m_out);
  if (m_lastPts < 0 || m_lastPts + 2 * frame < to) {
    error = clip.path + ": " +
            Tr("the movie ends early (damaged or cut short); the stretch cannot be written whole");
    return false;
  }
  return true;
}

bool Renderer::Run(const std::string& tempPath, const std::string& moovPath, std::string& error) {
  const std::vector<RenderClip>& clips = m_req.clips;
  m_out = clips[0].media;
  OutputSize(m_out, m_req.height, m_width, m_height);
  for (const RenderClip& c : clips) {
    if (c.media.hasAudio && !m_audio) {
      m_audio = true;
      m_out.audioRate = c.media.audioRate;
      m_out.audioChannels = c.media.audioChannels;
    }
  }
  if (!BuildEncoder(tempPath, moovPath, error)) return false;
  const OverlayChoice& o = m_req.overlay;
  if (o.time || o.speed || o.position || o.gauge || o.route) {
    std::vector<std::pair<double, double>> route;
    if (o.route) {
      for (const RenderClip& c : clips)
        for (int i = 0; i < c.gps.nCount; ++i) {
          const GpsRecord& r = c.gps.pRecords[i];
          if (std::isfinite(r.dLatitude) && std::isfinite(r.dLongitude) &&
              (r.dLatitude != 0 || r.dLongitude != 0) && std::fabs(r.dLatitude) <= 90 &&
              std::fabs(r.dLongitude) <= 180)
            route.emplace_back(r.dLatitude, r.dLongitude);
        }
    }
    m_painter =
        std::make_unique<OverlayPainter>(o, m_req.style.unit, m_width, m_height, std::move(route));
  }

  const std::int64_t total = DriveLengthNs(clips);
  const std::int64_t to = m_req.toNs < 0 ? total : std::min(m_req.toNs, total);
  m_status.totalNs.store(to - m_req.fromNs);
  std::int64_t start = 0;
  for (std::size_t i = 0; i < clips.size(); ++i) {
    const std::int64_t len = clips[i].media.durationNs;
    const std::int64_t a = std::max<std::int64_t>(m_req.fromNs - start, 0);
    const std::int64_t b = std::min(to - start, len);
    start += len;
    if (b <= a) continue;
    if (!DecodeClip(i, a, b, error)) return false;
  }
  if (m_audio &&
      !PushSilence(FrameTime(m_frames, m_out) * m_out.audioRate / GST_SECOND - m_samples)) {
    error = m_req.outPath + ": " + Tr("the sound encoder stopped");
    return false;
  }
  gst_app_src_end_of_stream(m_vsrc);
  if (m_asrc) gst_app_src_end_of_stream(m_asrc);
  GstPtr<GstBus> bus(gst_element_get_bus(m_encoder.get()));
  if (!Wait(bus.get(), GST_MESSAGE_EOS, error, m_req.outPath)) return false;
  gst_element_set_state(m_encoder.get(), GST_STATE_NULL);
  return true;
}

// "/a/b/out.mp4" -> "/a/b"; "out.mp4" -> ".".
std::string FolderOf(const std::string& path) {
  const std::size_t k = path.rfind('/');
  if (k == std::string::npos) return ".";
  return k == 0 ? "/" : path.substr(0, k);
}

// Puts the finished file at `out` unless something is there by now: a
// hard link fails rather than replace, the temporary name then goes.
int PlaceWithoutReplacing(const std::string& temp, const std::string& out) {
  if (::renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, out.c_str(), RENAME_NOREPLACE) == 0) return 0;
  if (errno != EINVAL && errno != ENOSYS) return errno;
  if (::link(temp.c_str(), out.c_str()) != 0) return errno;
  ::unlink(temp.c_str());
  return 0;
}

bool SyncFile(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool ok = ::fsync(fd) == 0;
  ::close(fd);
  return ok;
}

}  // namespace

bool RenderVideo(const RenderRequest& request, RenderStatus& status, std::string& error) {
  if (!EnsureGStreamer()) {
    error = Tr("the media framework (GStreamer) cannot start");
    return false;
  }
  if (request.clips.empty()) {
    error = Tr("no movie to export");
    return false;
  }
  struct stat st {};
  if (::lstat(request.outPath.c_str(), &st) == 0) {
    error = request.outPath + ": " + Tr("already exists; choose another name");
    return false;
  }
  const std::string folder = FolderOf(request.outPath);
  const std::string base = request.outPath.substr(request.outPath.rfind('/') + 1);
  std::string temp = folder + "/." + base + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) {
    error = request.outPath + ": " + std::strerror(errno);
    return false;
  }
  // mkstemp makes the file private; a movie is the user's like any other file.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  ::close(fd);
  const std::string moov = temp + ".data";
  bool ok = false;
  {
    Renderer renderer(request, status);
    ok = renderer.Run(temp, moov, error);
  }
  if (ok && !SyncFile(temp)) {
    error = request.outPath + ": " + std::strerror(errno);
    ok = false;
  }
  if (ok) {
    if (const int e = PlaceWithoutReplacing(temp, request.outPath)) {
      error = request.outPath + ": " +
              (e == EEXIST ? Tr("already exists; choose another name") : std::strerror(e));
      ok = false;
    }
  }
  if (!ok) {
    ::unlink(temp.c_str());
    // The muxer words a full disk as a failed write; the free space says which.
    struct statvfs fs {};
    if (error.starts_with(request.outPath + ": ") && ::statvfs(folder.c_str(), &fs) == 0 &&
        static_cast<unsigned long long>(fs.f_bavail) * fs.f_frsize < (1u << 20))
      error = request.outPath + ": " + std::strerror(ENOSPC);
  }
  ::unlink(moov.c_str());
  return ok;
}

}  // namespace vantor
