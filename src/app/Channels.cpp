#include "app/Channels.h"

#include <sys/stat.h>

#include <cctype>
#include <filesystem>
#include <system_error>
#include <unordered_map>

#include "common/Ascii.h"

namespace vantor {

namespace {

constexpr char kLetters[kCameraChannelCount] = {'F', 'R', 'I'};

std::optional<CameraChannel> ChannelOfLetter(char c) {
  switch (c) {
    case 'F': case 'f': return CameraChannel::Front;
    case 'R': case 'r': return CameraChannel::Rear;
    case 'I': case 'i': return CameraChannel::Interior;
    default: return std::nullopt;
  }
}

std::optional<CameraChannel> ChannelOfFolder(std::string_view name) {
  for (std::string_view front : {"front", "f"})
    if (EqualsNoCase(name, front)) return CameraChannel::Front;
  for (std::string_view rear : {"rear", "r", "back"})
    if (EqualsNoCase(name, rear)) return CameraChannel::Rear;
  for (std::string_view inside : {"interior", "inside", "in", "i"})
    if (EqualsNoCase(name, inside)) return CameraChannel::Interior;
  return std::nullopt;
}

bool IsSeparator(char c) {
  return c == '_' || c == '-';
}

// Where a name's channel letter is: the last letter of the name (before the
// extension) after a separator or a digit ("_F", "5F"), or after a
// separator and one letter that cameras put there for the kind of recording
// ("_NF" normal, "_EF" event, "_PF" parked). npos when there is none.
std::size_t ChannelLetterAt(std::string_view stem) {
  const std::size_t n = stem.size();
  if (n < 2 || !ChannelOfLetter(stem[n - 1])) return std::string_view::npos;
  const char before = stem[n - 2];
  if (IsSeparator(before) || std::isdigit(static_cast<unsigned char>(before))) return n - 1;
  const char kind = LowerAscii(before);
  if (n >= 3 && (kind == 'n' || kind == 'e' || kind == 'p') && IsSeparator(stem[n - 3]))
    return n - 1;
  return std::string_view::npos;
}

struct NameParts {
  std::string_view folder, file, stem, ext;
};

NameParts Split(std::string_view path) {
  NameParts parts;
  const std::size_t slash = path.rfind('/');
  parts.folder = slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
  parts.file = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const std::size_t dot = parts.file.rfind('.');
  parts.stem = dot == std::string_view::npos || dot == 0 ? parts.file : parts.file.substr(0, dot);
  parts.ext = parts.file.substr(parts.stem.size());
  return parts;
}

std::string_view LastComponent(std::string_view folder) {
  const std::size_t slash = folder.rfind('/');
  return slash == std::string_view::npos ? folder : folder.substr(slash + 1);
}

std::string_view ParentOf(std::string_view folder) {
  const std::size_t slash = folder.rfind('/');
  return slash == std::string_view::npos ? std::string_view() : folder.substr(0, slash);
}

std::string Folded(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = LowerAscii(c);
  return out;
}

bool IsFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::optional<ChannelOfName> ChannelOfPath(std::string_view path) {
  const NameParts parts = Split(path);
  const std::size_t letter = ChannelLetterAt(parts.stem);
  const std::optional<CameraChannel> byFolder = ChannelOfFolder(LastComponent(parts.folder));
  if (letter == std::string_view::npos && !byFolder) return std::nullopt;

  // The key leaves out what differs between the channels: the letter, and the
  // channel's folder. The extension's case may differ between channels.
  ChannelOfName named;
  std::string_view name = parts.stem;
  if (letter != std::string_view::npos) {
    named.channel = *ChannelOfLetter(parts.stem[letter]);
    name = parts.stem.substr(0, letter);
  }
  if (byFolder) named.channel = *byFolder;
  named.clipKey = std::string(byFolder ? ParentOf(parts.folder) : parts.folder) +
                  (byFolder ? "/*/" : "/") + std::string(name) + Folded(parts.ext);
  return named;
}

const std::string& ClipChannels::Main() const {
  return paths[static_cast<int>(MainChannel())];
}

CameraChannel ClipChannels::MainChannel() const {
  for (int c = 0; c < kCameraChannelCount; ++c)
    if (!paths[c].empty()) return static_cast<CameraChannel>(c);
  return CameraChannel::Front;
}

std::vector<std::string> ClipChannels::Others() const {
  std::vector<std::string> others;
  const int main = static_cast<int>(MainChannel());
  for (int c = 0; c < kCameraChannelCount; ++c)
    if (c != main && !paths[c].empty()) others.push_back(paths[c]);
  return others;
}

int ClipChannels::Count() const {
  int n = 0;
  for (const std::string& p : paths) n += p.empty() ? 0 : 1;
  return n;
}

std::string ClipChannels::Remark() const {
  std::string remark;
  if (!m_bNamed) return remark;
  for (int c = 0; c < kCameraChannelCount; ++c) {
    if (paths[c].empty()) continue;
    if (!remark.empty()) remark += '+';
    remark += kLetters[c];
  }
  return remark;
}

std::vector<ClipChannels> GroupChannels(std::span<const std::string> paths) {
  std::vector<ClipChannels> clips;
  std::unordered_map<std::string, std::size_t> byKey;
  for (const std::string& path : paths) {
    const std::optional<ChannelOfName> named = ChannelOfPath(path);
    if (named) {
      const int c = static_cast<int>(named->channel);
      const auto found = byKey.find(named->clipKey);
      if (found != byKey.end() && clips[found->second].paths[c].empty()) {
        clips[found->second].paths[c] = path;
        continue;
      }
      byKey[named->clipKey] = clips.size();
      ClipChannels& clip = clips.emplace_back();
      clip.paths[c] = path;
      clip.m_bNamed = true;
      continue;
    }
    clips.emplace_back().paths[0] = path;
  }
  return clips;
}

std::vector<std::string> OtherChannelFiles(const std::string& path) {
  std::vector<std::string> found;
  const std::optional<ChannelOfName> named = ChannelOfPath(path);
  if (!named) return found;
  const NameParts parts = Split(path);
  const std::size_t letter = ChannelLetterAt(parts.stem);
  const bool upper = letter != std::string_view::npos && parts.stem[letter] <= 'Z';
  // The name the file of channel c would have: the same, or with c's letter.
  auto nameFor = [&](int c) {
    if (letter == std::string_view::npos) return std::string(parts.file);
    const char l = upper ? kLetters[c] : LowerAscii(kLetters[c]);
    return std::string(parts.stem.substr(0, letter)) + l + std::string(parts.ext);
  };
  auto take = [&](const std::string& candidate) {
    if (candidate != path && IsFile(candidate)) found.push_back(candidate);
  };
  const int own = static_cast<int>(named->channel);
  if (!ChannelOfFolder(LastComponent(parts.folder))) {
    for (int c = 0; c < kCameraChannelCount; ++c)
      if (c != own) take(std::string(parts.folder) + "/" + nameFor(c));
    return found;
  }
  std::error_code ec;
  const std::filesystem::path parent(std::string(ParentOf(parts.folder)));
  for (std::filesystem::directory_iterator it(parent, ec), end; !ec && it != end;
       it.increment(ec)) {
    const std::optional<CameraChannel> c = ChannelOfFolder(it->path().filename().string());
    if (!c || *c == named->channel || !it->is_directory(ec)) continue;
    take((it->path() / nameFor(static_cast<int>(*c))).string());
    if (letter != std::string_view::npos) take((it->path() / parts.file).string());
  }
  return found;
}

std::string ChannelCopyPath(const std::string& mainCopy, CameraChannel channel) {
  const NameParts parts = Split(mainCopy);
  const std::size_t letter = ChannelLetterAt(parts.stem);
  const char l = kLetters[static_cast<int>(channel)];
  const std::size_t slash = mainCopy.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : mainCopy.substr(0, slash + 1);
  if (letter != std::string_view::npos) {
    std::string renamed = folder + std::string(parts.stem.substr(0, letter)) +
                          (parts.stem[letter] <= 'Z' ? l : LowerAscii(l)) + std::string(parts.ext);
    if (renamed != mainCopy) return renamed;
  }
  return folder + std::string(parts.stem) + "_" + l + std::string(parts.ext);
}

}  // namespace vantor
