// Player benchmarks. Two kinds of runs:
//
//   bench_player --play FILE [--rate R]   plays FILE to its end in a window with
//       the video pane at the main window's place (run under Xvfb) and prints
//       one line: wall seconds, CPU seconds, frames painted, frames expected,
//       peak resident memory. bench/player_bench.sh compares it with a bare
//       pipeline and with another player.
//   bench_player --bare FILE [--rate R]   the bare pipeline of the comparison
//       (decode, scale to the pane's size, fakesink in real time; above rate
//       1 with the player's frame-skipping policy), same line.
//   bench_player --cameras FRONT REAR [--rate R]   plays FRONT with REAR in the
//       corner inset as the main window shows a clip of two cameras, and
//       prints how far apart the two pictures painted are (sampled every
//       10 ms while both play), frames painted of each, CPU and memory.
//   bench_player --step FILE [--no-pane]  backward stepping: from paused
//       positions, seek 200 ms back and time until the new frame is painted
//       (or, without a pane, handed out by the pipeline).
//   bench_player --still FILE OUT.ppm     the first picture of FILE as the
//       player hands it to a pane of the main window's size, written as a
//       binary PPM (the bench compares it with a reference downscale).
//   bench_player --reference FILE OUT.ppm  the first picture of FILE at its
//       full size, converted to RGB exactly (in floating point, the colour
//       widened bilinearly), as the reference the bench downscales:
//       GStreamer's own converter turns 8-bit pictures 1 to 2.5 levels too
//       dark (Y 128 of BT.709 gives 128 instead of 130).
//   bench_player --join [--reopen] FILE...   plays the last 1.5 s of each
//       clip into the next, the next one prepared beside the playing one
//       (with --reopen: opened when the playing one has ended, as the window
//       did before), and prints the gap at each join between the painting of
//       the last frame of one clip and the first of the next, then the
//       median and the worst, in ms.
//   bench_player --open FILE [ROUNDS]     Open to the first frame painted and
//       a bare pipeline's preroll of FILE, in turn, ROUNDS times (20); prints
//       the median of each in ms.
//   bench_player [benchmark flags]        Google Benchmark cases: Open to the
//       first frame shown, against a bare pipeline's preroll of the same file
//       (FILE from $VANTOR_BENCH_MOVIE).
#include <benchmark/benchmark.h>
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/video.h>
#include <sys/resource.h>
#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/frame.h>
#include <wx/init.h>
#include <wx/timer.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "app/CameraInset.h"
#include "common/GstInit.h"
#include "map/WebBrowser2.h"
#include "player/MoviePlayer.h"
#include "player/VideoPane.h"

namespace {

using Clock = std::chrono::steady_clock;

class BenchApp : public wxApp {
 public:
  bool OnInit() override { return true; }
};

void Pump(int ms) {
  const auto end = Clock::now() + std::chrono::milliseconds(ms);
  do {
    wxTheApp->ProcessPendingEvents();
    while (wxTheApp->Pending()) wxTheApp->Dispatch();
    wxYield();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  } while (Clock::now() < end);
}

// The GUI's own event loop, as the main window runs it, until `done` holds;
// checked from a timer at the main window's play timer interval. (Polling
// the loop instead would bill the bench's own busy waiting to the player.)
template <typename Done>
void RunLoopUntil(Done done, int intervalMs) {
  wxGUIEventLoop loop;
  wxTimer timer;
  timer.Bind(wxEVT_TIMER, [&](wxTimerEvent&) {
    if (done()) loop.Exit();
  });
  timer.Start(intervalMs);
  loop.Run();
}

double CpuSeconds() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec +
         (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) / 1e6;
}

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

long PeakRssKb() {
  rusage ru{};
  getrusage(RUSAGE_SELF, &ru);
  return ru.ru_maxrss;
}

