#include "app/CommandLine.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <string>
#include <string_view>

#include "app/Drives.h"
#include "app/Settings.h"
#include "common/Messages.h"
#include "common/SafeWrite.h"
#include "gps/GpsExport.h"
#include "gps/GpsLog.h"
#include "gps/GpsSources.h"

namespace vantor {

// The window's settings hold for exports too: the speed unit and what the
// camera's clock shows. Without a settings file, what the camera logged.
GpsExportStyle ExportStyleFromSettings() {
  GpsExportStyle style;
  Settings settings;
  if (!settings.Load()) return style;
  style.unit = ParseSpeedUnit(settings.Get(Settings::kSpeedUnit).value_or(""));
  if (!ParseCameraClock(settings.Get(Settings::kCameraClock).value_or(""), style.clock))
    style.clock = CameraClock{};
  return style;
}

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

void PrintUsage(std::FILE* f) {
  std::fputs(
      "Usage: vantor [MOVIE...]\n"
      "       vantor --export FORMAT INPUT... [-o OUT]\n"
      "       vantor --render INPUT... -o OUT.mp4 [--from TIME] [--to TIME]\n"
      "              [--overlay time,speed,position,gauge,route,inset] [--height LINES]\n"
      "       vantor --version | --help\n"
      "\n"
      "MOVIE arguments are added to the playlist; a movie whose name starts\n"
      "with '-' is given as ./-name, or after --.\n"
      "\n"
      "--export writes the GPS of INPUT as FORMAT: csv, gpx or geojson; to OUT, or\n"
      "to standard output without -o. INPUT is a movie (its GPS is looked up as the\n"
      "window does: the camera's log, an NMEA sidecar, GPS in the movie, a GPX\n"
      "track) or a GPS file (camera log, NMEA, GPX). It needs no display.\n"
      "\n"
      "Several INPUTs, or a folder (every movie under it), are grouped into drives:\n"
      "clips that follow each other within 10 s in one folder. Each drive is written\n"
      "whole, its points in time order; with more than one drive, -o OUT is needed\n"
      "and the drives go to OUT-1, OUT-2, ... (before OUT's extension).\n"
      "\n"
      "--render writes a stretch of one drive (its movies, or its folder) as a new\n"
      "MP4 (H.264 and AAC) with the date and time, speed and position drawn on the\n"
      "picture; gauge adds the speed gauge, route a small map of the drive. TIME is\n"
      "seconds or hh:mm:ss from the first movie's start (the clips end to end);\n"
      "without --from and --to, the whole drive. OUT must not exist. It needs no\n"
      "display.\n",
      f);
}

std::string BaseName(const std::string& path) {
  const std::size_t k = path.rfind('/');
  std::string name = k == std::string::npos ? path : path.substr(k + 1);
  const std::size_t dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name;
}

std::string Format(const char* english, const std::string& a, const std::string& b = {}) {
  std::string text = Tr(english);
  // The arguments are names from the user or the disk: a "%s" inside one is
  // text, so the search goes on after what was put in.
  std::size_t from = 0;
  for (const std::string* arg : {&a, &b}) {
    const std::size_t at = text.find("%s", from);
    if (at == std::string::npos) break;
    text.replace(at, 2, *arg);
    from = at + arg->size();
  }
  return text;
}

void Fail(std::FILE* err, const std::string& message) {
  std::fprintf(err, "vantor: %s\n", message.c_str());
}

// Whether OUT names the same file as `input` (through any link, symbolic or
// hard): writing it would destroy what is being exported.
bool IsSameFile(const std::string& outPath, const std::string& input) {
  struct stat inSt {
  }, outSt{};
  return ::stat(input.c_str(), &inSt) == 0 && ::stat(outPath.c_str(), &outSt) == 0 &&
         inSt.st_dev == outSt.st_dev && inSt.st_ino == outSt.st_ino;
}

// One clip of an export: a file named on the command line or a movie found
// in a folder named there.
struct ExportClip {
  std::string path;
  std::string logPath;  // the file its points came from
  GpsRecordTable table;
  ClipSpan span;
};

// Loads the GPS of a file named on the command line. 0, or the exit status
// after a message.
int LoadNamedInput(const std::string& input, ExportClip& clip, std::FILE* err) {
  clip.path = input;
  clip.logPath = input;
  GpsLoad load;
  if (IsMoviePath(input)) {
    struct stat st {};
    if (::stat(input.c_str(), &st) != 0) {
      Fail(err, Format("%s: %s", input, std::strerror(errno)));
      return kExitFailure;
    }
    // Every source of the movie in the window's order.
    if (LoadGpsForMovie(input, clip.table, load) == GpsSourceKind::None) {
      Fail(err, Format("%s: no GPS found (no camera log %s, no NMEA sidecar, GPS in the movie "
                       "or GPX track)",
                       input, GetGpsLogPath(input)));
      return kExitFailure;
    }
    clip.logPath = load.path;
    // A camera log none of whose lines starts with a date is no log: exporting
    // it would only make a track of zeros.
    if (load.kind == GpsSourceKind::CameraLog && !HasDatedRecord(clip.table)) {
      Fail(err, Format("GPS log of %s: %s", input,
                       clip.logPath + ": " + Tr(DescribeGpsLogStatus(GpsLogStatus::Empty))));
      return kExitFailure;
    }
  } else if (LoadGpsFile(input, {}, clip.table, load) == GpsSourceKind::None) {
    // Not NMEA, GPX or a movie: report it as the camera's log format.
    GpsLogStatus status = ParseGpsLog(input, clip.table);
    if (status == GpsLogStatus::Ok) status = GpsLogStatus::Empty;
    Fail(err, Format("%s: %s", input, Tr(DescribeGpsLogStatus(status))));
    return kExitFailure;
  }
  clip.span = ClipSpanOf(input, &clip.table);
  return 0;
}

// Adds every movie under a folder named on the command line. A movie there
// without GPS still counts for telling the drives apart; only a folder whose
// movies have no GPS at all is refused. 0, or the exit status after a message.
int LoadFolder(const std::string& folder, std::vector<ExportClip>& clips, std::FILE* err) {
  std::vector<std::string> movies;
  std::string error;
  if (!MoviesUnderFolder(folder, movies, error)) {
    Fail(err, Format("%s: %s", folder, error));
    return kExitFailure;
  }
  if (movies.empty()) {
    Fail(err, Format("%s: no movies in this folder", folder));
    return kExitFailure;
  }
  bool anyGps = false;
  for (const std::string& movie : movies) {
    ExportClip clip;
    clip.path = clip.logPath = movie;
    GpsLoad load;
    if (LoadGpsForMovie(movie, clip.table, load) != GpsSourceKind::None) {
      clip.logPath = load.path;
      if (load.kind == GpsSourceKind::CameraLog && !HasDatedRecord(clip.table)) clip.table.Clear();
    }
    clip.span = ClipSpanOf(movie, &clip.table);
    anyGps = anyGps || clip.table.nCount > 0;
    clips.push_back(std::move(clip));
  }
  if (!anyGps) {
    Fail(err, Format("%s: no GPS found for any movie in this folder", folder));
    return kExitFailure;
  }
  return 0;
}

// "trip.gpx" -> "trip-2.gpx": the name of the n-th drive's file.
std::string NumberedPath(const std::string& path, int n) {
  const std::size_t slash = path.rfind('/');
  std::size_t dot = path.rfind('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash) ||
      dot == (slash == std::string::npos ? 0 : slash + 1))
    dot = path.size();
  return path.substr(0, dot) + "-" + std::to_string(n) + path.substr(dot);
}

struct DriveText {
  std::string text;
  std::size_t clips = 0;
  std::string start;  // date and time of its first point
};

// Writes to OUT, which must be none of the inputs. 0, or the exit status.
int WriteExport(const std::string& outPath, const std::string& text,
                const std::vector<ExportClip>& clips, std::FILE* err) {
  // OUT must never be one of the inputs: a movie named or a log read.
  for (const ExportClip& clip : clips) {
    for (const std::string* in : {&clip.path, &clip.logPath}) {
      if (IsSameFile(outPath, *in)) {
        Fail(err, Format("%s: refusing to overwrite the input %s", outPath, *in));
        return kExitFailure;
      }
    }
  }
  SafeWriteOptions options;
  options.waitForFifoReader = true;  // as the shell does for "> fifo"
  if (const int e = WriteFileSafely(outPath, text, options)) {
    Fail(err, Format("%s: %s", outPath, std::strerror(e)));
    return kExitFailure;
  }
  return 0;
}

// Groups the clips into drives and writes each drive's points, in time order,
// in the format: one text per drive that has any point.
std::vector<DriveText> ExportDrives(std::vector<ExportClip>& clips, bool batch,
                                    GpsExportFormat format) {
  const GpsExportStyle style = ExportStyleFromSettings();
  if (!batch) {
    // One file as it always was: its own points under its own name.
    return {{ExportGps(clips[0].table, format, BaseName(clips[0].path), style), 1,
             GpsDateTimeText(clips[0].table, 0)}};
  }
  std::vector<DriveClip> timed;
  for (const ExportClip& c : clips) timed.push_back({c.path, c.span});
  const std::vector<std::size_t> order = OrderForDrives(timed);
  std::vector<DriveClip> ordered;
  for (std::size_t i : order) ordered.push_back(timed[i]);
  const std::vector<int> drive = GroupIntoDrives(ordered);

  std::vector<DriveText> texts;
  for (std::size_t from = 0; from < order.size();) {
    std::size_t to = from;
    std::vector<const GpsRecordTable*> tables;
    for (; to < order.size() && drive[to] == drive[from]; ++to)
      if (clips[order[to]].table.nCount > 0) tables.push_back(&clips[order[to]].table);
    GpsRecordTable merged;
    if (MergeDriveRecords(tables, merged)) {
      std::string name = BaseName(clips[order[from]].path);
      if (to - from > 1) name += " to " + BaseName(clips[order[to - 1]].path);
      texts.push_back(
          {ExportGps(merged, format, name, style), to - from, GpsDateTimeText(merged, 0)});
    }
    from = to;
  }
  return texts;
}

int RunExport(int argc, char** argv, std::FILE* out, std::FILE* err) {
  std::string formatName, outPath;
  std::vector<std::string> inputs;
  bool haveOut = false;
  for (int i = 2; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "-o" || arg == "--output") {
      if (i + 1 >= argc || haveOut) {
        Fail(err, Tr("-o needs one output file"));
        return kExitUsage;
      }
      outPath = argv[++i];
      haveOut = true;
    } else if (formatName.empty()) {
      formatName = arg;
    } else {
      inputs.emplace_back(arg);
    }
  }
  GpsExportFormat format{};
  if (inputs.empty()) {
    PrintUsage(err);
    return kExitUsage;
  }
  if (!ParseGpsExportFormat(formatName, format)) {
    Fail(err, Format("unknown export format '%s' (use csv, gpx or geojson)", formatName));
    return kExitUsage;
  }

