// The S3C6410 ADC block and what is wired to its inputs.
//
// ADCCON: bit 16 RESSEL (1: 12-bit results, 0: 10-bit), bit 15 ECFLG (end of
// conversion, read-only), bit 14 PRSCEN, bits 13-6 PRSCVL, bits 5-3 SEL_MUX
// (input channel), bit 2 STDBM (standby), bit 0 ENABLE_START. Writing 1 to
// ENABLE_START starts a conversion of the selected channel: the bit reads 1
// until the conversion has begun, ECFLG reads 0 while it runs (1 whenever the
// converter is not converting), and the result lands in ADCDAT0 bits 11-0
// when it ends. Time is counted in reads of ADCCON
// (a busy-waiting reader is the only clock the model needs): one read for the
// start, then more reads the slower the converter clock (larger prescaler).
// A converter in standby or without its prescaler clock never finishes.
//
// Inputs: each channel has a voltage (channel 0 is the battery through the
// panel's divider, 10 V full scale; the others are 3.3 V full scale) and a
// queue of raw codes that successive conversions return before the voltage
// is used again.
#include <orlik/sim.h>

#include "board/board.h"

#include <cmath>
#include <deque>

namespace orlik::board {

namespace {
constexpr uint32_t kAdcCon = 0x00;
constexpr uint32_t kAdcTsc = 0x04;
constexpr uint32_t kAdcDly = 0x08;
constexpr uint32_t kAdcDat0 = 0x0C;
constexpr uint32_t kAdcDat1 = 0x10;
constexpr uint32_t kAdcUpDn = 0x14;
constexpr uint32_t kAdcClrInt = 0x18;
constexpr uint32_t kAdcClrIntPndNUp = 0x20;

constexpr uint32_t kResSel = 1u << 16;
constexpr uint32_t kEcFlg = 1u << 15;
constexpr uint32_t kPrscEn = 1u << 14;
constexpr uint32_t kStandby = 1u << 2;
constexpr uint32_t kEnableStart = 1u << 0;
constexpr uint32_t kStylusUp = 1u << 15;  // ADCDAT0/1: no touch screen, stylus up

constexpr int kChannels = 8;
constexpr double kBatteryFullScale = 10.0;
constexpr double kInputFullScale = 3.3;
constexpr double kResetBatteryVolts = 8.0;
}  // namespace

class Adc final : public Block {
 public:
  Adc() { Adc::Reset(); }
  const char* Name() const override { return "ADC"; }

  uint32_t Read(uint32_t offset) override {
    switch (offset) {
      case kAdcCon:
        return ReadControl();
      case kAdcTsc: return tsc_;
      case kAdcDly: return dly_;
      case kAdcDat0: return kStylusUp | data_;
      case kAdcDat1: return kStylusUp;
      case kAdcUpDn: return updn_;
      default:
        UnknownRead(offset);
        return 0;
    }
  }

  void Write(uint32_t offset, uint32_t value) override {
    switch (offset) {
      case kAdcCon:
        control_ = value & ~(kEcFlg | kEnableStart);
        if (value & kEnableStart) Start();
        break;
      case kAdcTsc: tsc_ = value; break;
      case kAdcDly: dly_ = value; break;
      case kAdcUpDn: updn_ = value; break;
      case kAdcClrInt:
      case kAdcClrIntPndNUp:
        break;  // interrupt acknowledges: nothing is pending in this model
      default:
        UnknownWrite(offset, value);
    }
  }

  void Reset() override {
    control_ = 0x3FC4;  // standby, prescaler 0xFF, disabled
    phase_ = Phase::kIdle;
    readsLeft_ = 0;
    data_ = 0;
    tsc_ = 0x58;
    dly_ = 0xFF;
    updn_ = 0;
    conversions_ = 0;
    for (auto& c : channels_) {
      c.volts = 0.0;
      c.codes.clear();
    }
    channels_[0].volts = kResetBatteryVolts;
  }