struct Window {
  wxFrame* frame;
  CVideoPane* pane;
  Window() {
    frame = new wxFrame(nullptr, wxID_ANY, "bench", wxPoint(0, 0), wxSize(1024, 700));
    pane = new CVideoPane(frame, wxID_ANY, wxRect(50, 40, 575, 390));
    frame->Show();
    Pump(200);
  }
  ~Window() {
    frame->Destroy();
    Pump(50);
  }
};

const VideoRect kPane{50, 40, 625, 430};

int RunPlay(const std::string& file, double rate) {
  Window w;
  CMoviePlayer player;
  const double cpu0 = CpuSeconds();
  if (!player.Open(file, w.pane, kPane)) {
    std::fprintf(stderr, "cannot open %s\n", file.c_str());
    return 1;
  }
  const long duration = player.GetDuration();
  if (rate != 1.0) player.SetRate(rate);
  const auto t0 = Clock::now();
  player.Play();
  RunLoopUntil([&] { return player.CheckComplete() != FALSE; }, 100);
  const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
  Pump(100);
  const double cpu = CpuSeconds() - cpu0;
  const long expected = std::lround(duration / 1000.0 * 30);
  std::printf("wall=%.2f cpu=%.2f painted=%llu presented=%llu expected=%ld rss_kb=%ld\n", wall, cpu,
              static_cast<unsigned long long>(w.pane->GetFramesPainted()),
              static_cast<unsigned long long>(player.GetFramesPresented()), expected, PeakRssKb());
  player.Close();
  return 0;
}

int RunCameras(const std::string& front, const std::string& rear, double rate) {
  Window w;
  CMoviePlayer player;
  const double cpu0 = CpuSeconds();
  if (!player.Open(front, w.pane, kPane)) return 1;
  CCameraInset inset(w.pane, player);
  if (!inset.Open(rear)) {
    std::fprintf(stderr, "cannot open %s\n", rear.c_str());
    return 1;
  }
  const long duration = player.GetDuration();
  if (rate != 1.0) player.SetRate(rate);
  player.Play();
  std::vector<long> apart;
  double signedSum = 0;  // inset minus main: which of the two is ahead
  RunLoopUntil(
      [&] {
        const std::int64_t a = w.pane->GetPaintedFrameTime();
        const std::int64_t b = inset.GetPane()->GetPaintedFrameTime();
        if (a > 500 && b > 500 && a < duration - 500) {
          apart.push_back(std::labs(long(a - b)));
          signedSum += double(b - a);
        }
        return player.CheckComplete() != FALSE;
      },
      10);
  Pump(100);
  const double cpu = CpuSeconds() - cpu0;
  std::sort(apart.begin(), apart.end());
  const long within = std::count_if(apart.begin(), apart.end(), [](long d) { return d <= 34; });
  const long expected = std::lround(duration / 1000.0 * 30);
  std::printf(
      "rate=%.1f samples=%zu apart_ms median=%ld p99=%ld max=%ld mean_inset_ahead=%.1f "
      "within_one_frame=%.1f%% "
      "painted_main=%llu painted_inset=%llu expected=%ld cpu=%.2f rss_kb=%ld\n",
      rate, apart.size(), apart.empty() ? -1 : apart[apart.size() / 2],
      apart.empty() ? -1 : apart[apart.size() * 99 / 100], apart.empty() ? -1 : apart.back(),
      apart.empty() ? 0.0 : signedSum / apart.size(),
      apart.empty() ? 0.0 : 100.0 * within / apart.size(),
      static_cast<unsigned long long>(w.pane->GetFramesPainted()),
      static_cast<unsigned long long>(inset.GetPane()->GetFramesPainted()), expected, cpu,
      PeakRssKb());
  inset.Close();
  player.Close();
  return 0;
}

