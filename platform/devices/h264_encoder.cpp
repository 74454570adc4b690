#include "devices/h264_encoder.h"

#include <wels/codec_api.h>

#include <algorithm>
#include <cstring>

namespace orlik {

std::unique_ptr<H264Encoder> H264Encoder::Create(const H264Settings& s) {
  ISVCEncoder* encoder = nullptr;
  if (WelsCreateSVCEncoder(&encoder) != 0 || !encoder) return nullptr;
  int traceLevel = WELS_LOG_ERROR;
  encoder->SetOption(ENCODER_OPTION_TRACE_LEVEL, &traceLevel);

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

  if (encoder->InitializeExt(&p) != cmResultSuccess) {
    WelsDestroySVCEncoder(encoder);
    return nullptr;
  }
  int format = videoFormatI420;
  encoder->SetOption(ENCODER_OPTION_DATAFORMAT, &format);
  return std::unique_ptr<H264Encoder>(new H264Encoder(encoder, s));
}

H264Encoder::H264Encoder(ISVCEncoder* encoder, const H264Settings& settings)
    : encoder_(encoder), settings_(settings) {}

H264Encoder::~H264Encoder() {
  encoder_->Uninitialize();
  WelsDestroySVCEncoder(encoder_);
}

long H264Encoder::Encode(const uint8_t* i420, uint8_t* out, size_t capacity) {
  const int w = settings_.width, h = settings_.height;
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
  // Timestamps at the configured rate keep the rate control's idea of time
  // in step with the frame count.
  pic.uiTimeStamp = frameIndex_ * 1000 / settings_.frameRate;

  SFrameBSInfo info{};
  if (encoder_->EncodeFrame(&pic, &info) != cmResultSuccess) return -1;
  if (info.eFrameType == videoFrameTypeInvalid || info.eFrameType == videoFrameTypeSkip) return -1;
  ++frameIndex_;

  size_t total = 0;
  for (int i = 0; i < info.iLayerNum; ++i) {
    const SLayerBSInfo& layer = info.sLayerInfo[i];
    size_t size = 0;
    for (int n = 0; n < layer.iNalCount; ++n) size += size_t(layer.pNalLengthInByte[n]);
    if (size > capacity - total) return -1;
    std::memcpy(out + total, layer.pBsBuf, size);
    total += size;
  }
  return long(total);
}

}  // namespace orlik
