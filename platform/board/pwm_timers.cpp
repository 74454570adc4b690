// The S3C6410 PWM-timer block: five down-counting timers behind a shared
// prescaler pair and per-timer clock dividers. Timers 0 and 1 drive the
// panel's PWM outputs on HW-F14 and HW-F15 when those pins select their
// timer function (configuration pattern 10).
//
// A running timer with auto-reload repeats a period of TCNTB + 1 ticks; its
// output is low after each reload and goes high when the count reaches
// TCMPB, so it is high for TCMPB + 1 ticks (all of the period when TCMPB >=
// TCNTB). The inverter flips the output. With the dead zone on, timer 1's
// pin carries the inverse of timer 0's output instead of its own, and each
// of the two delays its rising edge by the dead-zone length (in timer 0
// ticks). A timer without auto-reload runs one period and stops; it is
// modelled as stopped. A stopped timer's output rests at its inactive level
// (low, or high with the inverter). Divider selections above 4 pick the
// external clock inputs, which the panel leaves unconnected: such a timer
// does not count.
//
// Timers 2 to 4 store their settings and their run bits (timer 3's bit 16
// is what the converter code stops and restarts); they drive no pin.
#include <orlik/sim_bus.h>

#include "board/gpio.h"

#include <algorithm>
#include <array>
#include <chrono>

namespace orlik::board {

namespace {

constexpr double kTimerInputHz = 66e6;

constexpr uint32_t TCFG0 = 0x00;
constexpr uint32_t TCFG1 = 0x04;
constexpr uint32_t TCON = 0x08;
constexpr uint32_t TCNTB0 = 0x0C;
constexpr uint32_t TCMPB0 = 0x10;
constexpr uint32_t TCNTO0 = 0x14;
constexpr uint32_t TCNTB1 = 0x18;
constexpr uint32_t TCMPB1 = 0x1C;
constexpr uint32_t TCNTO1 = 0x20;
constexpr uint32_t TCNTB2 = 0x24;
constexpr uint32_t TCMPB2 = 0x28;
constexpr uint32_t TCNTO2 = 0x2C;
constexpr uint32_t TCNTB3 = 0x30;
constexpr uint32_t TCMPB3 = 0x34;
constexpr uint32_t TCNTO3 = 0x38;
constexpr uint32_t TCNTB4 = 0x3C;
constexpr uint32_t TCNTO4 = 0x40;
constexpr uint32_t TINT_CSTAT = 0x44;

// TCON bits of each timer: start at the shift, manual update next, then
// inverter and auto-reload (timer 4 has no inverter: auto-reload at +2).
constexpr std::array<unsigned, 5> kControlShift = {0, 8, 12, 16, 20};
constexpr uint32_t kDeadZoneEnable = 1u << 4;

constexpr char kPwmPort = 'F';
constexpr std::array<int, 2> kPwmPin = {14, 15};
constexpr int kTimerFunction = 2;

using Clock = std::chrono::steady_clock;

}  // namespace

class PwmTimers final : public Block {
 public:
  explicit PwmTimers(Gpio& gpio) : gpio_(gpio) {
    PwmTimers::Reset();
    for (int c = 0; c < 2; ++c)
      gpio_.SetFunctionLevel(kPwmPort, kPwmPin[size_t(c)], [this, c](int mode) { return PinLevel(c, mode); });
  }

  const char* Name() const override { return "PWM timers"; }

  uint32_t Read(uint32_t offset) override {
    switch (offset) {
      case TCFG0: return tcfg0_;
      case TCFG1: return tcfg1_;
      case TCON: return tcon_;
      case TCNTB0: return tcntb_[0];
      case TCMPB0: return tcmpb_[0];
      case TCNTO0: return Observe(0);
      case TCNTB1: return tcntb_[1];
      case TCMPB1: return tcmpb_[1];
      case TCNTO1: return Observe(1);
      case TCNTB2: return tcntb_[2];
      case TCMPB2: return tcmpb_[2];
      case TCNTO2: return Observe(2);
      case TCNTB3: return tcntb_[3];
      case TCMPB3: return tcmpb_[3];
      case TCNTO3: return Observe(3);
      case TCNTB4: return tcntb_[4];
      case TCNTO4: return Observe(4);
      case TINT_CSTAT: return intEnable_ | (intPending_ << 5);
      default:
        UnknownRead(offset);
        return 0;
    }
  }

