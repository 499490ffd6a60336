#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <unistd.h>
#include <vector>

#include "common/Messages.h"

namespace fs = std::filesystem;

namespace {

// Sets the locale variables for one test and puts the old ones back after it.
class LocaleEnv {
 public:
  LocaleEnv() {
    for (const char* v : kVars) {
      const char* old = std::getenv(v);
      saved_.push_back(old ? std::optional<std::string>(old) : std::nullopt);
      unsetenv(v);
    }
    vantor::ResetMessageLocale();
  }
  ~LocaleEnv() {
    for (std::size_t i = 0; i < std::size(kVars); ++i) {
      if (saved_[i]) setenv(kVars[i], saved_[i]->c_str(), 1);
      else unsetenv(kVars[i]);
    }
    vantor::ResetMessageLocale();
  }
  void Set(const char* var, const char* value) {
    setenv(var, value, 1);
    vantor::ResetMessageLocale();
  }

 private:
  static constexpr const char* kVars[] = {"LC_ALL", "LC_MESSAGES", "LANG", "VANTOR_LOCALE_DIR"};
  std::vector<std::optional<std::string>> saved_;
};

void PutU32(std::string& s, std::uint32_t v) { s.append(reinterpret_cast<const char*>(&v), 4); }

// Writes a minimal little-endian .mo with the given pairs (sorted by msgid, as msgfmt does).
void WriteMo(const fs::path& file, const std::vector<std::pair<std::string, std::string>>& pairs) {
  const std::uint32_t n = pairs.size();
  const std::uint32_t origTab = 28, transTab = origTab + 8 * n, strings = transTab + 8 * n;
  std::string head, body;
  PutU32(head, 0x950412de);
  PutU32(head, 0);
  PutU32(head, n);
  PutU32(head, origTab);
  PutU32(head, transTab);
  PutU32(head, 0);
  PutU32(head, 0);
  std::string tabO, tabT;
  std::uint32_t off = strings;
  for (const auto& [id, str] : pairs) {
    PutU32(tabO, id.size());
    PutU32(tabO, off);
    body += id + '\0';
    off += id.size() + 1;
  }
  for (const auto& [id, str] : pairs) {
    PutU32(tabT, str.size());
    PutU32(tabT, off);
    body += str + '\0';
    off += str.size() + 1;
  }
  fs::create_directories(file.parent_path());
  std::ofstream(file, std::ios::binary) << head << tabO << tabT << body;
}

}  // namespace

TEST(MessageLocale, ChineseOnlyForMainlandChinese) {
  LocaleEnv env;
  EXPECT_FALSE(vantor::IsChineseMessageLocale());
  for (const char* name : {"zh_CN", "zh_CN.UTF-8", "zh_CN.GB2312", "zh_CN@pinyin"}) {
    env.Set("LANG", name);
    EXPECT_TRUE(vantor::IsChineseMessageLocale()) << name;
  }
  for (const char* name : {"zh_TW.UTF-8", "zh_HK", "en_US.UTF-8", "C", "zh_CNX"}) {
    env.Set("LANG", name);
    EXPECT_FALSE(vantor::IsChineseMessageLocale()) << name;
  }
}

TEST(MessageLocale, PosixPrecedence) {
  LocaleEnv env;
  env.Set("LANG", "zh_CN.UTF-8");
  env.Set("LC_MESSAGES", "en_GB.UTF-8");
  EXPECT_FALSE(vantor::IsChineseMessageLocale());
  env.Set("LC_ALL", "zh_CN.UTF-8");
  EXPECT_TRUE(vantor::IsChineseMessageLocale());
}

TEST(MessageCatalog, TranslatesFromCatalogueAndFallsBackToEnglish) {
  LocaleEnv env;
  const fs::path dir = fs::temp_directory_path() / ("vantor_mo_" + std::to_string(getpid()));
  WriteMo(dir / "zh_CN/LC_MESSAGES/vantor.mo",
          {{"", "Content-Type: text/plain; charset=UTF-8\n"}, {"Cannot pause!", "无法暂停！"}});
  env.Set("VANTOR_LOCALE_DIR", dir.c_str());
  env.Set("LANG", "zh_CN.UTF-8");
  EXPECT_EQ(vantor::Tr("Cannot pause!"), "无法暂停！");
  EXPECT_EQ(vantor::Tr("No such message"), "No such message");
  env.Set("LANG", "en_US.UTF-8");
  EXPECT_EQ(vantor::Tr("Cannot pause!"), "Cannot pause!");
  fs::remove_all(dir);
}

TEST(MessageCatalog, DamagedCatalogueIsIgnored) {
  LocaleEnv env;
  const fs::path dir = fs::temp_directory_path() / ("vantor_badmo_" + std::to_string(getpid()));
  fs::create_directories(dir / "zh_CN/LC_MESSAGES");
  std::ofstream(dir / "zh_CN/LC_MESSAGES/vantor.mo", std::ios::binary)
      << std::string("\xde\x12\x04\x95\0\0\0\0\xff\xff\xff\x7f", 12) << std::string(40, '\xff');
  env.Set("VANTOR_LOCALE_DIR", dir.c_str());
  env.Set("LANG", "zh_CN.UTF-8");
  EXPECT_EQ(vantor::Tr("Cannot pause!"), "Cannot pause!");
  fs::remove_all(dir);
}

TEST(MessageBox, ReplaceableFunctionReceivesMessage) {
  std::vector<vantor::MessageBoxRequest> seen;
  auto old = vantor::SetMessageBoxFunction([&](const vantor::MessageBoxRequest& r) { seen.push_back(r); });
  vantor::ShowMessageBox("Failed to play", "Preview Player", vantor::MessageIcon::Error);
  vantor::SetMessageBoxFunction(old);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].text, "Failed to play");
  EXPECT_EQ(seen[0].caption, "Preview Player");
  EXPECT_EQ(seen[0].icon, vantor::MessageIcon::Error);
}

TEST(MessageBox, QuestionIsAnsweredByTheReplaceableFunctionAndIsNoWithoutOne) {
  std::vector<vantor::MessageBoxRequest> asked;
  bool answer = true;
  auto old = vantor::SetQuestionFunction([&](const vantor::MessageBoxRequest& r) {
    asked.push_back(r);
    return answer;
  });
  EXPECT_TRUE(vantor::AskYesNo("Are you sure to delete these files?", "Vantor"));
  answer = false;
  EXPECT_FALSE(vantor::AskYesNo("Are you sure to delete these files?", "Vantor"));
  ASSERT_EQ(asked.size(), 2u);
  EXPECT_EQ(asked[0].caption, "Vantor");
  EXPECT_EQ(asked[0].icon, vantor::MessageIcon::Question);
  // Nobody to ask: nothing is agreed to.
  vantor::SetQuestionFunction(nullptr);
  EXPECT_FALSE(vantor::AskYesNo("Are you sure to delete these files?", "Vantor"));
  vantor::SetQuestionFunction(old);
}
