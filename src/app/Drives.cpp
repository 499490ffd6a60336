#include "app/Drives.h"

#include <algorithm>
#include <filesystem>
#include <new>
#include <numeric>
#include <system_error>
#include <tuple>
#include <unordered_map>

#include "common/Ascii.h"
#include "gps/GpsExport.h"
#include "gps/GpsSources.h"
#include "gps/MovieGps.h"

namespace vantor {
namespace {

namespace fs = std::filesystem;

bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}
bool IsNameSeparator(char c) {
  return c == '_' || c == '-' || c == ' ';
}

int Number(std::string_view digits, std::size_t at, std::size_t n) {
  int v = 0;
  for (std::size_t k = 0; k < n; ++k) v = v * 10 + (digits[at + k] - '0');
  return v;
}

// A date and time read from the start of `d` (digits only): four-digit year
// when `fullYear`, else two digits after 2000. Years outside the cameras' era
// are taken for counters, not dates.
std::int64_t DateTimeFromDigits(std::string_view d, bool fullYear) {
  const std::size_t y = fullYear ? 4 : 2;
  if (d.size() < y + 10) return kNoTime;
  const int year = fullYear ? Number(d, 0, 4) : 2000 + Number(d, 0, 2);
  if (year < 1990 || year > 2099) return kNoTime;
  const int month = Number(d, y, 2), day = Number(d, y + 2, 2);
  const int hour = Number(d, y + 4, 2), minute = Number(d, y + 6, 2), second = Number(d, y + 8, 2);
  if (!IsCalendarDate(year, month, day) || hour > 23 || minute > 59 || second > 59) return kNoTime;
  return MakeTimeMs(year, month, day, hour, minute, second);
}

std::string_view FolderOf(std::string_view path) {
  const std::size_t k = path.rfind('/');
  return k == std::string_view::npos ? std::string_view() : path.substr(0, k);
}

}  // namespace

std::int64_t TimeFromFileName(std::string_view fileName) {
  if (const std::size_t k = fileName.rfind('/'); k != std::string_view::npos)
    fileName.remove_prefix(k + 1);
  for (std::size_t i = 0; i < fileName.size(); ++i) {
    if (!IsDigit(fileName[i]) || (i > 0 && IsDigit(fileName[i - 1]))) continue;
    // The digits from here on, across the separators cameras put between the
    // date, the time and a counter.
    std::string digits;
    for (std::size_t j = i; j < fileName.size(); ++j) {
      if (IsDigit(fileName[j]))
        digits += fileName[j];
      else if (!(IsNameSeparator(fileName[j]) && j + 1 < fileName.size() &&
                 IsDigit(fileName[j + 1])))
        break;
    }
    for (bool fullYear : {true, false})
      if (const std::int64_t t = DateTimeFromDigits(digits, fullYear); t != kNoTime) return t;
  }
  return kNoTime;
}

std::int64_t RecordTimeMs(const GpsRecordTable& table, int i) {
  const GpsDate d = UnpackGpsDate(table.pRecords[i].nDate);
  if (!IsCalendarDate(d.year, d.month, d.day)) return kNoTime;
  return (DaysFromCivil(d.year, d.month, d.day) * 86400 + GpsTimeOfDay(table, i)) * 1000;
}

ClipSpan SpanOfRecords(const GpsRecordTable& table) {
  ClipSpan span;
  for (int i = 0; table.pRecords && i < table.nCount; ++i) {
    const std::int64_t t = RecordTimeMs(table, i);
    if (t == kNoTime) continue;
    if (span.source == ClipTimeSource::None) {
      span = {t, t, ClipTimeSource::Gps};
    } else {
      span.nStartMs = std::min(span.nStartMs, t);
      span.nEndMs = std::max(span.nEndMs, t);
    }
  }
  return span;
}

ClipSpan ClipSpanOf(const std::string& moviePath, const GpsRecordTable* table) {
  if (table) {
    if (const ClipSpan span = SpanOfRecords(*table); span.source != ClipTimeSource::None)
      return span;
  }
  const MovieGpsInfo info = ReadMovieTimes(moviePath);
  const std::int64_t length = std::max<std::int64_t>(info.nDurationMs, 0);
  if (info.nCreationMs != kNoTime)
    return {info.nCreationMs, info.nCreationMs + length, ClipTimeSource::Movie};
  if (const std::int64_t t = TimeFromFileName(moviePath); t != kNoTime)
    return {t, t + length, ClipTimeSource::FileName};
  return {};
}

ClipSpan ClipSpanOfMovie(const std::string& moviePath) {
  GpsRecordTable table;
  GpsLoad load;
  LoadGpsForMovie(moviePath, table, load);
  return ClipSpanOf(moviePath, &table);
}

ClipSpan QuickClipSpan(const std::string& moviePath) {
  if (!IsMoviePath(moviePath)) return {};
  // A movie that is not there has no log or header to read: only its name
  // (looking for them would cost a dropped list of thousands most of a second).
  std::error_code ec;
  if (!fs::exists(moviePath, ec)) {
    const std::int64_t t = TimeFromFileName(moviePath);
    return t == kNoTime ? ClipSpan{} : ClipSpan{t, t, ClipTimeSource::FileName};
  }
  GpsRecordTable table;
  const std::string log = GetGpsLogPath(moviePath);
  if (ParseGpsLog(log, table) != GpsLogStatus::Ok) table.Clear();
  return ClipSpanOf(moviePath, &table);
}

