// The board's two-wire decoder and its devices, driven straight through the
// GPIO registers of bus A1 (HW-K2 data, HW-K3 clock) and the main bus.
#include <orlik/sim_bus.h>

#include "bus_records.h"
#include "tolvex_test.h"

#include <string>
#include <vector>

namespace {

constexpr uint32_t kGpio = 0x7F008000;

// A bit-banging master on one pair of pins that share a 4-bit configuration
// register and a data register.
class Master {
 public:
  Master(uint32_t con, uint32_t dat, int sda, int scl) : con_(con), dat_(dat), sda_(sda), scl_(scl) {
    // Latches high before the lines become outputs: no condition on the way.
    Line(sda_, 1);
    Line(scl_, 1);
    Field(scl_, 1);
    Field(sda_, 1);
  }
  void Sda(int v) { Line(sda_, v); }
  void Scl(int v) { Line(scl_, v); }
  void Release() { Field(sda_, 0); }  // data line to input
  void Take() { Field(sda_, 1); }
  int Read() const { return int((orlik_sim_peek(kGpio + dat_) >> sda_) & 1); }

  void Start() {
    Take();
    Sda(1);
    Scl(1);
    Sda(0);
    Scl(0);
  }
  void Stop() {
    Take();
    Sda(0);
    Scl(1);
    Sda(1);
  }
  void Bits(int value, int n) {
    for (int i = n - 1; i >= 0; --i) {
      Sda((value >> i) & 1);
      Scl(1);
      Scl(0);
    }
  }
  // Sends a byte and returns the acknowledge level; keep drives the data
  // line through the acknowledge instead of releasing it.
  int Write(int value, bool keep = false) {
    Bits(value, 8);
    if (!keep) Release();
    Scl(1);
    int ack = Read();
    Scl(0);
    Take();
    return ack;
  }
  int Read(int ack) {
    Release();
    int v = 0;
    for (int i = 0; i < 8; ++i) {
      Scl(1);
      v = (v << 1) | Read();
      Scl(0);
    }
    Take();
    Sda(ack ? 0 : 1);
    Scl(1);
    Scl(0);
    return v;
  }

