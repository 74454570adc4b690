// The ADC model as the processor sees it, through physical register accesses.
#include "tolvex_test.h"

namespace {

constexpr uint32_t kAdcCon = 0x7E00B000;
constexpr uint32_t kAdcDat0 = 0x7E00B00C;
constexpr uint32_t kEcFlg = 1u << 15;
constexpr uint32_t kStart = 1u << 0;

class AdcModel : public tolvex_test::PanelTest {
 protected:
  // Starts a conversion with the given control bits; returns the reads of
  // the control register until the end flag, or -1 if it never came.
  static int Convert(uint32_t control) {
    orlik_sim_poke(kAdcCon, control | kStart);
    for (int reads = 1; reads <= 1000; ++reads)
      if (orlik_sim_peek(kAdcCon) & kEcFlg) return reads;
    return -1;
  }
  static uint32_t Control(int channel, uint32_t prescaler, bool twelveBits = true) {
    return (twelveBits ? 1u << 16 : 0) | (1u << 14) | (prescaler << 6) | (uint32_t(channel) << 3);
  }
};

TEST_F(AdcModel, ConversionStartsEndsAndDeliversTheInput) {
  orlik_sim_adc_set_volts(3, 1.65);
  orlik_sim_poke(kAdcCon, Control(3, 255));
  EXPECT_EQ(orlik_sim_peek(kAdcCon) & (kEcFlg | kStart), kEcFlg);  // idle
  orlik_sim_poke(kAdcCon, Control(3, 255) | kStart);
  EXPECT_EQ(orlik_sim_peek(kAdcCon) & (kEcFlg | kStart), kStart);  // not begun yet
  EXPECT_EQ(orlik_sim_peek(kAdcCon) & (kEcFlg | kStart), 0u);      // converting
  int reads = 2;
  while (!(orlik_sim_peek(kAdcCon) & kEcFlg) && reads < 1000) ++reads;
  EXPECT_GT(reads, 10) << "a slow converter clock takes longer";
  EXPECT_EQ(orlik_sim_peek(kAdcDat0), 0x8000u | 2048u);  // stylus up, 12-bit result
  EXPECT_EQ(orlik_sim_adc_conversions(), 1);

  EXPECT_LT(Convert(Control(3, 7)), reads);
  EXPECT_EQ(orlik_sim_peek(kAdcDat0) & 0xFFF, 2048u);
  EXPECT_GT(Convert(Control(3, 7, false)), 0);
  EXPECT_EQ(orlik_sim_peek(kAdcDat0) & 0xFFF, 512u);  // 10-bit result
}

TEST_F(AdcModel, FedCodesComeFirstThenTheVoltageAgain) {
  orlik_sim_adc_set_volts(5, 3.3);
  const int codes[] = {1, 0x1FFF, 4095};
  orlik_sim_adc_feed(5, codes, 3);
  EXPECT_EQ(orlik_sim_adc_pending(5), 3);
  const uint32_t expected[] = {1, 0xFFF, 4095, 4095};
  for (uint32_t e : expected) {
    ASSERT_GT(Convert(Control(5, 7)), 0);
    EXPECT_EQ(orlik_sim_peek(kAdcDat0) & 0xFFF, e);
  }
  orlik_sim_adc_feed(5, codes, 1);
  orlik_sim_reset();
  EXPECT_EQ(orlik_sim_adc_pending(5), 0);
  EXPECT_EQ(orlik_sim_adc_conversions(), 0);
}

TEST_F(AdcModel, ConverterInStandbyOrWithoutItsClockNeverFinishes) {
  EXPECT_EQ(Convert(Control(1, 7) | (1u << 2)), -1);  // standby
  EXPECT_EQ(orlik_sim_peek(kAdcCon) & kStart, kStart);
  EXPECT_EQ(Convert(Control(1, 7) & ~(1u << 14)), -1);  // prescaler off
  EXPECT_GT(Convert(Control(1, 7)), 0);  // a proper start recovers it
  EXPECT_EQ(orlik_sim_adc_conversions(), 1);
}

}  // namespace
