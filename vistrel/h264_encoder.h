// Access to the panel's hardware H.264 encoder through its driver "MFC1:":
// one encoder instance per handle. Diagnostics go through PrintMessage to
// the standard error stream.
#pragma once

#include <orlik/windows.h>

#include <cstdint>

namespace vistrel {

// The driver's control codes.
inline constexpr DWORD kMfcEncodeInit = 0x800012;
inline constexpr DWORD kMfcEncodeExe = 0x800014;
inline constexpr DWORD kMfcGetInputBuffer = 0x800103;
inline constexpr DWORD kMfcGetOutputBuffer = 0x800101;

inline constexpr uint32_t kEncoderMagic = 0x92242002;
inline constexpr int32_t kLargestInputFrame = 1048576;

// An encoder instance. On the panel the device handle is 32 bits wide and
// the record 48 bytes; here the handle is pointer-sized, so the fields after
// it lie 8 bytes further on and the record is 56 bytes.
struct H264EncoderHandle {
  uint32_t magic;
  HANDLE device;
  uint32_t width;
  uint32_t height;
  int32_t frameRate;
  int32_t bitrate;
  int32_t gopNum;
  int32_t intraQP;
  int32_t qpMax;
  float gamma;
  uint32_t lastFrameSize;
  uint32_t initialised;
};
static_assert(sizeof(H264EncoderHandle) == 56);

// Kinds of diagnostics: 0 "TRACE", 1 "WARNING", 2 "ERROR"; a negative kind
// writes nothing.
void PrintMessage(int kind, const char* function, const char* format, ...)
    __attribute__((format(printf, 3, 4)));

H264EncoderHandle* SsbSipH264EncodeInit(uint32_t width, uint32_t height, int32_t frameRate, int32_t bitrate,
                                        int32_t gopNum, int32_t intraQP, int32_t qpMax, float gamma);
// 0, -1 for a null handle, -101 when the driver reports a failure. The first
// call initialises the encoder on the device; later calls encode a frame.
int32_t SsbSipH264EncodeExe(H264EncoderHandle* handle);
uint8_t* SsbSipH264EncodeGetInBuf(H264EncoderHandle* handle, int32_t size);
uint8_t* SsbSipH264EncodeGetOutBuf(H264EncoderHandle* handle, uint32_t* size);
int32_t SsbSipH264EncodeDeInit(H264EncoderHandle* handle);

}  // namespace vistrel
