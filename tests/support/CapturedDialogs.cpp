#include "support/CapturedDialogs.h"

#include <utility>

namespace vantor::test {

CapturedDialogs::CapturedDialogs(bool yes) : m_bYes(yes) {
  m_oldBox = SetMessageBoxFunction([this](const MessageBoxRequest& r) { boxes.push_back(r); });
  m_oldQuestion = SetQuestionFunction([this](const MessageBoxRequest& r) {
    questions.push_back(r);
    return m_bYes;
  });
}

CapturedDialogs::~CapturedDialogs() {
  SetMessageBoxFunction(m_oldBox);
  SetQuestionFunction(m_oldQuestion);
}

std::vector<MessageBoxRequest> CapturedDialogs::Take() {
  return std::exchange(boxes, {});
}

}  // namespace vantor::test
