// The main bus exports and the analogue outputs, checked against the
// board's bus decoder and converter.
#include "bus_fixture.h"

#include <orlik/windows.h>

#include <dlfcn.h>

#include <atomic>

namespace {
std::atomic<int> yields{0};
}

// Interposes the platform's Sleep (the test program exports its symbols) to
// count the yields of the bus delay.
extern "C" __attribute__((visibility("default"))) void Sleep(DWORD ms) {
  static auto real = reinterpret_cast<void (*)(DWORD)>(dlsym(RTLD_NEXT, "Sleep"));
  if (ms == 0) ++yields;
  real(ms);
}

namespace ferrox_test {
int YieldCount() { return yields.load(); }
void ResetYieldCount() { yields = 0; }
}  // namespace ferrox_test

using namespace ferrox_test;

namespace {

#define BUS_EXPORTS(X) X(init, Init) X(start, StartSignal) X(stop, StopSignal) X(writeByte, WriteByte) \
  X(readByte, ReadByte) X(setSpeed, SetSpeed) X(out1, SetOutData1) X(out2, SetOutData2)
TOLVEX_EXPORT_TABLE(BusExports, BUS_EXPORTS);

class Bus : public FerroxTestWith<BusExports> {};

TEST_F(Bus, InitAndDacInitialAreOneEntry) {
  EXPECT_EQ(reinterpret_cast<void*>(init), reinterpret_cast<void*>(FERROX_FN(DAC_Initial)));
}

TEST_F(Bus, InitLeavesBothLinesOutputsIdleHighWithoutPulls) {
  init();
  // HW-B6 data, HW-B5 clock.
  for (int pin : {5, 6}) {
    EXPECT_EQ(orlik_sim_pin_mode('B', pin), 1) << pin;
    EXPECT_EQ(orlik_sim_pin_level('B', pin), 1) << pin;
    EXPECT_EQ(orlik_sim_pin_pull('B', pin), 0) << pin;
  }
  EXPECT_EQ(Transcript("main"), "");
}

TEST_F(Bus, AnalogueOutputsTakeTheSixteenBitValueAsThreeBytes) {
  init();
  out1(0x1234);
  EXPECT_EQ(Transcript("main"), "S 98+ 12+ 34+ P");
  out2(0x5ABCD);  // bits above 15 are not sent
  EXPECT_EQ(Transcript("main"), "S 98+ 12+ 34+ P S 9A+ AB+ CD+ P");
  EXPECT_EQ(orlik_sim_dac_value(0x98), 0x1234);
  EXPECT_EQ(orlik_sim_dac_value(0x9A), 0xABCD);
  out1(0);
  EXPECT_EQ(orlik_sim_dac_value(0x98), 0);
  EXPECT_EQ(orlik_sim_dac_updates(0x98), 2);
  EXPECT_EQ(BusErrors("main"), std::vector<std::string>{});
}

TEST_F(Bus, WriteByteReturnsTheDevicesAcknowledge) {
  init();
  struct Case {
    bool converterFitted;
    int32_t value;
    int32_t ack;
    const char* seen;
  };
  const Case cases[] = {
      {true, 0x98, 0, "S 98+"},   // the converter answers
      {true, 0x1A5, 1, "S A5-"},  // only bits 7-0 go out; nobody at 0xA5
      {true, 0x99, 1, "S 99-"},   // the converter is not read
      {false, 0x98, 1, "S 98-"},  // removed from the board
  };
  for (const auto& c : cases) {
    orlik_sim_dac_attach(c.converterFitted);
    orlik_sim_bus_clear("main");
    start();
    EXPECT_EQ(writeByte(c.value), c.ack) << std::hex << c.value;
    EXPECT_EQ(Transcript("main"), c.seen);
    stop();
  }
  EXPECT_EQ(BusErrors("main"), std::vector<std::string>{});
}

TEST_F(Bus, ReadByteAcknowledgesOnlyWhenAskedWithOne) {
  orlik_sim_counter_attach("B2", 1);
  orlik_sim_counter_set_firmware("B2", 0x42);
  init();
  struct Case {
    int32_t ack;
    const char* seen;
  };
  // The firmware command answers one byte; after an acknowledged byte the
  // module sends on (0xFF once it has nothing more), so that read ends with
  // a second, not acknowledged byte before the stop.
  const Case cases[] = {{1, "S 1E+ 46+ S 1F+ 42+ FF- P"}, {0, "S 1E+ 46+ S 1F+ 42- P"}, {2, "S 1E+ 46+ S 1F+ 42- P"}};
  for (const auto& c : cases) {
    orlik_sim_bus_clear("main");
    start();
    writeByte(0x1E);
    writeByte(0x46);
    start();
    writeByte(0x1F);
    EXPECT_EQ(readByte(c.ack), 0x42);
    if (c.ack == 1) {
      EXPECT_EQ(readByte(0), 0xFF);
    }
    stop();
    EXPECT_EQ(Transcript("main"), c.seen) << "ack " << c.ack;
    EXPECT_EQ(BusErrors("main"), std::vector<std::string>{}) << "ack " << c.ack;
  }
}

TEST_F(Bus, ReadByteWithoutADeviceReturnsTheIdleLine) {
  init();
  start();
  EXPECT_EQ(writeByte(0x1F), 1);
  EXPECT_EQ(readByte(0), 0xFF);  // the board's pull-up
  stop();
}

TEST_F(Bus, LineChangesTouchOnlyTheBusBitsOfPortB) {
  // HW-B0..B3 are outputs at 1, HW-B4 an output at 0.
  orlik_sim_poke(kGpio + 0x20, 0x00011111);
  orlik_sim_poke(kGpio + 0x24, 0x0F);
  orlik_sim_trace(1);
  init();
  out1(0x00FF);
  int writes = 0;
  for (const auto& a : Trace()) {
    if (!a.write || a.phys != kGpio + 0x24) continue;
    ++writes;
    EXPECT_EQ(a.value & 0x1F, 0x0Fu);
  }
  EXPECT_GT(writes, 50);
  for (int pin = 0; pin < 4; ++pin) EXPECT_EQ(orlik_sim_pin_level('B', pin), 1);
  EXPECT_EQ(orlik_sim_dac_value(0x98), 0x00FF);
}

TEST_F(Bus, EveryLineChangeWaitsSpeedPlusOneYields) {
  init();
  start();
  // A byte: eight bits of three line changes, then eight steps for the
  // data reset and the acknowledge (set data, clock low, input, clock high,
  // read, clock low, output, set data).
  constexpr int kDelaysPerByte = 8 * 3 + 8;
  struct Case {
    int32_t speed;
    int yields;
  };
  for (const Case c : {Case{0, kDelaysPerByte}, Case{3, 4 * kDelaysPerByte}, Case{-5, 0}}) {
    setSpeed(c.speed);
    ResetYieldCount();
    writeByte(0x55);
    EXPECT_EQ(YieldCount(), c.yields) << "speed " << c.speed;
  }
  setSpeed(3);
  init();  // back to speed 0
  start();
  ResetYieldCount();
  writeByte(0x55);
  EXPECT_EQ(YieldCount(), kDelaysPerByte);
}

TEST_F(Bus, ExportsOnUnmappedWindowsTouchNothing) {
  lib_->Close();
  orlik_sim_reset();
  orlik_sim_fail_device("HTM1:", 0);
  Load();
  orlik_sim_trace(1);
  init();
  start();
  EXPECT_EQ(writeByte(0x98), 1) << "nobody can acknowledge on an unmapped bus";
  EXPECT_EQ(readByte(1), 0);
  out1(0x1234);
  EXPECT_EQ(FERROX_FN(InputCounterB2_Initial)(0), 0);
  uint32_t v = 7;
  EXPECT_EQ(FERROX_FN(InputCounterA1_ReadCounter32)(1, &v), 0);
  EXPECT_EQ(v, 7u);
  EXPECT_EQ(FERROX_FN(SetPWMDutyRate1)(50.0), 0);
  EXPECT_EQ(FERROX_FN(Start_PWM2)(), 0);
  FERROX_FN(PWMRestore)();
  EXPECT_EQ(orlik_sim_trace_count(), 0);
}

}  // namespace
