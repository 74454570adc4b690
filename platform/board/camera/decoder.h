// The camera's analogue video decoder, a chip of the TVP5150 family on the
// main bus at 0xB8 (write) / 0xB9 (read). A write transfer sets the register
// pointer with its first byte and writes the following bytes from there on; a
// read transfer sends from the pointer. The pointer steps by one after every
// byte, as the chip's sub-address does.
#pragma once

#include "board/two_wire/two_wire.h"

#include <array>
#include <cstdint>

namespace orlik::board {

class VideoDecoder final : public TwoWireDevice {
 public:
  static constexpr uint8_t kAddress = 0xB8 >> 1;

  // Registers the camera model reads.
  static constexpr uint8_t kInputSelect = 0x00;
  static constexpr uint8_t kBrightness = 0x09;
  static constexpr uint8_t kSaturation = 0x0A;
  static constexpr uint8_t kHue = 0x0B;
  static constexpr uint8_t kContrast = 0x0C;
  static constexpr uint8_t kIdentityHigh = 0x80;

  VideoDecoder() { Reset(); }

  const char* Name() const override { return "video decoder"; }
  bool Answers(uint8_t address) const override { return address == kAddress; }
  bool Select(uint8_t address, bool read) override;
  bool Receive(uint8_t byte) override;
  uint8_t Transmit() override;
  void Reset() override;

  // The register file spans sub-addresses 0x00-0xFF; -1 outside it.
  int Register(int reg) const;
  // The next n read transfers that start at register 0x80 answer 0xFF.
  void SilentReads(int n) { silentReads_ = n < 0 ? 0 : n; }
  // Register writes taken since the last reset.
  int writes() const { return writes_; }

 private:
  std::array<uint8_t, 256> regs_{};
  uint8_t pointer_ = 0;
  bool havePointer_ = false;  // the write transfer in progress has set the pointer
  bool silent_ = false;       // the read transfer in progress answers 0xFF
  int silentReads_ = 0;
  int writes_ = 0;
};

// The decoder the board wires to the main bus (fitted after every reset).
VideoDecoder& Decoder();

}  // namespace orlik::board
