// The eight ports, checked on the simulated pins.
#include "ferrox_fixture.h"

using namespace ferrox_test;

namespace {

struct HwPin {
  char port;
  int pin;
};

// Logical bit to hardware pin, written out independently of the library.
const std::vector<std::vector<HwPin>> kWiring = {
    {{'K', 0}, {'K', 1}, {'K', 2}, {'K', 3}, {'K', 4}, {'K', 5}, {'K', 6}, {'K', 7}},
    {{'P', 8}, {'P', 9}, {'P', 10}, {'P', 11}, {'P', 12}, {'P', 13}, {'B', 6}, {'B', 5}},
    {{'K', 8}, {'K', 9}, {'K', 10}, {'K', 11}, {'K', 12}, {'K', 13}, {'K', 14}, {'K', 15}},
    {{'Q', 0}, {'Q', 1}, {'Q', 2}, {'Q', 3}, {'Q', 4}, {'Q', 5}, {'Q', 6}, {'Q', 7}},
    {{'L', 0}, {'L', 1}, {'L', 2}, {'L', 3}, {'L', 4}, {'L', 5}, {'L', 6}, {'L', 7}},
    {{'N', 0}, {'N', 1}, {'N', 2}, {'N', 3}, {'N', 4}, {'N', 5}, {'N', 6}, {'N', 7}},
    {{'L', 8}, {'L', 9}, {'L', 10}, {'L', 11}, {'L', 12}, {'L', 13}, {'L', 14}, {'M', 4}},
    {{'C', 0}, {'C', 1}, {'C', 2}, {'C', 3}},
};

class Ports : public FerroxTest {
 protected:
  // Port <letter>'s exports, typed by port A's declarations (every port's
  // exports have the same types).
  struct PortFns {
    decltype(&::SetPortACfg) cfg;
    decltype(&::SetPortABitCfg) bitCfg;
    decltype(&::SetPortABit) bit;
    decltype(&::SetPortAData) data;
    decltype(&::GetPortABit) getBit;
    decltype(&::GetPortAData) getData;
  };
  PortFns Port(char letter) {
    auto name = [&](const char* prefix, const char* suffix) {
      return std::string(prefix) + letter + suffix;
    };
    PortFns fns{};
    fns.cfg = Fn<decltype(fns.cfg)>(name("SetPort", "Cfg").c_str());
    fns.bitCfg = Fn<decltype(fns.bitCfg)>(name("SetPort", "BitCfg").c_str());
    fns.bit = Fn<decltype(fns.bit)>(name("SetPort", "Bit").c_str());
    fns.data = Fn<decltype(fns.data)>(name("SetPort", "Data").c_str());
    fns.getBit = Fn<decltype(fns.getBit)>(name("GetPort", "Bit").c_str());
    fns.getData = Fn<decltype(fns.getData)>(name("GetPort", "Data").c_str());
    return fns;
  }
};

TEST_F(Ports, EveryPortDrivesAndReadsItsOwnPins) {
  for (int p = 0; p < 8; ++p) {
    char letter = char('A' + p);
    SCOPED_TRACE(std::string("port ") + letter);
    auto port = Port(letter);
    const auto& pins = kWiring[size_t(p)];
    int width = int(pins.size());
    int all = (1 << width) - 1;
    EXPECT_EQ(port.cfg(0xFFFF), 1);
    for (auto& pin : pins) EXPECT_EQ(orlik_sim_pin_mode(pin.port, pin.pin), 1);
    for (int pattern : {0x5A & all, 0xA5 & all, all, 0}) {
      port.data(pattern | 0x7F00);  // bits above the port are ignored
      for (int i = 0; i < width; ++i)
        EXPECT_EQ(orlik_sim_pin_level(pins[size_t(i)].port, pins[size_t(i)].pin), (pattern >> i) & 1);
      EXPECT_EQ(port.getData(), pattern);
      for (int i = 0; i < width; ++i) EXPECT_EQ(port.getBit(i), (pattern >> i) & 1);
    }
    // Inputs: the pull-ups of the configuration call hold the pins high; a
    // pin pulled low outside reads 0.
    EXPECT_EQ(port.cfg(0), 1);
    for (auto& pin : pins) {
      EXPECT_EQ(orlik_sim_pin_mode(pin.port, pin.pin), 0);
      EXPECT_EQ(orlik_sim_pin_pull(pin.port, pin.pin), 2);
    }
    EXPECT_EQ(port.getData(), all);
    orlik_sim_drive_pin(pins[1].port, pins[1].pin, 0);
    EXPECT_EQ(port.getData(), all & ~2);
    EXPECT_EQ(port.getBit(1), 0);
    orlik_sim_drive_pin(pins[1].port, pins[1].pin, -1);
  }
}

TEST_F(Ports, ConfigurationWritesThePullRegisterEveryTime) {
  auto a = Port('A');
  orlik_sim_trace(1);
  EXPECT_EQ(a.cfg(0x0F), 1);
  EXPECT_EQ(WritesTo(kGpio + 0x80C), 8);
  for (int i = 0; i < 8; ++i) EXPECT_EQ(orlik_sim_pin_mode('K', i), i < 4 ? 1 : 0);
  EXPECT_EQ(orlik_sim_peek(kGpio + 0x80C), 0xAAAAAAAAu);

  // Out-of-range bit: no configuration change, but the pull write still happens.
  uint32_t conf = orlik_sim_peek(kGpio + 0x800);
  orlik_sim_trace(1);
  a.bitCfg(9, 1);
  EXPECT_EQ(orlik_sim_peek(kGpio + 0x800), conf);
  EXPECT_EQ(WritesTo(kGpio + 0x800), 0);
  EXPECT_EQ(WritesTo(kGpio + 0x80C), 1);

  // Any cfg other than 1 means input; clearing to input is one write.
  a.bitCfg(0, 1);
  orlik_sim_trace(1);
  a.bitCfg(0, 2);
  EXPECT_EQ(orlik_sim_pin_mode('K', 0), 0);
  EXPECT_EQ(WritesTo(kGpio + 0x800), 1);
}

TEST_F(Ports, PortBGathersTwoHardwarePortsAndPullsBoth) {
  auto b = Port('B');
  orlik_sim_poke(kGpio + 0x168, 0xF000FFFF);  // bits outside P8-P13 must survive
  orlik_sim_poke(kGpio + 0x028, 0x0000C3FF);  // bits outside 10-13 must survive
  orlik_sim_trace(1);
  b.cfg(0xFF);
  EXPECT_EQ(orlik_sim_peek(kGpio + 0x168), 0xFAAAFFFFu);
  EXPECT_EQ(orlik_sim_peek(kGpio + 0x028), 0x0000EBFFu);
  b.data(0xC0);
  EXPECT_EQ(orlik_sim_pin_level('B', 6), 1);
  EXPECT_EQ(orlik_sim_pin_level('B', 5), 1);
  for (int p = 8; p <= 13; ++p) EXPECT_EQ(orlik_sim_pin_level('P', p), 0);
  EXPECT_EQ(b.getData(), 0xC0);
  b.bit(7, 0);
  EXPECT_EQ(orlik_sim_pin_level('B', 5), 0);
  EXPECT_EQ(orlik_sim_pin_level('B', 6), 1);
  EXPECT_EQ(b.getData(), 0x40);
}

TEST_F(Ports, PortGBitSevenLivesOnHardwarePortM) {
  auto g = Port('G');
  g.cfg(0xFF);
  orlik_sim_poke(kGpio + 0x828, 0x0);
  g.cfg(0xFF);
  EXPECT_EQ(orlik_sim_pin_pull('M', 4), 2);
  uint32_t l = orlik_sim_peek(kGpio + 0x818);
  orlik_sim_trace(1);
  g.bit(7, 1);
  EXPECT_EQ(WritesTo(kGpio + 0x818), 0);
  EXPECT_EQ(orlik_sim_peek(kGpio + 0x818), l);
  EXPECT_EQ(orlik_sim_peek(kGpio + 0x824) & 0x10, 0x10u);
  EXPECT_EQ(orlik_sim_pin_level('M', 4), 1);
  EXPECT_EQ(g.getData(), 0x80);
}

TEST_F(Ports, SharedRegistersKeepTheOtherPortsBits) {
  // E and G share 0x818; A and C share 0x808.
  auto e = Port('E'), g = Port('G'), a = Port('A'), c = Port('C');
  e.cfg(0xFF);
  g.cfg(0xFF);
  g.bit(0, 1);
  e.bit(6, 0);
  EXPECT_EQ(orlik_sim_pin_level('L', 8), 1);
  EXPECT_EQ(g.getBit(0), 1);
  a.cfg(0xFF);
  c.cfg(0xFF);
  c.data(0xFF);
  a.data(0x00);
  EXPECT_EQ(c.getData(), 0xFF);
  EXPECT_EQ(a.getData(), 0x00);
}

TEST_F(Ports, PortHIsFourBitsWide) {
  auto h = Port('H');
  orlik_sim_poke(kGpio + 0x048, 0xFFFF0000);
  orlik_sim_trace(1);
  h.cfg(0xFF);
  EXPECT_EQ(WritesTo(kGpio + 0x048), 4);  // bits 0-3 only
  EXPECT_EQ(orlik_sim_peek(kGpio + 0x048), 0xFFFF00AAu);
  for (int i = 4; i < 8; ++i) EXPECT_EQ(orlik_sim_pin_mode('C', i), 0);
  // HW-C4..C7 high from outside never show in port H.
  for (int i = 4; i < 8; ++i) orlik_sim_drive_pin('C', i, 1);
  h.data(0xFF);
  EXPECT_EQ(h.getData(), 0x0F);
  EXPECT_EQ(h.getBit(4), 0);
  orlik_sim_trace(1);
  h.bit(4, 1);
  h.bitCfg(4, 1);
  EXPECT_EQ(WritesTo(kGpio + 0x044), 0);
  EXPECT_EQ(WritesTo(kGpio + 0x040), 0);
}

TEST_F(Ports, OutOfRangeAndOddValuesAreHarmless) {
  auto d = Port('D');
  d.cfg(0xFF);
  d.data(0xFF);
  orlik_sim_trace(1);
  for (int bit : {-1, 8, 1000, -2147483647 - 1}) {
    d.bit(bit, 0);
    EXPECT_EQ(d.getBit(bit), 0);
  }
  EXPECT_EQ(WritesTo(kGpio + 0x184), 0);
  EXPECT_EQ(d.getData(), 0xFF);
  d.bit(3, 2);  // any value other than 1 clears
  EXPECT_EQ(orlik_sim_pin_level('Q', 3), 0);
  d.bit(3, 1);
  EXPECT_EQ(orlik_sim_pin_level('Q', 3), 1);
}

TEST_F(Ports, SetDataChangesPinsOneAfterAnotherBitZeroFirst) {
  auto f = Port('F');
  f.cfg(0xFF);
  orlik_sim_trace(1);
  f.data(0x81);
  std::vector<uint32_t> written;
  for (auto& a : Trace())
    if (a.write && a.phys == kGpio + 0x834) written.push_back(a.value & 0xFF);
  const std::vector<uint32_t> expected = {0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x01, 0x81};
  EXPECT_EQ(written, expected);
}

}  // namespace
