#include "two_wire_bus.h"

namespace regs {

namespace {
constexpr uint32_t kOutput = 1;
constexpr uint32_t kInput = 0;
}  // namespace

TwoWireBus::TwoWireBus(const BusPins& busPins) : pins(busPins) {
  WindowOpener opener;
  opener.Map(gpio, kGpioPhys, kGpioWindow);
}

TwoWireBus::~TwoWireBus() { gpio.Close(); }

// --- line primitives -------------------------------------------------------

void TwoWireBus::Delay() const {
  for (int64_t i = 0; i <= int64_t(speed); ++i) Sleep(0);
}

void TwoWireBus::SetLine(unsigned bit, int v) const {
  uint32_t data = gpio.Read(pins.data);
  data = v == 1 ? (data | (1u << bit)) : (data & ~(1u << bit));
  gpio.Write(pins.data, data);
  Delay();
}

void TwoWireBus::SetData(int v) const { SetLine(pins.sdaBit, v); }

void TwoWireBus::SetClock(int v) const { SetLine(pins.sclBit, v); }

void TwoWireBus::DataDirection(int out) const {
  gpio.WriteField(pins.conf, pins.sdaShift, pins.fieldWidth, out == 1 ? kOutput : kInput);
  Delay();
}

int TwoWireBus::ReadData() const {
  Delay();
  return (gpio.Read(pins.data) >> pins.sdaBit) & 1 ? 1 : 0;
}

// --- sequences ---------------------------------------------------------------

void TwoWireBus::Initialise() {
  // Clock first: with the clock already low, the data line may change
  // without the devices seeing a start or stop condition.
  gpio.WriteField(pins.conf, pins.sclShift, pins.fieldWidth, kOutput);
  gpio.WriteField(pins.conf, pins.sdaShift, pins.fieldWidth, kOutput);
  gpio.WriteField(pins.pull, pins.pullShift, pins.pullWidth, pins.pullValue);
  SetData(1);
  SetClock(1);
  ackWaitTimeout = -1;
  speed = 0;
}

void TwoWireBus::Start() const {
  DataDirection(1);
  StartCondition();
}

void TwoWireBus::Stop() const {
  DataDirection(1);
  StopCondition();
}

void TwoWireBus::StartCondition() const {
  SetData(1);
  SetClock(1);
  SetData(0);  // data falls while the clock is high: start
  SetClock(0);
}

void TwoWireBus::StopCondition() const {
  SetData(0);
  SetClock(0);
  SetClock(1);
  SetData(1);  // data rises while the clock is high: stop
}

int TwoWireBus::WriteByte(int value) const {
  for (int i = 0; i < 8; ++i) {
    SetData((value >> (7 - i)) & 1);
    SetClock(1);
    SetClock(0);
  }
  SetData(0);
  // The acknowledge: the device holds the data line low through the ninth clock.
  SetClock(0);
  DataDirection(0);
  SetClock(1);
  int ack = ReadData();  // 0: acknowledged
  SetClock(0);
  DataDirection(1);
  SetData(0);
  return ack;
}

int TwoWireBus::ReadByte(int ack) const {
  int result = 0;
  DataDirection(0);
  for (int i = 0; i < 8; ++i) {
    SetClock(1);
    int bit = ReadData();
    SetClock(0);
    result |= bit << (7 - i);
  }
  DataDirection(1);
  SetData(ack == 1 ? 0 : 1);
  SetClock(1);
  SetClock(0);
  SetData(1);
  return result;
}

}  // namespace regs
