#pragma once
// Drives: a dash camera cuts every drive into clips of a few minutes; the
// clips that follow each other without a pause belong together. This finds
// each clip's span of time and groups clips into drives. Nothing here needs a
// window.
//
//   std::vector<DriveClip> clips;
//   for (const std::string& p : paths) clips.push_back({p, ClipSpanOfMovie(p)});
//   std::vector<DriveClip> ordered;                // a folder added at once
//   for (std::size_t i : OrderForDrives(clips)) ordered.push_back(clips[i]);
//   std::vector<int> drive = GroupIntoDrives(ordered);  // 0, 0, 0, 1, 1, ...
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "gps/GpsLog.h"
#include "gps/GpsTrack.h"

namespace vantor {

// The longest pause between one clip's end and the next one's start that
// still counts as the same drive: a camera loses a second or two at a cut,
// a stop at the lights is not a new drive.
inline constexpr std::int64_t kDriveJoinGapMs = 10'000;

enum class ClipTimeSource { None, Gps, Movie, FileName };

// A clip's time on the camera's clock, in milliseconds since 1970 (no zone
// is applied: all clips of a card share the camera's clock).
struct ClipSpan {
  std::int64_t nStartMs = kNoTime;
  std::int64_t nEndMs = kNoTime;  // nStartMs when the length is not known
  ClipTimeSource source = ClipTimeSource::None;
};

struct DriveClip {
  std::string path;
  ClipSpan span;
};

// The date and time a camera wrote into a file name: "2021_0918_174205_001",
// "20210918-174205F", "NO20210918-174205-000123F", "FILE210918-174205F"
// (year of two digits: 20xx). The digits may be split by '_', '-' or ' '.
// kNoTime when the name holds none.
std::int64_t TimeFromFileName(std::string_view fileName);

// The time of record i of a table (date and time of day), kNoTime when its
// line has no calendar date.
std::int64_t RecordTimeMs(const GpsRecordTable& table, int i);

// The span of the table's dated records; source None when none is dated.
ClipSpan SpanOfRecords(const GpsRecordTable& table);

// The span of a movie whose GPS is `table` (may be null or empty): the GPS
// track's first and last point, else the movie's creation time and length,
// else the time in its file name (with the movie's length when known).
ClipSpan ClipSpanOf(const std::string& moviePath, const GpsRecordTable* table);

// The same, loading the movie's GPS the way the window does.
ClipSpan ClipSpanOfMovie(const std::string& moviePath);

// The span the playlist gives an entry: from the camera's log beside the
// movie, else as ClipSpanOf without GPS. GPS inside a movie or in other
// sidecars is not read: that can mean a scan of the whole file, and a card of
// hundreds of clips is added at once. None for a path that is no movie.
ClipSpan QuickClipSpan(const std::string& moviePath);

// Whether `next` carries on the drive that `prev` is part of: the same
// folder, and `next` starts after `prev` started and at most
// kDriveJoinGapMs after `prev` ended. A clip without a time joins nothing.
bool ContinuesDrive(std::string_view prevPath, const ClipSpan& prev, std::string_view nextPath,
                    const ClipSpan& next);
bool ContinuesDrive(const DriveClip& prev, const DriveClip& next);

// The drive of each clip, in the given order: 0 for the first clip's drive,
// counting up by one at every clip that does not carry on its predecessor's.
std::vector<int> GroupIntoDrives(std::span<const DriveClip> clips);

// The order for clips added at once (a folder, several files), as indices
// into `clips`: the clips with a time by folder, in the order the folders
// first appear, and within a folder by start time. A clip without a time
// keeps its place: it belongs to no drive, and nothing says where it goes.
std::vector<std::size_t> OrderForDrives(std::span<const DriveClip> clips);

// Whether the path names a movie the program plays (.mov or .mp4, any case).
bool IsMoviePath(std::string_view path);

// Every movie under `folder`, in its sub-folders too, sorted by path. Links
// to folders are not followed (a card has none, a loop would never end).
// False with `error` set when the folder cannot be read.
bool MoviesUnderFolder(const std::string& folder, std::vector<std::string>& movies,
                       std::string& error);

// One record table for a whole drive: every record of every table, in time
// order (a record without a date keeps its place after the one before it in
// its own table). Times are re-based on the first record. False when the
// tables hold no record or memory runs out.
bool MergeDriveRecords(std::span<const GpsRecordTable* const> tables, GpsRecordTable& out);

}  // namespace vantor
