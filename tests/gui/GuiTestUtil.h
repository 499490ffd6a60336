#pragma once
#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/utils.h>

#include <chrono>
#include <cstdlib>
#include <functional>
#include <optional>
#include <string>
#include <thread>

#include "common/Messages.h"

namespace vantor::test {

// Processes GUI events for about `ms` milliseconds (paints, timers, CallAfter).
inline void PumpEvents(int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  do {
    wxTheApp->ProcessPendingEvents();
    while (wxTheApp->Pending()) wxTheApp->Dispatch();
    wxYield();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  } while (std::chrono::steady_clock::now() < end);
}

// Processes events until `done` returns true or `timeoutMs` passes; returns done().
inline bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return done();
    PumpEvents(10);
  }
  return true;
}

// Sets LC_ALL (and so the program's message language) for one scope.
class ScopedMessageLocale {
 public:
  explicit ScopedMessageLocale(const char* locale) {
    if (const char* v = std::getenv("LC_ALL")) m_old = v;
    ::setenv("LC_ALL", locale, 1);
    ResetMessageLocale();
  }
  ~ScopedMessageLocale() {
    if (m_old)
      ::setenv("LC_ALL", m_old->c_str(), 1);
    else
      ::unsetenv("LC_ALL");
    ResetMessageLocale();
  }
  ScopedMessageLocale(const ScopedMessageLocale&) = delete;
  ScopedMessageLocale& operator=(const ScopedMessageLocale&) = delete;

 private:
  std::optional<std::string> m_old;
};

}  // namespace vantor::test
