// The PWM outputs against the board's timer model and pins HW-F14/HW-F15.
#include "bus_fixture.h"

#include <cmath>
#include <limits>

using namespace ferrox_test;

namespace {

constexpr uint32_t kTcfg0 = kTimer + 0x00;
constexpr uint32_t kTcfg1 = kTimer + 0x04;
constexpr uint32_t kTcon = kTimer + 0x08;
constexpr uint32_t kTcmpb[2] = {kTimer + 0x10, kTimer + 0x1C};
constexpr int kPin[2] = {14, 15};

struct Output {
  double hz = -1, duty = -1;
  int level = -2;
};

Output Seen(int channel) {
  Output o;
  orlik_sim_pwm_output(channel, &o.hz, &o.duty, &o.level);
  return o;
}

class Pwm : public FerroxTest {
 protected:
  template <class F>
  F Twin(const char* stem, int channel, const char* tail = "") {
    return Fn<F>((std::string(stem) + std::to_string(channel) + tail).c_str());
  }
  int32_t Duty(int ch, double d) { return Twin<decltype(&::SetPWMDutyRate1)>("SetPWMDutyRate", ch)(d); }
  int32_t Counter(int ch, int32_t n) { return Twin<decltype(&::SetPWMCounter1)>("SetPWMCounter", ch)(n); }
  int32_t CarryFreq(int ch, int32_t p, int32_t d, int32_t n) {
    return Twin<decltype(&::SetPWMCarryFreq1)>("SetPWMCarryFreq", ch)(p, d, n);
  }
  void Polarity(int ch, int32_t p) { Twin<decltype(&::SetPWMPolarity1)>("SetPWMPolarity", ch)(p); }
  int32_t Start(int ch) { return Fn<decltype(&::Start_PWM1)>(("Start_PWM" + std::to_string(ch)).c_str())(); }
  void Stop(int ch) { Fn<decltype(&::Stop_PWM1)>(("Stop_PWM" + std::to_string(ch)).c_str())(); }
};

TEST_F(Pwm, DutyRatesBecomeCompareValuesOfTheCount) {
  struct Case {
    int32_t counter;
    double duty;
    int32_t compare;
  };
  const Case cases[] = {{200, 25.0, 50}, {200, 33.3, 66}, {200, 99.9, 199}, {1000, 0.05, 0}, {0, 60.0, 0}};
  for (int ch : {1, 2}) {
    for (const auto& c : cases) {
      Counter(ch, c.counter);
      EXPECT_EQ(Duty(ch, c.duty), c.compare) << ch << " " << c.counter << " " << c.duty;
      EXPECT_EQ(orlik_sim_peek(kTcmpb[ch - 1]), uint32_t(c.compare));
    }
  }
  // A new count re-applies the stored duty.
  EXPECT_EQ(Counter(1, 400), 0 + 240);
  EXPECT_EQ(orlik_sim_peek(kTcmpb[0]), 240u);
}

TEST_F(Pwm, RefusedDutiesChangeNothing) {
  Counter(1, 200);
  ASSERT_EQ(Duty(1, 40.0), 80);
  ASSERT_EQ(Start(1), 1);
  const double refused[] = {100.5, std::numeric_limits<double>::quiet_NaN(), 1e9,
                            std::numeric_limits<double>::infinity()};
  for (double d : refused) {
    EXPECT_EQ(Duty(1, d), 0) << d;
    EXPECT_EQ(orlik_sim_peek(kTcmpb[0]), 80u) << d;
    EXPECT_EQ(orlik_sim_pin_mode('F', 14), 2) << d;
  }
  EXPECT_EQ(Counter(1, 100), 40) << "the stored duty is still 40";
}

// Only rates above 100 are refused: a negative rate is stored like any other
// and writes compare value 0, also for negative or huge counts.
TEST_F(Pwm, NegativeDutiesAreTakenAndWriteZero) {
  for (int ch : {1, 2}) {
    Counter(ch, 200);
    ASSERT_EQ(Duty(ch, 40.0), 80);
    ASSERT_EQ(Start(ch), 1);
    for (double d : {-0.5, -100.0, -std::numeric_limits<double>::infinity()}) {
      EXPECT_EQ(Duty(ch, d), 0) << d;
      EXPECT_EQ(orlik_sim_peek(kTcmpb[ch - 1]), 0u) << d;
      EXPECT_EQ(orlik_sim_pin_mode('F', kPin[ch - 1]), 2) << "still on the timer";
      orlik_sim_poke(kTcmpb[ch - 1], 77);
      EXPECT_EQ(Counter(ch, 100), 0) << "the stored rate is " << d;
      EXPECT_EQ(orlik_sim_peek(kTcmpb[ch - 1]), 0u);
    }
    Duty(ch, -50.0);
    EXPECT_EQ(Counter(ch, -200), 0) << "a negative count times a negative rate";
    EXPECT_EQ(Counter(ch, std::numeric_limits<int32_t>::min()), 0);
    Duty(ch, 99.0);
    EXPECT_EQ(Counter(ch, std::numeric_limits<int32_t>::max()), 2126008810);
  }
}

TEST_F(Pwm, FullAndZeroDutyForceThePinToALevel) {
  struct Case {
    double duty;
    int32_t polarity;
    int level;
  };
  const Case cases[] = {{100.0, 0, 1}, {100.0, 1, 0}, {0.0, 0, 0}, {0.0, 1, 1}};
  for (int ch : {1, 2}) {
    for (const auto& c : cases) {
      Polarity(ch, c.polarity);
      Duty(ch, 50.0);
      Start(ch);
      EXPECT_NE(Duty(ch, c.duty), 0);
      EXPECT_EQ(orlik_sim_pin_mode('F', kPin[ch - 1]), 1) << ch << " " << c.duty;
      EXPECT_EQ(orlik_sim_pin_level('F', kPin[ch - 1]), c.level) << ch << " " << c.duty << " " << c.polarity;
      EXPECT_EQ(Seen(ch).level, c.level);
      // Back on the timer as soon as the duty leaves 0 and 100 while running.
      EXPECT_EQ(Duty(ch, 30.0), 60);
      EXPECT_EQ(orlik_sim_pin_mode('F', kPin[ch - 1]), 2);
      Stop(ch);
    }
  }
}

TEST_F(Pwm, TheBoardSeesTheProgrammedFrequencyDutyAndPolarity) {
  // 66 MHz / (32 + 1) / 1 / (199 + 1) = 10 kHz; compare 49: high 50 of 200 ticks.
  EXPECT_EQ(CarryFreq(1, 32, 0, 199), 99) << "the default duty of 50 %";
  Duty(1, 25.0);
  // Timer 1 with the shared prescaler, divider 1/4: 66 MHz / 33 / 4 / 100 = 5 kHz.
  EXPECT_EQ(CarryFreq(2, 32, 2, 99), 49);
  EXPECT_EQ(Seen(1).level, 0) << "idle until started";

  EXPECT_EQ(Start(1), 1);
  EXPECT_EQ(Start(2), 1);
  Output o1 = Seen(1), o2 = Seen(2);
  EXPECT_EQ(o1.level, -1);
  EXPECT_NEAR(o1.hz, 10000.0, 1e-6);
  EXPECT_NEAR(o1.duty, 25.0, 1e-9);
  EXPECT_EQ(o2.level, -1);
  EXPECT_NEAR(o2.hz, 5000.0, 1e-6);
  EXPECT_NEAR(o2.duty, 50.0, 1e-9);
  EXPECT_EQ(orlik_sim_pin_mode('F', 14), 2);
  // Start ended the manual update and left start and auto-reload set.
  EXPECT_EQ(orlik_sim_peek(kTcon) & 0xF0F, 0x909u);

  Polarity(1, 1);
  EXPECT_EQ(orlik_sim_pwm_inverted(1), 1);
  EXPECT_NEAR(Seen(1).duty, 75.0, 1e-9);

  Stop(1);
  o1 = Seen(1);
  EXPECT_EQ(o1.level, 1) << "inverted output idles high";
  EXPECT_EQ(o1.hz, 0.0);
  EXPECT_EQ(orlik_sim_pin_mode('F', 14), 1);
  EXPECT_EQ(orlik_sim_peek(kTcon) & 0x1, 0u);
  EXPECT_EQ(Seen(2).level, -1) << "the other output runs on";
}

TEST_F(Pwm, ADutyChangeAfterStopWaitsForTheNextStart) {
  Counter(1, 200);
  Start(1);
  Stop(1);
  EXPECT_EQ(Duty(1, 40.0), 80);
  EXPECT_EQ(orlik_sim_peek(kTcmpb[0]), 80u);
  EXPECT_EQ(orlik_sim_pin_mode('F', 14), 1);
  EXPECT_EQ(Seen(1).level, 0);
  EXPECT_EQ(Start(1), 1);
  EXPECT_EQ(orlik_sim_pin_mode('F', 14), 2);
  EXPECT_NEAR(Seen(1).duty, 81.0 / 201.0 * 100.0, 1e-9);

  // A start at 0 % leaves the pin a plain output.
  Stop(1);
  Duty(1, 0.0);
  EXPECT_EQ(Start(1), 0);
  EXPECT_EQ(orlik_sim_pin_mode('F', 14), 1);
}

TEST_F(Pwm, ClockSettingsStayInTheirFields) {
  auto prescaler = FERROX_FN(SetPWMPrescaler);
  auto divider1 = FERROX_FN(SetPWMClkDivider1);
  auto divider2 = FERROX_FN(SetPWMClkDivider2);
  auto deadTime = FERROX_FN(SetPWMDeadTime);

  prescaler(7);
  prescaler(256);  // out of range: ignored
  prescaler(-1);
  EXPECT_EQ(orlik_sim_peek(kTcfg0) & 0xFF, 7u);
  divider2(3);
  divider1(0x13);  // masked to its four bits
  EXPECT_EQ(orlik_sim_peek(kTcfg1) & 0xFF, 0x33u);
  divider2(0x1F);
  EXPECT_EQ(orlik_sim_peek(kTcfg1) & 0xFFF, 0x0F3u);

  deadTime(5);
  deadTime(3);
  EXPECT_EQ((orlik_sim_peek(kTcfg0) >> 16) & 0xFF, 3u);
  EXPECT_EQ(orlik_sim_peek(kTcon) & 0x10, 0x10u);
  deadTime(0x1FF);
  EXPECT_EQ(orlik_sim_peek(kTcfg0) >> 16, 0xFFu);
  deadTime(0);
  EXPECT_EQ(orlik_sim_peek(kTcfg0) >> 16, 0u);
  EXPECT_EQ(orlik_sim_peek(kTcon) & 0x10, 0u);
  EXPECT_EQ(orlik_sim_peek(kTcfg0) & 0xFF, 7u);

  // An out-of-range prescaler still lets the divider and the count through.
  EXPECT_EQ(CarryFreq(1, 256, 1, 500), 250);
  EXPECT_EQ(orlik_sim_peek(kTcfg0) & 0xFF, 7u);
  EXPECT_EQ(orlik_sim_peek(kTcfg1) & 0xF, 1u);
  EXPECT_EQ(orlik_sim_peek(kTimer + 0x0C), 500u);
}

TEST_F(Pwm, DeadZoneMakesOutputTwoTheDelayedInverseOfOutputOne) {
  CarryFreq(1, 0, 0, 99);  // 660 kHz
  Duty(1, 30.0);           // compare 29: high 30 of 100 ticks
  FERROX_FN(SetPWMDeadTime)(5);
  Start(1);
  Start(2);
  EXPECT_NEAR(Seen(1).duty, 25.0, 1e-9);
  EXPECT_NEAR(Seen(2).duty, 65.0, 1e-9);
  EXPECT_NEAR(Seen(2).hz, 660000.0, 1e-6);
}

TEST_F(Pwm, RestorePutsBackTheTimerAndPinsOfLoadTime) {
  lib_->Close();
  orlik_sim_reset();
  const uint32_t regs[] = {0x00, 0x04, 0x0C, 0x10, 0x18, 0x1C, 0x08};
  const uint32_t before[] = {0x0102, 0x11, 300, 100, 400, 200, 0x0};
  for (int i = 0; i < 7; ++i) orlik_sim_poke(kTimer + regs[i], before[i]);
  orlik_sim_poke(kGpio + 0xA0, 0x50000000);  // both PWM pins plain outputs
  Load();
  CarryFreq(1, 9, 2, 1000);
  Duty(2, 70.0);
  Start(1);
  Start(2);
  FERROX_FN(PWMRestore)();
  for (int i = 0; i < 7; ++i) EXPECT_EQ(orlik_sim_peek(kTimer + regs[i]), before[i]) << std::hex << regs[i];
  EXPECT_EQ(orlik_sim_peek(kGpio + 0xA0), 0x50000000u);
  EXPECT_EQ(Seen(1).hz, 0.0);
  EXPECT_EQ(Seen(2).hz, 0.0);
}

}  // namespace
