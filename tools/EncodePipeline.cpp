#include "EncodePipeline.h"

#include <gst/gst.h>

#include <algorithm>
#include <stdexcept>

namespace vantor::tools {

namespace {

GstPadProbeReturn RebaseTimestamps(GstPad*, GstPadProbeInfo* info, gpointer data) {
  auto* first = static_cast<GstClockTime*>(data);
  GstBuffer* buf = GST_PAD_PROBE_INFO_BUFFER(info);
  if (!GST_BUFFER_PTS_IS_VALID(buf)) return GST_PAD_PROBE_OK;
  if (*first == GST_CLOCK_TIME_NONE) *first = GST_BUFFER_PTS(buf);
  buf = gst_buffer_make_writable(buf);
  GST_BUFFER_PTS(buf) -= std::min(*first, GST_BUFFER_PTS(buf));
  if (GST_BUFFER_DTS_IS_VALID(buf)) GST_BUFFER_DTS(buf) -= std::min(*first, GST_BUFFER_DTS(buf));
  GST_PAD_PROBE_INFO_DATA(info) = buf;
  return GST_PAD_PROBE_OK;
}

std::string TakeMessage(GError* err, const char* otherwise) {
  const std::string what = err && err->message ? err->message : otherwise;
  if (err) g_error_free(err);
  return what;
}

}  // namespace

void EncodeToEnd(const std::string& description, int timeoutSeconds) {
  static const bool initialised = gst_init_check(nullptr, nullptr, nullptr);
  if (!initialised) throw std::runtime_error("GStreamer does not start");
  GError* err = nullptr;
  GstElement* pipeline = gst_parse_launch(description.c_str(), &err);
  if (!pipeline || err) {
    if (pipeline) gst_object_unref(pipeline);
    throw std::runtime_error("pipeline: " + TakeMessage(err, "does not parse"));
  }
  GstClockTime firstPts = GST_CLOCK_TIME_NONE;
  if (GstElement* rebase = gst_bin_get_by_name(GST_BIN(pipeline), "rebase")) {
    GstPad* pad = gst_element_get_static_pad(rebase, "src");
    gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, RebaseTimestamps, &firstPts, nullptr);
    gst_object_unref(pad);
    gst_object_unref(rebase);
  }
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  GstBus* bus = gst_element_get_bus(pipeline);
  GstMessage* msg = gst_bus_timed_pop_filtered(
      bus, timeoutSeconds > 0 ? GstClockTime(timeoutSeconds) * GST_SECOND : GST_CLOCK_TIME_NONE,
      GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
  std::string failure;
  if (!msg) {
    failure = "no end within " + std::to_string(timeoutSeconds) + " s";
  } else if (GST_MESSAGE_TYPE(msg) == GST_MESSAGE_ERROR) {
    GError* e = nullptr;
    gst_message_parse_error(msg, &e, nullptr);
    failure = TakeMessage(e, "error");
  }
  if (msg) gst_message_unref(msg);
  gst_object_unref(bus);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(pipeline);
  if (!failure.empty()) throw std::runtime_error(failure);
}

}  // namespace vantor::tools
