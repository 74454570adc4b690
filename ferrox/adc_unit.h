#pragma once

#include "register_window.h"

#include <cstdint>

namespace ferrox {

class AdcUnit {
 public:
  AdcUnit();
  virtual ~AdcUnit();

  regs::RegisterWindow adc;
  regs::RegisterWindow timer;
  uint8_t prescaler = 7;
  int32_t filterMode = 0;
  uint32_t savedControl = 0;
};

}  // namespace ferrox
