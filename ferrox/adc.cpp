// The analogue-to-digital converter unit: plain, filtered and detailed
// readings straight from the converter's registers.
#include "frame.h"

#include <algorithm>
#include <memory>
#include <new>

namespace ferrox {

namespace {

// Converter registers (ADC block).
constexpr uint32_t kAdcControl = 0x00;
constexpr uint32_t kAdcData0 = 0x0C;
constexpr uint32_t kStart = 1u << 0;
constexpr uint32_t kEndOfConversion = 1u << 15;
constexpr uint32_t kResultMask = 0xFFF;

// Timer registers (PWM-timer block), timer 3 only.
constexpr uint32_t kTimerControl = 0x08;
constexpr uint32_t kTimer3Run = 1u << 16;
constexpr uint32_t kTimerInterrupts = 0x44;

constexpr int kFilterConversions = 10;
constexpr int32_t kMostSamples = 5000;
constexpr int32_t kFewestSamples = 11;

constexpr regs::WindowMessages kAdcMessages = {
    u"Device ADC Control failed to set pointer \n\r",
    u"Device ADC Control failed to map memory to the application \n\r"};
constexpr regs::WindowMessages kAdcTimerMessages = {
    u"Device ADC1 Control failed to set pointer \n\r",
    u"Device ADC1 Control failed to map memory to the application \n\r"};

// 12-bit resolution (bit 16), prescaler enabled (bit 14), the prescaler value
// in bits 13-6 and the channel in bits 5-3. The channel is not masked.
uint32_t ControlWord(int32_t channel, uint8_t prescaler) {
  return (uint32_t(channel) << 3) | ((0x500u | prescaler) << 6);
}

}  // namespace

AdcUnit::AdcUnit() {
  filterMode = 0;
  regs::WindowOpener opener;
  if (!opener.Map(adc, kAdcPhys, kAdcWindow, kAdcMessages)) return;
  savedControl = adc.Read(kAdcControl);
  if (!opener.Map(timer, kTimerPhys, kTimerWindow, kAdcTimerMessages)) return;
  prescaler = 7;
}

AdcUnit::~AdcUnit() {
  adc.Write(kAdcControl, savedControl);
  adc.Close();
  timer.Close();
}

// One conversion: start, wait until it has begun, wait for its end. Both
// waits are busy loops without a time-out, as the converter needs.
uint32_t AdcUnit::Convert() {
  adc.SetBits(kAdcControl, kStart);
  while (adc.Read(kAdcControl) & kStart) {
  }
  while (!(adc.Read(kAdcControl) & kEndOfConversion)) {
  }
  return adc.Read(kAdcData0) & kResultMask;
}

int32_t AdcUnit::Read(int32_t channel) {
  if (adc.IsNull()) return 0;  // no converter window: nothing to convert
  uint32_t control = ControlWord(channel, prescaler);
  adc.Write(kAdcControl, control);
  if (channel != lastChannel) {
    lastChannel = channel;
    adc.Write(kAdcControl, control);
  }

  if (filterMode == 1) {
    // Ten conversions; the three lowest and three highest are dropped and the
    // middle four averaged.
    std::array<uint32_t, kFilterConversions> r{};
    for (auto& result : r) result = Convert();
    std::sort(r.begin(), r.end());
    return int32_t((r[3] + r[4] + r[5] + r[6]) >> 2);
  }

  // Plain mode: timer 3 is stopped and its interrupt masked while the
  // converter works.
  timer.ClearBits(kTimerControl, kTimer3Run);
  timer.Write(kTimerInterrupts, timer.Read(kTimerInterrupts) & 0x17);           // mask timer 3
  timer.Write(kTimerInterrupts, (timer.Read(kTimerInterrupts) & 0x1F) | 0x100);  // clear its pending bit
  uint32_t result = Convert();
  timer.Write(kTimerInterrupts, (timer.Read(kTimerInterrupts) & 0x1F) | 0x100);
  timer.Write(kTimerInterrupts, (timer.Read(kTimerInterrupts) & 0x17) | 0x08);  // unmask timer 3
  timer.SetBits(kTimerControl, kTimer3Run);
  return int32_t(result);
}

int32_t AdcUnit::ReadDetailed(int32_t channel, int32_t count, int32_t n) {
  int32_t samples = std::min(count, kMostSamples);
  if (samples <= 10) samples = kFewestSamples;
  if (n <= 0 || int64_t(n) + 2 > samples) return -1;

  std::unique_ptr<int32_t[]> buffer(new (std::nothrow) int32_t[size_t(samples)]);
  if (!buffer) return -1;

  bool wasFiltering = filterMode != 0;
  filterMode = 1;
  for (int32_t i = 0; i < samples; ++i) buffer[size_t(i)] = Read(channel);
  filterMode = wasFiltering ? 1 : 0;

  std::sort(buffer.get(), buffer.get() + samples);
  int32_t start = (samples - n) / 2;
  int64_t sum = 0;
  for (int32_t i = start; i < start + n; ++i) sum += buffer[size_t(i)];
  return int32_t(sum / n);
}

}  // namespace ferrox

TOLVEX_EXPORT int32_t GetADCData(int32_t channel) { return ferrox::adcUnit.Read(channel); }

TOLVEX_EXPORT int32_t GetDetailFilteringADCData(int32_t channel, int32_t count, int32_t n) {
  return ferrox::adcUnit.ReadDetailed(channel, count, n);
}

TOLVEX_EXPORT void SetFiltering(int32_t mode) { ferrox::adcUnit.filterMode = mode; }

// The converter clock is divided by ratio: the prescaler field is ratio - 1,
// truncated to 8 bits.
TOLVEX_EXPORT void SetADCPrescale(int32_t ratio) {
  ferrox::adcUnit.prescaler = uint8_t(uint32_t(ratio) - 1u);
}
