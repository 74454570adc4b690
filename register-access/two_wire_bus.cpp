#include "two_wire_bus.h"

namespace regs {

namespace {
constexpr uint32_t kGpioPhys = 0x7F008000;
constexpr uint32_t kGpioWindow = 0x940;
}  // namespace

TwoWireBus::TwoWireBus(const BusPins& busPins) : pins(busPins) {
  WindowOpener opener;
  opener.Map(gpio, kGpioPhys, kGpioWindow);
}

TwoWireBus::~TwoWireBus() { gpio.Close(); }

}  // namespace regs