bool ContinuesDrive(std::string_view prevPath, const ClipSpan& a, std::string_view nextPath,
                    const ClipSpan& b) {
  if (a.source == ClipTimeSource::None || b.source == ClipTimeSource::None) return false;
  if (FolderOf(prevPath) != FolderOf(nextPath)) return false;
  return b.nStartMs >= a.nStartMs && b.nStartMs - a.nEndMs <= kDriveJoinGapMs;
}

bool ContinuesDrive(const DriveClip& prev, const DriveClip& next) {
  return ContinuesDrive(prev.path, prev.span, next.path, next.span);
}

std::vector<int> GroupIntoDrives(std::span<const DriveClip> clips) {
  std::vector<int> drives(clips.size(), 0);
  for (std::size_t i = 1; i < clips.size(); ++i)
    drives[i] = drives[i - 1] + (ContinuesDrive(clips[i - 1], clips[i]) ? 0 : 1);
  return drives;
}

std::vector<std::size_t> OrderForDrives(std::span<const DriveClip> clips) {
  std::unordered_map<std::string_view, std::size_t> folderRank;
  std::vector<std::size_t> timed;
  for (std::size_t i = 0; i < clips.size(); ++i) {
    if (clips[i].span.source == ClipTimeSource::None) continue;
    folderRank.emplace(FolderOf(clips[i].path), folderRank.size());
    timed.push_back(i);
  }
  auto key = [&](std::size_t i) {
    return std::pair(folderRank.at(FolderOf(clips[i].path)), clips[i].span.nStartMs);
  };
  std::vector<std::size_t> sorted = timed;
  std::stable_sort(sorted.begin(), sorted.end(),
                   [&](std::size_t a, std::size_t b) { return key(a) < key(b); });
  // The timed clips take the timed clips' places, in their new order.
  std::vector<std::size_t> order(clips.size());
  std::iota(order.begin(), order.end(), 0);
  for (std::size_t k = 0; k < timed.size(); ++k) order[timed[k]] = sorted[k];
  return order;
}

bool IsMoviePath(std::string_view path) {
  return EndsWithNoCase(path, ".mov") || EndsWithNoCase(path, ".mp4");
}

bool MoviesUnderFolder(const std::string& folder, std::vector<std::string>& movies,
                       std::string& error) {
  movies.clear();
  std::error_code ec;
  if (!fs::is_directory(folder, ec)) {
    error = ec ? ec.message() : "not a folder";
    return false;
  }
  fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec);
  for (; !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    std::error_code fileEc;
    if (it->is_regular_file(fileEc) && IsMoviePath(it->path().native()))
      movies.push_back(it->path().string());
  }
  if (ec) {
    error = ec.message();
    movies.clear();
    return false;
  }
  std::sort(movies.begin(), movies.end());
  return true;
}

bool MergeDriveRecords(std::span<const GpsRecordTable* const> tables, GpsRecordTable& out) {
  struct Entry {
    const GpsRecordTable* table;
    int index;
    std::int64_t key;
  };
  std::vector<Entry> entries;
  std::int64_t carry = kNoTime;  // the time of the last dated record seen
  for (const GpsRecordTable* t : tables) {
    if (!t || !t->pRecords) continue;
    // Undated records at a table's start belong to its first dated moment.
    const ClipSpan span = SpanOfRecords(*t);
    bool seenDated = false;
    for (int i = 0; i < t->nCount; ++i) {
      std::int64_t key = RecordTimeMs(*t, i);
      if (key != kNoTime) {
        carry = key;
        seenDated = true;
      } else {
        key = !seenDated && span.source != ClipTimeSource::None ? span.nStartMs : carry;
      }
      entries.push_back({t, i, key});
    }
  }
  if (entries.empty()) return false;
  std::stable_sort(entries.begin(), entries.end(),
                   [](const Entry& a, const Entry& b) { return a.key < b.key; });

  const std::size_t n = entries.size();
  GpsRecordTable merged;
  merged.pRecords.reset(new (std::nothrow) GpsRecord[n + kGpsSpareRecords]());
  if (!merged.pRecords) return false;
  merged.nCount = static_cast<int>(n);
  merged.nCapacity = n + kGpsSpareRecords;
  // Records of no time at all (sorted first) count from the first timed one.
  std::int64_t base = kNoTime;
  for (const Entry& e : entries)
    if ((base = e.key) != kNoTime) break;
  if (base != kNoTime) {
    const std::int64_t secs = base / 1000;
    merged.nFirstTimeOfDay = static_cast<int>(((secs % 86400) + 86400) % 86400);
  }
  for (std::size_t k = 0; k < n; ++k) {
    const Entry& e = entries[k];
    GpsRecord r = e.table->pRecords[e.index];
    r.nTime =
        base == kNoTime || e.key == kNoTime ? 0 : static_cast<std::int32_t>((e.key - base) / 1000);
    merged.pRecords[k] = r;
  }
  merged.bAngle1Minus = tables.back() ? tables.back()->bAngle1Minus : FALSE;
  merged.bAngle2Minus = tables.back() ? tables.back()->bAngle2Minus : FALSE;
  out = std::move(merged);
  return true;
}

}  // namespace vantor
