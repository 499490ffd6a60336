#include "app/CommandLine.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <string_view>

#include "common/Ascii.h"
#include "common/Messages.h"
#include "common/SafeWrite.h"
#include "gps/GpsExport.h"
#include "gps/GpsLog.h"
#include "gps/GpsSources.h"

namespace vantor {
namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

void PrintUsage(std::FILE* f) {
  std::fputs(
      "Usage: vantor [MOVIE...]\n"
      "       vantor --export FORMAT INPUT [-o OUT]\n"
      "       vantor --version | --help\n"
      "\n"
      "MOVIE arguments are added to the playlist; a movie whose name starts\n"
      "with '-' is given as ./-name, or after --.\n"
      "\n"
      "--export writes the GPS of INPUT as FORMAT: csv, gpx or geojson; to OUT, or\n"
      "to standard output without -o. INPUT is a movie (its GPS is looked up as the\n"
      "window does: the camera's log, an NMEA sidecar, GPS in the movie, a GPX\n"
      "track) or a GPS file (camera log, NMEA, GPX). It needs no display.\n",
      f);
}

bool IsMovieName(std::string_view path) {
  return EndsWithNoCase(path, ".mov") || EndsWithNoCase(path, ".mp4");
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

int RunExport(int argc, char** argv, std::FILE* out, std::FILE* err) {
  std::string formatName, input, outPath;
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
    } else if (input.empty()) {
      input = arg;
    } else {
      Fail(err, Format("unexpected argument '%s'", std::string(arg)));
      return kExitUsage;
    }
  }
  GpsExportFormat format{};
  if (input.empty()) {
    PrintUsage(err);
    return kExitUsage;
  }
  if (!ParseGpsExportFormat(formatName, format)) {
    Fail(err, Format("unknown export format '%s' (use csv, gpx or geojson)", formatName));
    return kExitUsage;
  }

  std::string logPath = input;
  GpsRecordTable table;
  GpsLoad load;
  if (IsMovieName(input)) {
    struct stat st {};
    if (::stat(input.c_str(), &st) != 0) {
      Fail(err, Format("%s: %s", input, std::strerror(errno)));
      return kExitFailure;
    }
    // Every source of the movie in the window's order.
    if (LoadGpsForMovie(input, table, load) == GpsSourceKind::None) {
      Fail(err, Format("%s: no GPS found (no camera log %s, no NMEA sidecar, GPS in the movie "
                       "or GPX track)",
                       input, GetGpsLogPath(input)));
      return kExitFailure;
    }
    logPath = load.path;
    // A camera log none of whose lines starts with a date is no log: exporting
    // it would only make a track of zeros.
    if (load.kind == GpsSourceKind::CameraLog && !HasDatedRecord(table)) {
      Fail(err, Format("GPS log of %s: %s", input,
                       logPath + ": " + Tr(DescribeGpsLogStatus(GpsLogStatus::Empty))));
      return kExitFailure;
    }
  } else if (LoadGpsFile(input, {}, table, load) == GpsSourceKind::None) {
    // Not NMEA, GPX or a movie: report it as the camera's log format.
    GpsLogStatus status = ParseGpsLog(input, table);
    if (status == GpsLogStatus::Ok) status = GpsLogStatus::Empty;
    Fail(err, Format("%s: %s", input, Tr(DescribeGpsLogStatus(status))));
    return kExitFailure;
  }

  const std::string text = ExportGps(table, format, BaseName(input));
  if (!haveOut) {
    if (std::fwrite(text.data(), 1, text.size(), out) != text.size() || std::fflush(out) != 0) {
      Fail(err, Format("cannot write to standard output: %s", std::strerror(errno)));
      return kExitFailure;
    }
    return 0;
  }
  // OUT must never be one of the inputs: the movie named or the log read.
  for (const std::string* in : {&input, &logPath}) {
    if (IsSameFile(outPath, *in)) {
      Fail(err, Format("%s: refusing to overwrite the input %s", outPath, *in));
      return kExitFailure;
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