// With `pane` false the player has no output, so paused seeks go through the
// pipeline itself (an accurate seek per step, as before the step cache):
// the comparison of the same run.
int RunStep(const std::string& file, bool pane) {
  Window w;
  CMoviePlayer player;
  if (!player.Open(file, pane ? w.pane : nullptr, kPane)) return 1;
  player.Pause();
  auto shown = [&] { return pane ? w.pane->GetPaintedFrameTime() : player.GetShownFrameTime(); };
  std::vector<double> ms;
  // Stepping back from many places, as the backward-play timer does: ten
  // seconds back from 50 s, or from near the end of a shorter movie.
  const long first = std::min(50000L, player.GetDuration() - 1000);
  for (long start = first; start > std::max(first - 10000, 1000L); start -= 200) {
    player.SetCurrentPosition(start);
    while (std::llabs(shown() - start) > 34) Pump(2);
    const long target = start - 200;
    const auto t0 = Clock::now();
    player.SetCurrentPosition(target);
    while (std::llabs(shown() - target) > 34) Pump(1);
    ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
    // The next step comes at the pace of the main window's backward-play
    // timer (100 ms), not at once.
    const auto next = t0 + std::chrono::milliseconds(100);
    if (Clock::now() < next)
      Pump(int(std::chrono::duration_cast<std::chrono::milliseconds>(next - Clock::now()).count()));
  }
  std::sort(ms.begin(), ms.end());
  std::printf("step_back_200ms%s: n=%zu median=%.1f ms p90=%.1f ms max=%.1f ms\n",
              pane ? "" : " (no pane: pipeline seeks)", ms.size(), ms[ms.size() / 2],
              ms[ms.size() * 9 / 10], ms.back());
  return 0;
}

// The bare pipeline of the comparison played to its end at `rate`: frames
// reaching its sink, wall and CPU seconds, peak memory, on the same line
// format as --play.
int RunBare(const std::string& file, double rate) {
  gchar* uri = gst_filename_to_uri(file.c_str(), nullptr);
  const std::string desc = std::string("uridecodebin uri=") + uri +
                           " name=d d. ! videoconvertscale ! "
                           "video/x-raw,format=BGRx,width=575,height=390 ! "
                           "fakesink name=v sync=true signal-handoffs=true "
                           "d. ! audioconvert ! scaletempo ! audioconvert ! fakesink sync=true";
  g_free(uri);
  GstElement* p = gst_parse_launch(desc.c_str(), nullptr);
  if (!p) return 1;
  GstElement* v = gst_bin_get_by_name(GST_BIN(p), "v");
  // Fast forward under the player's policy: late frames may be skipped.
  if (rate > 1.0) g_object_set(v, "qos", TRUE, "max-lateness", gint64(40 * GST_MSECOND), nullptr);
  static std::atomic<unsigned long> frames{0};
  g_signal_connect(v, "handoff",
                   G_CALLBACK(+[](GstElement*, GstBuffer*, GstPad*, gpointer) { ++frames; }),
                   nullptr);
  const double cpu0 = CpuSeconds();
  gst_element_set_state(p, GST_STATE_PAUSED);
  gst_element_get_state(p, nullptr, nullptr, 10 * GST_SECOND);
  gint64 duration = 0;
  gst_element_query_duration(p, GST_FORMAT_TIME, &duration);
  if (rate != 1.0) {
    gst_element_seek(p, rate, GST_FORMAT_TIME,
                     GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_ACCURATE), GST_SEEK_TYPE_SET,
                     0, GST_SEEK_TYPE_NONE, GST_CLOCK_TIME_NONE);
    gst_element_get_state(p, nullptr, nullptr, 10 * GST_SECOND);
  }
  const auto t0 = Clock::now();
  gst_element_set_state(p, GST_STATE_PLAYING);
  GstBus* bus = gst_element_get_bus(p);
  if (GstMessage* m = gst_bus_timed_pop_filtered(
          bus, GST_CLOCK_TIME_NONE, GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR)))
    gst_message_unref(m);
  const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
  gst_object_unref(bus);
  gst_element_set_state(p, GST_STATE_NULL);
  gst_object_unref(v);
  gst_object_unref(p);
  const long expected = std::lround(duration / 1e9 * 30);
  std::printf("wall=%.2f cpu=%.2f painted=%lu presented=%lu expected=%ld rss_kb=%ld\n", wall,
              CpuSeconds() - cpu0, frames.load(), frames.load(), expected, PeakRssKb());
  return 0;
}

