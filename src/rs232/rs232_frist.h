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

// The installed wait hook (see SetComWaitHook), null if none.
using WaitHook = void (*)();
extern WaitHook gWaitHook;
constexpr int kWaitSliceMs = 40;

// How long to wait before looking again, on the way to `deadline`: all of it, or
// with a wait hook one slice, after calling the hook. A wait that ends after a
// slice loops until its deadline. The hook runs only while enough of the wait is
// left; should it still run past the deadline, this gives -1: the wait has timed
// out, as nothing that came meanwhile can be told from a late answer.
inline int slice(Clock::time_point deadline) {
  if (gWaitHook == nullptr) return msUntil(deadline);
  if (msUntil(deadline) <= 2 * kWaitSliceMs) return msUntil(deadline);
  gWaitHook();
  const int left = msUntil(deadline);
  return left == 0 ? -1 : std::min(left, kWaitSliceMs);
}

inline double secondsUntil(Clock::time_point deadline) {
  return std::max(0.0, std::chrono::duration<double>(deadline - Clock::now()).count());
}

}  // namespace rs232frist
