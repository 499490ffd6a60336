#pragma once
// The camera's GPS log: where it lives beside a movie, and how its text is
// read into a table of GpsRecords. Nothing here needs a window.
#include <cstddef>
#include <memory>
#include <string>

#include "common/Result.h"
#include "gps/GpsRecord.h"

namespace vantor {

// Logs of this size or more are refused: a camera writes a few kilobytes per
// minute, so such a file is not a log, and reading it would only eat memory.
inline constexpr std::size_t kMaxGpsLogBytes = std::size_t{1} << 30;

// Spare records after the parsed ones. Readers index past the last record
// (the graph's column averages, the display at the very end of a movie) and
// rely on these reading as zeros.
inline constexpr std::size_t kGpsSpareRecords = 1024;

// The parsed log of one movie. The main window keeps one of these and shows
// pRecords / nCount / bAngle1Minus / bAngle2Minus as its m_pGpsRecords,
// m_nGpsCount, m_bAngle1Minus, m_bAngle2Minus.
struct GpsRecordTable {
  std::unique_ptr<GpsRecord[]> pRecords;  // null when no log is loaded
  int nCount = 0;                         // parsed records
  std::size_t nCapacity = 0;              // nCount + kGpsSpareRecords, all zeroed past nCount
  int nFirstTimeOfDay = 0;  // record 0's time of day in seconds (nTime is relative to it)
  // Sign flags of the last parsed record's tilt readings. A failed parse
  // leaves them as they were.
  BOOL bAngle1Minus = FALSE;
  BOOL bAngle2Minus = FALSE;

  GpsRecord* Records() const { return pRecords.get(); }
  void Clear() {
    pRecords.reset();
    nCount = 0;
    nCapacity = 0;
    nFirstTimeOfDay = 0;
  }
};

enum class GpsLogStatus {
  Ok,
  NotFound,    // no such file
  Unreadable,  // exists but cannot be opened or read
  NotAFile,    // a directory, device or pipe
  TooLarge,    // kMaxGpsLogBytes or more
  Empty,       // no record in it (empty, blank lines only, or text ends at once)
  OutOfMemory,
};

// A short English description ("no such file", ...), for messages.
const char* DescribeGpsLogStatus(GpsLogStatus status);

// The log path as the camera lays out its card, by string operations only:
// /card/DCIM/100MEDIA/AMBA0001.MOV -> /card/GPS/GPS0001.txt. "AMBA" becomes
// "GPS", the extension becomes "txt", the folder is "GPS" two levels up.
std::string DeriveGpsLogPath(const std::string& moviePath);

// DeriveGpsLogPath on the movie's absolute path; when that file does not
// exist, the folder "GPS" and the file name are looked up ignoring case (a
// card copied from FAT keeps the camera's names in whatever case it wrote
// them). Returns the derived path when nothing matches.
std::string GetGpsLogPath(const std::string& moviePath);

// Replaces the table with the log at `path`. On any failure the table is
// left empty (null records, count 0) and the sign flags keep their values.
GpsLogStatus ParseGpsLog(const std::string& path, GpsRecordTable& table);

// The same on text already in memory (`size` bytes, need not end in a zero).
GpsLogStatus ParseGpsText(const char* text, std::size_t size, GpsRecordTable& table);

// The text right after the k-th comma (k >= 1) searched from `line` onwards
// through the rest of the zero-terminated text, or "" when there are fewer
// commas: a short line takes its later fields from the next line.
const char* GetLogField(const char* line, int k);

// "yyyy/mm/dd" at the start of the text -> year * 512 + month * 32 + day;
// parts that do not read stay 0.
int ParseLogDate(const char* text);
// Whether year/month/day name a day of the calendar (years 1..9999). A
// record's nDate is 0 when its line's date is none.
bool IsCalendarDate(int year, int month, int day);
// "hh:mm:ss" (the text after the date's "-") -> seconds of the day; parts
// that do not read stay 0.
int ParseLogTime(const char* text);

// One raw tilt reading (unsigned 16-bit sensor value) -> whole degrees 0..60
// and its sign flag: small values count up through the positive table and
// set the flag, values just below 65536 count through the negative table and
// clear it, everything else saturates at 60.
double ConvertAngle(double raw, BOOL& bMinus);

// C-locale number reading with the run-time library's rules (leading white
// space, including line feeds, is skipped; no number reads as 0).
double LogAtof(const char* text);
int LogAtoi(const char* text);

}  // namespace vantor