  void SetVolts(int channel, double volts) {
    if (channel >= 0 && channel < kChannels) channels_[size_t(channel)].volts = volts;
  }
  void Feed(int channel, const int* codes, int n) {
    if (channel < 0 || channel >= kChannels || !codes) return;
    for (int i = 0; i < n; ++i) channels_[size_t(channel)].codes.push_back(codes[i] & 0xFFF);
  }
  int Pending(int channel) const {
    return channel >= 0 && channel < kChannels ? int(channels_[size_t(channel)].codes.size()) : 0;
  }
  int Conversions() const { return conversions_; }

 private:
  enum class Phase { kIdle, kStarting, kConverting, kStalled };
  struct Channel {
    double volts = 0.0;
    std::deque<int> codes;
  };

  void Start() {
    if ((control_ & kStandby) || !(control_ & kPrscEn)) {
      Board::Get().Log("ADC: conversion started in standby or without the prescaler clock");
      phase_ = Phase::kStalled;
      return;
    }
    phase_ = Phase::kStarting;
    uint32_t prescaler = (control_ >> 6) & 0xFF;
    readsLeft_ = 1 + int((prescaler + 1) / 16);
  }

  uint32_t ReadControl() {
    uint32_t value = control_ | (phase_ == Phase::kIdle ? kEcFlg : 0);
    switch (phase_) {
      case Phase::kStarting:
        value |= kEnableStart;  // not begun yet
        phase_ = Phase::kConverting;
        break;
      case Phase::kConverting:
        if (--readsLeft_ <= 0) Finish();
        break;
      case Phase::kStalled:
        value |= kEnableStart;
        break;
      case Phase::kIdle:
        break;
    }
    return value;
  }

  void Finish() {
    int channel = int((control_ >> 3) & 7);
    Channel& c = channels_[size_t(channel)];
    int code;
    if (!c.codes.empty()) {
      code = c.codes.front();
      c.codes.pop_front();
    } else {
      double scale = channel == 0 ? kBatteryFullScale : kInputFullScale;
      long counts = std::lround(c.volts / scale * 4096.0);
      code = counts < 0 ? 0 : counts > 4095 ? 4095 : int(counts);
    }
    data_ = (control_ & kResSel) ? uint32_t(code) : uint32_t(code >> 2);
    phase_ = Phase::kIdle;
    ++conversions_;
  }

  uint32_t control_ = 0;
  Phase phase_ = Phase::kIdle;
  int readsLeft_ = 0;
  uint32_t data_ = 0;
  uint32_t tsc_ = 0, dly_ = 0, updn_ = 0;
  int conversions_ = 0;
  Channel channels_[kChannels];
};

std::shared_ptr<Block> MakeAdcBlock() { return std::make_shared<Adc>(); }

namespace {
Adc* TheAdc() { return Board::Get().BlockAs<Adc>(kAdcBase); }
}  // namespace

}  // namespace orlik::board

using orlik::board::Board;

extern "C" {

void orlik_sim_adc_set_volts(int channel, double volts) {
  std::lock_guard lock(Board::Get().Lock());
  if (auto* adc = orlik::board::TheAdc()) adc->SetVolts(channel, volts);
}

void orlik_sim_adc_feed(int channel, const int* codes, int n) {
  std::lock_guard lock(Board::Get().Lock());
  if (auto* adc = orlik::board::TheAdc()) adc->Feed(channel, codes, n);
}

int orlik_sim_adc_pending(int channel) {
  std::lock_guard lock(Board::Get().Lock());
  auto* adc = orlik::board::TheAdc();
  return adc ? adc->Pending(channel) : 0;
}

int orlik_sim_adc_conversions(void) {
  std::lock_guard lock(Board::Get().Lock());
  auto* adc = orlik::board::TheAdc();
  return adc ? adc->Conversions() : 0;
}

}  // extern "C"
