#pragma once
// Deadlines of the serial layer's waits, shared by the device files and the network.
#include <algorithm>
#include <chrono>

namespace rs232frist {

using Clock = std::chrono::steady_clock;

// Capped so that no time-out, however large, can overflow the clock.
inline Clock::time_point deadlineAfter(double seconds) {
  seconds = std::clamp(seconds, 0.0, 86400.0);
  return Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
}

// Milliseconds left, rounded up so that a rest below one still waits rather than
// spinning; at most an hour per wait.
inline int msUntil(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
  if (left <= 0) return 0;
  return static_cast<int>(std::min<long long>((left + 999) / 1000, 60 * 60 * 1000));
}

// Microseconds left, at least 0; at most an hour per wait.
inline long long usUntil(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
  return std::clamp<long long>(left, 0, 60LL * 60 * 1000 * 1000);
}

// The installed wait hook (see SetComWaitHook), null if none.
using WaitHook = void (*)();
extern WaitHook gWaitHook;
constexpr int kWaitSliceMs = 40;
// The installed abort check (see SetComAbortCheck), null if none.
using AbortCheck = bool (*)();
extern AbortCheck gAbortCheck;
// What next() and nextUs() give once the abort check asked to stop.
constexpr int kAbgebrochen = -2;
// How often the calling thread has set the check aside (ComAbortCheckAside).
extern thread_local int tAusgesetzt;
inline bool abgebrochen() { return gAbortCheck != nullptr && tAusgesetzt == 0 && gAbortCheck(); }

// The slices of one wait until `deadline`, each followed by a fresh look at the
// line: the whole wait at once, or with a wait hook slices of 40 ms, the hook
// called before each but the first (most answers come within it, untouched by
// the hook). With an abort check the slices are 40 ms as well, and a request
// to stop gives kAbgebrochen. A wait that ends after a slice loops until its
// deadline. next() gives 0 once the deadline has passed. The hook runs only while more than two
// slices are left; should it still run past the deadline, next() gives -1: the
// wait has timed out, as nothing that came meanwhile can be told from a late
// answer.
class Slices {
 public:
  explicit Slices(Clock::time_point deadline) : deadline_(deadline) {}

  int next() {
    const long long us = nextUs();
    return us <= 0 ? static_cast<int>(us) : static_cast<int>((us + 999) / 1000);
  }

  // As next(), in microseconds: for waits as short as two characters on the
  // line, which whole milliseconds would stretch by half.
  long long nextUs() {
    // Asked before every slice, the first included: a request that came before
    // the wait ends it at once, one that comes during it within a slice.
    if (abgebrochen()) return kAbgebrochen;
    const long long left = usUntil(deadline_);
    constexpr long long kSliceUs = kWaitSliceMs * 1000LL;
    if (gWaitHook == nullptr) return gAbortCheck != nullptr ? std::min(left, kSliceUs) : left;
    if (first_ || left <= 2 * kSliceUs) {
      first_ = false;
      return std::min(left, kSliceUs);
    }
    gWaitHook();
    const long long after = usUntil(deadline_);
    return after == 0 ? -1 : std::min(after, kSliceUs);
  }

 private:
  Clock::time_point deadline_;
  bool first_ = true;
};

inline double secondsUntil(Clock::time_point deadline) {
  return std::max(0.0, std::chrono::duration<double>(deadline - Clock::now()).count());
}

}  // namespace rs232frist
