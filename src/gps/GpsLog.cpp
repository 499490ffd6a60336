#include "gps/GpsLog.h"

#include <fcntl.h>
#include <locale.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <limits>
#include <new>
#include <system_error>
#include <vector>

#include "common/Ascii.h"
#include "common/UniqueFd.h"

namespace vantor {
namespace {

constexpr unsigned g_anAnglePositive[60] = {
    6,   12,  18,  24,  30,  33,  37,  40,  44,  48,  53,  58,  63,  68,  73,
    76,  79,  83,  86,  89,  92,  96,  99,  103, 107, 110, 114, 117, 121, 124,
    127, 131, 134, 138, 141, 144, 148, 151, 155, 158, 161, 165, 168, 172, 175,
    178, 182, 185, 189, 192, 195, 199, 202, 206, 209, 212, 216, 219, 223, 226};
constexpr unsigned g_anAngleNegative[60] = {
    2,   4,   6,   8,   10,  15,  21,  26,  32,  37,  41,  45,  50,  54,  58,
    62,  66,  71,  75,  79,  84,  88,  93,  97,  102, 105, 109, 112, 116, 119,
    122, 126, 129, 133, 136, 139, 143, 146, 150, 153, 156, 160, 163, 167, 170,
    173, 177, 180, 184, 187, 190, 194, 197, 201, 204, 207, 211, 214, 218, 221};

constexpr char kCtrlZ = 0x1A;

inline bool IsCSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
inline bool IsDigit(char c) {
  return c >= '0' && c <= '9';
}

const char* SkipSpace(const char* s) {
  while (IsCSpace(*s)) ++s;
  return s;
}

locale_t CLocale() {
  static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
  return loc;
}

// One "%Nd" of sscanf: white space skipped, then at most `width` characters
// of an optional sign and digits. False (and `out` untouched) without digits.
bool ScanInt(const char*& s, int width, int& out) {
  const char* p = SkipSpace(s);
  bool neg = false;
  if (width > 0 && (*p == '+' || *p == '-')) {
    neg = *p == '-';
    ++p;
    --width;
  }
  int value = 0;
  int digits = 0;
  while (width > 0 && IsDigit(*p)) {
    value = value * 10 + (*p - '0');
    ++p;
    --width;
    ++digits;
  }
  if (digits == 0) return false;
  out = neg ? -value : value;
  s = p;
  return true;
}

struct LogDate {
  int year = 0, month = 0, day = 0;
};

// "%4d/%02d/%02d": parts that do not read stay 0.
LogDate ReadLogDate(const char* text) {
  LogDate d;
  const char* s = text;
  if (ScanInt(s, 4, d.year) && *s == '/') {
    ++s;
    if (ScanInt(s, 2, d.month) && *s == '/') {
      ++s;
      ScanInt(s, 2, d.day);
    }
  }
  return d;
}

// A line's field and time searches run on through the rest of the text (a
// short line takes its later fields from the next one). They are kept
// incremental here, so that any input is read in linear time.
class LogScanner {
 public:
  LogScanner(const char* text, const char* end) : m_end(end), m_scan(text) {}

  // Field k (1..18) of the line starting at p: the text after the k-th comma
  // found from p + 1 on, or "" when there are fewer.
  void FindFields(const char* p) {
    while (m_count > 0 && m_commas[m_head] < p + 1) Pop();
    if (m_scan < p + 1) m_scan = p + 1;
    // Fields are a few characters long: a plain loop beats a library call
    // per comma.
    const char* q = m_scan;
    while (m_count < kFields && q < m_end) {
      if (*q == ',') Push(q);
      ++q;
    }
    m_scan = q;
  }

  // atof / atoi of field k, remembered per comma: many short lines may share
  // a comma far ahead, and the white space after it is skipped only once.
  double FieldAtof(int k) {
    if (k > m_count) return 0.0;
    Slot& s = m_slot[(m_head + k - 1) % kRing];
    if (!s.hasF) {
      s.f = LogAtof(m_commas[(m_head + k - 1) % kRing] + 1);
      s.hasF = true;
    }
    return s.f;
  }
  int FieldAtoi(int k) {
    if (k > m_count) return 0;
    Slot& s = m_slot[(m_head + k - 1) % kRing];
    if (!s.hasI) {
      s.i = LogAtoi(m_commas[(m_head + k - 1) % kRing] + 1);
      s.hasI = true;
    }
    return s.i;
  }

