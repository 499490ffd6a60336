// Exported movies: what the command line writes, checked by decoding it again.
#include <gst/app/gstappsink.h>
#include <gst/pbutils/pbutils.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "common/GstInit.h"
#include "player/GstHandle.h"
#include "render/Render.h"
#include "render/RenderCommand.h"
#include "support/ScratchFolder.h"

namespace fs = std::filesystem;
using vantor::test::ScratchFolder;

namespace {

const fs::path kDrive = fs::path(VANTOR_FIXTURE_DIR) / "DCIM/100MEDIA";
std::string Clip(int n) {
  return (kDrive / ("AMBA000" + std::to_string(n) + ".MOV")).string();
}

struct Outcome {
  int code = -1;
  std::string err;
};

Outcome Render(std::vector<std::string> args) {
  args.insert(args.begin(), {"vantor", "--render"});
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  std::FILE* e = std::tmpfile();
  Outcome r;
  r.code = vantor::RunRenderCommand(static_cast<int>(argv.size()), argv.data(), e);
  std::rewind(e);
  for (int c; (c = std::fgetc(e)) != EOF;) r.err += static_cast<char>(c);
  std::fclose(e);
  return r;
}

// A movie decoded again: how many frames, their times, and some of them as RGB.
struct Decoded {
  std::vector<std::int64_t> pts;
  std::vector<std::vector<unsigned char>> frames;  // the indices asked for, in order
  int width = 0, height = 0;
};

Decoded Decode(const std::string& path, const std::vector<int>& keep) {
  vantor::EnsureGStreamer();
  Decoded d;
  GstElement* p = gst_parse_launch(
      "filesrc name=src ! decodebin ! videoconvert ! video/x-raw,format=RGB ! appsink name=sink "
      "sync=false",
      nullptr);
  vantor::GstPtr<GstElement> pipe(p);
  vantor::GstPtr<GstElement> src(gst_bin_get_by_name(GST_BIN(p), "src"));
  g_object_set(src.get(), "location", path.c_str(), nullptr);
  vantor::GstPtr<GstElement> sink(gst_bin_get_by_name(GST_BIN(p), "sink"));
  gst_element_set_state(p, GST_STATE_PLAYING);
  while (GstSample* s = gst_app_sink_pull_sample(GST_APP_SINK(sink.get()))) {
    vantor::GstPtr<GstSample> sample(s);
    GstBuffer* b = gst_sample_get_buffer(s);
    const int index = static_cast<int>(d.pts.size());
    d.pts.push_back(static_cast<std::int64_t>(GST_BUFFER_PTS(b)));
    if (std::find(keep.begin(), keep.end(), index) == keep.end()) continue;
    GstVideoInfo info;
    gst_video_info_from_caps(&info, gst_sample_get_caps(s));
    d.width = GST_VIDEO_INFO_WIDTH(&info), d.height = GST_VIDEO_INFO_HEIGHT(&info);
    GstVideoFrame f;
    gst_video_frame_map(&f, &info, b, GST_MAP_READ);
    std::vector<unsigned char> rgb;
    for (int y = 0; y < d.height; ++y) {
      const auto* row = static_cast<const unsigned char*>(GST_VIDEO_FRAME_PLANE_DATA(&f, 0)) +
                        y * GST_VIDEO_FRAME_PLANE_STRIDE(&f, 0);
      rgb.insert(rgb.end(), row, row + d.width * 3);
    }
    gst_video_frame_unmap(&f);
    d.frames.push_back(std::move(rgb));
  }
  gst_element_set_state(p, GST_STATE_NULL);
  return d;
}

// Mean absolute difference of two RGB pictures of one size over a rectangle.
double Difference(const Decoded& a, int ia, const Decoded& b, int ib, int x0, int y0, int x1,
                  int y1) {
  double sum = 0;
  for (int y = y0; y < y1; ++y)
    for (int x = x0 * 3; x < x1 * 3; ++x) {
      const std::size_t k = static_cast<std::size_t>(y) * a.width * 3 + x;
      sum += std::abs(int(a.frames[ia][k]) - int(b.frames[ib][k]));
    }
  return sum / ((x1 - x0) * 3.0 * (y1 - y0));
}

std::vector<std::string> Listing(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// One stretch across the join of the first two clips (2 s to 5 s), written
// once for the tests that look at it.
class RenderedStretch : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    s_dir = new ScratchFolder("render");
    s_out = (s_dir->path() / "stretch.mp4").string();
    s_outcome = Render({Clip(1), Clip(2), "-o", s_out, "--from", "2", "--to", "0:05", "--overlay",
                        "time,speed,position,gauge,route"});
  }
  static void TearDownTestSuite() { delete s_dir; }
  static inline ScratchFolder* s_dir = nullptr;
  static inline std::string s_out;
  static inline Outcome s_outcome;
};

