// The codec's H.264 encoder: openh264, set up as the "MFC1:" driver promises
// (Annex-B stream, baseline profile, one output frame per input frame, the
// quantiser bounded by the caller's QPs).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

class ISVCEncoder;

namespace orlik {

struct H264Settings {
  int width = 0;
  int height = 0;
  int bitRateKbps = 0;
  int gopNum = 0;
  int frameRate = 0;
  int intraQP = 0;
  int qpMax = 0;
};

class H264Encoder {
 public:
  // Null when openh264 refuses the settings.
  static std::unique_ptr<H264Encoder> Create(const H264Settings& settings);
  ~H264Encoder();
  H264Encoder(const H264Encoder&) = delete;
  H264Encoder& operator=(const H264Encoder&) = delete;

  // Encodes one I420 frame of the configured size (planes back to back, no
  // row padding) into `out`. Returns the number of bytes written, or -1 when
  // the encoder fails or the frame does not fit into `capacity` bytes.
  long Encode(const uint8_t* i420, uint8_t* out, size_t capacity);

 private:
  H264Encoder(ISVCEncoder* encoder, const H264Settings& settings);
  ISVCEncoder* encoder_;
  H264Settings settings_;
  long long frameIndex_ = 0;
};

}  // namespace orlik
