// Battery, external supply and power-off: the battery on converter channel 0,
// the external-supply detect input on port B bit 4 (reads 0 while the supply
// is present) and the power-off output on port B bit 5.
#include "frame.h"

#include <tolvex/ferrox.h>

#include <algorithm>
#include <array>
#include <cmath>

namespace ferrox {
namespace {
constexpr int32_t kBatteryChannel = 0;
constexpr int32_t kSupplyDetectBit = 4;
constexpr int32_t kPowerOffBit = 5;
}  // namespace
}  // namespace ferrox

using namespace ferrox;

// The mean of the middle ten of twenty readings, scaled so that 4096 counts
// are 10 V, plus the offset while the external supply is present.
TOLVEX_EXPORT double GetBatteryVoltage() {
  std::array<int32_t, 20> readings{};
  for (auto& r : readings) r = GetADCData(kBatteryChannel);
  std::sort(readings.begin(), readings.end());
  double sum = 0.0;
  for (size_t i = 5; i < 15; ++i) sum += double(readings[i]);
  double volts = sum * 0.1 * 0.000244140625 * 10.0;
  if (IsExtDCPowerIN() == 1) volts += externalSupplyOffset;
  return volts;
}

TOLVEX_EXPORT double GetBatteryVoltage1(double* out) {
  double volts = GetBatteryVoltage();
  if (out != nullptr) *out = volts;
  return volts;
}

// Equal limits give no span to scale by: 0 rather than a conversion of an
// infinite or undefined value.
TOLVEX_EXPORT int32_t GetBatteryPercent() {
  double span = batteryFullVoltage - batteryEmptyVoltage;
  double v = GetBatteryVoltage();
  if (span == 0.0) return 0;
  double p = (v - batteryEmptyVoltage) / span * 100.0;
  if (std::isnan(p)) return 0;
  if (p >= 101.0) return 100;
  if (p <= -1.0) return 0;
  int32_t percent = int32_t(p);  // truncated toward zero
  return std::clamp(percent, 0, 100);
}

TOLVEX_EXPORT void SetBatteryVoltageLimit(double full, double empty) {
  batteryFullVoltage = full;
  batteryEmptyVoltage = empty;
  SetFiltering(1);
  SetADCPrescale(49);  // prescaler value 48
}

TOLVEX_EXPORT void SetExtDCPowerInOffsetVoltage(double offset) { externalSupplyOffset = offset; }

TOLVEX_EXPORT int32_t IsExtDCPowerIN() {
  if (portBank.gpio.IsNull()) return 0;  // no GPIO window: nothing to read
  SetPortBBitCfg(kSupplyDetectBit, 0);
  return GetPortBBit(kSupplyDetectBit) == 0 ? 1 : 0;
}

TOLVEX_EXPORT void PowerOFF() {
  SetPortBBitCfg(kPowerOffBit, 1);
  SetPortBBit(kPowerOffBit, 1);
}
