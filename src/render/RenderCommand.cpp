#include "render/RenderCommand.h"

#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <set>
#include <string>
#include <vector>

#include "app/CommandLine.h"
#include "app/Channels.h"
#include "app/Drives.h"
#include "common/Messages.h"
#include "render/Render.h"

namespace vantor {
namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;
// A camera loses a second or so at a cut; more than this between two clips
// of one drive means a clip of the stretch is not there.
constexpr std::int64_t kMissingClipGapMs = 2000;

void Fail(std::FILE* err, const std::string& message) {
  std::fprintf(err, "vantor: %s\n", message.c_str());
}

// The translated message with each "%s" replaced in turn; text put in is
// never searched again (a file name may hold "%s").
std::string Format(const char* english, std::initializer_list<std::string> args) {
  std::string text = Tr(english);
  std::size_t from = 0;
  for (const std::string& arg : args) {
    const std::size_t at = text.find("%s", from);
    if (at == std::string::npos) break;
    text.replace(at, 2, arg);
    from = at + arg.size();
  }
  return text;
}

void Usage(std::FILE* err) {
  std::fputs(
      "Usage: vantor --render INPUT... -o OUT.mp4 [--from TIME] [--to TIME]\n"
      "              [--overlay time,speed,position,gauge,route,inset] [--height 720]\n",
      err);
}

std::string Clock(std::int64_t ns) {
  const long long s = std::max<std::int64_t>(ns, 0) / 1000000000;
  char buf[32];
  std::snprintf(buf, sizeof buf, "%02lld:%02lld:%02lld", s / 3600, s / 60 % 60, s % 60);
  return buf;
}

// The render of this process, for the signal handler: a Ctrl+C stops it and
// its partial file goes.
std::atomic<bool>* g_cancel = nullptr;

void OnSignal(int) {
  if (std::atomic<bool>* c = g_cancel) c->store(true);
}

class SignalGuard {
 public:
  explicit SignalGuard(std::atomic<bool>& cancel) {
    g_cancel = &cancel;
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &sa, &m_old[i]);
  }
  ~SignalGuard() {
    for (int i = 0; i < 3; ++i) sigaction(kSignals[i], &m_old[i], nullptr);
    g_cancel = nullptr;
  }

 private:
  static constexpr int kSignals[3] = {SIGINT, SIGTERM, SIGHUP};
  struct sigaction m_old[3];
};

struct Options {
  std::vector<std::string> inputs;
  std::string out;
  std::int64_t fromNs = 0, toNs = -1;
  bool haveTo = false;
  int height = 0;
  OverlayChoice overlay;
};

// 0, or the exit status after a message.
int ParseOptions(int argc, char** argv, Options& o, std::FILE* err) {
  bool haveOut = false;
  for (int i = 2; i < argc; ++i) {
    const std::string_view arg = argv[i];
    const bool takesValue = arg == "-o" || arg == "--output" || arg == "--from" || arg == "--to" ||
                            arg == "--overlay" || arg == "--height";
    if (takesValue && i + 1 >= argc) {
      Fail(err, std::string(arg) + ": " + Tr("a value is missing"));
      return kExitUsage;
    }
    if (arg == "-o" || arg == "--output") {
      if (haveOut) {
        Fail(err, Tr("-o needs one output file"));
        return kExitUsage;
      }
      o.out = argv[++i];
      haveOut = true;
    } else if (arg == "--from" || arg == "--to") {
      std::int64_t& t = arg == "--from" ? o.fromNs : o.toNs;
      if (!ParseRenderTime(argv[++i], t)) {
        Fail(err, std::string(arg) + ": " + Tr("a time is seconds or hh:mm:ss") + " ('" + argv[i] +
                      "')");
        return kExitUsage;
      }
      if (arg == "--to") o.haveTo = true;
    } else if (arg == "--overlay") {
      if (!ParseOverlayChoice(argv[++i], o.overlay)) {
        Fail(err, Tr("--overlay takes time,speed,position,gauge,route,inset or none") + " ('" + argv[i] +
                      "')");
        return kExitUsage;
      }
    } else if (arg == "--height") {
      const std::string_view v = argv[++i];
      const auto r = std::from_chars(v.data(), v.data() + v.size(), o.height);
      if (r.ec != std::errc() || r.ptr != v.data() + v.size() || o.height < 16 || o.height > 4320) {
        Fail(err, Tr("--height takes a number of lines from 16 to 4320") + " ('" + std::string(v) +
                      "')");
        return kExitUsage;
      }
    } else if (arg.starts_with('-') && arg != "-") {
      Fail(err, Tr("unknown option") + " '" + std::string(arg) + "'");
      Usage(err);
      return kExitUsage;
    } else {
      o.inputs.emplace_back(arg);
    }
  }
  if (o.inputs.empty() || !haveOut || o.out.empty()) {
    Usage(err);
    return kExitUsage;
  }
  if (o.haveTo && o.toNs <= o.fromNs) {
    Fail(err, Tr("--to must come after --from"));
    return kExitFailure;
  }
  return 0;
}

