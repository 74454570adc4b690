// The S3C6410 GPIO block: configuration, data and pull registers of the
// hardware ports the panel uses, and the level of every pin.
#pragma once

#include "board/board.h"

#include <array>
#include <functional>

namespace orlik::board {

// A hardware port the model has (the table is in gpio.cpp).
struct HwPort {
  char letter;
  uint8_t pins;
  uint8_t fieldBits;  // width of a configuration field: 4 or 2
  uint16_t base;      // offset of its first register
};
inline constexpr size_t kHwPortCount = 9;

enum PinMode { kPinInput = 0, kPinOutput = 1 };  // 2 and above: a function
enum PullMode { kPullNone = 0, kPullDown = 1, kPullUp = 2 };

class Gpio final : public Block {
 public:
  Gpio();
  const char* Name() const override { return "GPIO"; }
  uint32_t Read(uint32_t offset) override;
  void Write(uint32_t offset, uint32_t value) override;
  void Reset() override;

  // -1 for a port or pin the model does not have.
  int Mode(char port, int pin);
  int Level(char port, int pin);
  int Pull(char port, int pin);
  int Latch(char port, int pin);

  // The level an outside part puts on an input pin; -1 releases it.
  void DriveExternal(char port, int pin, int level);
  int ExternalLevel(char port, int pin);
  // A resistor on the board pulls the line up when nothing drives it and the
  // pull field is off (open-drain bus lines). Such a line is low while an
  // outside part pulls it low, even when the processor drives it high (the
  // data register still reads back the processor's high).
  void SetBoardPullUp(char port, int pin, bool present);
  // Level of a pin while its configuration selects a function (a timer output);
  // without a source such a pin reads 0.
  void SetFunctionLevel(char port, int pin, std::function<int(int mode)> source);

  // Called synchronously, under the board lock, for every change of a pin's
  // level, whoever caused it. Returns an id for RemoveListener.
  using Listener = std::function<void(char port, int pin, int level)>;
  int AddListener(Listener listener);
  void RemoveListener(int id);
  // Re-evaluates a port's pins and tells listeners of changes; models call it
  // when something they own (a function output) changed.
  void Settle(char port);

 private:
  struct PinState {
    int external = -1;
    bool boardPullUp = false;
    int lastLevel = 0;
    std::function<int(int)> function;
  };
  struct PortState {
    const HwPort* desc;
    uint32_t con[2];
    uint32_t dat;
    uint32_t pud;
    std::array<PinState, 16> pins;
  };
  PortState* Find(char port);
  PortState* Owner(uint32_t offset);
  int Compute(PortState& p, int pin);
  void SettleState(PortState& p);

  std::array<PortState, kHwPortCount> ports_;
  std::vector<std::pair<uint32_t, uint32_t>> other_;  // registers no port owns
  std::vector<std::pair<int, Listener>> listeners_;
  int nextListener_ = 1;
};

}  // namespace orlik::board
