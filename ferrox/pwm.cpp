// The two PWM outputs on timers 0 and 1 (pins HW-F14 and HW-F15).
#include "frame.h"

namespace ferrox {

namespace {

// Timer block registers.
constexpr uint32_t kTimerConfig0 = 0x00;
constexpr uint32_t kTimerConfig1 = 0x04;
constexpr uint32_t kTimerControl = 0x08;
constexpr uint32_t kCountBuffer0 = 0x0C;
constexpr uint32_t kCompareBuffer0 = 0x10;
constexpr uint32_t kCountBuffer1 = 0x18;
constexpr uint32_t kCompareBuffer1 = 0x1C;
// GPIO block: hardware port F.
constexpr uint32_t kPortFConfig = 0xA0;
constexpr uint32_t kPortFData = 0xA4;

// The seven timer registers in the order they are saved and written back.
constexpr std::array<uint32_t, 7> kSavedTimerRegisters = {
    kTimerConfig0, kTimerConfig1, kCountBuffer0, kCompareBuffer0,
    kCountBuffer1, kCompareBuffer1, kTimerControl};

struct PwmPin {
  uint8_t confShift;  // 2-bit field in the port F configuration register
  uint8_t dataBit;    // bit in the port F data register
};
constexpr std::array<PwmPin, 2> kPins = {{{28, 14}, {30, 15}}};
constexpr uint32_t kPlainOutput = 0b01;
constexpr uint32_t kTimerOutput = 0b10;

}  // namespace

PwmUnit::PwmUnit() {
  regs::WindowOpener opener;
  if (!opener.Map(gpio, kGpioPhys, kGpioWindow)) return;
  if (!opener.Map(timer, kTimerPhys, kTimerWindow)) return;
  for (size_t i = 0; i < kSavedTimerRegisters.size(); ++i)
    savedRegisters[i] = timer.Read(kSavedTimerRegisters[i]);
  savedRegisters[kSavedPortFConfig] = gpio.Read(kPortFConfig);
  saved = true;
  // Both outputs idle as plain outputs at their fully-off level.
  for (int channel = 0; channel < 2; ++channel)
    SetPinPlainOutput(channel, polarity[size_t(channel)] == 1 ? 1 : 0);
}

PwmUnit::~PwmUnit() {
  Restore();
  gpio.Close();
  timer.Close();
}

void PwmUnit::Restore() {
  // Only what was saved at load goes back: after a load that mapped one
  // window and not the other, nothing was.
  if (!saved) return;
  for (size_t i = 0; i < kSavedTimerRegisters.size(); ++i)
    timer.Write(kSavedTimerRegisters[i], savedRegisters[i]);
  gpio.Write(kPortFConfig, savedRegisters[kSavedPortFConfig]);
}

void PwmUnit::SetPinPlainOutput(int channel, int level) {
  const PwmPin& pin = kPins[size_t(channel)];
  gpio.WriteField(kPortFConfig, pin.confShift, 2, kPlainOutput);
  uint32_t data = gpio.Read(kPortFData);
  data = level ? (data | (1u << pin.dataBit)) : (data & ~(1u << pin.dataBit));
  gpio.Write(kPortFData, data);
}

void PwmUnit::SetPinTimerOutput(int channel) {
  gpio.WriteField(kPortFConfig, kPins[size_t(channel)].confShift, 2, kTimerOutput);
}

}  // namespace ferrox