  std::vector<ExportClip> clips;
  bool batch = inputs.size() > 1;
  for (const std::string& input : inputs) {
    struct stat st {};
    if (::stat(input.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
      batch = true;
      if (const int code = LoadFolder(input, clips, err)) return code;
      continue;
    }
    ExportClip clip;
    if (const int code = LoadNamedInput(input, clip, err)) return code;
    clips.push_back(std::move(clip));
  }
  // A file named twice, or named and found in a folder named too, counts once.
  std::set<std::pair<dev_t, ino_t>> seen;
  std::erase_if(clips, [&](const ExportClip& c) {
    struct stat st {};
    return ::stat(c.path.c_str(), &st) == 0 && !seen.insert({st.st_dev, st.st_ino}).second;
  });

  const std::vector<DriveText> drives = ExportDrives(clips, batch, format);
  if (drives.empty()) {  // every input was checked for records: not expected
    Fail(err, Tr(DescribeGpsLogStatus(GpsLogStatus::Empty)));
    return kExitFailure;
  }
  if (drives.size() > 1 && !haveOut) {
    Fail(err, Format("the input holds %s drives: give -o OUT to write one file for each "
                     "(OUT-1, OUT-2, ...)",
                     std::to_string(drives.size())));
    return kExitUsage;
  }
  if (!haveOut) {
    const std::string& text = drives[0].text;
    if (std::fwrite(text.data(), 1, text.size(), out) != text.size() || std::fflush(out) != 0) {
      Fail(err, Format("cannot write to standard output: %s", std::strerror(errno)));
      return kExitFailure;
    }
    return 0;
  }
  if (drives.size() == 1) return WriteExport(outPath, drives[0].text, clips, err);
  for (std::size_t k = 0; k < drives.size(); ++k) {
    const std::string path = NumberedPath(outPath, static_cast<int>(k + 1));
    if (const int code = WriteExport(path, drives[k].text, clips, err)) return code;
    std::fprintf(out, "%s: %zu %s, %s\n", path.c_str(), drives[k].clips,
                 drives[k].clips == 1 ? "clip" : "clips", drives[k].start.c_str());
  }
  return 0;
}

}  // namespace

