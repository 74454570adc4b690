// Analogue inputs: what the converter returns for codes fed on the board,
// and what the library did to the converter and timer 3 to get it.
#include "ferrox_fixture.h"

#include <algorithm>
#include <numeric>
#include <random>

using namespace ferrox_test;

namespace {

constexpr uint32_t kAdcCon = kAdc + 0x00;
constexpr uint32_t kTcon = kTimer + 0x08;
constexpr uint32_t kTintCstat = kTimer + 0x44;

#define ADC_EXPORTS(X) X(read, GetADCData) X(detailed, GetDetailFilteringADCData) X(filtering, SetFiltering) \
  X(prescale, SetADCPrescale)
TOLVEX_EXPORT_TABLE(AdcExports, ADC_EXPORTS);

class Adc : public FerroxTestWith<AdcExports> {
 protected:
  static void Feed(int channel, const std::vector<int>& codes) {
    orlik_sim_adc_feed(channel, codes.data(), int(codes.size()));
  }
  // Whole-word writes of the control register that start nothing.
  static std::vector<uint32_t> ControlWords() {
    std::vector<uint32_t> words;
    for (auto& a : Trace())
      if (a.write && a.phys == kAdcCon && !(a.value & 1)) words.push_back(a.value);
    return words;
  }
  static bool TouchedTimers() {
    for (auto& a : Trace())
      if (a.phys >= kTimer && a.phys < kTimer + 0x50) return true;
    return false;
  }

};

TEST_F(Adc, FilteredReadingAveragesTheMiddleFourOfTenConversions) {
  struct Case {
    std::vector<int> codes;
    int expected;
  };
  const Case cases[] = {
      {{7, 3, 10, 1, 5, 9, 2, 8, 4, 6}, 5},  // (4+5+6+7) >> 2
      {{0, 0, 0, 100, 101, 102, 103, 4095, 4095, 4095}, 101},
      {{4095, 4095, 4095, 4095, 4095, 4095, 4095, 4095, 4095, 4095}, 4095},
      {{0, 4095, 0, 4095, 0, 4095, 0, 4095, 0, 4095}, 2047},
  };
  filtering(1);
  for (const auto& c : cases) {
    Feed(2, c.codes);
    int before = orlik_sim_adc_conversions();
    orlik_sim_trace(1);
    EXPECT_EQ(read(2), c.expected);
    EXPECT_EQ(orlik_sim_adc_conversions() - before, 10);
    EXPECT_EQ(orlik_sim_adc_pending(2), 0);
    EXPECT_FALSE(TouchedTimers()) << "filtered mode leaves timer 3 alone";
  }
}

TEST_F(Adc, PlainReadingHoldsTimer3AroundOneConversion) {
  orlik_sim_poke(kTcon, 0x00010000);  // timer 3 running
  orlik_sim_poke(kTintCstat, 0x08);   // its interrupt enabled
  Feed(1, {1234, 999});
  orlik_sim_trace(1);
  EXPECT_EQ(read(1), 1234);
  auto trace = Trace();
  EXPECT_EQ(orlik_sim_adc_pending(1), 1) << "one conversion only";

  std::vector<uint32_t> tint;
  int stopAt = -1, startAt = -1, runAt = -1;
  for (int i = 0; i < int(trace.size()); ++i) {
    const auto& a = trace[size_t(i)];
    if (!a.write) continue;
    if (a.phys == kTcon && !(a.value & 0x10000) && stopAt < 0) stopAt = i;
    if (a.phys == kTcon && (a.value & 0x10000)) runAt = i;
    if (a.phys == kAdcCon && (a.value & 1)) startAt = i;
    if (a.phys == kTintCstat) tint.push_back(a.value);
  }
  ASSERT_GE(stopAt, 0);
  ASSERT_GE(startAt, 0);
  EXPECT_LT(stopAt, startAt);
  EXPECT_GT(runAt, startAt);
  // Mask, clear pending (before), clear pending (after), unmask.
  EXPECT_EQ(tint, (std::vector<uint32_t>{0x00, 0x100, 0x100, 0x08}));
  EXPECT_EQ(orlik_sim_peek(kTcon) & 0x10000, 0x10000u);
  EXPECT_EQ(orlik_sim_peek(kTintCstat) & 0x108, 0x08u);
  // Other timers' bits are not touched by the timer 3 hold.
  orlik_sim_poke(kTcon, 0x00010F0B);
  read(1);
  EXPECT_EQ(orlik_sim_peek(kTcon), 0x00010F0Bu);
}

TEST_F(Adc, ControlWordIsWrittenTwiceOnANewChannelAndCarriesThePrescaler) {
  orlik_sim_trace(1);
  read(3);  // first reading after load: lastChannel is -1
  read(3);
  read(5);
  const uint32_t ch3 = (3u << 3) | ((0x500u | 7u) << 6);
  const uint32_t ch5 = (5u << 3) | ((0x500u | 7u) << 6);
  EXPECT_EQ(ControlWords(), (std::vector<uint32_t>{ch3, ch3, ch3, ch5, ch5}));

  struct Case {
    int32_t ratio;
    uint32_t field;
  };
  for (const Case& c : {Case{8, 7}, Case{0, 255}, Case{49, 48}, Case{257, 0}, Case{1, 0}}) {
    prescale(c.ratio);
    orlik_sim_trace(1);
    read(5);
    auto words = ControlWords();
    ASSERT_EQ(words.size(), 1u);
    EXPECT_EQ((words[0] >> 6) & 0xFF, c.field) << "ratio " << c.ratio;
    EXPECT_EQ(words[0] & 0x10000, 0x10000u);  // 12-bit results
    EXPECT_EQ(words[0] & 0x4000, 0x4000u);    // prescaler on
  }
}

TEST_F(Adc, VoltagesConvertOnTheBoardScale) {
  orlik_sim_adc_set_volts(3, 1.65);  // half of 3.3 V
  orlik_sim_adc_set_volts(0, 5.0);   // battery: half of 10 V
  EXPECT_EQ(read(3), 2048);
  EXPECT_EQ(read(0), 2048);
  orlik_sim_adc_set_volts(4, 7.0);  // above full scale
  EXPECT_EQ(read(4), 4095);
}

// Codes that make every filtered sample of a detailed reading equal the
// given value (ten equal conversions each).
std::vector<int> SamplesOf(const std::vector<int>& samples) {
  std::vector<int> codes;
  for (int s : samples) codes.insert(codes.end(), 10, s);
  return codes;
}

TEST_F(Adc, DetailedReadingCountsSamplesAndAveragesTheMiddle) {
  std::mt19937 shuffle(7);
  // count 5 -> 11 samples; n 3 -> start 4: positions 4, 5, 6.
  std::vector<int> eleven(11);
  std::iota(eleven.begin(), eleven.end(), 1);
  for (auto& v : eleven) v *= 100;
  std::shuffle(eleven.begin(), eleven.end(), shuffle);
  Feed(6, SamplesOf(eleven));
  int before = orlik_sim_adc_conversions();
  EXPECT_EQ(detailed(6, 5, 3), 600);
  EXPECT_EQ(orlik_sim_adc_conversions() - before, 110);

  // count 20, n 18 -> start 1: one dropped at each end.
  std::vector<int> twenty(20);
  for (int i = 0; i < 20; ++i) twenty[size_t(i)] = (i + 1) * 10;
  std::shuffle(twenty.begin(), twenty.end(), shuffle);
  twenty[0] = 4095;  // the highest is dropped whatever it is
  Feed(6, SamplesOf(twenty));
  std::vector<int> sorted = twenty;
  std::sort(sorted.begin(), sorted.end());
  int sum = std::accumulate(sorted.begin() + 1, sorted.begin() + 19, 0);
  EXPECT_EQ(detailed(6, 20, 18), sum / 18);

  // count 20, n 17 -> start 1 (odd remainder: one more dropped at the top).
  Feed(6, SamplesOf(twenty));
  sum = std::accumulate(sorted.begin() + 1, sorted.begin() + 18, 0);
  EXPECT_EQ(detailed(6, 20, 17), sum / 17);

  // Bad arguments: -1 without converting anything.
  struct Case {
    int32_t count, n;
  };
  for (const Case& c : {Case{20, 19}, Case{20, 0}, Case{20, -3}, Case{5, 10}, Case{6000, 4999}}) {
    before = orlik_sim_adc_conversions();
    EXPECT_EQ(detailed(6, c.count, c.n), -1) << c.count << "/" << c.n;
    EXPECT_EQ(orlik_sim_adc_conversions(), before);
  }
}

TEST_F(Adc, DetailedReadingRestoresTheModeAsOnOrOff) {
  struct Case {
    int32_t mode;
    bool plainAfter;  // the next GetADCData stops timer 3
  };
  for (const Case& c : {Case{0, true}, Case{1, false}, Case{2, false}}) {
    filtering(c.mode);
    EXPECT_NE(detailed(1, 11, 1), -1);
    orlik_sim_trace(1);
    read(1);
    EXPECT_EQ(TouchedTimers(), c.plainAfter) << "mode " << c.mode;
  }
  // Mode 2 is plain for GetADCData itself.
  filtering(2);
  orlik_sim_trace(1);
  read(1);
  EXPECT_TRUE(TouchedTimers());
}

}  // namespace
