#include "board/gpio.h"

#include <cstdio>

namespace orlik::board {

namespace {
// Power-on pull setting of the S3C6410: pull-down on every pin.
uint32_t ResetPud(const HwPort& d) {
  uint32_t v = 0;
  for (int i = 0; i < d.pins; ++i) v |= 1u << (2 * i);
  return v;
}
}  // namespace

Gpio::Gpio() {
  for (size_t i = 0; i < kHwPorts.size(); ++i) ports_[i].desc = &kHwPorts[i];
  Reset();
}

void Gpio::Reset() {
  for (auto& p : ports_) {
    p.con[0] = p.con[1] = 0;
    p.dat = 0;
    p.pud = ResetPud(*p.desc);
    // Outside drives end; the board's own wiring (pull-up resistors,
    // function sources) stays.
    for (auto& pin : p.pins) pin.external = -1;
  }
  other_.clear();
  for (auto& p : ports_) {
    for (int i = 0; i < p.desc->pins; ++i) p.pins[i].lastLevel = Compute(p, i);
  }
}

Gpio::PortState* Gpio::Find(char port) {
  if (port >= 'a' && port <= 'z') port = char(port - 32);
  for (auto& p : ports_)
    if (p.desc->letter == port) return &p;
  return nullptr;
}

int Gpio::Compute(PortState& p, int pin) {
  const HwPort& d = *p.desc;
  int perReg = d.fieldBits == 4 ? 8 : 16;
  uint32_t con = p.con[pin / perReg];
  uint32_t mask = (1u << d.fieldBits) - 1;
  int mode = int((con >> (d.fieldBits * (pin % perReg))) & mask);
  PinState& s = p.pins[pin];
  if (mode == kPinOutput) {
    int latch = int((p.dat >> pin) & 1);
    // A line with a pull-up resistor on the board is wired open drain: a part
    // pulling it low wins over the processor's high.
    return latch && s.boardPullUp && s.external == 0 ? 0 : latch;
  }
  if (mode != kPinInput) return s.function ? (s.function(mode) ? 1 : 0) : 0;
  if (s.external >= 0) return s.external;
  int pull = int((p.pud >> (2 * pin)) & 3);
  if (pull == kPullUp) return 1;
  if (pull == kPullDown) return 0;
  return s.boardPullUp ? 1 : 0;
}

void Gpio::SettleState(PortState& p) {
  for (int i = 0; i < p.desc->pins; ++i) {
    int level = Compute(p, i);
    if (level == p.pins[i].lastLevel) continue;
    p.pins[i].lastLevel = level;
    // Copy: a listener may add or remove listeners.
    auto listeners = listeners_;
    for (auto& [id, listener] : listeners) listener(p.desc->letter, i, level);
  }
}

void Gpio::Settle(char port) {
  if (auto* p = Find(port)) SettleState(*p);
}

uint32_t Gpio::Read(uint32_t offset) {
  for (auto& p : ports_) {
    const HwPort& d = *p.desc;
    if (offset == d.con[0] || (d.con[1] && offset == d.con[1])) return p.con[offset == d.con[0] ? 0 : 1];
    if (offset == d.pud) return p.pud;
    if (offset == d.dat) {
      // Output pins read back what the processor drives (a read-modify-write
      // of one bit keeps the others); an open-drain line pulled low from
      // outside shows at the pin only.
      uint32_t v = 0;
      for (int i = 0; i < d.pins; ++i)
        v |= (Mode(d.letter, i) == kPinOutput ? (p.dat >> i) & 1u : uint32_t(Compute(p, i))) << i;
      return v;
    }
  }
  for (auto& [off, value] : other_)
    if (off == offset) return value;
  return 0;
}

void Gpio::Write(uint32_t offset, uint32_t value) {
  for (auto& p : ports_) {
    const HwPort& d = *p.desc;
    bool hit = true;
    if (offset == d.con[0]) {
      p.con[0] = value;
    } else if (d.con[1] && offset == d.con[1]) {
      p.con[1] = value;
    } else if (offset == d.dat) {
      p.dat = value & ((1u << d.pins) - 1);
    } else if (offset == d.pud) {
      p.pud = value;
    } else {
      hit = false;
    }
    if (hit) {
      SettleState(p);
      return;
    }
  }
  for (auto& [off, v] : other_) {
    if (off == offset) {
      v = value;
      return;
    }
  }
  char line[96];
  std::snprintf(line, sizeof line, "GPIO: write 0x%08X to unmodelled offset 0x%03X", value, offset);
  Board::Get().Log(line);
  other_.emplace_back(offset, value);
}

int Gpio::Mode(char port, int pin) {
  auto* p = Find(port);
  if (!p || pin < 0 || pin >= p->desc->pins) return -1;
  const HwPort& d = *p->desc;
  int perReg = d.fieldBits == 4 ? 8 : 16;
  return int((p->con[pin / perReg] >> (d.fieldBits * (pin % perReg))) & ((1u << d.fieldBits) - 1));
}

int Gpio::Level(char port, int pin) {
  auto* p = Find(port);
  if (!p || pin < 0 || pin >= p->desc->pins) return -1;
  return Compute(*p, pin);
}

int Gpio::Pull(char port, int pin) {
  auto* p = Find(port);
  if (!p || pin < 0 || pin >= p->desc->pins) return -1;
  return int((p->pud >> (2 * pin)) & 3);
}

int Gpio::Latch(char port, int pin) {
  auto* p = Find(port);
  if (!p || pin < 0 || pin >= p->desc->pins) return -1;
  return int((p->dat >> pin) & 1);
}

void Gpio::DriveExternal(char port, int pin, int level) {
  auto* p = Find(port);
  if (!p || pin < 0 || pin >= p->desc->pins) return;
  p->pins[pin].external = level < 0 ? -1 : (level ? 1 : 0);
  SettleState(*p);
}

int Gpio::ExternalLevel(char port, int pin) {
  auto* p = Find(port);
  if (!p || pin < 0 || pin >= p->desc->pins) return -1;
  return p->pins[pin].external;
}

void Gpio::SetBoardPullUp(char port, int pin, bool present) {
  auto* p = Find(port);
  if (!p || pin < 0 || pin >= p->desc->pins) return;
  p->pins[pin].boardPullUp = present;
  SettleState(*p);
}

void Gpio::SetFunctionLevel(char port, int pin, std::function<int(int)> source) {
  auto* p = Find(port);
  if (!p || pin < 0 || pin >= p->desc->pins) return;
  p->pins[pin].function = std::move(source);
  SettleState(*p);
}

int Gpio::AddListener(Listener listener) {
  int id = nextListener_++;
  listeners_.emplace_back(id, std::move(listener));
  return id;
}

void Gpio::RemoveListener(int id) {
  std::erase_if(listeners_, [id](auto& entry) { return entry.first == id; });
}

}  // namespace orlik::board