namespace ferrox {

namespace {

// What differs between the two channels in the timer block.
struct TimerBits {
  uint32_t countBuffer;
  uint32_t compareBuffer;
  uint8_t dividerShift;  // 4-bit field in configuration 1
  uint8_t controlShift;  // start, manual update, inverter, auto-reload from here
};
constexpr std::array<TimerBits, 2> kTimers = {{{kCountBuffer0, kCompareBuffer0, 0, 0},
                                               {kCountBuffer1, kCompareBuffer1, 4, 8}}};
constexpr uint32_t kStart = 1u << 0;
constexpr uint32_t kManualUpdate = 1u << 1;
constexpr uint32_t kInverter = 1u << 2;
constexpr uint32_t kAutoReload = 1u << 3;
constexpr uint32_t kDeadZoneEnable = 1u << 4;
constexpr uint32_t kDeadZoneShift = 16;

uint32_t ControlBit(int channel, uint32_t bit) { return bit << kTimers[size_t(channel)].controlShift; }

int FullyOnLevel(uint8_t polarity) { return polarity == 1 ? 0 : 1; }

}  // namespace

void PwmUnit::SetPrescaler(int32_t p) {
  if (!usable() || uint32_t(p) > 255) return;
  prescaler = uint8_t(p);
  timer.WriteField(kTimerConfig0, 0, 8, prescaler);
}

void PwmUnit::SetClockDivider(int channel, int32_t d) {
  if (!usable()) return;
  // Masked to the 4-bit field, so a large selection cannot spill into the
  // other timer's divider.
  clockDivider[size_t(channel)] = uint8_t(d & 0xF);
  uint8_t shift = kTimers[size_t(channel)].dividerShift;
  timer.Write(kTimerConfig1, timer.Read(kTimerConfig1) & ~(0xFu << shift));
  timer.Write(kTimerConfig1, timer.Read(kTimerConfig1) | (uint32_t(d & 0xF) << shift));
}

int32_t PwmUnit::SetCounter(int channel, int32_t n) {
  if (!usable()) return 0;
  counter[size_t(channel)] = n;
  timer.Write(kTimers[size_t(channel)].countBuffer, uint32_t(n));
  return SetDutyRate(channel, dutyRate[size_t(channel)]);
}

int32_t PwmUnit::SetCarryFrequency(int channel, int32_t p, int32_t d, int32_t n) {
  if (!usable()) return 0;
  SetPrescaler(p);
  SetClockDivider(channel, d);
  return SetCounter(channel, n);
}

void PwmUnit::SetDeadTime(int32_t t) {
  if (!usable()) return;
  // Masked to the 8-bit length field; a value whose low byte is 0 turns the
  // dead zone off.
  deadTime = uint8_t(t & 0xFF);
  if (deadTime != 0) {
    timer.WriteField(kTimerConfig0, kDeadZoneShift, 8, deadTime);
    timer.SetBits(kTimerControl, kDeadZoneEnable);
  } else {
    timer.WriteField(kTimerConfig0, kDeadZoneShift, 16, 0);
    timer.ClearBits(kTimerControl, kDeadZoneEnable);
  }
}

void PwmUnit::SetPolarity(int channel, int32_t p) {
  if (!usable()) return;
  polarity[size_t(channel)] = uint8_t(p);
  if (p == 1)
    timer.SetBits(kTimerControl, ControlBit(channel, kInverter));
  else
    timer.ClearBits(kTimerControl, ControlBit(channel, kInverter));
}

int32_t PwmUnit::SetDutyRate(int channel, double duty) {
  if (!usable()) return 0;
  // Rates above 100 (and NaN) are refused. A negative rate is taken like any
  // other below 100; its compare value is 0.
  if (!(duty <= 100.0)) return 0;
  size_t c = size_t(channel);
  dutyRate[c] = duty;
  double x = double(counter[c]) * duty;
  x = x * 0.01;
  if (duty == 100.0) {
    SetPinPlainOutput(channel, FullyOnLevel(polarity[c]));
    pinForced[c] = 1;
    return 1;
  }
  if (duty == 0.0) {
    SetPinPlainOutput(channel, 1 - FullyOnLevel(polarity[c]));
    pinForced[c] = 1;
    return 1;
  }
  if (running[c] == 1 && pinForced[c] == 1) SetPinTimerOutput(channel);
  // Truncated toward zero into what the compare buffer holds: 0 for a
  // negative rate (whatever the count) or a negative count, nothing above the
  // largest count.
  int32_t compare = 0;
  if (duty > 0.0 && x > 0.0) compare = x < 2147483647.0 ? int32_t(x) : INT32_MAX;
  timer.Write(kTimers[c].compareBuffer, uint32_t(compare));
  pinForced[c] = 0;
  return compare;
}

int32_t PwmUnit::Start(int channel) {
  if (!usable()) return 0;
  size_t c = size_t(channel);
  bool toTimer = dutyRate[c] != 100.0 && dutyRate[c] != 0.0;
  if (toTimer) SetPinTimerOutput(channel);
  // Manual update loads the buffers into the timer ...
  timer.SetBits(kTimerControl, ControlBit(channel, kManualUpdate));
  // ... and this one write ends it, starting the timer with auto-reload.
  uint32_t control = timer.Read(kTimerControl) & ~ControlBit(channel, 0xF);
  control |= ControlBit(channel, kStart | kAutoReload);
  if (polarity[c] == 1) control |= ControlBit(channel, kInverter);
  timer.Write(kTimerControl, control);
  running[c] = 1;
  return toTimer ? 1 : 0;
}

void PwmUnit::Stop(int channel) {
  if (!usable()) return;
  size_t c = size_t(channel);
  SetPinPlainOutput(channel, 1 - FullyOnLevel(polarity[c]));
  pinForced[c] = 1;
  running[c] = 0;
  timer.ClearBits(kTimerControl, ControlBit(channel, kStart));
}

}  // namespace ferrox

