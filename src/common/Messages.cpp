#include "common/Messages.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <mutex>
#include <optional>
#include <unordered_map>

#include "common/DataPaths.h"

namespace vantor {

namespace {

std::mutex g_mutex;
std::optional<bool> g_chinese;
std::optional<std::unordered_map<std::string, std::string>> g_catalog;
MessageBoxFn g_messageBox;
QuestionFn g_question;

bool LocaleNameIsChinese(const char* name) {
  // zh_CN, zh_CN.UTF-8, zh_CN.GB2312, zh_CN@something
  if (std::strncmp(name, "zh_CN", 5) != 0) return false;
  const char c = name[5];
  return c == '\0' || c == '.' || c == '@';
}

bool DetectChinese() {
  for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    const char* v = std::getenv(var);
    if (v && *v) return LocaleNameIsChinese(v);
  }
  return false;
}

std::uint32_t ReadU32(const std::string& data, std::size_t off, bool swap) {
  std::uint32_t v = 0;
  std::memcpy(&v, data.data() + off, 4);
  if (swap) v = __builtin_bswap32(v);
  return v;
}

// Reads a GNU .mo catalogue. A damaged file yields whatever entries could be
// read before the damage, never a crash.
std::unordered_map<std::string, std::string> LoadMo(const std::string& path) {
  std::unordered_map<std::string, std::string> map;
  std::ifstream in(path, std::ios::binary);
  if (!in) return map;
  std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (data.size() < 28) return map;
  const std::uint32_t magic = ReadU32(data, 0, false);
  bool swap;
  if (magic == 0x950412deu) swap = false;
  else if (magic == 0xde120495u) swap = true;
  else return map;
  const std::uint32_t n = ReadU32(data, 8, swap);
  const std::uint32_t origTab = ReadU32(data, 12, swap);
  const std::uint32_t transTab = ReadU32(data, 16, swap);
  auto entry = [&](std::uint32_t table, std::uint32_t i, std::string& out) {
    const std::uint64_t at = std::uint64_t(table) + std::uint64_t(i) * 8;
    if (at + 8 > data.size()) return false;
    const std::uint32_t len = ReadU32(data, at, swap);
    const std::uint32_t off = ReadU32(data, at + 4, swap);
    if (std::uint64_t(off) + len > data.size()) return false;
    out.assign(data, off, len);
    return true;
  };
  for (std::uint32_t i = 0; i < n; ++i) {
    std::string id, str;
    if (!entry(origTab, i, id) || !entry(transTab, i, str)) break;
    if (id.empty()) continue;  // the header entry
    map.emplace(std::move(id), std::move(str));
  }
  return map;
}

bool ChineseLocked() {
  if (!g_chinese) g_chinese = DetectChinese();
  return *g_chinese;
}

}  // namespace

bool IsChineseMessageLocale() {
  std::lock_guard lock(g_mutex);
  return ChineseLocked();
}

void ResetMessageLocale() {
  std::lock_guard lock(g_mutex);
  g_chinese.reset();
  g_catalog.reset();
}

std::string Tr(const char* english) {
  std::lock_guard lock(g_mutex);
  if (!ChineseLocked()) return english;
  if (!g_catalog) {
    g_catalog.emplace();
    for (const auto& dir : LocaleDirectories()) {
      auto m = LoadMo(dir + "/zh_CN/LC_MESSAGES/vantor.mo");
      if (!m.empty()) {
        g_catalog = std::move(m);
        break;
      }
    }
  }
  auto it = g_catalog->find(english);
  return it == g_catalog->end() ? std::string(english) : it->second;
}

void ShowMessageBox(const std::string& text, const std::string& caption, MessageIcon icon) {
  MessageBoxFn fn;
  {
    std::lock_guard lock(g_mutex);
    fn = g_messageBox;
  }
  if (fn) {
    fn(MessageBoxRequest{text, caption, icon});
    return;
  }
  std::cerr << caption << ": " << text << '\n';
}

MessageBoxFn SetMessageBoxFunction(MessageBoxFn fn) {
  std::lock_guard lock(g_mutex);
  std::swap(fn, g_messageBox);
  return fn;
}

bool AskYesNo(const std::string& text, const std::string& caption) {
  QuestionFn fn;
  {
    std::lock_guard lock(g_mutex);
    fn = g_question;
  }
  if (fn) return fn(MessageBoxRequest{text, caption, MessageIcon::Question});
  std::cerr << caption << ": " << text << " (no)\n";
  return false;
}

QuestionFn SetQuestionFunction(QuestionFn fn) {
  std::lock_guard lock(g_mutex);
  std::swap(fn, g_question);
  return fn;
}

}  // namespace vantor
