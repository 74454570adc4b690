// Still images through the still-image sink, and memory capture: one raw
// frame copied by the grabber, converted to 24-bit blue-green-red rows.
#include "camera_controller.h"
#include "color_convert.h"
#include "sample_grabber.h"

using vistrel::cameraController;

TOLVEX_EXPORT int32_t CaptureStillImage(const WCHAR* fileName) {
  vistrel::CameraController& c = cameraController;
  if (!c.graph || !c.builder || !c.grabber) return 0;
  IBaseFilter* sinker = nullptr;
  IFileSinkFilter2* sink = nullptr;
  bool armed = false;
  if (SUCCEEDED(c.graph->FindFilterByName(u"Image Sinker", &sinker)) &&
      SUCCEEDED(sinker->QueryInterface(IID_IFileSinkFilter2, reinterpret_cast<void**>(&sink))) &&
      SUCCEEDED(sink->SetFileName(fileName, nullptr)) && SUCCEEDED(sink->SetMode(AM_FILE_OVERWRITE))) {
    // The next sample at the gate goes to the sink; the one after it closes
    // the gate again.
    c.grabber->SetGate(0, 1);
    armed = true;
  }
  if (sink) sink->Release();
  if (sinker) sinker->Release();
  return armed ? 1 : 0;
}

namespace {

int32_t MemoryCapture(uint8_t* buffer, bool bottomUp) {
  vistrel::CameraController& c = cameraController;
  vistrel::SampleGrabber* g = c.grabber;
  if (!g || !buffer) return 0;
  g->captureTarget = c.imageBuffer;
  g->captureCapacity = vistrel::kImageBufferSize;
  g->captureRequested = 1;
  DWORD waited = WaitForSingleObject(g->captureDone, 3000);
  ResetEvent(g->captureDone);
  EnterCriticalSection(&g->lock);
  // A request that timed out is withdrawn under the grabber's lock, so a
  // late sample cannot write into the buffer while a later call converts it.
  g->captureRequested = 0;
  uint32_t length = g->captureLength;
  LeaveCriticalSection(&g->lock);
  if (waited != WAIT_OBJECT_0 || length == 0) return 0;
  vistrel::ConvertToRgb24(c.imageBuffer, buffer, c.frameWidth, c.frameHeight, bottomUp);
  return 1;
}

}  // namespace

// Rows bottom-up: the last image row first.
TOLVEX_EXPORT int32_t ImageMemoryCapture(uint8_t* buffer) { return MemoryCapture(buffer, true); }

// Rows top-down: the first image row first.
TOLVEX_EXPORT int32_t ImageMemoryCapture1(uint8_t* buffer) { return MemoryCapture(buffer, false); }
