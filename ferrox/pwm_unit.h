#pragma once

#include "register_window.h"

#include <array>
#include <cstdint>

namespace ferrox {

class PwmUnit {
 public:
  PwmUnit();
  virtual ~PwmUnit();

  // Writes savedRegisters back: the timer and pin configuration at load.
  void Restore();
  // Makes the channel's pin (0: HW-F14, 1: HW-F15) a plain output at a level.
  void SetPinPlainOutput(int channel, int level);
  // Hands the channel's pin to its timer.
  void SetPinTimerOutput(int channel);

  // The operations behind the exports; channel 0 is PWM1 (timer 0, HW-F14),
  // channel 1 is PWM2 (timer 1, HW-F15). All return 0 and touch nothing
  // while a window is null.
  bool usable() const { return !gpio.IsNull() && !timer.IsNull(); }
  void SetPrescaler(int32_t p);
  void SetClockDivider(int channel, int32_t d);
  int32_t SetCounter(int channel, int32_t n);
  int32_t SetCarryFrequency(int channel, int32_t p, int32_t d, int32_t n);
  void SetDeadTime(int32_t t);
  void SetPolarity(int channel, int32_t p);
  int32_t SetDutyRate(int channel, double duty);
  int32_t Start(int channel);
  void Stop(int channel);

  regs::RegisterWindow gpio;
  regs::RegisterWindow timer;
  uint8_t prescaler = 33;
  std::array<uint8_t, 2> clockDivider = {0, 0};
  std::array<int32_t, 2> counter = {200, 200};
  uint8_t deadTime = 0;
  std::array<uint8_t, 2> polarity = {0, 0};
  std::array<double, 2> dutyRate = {50.0, 50.0};
  std::array<uint8_t, 2> pinForced = {0, 0};
  std::array<uint8_t, 2> running = {0, 0};
  // Timer configuration 0 and 1, count and compare buffers of timers 0 and 1,
  // timer control, hardware port F configuration; saved is set once all eight
  // were read at load.
  static constexpr size_t kSavedPortFConfig = 7;
  std::array<uint32_t, 8> savedRegisters = {};
  bool saved = false;
};

}  // namespace ferrox
