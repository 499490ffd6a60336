#include "support/FixtureMovies.h"

#include <gst/gst.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

namespace vantor::test {

std::string FixtureFolder() {
#ifdef VANTOR_FIXTURE_DIR
  std::filesystem::path dir = std::filesystem::path(VANTOR_FIXTURE_DIR) / "player";
#else
  std::filesystem::path dir = std::filesystem::temp_directory_path() / "vantor-fixtures";
#endif
  std::filesystem::create_directories(dir);
  return dir.string();
}

namespace {

// GStreamer's libav encoders start their timestamps at 1000 hours (room for
// B-frames' decoding times); qtmux takes that in its stride, the ASF muxer
// writes it into the file. The element named "rebase" gets its output moved
// back to start at zero.
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

void RunToEnd(const std::string& description) {
  static bool initialised = gst_init_check(nullptr, nullptr, nullptr);
  if (!initialised) throw std::runtime_error("GStreamer does not start");
  GError* err = nullptr;
  GstElement* pipeline = gst_parse_launch(description.c_str(), &err);
  if (err) {
    const std::string what = err->message;
    g_error_free(err);
    if (pipeline) gst_object_unref(pipeline);
    throw std::runtime_error("fixture pipeline: " + what);
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
  GstMessage* msg = gst_bus_timed_pop_filtered(bus, 120 * GST_SECOND,
                                               GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR));
  const bool ok = msg && GST_MESSAGE_TYPE(msg) == GST_MESSAGE_EOS;
  if (msg) gst_message_unref(msg);
  gst_object_unref(bus);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(pipeline);
  if (!ok) throw std::runtime_error("fixture pipeline failed: " + description);
}

// Makes `name` in the fixture folder with `make(tempPath)` unless it is there.
template <typename Make>
std::string Cached(const std::string& name, Make make) {
  const std::filesystem::path path = std::filesystem::path(FixtureFolder()) / name;
  if (std::filesystem::exists(path)) return path.string();
  const std::filesystem::path temp =
      path.parent_path() / (".tmp-" + std::to_string(getpid()) + "-" + path.filename().string());
  make(temp.string());
  std::filesystem::rename(temp, path);
  return path.string();
}

std::string Encode(const std::string& name, const std::string& branches) {
  return Cached(name, [&](const std::string& out) {
    std::string d = branches;
    const auto at = d.find("@OUT@");
    d.replace(at, 5, out);
    RunToEnd(d);
  });
}

std::string Video(int frames) {
  return "videotestsrc pattern=smpte num-buffers=" + std::to_string(frames) +
         " ! video/x-raw,width=320,height=240,framerate=30/1 ! ";
}

std::string Audio(int seconds) {
  // 44.1 kHz, 1024 samples a buffer
  return "audiotestsrc wave=sine freq=440 samplesperbuffer=1024 num-buffers=" +
         std::to_string(seconds * 44100 / 1024 + 1) + " ! audio/x-raw,rate=44100,channels=2 ! ";
}

constexpr const char* kH264 =
    "x264enc speed-preset=ultrafast key-int-max=30 bframes=0 ! video/x-h264,profile=baseline ! "
    "h264parse ! ";

}  // namespace

std::string FixtureMovie(Fixture which) {
  switch (which) {
    case Fixture::AudioVideo:
      return Encode("av.MOV", Video(120) + kH264 + "qtmux name=mux ! filesink location=\"@OUT@\" " +
                                  Audio(4) + "audioconvert ! avenc_aac ! aacparse ! mux.");
    case Fixture::VideoOnly:
      return Encode("video_only.MOV", Video(60) + kH264 + "qtmux ! filesink location=\"@OUT@\"");
    case Fixture::AudioOnly:
      return Encode(
          "audio_only.MOV",
          Audio(2) + "audioconvert ! avenc_aac ! aacparse ! qtmux ! filesink location=\"@OUT@\"");
    case Fixture::AviVideo:
      return Encode("video.AVI", Video(60) + kH264 + "avimux ! filesink location=\"@OUT@\"");
    case Fixture::WmvMovie:
      return Encode("movie.wmv", Video(60) +
                                     "videoconvert ! avenc_wmv2 ! asfmux ! filesink "
                                     "location=\"@OUT@\"");
    case Fixture::WmvSound:
      return Encode("movie_sound_rebased.wmv",
                    Video(60) +
                        "videoconvert ! avenc_wmv2 name=rebase ! asfmux name=mux ! filesink "
                        "location=\"@OUT@\" " +
                        Audio(2) + "audioconvert ! avenc_wmav2 ! mux.");
    case Fixture::WmvLostPicture:
      return Encode("movie_sound.wmv", Video(60) +
                                           "videoconvert ! avenc_wmv2 ! asfmux name=mux ! filesink "
                                           "location=\"@OUT@\" " +
                                           Audio(2) + "audioconvert ! avenc_wmav2 ! mux.");
    case Fixture::Truncated:
      return Cached("truncated.MOV", [](const std::string& out) {
        const auto src = FixtureMovie(Fixture::AudioVideo);
        std::ifstream in(src, std::ios::binary);
        std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::ofstream(out, std::ios::binary).write(data.data(), std::streamsize(data.size() / 2));
      });
    case Fixture::TextFile:
      return Cached("notes.MOV", [](const std::string& out) {
        std::ofstream(out) << "This is not a movie.\nJust a few lines of text.\n";
      });
    case Fixture::EmptyFile:
      return Cached("empty.MOV", [](const std::string& out) { std::ofstream{out}; });
    case Fixture::NoExtension:
      return Cached("avmovie", [](const std::string& out) {
        std::filesystem::copy_file(FixtureMovie(Fixture::AudioVideo), out);
      });
    case Fixture::OddPath:
      return Cached("odd name 'quoted' \"double\" #1 100% \xce\xa9 \xe8\xa1\x8c\xe8\xbd\xa6.MOV",
                    [](const std::string& out) {
                      std::filesystem::copy_file(FixtureMovie(Fixture::AudioVideo), out);
                    });
  }
  return {};
}

}  // namespace vantor::test