TEST_F(RenderedStretch, IsH264AndAacOfTheStretchAtTheSourceSize) {
  ASSERT_EQ(s_outcome.code, 0) << s_outcome.err;
  EXPECT_EQ(s_outcome.err, "");  // no progress lines when standard error is no terminal
  vantor::GstPtr<gchar> uri(gst_filename_to_uri(s_out.c_str(), nullptr));
  GstDiscoverer* disc = gst_discoverer_new(10 * GST_SECOND, nullptr);
  GstDiscovererInfo* info = gst_discoverer_discover_uri(disc, uri.get(), nullptr);
  ASSERT_NE(info, nullptr);
  GList* v = gst_discoverer_info_get_video_streams(info);
  GList* a = gst_discoverer_info_get_audio_streams(info);
  ASSERT_TRUE(v && a);
  vantor::GstPtr<GstCaps> vc(
      gst_discoverer_stream_info_get_caps(GST_DISCOVERER_STREAM_INFO(v->data)));
  vantor::GstPtr<GstCaps> ac(
      gst_discoverer_stream_info_get_caps(GST_DISCOVERER_STREAM_INFO(a->data)));
  EXPECT_STREQ(gst_structure_get_name(gst_caps_get_structure(vc.get(), 0)), "video/x-h264");
  int mpegVersion = 0;
  EXPECT_STREQ(gst_structure_get_name(gst_caps_get_structure(ac.get(), 0)), "audio/mpeg");
  gst_structure_get_int(gst_caps_get_structure(ac.get(), 0), "mpegversion", &mpegVersion);
  EXPECT_EQ(mpegVersion, 4);
  auto* vi = static_cast<GstDiscovererVideoInfo*>(v->data);
  EXPECT_EQ(gst_discoverer_video_info_get_width(vi), 320u);
  EXPECT_EQ(gst_discoverer_video_info_get_height(vi), 240u);
  const double seconds = gst_discoverer_info_get_duration(info) / 1e9;
  EXPECT_NEAR(seconds, 3.0, 1.0 / 30);
  gst_discoverer_stream_info_list_free(v);
  gst_discoverer_stream_info_list_free(a);
  g_object_unref(info);
  g_object_unref(disc);
}

TEST_F(RenderedStretch, JoinKeepsEveryFrameOnceWithTheOverlayOnlyWhereItIsDrawn) {
  ASSERT_EQ(s_outcome.code, 0) << s_outcome.err;
  // Output frames 29 and 30 are the first clip's last (2.967 s) and the second's first.
  const Decoded out = Decode(s_out, {0, 29, 30});
  ASSERT_EQ(out.pts.size(), 90u);
  for (std::size_t i = 1; i < out.pts.size(); ++i)
    ASSERT_NEAR(out.pts[i] - out.pts[i - 1], GST_SECOND / 30, 1000) << "frame " << i;
  const Decoded first = Decode(Clip(1), {60, 89});
  const Decoded second = Decode(Clip(2), {0});
  ASSERT_EQ(first.pts.size(), 90u);

  const int w = out.width, h = out.height;
  // The clip's own caption (name and time, top left) tells the frames apart.
  EXPECT_LT(Difference(out, 1, first, 1, 0, 0, w / 2, h / 4), 6.0);
  EXPECT_LT(Difference(out, 2, second, 0, 0, 0, w / 2, h / 4), 6.0);
  EXPECT_GT(Difference(out, 2, first, 1, 0, 0, w / 2, h / 4),
            2 * Difference(out, 2, second, 0, 0, 0, w / 2, h / 4));
  // The text plate at the bottom left and the gauge at the bottom right are
  // drawn; the middle of the picture is the source's.
  EXPECT_GT(Difference(out, 0, first, 0, 10, h - 40, w / 3, h - 10), 30.0);
  EXPECT_GT(Difference(out, 0, first, 0, w - 60, h - 40, w - 10, h - 10), 30.0);
  EXPECT_LT(Difference(out, 0, first, 0, w / 4, h / 3, 3 * w / 4, 2 * h / 3), 6.0);
}