// Keeps the frames it is given; no window.
class CapturingOutput : public IVideoOutput {
 public:
  ~CapturingOutput() override { DetachFromPlayer(); }
  void PresentFrame(VideoFramePtr frame) override {
    std::lock_guard lock(m_mutex);
    m_frame = std::move(frame);
  }
  bool PlaceVideo(const VideoRect&) override { return true; }
  bool ShowVideoWindow(bool) override { return true; }
  bool SetFullScreen(bool) override { return true; }
  void GetShownSize(int& width, int& height) const override {
    width = kPane.Width();
    height = kPane.Height();
  }
  void ClearVideo() override {}
  VideoFramePtr Frame() {
    std::lock_guard lock(m_mutex);
    return m_frame;
  }

 private:
  std::mutex m_mutex;
  VideoFramePtr m_frame;
};

int RunStill(const std::string& file, const std::string& out) {
  CapturingOutput output;
  CMoviePlayer player;
  if (!player.Open(file, &output, kPane)) return 1;
  const VideoFramePtr frame = output.Frame();
  if (!frame) return 1;
  FILE* f = std::fopen(out.c_str(), "wb");
  if (!f) return 1;
  std::fprintf(f, "P6\n%d %d\n255\n", frame->Width(), frame->Height());
  std::vector<unsigned char> row(std::size_t(frame->Width()) * 3);
  for (int y = 0; y < frame->Height(); ++y) {
    const std::uint8_t* p = frame->Pixels() + std::ptrdiff_t(y) * frame->Stride();
    for (int x = 0; x < frame->Width(); ++x) {
      row[x * 3] = p[x * 4 + 2];
      row[x * 3 + 1] = p[x * 4 + 1];
      row[x * 3 + 2] = p[x * 4];
    }
    std::fwrite(row.data(), 1, row.size(), f);
  }
  const bool ok = std::fclose(f) == 0;
  player.Close();
  return ok ? 0 : 1;
}

