// The S3C6410 GPIO block: configuration, data and pull registers of the
// hardware ports the panel uses, and the level of every pin.
#pragma once

#include "board/board.h"

#include <array>
#include <functional>

namespace orlik::board {

struct HwPort {
  char letter;
  uint8_t pins;
  uint8_t fieldBits;       // width of a configuration field: 4 or 2
  uint16_t con[2];         // configuration registers (second 0 when one suffices)
  uint16_t dat;
  uint16_t pud;
};

// Hardware ports modelled, with their register offsets.
inline constexpr std::array<HwPort, 9> kHwPorts = {{
    {'B', 7, 4, {0x020, 0}, 0x024, 0x028},
    {'C', 8, 4, {0x040, 0}, 0x044, 0x048},
    {'F', 16, 2, {0x0A0, 0}, 0x0A4, 0x0A8},
    {'K', 16, 4, {0x800, 0x804}, 0x808, 0x80C},
    {'L', 15, 4, {0x810, 0x814}, 0x818, 0x81C},
    {'M', 6, 4, {0x820, 0}, 0x824, 0x828},
    {'N', 16, 2, {0x830, 0}, 0x834, 0x838},
    {'P', 15, 2, {0x160, 0}, 0x164, 0x168},
    {'Q', 9, 2, {0x180, 0}, 0x184, 0x188},
}};

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
  int Compute(PortState& p, int pin);
  void SettleState(PortState& p);

  std::array<PortState, kHwPorts.size()> ports_;
  std::vector<std::pair<uint32_t, uint32_t>> other_;  // registers no port owns
  std::vector<std::pair<int, Listener>> listeners_;
  int nextListener_ = 1;
};

}  // namespace orlik::board
