// What the H.264 benchmarks share: a second of 720 x 480 frames and openh264
// called directly on them with a camera recording's settings.
#pragma once

#include "devices/h264_params.h"

#include <benchmark/benchmark.h>
#include <wels/codec_api.h>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace h264_reference {

constexpr int kWidth = 720, kHeight = 480;
constexpr size_t kFrameBytes = size_t(kWidth) * kHeight * 3 / 2;
constexpr int kFrames = 30;
// A camera recording's settings: 2 Mbit/s, an IDR picture every second.
constexpr int kBitRateKbps = 2000, kGop = 30, kFrameRate = 30, kIntraQP = 20, kQpMax = 40;

// A second of moving picture with grain, the same for both encoders.
inline const std::vector<std::vector<uint8_t>>& Frames() {
  static const auto frames = [] {
    std::vector<std::vector<uint8_t>> all(kFrames, std::vector<uint8_t>(kFrameBytes));
    uint32_t seed = 1;
    for (int t = 0; t < kFrames; ++t) {
      uint8_t* f = all[size_t(t)].data();
      for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
          seed = seed * 1103515245u + 12345u;
          bool square = x >= 12 * t && x < 12 * t + 120 && y >= 160 && y < 280;
          f[y * kWidth + x] = uint8_t(square ? 235 : (x + 2 * y + 4 * t) % 200 + int(seed >> 28));
        }
      for (size_t i = 0; i < kFrameBytes / 3; ++i)
        f[size_t(kWidth) * kHeight + i] = uint8_t(110 + (i + size_t(t)) % 40);
    }
    return all;
  }();
  return frames;
}

// openh264 alone on the frames, set up as the device sets it up: the
// reference the device and the camera's recording path are measured against.
inline void Openh264Alone(benchmark::State& state) {
  ISVCEncoder* encoder = nullptr;
  if (WelsCreateSVCEncoder(&encoder) != 0 || !encoder) return state.SkipWithError("no openh264 encoder");
  int trace = WELS_LOG_ERROR;
  encoder->SetOption(ENCODER_OPTION_TRACE_LEVEL, &trace);
  const orlik::H264Settings settings{.width = kWidth, .height = kHeight, .bitRateKbps = kBitRateKbps, .gopNum = kGop,
                                     .frameRate = kFrameRate, .intraQP = kIntraQP, .qpMax = kQpMax};
  SEncParamExt p = orlik::H264Params(encoder, settings);
  if (encoder->InitializeExt(&p) != cmResultSuccess) {
    WelsDestroySVCEncoder(encoder);
    return state.SkipWithError("openh264 refuses the settings");
  }
  const auto& frames = Frames();
  long long t = 0;
  size_t bytes = 0;
  for (auto _ : state) {
    SSourcePicture pic = orlik::H264Picture(settings, frames[size_t(t % kFrames)].data(), t);
    ++t;
    SFrameBSInfo info{};
    if (encoder->EncodeFrame(&pic, &info) != cmResultSuccess) {
      state.SkipWithError("encoding failed");
      break;
    }
    for (int i = 0; i < info.iLayerNum; ++i)
      for (int n = 0; n < info.sLayerInfo[i].iNalCount; ++n)
        bytes += size_t(info.sLayerInfo[i].pNalLengthInByte[n]);
  }
  encoder->Uninitialize();
  WelsDestroySVCEncoder(encoder);
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["bytes_per_frame"] = double(bytes) / double(std::max<int64_t>(state.iterations(), 1));
}
}  // namespace h264_reference