  void Write(uint32_t offset, uint32_t value) override {
    switch (offset) {
      case TCFG0: tcfg0_ = value; break;
      case TCFG1: tcfg1_ = value; break;
      case TCON: WriteControl(value); break;
      case TCNTB0: tcntb_[0] = value; break;
      case TCMPB0: tcmpb_[0] = value; break;
      case TCNTB1: tcntb_[1] = value; break;
      case TCMPB1: tcmpb_[1] = value; break;
      case TCNTB2: tcntb_[2] = value; break;
      case TCMPB2: tcmpb_[2] = value; break;
      case TCNTB3: tcntb_[3] = value; break;
      case TCMPB3: tcmpb_[3] = value; break;
      case TCNTB4: tcntb_[4] = value; break;
      case TINT_CSTAT:
        intEnable_ = value & 0x1F;
        intPending_ &= ~((value >> 5) & 0x1F);  // pending bits clear by writing 1
        break;
      case TCNTO0: case TCNTO1: case TCNTO2: case TCNTO3: case TCNTO4:
        UnknownWrite(offset, value, "read-only");
        return;
      default:
        UnknownWrite(offset, value);
        return;
    }
    // The outputs may have changed level.
    gpio_.Settle(kPwmPort);
  }

  void Reset() override {
    tcfg0_ = 0x0101;
    tcfg1_ = 0;
    tcon_ = 0;
    tcntb_ = {};
    tcmpb_ = {};
    intEnable_ = intPending_ = 0;
    timers_ = {};
  }

  // What output 1 or 2 shows (see orlik_sim_pwm_output).
  void Report(int channel, double* hz, double* duty, int* level) {
    int pin = kPwmPin[size_t(channel)];
    double h = 0, d = 0;
    int l = 0;
    if (gpio_.Mode(kPwmPort, pin) == kTimerFunction) {
      Wave w = WaveOf(channel);
      if (w.Toggles()) {
        h = w.tickHz / double(w.period);
        d = 100.0 * double(w.high) / double(w.period);
        l = -1;
      } else {
        l = w.StaticLevel();
      }
    } else {
      l = gpio_.Level(kPwmPort, pin);
    }
    if (l >= 0) d = l ? 100.0 : 0.0;
    if (hz) *hz = h;
    if (duty) *duty = d;
    if (level) *level = l;
  }

  bool Inverted(int channel) const { return (tcon_ & Bit(channel, 2)) != 0; }

 private:
  struct TimerState {
    uint32_t count = 0;  // loaded by a manual update
    bool running = false;
    Clock::time_point since{};
  };

  // One period of an output: ticks high out of period ticks.
  struct Wave {
    double tickHz = 0;
    uint64_t period = 1;
    uint64_t high = 0;
    bool running = false;
    int restLevel = 0;
    bool Toggles() const { return running && tickHz > 0 && high > 0 && high < period; }
    int StaticLevel() const {
      if (!running || tickHz <= 0) return restLevel;
      return high >= period ? 1 : 0;
    }
  };

  static uint32_t Bit(int timer, unsigned n) { return 1u << (kControlShift[size_t(timer)] + n); }
  static uint32_t AutoReloadBit(int timer) { return timer == 4 ? Bit(4, 2) : Bit(timer, 3); }

  double TickHz(int timer) const {
    uint32_t prescaler = timer < 2 ? (tcfg0_ & 0xFF) : ((tcfg0_ >> 8) & 0xFF);
    uint32_t mux = (tcfg1_ >> (4 * timer)) & 0xF;
    if (mux > 4) return 0;  // external clock input, not connected
    return kTimerInputHz / double(prescaler + 1) / double(1u << mux);
  }