// The movies named, folders opened, each once. 0, or the exit status.
int CollectMovies(const Options& o, std::vector<std::string>& movies, std::FILE* err) {
  for (const std::string& input : o.inputs) {
    struct stat st {};
    if (::stat(input.c_str(), &st) != 0) {
      Fail(err, input + ": " + std::strerror(errno));
      return kExitFailure;
    }
    if (S_ISDIR(st.st_mode)) {
      std::vector<std::string> found;
      std::string error;
      if (!MoviesUnderFolder(input, found, error)) {
        Fail(err, input + ": " + error);
        return kExitFailure;
      }
      if (found.empty()) {
        Fail(err, input + ": " + Tr("no movies in this folder"));
        return kExitFailure;
      }
      movies.insert(movies.end(), found.begin(), found.end());
    } else if (!IsMoviePath(input)) {
      Fail(err, input + ": " + Tr("not a movie (.mov or .mp4)"));
      return kExitFailure;
    } else {
      movies.push_back(input);
    }
  }
  std::set<std::pair<dev_t, ino_t>> seen;
  std::erase_if(movies, [&](const std::string& m) {
    struct stat st {};
    return ::stat(m.c_str(), &st) == 0 && !seen.insert({st.st_dev, st.st_ino}).second;
  });
  return 0;
}

// The clips of the one drive in play order, probed, with their GPS. The
// cameras of a clip (front and rear files) make one clip: the main camera's
// picture, the second one's as an inset when `inset`, and the GPS of
// whichever file has it.
int LoadDrive(const std::vector<std::string>& movies, bool inset, std::vector<RenderClip>& clips,
              std::FILE* err) {
  std::vector<RenderClip> loaded;
  std::vector<DriveClip> timed;
  for (const ClipChannels& channels : GroupChannels(movies)) {
    const std::string& m = channels.Main();
    RenderClip c;
    std::string error;
    if (!LoadRenderClip(m, c, error)) {
      Fail(err, error);
      return kExitFailure;
    }
    std::vector<std::string> others = channels.Others();
    if (others.empty() && (inset || c.gps.nCount == 0)) others = OtherChannelFiles(m);
    if (inset && !others.empty()) {
      if (!LoadRenderInset(others[0], c, error)) {
        Fail(err, error);
        return kExitFailure;
      }
    } else {
      for (const std::string& other : others) {
        if (c.gps.nCount > 0) break;
        if (LoadGpsForMovie(other, c.gps, c.gpsLoad) == GpsSourceKind::CameraLog &&
            !HasDatedRecord(c.gps))
          c.gps.Clear();
      }
    }
    timed.push_back({m, ClipSpanOf(m, &c.gps)});
    loaded.push_back(std::move(c));
  }
  const std::vector<std::size_t> order = OrderForDrives(timed);
  std::vector<DriveClip> ordered;
  for (std::size_t i : order) ordered.push_back(timed[i]);
  const std::vector<int> drive = GroupIntoDrives(ordered);
  if (!drive.empty() && drive.back() != drive.front()) {
    Fail(err, Format("%s drives in the input; give the movies or the folder of one drive",
                     {std::to_string(drive.back() - drive.front() + 1)}));
    return kExitFailure;
  }
  for (std::size_t k = 0; k < order.size(); ++k) {
    RenderClip& c = loaded[order[k]];
    if (k > 0) {
      const ClipSpan& prev = ordered[k - 1].span;
      const ClipSpan& next = ordered[k].span;
      const std::int64_t prevLenMs = clips.back().media.durationNs / 1000000;
      if (prev.nStartMs != kNoTime && next.nStartMs != kNoTime &&
          next.nStartMs - (prev.nStartMs + prevLenMs) > kMissingClipGapMs) {
        Fail(err, Format("a clip is missing between %s and %s (%s s without a clip)",
                         {ordered[k - 1].path, ordered[k].path,
                          std::to_string((next.nStartMs - prev.nStartMs - prevLenMs) / 1000)}));
        return kExitFailure;
      }
    }
    clips.push_back(std::move(c));
  }
  return 0;
}

}  // namespace

