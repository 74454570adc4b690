#include "board/camera/decoder.h"

namespace orlik::board {

namespace {

// Power-on values of the registers that have one other than 0.
struct PowerOn {
  uint8_t reg;
  uint8_t value;
};
constexpr PowerOn kPowerOn[] = {
    {0x01, 0x15},  // analogue channel controls
    {0x03, 0x01},  // miscellaneous controls
    {0x04, 0xDC},  // autoswitch mask
    {0x06, 0x10},  // colour killer threshold
    {0x07, 0x60},  // luminance processing 1
    {0x09, 0x80},  // brightness
    {0x0A, 0x80},  // colour saturation
    {0x0C, 0x80},  // contrast
    {0x0D, 0x47},  // outputs and data rates
    {0x0F, 0x08},  // shared pins
    {0x15, 0x01},  // genlock and real-time control
    {0x16, 0x80},  // horizontal sync start
    {0x1A, 0x0C},  // chrominance control 1
    {0x1B, 0x14},  // chrominance control 2
    {0x2E, 0x0F},  // copy-protection on counter
    {0x2F, 0x01},  // copy-protection off counter
    {0x80, 0x51},  // device identification, high byte
    {0x81, 0x50},  // device identification, low byte
    {0x82, 0x04},  // ROM version
    {0x84, 0x02},  // vertical line count, high byte (525 lines)
    {0x85, 0x0D},  // vertical line count, low byte
};

// Identification, version and status registers: writes leave them alone.
bool ReadOnly(uint8_t reg) { return reg >= 0x80 && reg <= 0x8F; }

}  // namespace

void VideoDecoder::Reset() {
  regs_.fill(0);
  for (const auto& r : kPowerOn) regs_[r.reg] = r.value;
  pointer_ = 0;
  havePointer_ = false;
  silent_ = false;
  silentReads_ = 0;
  writes_ = 0;
}

bool VideoDecoder::Select(uint8_t, bool read) {
  havePointer_ = false;
  silent_ = false;
  if (read && pointer_ == kIdentityHigh && silentReads_ > 0) {
    // Not awake yet: the chip answers its address but sends all ones.
    --silentReads_;
    silent_ = true;
  }
  return true;
}

bool VideoDecoder::Receive(uint8_t byte) {
  if (!havePointer_) {
    pointer_ = byte;
    havePointer_ = true;
    return true;
  }
  if (!ReadOnly(pointer_)) regs_[pointer_] = byte;
  ++writes_;
  ++pointer_;
  return true;
}

uint8_t VideoDecoder::Transmit() {
  uint8_t value = silent_ ? 0xFF : regs_[pointer_];
  ++pointer_;
  return value;
}

int VideoDecoder::Register(int reg) const {
  if (reg < 0 || reg >= int(regs_.size())) return -1;
  return regs_[size_t(reg)];
}

}  // namespace orlik::board
