#include "player/FrameScaler.h"

#include <gst/video/video.h>

#include <algorithm>
#include <cmath>

#include "player/BgrxScaler.h"

using vantor::GstPtr;
using vantor::Ref;

PictureSize FitPicture(PictureSize source, int parN, int parD, PictureSize box) {
  if (source.width <= 0 || source.height <= 0 || box.width <= 0 || box.height <= 0) return {};
  if (parN <= 0 || parD <= 0) parN = parD = 1;
  const double shownWidth = double(source.width) * parN / parD;
  const double scale = std::min(box.width / shownWidth, double(box.height) / source.height);
  return {std::clamp(int(std::lround(shownWidth * scale)), 1, box.width),
          std::clamp(int(std::lround(source.height * scale)), 1, box.height)};
}

std::vector<PictureSize> HalvingSteps(PictureSize source, PictureSize shown) {
  std::vector<PictureSize> steps;
  if (shown.width <= 0 || shown.height <= 0) return steps;
  PictureSize at = source;
  while (at.width >= 2 * shown.width && at.height >= 2 * shown.height) {
    at = {at.width / 2, at.height / 2};
    steps.push_back(at);
  }
  return steps;
}

namespace {

GstPtr<GstCaps> SizeCaps(PictureSize size, bool squarePixels) {
  GstPtr<GstCaps> caps(gst_caps_new_simple("video/x-raw", "width", G_TYPE_INT, size.width, "height",
                                           G_TYPE_INT, size.height, nullptr));
  if (squarePixels)
    gst_caps_set_simple(caps.get(), "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr);
  return caps;
}

void SetCaps(GstElement* capsFilter, const GstPtr<GstCaps>& caps) {
  g_object_set(capsFilter, "caps", caps.get(), nullptr);
}

}  // namespace

std::shared_ptr<CFrameScaler> CFrameScaler::Make(bool sync, unsigned maxBuffers) {
  // Built element by element so that the links can skip their caps checks:
  // over these elements' long format lists the checks took about 6 ms (when
  // parsed from a description, too), on the streaming thread that exposes
  // the movie's pictures, so every Open, join and step burst waited for
  // them. Every pad here takes raw video; the formats are settled when the
  // first caps come.
  GstPtr<GstElement> bin(GST_ELEMENT(gst_object_ref_sink(gst_bin_new(nullptr))));
  auto add = [&bin](const char* factory) {
    GstElement* e = gst_element_factory_make(factory, nullptr);
    if (e) gst_bin_add(GST_BIN(bin.get()), e);
    return e;
  };
  auto steps = std::make_shared<Steps>();
  std::vector<GstElement*> chain;
  for (int i = 0; i < kMaxHalvings; ++i) {
    GstElement* scale = add("videoscale");
    GstElement* caps = add("capsfilter");
    if (!scale || !caps) return nullptr;
    gst_util_set_object_arg(G_OBJECT(scale), "method", "bilinear");
    steps->halvingCaps[i] = vantor::Ref(caps);
    chain.insert(chain.end(), {scale, caps});
  }
  // 8-bit 4:2:0, what nearly every movie is, takes the last step in
  // the faster way of BgrxScaler.h, and the converter after it passes its
  // frames on; other layouts take the converter's way below.
  GstElement* fast = vantor::player::MakeBgrxScaler();
  gst_bin_add(GST_BIN(bin.get()), fast);
  steps->fast = vantor::Ref(fast);
  chain.push_back(fast);
  // The last step scales and converts in one pass and draws the borders in
  // BGRx itself. Borders added in 4:2:0 land on an odd row for most pictures
  // and smear the picture's colour into the first black row, so the picture
  // looked a row taller than it is. Converting while scaling also keeps the
  // colour at the halved picture's full resolution instead of scaling the
  // quarter-size colour planes on their own: about 2 dB closer to a Lanczos
  // reference on a detailed still, for about 2 % more CPU while playing.
  // The colour is widened by repeating samples (chroma-mode=none): the
  // downscale after it smooths it anyway, and a filter there measured no
  // better.
  GstElement* last = add("videoconvertscale");
  GstElement* shown = add("capsfilter");
  GstElement* sink = add("appsink");
  if (!last || !shown || !sink) return nullptr;
  gst_util_set_object_arg(G_OBJECT(last), "method", "bilinear");
  gst_util_set_object_arg(G_OBJECT(last), "chroma-mode", "none");
  steps->shownCaps = vantor::Ref(shown);
  chain.insert(chain.end(), {last, shown, sink});
  g_object_set(sink, "sync", gboolean(sync), "max-buffers", guint(maxBuffers),
               "enable-last-sample", FALSE, nullptr);
  for (std::size_t i = 0; i + 1 < chain.size(); ++i)
    if (!gst_element_link_pads_full(chain[i], "src", chain[i + 1], "sink",
                                    GST_PAD_LINK_CHECK_NOTHING))
      return nullptr;
  GstPtr<GstPad> first(gst_element_get_static_pad(chain.front(), "sink"));
  if (!gst_element_add_pad(bin.get(), gst_ghost_pad_new("sink", first.get()))) return nullptr;

  std::shared_ptr<CFrameScaler> scaler(new CFrameScaler);
  scaler->m_bin = std::move(bin);
  scaler->m_appSink = vantor::Ref(sink);
  {
    std::lock_guard lock(steps->mutex);
    steps->Apply();
  }
  scaler->m_steps = steps;
  GstPtr<GstPad> pad = scaler->SinkPad();
  gst_pad_add_probe(pad.get(), GST_PAD_PROBE_TYPE_EVENT_DOWNSTREAM, OnSinkEvent,
                    new std::shared_ptr<Steps>(std::move(steps)),
                    [](gpointer data) { delete static_cast<std::shared_ptr<Steps>*>(data); });
  return scaler;
}

GstPtr<GstPad> CFrameScaler::SinkPad() const {
  return GstPtr<GstPad>(gst_element_get_static_pad(m_bin.get(), "sink"));
}

void CFrameScaler::SetShownSize(int width, int height) {
  Steps& steps = *m_steps;
  std::lock_guard lock(steps.mutex);
  if (width <= 0 || height <= 0) width = height = 0;
  if (steps.shown == PictureSize{width, height}) return;
  steps.shown = {width, height};
  steps.Apply();
}

GstPadProbeReturn CFrameScaler::OnSinkEvent(GstPad*, GstPadProbeInfo* info, gpointer data) {
  GstEvent* event = GST_PAD_PROBE_INFO_EVENT(info);
  if (GST_EVENT_TYPE(event) != GST_EVENT_CAPS) return GST_PAD_PROBE_OK;
  GstCaps* caps = nullptr;
  gst_event_parse_caps(event, &caps);
  GstVideoInfo vi;
  if (!caps || !gst_video_info_from_caps(&vi, caps)) return GST_PAD_PROBE_OK;
  Steps& self = **static_cast<std::shared_ptr<Steps>*>(data);
  std::lock_guard lock(self.mutex);
  const PictureSize source{GST_VIDEO_INFO_WIDTH(&vi), GST_VIDEO_INFO_HEIGHT(&vi)};
  if (source == self.source && self.parN == GST_VIDEO_INFO_PAR_N(&vi) &&
      self.parD == GST_VIDEO_INFO_PAR_D(&vi))
    return GST_PAD_PROBE_OK;
  self.source = source;
  self.parN = GST_VIDEO_INFO_PAR_N(&vi);
  self.parD = GST_VIDEO_INFO_PAR_D(&vi);
  // Set before these caps travel on, so the steps negotiate the new sizes.
  self.Apply();
  return GST_PAD_PROBE_OK;
}

void CFrameScaler::Steps::Apply() {
  const GstPtr<GstCaps> any(gst_caps_new_empty_simple("video/x-raw"));
  std::vector<PictureSize> steps;
  if (shown.width > 0) steps = HalvingSteps(source, FitPicture(source, parN, parD, shown));
  // A step without a size of its own passes the picture through untouched.
  for (int i = 0; i < kMaxHalvings; ++i)
    SetCaps(halvingCaps[i].get(),
            i < int(steps.size()) ? SizeCaps(steps[i], false) : Ref(any.get()));
  vantor::player::SetBgrxScalerSize(fast.get(), shown.width, shown.height);
  if (shown.width <= 0) {
    SetCaps(shownCaps.get(), any);
    return;
  }
  GstPtr<GstCaps> caps = SizeCaps(shown, true);
  gst_caps_set_simple(caps.get(), "format", G_TYPE_STRING, "BGRx", nullptr);
  SetCaps(shownCaps.get(), caps);
}
