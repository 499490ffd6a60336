#pragma once
// User-visible messages: language choice, translation and the one place where
// message boxes are shown, so tests can catch what would be shown.
#include <functional>
#include <string>

namespace vantor {

// True when the process's message locale is Simplified Chinese (zh_CN). Every
// other locale, zh_TW included, gets English. Reads LC_ALL, LC_MESSAGES, LANG
// in POSIX order of precedence.
bool IsChineseMessageLocale();

// Forget the cached language choice and catalogue (tests switch locales).
void ResetMessageLocale();

// The translation of an English message for the current message locale, from
// the program's zh_CN catalogue; the English text itself when there is none.
std::string Tr(const char* english);

enum class MessageIcon { Error, Warning, Information, Question };

struct MessageBoxRequest {
  std::string text;
  std::string caption;
  MessageIcon icon = MessageIcon::Error;
};

// Shows a modal message box. The GUI layer installs a real one; without it
// the message goes to standard error. Tests replace it to capture messages.
using MessageBoxFn = std::function<void(const MessageBoxRequest&)>;
void ShowMessageBox(const std::string& text, const std::string& caption,
                    MessageIcon icon = MessageIcon::Error);
// Returns the previous function, so a test can put it back.
MessageBoxFn SetMessageBoxFunction(MessageBoxFn fn);

// Asks a Yes/No question in a modal box with the question icon; true for Yes.
// The GUI layer installs a real one; without it the answer is No (and the
// question goes to standard error), so nothing happens that nobody agreed to.
// Tests replace it to answer.
using QuestionFn = std::function<bool(const MessageBoxRequest&)>;
bool AskYesNo(const std::string& text, const std::string& caption);
// Returns the previous function, so a test can put it back.
QuestionFn SetQuestionFunction(QuestionFn fn);

}  // namespace vantor