TEST(RenderCommand, SecondCameraIsTheInsetInTheTopLeftCornerAcrossTheJoin) {
  // Two clips of 4 s, each a front file (colour bars) and a rear one (black,
  // a white ball), given as the folder: one clip per camera pair.
  const fs::path cams = fs::path(VANTOR_FIXTURE_DIR) / "two_cameras/DCIM/100MEDIA";
  ScratchFolder dir("render-inset");
  const std::string out = (dir.path() / "inset.mp4").string();
  const Outcome r = Render({cams.string(), "-o", out, "--overlay", "inset"});
  ASSERT_EQ(r.code, 0) << r.err;
  const Decoded got = Decode(out, {30, 150});
  EXPECT_EQ(got.pts.size(), 240u) << "every front frame once, the rear files not as clips";
  const Decoded front1 = Decode((cams / "AMBA0001F.MOV").string(), {30});
  const Decoded front2 = Decode((cams / "AMBA0002F.MOV").string(), {30});
  const int w = got.width, h = got.height;
  // A quarter of the width from the margin, its height in the rear's shape.
  const int x0 = 12, y0 = 12, x1 = w / 4 - 4, y1 = w * 3 / 16 - 4;
  for (int k = 0; k < 2; ++k) {
    const Decoded& front = k == 0 ? front1 : front2;
    EXPECT_GT(Difference(got, k, front, 0, x0, y0, x1, y1), 40.0) << "clip " << k + 1;
    EXPECT_LT(Difference(got, k, front, 0, w / 2, h / 3, w, h), 6.0) << "clip " << k + 1;
  }
}

TEST(RenderCommand, TimesOverlayAndUsage) {
  std::int64_t ns = 0;
  for (auto [text, want] : {std::pair{"75", 75.0},
                            {"75.5", 75.5},
                            {"1:15", 75.0},
                            {"00:01:15.5", 75.5},
                            {"1:00:00", 3600.0}}) {
    ASSERT_TRUE(vantor::ParseRenderTime(text, ns)) << text;
    EXPECT_EQ(ns, static_cast<std::int64_t>(want * 1e9)) << text;
  }
  for (const char* bad : {"", "-1", "1:75", "a", "1::2", "1:2:3:4", "1e3", "1.5:00"})
    EXPECT_FALSE(vantor::ParseRenderTime(bad, ns)) << bad;

  vantor::OverlayChoice c;
  ASSERT_TRUE(vantor::ParseOverlayChoice("route,time", c));
  EXPECT_TRUE(c.route && c.time && !c.speed && !c.position && !c.gauge);
  EXPECT_FALSE(vantor::ParseOverlayChoice("time,", c));
  EXPECT_FALSE(vantor::ParseOverlayChoice("clock", c));

  ScratchFolder dir("render-usage");
  const std::string out = (dir / "o.mp4").string();
  for (const auto& args :
       std::vector<std::vector<std::string>>{{Clip(1)},                            // no -o
                                             {"-o", out},                          // no input
                                             {Clip(1), "-o", out, "--from", "x"},  // not a time
                                             {Clip(1), "-o", out, "--overlay", "map"},
                                             {Clip(1), "-o", out, "--height", "0"},
                                             {Clip(1), "-o", out, "--fast"}}) {
    EXPECT_EQ(Render(args).code, 2) << args.back();
  }
  EXPECT_TRUE(fs::is_empty(dir.path()));
}

// Each fault: exit 1, one line saying what, and nothing left in the output's folder.
void ExpectRefused(const std::vector<std::string>& args, const fs::path& outDir,
                   const std::string& says) {
  const std::vector<std::string> before = Listing(outDir);
  const Outcome r = Render(args);
  EXPECT_EQ(r.code, 1) << r.err;
  EXPECT_NE(r.err.find(says), std::string::npos) << r.err;
  EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
  EXPECT_EQ(Listing(outDir), before) << r.err;
}

