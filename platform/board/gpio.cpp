#include "board/gpio.h"

#include "core/names.h"

namespace orlik::board {

namespace {

// Register offsets of the ports the panel uses. Ports whose pins need more
// than one configuration register (K, L) have CON0 and CON1.
constexpr uint32_t GPBCON = 0x020, GPBDAT = 0x024, GPBPUD = 0x028;
constexpr uint32_t GPCCON = 0x040, GPCDAT = 0x044, GPCPUD = 0x048;
constexpr uint32_t GPFCON = 0x0A0, GPFDAT = 0x0A4, GPFPUD = 0x0A8;
constexpr uint32_t GPKCON0 = 0x800, GPKCON1 = 0x804, GPKDAT = 0x808, GPKPUD = 0x80C;
constexpr uint32_t GPLCON0 = 0x810, GPLCON1 = 0x814, GPLDAT = 0x818, GPLPUD = 0x81C;
constexpr uint32_t GPMCON = 0x820, GPMDAT = 0x824, GPMPUD = 0x828;
constexpr uint32_t GPNCON = 0x830, GPNDAT = 0x834, GPNPUD = 0x838;
constexpr uint32_t GPPCON = 0x160, GPPDAT = 0x164, GPPPUD = 0x168;
constexpr uint32_t GPQCON = 0x180, GPQDAT = 0x184, GPQPUD = 0x188;
constexpr uint32_t kPortSpan = 0x10;  // a port's registers, from its first

constexpr std::array<HwPort, kHwPortCount> kHwPorts = {{
    {'B', 7, 4, GPBCON},
    {'C', 8, 4, GPCCON},
    {'F', 16, 2, GPFCON},
    {'K', 16, 4, GPKCON0},
    {'L', 15, 4, GPLCON0},
    {'M', 6, 4, GPMCON},
    {'N', 16, 2, GPNCON},
    {'P', 15, 2, GPPCON},
    {'Q', 9, 2, GPQCON},
}};

// What a port's register holds.
enum class PortRegister { kCon0, kCon1, kDat, kPud, kNone };

PortRegister RegisterAt(uint32_t offset) {
  switch (offset) {
    case GPBCON: case GPCCON: case GPFCON: case GPKCON0: case GPLCON0:
    case GPMCON: case GPNCON: case GPPCON: case GPQCON:
      return PortRegister::kCon0;
    case GPKCON1: case GPLCON1:
      return PortRegister::kCon1;
    case GPBDAT: case GPCDAT: case GPFDAT: case GPKDAT: case GPLDAT:
    case GPMDAT: case GPNDAT: case GPPDAT: case GPQDAT:
      return PortRegister::kDat;
    case GPBPUD: case GPCPUD: case GPFPUD: case GPKPUD: case GPLPUD:
    case GPMPUD: case GPNPUD: case GPPPUD: case GPQPUD:
      return PortRegister::kPud;
    default:
      return PortRegister::kNone;
  }
}
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
  port = UpperAscii(port);
  for (auto& p : ports_)
    if (p.desc->letter == port) return &p;
  return nullptr;
}

Gpio::PortState* Gpio::Owner(uint32_t offset) {
  for (auto& p : ports_)
    if (offset >= p.desc->base && offset < p.desc->base + kPortSpan) return &p;
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

// Owner(offset) is a port for every offset RegisterAt names.
uint32_t Gpio::Read(uint32_t offset) {
  PortState* p = Owner(offset);
  switch (RegisterAt(offset)) {
    case PortRegister::kCon0: return p->con[0];
    case PortRegister::kCon1: return p->con[1];
    case PortRegister::kDat: {
      // Output pins read back what the processor drives (a read-modify-write
      // of one bit keeps the others); an open-drain line pulled low from
      // outside shows at the pin only.
      uint32_t v = 0;
      for (int i = 0; i < p->desc->pins; ++i)
        v |= (Mode(p->desc->letter, i) == kPinOutput ? (p->dat >> i) & 1u : uint32_t(Compute(*p, i))) << i;
      return v;
    }
    case PortRegister::kPud: return p->pud;
    case PortRegister::kNone: break;
  }
  // A register the model does not know keeps what was written to it.
  for (auto& [off, value] : other_)
    if (off == offset) return value;
  UnknownRead(offset);
  return 0;
}

void Gpio::Write(uint32_t offset, uint32_t value) {
  PortState* p = Owner(offset);
  switch (RegisterAt(offset)) {
    case PortRegister::kCon0: p->con[0] = value; break;
    case PortRegister::kCon1: p->con[1] = value; break;
    case PortRegister::kDat: p->dat = value & ((1u << p->desc->pins) - 1); break;
    case PortRegister::kPud: p->pud = value; break;
    case PortRegister::kNone:
      for (auto& [off, v] : other_) {
        if (off == offset) {
          v = value;
          return;
        }
      }
      UnknownWrite(offset, value);
      other_.emplace_back(offset, value);
      return;
  }
  SettleState(*p);
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