  // Seconds of day after the first "-" at or after p; 0 when there is none.
  int TimeAfterDash(const char* p) {
    if (m_dashSearched && (m_dash == nullptr || m_dash >= p)) return m_dashTime;
    const void* d = p < m_end ? std::memchr(p, '-', static_cast<std::size_t>(m_end - p)) : nullptr;
    m_dashSearched = true;
    m_dash = static_cast<const char*>(d);
    m_dashTime = m_dash ? ParseLogTime(m_dash + 1) : 0;
    return m_dashTime;
  }

  // The packed date at p, 0 when it is no calendar date (2021/13/45 would
  // otherwise pack into another, valid-looking one); a line of blanks skips
  // on to the first non-blank, which is remembered so that a long blank run
  // is crossed once.
  int Date(const char* p) {
    if (IsCSpace(*p)) {
      if (!(m_blankFrom && p >= m_blankFrom && p <= m_blankTo)) {
        m_blankFrom = p;
        m_blankTo = SkipSpace(p);
      }
      p = m_blankTo;
    }
    const LogDate d = ReadLogDate(p);
    return IsCalendarDate(d.year, d.month, d.day) ? d.year * 512 + d.month * 32 + d.day : 0;
  }

 private:
  static constexpr int kFields = 18;
  static constexpr int kRing = 32;
  struct Slot {
    double f = 0;
    int i = 0;
    bool hasF = false, hasI = false;
  };
  void Pop() {
    m_head = (m_head + 1) % kRing;
    --m_count;
  }
  void Push(const char* c) {
    const int at = (m_head + m_count) % kRing;
    m_commas[at] = c;
    m_slot[at] = Slot{};
    ++m_count;
  }

