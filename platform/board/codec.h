// The panel's hardware video codec as the board keeps it: a record of what
// the "MFC1:" driver asked it to do and what it produced, for tests and
// application developers (orlik/sim_codec.h). The record has its own lock, so
// a frame encoded on a streaming thread does not wait for the register models.
#pragma once

#include <orlik/sim_codec.h>

#include <cstddef>
#include <cstdint>

namespace orlik::board {

class Codec {
 public:
  static Codec& Get();

  void Opened();
  void Closed();
  void Initialised(const orlik_sim_codec_init& request);
  // A frame encoded from `input` (the I420 frame the encoder read) into
  // `outputBytes` bytes of stream.
  void Encoded(const uint8_t* input, size_t inputBytes, size_t outputBytes);

  int Frames();
  uint64_t Bytes();
  int Inits();
  int Instances();
  bool LastInit(orlik_sim_codec_init* out);
  // Copies up to `size` bytes of the last input frame; returns the number
  // copied, or the frame's size when buffer is null.
  size_t LastInput(uint8_t* buffer, size_t size);
};

}  // namespace orlik::board
