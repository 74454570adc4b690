// A software-clocked two-wire bus master on two GPIO pins.
#pragma once

#include "register_window.h"

#include <cstdint>

namespace regs {

// Where a bus's lines are: data register bits and configuration fields, and
// the pull field written at initialisation.
struct BusPins {
  uint16_t data;         // data register offset (both lines share it)
  uint8_t sdaBit;
  uint8_t sclBit;
  uint16_t conf;         // configuration register offset (both lines share it)
  uint8_t sdaShift;
  uint8_t sclShift;
  uint8_t fieldWidth;    // 4 or 2
  uint16_t pull;         // pull register offset
  uint8_t pullShift;
  uint8_t pullWidth;
  uint32_t pullValue;
};

class TwoWireBus {
 public:
  explicit TwoWireBus(const BusPins& pins);
  virtual ~TwoWireBus();

  const BusPins& pins;
  RegisterWindow gpio;
  int32_t ackWaitTimeout = 0;
  int32_t speed = 0;
};

}  // namespace regs