int RunReference(const std::string& file, const std::string& out) {
  gchar* uri = gst_filename_to_uri(file.c_str(), nullptr);
  const std::string description = std::string("uridecodebin uri=\"") + (uri ? uri : "") +
                                  "\" ! video/x-raw,format=I420 ! appsink name=sink";
  g_free(uri);
  GstElement* pipeline = gst_parse_launch(description.c_str(), nullptr);
  if (!pipeline) return 1;
  GstElement* sink = gst_bin_get_by_name(GST_BIN(pipeline), "sink");
  gst_element_set_state(pipeline, GST_STATE_PAUSED);
  GstSample* sample = gst_app_sink_try_pull_preroll(GST_APP_SINK(sink), 10 * GST_SECOND);
  GstVideoInfo vi;
  GstVideoFrame frame;
  int rc = 1;
  FILE* f = nullptr;
  if (sample && gst_video_info_from_caps(&vi, gst_sample_get_caps(sample)) &&
      gst_video_frame_map(&frame, &vi, gst_sample_get_buffer(sample), GST_MAP_READ)) {
    const int w = GST_VIDEO_INFO_WIDTH(&vi), h = GST_VIDEO_INFO_HEIGHT(&vi);
    const int cw = (w + 1) / 2, ch = (h + 1) / 2;
    auto plane = [&](int c) {
      return static_cast<const std::uint8_t*>(GST_VIDEO_FRAME_COMP_DATA(&frame, c));
    };
    auto stride = [&](int c) { return GST_VIDEO_FRAME_COMP_STRIDE(&frame, c); };
    // A colour sample sits in the middle of its 2x2 block.
    auto colour = [&](int c, double x, double y) {
      x = std::clamp(x, 0.0, cw - 1.0);
      y = std::clamp(y, 0.0, ch - 1.0);
      const int x0 = int(x), y0 = int(y), x1 = std::min(x0 + 1, cw - 1),
                y1 = std::min(y0 + 1, ch - 1);
      const double fx = x - x0, fy = y - y0;
      auto at = [&](int px, int py) {
        return double(plane(c)[std::ptrdiff_t(py) * stride(c) + px]);
      };
      return (at(x0, y0) * (1 - fx) + at(x1, y0) * fx) * (1 - fy) +
             (at(x0, y1) * (1 - fx) + at(x1, y1) * fx) * fy;
    };
    gdouble kr = 0.2126, kb = 0.0722;
    gst_video_color_matrix_get_Kr_Kb(GST_VIDEO_INFO_COLORIMETRY(&vi).matrix, &kr, &kb);
    const double kg = 1 - kr - kb;
    const bool full = GST_VIDEO_INFO_COLORIMETRY(&vi).range == GST_VIDEO_COLOR_RANGE_0_255;
    const double yScale = full ? 1 : 255.0 / 219, cScale = full ? 1 : 255.0 / 224,
                 yOff = full ? 0 : 16;
    f = std::fopen(out.c_str(), "wb");
    if (f) {
      std::fprintf(f, "P6\n%d %d\n255\n", w, h);
      std::vector<unsigned char> row(std::size_t(w) * 3);
      for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
          const double l = (plane(0)[std::ptrdiff_t(y) * stride(0) + x] - yOff) * yScale;
          const double cx = (x + 0.5) / 2 - 0.5, cy = (y + 0.5) / 2 - 0.5;
          const double u = (colour(1, cx, cy) - 128) * cScale,
                       v = (colour(2, cx, cy) - 128) * cScale;
          const double rgb[3] = {l + 2 * (1 - kr) * v,
                                 l - 2 * kb * (1 - kb) / kg * u - 2 * kr * (1 - kr) / kg * v,
                                 l + 2 * (1 - kb) * u};
          for (int c = 0; c < 3; ++c)
            row[std::size_t(x) * 3 + c] = std::uint8_t(std::clamp(std::lround(rgb[c]), 0L, 255L));
        }
        std::fwrite(row.data(), 1, row.size(), f);
      }
      rc = std::fclose(f) == 0 ? 0 : 1;
    }
    gst_video_frame_unmap(&frame);
  }
  if (sample) gst_sample_unref(sample);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(sink);
  gst_object_unref(pipeline);
  return rc;
}

std::string BenchMovie() {
  const char* f = std::getenv("VANTOR_BENCH_MOVIE");
  return f ? f : "";
}

// Open until the first frame is painted in the pane, in ms; negative when
// the movie cannot be opened. `openMs` gets the part Open itself takes (the
// rest is the pane painting).
double OpenToFirstFrameMs(Window& w, const std::string& file, double* openMs = nullptr) {
  CMoviePlayer player;
  const std::uint64_t before = w.pane->GetFramesPainted();
  const auto t0 = Clock::now();
  if (!player.Open(file, w.pane, kPane)) return -1;
  if (openMs) *openMs = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
  while (w.pane->GetFramesPainted() == before) Pump(1);
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
  player.Close();
  return ms;
}

// The same file prerolled by a bare pipeline that decodes and scales to the
// pane, in ms.
double BarePrerollMs(const std::string& file) {
  gchar* uri = gst_filename_to_uri(file.c_str(), nullptr);
  const std::string desc = std::string("uridecodebin uri=") + uri +
                           " name=d d. ! videoconvertscale ! "
                           "video/x-raw,format=BGRx,width=575,height=390 ! fakesink sync=true "
                           "d. ! audioconvert ! fakesink sync=true";
  g_free(uri);
  const auto t0 = Clock::now();
  GstElement* p = gst_parse_launch(desc.c_str(), nullptr);
  gst_element_set_state(p, GST_STATE_PAUSED);
  gst_element_get_state(p, nullptr, nullptr, 10 * GST_SECOND);
  const double ms = std::chrono::duration<double, std::milli>(Clock::now() - t0).count();
  gst_element_set_state(p, GST_STATE_NULL);
  gst_object_unref(p);
  return ms;
}