bool ParseRenderTime(std::string_view text, std::int64_t& ns) {
  if (text.empty()) return false;
  double total = 0;
  int parts = 0;
  while (true) {
    const std::size_t colon = text.find(':');
    const std::string_view part = text.substr(0, colon);
    const bool last = colon == std::string_view::npos;
    if (part.empty() || ++parts > 3) return false;
    double value = 0;
    // Only the seconds may have a fraction; no signs, no exponents.
    for (char ch : part)
      if (!(ch >= '0' && ch <= '9') && !(last && ch == '.')) return false;
    const auto r = std::from_chars(part.data(), part.data() + part.size(), value);
    if (r.ec != std::errc() || r.ptr != part.data() + part.size()) return false;
    if (!last && parts > 1 && value >= 60) return false;
    if (last && parts > 1 && value >= 60) return false;
    total = total * 60 + value;
    if (last) break;
    text.remove_prefix(colon + 1);
  }
  if (!std::isfinite(total) || total > 1e6) return false;
  ns = static_cast<std::int64_t>(std::llround(total * 1e9));
  return true;
}

int RunRenderCommand(int argc, char** argv, std::FILE* err) {
  Options o;
  if (const int code = ParseOptions(argc, argv, o, err)) return code;
  struct stat st {};
  if (::lstat(o.out.c_str(), &st) == 0) {
    Fail(err, o.out + ": " + Tr("already exists; choose another name"));
    return kExitFailure;
  }
  std::vector<std::string> movies;
  if (const int code = CollectMovies(o, movies, err)) return code;
  RenderRequest r;
  if (const int code = LoadDrive(movies, o.overlay.inset, r.clips, err)) return code;
  const std::int64_t total = DriveLengthNs(r.clips);
  if (o.fromNs >= total) {
    Fail(err, Tr("--from is past the end of the drive") + " (" + Clock(total) + ")");
    return kExitFailure;
  }
  r.fromNs = o.fromNs;
  r.toNs = o.haveTo ? std::min(o.toNs, total) : total;
  r.height = o.height;
  r.overlay = o.overlay;
  r.style = ExportStyleFromSettings();
  r.outPath = o.out;

  // Progress only for a person watching; a script's log gets the outcome.
  if (::isatty(::fileno(err))) {
    const auto started = std::chrono::steady_clock::now();
    auto last = started - std::chrono::seconds(1);
    r.onTick = [err, started, last](const RenderStatus& s) mutable {
      const auto now = std::chrono::steady_clock::now();
      if (now - last < std::chrono::milliseconds(500)) return;
      last = now;
      const std::int64_t done = s.doneNs.load(), totalNs = std::max<std::int64_t>(s.totalNs, 1);
      const double elapsed = std::chrono::duration<double>(now - started).count();
      std::string left = "--:--:--";
      if (done > 0)
        left = Clock(static_cast<std::int64_t>(elapsed * 1e9 * (totalNs - done) / done));
      std::fprintf(err, "\r%3d%%  %s / %s  %s %s ", static_cast<int>(100.0 * done / totalNs),
                   Clock(done).c_str(), Clock(totalNs).c_str(), left.c_str(), Tr("left").c_str());
      std::fflush(err);
    };
  }
  RenderStatus status;
  std::string error;
  bool ok = false;
  {
    SignalGuard guard(status.cancel);
    ok = RenderVideo(r, status, error);
  }
  if (r.onTick) std::fputc('\n', err);
  if (!ok) {
    Fail(err, error);
    return kExitFailure;
  }
  return 0;
}

}  // namespace vantor
