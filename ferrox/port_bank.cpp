#include "frame.h"

namespace ferrox {

PortBank::PortBank() {
  regs::WindowOpener opener;
  opener.Map(gpio, kGpioPhys, kGpioWindow);
  for (auto& w : watches) {
    w.idleCount = 10000;
    w.priority = 1;
    w.queue = nullptr;
    w.thread = nullptr;
    w.stopRequested = 0;
  }
}

// The GPIO window stays mapped until the process ends.
PortBank::~PortBank() = default;

}  // namespace ferrox
