#include "PlayerTestUtil.h"

#include <cstdlib>
#include <thread>

namespace vantor::test {

namespace {

// Instrumented builds (ThreadSanitizer) decode several times slower: they
// set VANTOR_TEST_WAIT_SCALE so that every wait grows alike, rather than
// each test being loosened on its own.
int WaitScale() {
  static const int scale = [] {
    const char* v = std::getenv("VANTOR_TEST_WAIT_SCALE");
    const int n = v ? std::atoi(v) : 1;
    return n >= 1 ? n : 1;
  }();
  return scale;
}

}  // namespace

bool WaitFor(const std::function<bool()>& done, int timeoutMs) {
  const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs) * WaitScale();
  while (!done()) {
    if (Clock::now() >= end) return done();
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return true;
}

std::vector<std::string> AttemptNames(const CMoviePlayer& p) {
  std::vector<std::string> v;
  for (const auto& a : p.GetRenderAttempts()) v.push_back(a.name);
  return v;
}

std::vector<HRESULT> AttemptResults(const CMoviePlayer& p) {
  std::vector<HRESULT> v;
  for (const auto& a : p.GetRenderAttempts()) v.push_back(a.hr);
  return v;
}

bool ShowsFrameAt(CMoviePlayer& p, long ms, int timeoutMs) {
  return WaitFor([&] { return std::llabs(p.GetShownFrameTime() - ms) <= 34; }, timeoutMs);
}

}  // namespace vantor::test
