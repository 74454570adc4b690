// The video decoder chip on the main two-wire bus (0xB8 write, 0xB9 read)
// and the two select lines that, with the decoder's input register, choose
// one of the four camera inputs.
#pragma once

#include "two_wire_bus.h"

#include <tolvex/non_copyable.h>

#include <cstdint>

namespace vistrel {

// Port N pins 13 and 14 of the GPIO block, in a register window of their own.
class SelectLines : tolvex::NonCopyable {
 public:
  SelectLines();
  ~SelectLines();

  // Both pins to outputs with pull-ups.
  void Configure() const;
  // Codes 0, 1, 10 and 11 (pin 14, pin 13 as decimal digits); any other
  // code changes nothing.
  void Set(int code) const;

  regs::RegisterWindow window;  // selectWindow
};

// A TwoWireBus on the main bus's pins (its window is busWindow) with the
// decoder's own start, stop, byte write and byte read. The line primitives
// and the initialisation are the TwoWireBus's.
class DecoderBus : public regs::TwoWireBus {
 public:
  DecoderBus();

  void DecoderStart() const;
  void DecoderStop() const;
  // The ninth clock drives the data line with `ninth`; the acknowledge is
  // not read.
  void DecoderWriteByte(int value, int ninth) const;
  int DecoderReadByte(int ack) const;

  void WriteDecoderRegister(int reg, int value) const;
  int ReadDecoderRegister(int reg) const;
  // The nineteen writes of the set-up table, in order.
  void DecoderSetup() const;
  // Reads the identification; true when it is 0x51.
  bool CheckDecoder() const;
};

}  // namespace vistrel
