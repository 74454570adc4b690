// The parts on the panel's two-wire buses: the two-channel analogue output
// converter on the main bus and the external counter modules.
#pragma once

#include "board/two_wire/two_wire.h"

#include <array>
#include <cstdint>
#include <vector>

namespace orlik::board {

// Two 16-bit outputs: output 1 at 0x98, output 2 at 0x9A (8-bit write
// addresses). A transfer writes the high byte, then the low byte; the output
// takes the value with the low byte. Further bytes and reads are not
// acknowledged.
class AnalogueOutputConverter final : public TwoWireDevice {
 public:
  static constexpr uint8_t kOutput1 = 0x98 >> 1;
  static constexpr uint8_t kOutput2 = 0x9A >> 1;

  const char* Name() const override { return "analogue output converter"; }
  bool Answers(uint8_t address) const override { return address == kOutput1 || address == kOutput2; }
  bool Select(uint8_t address, bool read) override;
  bool Receive(uint8_t byte) override;
  uint8_t Transmit() override { return 0xFF; }
  void Reset() override;

  // The last value of the output at an 8-bit address (0x98, 0x9A); -1 for
  // another address.
  int Value(int address) const;
  int Updates(int address) const;

 private:
  std::array<int, 2> values_ = {0, 0};
  std::array<int, 2> updates_ = {0, 0};
  int channel_ = 0;
  int received_ = 0;
  uint8_t high_ = 0;
};

// A counter module at 0x1E / 0x1F: four pulse counters, two encoder counts,
// four input pin status bytes, a mode, a counter data width and a firmware
// version, reached by one command byte after the write address.
//
// Counter values go out least significant byte first followed by a check
// byte, the sum of the data bytes modulo 256, or 0xAA when the value is 0.
// The data width decides how many data bytes a counter read sends: 8 while
// the width is 64, 4 otherwise. Encoder reads always send 4.
class CounterModuleModel final : public TwoWireDevice {
 public:
  static constexpr uint8_t kAddress = 0x1E >> 1;

  const char* Name() const override { return "counter module"; }
  bool Answers(uint8_t address) const override { return address == kAddress; }
  bool Select(uint8_t address, bool read) override;
  bool Receive(uint8_t byte) override;
  uint8_t Transmit() override;
  void End() override;
  void Reset() override;

  // Counters 1-4, encoders 5-6.
  bool SetCount(int index, uint64_t value);
  bool Count(int index, uint64_t* value) const;
  // Adds pulses to a counter unless it is paused.
  bool Pulse(int counter, uint64_t pulses);
  bool SetPinStatus(int pin, uint8_t status);
  void SetFirmware(uint8_t version) { firmware_ = version; }

  uint8_t mode() const { return mode_; }
  uint8_t width() const { return width_; }
  // Bit i set: counter i + 1 is paused.
  int pausedMask() const;

  // Faults. A check byte forced to a value (-1: the true one); the two
  // identification bytes; how many of the next mode and width settings are
  // dropped (-1: all of them).
  void ForceCheckByte(int value) { forcedCheck_ = value; }
  void SetIdentity(uint8_t first, uint8_t second) { identity_ = {first, second}; }
  void DropSettings(int count) { dropSettings_ = count; }
  int commands() const { return commands_; }

 private:
  void Execute(uint8_t command, int argument);
  void PrepareAnswer();
  void AddValue(uint64_t value, int bytes);
  bool TakeSetting();

  std::array<uint64_t, 4> counters_{};
  std::array<uint32_t, 2> encoders_{};
  std::array<bool, 4> paused_{};
  std::array<uint8_t, 4> pins_{};
  uint8_t mode_ = 0;
  uint8_t width_ = 32;
  uint8_t firmware_ = 0x13;
  std::array<uint8_t, 2> identity_ = {0x4D, 0x21};
  int forcedCheck_ = -1;
  int dropSettings_ = 0;
  int commands_ = 0;

  // The transfer in progress.
  bool reading_ = false;
  int received_ = 0;
  uint8_t command_ = 0;
  bool haveCommand_ = false;
  std::vector<uint8_t> answer_;
  size_t sent_ = 0;
};

// The parts the board wires to its buses.
AnalogueOutputConverter& Converter();
// "A1", "A2", "B1", "B2"; null for another name.
CounterModuleModel* FindCounterModule(std::string_view module);
TwoWireBus* CounterModuleBus(std::string_view module);

}  // namespace orlik::board
