// openh264 set up as the "MFC1:" driver promises, and a frame handed to it:
// the codec's encoder uses these, and so does the benchmarks' reference that
// calls openh264 directly on the same settings.
#pragma once

#include "devices/h264_encoder.h"

#include <wels/codec_api.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>

namespace orlik {

// The encoder's defaults with the settings applied: real-time camera video at
// the bit rate, one IDR picture every gopNum frames, every input frame coded
// (no frame skipping), the quantiser between the caller's QPs, one layer of
// baseline profile in a single slice.
inline SEncParamExt H264Params(ISVCEncoder* encoder, const H264Settings& s) {
  SEncParamExt p;
  encoder->GetDefaultParams(&p);
  p.iUsageType = CAMERA_VIDEO_REAL_TIME;
  p.iPicWidth = s.width;
  p.iPicHeight = s.height;
  p.iTargetBitrate = s.bitRateKbps * 1000;
  p.iMaxBitrate = UNSPECIFIED_BIT_RATE;
  p.iRCMode = RC_BITRATE_MODE;
  p.fMaxFrameRate = float(s.frameRate);
  p.bEnableFrameSkip = false;  // every input frame yields an output frame
  p.uiIntraPeriod = unsigned(s.gopNum);
  p.iMinQp = std::min(s.intraQP, s.qpMax);
  p.iMaxQp = s.qpMax;
  p.iTemporalLayerNum = 1;
  p.iSpatialLayerNum = 1;
  p.iMultipleThreadIdc = 1;  // one encode runs on the caller's thread
  p.eSpsPpsIdStrategy = CONSTANT_ID;
  p.iEntropyCodingModeFlag = 0;
  SSpatialLayerConfig& layer = p.sSpatialLayers[0];
  layer.iVideoWidth = s.width;
  layer.iVideoHeight = s.height;
  layer.fFrameRate = float(s.frameRate);
  layer.iSpatialBitrate = p.iTargetBitrate;
  layer.iMaxSpatialBitrate = UNSPECIFIED_BIT_RATE;
  layer.uiProfileIdc = PRO_BASELINE;
  layer.sSliceArgument.uiSliceMode = SM_SINGLE_SLICE;
  return p;
}

// Frame number `index` of the settings' size, I420 planes back to back with no
// row padding. Timestamps at the configured rate keep the rate control's idea
// of time in step with the frame count.
inline SSourcePicture H264Picture(const H264Settings& s, const uint8_t* i420, long long index) {
  const int w = s.width, h = s.height;
  SSourcePicture pic{};
  pic.iColorFormat = videoFormatI420;
  pic.iPicWidth = w;
  pic.iPicHeight = h;
  pic.iStride[0] = w;
  pic.iStride[1] = pic.iStride[2] = w / 2;
  // openh264 takes non-const plane pointers but only reads the source.
  auto* y = const_cast<uint8_t*>(i420);
  pic.pData[0] = y;
  pic.pData[1] = y + size_t(w) * size_t(h);
  pic.pData[2] = pic.pData[1] + size_t(w / 2) * size_t(h / 2);
  pic.uiTimeStamp = index * 1000 / s.frameRate;
  return pic;
}

}  // namespace orlik
