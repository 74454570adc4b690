#pragma once

#include "register_window.h"

#include <array>
#include <atomic>
#include <cstdint>

namespace ferrox {

// The watch of one port. The watch thread and the application's threads share
// these fields without a lock, so each is an atomic word.
struct PortWatch {
  std::atomic<uint8_t> stopRequested{0};  // 1 asks the thread to leave its loop
  std::atomic<int32_t> idleCount{10000};  // unchanged samples before a 1 ms sleep
  std::atomic<int32_t> priority{1};       // 0-255, 0 highest
  std::atomic<HANDLE> queue{nullptr};     // writing end of the port's queue
  std::atomic<HANDLE> thread{nullptr};    // set to none by the thread as it leaves
};

class PortBank {
 public:
  PortBank();
  virtual ~PortBank();

  regs::RegisterWindow gpio;
  std::array<PortWatch, 8> watches;

  // The watch of one port (index 0-7 for A-H).
  void StartWatch(size_t port);
  void StopWatch(size_t port);
  void SetWatchPriority(size_t port, int32_t priority);
  int32_t SetWatchIdleInterval(size_t port, int32_t count);
  // The loop of the port's watch thread.
  DWORD RunWatch(size_t port);

  // Stops every watch still running; runs at unload before any window goes.
  void StopWatches();
};

}  // namespace ferrox
