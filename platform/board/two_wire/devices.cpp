#include "board/two_wire/devices.h"

namespace orlik::board {

// --- analogue output converter ----------------------------------------------

bool AnalogueOutputConverter::Select(uint8_t address, bool read) {
  if (read) return false;
  channel_ = address == kOutput1 ? 0 : 1;
  received_ = 0;
  return true;
}

bool AnalogueOutputConverter::Receive(uint8_t byte) {
  switch (received_++) {
    case 0:
      high_ = byte;
      return true;
    case 1:
      values_[size_t(channel_)] = (high_ << 8) | byte;
      ++updates_[size_t(channel_)];
      return true;
    default:
      return false;
  }
}

void AnalogueOutputConverter::Reset() {
  values_ = {0, 0};
  updates_ = {0, 0};
  received_ = 0;
}

int AnalogueOutputConverter::Value(int address) const {
  if (address == kOutput1 << 1) return values_[0];
  if (address == kOutput2 << 1) return values_[1];
  return -1;
}

int AnalogueOutputConverter::Updates(int address) const {
  if (address == kOutput1 << 1) return updates_[0];
  if (address == kOutput2 << 1) return updates_[1];
  return -1;
}

// --- counter module ------------------------------------------------------------

namespace {

enum : uint8_t {
  kIdentify = 0x32,
  kSetMode = 0x33,
  kGetMode = 0x34,
  kReadCounter1 = 0x35,
  kReadCounter4 = 0x38,
  kReadEncoder1 = 0x39,
  kReadEncoder2 = 0x3A,
  kResetCounter1 = 0x3F,
  kResetCounter4 = 0x42,
  kResetEncoder1 = 0x43,
  kResetEncoder2 = 0x44,
  kFirmware = 0x46,
  kPinStatus1 = 0x49,
  kPinStatus4 = 0x4C,
  kPause1 = 0x50,
  kPause4 = 0x53,
  kSetWidth = 0x55,
  kGetWidth = 0x56,
};

bool Between(uint8_t c, uint8_t first, uint8_t last) { return c >= first && c <= last; }

bool TakesArgument(uint8_t c) { return c == kSetMode || c == kSetWidth || Between(c, kPause1, kPause4); }

bool IsReadCommand(uint8_t c) {
  return c == kIdentify || c == kGetMode || Between(c, kReadCounter1, kReadEncoder2) || c == kFirmware ||
         Between(c, kPinStatus1, kPinStatus4) || c == kGetWidth;
}

bool IsPlainCommand(uint8_t c) { return Between(c, kResetCounter1, kResetEncoder2); }

}  // namespace

bool CounterModuleModel::Select(uint8_t, bool read) {
  reading_ = read;
  sent_ = 0;
  if (read) {
    PrepareAnswer();
  } else {
    received_ = 0;
    haveCommand_ = false;
  }
  return true;
}

bool CounterModuleModel::Receive(uint8_t byte) {
  int index = received_++;
  if (index == 0) {
    if (!TakesArgument(byte) && !IsReadCommand(byte) && !IsPlainCommand(byte)) return false;
    command_ = byte;
    haveCommand_ = true;
    if (IsPlainCommand(byte)) Execute(byte, -1);
    return true;
  }
  if (index == 1 && TakesArgument(command_)) {
    Execute(command_, byte);
    return true;
  }
  return false;
}

uint8_t CounterModuleModel::Transmit() { return sent_ < answer_.size() ? answer_[sent_++] : 0xFF; }

void CounterModuleModel::End() {
  // A repeated start keeps the command for the read that follows; the end
  // of the read itself forgets it.
  if (reading_) haveCommand_ = false;
  reading_ = false;
}

void CounterModuleModel::Reset() {
  counters_ = {};
  encoders_ = {};
  paused_ = {};
  pins_ = {};
  mode_ = 0;
  width_ = 32;
  firmware_ = 0x13;
  identity_ = {0x4D, 0x21};
  forcedCheck_ = -1;
  dropSettings_ = 0;
  commands_ = 0;
  reading_ = false;
  received_ = 0;
  haveCommand_ = false;
  answer_.clear();
  sent_ = 0;
}

bool CounterModuleModel::TakeSetting() {
  if (dropSettings_ == 0) return true;
  if (dropSettings_ > 0) --dropSettings_;
  return false;
}

void CounterModuleModel::Execute(uint8_t command, int argument) {
  ++commands_;
  if (command == kSetMode) {
    if (TakeSetting()) mode_ = uint8_t(argument);
  } else if (command == kSetWidth) {
    if (TakeSetting()) width_ = uint8_t(argument);
  } else if (Between(command, kPause1, kPause4)) {
    paused_[command - kPause1] = argument != 0;
  } else if (Between(command, kResetCounter1, kResetCounter4)) {
    counters_[command - kResetCounter1] = 0;
  } else if (Between(command, kResetEncoder1, kResetEncoder2)) {
    encoders_[command - kResetEncoder1] = 0;
  }
}

void CounterModuleModel::AddValue(uint64_t value, int bytes) {
  uint8_t sum = 0;
  bool zero = true;
  for (int i = 0; i < bytes; ++i) {
    uint8_t b = uint8_t(value >> (8 * i));
    answer_.push_back(b);
    sum = uint8_t(sum + b);
    zero = zero && b == 0;
  }
  uint8_t check = zero ? 0xAA : sum;
  answer_.push_back(forcedCheck_ >= 0 ? uint8_t(forcedCheck_) : check);
}

void CounterModuleModel::PrepareAnswer() {
  answer_.clear();
  if (!haveCommand_ || !IsReadCommand(command_)) return;
  ++commands_;
  uint8_t c = command_;
  if (c == kIdentify) {
    answer_ = {identity_[0], identity_[1]};
  } else if (c == kGetMode) {
    answer_ = {mode_};
  } else if (c == kGetWidth) {
    answer_ = {width_};
  } else if (Between(c, kReadCounter1, kReadCounter4)) {
    AddValue(counters_[c - kReadCounter1], width_ == 64 ? 8 : 4);
  } else if (Between(c, kReadEncoder1, kReadEncoder2)) {
    AddValue(encoders_[c - kReadEncoder1], 4);
  } else if (c == kFirmware) {
    answer_ = {firmware_};
  } else if (Between(c, kPinStatus1, kPinStatus4)) {
    answer_ = {pins_[c - kPinStatus1]};
  }
}

bool CounterModuleModel::SetCount(int index, uint64_t value) {
  if (index >= 1 && index <= 4) {
    counters_[size_t(index - 1)] = value;
    return true;
  }
  if (index == 5 || index == 6) {
    encoders_[size_t(index - 5)] = uint32_t(value);
    return true;
  }
  return false;
}

bool CounterModuleModel::Count(int index, uint64_t* value) const {
  if (index >= 1 && index <= 4) {
    *value = counters_[size_t(index - 1)];
    return true;
  }
  if (index == 5 || index == 6) {
    *value = encoders_[size_t(index - 5)];
    return true;
  }
  return false;
}

bool CounterModuleModel::Pulse(int counter, uint64_t pulses) {
  if (counter < 1 || counter > 4) return false;
  if (!paused_[size_t(counter - 1)]) counters_[size_t(counter - 1)] += pulses;
  return true;
}

bool CounterModuleModel::SetPinStatus(int pin, uint8_t status) {
  if (pin < 1 || pin > 4) return false;
  pins_[size_t(pin - 1)] = status;
  return true;
}

int CounterModuleModel::pausedMask() const {
  int mask = 0;
  for (size_t i = 0; i < paused_.size(); ++i) mask |= paused_[i] ? 1 << i : 0;
  return mask;
}

}  // namespace orlik::board