// Both in turn, so that a machine that slows down or speeds up during the
// run weighs on both sides alike. One untimed round of each first: loading
// the plug-ins and libav's tables would otherwise land on whichever runs
// first.
int RunOpen(const std::string& file, int rounds) {
  Window w;
  if (OpenToFirstFrameMs(w, file) < 0) {
    std::fprintf(stderr, "cannot open %s\n", file.c_str());
    return 1;
  }
  BarePrerollMs(file);
  std::vector<double> open, bare;
  for (int i = 0; i < rounds; ++i) {
    open.push_back(OpenToFirstFrameMs(w, file));
    bare.push_back(BarePrerollMs(file));
  }
  std::printf("open_ms=%.1f bare_ms=%.1f rounds=%d\n", Median(open), Median(bare), rounds);
  return 0;
}

void BM_OpenToFirstFrame(benchmark::State& state) {
  Window w;
  const std::string file = BenchMovie();
  OpenToFirstFrameMs(w, file);
  double openMs = 0;
  for (auto _ : state) {
    double ms = 0;
    const double shownMs = OpenToFirstFrameMs(w, file, &ms);
    if (shownMs < 0) {
      state.SkipWithError("cannot open VANTOR_BENCH_MOVIE");
      break;
    }
    state.SetIterationTime(shownMs / 1000);
    openMs += ms;
  }
  state.counters["open_ms"] = openMs / double(state.iterations());
}
BENCHMARK(BM_OpenToFirstFrame)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);

void BM_BarePipelinePreroll(benchmark::State& state) {
  const std::string file = BenchMovie();
  BarePrerollMs(file);
  for (auto _ : state) state.SetIterationTime(BarePrerollMs(file) / 1000);
}
BENCHMARK(BM_BarePipelinePreroll)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);

}  // namespace

wxIMPLEMENT_APP_NO_MAIN(BenchApp);

// The pane's paints are watched from a 2 ms timer in the GUI's own event
// loop: a frame time that goes back is the first frame of the next clip, and
// the gap is the wall time since the last frame of the clip before.
int RunJoin(const std::vector<std::string>& files, bool reopen) {
  Window w;
  CMoviePlayer player;
  std::vector<double> gaps, prepareMs;
  if (!player.Open(files[0], w.pane, kPane)) {
    std::fprintf(stderr, "cannot open %s\n", files[0].c_str());
    return 1;
  }
  for (std::size_t i = 0; i + 1 < files.size(); ++i) {
    player.SetCurrentPosition(std::max(0L, player.GetDuration() - 1500));
    Pump(300);
    const auto prepareAt = Clock::now();
    if (!reopen && !player.PrepareNext(files[i + 1])) {
      std::fprintf(stderr, "cannot prepare %s\n", files[i + 1].c_str());
      return 1;
    }
    // The window is held up for as long as the preparation takes.
    if (!reopen)
      prepareMs.push_back(
          std::chrono::duration<double, std::milli>(Clock::now() - prepareAt).count());
    player.Play();
    std::uint64_t painted = w.pane->GetFramesPainted();
    std::int64_t lastTime = w.pane->GetPaintedFrameTime();
    Clock::time_point lastAt = Clock::now();
    bool switched = false, failed = false;
    const auto giveUp = Clock::now() + std::chrono::seconds(10);
    RunLoopUntil(
        [&] {
          if (reopen && !switched && player.CheckComplete()) {
            switched = true;
            if (!player.Open(files[i + 1], w.pane, kPane)) {
              failed = true;
              return true;
            }
            player.Play();
          } else if (!reopen && !switched && player.TakeHandover()) {
            switched = true;
          }
          if (w.pane->GetFramesPainted() != painted) {
            painted = w.pane->GetFramesPainted();
            const std::int64_t t = w.pane->GetPaintedFrameTime();
            const auto now = Clock::now();
            if (t < lastTime) {
              gaps.push_back(std::chrono::duration<double, std::milli>(now - lastAt).count());
              return true;
            }
            lastTime = t;
            lastAt = now;
          }
          return Clock::now() > giveUp;
        },
        2);
    if (failed || gaps.size() != i + 1) {
      std::fprintf(stderr, "join %zu: the first frame of %s was not painted\n", i + 1,
                   files[i + 1].c_str());
      return 1;
    }
    // The window takes the prepared clip over at its next tick; so does this.
    if (!reopen && !switched) {
      Pump(100);
      if (!player.TakeHandover()) return 1;
    }
  }
  for (std::size_t i = 0; i < gaps.size(); ++i) std::printf("join %zu: %.1f ms\n", i + 1, gaps[i]);
  std::printf("%s joins=%zu median_ms=%.1f worst_ms=%.1f", reopen ? "reopen" : "prepared",
              gaps.size(), Median(gaps), *std::max_element(gaps.begin(), gaps.end()));
  if (!prepareMs.empty())
    std::printf(" prepare_worst_ms=%.1f", *std::max_element(prepareMs.begin(), prepareMs.end()));
  std::printf("\n");
  player.Close();
  return 0;
}

