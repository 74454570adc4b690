#pragma once

#include "register_window.h"

#include <array>
#include <cstdint>

namespace ferrox {

// The watch of one port (thread, queue and tuning).
struct PortWatch {
  uint8_t stopRequested = 0;
  int32_t idleCount = 10000;
  int32_t priority = 1;
  HANDLE queue = nullptr;
  HANDLE thread = nullptr;
};

class PortBank {
 public:
  PortBank();
  virtual ~PortBank();

  regs::RegisterWindow gpio;
  std::array<PortWatch, 8> watches;

  // Stops every watch still running; runs at unload before any window goes.
  void StopWatches();
};

}  // namespace ferrox