  const char* m_end;
  const char* m_scan;
  const char* m_commas[kRing] = {};
  Slot m_slot[kRing];
  int m_head = 0, m_count = 0;
  bool m_dashSearched = false;
  const char* m_dash = nullptr;
  int m_dashTime = 0;
  const char* m_blankFrom = nullptr;
  const char* m_blankTo = nullptr;
};

// The text as a text-mode read delivers it: a carriage return before a line
// feed is dropped, and the text ends at a Ctrl-Z (or a zero byte, which ends
// it for every string function that reads it). Returns the new length; the
// byte after it is set to zero.
std::size_t NormaliseText(char* buf, std::size_t n) {
  if (const void* z = std::memchr(buf, '\0', n))
    n = static_cast<std::size_t>(static_cast<const char*>(z) - buf);
  if (const void* z = std::memchr(buf, kCtrlZ, n))
    n = static_cast<std::size_t>(static_cast<const char*>(z) - buf);
  // Moves the text between carriage returns down in whole runs.
  char* const end = buf + n;
  char* cr = static_cast<char*>(std::memchr(buf, '\r', n));
  char* out = cr;
  while (cr) {
    const bool drop = cr + 1 < end && cr[1] == '\n';
    char* from = drop ? cr + 1 : cr;
    char* next =
        cr + 1 < end
            ? static_cast<char*>(std::memchr(cr + 1, '\r', static_cast<std::size_t>(end - cr - 1)))
            : nullptr;
    char* to = next ? next : end;
    if (out != from) std::memmove(out, from, static_cast<std::size_t>(to - from));
    out += to - from;
    cr = next;
  }
  if (out) n = static_cast<std::size_t>(out - buf);
  buf[n] = '\0';
  return n;
}

// Parses normalised, zero-terminated text of length n into the table.
GpsLogStatus ParseNormalised(const char* text, std::size_t n, GpsRecordTable& table) {
  table.Clear();
  if (n == 0) return GpsLogStatus::Empty;
  // One record per line that is not empty: a file of line feeds alone (or a
  // long run of them inside a log) costs nothing.
  std::size_t lines = text[0] != '\n' ? 1 : 0;
  for (std::size_t i = 1; i < n; ++i) lines += text[i] != '\n' && text[i - 1] == '\n';
  if (lines == 0) return GpsLogStatus::Empty;
  const std::size_t capacity = lines + kGpsSpareRecords;
  std::unique_ptr<GpsRecord[]> records(new (std::nothrow) GpsRecord[capacity]());
  if (!records) return GpsLogStatus::OutOfMemory;

  const char* end = text + n;
  LogScanner scan(text, end);
  std::size_t count = 0;
  BOOL angle1Minus = table.bAngle1Minus, angle2Minus = table.bAngle2Minus;
  const char* p = text;
  while (p < end) {
    const char* eol =
        static_cast<const char*>(std::memchr(p, '\n', static_cast<std::size_t>(end - p)));
    if (!eol) eol = end;
    // An empty line (and the empty text after a final line feed) is no
    // record: it used to become one of all zeros, a car at 0/0 standing still.
    if (eol != p) {
      GpsRecord& r = records[count++];
      r.nDate = scan.Date(p);
      r.nTime = scan.TimeAfterDash(p);
      scan.FindFields(p);
      r.dLongitude = scan.FieldAtof(1);
      r.dLatitude = scan.FieldAtof(2);
      r.nGraph1 = scan.FieldAtoi(3);
      r.nGraph2 = scan.FieldAtoi(4);
      r.nGraph3 = scan.FieldAtoi(5);
      r.dAngle2 = ConvertAngle(scan.FieldAtof(11), angle2Minus);
      r.dAngle1 = ConvertAngle(scan.FieldAtof(10), angle1Minus);
      r.nSpeed = scan.FieldAtoi(14);
      r.nOdometer = scan.FieldAtoi(18);
    }
    p = eol + 1;
  }
  if (count == 0) return GpsLogStatus::Empty;

  const std::int32_t t0 = records[0].nTime;
  for (std::size_t i = 0; i < count; ++i) records[i].nTime -= t0;

  table.pRecords = std::move(records);
  table.nCount = static_cast<int>(count);
  table.nCapacity = capacity;
  table.nFirstTimeOfDay = t0;
  table.bAngle1Minus = angle1Minus;
  table.bAngle2Minus = angle2Minus;
  return GpsLogStatus::Ok;
}

void ReplaceAll(std::string& s, const std::string& from, const std::string& to) {
  std::size_t pos = 0;
  while ((pos = s.find(from, pos)) != std::string::npos) {
    s.replace(pos, from.size(), to);
    pos += to.size();
  }
}

// The entries of `dir` whose names equal `name` ignoring ASCII case, sorted
// so that the choice among several is the same every time.
std::vector<std::filesystem::path> FindNoCase(const std::filesystem::path& dir,
                                              const std::string& name, bool wantDirectory) {
  namespace fs = std::filesystem;
  std::vector<fs::path> found;
  std::error_code ec;
  fs::directory_iterator it(dir.empty() ? fs::path(".") : dir, ec);
  for (; !ec && it != fs::directory_iterator(); it.increment(ec)) {
    if (!EqualsNoCase(it->path().filename().string(), name)) continue;
    std::error_code ec2;
    const bool isDir = it->is_directory(ec2);
    if (isDir == wantDirectory) found.push_back(it->path());
  }
  std::sort(found.begin(), found.end());
  return found;
}

}  // namespace

const char* DescribeGpsLogStatus(GpsLogStatus status) {
  switch (status) {
    case GpsLogStatus::Ok:
      return "ok";
    case GpsLogStatus::NotFound:
      return "no such file";
    case GpsLogStatus::Unreadable:
      return "cannot be read";
    case GpsLogStatus::NotAFile:
      return "not a regular file";
    case GpsLogStatus::TooLarge:
      return "too large for a GPS log (1 GB or more)";
    case GpsLogStatus::Empty:
      return "holds no GPS records";
    case GpsLogStatus::OutOfMemory:
      return "out of memory";
  }
  return "unknown error";
}

std::string DeriveGpsLogPath(const std::string& moviePath) {
  std::string dir = moviePath;
  std::string name;
  const std::size_t k = dir.rfind('/');
  if (k == std::string::npos) {
    name = dir;
    dir.clear();
  } else {
    name = dir.substr(k + 1);
    dir.resize(k);
  }
  for (int i = 0; i < 2; ++i) {
    const std::size_t cut = dir.rfind('/');
    if (cut != std::string::npos) dir.resize(cut);
  }
  ReplaceAll(name, "AMBA", "GPS");
  if (name.find("MOV") != std::string::npos)
    ReplaceAll(name, "MOV", "txt");
  else if (name.find("mp4") != std::string::npos)
    ReplaceAll(name, "mp4", "txt");
  else if (name.find("mov") != std::string::npos)
    ReplaceAll(name, "mov", "txt");
  else
    ReplaceAll(name, "MP4", "txt");
  return dir + "/GPS/" + name;
}

std::string GetGpsLogPath(const std::string& moviePath) {
  namespace fs = std::filesystem;
  std::string movie = moviePath;
  // A relative name would put the log under the root folder; the movie's
  // place on disk is what counts.
  if (!movie.empty() && movie[0] != '/') {
    std::error_code ec;
    const fs::path abs = fs::absolute(fs::path(movie), ec);
    if (!ec) movie = abs.string();
  }
  // "." and ".." in the movie's folder must not count as the two folders the
  // log lies above it ("../100MEDIA/AMBA0001.MOV" from a sibling folder): the
  // folder is taken as it is on disk, links resolved, and only the name kept.
  {
    std::error_code ec;
    const fs::path given(movie);
    const fs::path dir = fs::weakly_canonical(given.parent_path(), ec);
    movie = (ec ? given.lexically_normal() : dir / given.filename()).string();
  }
  std::string derived = DeriveGpsLogPath(movie);  // not const: returned by move
  std::error_code ec;
  if (fs::exists(fs::path(derived), ec)) return derived;

  const fs::path logPath(derived);
  const fs::path card = logPath.parent_path().parent_path();
  const std::string fileName = logPath.filename().string();
  for (const fs::path& gpsDir : FindNoCase(card, logPath.parent_path().filename().string(), true)) {
    const auto files = FindNoCase(gpsDir, fileName, false);
    if (!files.empty()) return files.front().string();
  }
  return derived;
}

GpsLogStatus ParseGpsLog(const std::string& path, GpsRecordTable& table) {
  table.Clear();
  // Non-blocking so that a named pipe given as the log cannot hang the open.
  const UniqueFd file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!file)
    return errno == ENOENT || errno == ENOTDIR ? GpsLogStatus::NotFound : GpsLogStatus::Unreadable;
  const int fd = file.Get();

