// The eight logical ports A to H as a table: for every logical bit, the
// hardware pin's configuration field and data bit; for every port, the pull
// writes that follow each configuration call.
#pragma once

#include "register_window.h"

#include <array>
#include <cstdint>

namespace ferrox {

struct BitRef {
  uint16_t conf;      // configuration register offset
  uint8_t shift;      // first bit of the configuration field
  uint8_t width;      // 4 or 2
  uint16_t data;      // data register offset
  uint8_t dataBit;
};

// One pull write: the whole register (width 32) or a read-modify-write of a field.
struct PullWrite {
  uint16_t offset;
  uint8_t shift;
  uint8_t width;
  uint32_t value;
};

struct PortDescription {
  char letter;
  uint8_t width;                   // 8, or 4 for port H
  std::array<BitRef, 8> bits;
  std::array<PullWrite, 2> pulls;  // width 0 marks an unused entry
  std::array<uint16_t, 2> dataRegs;  // read in this order to compose the port byte
  uint8_t dataRegCount;
};

extern const std::array<PortDescription, 8> kPorts;

// The port byte, read as the port-byte table composes it (one read of each
// data register, in order).
int ReadPortByte(const regs::RegisterWindow& gpio, const PortDescription& port);

}  // namespace ferrox
