// What the H.264 benchmarks share: a second of 720 x 480 frames and openh264
// called directly on them with a camera recording's settings.
#pragma once

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
  SEncParamExt p;
  encoder->GetDefaultParams(&p);
  p.iUsageType = CAMERA_VIDEO_REAL_TIME;
  p.iPicWidth = kWidth;
  p.iPicHeight = kHeight;
  p.iTargetBitrate = kBitRateKbps * 1000;
  p.iMaxBitrate = UNSPECIFIED_BIT_RATE;
  p.iRCMode = RC_BITRATE_MODE;
  p.fMaxFrameRate = kFrameRate;
  p.bEnableFrameSkip = false;
  p.uiIntraPeriod = kGop;
  p.iMinQp = kIntraQP;
  p.iMaxQp = kQpMax;
  p.iTemporalLayerNum = 1;
  p.iSpatialLayerNum = 1;
  p.iMultipleThreadIdc = 1;
  p.eSpsPpsIdStrategy = CONSTANT_ID;
  p.iEntropyCodingModeFlag = 0;
  auto& layer = p.sSpatialLayers[0];
  layer.iVideoWidth = kWidth;
  layer.iVideoHeight = kHeight;
  layer.fFrameRate = kFrameRate;
  layer.iSpatialBitrate = p.iTargetBitrate;
  layer.iMaxSpatialBitrate = UNSPECIFIED_BIT_RATE;
  layer.uiProfileIdc = PRO_BASELINE;
  layer.sSliceArgument.uiSliceMode = SM_SINGLE_SLICE;
  if (encoder->InitializeExt(&p) != cmResultSuccess) {
    WelsDestroySVCEncoder(encoder);
    return state.SkipWithError("openh264 refuses the settings");
  }
  const auto& frames = Frames();
  long long t = 0;
  size_t bytes = 0;
  for (auto _ : state) {
    SSourcePicture pic{};
    pic.iColorFormat = videoFormatI420;
    pic.iPicWidth = kWidth;
    pic.iPicHeight = kHeight;
    pic.iStride[0] = kWidth;
    pic.iStride[1] = pic.iStride[2] = kWidth / 2;
    pic.pData[0] = const_cast<uint8_t*>(frames[size_t(t % kFrames)].data());
    pic.pData[1] = pic.pData[0] + kWidth * kHeight;
    pic.pData[2] = pic.pData[1] + kWidth * kHeight / 4;
    pic.uiTimeStamp = t * 1000 / kFrameRate;
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
