// GPIO ports A to H: six operations per port, written once over kPorts.
#include "frame.h"
#include "ports.h"

namespace ferrox {

namespace {

constexpr BitRef Bit(uint16_t conf, uint8_t shift, uint8_t width, uint16_t data, uint8_t dataBit) {
  return {conf, shift, width, data, dataBit};
}

constexpr uint8_t kWhole = 32;
constexpr PullWrite kNoPull = {0, 0, 0, 0};

// Port with bit i on one hardware port: field i of conf, bit dataShift+i of data.
constexpr PortDescription Simple(char letter, uint8_t width, uint16_t conf, uint8_t fieldWidth,
                                 uint16_t data, uint8_t dataShift, PullWrite pull) {
  PortDescription p{letter, width, {}, {pull, kNoPull}, {data, 0}, 1};
  for (uint8_t i = 0; i < 8; ++i)
    p.bits[i] = Bit(conf, uint8_t(fieldWidth * i), fieldWidth, data, uint8_t(dataShift + i));
  return p;
}

constexpr PortDescription PortB() {
  PortDescription p{'B', 8, {}, {{{0x168, 16, 12, 0xAAA}, {0x28, 10, 4, 0b1010}}}, {0x164, 0x024}, 2};
  for (uint8_t i = 0; i < 6; ++i) p.bits[i] = Bit(0x160, uint8_t(16 + 2 * i), 2, 0x164, uint8_t(8 + i));
  p.bits[6] = Bit(0x020, 24, 4, 0x024, 6);  // HW-B6
  p.bits[7] = Bit(0x020, 20, 4, 0x024, 5);  // HW-B5
  return p;
}

constexpr PortDescription PortG() {
  PortDescription p{'G', 8, {}, {{{0x81C, 0, kWhole, 0xAAAAAAAA}, {0x828, 8, 2, 0b10}}}, {0x818, 0x824}, 2};
  for (uint8_t i = 0; i < 7; ++i) p.bits[i] = Bit(0x814, uint8_t(4 * i), 4, 0x818, uint8_t(8 + i));
  p.bits[7] = Bit(0x820, 16, 4, 0x824, 4);  // HW-M4
  return p;
}

void SetConfigField(const regs::RegisterWindow& gpio, const BitRef& b, bool output) {
  uint32_t mask = ((1u << b.width) - 1) << b.shift;
  gpio.Write(b.conf, gpio.Read(b.conf) & ~mask);
  if (output) gpio.Write(b.conf, gpio.Read(b.conf) | (1u << b.shift));
}

void PullWrites(const regs::RegisterWindow& gpio, const PortDescription& port) {
  for (const PullWrite& w : port.pulls) {
    if (w.width == kWhole)
      gpio.Write(w.offset, w.value);
    else if (w.width != 0)
      gpio.WriteField(w.offset, w.shift, w.width, w.value);
  }
}

bool InRange(const PortDescription& port, int32_t bit) { return bit >= 0 && bit < port.width; }

void SetBitCfg(const PortDescription& port, int32_t bit, int32_t cfg) {
  const auto& gpio = portBank.gpio;
  if (gpio.IsNull()) return;
  if (InRange(port, bit)) SetConfigField(gpio, port.bits[size_t(bit)], cfg == 1);
  PullWrites(gpio, port);
}

int32_t SetCfg(const PortDescription& port, int32_t mask) {
  if (portBank.gpio.IsNull()) return 0;
  for (int32_t i = 0; i < port.width; ++i) SetBitCfg(port, i, (mask >> i) & 1);
  return 1;
}

void SetBit(const PortDescription& port, int32_t bit, int32_t value) {
  const auto& gpio = portBank.gpio;
  if (gpio.IsNull() || !InRange(port, bit)) return;
  const BitRef& b = port.bits[size_t(bit)];
  uint32_t v = gpio.Read(b.data);
  v = value == 1 ? (v | (1u << b.dataBit)) : (v & ~(1u << b.dataBit));
  gpio.Write(b.data, v);
}

void SetData(const PortDescription& port, int32_t data) {
  for (int32_t i = 0; i < port.width; ++i) SetBit(port, i, (data >> i) & 1);
}

int32_t GetBit(const PortDescription& port, int32_t bit) {
  const auto& gpio = portBank.gpio;
  if (gpio.IsNull() || !InRange(port, bit)) return 0;
  const BitRef& b = port.bits[size_t(bit)];
  return int32_t((gpio.Read(b.data) >> b.dataBit) & 1);
}

int32_t GetData(const PortDescription& port) {
  if (portBank.gpio.IsNull()) return 0;
  return ReadPortByte(portBank.gpio, port);
}

}  // namespace

const std::array<PortDescription, 8> kPorts = {{
    Simple('A', 8, 0x800, 4, 0x808, 0, {0x80C, 0, kWhole, 0xAAAAAAAA}),
    PortB(),
    Simple('C', 8, 0x804, 4, 0x808, 8, {0x80C, 0, kWhole, 0xAAAAAAAA}),
    Simple('D', 8, 0x180, 2, 0x184, 0, {0x188, 0, kWhole, 0xAAAAAAAA}),
    Simple('E', 8, 0x810, 4, 0x818, 0, {0x81C, 0, kWhole, 0xAAAAAAAA}),
    Simple('F', 8, 0x830, 2, 0x834, 0, {0x838, 0, kWhole, 0xAAAAAAAA}),
    PortG(),
    Simple('H', 4, 0x040, 4, 0x044, 0, {0x048, 0, 8, 0xAA}),
}};

int ReadPortByte(const regs::RegisterWindow& gpio, const PortDescription& port) {
  uint32_t values[2] = {0, 0};
  for (uint8_t k = 0; k < port.dataRegCount; ++k) values[k] = gpio.Read(port.dataRegs[k]);
  int byte = 0;
  for (uint8_t i = 0; i < port.width; ++i) {
    const BitRef& b = port.bits[i];
    uint32_t reg = b.data == port.dataRegs[0] ? values[0] : values[1];
    byte |= int((reg >> b.dataBit) & 1) << i;
  }
  return byte;
}

}  // namespace ferrox

using ferrox::kPorts;

#define FERROX_PORT(L, index)                                                                     \
  TOLVEX_EXPORT int32_t SetPort##L##Cfg(int32_t mask) { return ferrox::SetCfg(kPorts[index], mask); } \
  TOLVEX_EXPORT void SetPort##L##BitCfg(int32_t bit, int32_t cfg) {                               \
    ferrox::SetBitCfg(kPorts[index], bit, cfg);                                                   \
  }                                                                                               \
  TOLVEX_EXPORT void SetPort##L##Bit(int32_t bit, int32_t value) {                                \
    ferrox::SetBit(kPorts[index], bit, value);                                                    \
  }                                                                                               \
  TOLVEX_EXPORT void SetPort##L##Data(int32_t data) { ferrox::SetData(kPorts[index], data); }     \
  TOLVEX_EXPORT int32_t GetPort##L##Bit(int32_t bit) { return ferrox::GetBit(kPorts[index], bit); } \
  TOLVEX_EXPORT int32_t GetPort##L##Data() { return ferrox::GetData(kPorts[index]); }

FERROX_PORT(A, 0)
FERROX_PORT(B, 1)
FERROX_PORT(C, 2)
FERROX_PORT(D, 3)
FERROX_PORT(E, 4)
FERROX_PORT(F, 5)
FERROX_PORT(G, 6)
FERROX_PORT(H, 7)
