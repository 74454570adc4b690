// Polling for something another thread or process brings about.
#pragma once

#include <chrono>
#include <thread>

namespace tolvex_test {

// Waits up to `limit` for the condition, looking every `poll`; true when it
// held.
template <class Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds limit,
             std::chrono::milliseconds poll = std::chrono::milliseconds(10)) {
  auto end = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(poll);
  }
  return true;
}

}  // namespace tolvex_test
