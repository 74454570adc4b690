#include "devices/h264_encoder.h"

#include "devices/h264_params.h"

#include <wels/codec_api.h>

#include <cstring>

namespace orlik {

std::unique_ptr<H264Encoder> H264Encoder::Create(const H264Settings& s) {
  ISVCEncoder* encoder = nullptr;
  if (WelsCreateSVCEncoder(&encoder) != 0 || !encoder) return nullptr;
  int traceLevel = WELS_LOG_ERROR;
  encoder->SetOption(ENCODER_OPTION_TRACE_LEVEL, &traceLevel);

  SEncParamExt p = H264Params(encoder, s);
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
  SSourcePicture pic = H264Picture(settings_, i420, frameIndex_);
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
