// Battery, external supply and power-off on the simulated panel.
#include "ferrox_fixture.h"

using namespace ferrox_test;

namespace {

#define POWER_EXPORTS(X) X(volts, GetBatteryVoltage) X(volts1, GetBatteryVoltage1) \
  X(percent, GetBatteryPercent) X(limits, SetBatteryVoltageLimit) X(offset, SetExtDCPowerInOffsetVoltage) \
  X(external, IsExtDCPowerIN) X(powerOff, PowerOFF)
TOLVEX_EXPORT_TABLE(PowerExports, POWER_EXPORTS);

class Power : public FerroxTestWith<PowerExports> {
 protected:
  // Twenty battery readings; in filtered mode each is ten equal conversions.
  static void FeedReadings(const std::vector<int>& readings, bool filtered) {
    std::vector<int> codes;
    for (int r : readings) codes.insert(codes.end(), filtered ? 10 : 1, r);
    orlik_sim_adc_feed(0, codes.data(), int(codes.size()));
  }

};

TEST_F(Power, BatteryVoltsAndPercentFollowTheReadingsAndLimits) {
  struct Case {
    const char* what;
    std::vector<int> readings;
    bool supply;
    double full, empty;  // 0: leave the limits as they are
    double volts;
    int percent;
  };
  std::vector<int> spread(20, 3000);
  for (int i = 0; i < 5; ++i) spread[size_t(i)] = 0, spread[size_t(19 - i)] = 4095;
  const Case cases[] = {
      {"3000, battery only", std::vector<int>(20, 3000), false, 0, 0, 7.32421875, 36},
      {"3000, external supply", std::vector<int>(20, 3000), true, 0, 0, 7.77421875, 63},
      {"2744: just below empty", std::vector<int>(20, 2744), false, 0, 0, 6.69921875, 0},
      {"4095", std::vector<int>(20, 4095), false, 0, 0, 9.997558593750, 100},
      {"3441: just above full", std::vector<int>(20, 3441), false, 0, 0, 8.400878906250, 100},
      {"only the middle ten count", spread, false, 0, 0, 7.32421875, 36},
      {"limits 9.0 and 5.0", std::vector<int>(20, 3000), false, 9.0, 5.0, 7.32421875, 58},
      {"equal limits", std::vector<int>(20, 3000), false, 7.0, 7.0, 7.32421875, 0},
  };
  bool filtered = false;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    orlik_sim_set_external_supply(c.supply ? 1 : 0);
    if (c.full != 0) {
      limits(c.full, c.empty);
      filtered = true;  // the limits switch the converter to filtered mode
    }
    FeedReadings(c.readings, filtered);
    EXPECT_DOUBLE_EQ(volts(), c.volts);
    FeedReadings(c.readings, filtered);
    double out = 0;
    EXPECT_DOUBLE_EQ(volts1(&out), c.volts);
    EXPECT_DOUBLE_EQ(out, c.volts);
    FeedReadings(c.readings, filtered);
    EXPECT_EQ(percent(), c.percent);
    EXPECT_EQ(orlik_sim_adc_pending(0), 0);
  }
}

TEST_F(Power, VoltageLimitsSwitchTheConverterToFilteredModeAtPrescaler48) {
  orlik_sim_adc_set_volts(0, 7.5);
  int before = orlik_sim_adc_conversions();
  volts();
  EXPECT_EQ(orlik_sim_adc_conversions() - before, 20);
  limits(8.4, 6.7);
  orlik_sim_trace(1);
  before = orlik_sim_adc_conversions();
  EXPECT_NEAR(volts(), 7.5, 0.003);
  EXPECT_EQ(orlik_sim_adc_conversions() - before, 200);
  bool sawWord = false;
  for (auto& a : Trace()) {
    if (a.write && a.phys == kAdc && !(a.value & 1)) {
      EXPECT_EQ((a.value >> 6) & 0xFF, 48u);
      sawWord = true;
    }
  }
  EXPECT_TRUE(sawWord);
  offset(1.0);
  orlik_sim_set_external_supply(1);
  EXPECT_NEAR(volts(), 8.5, 0.003);
}

TEST_F(Power, ExternalSupplyIsReadFromPortBBit4MadeAnInput) {
  auto bitCfg = FERROX_FN(SetPortBBitCfg);
  for (int present : {1, 0, 1}) {
    orlik_sim_set_external_supply(present);
    bitCfg(4, 1);  // the application made the line an output
    EXPECT_EQ(external(), present);
    EXPECT_EQ(orlik_sim_pin_mode('P', 12), 0);
    EXPECT_EQ(orlik_sim_pin_pull('P', 12), 2);
  }
  EXPECT_EQ(orlik_sim_powered_off(), 0) << "the pull-ups on the power-off line switch nothing";
}

TEST_F(Power, PowerOffDrivesTheLineHighAndThePanelGoesOff) {
  external();  // pull-ups on port B, the power-off line still an input
  EXPECT_EQ(orlik_sim_powered_off(), 0);
  powerOff();
  EXPECT_EQ(orlik_sim_pin_mode('P', 13), 1);
  EXPECT_EQ(orlik_sim_pin_level('P', 13), 1);
  EXPECT_EQ(orlik_sim_powered_off(), 1);
  EXPECT_EQ(orlik_sim_power_off_count(), 1);
}

}  // namespace
