// The library's process-wide objects, created at load in this order and
// destroyed at unload in reverse: PortBank, AdcUnit, SoundPlayer, mainBus,
// PwmUnit, counterBusB1, counterBusA1, counterBusA2.
#pragma once

#include "adc_unit.h"
#include "port_bank.h"
#include "pwm_unit.h"
#include "sound_player.h"
#include "two_wire_bus.h"

#include <orlik/windows.h>
#include <tolvex/export.h>
#include <tolvex/ferrox.h>

namespace ferrox {

// Physical register blocks and the window sizes the library maps (the GPIO
// block's are the two-wire bus's).
using regs::kGpioPhys;
using regs::kGpioWindow;
inline constexpr uint32_t kAdcPhys = 0x7E00B000;
inline constexpr uint32_t kAdcWindow = 0x30;
inline constexpr uint32_t kTimerPhys = 0x7F006000;
inline constexpr uint32_t kTimerWindow = 0x50;

extern PortBank portBank;
extern AdcUnit adcUnit;
extern SoundPlayer soundPlayer;
extern regs::TwoWireBus mainBus;
extern PwmUnit pwmUnit;
extern regs::TwoWireBus counterBusB1;
extern regs::TwoWireBus counterBusA1;
extern regs::TwoWireBus counterBusA2;

extern int32_t lastChannel;
extern double batteryEmptyVoltage;
extern double batteryFullVoltage;
extern double externalSupplyOffset;

}  // namespace ferrox