bool RunCommandLine(int argc, char** argv, int& exitCode, std::FILE* out, std::FILE* err) {
  if (argc < 2) return false;
  if (std::string_view(argv[1]) == "--export") {
    exitCode = RunExport(argc, argv, out, err);
    return true;
  }
  // Everything else is movies for the window, except options: those are
  // handled here, wherever they stand, so that a mistyped option is never
  // taken for a movie that cannot be opened.
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--") break;  // the rest are movies, whatever their names
    if (arg.empty() || arg[0] != '-') continue;
    if (arg == "--version") {
      std::fprintf(out, "vantor %s\n", VANTOR_VERSION);
      exitCode = 0;
    } else if (arg == "--help" || arg == "-h") {
      PrintUsage(out);
      exitCode = 0;
    } else {
      Fail(err, Format("unknown option '%s' (see vantor --help)", std::string(arg)));
      exitCode = kExitUsage;
    }
    return true;
  }
  return false;
}

bool RunCommandLine(int argc, char** argv, int& exitCode) {
  return RunCommandLine(argc, argv, exitCode, stdout, stderr);
}

namespace {

// `path` made absolute against `cwd`. ".." is kept: resolving it by text
// would be wrong across symbolic links. A final "/" stays, so that a folder
// given as "dir/" is still refused by the playlist.
std::string AbsolutePath(std::string_view path, const std::string& cwd) {
  std::string joined = path.starts_with('/') ? std::string(path) : cwd + "/" + std::string(path);
  std::string out;
  std::size_t i = 0;
  while (i < joined.size()) {
    const std::size_t end = std::min(joined.find('/', i), joined.size());
    const std::string_view part(joined.data() + i, end - i);
    if (!part.empty() && part != ".") {
      out += '/';
      out += part;
    }
    i = end + 1;
  }
  if (out.empty()) out = "/";
  if (joined.ends_with('/') && !out.ends_with('/')) out += '/';
  return out;
}

}  // namespace

std::vector<std::string> MoviePathsFromArguments(int argc, char** argv, const std::string& cwd) {
  std::vector<std::string> paths;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i] ? argv[i] : "";
    if (arg.empty()) continue;
    if (!optionsEnded && arg.starts_with('-')) {
      if (arg == "--") optionsEnded = true;
      continue;
    }
    paths.push_back(AbsolutePath(arg, cwd));
  }
  return paths;
}

}  // namespace vantor