  void WriteControl(uint32_t value) {
    tcon_ = value;
    auto now = Clock::now();
    for (int t = 0; t < 5; ++t) {
      TimerState& s = timers_[size_t(t)];
      bool manual = (value & Bit(t, 1)) != 0;
      if (manual) s.count = tcntb_[size_t(t)];
      // A manual update holds the counter until it is cleared.
      bool run = (value & Bit(t, 0)) != 0 && !manual;
      if (run && !s.running) s.since = now;
      s.running = run;
    }
  }

  uint32_t Observe(int timer) const {
    const TimerState& s = timers_[size_t(timer)];
    double hz = TickHz(timer);
    if (!s.running || hz <= 0) return s.count;
    double elapsed = std::chrono::duration<double>(Clock::now() - s.since).count();
    uint64_t ticks = uint64_t(elapsed * hz);
    uint64_t period = uint64_t(s.count) + 1;
    return uint32_t(s.count - ticks % period);
  }

  // The bare output of timer 0 or 1, before the dead zone.
  Wave TimerWave(int timer) const {
    Wave w;
    const TimerState& s = timers_[size_t(timer)];
    w.tickHz = TickHz(timer);
    w.running = s.running && (tcon_ & AutoReloadBit(timer)) != 0;
    w.period = uint64_t(tcntb_[size_t(timer)]) + 1;
    w.high = std::min<uint64_t>(uint64_t(tcmpb_[size_t(timer)]) + 1, w.period);
    bool inverted = (tcon_ & Bit(timer, 2)) != 0;
    if (inverted) w.high = w.period - w.high;
    w.restLevel = inverted ? 1 : 0;
    return w;
  }

  Wave WaveOf(int channel) const {
    if (!(tcon_ & kDeadZoneEnable)) return TimerWave(channel);
    uint64_t deadZone = (tcfg0_ >> 16) & 0xFF;
    Wave w = TimerWave(0);
    if (channel == 1) {
      w.high = w.period - w.high;
      w.restLevel = 1 - w.restLevel;
    }
    w.high = w.high > deadZone ? w.high - deadZone : 0;
    return w;
  }

  // The level of a PWM pin while it selects a function: the timer output at
  // this instant (high at the end of each period).
  int PinLevel(int channel, int mode) const {
    if (mode != kTimerFunction) return 0;
    Wave w = WaveOf(channel);
    if (!w.Toggles()) return w.StaticLevel();
    const TimerState& s = timers_[size_t((tcon_ & kDeadZoneEnable) ? 0 : channel)];
    double elapsed = std::chrono::duration<double>(Clock::now() - s.since).count();
    uint64_t position = uint64_t(elapsed * w.tickHz) % w.period;
    return position >= w.period - w.high ? 1 : 0;
  }

  Gpio& gpio_;
  uint32_t tcfg0_ = 0, tcfg1_ = 0, tcon_ = 0;
  std::array<uint32_t, 5> tcntb_{};
  std::array<uint32_t, 4> tcmpb_{};  // timer 4 has no compare register
  uint32_t intEnable_ = 0, intPending_ = 0;
  std::array<TimerState, 5> timers_{};
};

std::shared_ptr<Block> MakePwmTimerBlock(Gpio& gpio) { return std::make_shared<PwmTimers>(gpio); }

}  // namespace orlik::board

using orlik::board::Board;
using orlik::board::PwmTimers;

extern "C" {

int orlik_sim_pwm_output(int channel, double* hz, double* duty, int* level) {
  if (channel != 1 && channel != 2) return 0;
  std::lock_guard lock(Board::Get().Lock());
  auto* timers = Board::Get().BlockAs<PwmTimers>(orlik::board::kTimerBase);
  if (!timers) return 0;
  timers->Report(channel - 1, hz, duty, level);
  return 1;
}

int orlik_sim_pwm_inverted(int channel) {
  if (channel != 1 && channel != 2) return 0;
  std::lock_guard lock(Board::Get().Lock());
  auto* timers = Board::Get().BlockAs<PwmTimers>(orlik::board::kTimerBase);
  return timers && timers->Inverted(channel - 1) ? 1 : 0;
}

}  // extern "C"
