// H.264 recording: the encoding exports, and the steps the grabber's
// per-sample procedure runs for each frame of a recording (pace, encode,
// write, continue in a new file before a file reaches its size limit, stop
// writing when the card runs low).
#include "camera_controller.h"
#include "sample_grabber.h"

#include <orlik/files.h>
#include <orlik/text.h>
#include <orlik/wstdio.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vistrel {

namespace {

constexpr uint64_t kLowSpace = 53687092;
constexpr uint32_t kPanelFileLimit = 4000000000u;
constexpr int32_t kFramesBetweenSpaceReadings = 1000;

// A recording file is closed before it reaches this size. Tests make the
// limit small through TOLVEX_TEST_RECORDING_LIMIT (read once, at load; only
// values below the panel's limit are taken); the panel's limit is
// 4,000,000,000 bytes.
uint32_t ReadFileLimit() {
  const char* text = std::getenv("TOLVEX_TEST_RECORDING_LIMIT");
  if (!text || !*text) return kPanelFileLimit;
  char* end = nullptr;
  unsigned long long value = std::strtoull(text, &end, 10);
  if (*end != '\0' || value == 0 || value >= kPanelFileLimit) return kPanelFileLimit;
  return uint32_t(value);
}
const uint32_t kFileLimit = ReadFileLimit();

uint32_t MinFrameInterval(int32_t frameRate) {
  if (frameRate == 10) return 93;
  if (frameRate == 15) return 59;
  return 42;
}

void ShowMessage(const WCHAR* text, const WCHAR* caption) { MessageBoxW(nullptr, text, caption, MB_OK); }

// The continuation name: the number as "[%03d]." in place of the first "."
// of the path. A path without "." gets the number at its end ("rec" ->
// "rec[001]"), so the finished file is never replaced.
void ContinuationName(const WCHAR* path, int32_t number, WCHAR* name, size_t capacity) {
  char digits[24];
  std::snprintf(digits, sizeof digits, "[%03d].", number);
  std::u16string result(orlik::View(path));
  size_t dot = result.find(u'.');
  std::u16string inserted(digits, digits + std::strlen(digits));
  if (dot == std::u16string::npos) {
    inserted.pop_back();
    result += inserted;
  } else {
    result.replace(dot, 1, inserted);
  }
  orlik_wcscpy_bounded(name, capacity, result.c_str());
}

}  // namespace

uint64_t ReadFreeSpace() {
  ULARGE_INTEGER available{};
  if (!GetDiskFreeSpaceExW(u"\\SD Card", &available, nullptr, nullptr)) return 0;
  return available.QuadPart;
}

void SampleGrabber::PrepareRecording(uint32_t frameWidth, uint32_t frameHeight, int32_t rate, int32_t kbps) {
  width = frameWidth;
  height = frameHeight;
  lumaSize = width * height;
  chromaSize = lumaSize / 4;
  bytesWritten = 0;
  continuationNumber = 0;
  framesSinceCheck = 0;
  frameRate = rate;
  bitrate = kbps;
  minFrameInterval = MinFrameInterval(frameRate);
  LARGE_INTEGER value{};
  QueryPerformanceFrequency(&value);
  counterFrequency = value.QuadPart;
  QueryPerformanceCounter(&value);
  lastFrameTime = value.QuadPart;
  freeSpace = ReadFreeSpace();
}

bool SampleGrabber::PaceFrame() {
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  double seconds = double(now.QuadPart - lastFrameTime) / double(counterFrequency);
  double elapsed = double(float(seconds)) * 1000.0;
  if (elapsed < double(minFrameInterval)) return false;
  lastFrameTime = now.QuadPart;
  return true;
}

bool SampleGrabber::EncodeFrame(IMediaSample* sample) {
  BYTE* data = nullptr;
  sample->GetPointer(&data);
  // A sample shorter than a frame of the recording's size (another format)
  // is not encoded.
  if (!data || !encoderInput || sample->GetActualDataLength() < LONG(lumaSize + 2 * chromaSize)) return true;

  // YV12 (Y, V, U) into the encoder's Y, U, V.
  std::memcpy(encoderInput, data, lumaSize);
  std::memcpy(encoderInput + lumaSize, data + lumaSize + chromaSize, chromaSize);
  std::memcpy(encoderInput + lumaSize + chromaSize, data + lumaSize, chromaSize);
  // A frame the encoder failed on has no output of its own: the output
  // buffer still holds the previous frame, which must not be written twice.
  if (SsbSipH264EncodeExe(encoder) != 0) return true;
  uint32_t size = 0;
  uint8_t* out = SsbSipH264EncodeGetOutBuf(encoder, &size);
  if (!out) return true;  // no output to write: the frame is dropped

  bytesWritten += size;
  if (bytesWritten >= kFileLimit) {
    // The frame that crossed the limit is not written to the finished file.
    CloseRecording();
    if (ContinueRecording()) recording = 1;
    return false;
  }
  int32_t previous = framesSinceCheck++;
  if (previous > kFramesBetweenSpaceReadings) {
    freeSpace = ReadFreeSpace();
    framesSinceCheck = 0;
  }
  if (freeSpace > kLowSpace && outputFile) std::fwrite(out, 1, size, outputFile);
  return true;
}

