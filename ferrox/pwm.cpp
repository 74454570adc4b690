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
  savedRegisters[7] = gpio.Read(kPortFConfig);
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
  for (size_t i = 0; i < kSavedTimerRegisters.size(); ++i)
    timer.Write(kSavedTimerRegisters[i], savedRegisters[i]);
  gpio.Write(kPortFConfig, savedRegisters[7]);
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
