// The camera library's one process-wide object: the capture graph, the
// preview window, the resolution tables, the decoder's register windows, the
// recording settings and the memory-capture buffer. Constructed when the
// library is loaded, destroyed when it is unloaded.
#pragma once

#include "decoder.h"
#include "register_window.h"

#include <orlik/dshow.h>
#include <orlik/windows.h>
#include <tolvex/export.h>
#include <tolvex/non_copyable.h>
#include <tolvex/vistrel.h>

#include <array>
#include <cstdint>

namespace vistrel {

class SampleGrabber;

struct Size {
  int32_t width;
  int32_t height;
};

inline constexpr size_t kPreviewSizes = 17;
inline constexpr size_t kCaptureSizes = 13;
inline constexpr uint32_t kImageBufferSize = 720 * 480 * 3;  // 1,036,800 bytes
inline constexpr size_t kRecordPathUnits = 512;

class CameraController : tolvex::NonCopyable {
 public:
  CameraController();
  virtual ~CameraController();

  // The shared body of SetPreviewResolution and SetCaptureResolution.
  int32_t RebuildGraph(bool preview, int32_t index);
  // Releases every graph object (a repeated Initialization starts afresh).
  void ReleaseGraph();

  std::array<Size, kPreviewSizes> previewTable{};
  std::array<Size, kCaptureSizes> captureTable{};
  int32_t previewIndex = 0;
  int32_t captureIndex = 0;

  IGraphBuilder* graph = nullptr;
  ICaptureGraphBuilder2* builder = nullptr;
  IBaseFilter* captureFilter = nullptr;
  IVideoWindow* videoWindow = nullptr;
  IMediaControl* control = nullptr;
  IBaseFilter* imageSink = nullptr;
  SampleGrabber* grabber = nullptr;  // one reference

  // Mapped at load in this order: selectWindow, then busWindow.
  SelectLines selectLines;  // holds selectWindow
  DecoderBus decoderBus;    // holds busWindow
  // Set once Initialization has initialised the decoder: the picture and
  // channel exports drive the bus pins only from then on.
  bool decoderReady = false;

  WCHAR recordPath[kRecordPathUnits] = {};
  int32_t frameRate = 0;
  int32_t bitrate = 0;
  int32_t frameWidth = 0;
  int32_t frameHeight = 0;
  HWND ownerWindow = nullptr;
  uint8_t* imageBuffer = nullptr;

 private:
  bool comEntered_ = false;
};

extern CameraController cameraController;

// Releases an interface field: null first, then the reference.
template <class T>
void ReleaseField(T*& field) {
  T* p = field;
  field = nullptr;
  if (p) p->Release();
}

}  // namespace vistrel
