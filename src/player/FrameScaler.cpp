#include "player/FrameScaler.h"

#include <gst/video/video.h>

#include <algorithm>
#include <cmath>
#include <string>

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

std::shared_ptr<CFrameScaler> CFrameScaler::Make(const char* appSinkProperties) {
  std::string description;
  for (int i = 0; i < kMaxHalvings; ++i)
    description += "videoscale method=bilinear ! capsfilter name=half" + std::to_string(i) + " ! ";
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
  description +=
      "videoconvertscale method=bilinear chroma-mode=none ! capsfilter name=shown ! appsink "
      "name=sink ";
  description += appSinkProperties;
  GError* error = nullptr;
  GstElement* bin = gst_parse_bin_from_description(description.c_str(), TRUE, &error);
  GstPtr<GError> ownedError(error);
  if (!bin) return nullptr;
  // The bin is floating until a pipeline takes it; the handle keeps a
  // reference of its own either way.
  gst_object_ref_sink(bin);
  std::shared_ptr<CFrameScaler> scaler(new CFrameScaler);
  scaler->m_bin.reset(bin);
  if (ownedError) return nullptr;
  auto child = [bin](const std::string& name) {
    return GstPtr<GstElement>(gst_bin_get_by_name(GST_BIN(bin), name.c_str()));
  };
  auto steps = std::make_shared<Steps>();
  for (int i = 0; i < kMaxHalvings; ++i) steps->halvingCaps[i] = child("half" + std::to_string(i));
  steps->shownCaps = child("shown");
  scaler->m_appSink = child("sink");
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
  if (shown.width <= 0) {
    SetCaps(shownCaps.get(), any);
    return;
  }
  GstPtr<GstCaps> caps = SizeCaps(shown, true);
  gst_caps_set_simple(caps.get(), "format", G_TYPE_STRING, "BGRx", nullptr);
  SetCaps(shownCaps.get(), caps);
}
