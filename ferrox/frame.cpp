// The library frame: the process-wide objects in their creation order (C++
// constructs the globals of one file in order and destroys them in reverse,
// under the loader, at dlopen and dlclose) and the version export.
#include "frame.h"

namespace ferrox {

namespace {

constexpr regs::BusPins kMainBusPins = {0x024, 6, 5, 0x020, 24, 20, 4, 0x028, 10, 4, 0b0000};
constexpr regs::BusPins kCounterBusB1Pins = {0x164, 10, 11, 0x160, 20, 22, 2, 0x168, 20, 4, 0b1010};
constexpr regs::BusPins kCounterBusA1Pins = {0x808, 2, 3, 0x800, 8, 12, 4, 0x80C, 4, 4, 0b1010};
constexpr regs::BusPins kCounterBusA2Pins = {0x808, 6, 7, 0x800, 24, 28, 4, 0x80C, 12, 4, 0b1010};

}  // namespace

int32_t lastChannel = -1;
double batteryEmptyVoltage = 6.7;
double batteryFullVoltage = 8.4;
double externalSupplyOffset = 0.45;

PortBank portBank;
AdcUnit adcUnit;
SoundPlayer soundPlayer;
regs::TwoWireBus mainBus(kMainBusPins);
PwmUnit pwmUnit;
regs::TwoWireBus counterBusB1(kCounterBusB1Pins);
regs::TwoWireBus counterBusA1(kCounterBusA1Pins);
regs::TwoWireBus counterBusA2(kCounterBusA2Pins);

namespace {

// Destroyed first at unload: watch threads still running read the GPIO
// window and write to their queues, so they are stopped before any object
// goes.
struct UnloadGuard {
  UnloadGuard() = default;
  UnloadGuard(const UnloadGuard&) = delete;
  UnloadGuard& operator=(const UnloadGuard&) = delete;
  ~UnloadGuard() { portBank.StopWatches(); }
} unloadGuard;

}  // namespace

}  // namespace ferrox

FERROX_EXPORT int32_t GetNativeDllVersion() { return 2009070901; }