 private:
  void Field(int pin, uint32_t v) {
    uint32_t c = orlik_sim_peek(kGpio + con_);
    c = (c & ~(0xFu << (4 * pin))) | (v << (4 * pin));
    orlik_sim_poke(kGpio + con_, c);
  }
  void Line(int pin, int v) {
    uint32_t d = orlik_sim_peek(kGpio + dat_);
    orlik_sim_poke(kGpio + dat_, v ? (d | (1u << pin)) : (d & ~(1u << pin)));
  }
  uint32_t con_, dat_;
  int sda_, scl_;
};

Master BusA1() {
  orlik_sim_poke(kGpio + 0x80C, 0xA0);  // pull-ups on K2 and K3
  return Master(0x800, 0x808, 2, 3);
}

using tolvex_test::Errors;
using tolvex_test::Transcript;

class TwoWire : public tolvex_test::PanelTest {};

TEST_F(TwoWire, AWellFormedTransferReachesTheModule) {
  orlik_sim_counter_attach("A1", 1);
  Master m = BusA1();
  m.Start();
  EXPECT_EQ(m.Write(0x1E), 0);
  EXPECT_EQ(m.Write(0x33), 0);
  EXPECT_EQ(m.Write(0x05), 0);
  m.Stop();
  m.Start();
  m.Write(0x1E);
  EXPECT_EQ(m.Write(0x12), 1) << "an unknown command is not acknowledged";
  m.Stop();
  EXPECT_EQ(Transcript("A1"), "S 1E+ 33+ 05+ P S 1E+ 12- P");
  int mode = -1;
  orlik_sim_counter_state("A1", &mode, nullptr, nullptr);
  EXPECT_EQ(mode, 5);
  EXPECT_EQ(Errors("A1"), std::vector<std::string>{});
  EXPECT_EQ(Transcript("main"), "") << "buses are separate";
}

TEST_F(TwoWire, MalformedTransfersAreReported) {
  orlik_sim_counter_attach("A1", 1);
  struct Case {
    const char* name;
    void (*run)(Master&);
    const char* error;
  };
  const Case cases[] = {
      {"stop after three bits",
       [](Master& m) {
         m.Start();
         m.Bits(0x1E >> 5, 3);
         m.Stop();
       },
       "stop condition inside a byte, after 3 clocks"},
      {"start inside a byte",
       [](Master& m) {
         m.Start();
         m.Write(0x1E);
         m.Bits(0x5, 4);
         m.Start();
         m.Stop();
       },
       "start condition inside a byte, after 4 clocks"},
      {"master holds the data line through the acknowledge",
       [](Master& m) {
         m.Start();
         m.Write(0x1E, true);
         m.Stop();
       },
       "master drives the data line on clock 9 while counter module acknowledges on it"},
      {"master writes while the module sends",
       [](Master& m) {
         m.Start();
         m.Write(0x1E);
         m.Write(0x46);
         m.Start();
         m.Write(0x1F);
         m.Write(0x00);
         m.Stop();
       },
       "master drives the data line on clock 1 while counter module sends on it"},
  };
  for (const auto& c : cases) {
    orlik_sim_bus_clear("A1");
    Master m = BusA1();
    c.run(m);
    auto errors = Errors("A1");
    ASSERT_FALSE(errors.empty()) << c.name;
    EXPECT_EQ(errors[0], c.error) << c.name;
    EXPECT_NE(Transcript("A1").find('!'), std::string::npos) << c.name;
  }
}

TEST_F(TwoWire, ModuleAnswersReadsWithValueAndCheckByte) {
  orlik_sim_counter_attach("A1", 1);
  orlik_sim_counter_set("A1", 1, 0x01020304);
  Master m = BusA1();
  m.Start();
  m.Write(0x1E);
  m.Write(0x35);
  m.Start();
  m.Write(0x1F);
  std::vector<int> got;
  for (int i = 0; i < 5; ++i) got.push_back(m.Read(i < 4));
  m.Stop();
  EXPECT_EQ(got, (std::vector<int>{0x04, 0x03, 0x02, 0x01, 0x0A}));
  EXPECT_EQ(Errors("A1"), std::vector<std::string>{});

  // Absent, the module answers nothing; a reset takes it off again.
  orlik_sim_counter_attach("A1", 0);
  m.Start();
  EXPECT_EQ(m.Write(0x1E), 1);
  m.Stop();
  orlik_sim_counter_attach("A1", 1);
  orlik_sim_reset();
  Master again = BusA1();
  again.Start();
  EXPECT_EQ(again.Write(0x1E), 1);
  again.Stop();
  EXPECT_EQ(Transcript("A1"), "S 1E- P");
}

TEST_F(TwoWire, ConverterTakesTwoBytesAndRefusesMore) {
  // Main bus: HW-B6 data, HW-B5 clock; no pulls, the board's resistors.
  orlik_sim_poke(kGpio + 0x28, 0);
  Master m(0x020, 0x024, 6, 5);
  m.Start();
  EXPECT_EQ(m.Write(0x9A), 0);
  EXPECT_EQ(m.Write(0xBE), 0);
  EXPECT_EQ(m.Write(0xEF), 0);
  EXPECT_EQ(m.Write(0x55), 1);
  m.Stop();
  m.Start();
  EXPECT_EQ(m.Write(0x99), 1) << "the converter cannot be read";
  m.Stop();
  EXPECT_EQ(orlik_sim_dac_value(0x9A), 0xBEEF);
  EXPECT_EQ(orlik_sim_dac_value(0x98), 0);
  EXPECT_EQ(orlik_sim_dac_value(0x42), -1);
  EXPECT_EQ(Errors("main"), std::vector<std::string>{});
}

}  // namespace
