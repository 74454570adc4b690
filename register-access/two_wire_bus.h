// A software-clocked two-wire bus master on two GPIO pins.
//
// The line primitives (set data, set clock, data direction, read data, delay)
// are the only code that touches the registers; the sequences (initialise,
// start, stop, write byte, read byte) are written on them. A library with
// sequences of its own for another kind of bus uses the primitives directly.
#pragma once

#include "register_window.h"

#include <cstdint>

namespace regs {

// The GPIO block the bus lines are in: its physical base and the size of the
// window mapped over it.
inline constexpr uint32_t kGpioPhys = 0x7F008000;
inline constexpr uint32_t kGpioWindow = 0x940;

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

  // False while construction could not map the GPIO window: nothing may then
  // touch the lines.
  bool usable() const { return !gpio.IsNull(); }

  // Line primitives. Each ends with the delay; ReadData delays first.
  void SetData(int v) const;
  void SetClock(int v) const;
  void DataDirection(int out) const;
  int ReadData() const;
  // Yields the processor speed + 1 times (none for a negative speed).
  void Delay() const;

  // Sequences.
  // Lines to output and idle high, the pull write; ackWaitTimeout = -1, speed = 0.
  void Initialise();
  // The data line made an output, then the start or stop condition.
  void Start() const;
  void Stop() const;
  // The conditions alone, for a bus whose data line is already an output:
  // data falls (start) or rises (stop) while the clock is high.
  void StartCondition() const;
  void StopCondition() const;
  // Sends bits 7 to 0 of value; returns the acknowledge level: 0 when the
  // device pulled the data line low, 1 when nobody did.
  int WriteByte(int value) const;
  // Receives one byte, then acknowledges it when ack is 1 (data line low on
  // the ninth clock) and not otherwise.
  int ReadByte(int ack) const;

  const BusPins& pins;
  RegisterWindow gpio;
  int32_t ackWaitTimeout = 0;  // stored only: no sequence waits for an acknowledge
  int32_t speed = 0;

 private:
  void SetLine(unsigned bit, int v) const;
};

}  // namespace regs
