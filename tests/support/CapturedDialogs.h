#pragma once
// Every message box and Yes/No question a test's code would show, caught
// instead of shown; questions are answered with `yes`. Restores what was
// there before when it goes.
//
//   CapturedDialogs dialogs;
//   player.Play();                        // fails
//   EXPECT_EQ(dialogs.Take().size(), 1u);
#include <vector>

#include "common/Messages.h"

namespace vantor::test {

class CapturedDialogs {
 public:
  explicit CapturedDialogs(bool yes = true);
  ~CapturedDialogs();
  CapturedDialogs(const CapturedDialogs&) = delete;
  CapturedDialogs& operator=(const CapturedDialogs&) = delete;

  void Answer(bool yes) { m_bYes = yes; }
  // The message boxes caught so far, and none kept.
  std::vector<MessageBoxRequest> Take();

  std::vector<MessageBoxRequest> boxes;
  std::vector<MessageBoxRequest> questions;

 private:
  bool m_bYes;
  MessageBoxFn m_oldBox;
  QuestionFn m_oldQuestion;
};

}  // namespace vantor::test
