#pragma once
#include <wx/app.h>
#include <wx/evtloop.h>
#include <wx/utils.h>

#include <chrono>
#include <functional>
#include <thread>

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

}  // namespace vantor::test