int main(int argc, char** argv) {
  // The process is set up as the program's own: it draws without GL.
  CWebBrowser2::PrepareProcess();
  vantor::EnsureGStreamer();
  wxApp::SetInstance(new BenchApp);
  int wxArgc = 1;
  if (!wxEntryStart(wxArgc, argv)) {
    std::fprintf(stderr, "bench_player: no display\n");
    return 1;
  }
  wxTheApp->CallOnInit();
  int rc = 0;
  if (argc >= 3 && std::strcmp(argv[1], "--play") == 0) {
    const double rate =
        (argc >= 5 && std::strcmp(argv[3], "--rate") == 0) ? std::atof(argv[4]) : 1.0;
    rc = RunPlay(argv[2], rate);
  } else if (argc >= 3 && std::strcmp(argv[1], "--bare") == 0) {
    const double rate =
        (argc >= 5 && std::strcmp(argv[3], "--rate") == 0) ? std::atof(argv[4]) : 1.0;
    rc = RunBare(argv[2], rate);
  } else if (argc >= 4 && std::strcmp(argv[1], "--cameras") == 0) {
    const double rate =
        (argc >= 6 && std::strcmp(argv[4], "--rate") == 0) ? std::atof(argv[5]) : 1.0;
    rc = RunCameras(argv[2], argv[3], rate);
  } else if (argc >= 4 && std::strcmp(argv[1], "--still") == 0) {
    rc = RunStill(argv[2], argv[3]);
  } else if (argc >= 4 && std::strcmp(argv[1], "--reference") == 0) {
    rc = RunReference(argv[2], argv[3]);
  } else if (argc >= 3 && std::strcmp(argv[1], "--join") == 0) {
    const bool reopen = std::strcmp(argv[2], "--reopen") == 0;
    const std::vector<std::string> files(argv + (reopen ? 3 : 2), argv + argc);
    rc = files.size() >= 2 ? RunJoin(files, reopen) : 1;
  } else if (argc >= 3 && std::strcmp(argv[1], "--open") == 0) {
    rc = RunOpen(argv[2], argc >= 4 ? std::max(1, std::atoi(argv[3])) : 20);
  } else if (argc >= 3 && std::strcmp(argv[1], "--step") == 0) {
    rc = RunStep(argv[2], !(argc >= 4 && std::strcmp(argv[3], "--no-pane") == 0));
  } else {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
  }
  wxTheApp->OnExit();
  wxEntryCleanup();
  return rc;
}