bool SampleGrabber::StartEncoder() {
  encoder = SsbSipH264EncodeInit(width, height, frameRate, bitrate, gopNum, intraQP, qpMax, gamma);
  if (!encoder) {
    ShowMessage(u"SsbSipH264EncodeInit-Error", u"Error");
    return false;
  }
  if (SsbSipH264EncodeExe(encoder) != 0) {
    ShowMessage(u"H.264 Encoder Instance Initialization Failed.", u"Error");
    return false;
  }
  encoderInput = SsbSipH264EncodeGetInBuf(encoder, 0);
  if (!encoderInput) {
    ShowMessage(u"ERROR-Input buffer is NULL", u"Error");
    return false;
  }
  return true;
}

bool SampleGrabber::ContinueRecording() {
  ++continuationNumber;
  bytesWritten = 0;
  freeSpace = ReadFreeSpace();
  if (freeSpace <= kLowSpace) return false;
  WCHAR name[kRecordPathUnits];
  ContinuationName(path, continuationNumber, name, kRecordPathUnits);
  outputFile = _wfopen(name, u"wb");
  if (!outputFile) return false;
  if (!StartEncoder()) {
    // A recording file is never left open.
    CloseRecording();
    return false;
  }
  return true;
}

int32_t SampleGrabber::CloseRecording() {
  recording = 0;
  // Lets a frame already being encoded finish.
  Sleep(100);
  EnterCriticalSection(&lock);
  if (encoder) {
    SsbSipH264EncodeDeInit(encoder);
    encoder = nullptr;
    encoderInput = nullptr;
  }
  if (outputFile) {
    std::fclose(outputFile);
    outputFile = nullptr;
  }
  LeaveCriticalSection(&lock);
  return 1;
}

}  // namespace vistrel

using vistrel::cameraController;

TOLVEX_EXPORT int32_t SetEncodingParameter1(const WCHAR* path, int32_t frameRate, int32_t bitrate) {
  orlik_wcscpy_bounded(cameraController.recordPath, vistrel::kRecordPathUnits, path);
  cameraController.frameRate = frameRate;
  cameraController.bitrate = bitrate;
  return 0;
}

TOLVEX_EXPORT int32_t SetEncodingParameter2(int32_t gopNum, int32_t intraQP, int32_t qpMax, float gamma) {
  vistrel::SampleGrabber* grabber = cameraController.grabber;
  if (!grabber) {
    MessageBoxW(nullptr, u"EncodingParameter2-Fail...", u"VistrelCore", MB_OK);
    return 0;
  }
  grabber->gopNum = gopNum;
  grabber->intraQP = intraQP;
  grabber->qpMax = qpMax;
  grabber->gamma = gamma;
  return 0;
}

// OpenRecording.
TOLVEX_EXPORT int32_t InitEncoding() {
  vistrel::SampleGrabber* g = cameraController.grabber;
  if (!g) return 0;
  // A second InitEncoding closes the recording the first one opened.
  if (g->outputFile || g->encoder) g->CloseRecording();

  g->PrepareRecording(uint32_t(cameraController.frameWidth), uint32_t(cameraController.frameHeight),
                      cameraController.frameRate, cameraController.bitrate);

  EnterCriticalSection(&g->lock);
  orlik_wcscpy_bounded(g->path, vistrel::kRecordingPathUnits, cameraController.recordPath);
  g->outputFile = _wfopen(g->path, u"wb");
  bool opened = g->outputFile != nullptr;
  bool ready = opened && g->StartEncoder();
  LeaveCriticalSection(&g->lock);
  if (!opened) return 0;
  if (!ready) {
    // A failed InitEncoding closes what it opened: RunEncoding then finds
    // no file.
    g->CloseRecording();
    return 0;
  }
  return 1;
}

TOLVEX_EXPORT int32_t RunEncoding() {
  vistrel::SampleGrabber* g = cameraController.grabber;
  if (!g) return 0;
  EnterCriticalSection(&g->lock);
  bool open = g->outputFile != nullptr;
  if (open) g->recording = 1;
  LeaveCriticalSection(&g->lock);
  return open ? 1 : 0;
}

TOLVEX_EXPORT int32_t StopEncoding() {
  vistrel::SampleGrabber* g = cameraController.grabber;
  if (!g) return 0;
  g->recording = 0;
  return 1;
}

// CloseRecording.
TOLVEX_EXPORT int32_t EndEncoding() {
  vistrel::SampleGrabber* g = cameraController.grabber;
  if (!g) return 0;
  return g->CloseRecording();
}
