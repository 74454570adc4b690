// The analogue-to-digital converter unit.
#include "frame.h"

namespace ferrox {

namespace {
constexpr uint32_t kAdcControl = 0x00;
constexpr regs::WindowMessages kAdcMessages = {
    u"Device ADC Control failed to set pointer \n\r",
    u"Device ADC Control failed to map memory to the application \n\r"};
constexpr regs::WindowMessages kAdcTimerMessages = {
    u"Device ADC1 Control failed to set pointer \n\r",
    u"Device ADC1 Control failed to map memory to the application \n\r"};
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

}  // namespace ferrox