  struct stat st {};
  if (::fstat(fd, &st) != 0) return GpsLogStatus::Unreadable;
  if (!S_ISREG(st.st_mode)) return GpsLogStatus::NotAFile;
  if (static_cast<std::uint64_t>(st.st_size) >= kMaxGpsLogBytes) return GpsLogStatus::TooLarge;
  const std::size_t size = static_cast<std::size_t>(st.st_size);

  // Not zero-filled: only the bytes after the text need to be zeros.
  std::unique_ptr<char[]> buf(new (std::nothrow) char[size + 4]);
  if (!buf) return GpsLogStatus::OutOfMemory;
  std::size_t got = 0;
  while (got < size) {
    const ssize_t r = ::read(fd, buf.get() + got, size - got);
    if (r < 0) {
      if (errno == EINTR) continue;
      return GpsLogStatus::Unreadable;
    }
    if (r == 0) break;  // the file shrank while we read it
    got += static_cast<std::size_t>(r);
  }
  std::memset(buf.get() + got, 0, size + 4 - got);
  const std::size_t n = NormaliseText(buf.get(), got);
  return ParseNormalised(buf.get(), n, table);
}

GpsLogStatus ParseGpsText(const char* text, std::size_t size, GpsRecordTable& table) {
  table.Clear();
  if (size >= kMaxGpsLogBytes) return GpsLogStatus::TooLarge;
  std::unique_ptr<char[]> buf(new (std::nothrow) char[size + 4]());
  if (!buf) return GpsLogStatus::OutOfMemory;
  if (size) std::memcpy(buf.get(), text, size);
  const std::size_t n = NormaliseText(buf.get(), size);
  return ParseNormalised(buf.get(), n, table);
}

