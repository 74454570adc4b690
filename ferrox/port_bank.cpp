#include "frame.h"

namespace ferrox {

PortBank::PortBank() {
  regs::WindowOpener opener;
  opener.Map(gpio, kGpioPhys, kGpioWindow);
  for (auto& w : watches) w = PortWatch{};
}

// The GPIO window stays mapped until the process ends.
PortBank::~PortBank() = default;

}  // namespace ferrox