using ferrox::pwmUnit;

TOLVEX_EXPORT void SetPWMPrescaler(int32_t p) { pwmUnit.SetPrescaler(p); }
TOLVEX_EXPORT void SetPWMClkDivider1(int32_t d) { pwmUnit.SetClockDivider(0, d); }
TOLVEX_EXPORT void SetPWMClkDivider2(int32_t d) { pwmUnit.SetClockDivider(1, d); }
TOLVEX_EXPORT int32_t SetPWMCounter1(int32_t n) { return pwmUnit.SetCounter(0, n); }
TOLVEX_EXPORT int32_t SetPWMCounter2(int32_t n) { return pwmUnit.SetCounter(1, n); }
TOLVEX_EXPORT void SetPWMDeadTime(int32_t t) { pwmUnit.SetDeadTime(t); }
TOLVEX_EXPORT void SetPWMPolarity1(int32_t p) { pwmUnit.SetPolarity(0, p); }
TOLVEX_EXPORT void SetPWMPolarity2(int32_t p) { pwmUnit.SetPolarity(1, p); }
TOLVEX_EXPORT int32_t SetPWMCarryFreq1(int32_t p, int32_t d, int32_t n) {
  return pwmUnit.SetCarryFrequency(0, p, d, n);
}
TOLVEX_EXPORT int32_t SetPWMCarryFreq2(int32_t p, int32_t d, int32_t n) {
  return pwmUnit.SetCarryFrequency(1, p, d, n);
}
TOLVEX_EXPORT int32_t SetPWMDutyRate1(double duty) { return pwmUnit.SetDutyRate(0, duty); }
TOLVEX_EXPORT int32_t SetPWMDutyRate2(double duty) { return pwmUnit.SetDutyRate(1, duty); }
TOLVEX_EXPORT int32_t Start_PWM1() { return pwmUnit.Start(0); }
TOLVEX_EXPORT int32_t Start_PWM2() { return pwmUnit.Start(1); }
TOLVEX_EXPORT void Stop_PWM1() { pwmUnit.Stop(0); }
TOLVEX_EXPORT void Stop_PWM2() { pwmUnit.Stop(1); }
TOLVEX_EXPORT void PWMRestore() {
  if (pwmUnit.usable()) pwmUnit.Restore();
}
