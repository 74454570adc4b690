#pragma once

#include "register_window.h"

#include <cstdint>

namespace ferrox {

class AdcUnit {
 public:
  AdcUnit();
  virtual ~AdcUnit();

  // One reading of the channel in the current mode (0-4095).
  int32_t Read(int32_t channel);
  // The trimmed mean of many filtered readings; -1 for bad arguments.
  int32_t ReadDetailed(int32_t channel, int32_t count, int32_t n);

  regs::RegisterWindow adc;
  regs::RegisterWindow timer;
  uint8_t prescaler = 7;
  int32_t filterMode = 0;
  uint32_t savedControl = 0;

 private:
  uint32_t Convert();
};

}  // namespace ferrox
