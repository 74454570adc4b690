// A mutex for short critical sections on hot paths (the handle table): taking
// and releasing it free costs one atomic exchange each, where std::mutex goes
// through the threads library. A contended locker sleeps (a futex wait behind
// std::atomic::wait) rather than spinning, so a waiter of high priority cannot
// starve the holder.
#pragma once

#include <atomic>
#include <cstdint>

namespace orlik {

class FutexLock {
 public:
  void lock() {
    uint32_t expected = kFree;
    if (state_.compare_exchange_strong(expected, kHeld, std::memory_order_acquire, std::memory_order_relaxed))
      return;
    // Contended: mark that a locker sleeps, and sleep until the lock is free.
    while (state_.exchange(kContended, std::memory_order_acquire) != kFree) state_.wait(kContended);
  }

  void unlock() {
    if (state_.exchange(kFree, std::memory_order_release) == kContended) state_.notify_one();
  }

 private:
  static constexpr uint32_t kFree = 0, kHeld = 1, kContended = 2;
  std::atomic<uint32_t> state_{kFree};
};

}  // namespace orlik
