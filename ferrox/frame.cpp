// The library frame: the process-wide objects in their creation order (C++
// constructs the globals of one file in order and destroys them in reverse,
// under the loader, at dlopen and dlclose) and the version export.
#include "frame.h"

namespace ferrox {

namespace {

// HW-B6 data, HW-B5 clock; no pulls.
constexpr regs::BusPins kMainBusPins = {.data = 0x024, .sdaBit = 6, .sclBit = 5,
                                        .conf = 0x020, .sdaShift = 24, .sclShift = 20, .fieldWidth = 4,
                                        .pull = 0x028, .pullShift = 10, .pullWidth = 4, .pullValue = 0b0000};
// HW-P10 data, HW-P11 clock; pull-ups.
constexpr regs::BusPins kCounterBusB1Pins = {.data = 0x164, .sdaBit = 10, .sclBit = 11,
                                             .conf = 0x160, .sdaShift = 20, .sclShift = 22, .fieldWidth = 2,
                                             .pull = 0x168, .pullShift = 20, .pullWidth = 4, .pullValue = 0b1010};
// HW-K2 data, HW-K3 clock; pull-ups.
constexpr regs::BusPins kCounterBusA1Pins = {.data = 0x808, .sdaBit = 2, .sclBit = 3,
                                             .conf = 0x800, .sdaShift = 8, .sclShift = 12, .fieldWidth = 4,
                                             .pull = 0x80C, .pullShift = 4, .pullWidth = 4, .pullValue = 0b1010};
// HW-K6 data, HW-K7 clock; pull-ups.
constexpr regs::BusPins kCounterBusA2Pins = {.data = 0x808, .sdaBit = 6, .sclBit = 7,
                                             .conf = 0x800, .sdaShift = 24, .sclShift = 28, .fieldWidth = 4,
                                             .pull = 0x80C, .pullShift = 12, .pullWidth = 4, .pullValue = 0b1010};

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

TOLVEX_EXPORT int32_t GetNativeDllVersion() { return 2009070901; }