const char* GetLogField(const char* line, int k) {
  const char* q = line;
  for (int i = 0; i < k; ++i) {
    q = std::strchr(q + 1, ',');
    if (!q) return "";
  }
  return q + 1;
}

int ParseLogDate(const char* text) {
  const LogDate d = ReadLogDate(text);
  return d.year * 512 + d.month * 32 + d.day;
}

bool IsCalendarDate(int year, int month, int day) {
  if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1) return false;
  static constexpr int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return day <= kDays[month - 1] + (month == 2 && leap ? 1 : 0);
}

int ParseLogTime(const char* text) {
  int hours = 0, minutes = 0, seconds = 0;
  const char* s = text;
  if (ScanInt(s, 2, hours) && *s == ':') {
    ++s;
    if (ScanInt(s, 2, minutes) && *s == ':') {
      ++s;
      ScanInt(s, 2, seconds);
    }
  }
  return hours * 3600 + minutes * 60 + seconds;
}

double ConvertAngle(double raw, BOOL& bMinus) {
  // The reading is a 16-bit register value; whatever the text held, it is
  // truncated and wrapped to 32 bits the way an unsigned conversion does.
  std::uint32_t v = 0;
  if (std::isfinite(raw)) {
    const double t = std::trunc(raw);
    std::int64_t wide;
    if (t >= 9.2e18)
      wide = std::numeric_limits<std::int64_t>::max();
    else if (t <= -9.2e18)
      wide = std::numeric_limits<std::int64_t>::min();
    else
      wide = static_cast<std::int64_t>(t);
    v = static_cast<std::uint32_t>(wide);
  }
  if (v < 32768) {
    bMinus = v >= g_anAnglePositive[0] ? TRUE : FALSE;
    if (v > 255) return 60;
    return static_cast<double>(
        std::upper_bound(std::begin(g_anAnglePositive), std::end(g_anAnglePositive), v) -
        std::begin(g_anAnglePositive));
  }
  const std::uint32_t w = 65535u - v;
  bMinus = FALSE;
  if (w > 255) return 60;
  return static_cast<double>(
      std::upper_bound(std::begin(g_anAngleNegative), std::end(g_anAngleNegative), w) -
      std::begin(g_anAngleNegative));
}

double LogAtof(const char* text) {
  const char* s = SkipSpace(text);
  const char* start = s;
  bool neg = false;
  if (*s == '+' || *s == '-') {
    neg = *s == '-';
    ++s;
  }
  // from_chars takes no sign of its own here and no hexadecimal; those and
  // out-of-range values go the slow way, through strtod in the C locale.
  if (*s == '+' || *s == '-') return 0.0;
  if (s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) return strtod_l(start, nullptr, CLocale());
  const char* end = s;
  while (*end && !IsCSpace(*end) && *end != ',' && *end != '\n') ++end;
  double value = 0.0;
  const auto res = std::from_chars(s, end, value, std::chars_format::general);
  if (res.ec == std::errc::invalid_argument) return 0.0;
  if (res.ec != std::errc()) return strtod_l(start, nullptr, CLocale());
  return neg ? -value : value;
}

int LogAtoi(const char* text) {
  // atoi is strtol cut to int: a long overflow saturates, then the low 32
  // bits remain.
  const char* s = SkipSpace(text);
  bool neg = false;
  if (*s == '+' || *s == '-') {
    neg = *s == '-';
    ++s;
  }
  constexpr std::uint64_t kLimit = std::uint64_t{1} << 63;
  std::uint64_t acc = 0;
  bool over = false;
  for (; IsDigit(*s); ++s) {
    if (over) continue;
    if (acc > kLimit / 10) {
      over = true;
      continue;
    }
    acc = acc * 10 + static_cast<std::uint64_t>(*s - '0');
    if (acc > kLimit) over = true;
  }
  std::int64_t value;
  if (neg)
    value = (over || acc >= kLimit) ? std::numeric_limits<std::int64_t>::min()
                                    : -static_cast<std::int64_t>(acc);
  else
    value = (over || acc >= kLimit) ? std::numeric_limits<std::int64_t>::max()
                                    : static_cast<std::int64_t>(acc);
  return static_cast<int>(static_cast<std::int32_t>(value));
}

}  // namespace vantor
