// Counter modules A1, A2, B1 and B2 against the board's module model.
#include "bus_fixture.h"

#include <chrono>
#include <type_traits>

using namespace ferrox_test;

namespace {

class Counters : public FerroxTest {
 protected:
  template <class F>
  F Op(const std::string& module, const char* op) {
    return Fn<F>(("InputCounter" + module + "_" + op).c_str());
  }
  int32_t Initial(const std::string& m, int32_t speed = 0) { return Op<decltype(&::InputCounterA1_Initial)>(m, "Initial")(speed); }
  int32_t Read32(const std::string& m, int32_t n, uint32_t* out) {
    return Op<decltype(&::InputCounterA1_ReadCounter32)>(m, "ReadCounter32")(n, out);
  }
  int32_t Read64(const std::string& m, int32_t n, uint32_t* out) {
    return Op<decltype(&::InputCounterA1_ReadCounter64)>(m, "ReadCounter64")(n, out);
  }
  int32_t ReadEncoder(const std::string& m, int32_t n, uint32_t* out) {
    return Op<decltype(&::InputCounterA1_ReadEncoderCounter)>(m, "ReadEncoderCounter")(n, out);
  }
  uint64_t Count(const char* m, int index) {
    uint64_t v = ~0ull;
    orlik_sim_counter_get(m, index, &v);
    return v;
  }
  // Puts a count on every counter and encoder of a module.
  void Fill(const char* m) {
    for (int i = 1; i <= 6; ++i) orlik_sim_counter_set(m, i, 100 + i);
  }
};

TEST_F(Counters, InitialIdentifiesTheModuleOnItsOwnBusAndResetsItsCounts) {
  struct Case {
    const char* module;
    const char* bus;
  };
  for (const Case c : {Case{"A1", "A1"}, Case{"A2", "A2"}, Case{"B1", "B1"}, Case{"B2", "main"}}) {
    orlik_sim_reset();
    // Another module is fitted, on its own bus: this one is still absent.
    orlik_sim_counter_attach(std::string(c.module) == "A1" ? "A2" : "A1", 1);
    EXPECT_EQ(Initial(c.module), 0) << c.module;

    orlik_sim_counter_attach(c.module, 1);
    Fill(c.module);
    orlik_sim_bus_clear(c.bus);
    EXPECT_EQ(Initial(c.module), 1) << c.module;
    // Identification, then counters 1-4 and encoder 1 reset; encoder 2 keeps its count.
    EXPECT_EQ(Transcript(c.bus),
              "S 1E+ 32+ S 1F+ 4D+ 21- P S 1E+ 3F+ P S 1E+ 40+ P S 1E+ 41+ P S 1E+ 42+ P S 1E+ 43+ P")
        << c.module;
    for (int i = 1; i <= 5; ++i) EXPECT_EQ(Count(c.module, i), 0u) << c.module << " " << i;
    EXPECT_EQ(Count(c.module, 6), 106u) << c.module;
    EXPECT_EQ(BusErrors(c.bus), std::vector<std::string>{}) << c.module;
  }
}

TEST_F(Counters, InitialRefusesAWrongIdentificationWithoutResetting) {
  orlik_sim_counter_attach("A1", 1);
  Fill("A1");
  orlik_sim_counter_fault("A1", ORLIK_SIM_COUNTER_IDENTITY, 0x22);  // 0x4D, 0x22
  EXPECT_EQ(Initial("A1"), 0);
  for (int i = 1; i <= 6; ++i) EXPECT_EQ(Count("A1", i), uint64_t(100 + i));
  orlik_sim_counter_fault("A1", ORLIK_SIM_COUNTER_IDENTITY, 0x4C21);
  EXPECT_EQ(Initial("A1"), 0);
  orlik_sim_counter_fault("A1", ORLIK_SIM_COUNTER_IDENTITY, -1);
  EXPECT_EQ(Initial("A1"), 1);
}

TEST_F(Counters, ValueReadsFollowTheCheckByteRules) {
  orlik_sim_counter_attach("B1", 1);
  ASSERT_EQ(Initial("B1"), 1);
  struct Case {
    uint64_t value;
    int check;  // -1: the module's own check byte
    int32_t result;
    uint32_t out;  // what the caller's word holds afterwards (it starts at 0xDEADBEEF)
  };
  const Case cases[] = {
      {0x01020304, -1, 1, 16909060},        // bytes 04 03 02 01, check 0x0A
      {0, -1, 1, 0},                        // zero count: check 0xAA
      {0, 0x00, 0, 0xDEADBEEF},             // all zero: nothing answered
      {0xFFFFFFFF, -1, 1, 0xFFFFFFFF},      // check 0xFC
      {1, 0xAA, 0, 0xDEADBEEF},             // 0xAA only stands for zero
      {0x01020304, 0x0B, 0, 0xDEADBEEF},    // a corrupted check byte
      {0x1200000034, -1, 1, 0x34},          // a 32-bit read gives the low word
  };
  for (const auto& c : cases) {
    orlik_sim_counter_set("B1", 2, c.value);
    orlik_sim_counter_fault("B1", ORLIK_SIM_COUNTER_CHECK_BYTE, c.check);
    uint32_t out = 0xDEADBEEF;
    EXPECT_EQ(Read32("B1", 2, &out), c.result) << std::hex << c.value << " check " << c.check;
    EXPECT_EQ(out, c.out) << std::hex << c.value << " check " << c.check;
  }
  orlik_sim_counter_fault("B1", ORLIK_SIM_COUNTER_CHECK_BYTE, -1);

  // Encoders: four data bytes whatever the width.
  orlik_sim_counter_set("B1", 6, 0xFFFFFFFE);
  uint32_t enc = 0;
  EXPECT_EQ(ReadEncoder("B1", 2, &enc), 1);
  EXPECT_EQ(enc, 0xFFFFFFFEu);
  EXPECT_EQ(BusErrors("B1"), std::vector<std::string>{});
}

TEST_F(Counters, SixtyFourBitReadsNeedTheModuleInSixtyFourBitWidth) {
  orlik_sim_counter_attach("A2", 1);
  ASSERT_EQ(Initial("A2"), 1);
  orlik_sim_counter_set("A2", 3, 0x0123456789ABCDEFull);
  uint32_t words[2] = {1, 2};
  // In 32-bit width the module sends four data bytes: the fifth is no check byte.
  EXPECT_EQ(Read64("A2", 3, words), 0);
  EXPECT_EQ(words[0], 1u);
  EXPECT_EQ(words[1], 2u);

  EXPECT_EQ(Op<decltype(&::InputCounterA1_SetCounterDataWidth)>("A2", "SetCounterDataWidth")(64), 1);
  int width = 0;
  orlik_sim_counter_state("A2", nullptr, &width, nullptr);
  EXPECT_EQ(width, 64);
  orlik_sim_bus_clear("A2");
  EXPECT_EQ(Read64("A2", 3, words), 1);
  EXPECT_EQ(words[0], 0x89ABCDEFu);  // low word first
  EXPECT_EQ(words[1], 0x01234567u);
  EXPECT_EQ(Transcript("A2"), "S 1E+ 37+ S 1F+ EF+ CD+ AB+ 89+ 67+ 45+ 23+ 01+ C0- P");
}

TEST_F(Counters, SetModeRetriesThenReinitialisesThenGivesUp) {
  orlik_sim_counter_attach("A1", 1);
  ASSERT_EQ(Initial("A1"), 1);
  auto setMode = Op<decltype(&::InputCounterA1_SetMode)>("A1", "SetMode");
  struct Case {
    int dropped;      // settings the module drops before one sticks
    int32_t result;
    bool reinitialised;
  };
  const Case cases[] = {{0, 1, false}, {1, 1, false}, {2, 1, true}, {-1, 0, true}};
  int mode = 10;
  for (const auto& c : cases) {
    ++mode;
    orlik_sim_counter_set("A1", 1, 77);
    orlik_sim_counter_fault("A1", ORLIK_SIM_COUNTER_DROP_SETTINGS, c.dropped);
    auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(setMode(mode), c.result) << "dropped " << c.dropped;
    auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_EQ(Count("A1", 1), c.reinitialised ? 0u : 77u) << "dropped " << c.dropped;
    int got = -1;
    orlik_sim_counter_state("A1", &got, nullptr, nullptr);
    EXPECT_EQ(got == mode, c.result == 1) << "dropped " << c.dropped;
    if (c.dropped < 0) {
      EXPECT_GE(ms, 400) << "three attempts and one re-initialisation";
    }
  }
  orlik_sim_counter_fault("A1", ORLIK_SIM_COUNTER_DROP_SETTINGS, 0);
  EXPECT_EQ(Op<decltype(&::InputCounterA1_GetMode)>("A1", "GetMode")(), mode - 1);
}

// The module stores one byte: a mode or width beyond it (256 sends 0, -1
// sends 255) is never what the module reports back, so it is not confirmed.
TEST_F(Counters, ValuesBeyondOneByteAreNeverReportedAsSet) {
  orlik_sim_counter_attach("B1", 1);
  ASSERT_EQ(Initial("B1"), 1);
  for (const char* op : {"SetMode", "SetCounterDataWidth"}) {
    static_assert(std::is_same_v<decltype(&::InputCounterA1_SetMode),
                                 decltype(&::InputCounterA1_SetCounterDataWidth)>);
    auto set = Op<decltype(&::InputCounterA1_SetMode)>("B1", op);
    EXPECT_EQ(set(256), 0) << op;
    EXPECT_EQ(set(-1), 0) << op;
    EXPECT_EQ(set(255), 1) << op;
  }
}

TEST_F(Counters, CommandsReachTheModule) {
  orlik_sim_counter_attach("B2", 1);
  ASSERT_EQ(Initial("B2"), 1);
  for (int i = 1; i <= 6; ++i) orlik_sim_counter_set("B2", i, 50);

  Op<decltype(&::InputCounterA1_ResetCounter)>("B2", "ResetCounter")(2);
  Op<decltype(&::InputCounterA1_ResetEncoderCounter)>("B2", "ResetEncoderCounter")(2);
  const uint64_t afterReset[] = {50, 0, 50, 50, 50, 0};
  for (int i = 1; i <= 6; ++i) EXPECT_EQ(Count("B2", i), afterReset[i - 1]) << i;

  orlik_sim_bus_clear("main");
  auto pause = Op<decltype(&::InputCounterA1_PauseCounter)>("B2", "PauseCounter");
  pause(3, 7);  // any non-zero flag sends 1
  EXPECT_EQ(Transcript("main"), "S 1E+ 52+ 01+ P");
  int paused = 0;
  orlik_sim_counter_state("B2", nullptr, nullptr, &paused);
  EXPECT_EQ(paused, 0b0100);
  orlik_sim_counter_pulses("B2", 3, 5);
  orlik_sim_counter_pulses("B2", 4, 5);
  EXPECT_EQ(Count("B2", 3), 50u);
  EXPECT_EQ(Count("B2", 4), 55u);
  pause(3, 0);
  orlik_sim_counter_state("B2", nullptr, nullptr, &paused);
  EXPECT_EQ(paused, 0);

  orlik_sim_counter_set_pin_status("B2", 4, 0x5A);
  orlik_sim_counter_set_firmware("B2", 0x21);
  EXPECT_EQ(Op<decltype(&::InputCounterA1_ReadPinStatus)>("B2", "ReadPinStatus")(4), 0x5A);
  EXPECT_EQ(Op<decltype(&::InputCounterA1_Firmware)>("B2", "Firmware")(), 0x21);
  EXPECT_EQ(BusErrors("main"), std::vector<std::string>{});
}

TEST_F(Counters, NumbersOutsideTheirRangesStayOffTheBus) {
  orlik_sim_counter_attach("A1", 1);
  ASSERT_EQ(Initial("A1"), 1);
  orlik_sim_bus_clear("A1");
  uint32_t out = 9;
  uint32_t words[2] = {9, 9};
  EXPECT_EQ(Read32("A1", 0, &out), 0);
  EXPECT_EQ(Read32("A1", 5, &out), 0);
  EXPECT_EQ(Read64("A1", -1, words), 0);
  EXPECT_EQ(ReadEncoder("A1", 3, &out), 0);
  EXPECT_EQ(Read32("A1", 1, nullptr), 0);
  EXPECT_EQ(Op<decltype(&::InputCounterA1_ReadPinStatus)>("A1", "ReadPinStatus")(0), 0);
  Op<decltype(&::InputCounterA1_ResetCounter)>("A1", "ResetCounter")(5);
  Op<decltype(&::InputCounterA1_ResetEncoderCounter)>("A1", "ResetEncoderCounter")(0);
  Op<decltype(&::InputCounterA1_PauseCounter)>("A1", "PauseCounter")(9, 1);
  EXPECT_EQ(out, 9u);
  EXPECT_EQ(Transcript("A1"), "");
}

TEST_F(Counters, ModuleB2SharesTheMainBusWithTheConverter) {
  orlik_sim_counter_attach("B2", 1);
  FERROX_FN(Init)();
  FERROX_FN(SetOutData1)(0x0102);
  ASSERT_EQ(Initial("B2"), 1);
  orlik_sim_counter_set("B2", 1, 1234);
  uint32_t v = 0;
  EXPECT_EQ(Read32("B2", 1, &v), 1);
  EXPECT_EQ(v, 1234u);
  FERROX_FN(SetOutData2)(0x0304);
  EXPECT_EQ(orlik_sim_dac_value(0x98), 0x0102);
  EXPECT_EQ(orlik_sim_dac_value(0x9A), 0x0304);
  // The other buses saw nothing.
  for (const char* bus : {"A1", "A2", "B1"}) EXPECT_EQ(Transcript(bus), "") << bus;
  EXPECT_EQ(BusErrors("main"), std::vector<std::string>{});
}

}  // namespace
