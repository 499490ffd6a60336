#pragma once
// Where a movie's GPS is looked for, in order, the first source with points
// winning: the camera's own log (as the card lays it out), an NMEA sidecar
// beside the movie, GPS stored in the movie, a GPX track beside it.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "gps/GpsLog.h"
#include "gps/GpsTrack.h"

namespace vantor {

enum class GpsSourceKind { None, CameraLog, Nmea, Movie, Gpx };

// A short English name of the kind ("NMEA log", ...), for messages.
const char* DescribeGpsSource(GpsSourceKind kind);

// The record table of one movie and how to find the record for a position.
struct GpsLoad {
  GpsSourceKind kind = GpsSourceKind::None;
  std::string path;  // the file the points came from
  // Each record's place in the movie, for sources that carry their own
  // timing; empty for the camera log, whose records are spread over the movie.
  std::vector<std::int64_t> offsetsMs;
  bool bHasTilt = false;  // only the camera log has tilt readings
};

// The sidecar files that may sit beside a movie: same base name, extension
// .gps/.nmea/.log/.txt (NMEA) or .gpx, in any case. Empty when none.
std::string FindSidecar(const std::string& moviePath, const std::vector<std::string>& extensions);

// Fills `table` with the first source of the movie that yields points.
// Returns the kind found (None: the table is empty).
GpsSourceKind LoadGpsForMovie(const std::string& moviePath, GpsRecordTable& table, GpsLoad& load);
// The same for the files of one clip's cameras (front, rear...), each of
// which may be the one that carries the GPS: the first file that has any.
GpsSourceKind LoadGpsForMovies(std::span<const std::string> moviePaths, GpsRecordTable& table,
                               GpsLoad& load);

// A file given by hand, of any kind above, told apart by its content: a
// movie, GPX, NMEA or the camera's log. `moviePath` (may be empty) is the
// movie it belongs to, for placing the points in it.
GpsSourceKind LoadGpsFile(const std::string& path, const std::string& moviePath,
                          GpsRecordTable& table, GpsLoad& load);

// The track of a non-camera-log file (NMEA, GPX or movie) without filling a
// table; for tests and tools. False when it holds no point.
bool ReadGpsTrackFile(const std::string& path, const std::string& moviePath, GpsTrack& track,
                      GpsSourceKind& kind);

}  // namespace vantor
