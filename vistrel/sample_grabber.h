// SampleGrabber: the library's transform-in-place filter on the capture
// branch (capture pin -> "Grabber" -> "Image Sinker"). Its per-sample
// procedure runs on the capture filter's streaming thread: it feeds the
// recording, serves a memory capture, and gates samples towards the
// still-image sink.
#pragma once

#include "h264_encoder.h"
#include "strmbase.h"

#include <orlik/windows.h>

#include <atomic>
#include <cstdint>
#include <cstdio>

namespace vistrel {

// {2FA4F053-6D60-4CB0-9503-8E89234F3F73}
ORLIK_DEFINE_GUID(CLSID_SampleGrabber, 0x2FA4F053, 0x6D60, 0x4CB0, 0x95, 0x03, 0x8E, 0x89, 0x23, 0x4F, 0x3F, 0x73);

inline constexpr size_t kRecordingPathUnits = 520;

class SampleGrabber final : public orlik::strmbase::TransInPlaceFilter {
 public:
  // status: S_OK, or the failure that left the grabber without its event.
  explicit SampleGrabber(HRESULT* status);

  HRESULT CheckInputType(const AM_MEDIA_TYPE* type) override;
  // The per-sample procedure: 0 (S_OK) delivers the sample to the sink,
  // 1 (S_FALSE) holds it back.
  HRESULT Transform(IMediaSample* sample) override;

  void SetGate(int32_t newHoldBack, int32_t newPassCount);

  // --- recording (steps of the per-sample procedure, lock held) -------------
  // True when the frame is due at the recording's pace; moves lastFrameTime.
  bool PaceFrame();
  // Encodes and writes one frame. False when the frame had to start a
  // continuation file (the procedure then goes on to its gate).
  bool EncodeFrame(IMediaSample* sample);
  // Opens the next continuation file; true on success.
  bool ContinueRecording();
  // Opening a recording, before its file: the frame size and rate and the
  // bit rate taken, the counts started afresh, the pace clock started now,
  // the free space read.
  void PrepareRecording(uint32_t frameWidth, uint32_t frameHeight, int32_t rate, int32_t kbps);
  // Steps 7 to 9 of opening a recording: encoder instance, device
  // initialisation, input buffer. False (after its message) on failure.
  bool StartEncoder();
  // Ends a recording: recording 0, 100 ms for a frame in progress, encoder
  // and file closed. Also run when the grabber is destroyed.
  int32_t CloseRecording();

  // Gate and memory capture. The exports store the flags without the lock;
  // the streaming thread reads them at its next sample.
  std::atomic<int32_t> holdBack{0};
  std::atomic<int32_t> passCount{-1};
  CRITICAL_SECTION lock{};
  std::atomic<uint8_t*> captureTarget{nullptr};
  std::atomic<uint32_t> captureCapacity{0};  // bytes captureTarget can take
  std::atomic<uint8_t> captureRequested{0};
  uint32_t captureLength = 0;
  HANDLE captureDone = nullptr;

  // Recording.
  std::atomic<uint8_t> recording{0};
  FILE* outputFile = nullptr;
  H264EncoderHandle* encoder = nullptr;
  uint8_t* encoderInput = nullptr;
  uint32_t width = 0, height = 0;
  uint32_t lumaSize = 0, chromaSize = 0;
  int32_t frameRate = 0, bitrate = 0;
  // Until SetEncodingParameter2: values the encoder takes for a small
  // camera picture (an intra frame a second at 30 frames per second).
  int32_t gopNum = 30, intraQP = 20, qpMax = 40;
  float gamma = 0.75f;
  uint32_t minFrameInterval = 42;
  int64_t counterFrequency = 0, lastFrameTime = 0;
  uint32_t bytesWritten = 0;
  int32_t continuationNumber = 0;
  int32_t framesSinceCheck = 0;
  uint64_t freeSpace = 0;
  WCHAR path[kRecordingPathUnits] = {};

 private:
  ~SampleGrabber() override;
};

// The free bytes available to the caller on "\SD Card"; 0 when the reading
// fails.
uint64_t ReadFreeSpace();

}  // namespace vistrel
