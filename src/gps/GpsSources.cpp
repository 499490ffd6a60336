#include "gps/GpsSources.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "common/Ascii.h"
#include "gps/GpsExport.h"
#include "gps/GpxReader.h"
#include "gps/MovieGps.h"
#include "gps/NmeaReader.h"

namespace vantor {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> kNmeaExtensions = {".gps", ".nmea", ".log", ".txt"};
const std::vector<std::string> kGpxExtensions = {".gpx"};

// The whole file, when it is a regular file below the log size limit.
bool ReadText(const std::string& path, std::string& text) {
  FileSource src(path);
  if (!src.IsOpen() || src.Size() >= kMaxGpsLogBytes) return false;
  try {
    text.resize(static_cast<std::size_t>(src.Size()));
  } catch (const std::bad_alloc&) {
    return false;
  }
  return text.empty() || src.Read(0, text.data(), text.size());
}

bool LooksLikeGpx(const std::string& text) {
  const std::string_view head(text.data(), std::min<std::size_t>(text.size(), 4096));
  return head.find("<gpx") != head.npos || head.find(":gpx") != head.npos;
}

// A phone's track without speeds: the speed between neighbouring points.
void DeriveSpeeds(GpsTrack& track) {
  for (const GpsPoint& p : track.points)
    if (p.dSpeedKmh > 0.0) return;
  for (std::size_t i = 1; i < track.points.size(); ++i) {
    GpsPoint& b = track.points[i];
    const GpsPoint& a = track.points[i - 1];
    if (!a.bFix || !b.bFix || a.nTimeMs == kNoTime || b.nTimeMs == kNoTime ||
        b.nTimeMs <= a.nTimeMs)
      continue;
    b.dSpeedKmh = DistanceMetres(a.dLatitude, a.dLongitude, b.dLatitude, b.dLongitude) /
                  ((b.nTimeMs - a.nTimeMs) / 1000.0) * 3.6;
  }
}

// A GPX track covers the whole outing; the movie is a part of it when its
// creation time is known.
void PlaceGpx(GpsTrack& track, const MovieGpsInfo& movie) {
  if (movie.nCreationMs != kNoTime) {
    const std::int64_t from = movie.nCreationMs;
    const std::int64_t to = movie.nDurationMs > 0 ? from + movie.nDurationMs : INT64_MAX;
    std::vector<GpsPoint> inside;
    for (const GpsPoint& p : track.points)
      if (p.nTimeMs != kNoTime && p.nTimeMs >= from && p.nTimeMs <= to) inside.push_back(p);
    if (!inside.empty()) {
      track.points.swap(inside);
      PlaceTrackInMovie(track, from);
      return;
    }
  }
  PlaceTrackInMovie(track);
}

bool ReadNmeaFile(const std::string& path, const std::string& moviePath, GpsTrack& track) {
  std::string text;
  if (!ReadText(path, text)) return false;
  const std::int64_t start = moviePath.empty() ? kNoTime : ReadMovieTimes(moviePath).nStartMs;
  ReadNmea(text.data(), text.size(), track, start);
  PlaceTrackInMovie(track);
  return !track.points.empty();
}

bool ReadGpxFile(const std::string& path, const std::string& moviePath, GpsTrack& track) {
  std::string text;
  if (!ReadText(path, text)) return false;
  ReadGpx(text.data(), text.size(), track);
  DeriveSpeeds(track);
  PlaceGpx(track, moviePath.empty() ? MovieGpsInfo{} : ReadMovieTimes(moviePath));
  return !track.points.empty();
}

GpsSourceKind Finish(GpsSourceKind kind, const std::string& path, GpsTrack& track,
                     GpsRecordTable& table, GpsLoad& load) {
  load = GpsLoad{};
  if (!FillRecordTable(track, table, load.offsetsMs)) return GpsSourceKind::None;
  load.kind = kind;
  load.path = path;
  return kind;
}

}  // namespace

const char* DescribeGpsSource(GpsSourceKind kind) {
  switch (kind) {
    case GpsSourceKind::None:
      return "no GPS";
    case GpsSourceKind::CameraLog:
      return "camera GPS log";
    case GpsSourceKind::Nmea:
      return "NMEA log";
    case GpsSourceKind::Movie:
      return "GPS stored in the movie";
    case GpsSourceKind::Gpx:
      return "GPX track";
  }
  return "no GPS";
}

