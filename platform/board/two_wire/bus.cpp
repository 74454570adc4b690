#include "board/two_wire/two_wire.h"

#include "board/console/events.h"
#include "board/gpio.h"

#include <cctype>
#include <cstdio>

namespace orlik::board {

namespace {
constexpr size_t kTranscriptLimit = 64 * 1024;
constexpr size_t kErrorLimit = 256;

bool Is(char port, int pin, char wantPort, int wantPin) {
  return std::toupper(static_cast<unsigned char>(port)) == wantPort && pin == wantPin;
}
}  // namespace

TwoWireBus::TwoWireBus(std::string name, Gpio& gpio, BusLines lines)
    : name_(std::move(name)), gpio_(gpio), lines_(lines) {
  sda_ = gpio_.Level(lines_.sdaPort, lines_.sdaPin);
  scl_ = gpio_.Level(lines_.sclPort, lines_.sclPin);
  gpio_.AddListener([this](char port, int pin, int level) { OnLevel(port, pin, level); });
}

void TwoWireBus::Attach(std::shared_ptr<TwoWireDevice> device) {
  if (!device || IsAttached(device.get())) return;
  devices_.push_back(std::move(device));
}

void TwoWireBus::Detach(const TwoWireDevice* device) {
  if (selected_ == device) {
    selected_ = nullptr;
    role_ = Role::kIgnore;
    deviceAcks_ = false;
    Drive(1);
  }
  std::erase_if(devices_, [device](auto& d) { return d.get() == device; });
}

bool TwoWireBus::IsAttached(const TwoWireDevice* device) const {
  for (auto& d : devices_)
    if (d.get() == device) return true;
  return false;
}

void TwoWireBus::Clear() {
  transcript_.clear();
  levels_.clear();
  errors_.clear();
}

void TwoWireBus::Reset() {
  // The GPIO model has already dropped every outside drive.
  driving_ = 1;
  active_ = false;
  role_ = Role::kNone;
  selected_ = nullptr;
  rises_ = 0;
  shift_ = sending_ = 0;
  deviceAcks_ = false;
  sda_ = gpio_.Level(lines_.sdaPort, lines_.sdaPin);
  scl_ = gpio_.Level(lines_.sclPort, lines_.sclPin);
  for (auto& d : devices_) d->Reset();
  Clear();
}

void TwoWireBus::OnLevel(char port, int pin, int level) {
  bool data = Is(port, pin, lines_.sdaPort, lines_.sdaPin);
  bool clock = Is(port, pin, lines_.sclPort, lines_.sclPin);
  if (!data && !clock) return;
  if (levels_.size() < kTranscriptLimit)
    levels_ += char('0' + 2 * (data ? level : sda_) + (clock ? level : scl_));
  if (data) {
    int old = sda_;
    sda_ = level;
    // A change on the data line while the clock is high is a condition; the
    // devices' own drive happens only while the clock is low.
    if (old != level && scl_ == 1 && !drivingNow_) {
      if (level == 0)
        StartCondition();
      else
        StopCondition();
    }
  } else {
    int old = scl_;
    scl_ = level;
    if (old == level) return;
    if (level == 1)
      ClockRose();
    else
      ClockFell();
  }
}

bool TwoWireBus::MasterDrivesData() const {
  return gpio_.Mode(lines_.sdaPort, lines_.sdaPin) == kPinOutput;
}

bool TwoWireBus::MasterOverridesDevice() const {
  if (!MasterDrivesData()) return false;
  // A low output always collides with a device that owns the line. A high
  // one collides only where it wins: on an open-drain line the device's low
  // still reaches the wire.
  return gpio_.Latch(lines_.sdaPort, lines_.sdaPin) == 0 || sda_ != driving_;
}

void TwoWireBus::ClockRose() {
  if (!active_) return;
  // Bit positions 0-7 of a byte the device sends, and the ninth clock of a
  // byte it acknowledges, belong to the device.
  bool deviceOwnsLine = (role_ == Role::kTransmit && rises_ < 8) || (deviceAcks_ && rises_ == 8);
  if (deviceOwnsLine && MasterOverridesDevice()) {
    char what[96];
    std::snprintf(what, sizeof what, "master drives the data line on clock %d while %s %s it", rises_ + 1,
                  selected_ ? selected_->Name() : "a device", rises_ == 8 ? "acknowledges on" : "sends on");
    Error(what);
  }
  // The master drove the last bit of the byte: it is writing it.
  if (rises_ == 7) masterWrote_ = MasterDrivesData();
  ++rises_;
  if (rises_ <= 8) {
    shift_ = uint8_t((shift_ << 1) | (sda_ & 1));
  } else if (rises_ == 9) {
    masterAcked_ = sda_ == 0;
    // The master kept driving its data output high through the acknowledge
    // of a byte it wrote: harmless on an open-drain line, but shown.
    bool heldHigh = masterWrote_ && MasterDrivesData() && gpio_.Latch(lines_.sdaPort, lines_.sdaPin) == 1;
    char text[8];
    std::snprintf(text, sizeof text, "%02X%c%s", shift_, sda_ == 0 ? '+' : '-', heldHigh ? "^" : "");
    Note(text);
  } else {
    Error("more than nine clocks in a byte");
  }
}

void TwoWireBus::ClockFell() {
  if (!active_) return;
  if (rises_ == 8) {
    // Eight bits are in: the device answers on the ninth clock.
    deviceAcks_ = false;
    switch (role_) {
      case Role::kAddress: {
        uint8_t address = uint8_t(shift_ >> 1);
        bool read = (shift_ & 1) != 0;
        role_ = Role::kIgnore;
        for (auto& d : devices_) {
          if (d->Answers(address) && d->Select(address, read)) {
            selected_ = d.get();
            role_ = read ? Role::kTransmit : Role::kReceive;
            firstByte_ = read;
            deviceAcks_ = true;
            break;
          }
        }
        break;
      }
      case Role::kReceive:
        deviceAcks_ = selected_ && selected_->Receive(shift_);
        break;
      default:
        break;  // a byte the device sent: the master acknowledges it
    }
    Drive(deviceAcks_ ? 0 : 1);
  } else if (rises_ >= 9) {
    // The byte cycle is over.
    Drive(1);
    deviceAcks_ = false;
    rises_ = 0;
    shift_ = 0;
    if (role_ == Role::kTransmit) {
      if (firstByte_ || masterAcked_) {
        sending_ = selected_ ? selected_->Transmit() : 0xFF;
        Drive((sending_ >> 7) & 1);
      } else {
        role_ = Role::kIgnore;  // not acknowledged: the device stops sending
      }
    }
    firstByte_ = false;
  } else if (role_ == Role::kTransmit && rises_ >= 1) {
    Drive((sending_ >> (7 - rises_)) & 1);
  }
}

void TwoWireBus::StartCondition() {
  Condition("start", true);
  firstByte_ = false;
  Note("S");
}

void TwoWireBus::StopCondition() {
  if (!active_) return;  // a stop on an idle bus changes nothing
  Condition("stop", false);
  Note("P");
}

void TwoWireBus::Condition(const char* which, bool start) {
  if (active_ && rises_ > 1) {
    char what[64];
    std::snprintf(what, sizeof what, "%s condition inside a byte, after %d clocks", which, rises_ - 1);
    Error(what);
  }
  EndTransfer();
  Drive(1);
  active_ = start;
  role_ = start ? Role::kAddress : Role::kNone;
  rises_ = 0;
  shift_ = 0;
  deviceAcks_ = false;
}

void TwoWireBus::EndTransfer() {
  if (selected_) selected_->End();
  selected_ = nullptr;
}

void TwoWireBus::Drive(int level) {
  int want = level ? 1 : 0;
  if (want == driving_) return;
  driving_ = want;
  drivingNow_ = true;
  gpio_.DriveExternal(lines_.sdaPort, lines_.sdaPin, want ? -1 : 0);
  drivingNow_ = false;
}

void TwoWireBus::Note(const std::string& text) {
  if (!transcript_.empty()) transcript_ += ' ';
  transcript_ += text;
  if (transcript_.size() > kTranscriptLimit) {
    size_t cut = transcript_.find(' ', transcript_.size() - kTranscriptLimit / 2);
    transcript_.erase(0, cut == std::string::npos ? transcript_.size() : cut + 1);
  }
}

void TwoWireBus::Error(const std::string& what) {
  Note("!");
  if (errors_.size() < kErrorLimit) errors_.push_back(what);
  if (console::Wanted(console::EventKind::kBusError)) console::PublishBusError(name_, what);
  Board::Get().Log("two-wire bus " + name_ + ": " + what);
}

}  // namespace orlik::board