// A copy of the fixture drive to break.
fs::path CopyDrive(const ScratchFolder& dir) {
  const fs::path card = dir / "card";
  fs::create_directories(card);
  fs::copy(fs::path(VANTOR_FIXTURE_DIR) / "DCIM", card / "DCIM", fs::copy_options::recursive);
  fs::copy(fs::path(VANTOR_FIXTURE_DIR) / "GPS", card / "GPS", fs::copy_options::recursive);
  return card;
}

TEST(RenderCommand, BadInputIsRefusedWithNothingLeft) {
  ScratchFolder dir("render-bad");
  const fs::path outDir = dir / "out";
  fs::create_directories(outDir);
  const std::string out = (outDir / "o.mp4").string();

  const fs::path card = CopyDrive(dir);
  fs::remove(card / "DCIM/100MEDIA/AMBA0003.MOV");
  ExpectRefused({card.string(), "-o", out}, outDir, "missing");
  ExpectRefused({Clip(2), "-o", out, "--from", "3", "--to", "2"}, outDir, "--to");
  ExpectRefused({Clip(1), "-o", out, "--from", "9"}, outDir, "past the end");
  ExpectRefused({(fs::path(VANTOR_FIXTURE_DIR) / "two_drives").string(), "-o", out}, outDir,
                "2 drives");

  // A movie whose index is intact but whose data stops half way: made from
  // an export (index first), cut.
  const std::string whole = (dir / "whole.mp4").string();
  ASSERT_EQ(Render({Clip(2), "-o", whole, "--overlay", "none"}).code, 0);
  fs::resize_file(whole, fs::file_size(whole) * 6 / 10);
  ExpectRefused({whole, "-o", out}, outDir, "ends early");
  // One whose index is gone with its end, as the camera leaves it.
  const std::string cut = (dir / "cut.MOV").string();
  fs::copy_file(Clip(1), cut);
  fs::resize_file(cut, fs::file_size(cut) / 2);
  ExpectRefused({cut, "-o", out}, outDir, "cut short");

  // An existing file is never replaced.
  { std::ofstream(out) << "keep"; }
  ExpectRefused({Clip(1), "-o", out}, outDir, "already exists");
  std::ifstream kept(out);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "keep");
  fs::remove(out);

  // Cancelled half way (as Ctrl+C does): nothing stays either.
  vantor::RenderRequest req;
  req.outPath = out;
  req.clips.emplace_back();
  req.clips[0].path = Clip(1);
  std::string error;
  ASSERT_TRUE(vantor::ProbeClip(Clip(1), req.clips[0].media, error)) << error;
  vantor::RenderStatus status;
  req.onTick = [&status](const vantor::RenderStatus&) {
    if (status.doneNs > GST_SECOND) status.cancel = true;
  };
  EXPECT_FALSE(vantor::RenderVideo(req, status, error));
  EXPECT_NE(error.find("cancelled"), std::string::npos) << error;
  EXPECT_TRUE(fs::is_empty(outDir));
}

TEST(RenderCommand, ReadOnlyFolderAndFullDiskAreRefusedWithNothingLeft) {
  if (::geteuid() != 0) GTEST_SKIP() << "mounting a small file system needs root";
  ScratchFolder dir("render-disk");
  const fs::path full = dir / "full", ro = dir / "ro";
  fs::create_directories(full);
  fs::create_directories(ro);
  if (::mount("tmpfs", full.c_str(), "tmpfs", 0, "size=64k") != 0)
    GTEST_SKIP() << "cannot mount a tmpfs here";
  ::mount("tmpfs", ro.c_str(), "tmpfs", MS_RDONLY, "size=64k");
  ExpectRefused({Clip(1), "-o", (full / "o.mp4").string()}, full, "No space left");
  ExpectRefused({Clip(1), "-o", (ro / "o.mp4").string()}, ro, "Read-only");
  ::umount(full.c_str());
  ::umount(ro.c_str());
}

}  // namespace