std::string FindSidecar(const std::string& moviePath, const std::vector<std::string>& extensions) {
  const fs::path movie(moviePath);
  const std::string stem = movie.stem().string();
  fs::path dir = movie.parent_path();
  if (dir.empty()) dir = ".";
  // Exact names first: no folder listing in the common case.
  std::error_code ec;
  for (const std::string& ext : extensions) {
    for (const std::string& e : {ext, [&] {
                                   std::string u = ext;
                                   for (char& c : u)
                                     if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
                                   return u;
                                 }()}) {
      const fs::path candidate = dir / (stem + e);
      if (fs::is_regular_file(candidate, ec)) return candidate.string();
    }
  }
  // Then any case of the extension (a card copied from FAT keeps odd cases).
  fs::directory_iterator it(dir, ec), end;
  std::string found;
  std::size_t bestRank = extensions.size();
  for (std::size_t n = 0; !ec && it != end && n < 100000; it.increment(ec), ++n) {
    const fs::path& p = it->path();
    if (p.stem().string() != stem) continue;
    const std::string ext = p.extension().string();
    const auto pos = std::find_if(extensions.begin(), extensions.end(),
                                  [&](const std::string& e) { return EqualsNoCase(ext, e); });
    if (pos == extensions.end() || !fs::is_regular_file(p, ec)) continue;
    const std::size_t rank = static_cast<std::size_t>(pos - extensions.begin());
    if (rank < bestRank || (rank == bestRank && p.string() < found)) {
      bestRank = rank;
      found = p.string();
    }
  }
  return found;
}

GpsSourceKind LoadGpsForMovie(const std::string& moviePath, GpsRecordTable& table, GpsLoad& load) {
  load = GpsLoad{};
  const std::string logPath = GetGpsLogPath(moviePath);
  if (ParseGpsLog(logPath, table) == GpsLogStatus::Ok && table.nCount > 0) {
    load.kind = GpsSourceKind::CameraLog;
    load.path = logPath;
    load.bHasTilt = true;
    return load.kind;
  }
  table.Clear();

  GpsTrack track;
  if (const std::string nmea = FindSidecar(moviePath, kNmeaExtensions);
      !nmea.empty() && ReadNmeaFile(nmea, moviePath, track))
    return Finish(GpsSourceKind::Nmea, nmea, track, table, load);
  track.points.clear();

  MovieGpsInfo info;
  if (ReadMovieGpsFile(moviePath, track, info) == MovieGpsStatus::Ok)
    return Finish(GpsSourceKind::Movie, moviePath, track, table, load);
  track.points.clear();

  if (const std::string gpx = FindSidecar(moviePath, kGpxExtensions);
      !gpx.empty() && ReadGpxFile(gpx, moviePath, track))
    return Finish(GpsSourceKind::Gpx, gpx, track, table, load);
  return GpsSourceKind::None;
}

GpsSourceKind LoadGpsForMovies(std::span<const std::string> moviePaths, GpsRecordTable& table,
                               GpsLoad& load) {
  load = GpsLoad{};
  table.Clear();
  for (const std::string& movie : moviePaths)
    if (LoadGpsForMovie(movie, table, load) != GpsSourceKind::None) return load.kind;
  return GpsSourceKind::None;
}

bool ReadGpsTrackFile(const std::string& path, const std::string& moviePath, GpsTrack& track,
                      GpsSourceKind& kind) {
  track.points.clear();
  track.source = path;
  kind = GpsSourceKind::None;
  MovieGpsInfo info;
  {
    FileSource src(path);
    if (!src.IsOpen()) return false;
    const MovieGpsStatus status = ReadMovieGps(src, track, info);
    if (status == MovieGpsStatus::Ok) {
      kind = GpsSourceKind::Movie;
      return true;
    }
    if (status != MovieGpsStatus::NotAMovie) return false;
  }
  track.points.clear();
  std::string text;
  if (!ReadText(path, text)) return false;
  if (LooksLikeGpx(text)) {
    kind = GpsSourceKind::Gpx;
    return ReadGpxFile(path, moviePath, track);
  }
  if (LooksLikeNmea(text.data(), text.size(), 1u << 16)) {
    kind = GpsSourceKind::Nmea;
    return ReadNmeaFile(path, moviePath, track);
  }
  return false;
}

GpsSourceKind LoadGpsFile(const std::string& path, const std::string& moviePath,
                          GpsRecordTable& table, GpsLoad& load) {
  load = GpsLoad{};
  table.Clear();
  GpsTrack track;
  GpsSourceKind kind = GpsSourceKind::None;
  if (ReadGpsTrackFile(path, moviePath, track, kind)) return Finish(kind, path, track, table, load);
  if (kind != GpsSourceKind::None) return GpsSourceKind::None;
  // Anything else is taken as the camera's own log format, when it starts as
  // one: that parser reads any text, and a file picked by hand may be anything.
  if (ParseGpsLog(path, table) == GpsLogStatus::Ok && table.nCount > 0 && HasDatedRecord(table)) {
    load.kind = GpsSourceKind::CameraLog;
    load.path = path;
    load.bHasTilt = true;
    return load.kind;
  }
  table.Clear();
  return GpsSourceKind::None;
}

}  // namespace vantor
