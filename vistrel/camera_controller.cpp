// CameraController: load and unload, Initialization, the graph rebuild
// behind the resolution exports, Play and Stop.
#include "camera_controller.h"

#include "property_bag.h"
#include "sample_grabber.h"

#include <orlik/devmgr.h>
#include <orlik/text.h>

#include <cstdio>
#include <new>

namespace vistrel {

namespace {

// Every object of the graph is created with this context: in-process
// server, in-process handler, local server, remote server.
constexpr DWORD kCreationContext = 0x17;
constexpr LONG kChildClippingChildren = 0x42000000;  // WS_CHILD | WS_CLIPCHILDREN

constexpr std::array<Size, kPreviewSizes> kPreviewTable = {{
    {160, 96}, {192, 144}, {240, 144}, {256, 192}, {320, 192}, {320, 240}, {380, 228}, {448, 336}, {480, 288},
    {512, 384}, {560, 336}, {576, 432}, {640, 384}, {640, 480}, {720, 480}, {800, 480}, {800, 600},
}};
constexpr std::array<Size, kCaptureSizes> kCaptureTable = {{
    {160, 96}, {192, 144}, {240, 144}, {256, 192}, {320, 192}, {320, 240}, {448, 336}, {480, 288}, {560, 336},
    {576, 432}, {640, 384}, {640, 480}, {720, 480},
}};

// The select-line code of channel 1's wiring, set at load and Initialization.
constexpr int kSelectCodeAtLoad = 10;

// Which step of a rebuild failed: the message numbers differ between a
// preview and a capture rebuild.
struct StepLines {
  int createGraph, createBuilder, setFiltergraph, findInterface, addCapture, addGrabber, createSink, addSink,
      renderPreview, queryControl, queryVideoWindow, putOwner, run;
};
constexpr StepLines kPreviewLines = {280, 285, 290, 302, 322, 333, 339, 344, 350, 357, 362, 368, 384};
constexpr StepLines kCaptureLines = {436, 441, 446, 459, 479, 491, 497, 502, 508, 516, 521, 527, 537};

void ErrorLine(int line) {
  char text[32];
  std::snprintf(text, sizeof text, "Error Line : %d", line);
  WCHAR wide[32];
  orlik_utf8_to_wcs(text, wide, 32);
  MessageBoxW(nullptr, wide, u"VistrelCore", MB_OK);
}

// Shows the step's message when hr failed.
void Check(HRESULT hr, int line) {
  if (FAILED(hr)) ErrorLine(line);
}

HRESULT CreateGraph(IGraphBuilder** graph, ICaptureGraphBuilder2** builder, const StepLines* lines) {
  HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, kCreationContext, IID_IGraphBuilder,
                                reinterpret_cast<void**>(graph));
  if (lines) Check(hr, lines->createGraph);
  if (FAILED(hr)) return hr;
  hr = CoCreateInstance(CLSID_CaptureGraphBuilder, nullptr, kCreationContext, IID_ICaptureGraphBuilder2,
                        reinterpret_cast<void**>(builder));
  if (lines) Check(hr, lines->createBuilder);
  if (FAILED(hr)) return hr;
  hr = (*builder)->SetFiltergraph(*graph);
  if (lines) Check(hr, lines->setFiltergraph);
  return hr;
}

// A new grabber with its gate shut, in the graph as "Grabber".
HRESULT AddGrabber(CameraController& c, HRESULT* constructed) {
  c.grabber = new (std::nothrow) SampleGrabber(constructed);
  if (!c.grabber) {
    *constructed = E_OUTOFMEMORY;
    return E_OUTOFMEMORY;
  }
  c.grabber->SetGate(1, -1);
  return c.graph->AddFilter(c.grabber, u"Grabber");
}

// FindCameraName: the legacy name of the first camera the device manager
// lists. False when there is none.
bool FindCameraName(WCHAR* name, size_t capacity) {
  DEVMGR_DEVICE_INFORMATION info{};
  info.dwSize = sizeof info;
  HANDLE search = FindFirstDevice(DeviceSearchByGuid, &DEVCLASS_CAMERA_GUID, &info);
  if (search == INVALID_HANDLE_VALUE) return false;
  orlik_wcscpy_bounded(name, capacity, info.szLegacyName);
  FindClose(search);
  return name[0] != 0;
}

}  // namespace

CameraController cameraController;

CameraController::CameraController() {
  // Interface fields are null and both windows mapped (the members above).
  previewTable = kPreviewTable;
  captureTable = kCaptureTable;
  imageBuffer = new (std::nothrow) uint8_t[kImageBufferSize];
  selectLines.Configure();
  selectLines.Set(kSelectCodeAtLoad);
  comEntered_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
}

CameraController::~CameraController() {
  // The streaming thread stops with the graph; a recording still running is
  // closed on a whole frame when the grabber goes.
  if (graph && control) control->Stop();
  ReleaseField(graph);
  ReleaseField(builder);
  delete[] imageBuffer;
  imageBuffer = nullptr;
  if (comEntered_) CoUninitialize();
  decoderBus.gpio.Close();
  ReleaseField(imageSink);
  ReleaseField(control);
  ReleaseField(videoWindow);
  ReleaseField(captureFilter);
  ReleaseField(grabber);
}

void CameraController::ReleaseGraph() {
  if (control) control->Stop();
  ReleaseField(control);
  ReleaseField(videoWindow);
  if (graph && grabber) graph->RemoveFilter(grabber);
  ReleaseField(grabber);
  if (graph && imageSink) graph->RemoveFilter(imageSink);
  ReleaseField(imageSink);
  ReleaseField(builder);
  ReleaseField(graph);
  ReleaseField(captureFilter);
}

int32_t CameraController::RebuildGraph(bool preview, int32_t index) {
  // 1. Refusal: the 720 x 480 capture size never goes with the three
  // largest preview sizes.
  if (preview) {
    if (uint32_t(index) > 16 || (index > 13 && captureIndex == 12)) return 0;
  } else {
    if (uint32_t(index) > 12 || (index == 12 && previewIndex > 13)) return 0;
  }
  // Before Initialization there is no graph to rebuild.
  if (!graph || !captureFilter) return 0;
  const StepLines& lines = preview ? kPreviewLines : kCaptureLines;

  // 2-5. Take the old graph apart; the capture filter stays.
  if (control) control->Stop();
  ReleaseField(control);
  ReleaseField(videoWindow);
  graph->RemoveFilter(grabber);
  ReleaseField(grabber);  // its last reference ends any recording
  graph->RemoveFilter(imageSink);
  ReleaseField(imageSink);
  ReleaseField(builder);
  ReleaseField(graph);

  // 6. A new graph and builder. Without them nothing below can be built.
  if (FAILED(CreateGraph(&graph, &builder, &lines))) {
    ReleaseField(builder);
    ReleaseField(graph);
    return 0;
  }

  // 7-8. The stream configuration of the pin of that category.
  IAMStreamConfig* config = nullptr;
  HRESULT hr = builder->FindInterface(preview ? &PIN_CATEGORY_PREVIEW : &PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video,
                                      captureFilter, IID_IAMStreamConfig, reinterpret_cast<void**>(&config));
  Check(hr, lines.findInterface);
  if (SUCCEEDED(hr) && config) {
    AM_MEDIA_TYPE* type = nullptr;
    VIDEO_STREAM_CONFIG_CAPS caps{};
    if (config->GetStreamCaps(index, &type, reinterpret_cast<BYTE*>(&caps)) == S_OK) config->SetFormat(type);
    DeleteMediaType(type);
    config->Release();
  }

  // 9-11. The capture filter, a new grabber and a new sink.
  Check(graph->AddFilter(captureFilter, u"Video Capture Filter Source"), lines.addCapture);
  HRESULT constructed = S_OK;
  Check(AddGrabber(*this, &constructed), lines.addGrabber);
  hr = CoCreateInstance(CLSID_IMGSinkFilter, nullptr, kCreationContext, IID_IBaseFilter,
                        reinterpret_cast<void**>(&imageSink));
  Check(hr, lines.createSink);
  if (imageSink) Check(graph->AddFilter(imageSink, u"Image Sinker"), lines.addSink);

  // 12-13. Preview to the default renderer; capture through grabber to sink.
  Check(builder->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, captureFilter, nullptr, nullptr),
        lines.renderPreview);
  builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, captureFilter, grabber, imageSink);

  // 14. Control and the preview's window inside the caller's.
  hr = graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control));
  Check(hr, lines.queryControl);
  hr = graph->QueryInterface(IID_IVideoWindow, reinterpret_cast<void**>(&videoWindow));
  Check(hr, lines.queryVideoWindow);
  if (videoWindow) {
    Check(videoWindow->put_Owner(reinterpret_cast<OAHWND>(ownerWindow)), lines.putOwner);
    videoWindow->put_WindowStyle(kChildClippingChildren);
    videoWindow->put_Visible(-1);
  }

  // 15. A new preview size resizes the caller's window where it stands.
  const Size& size = preview ? previewTable[size_t(index)] : captureTable[size_t(index)];
  if (preview) {
    if (videoWindow) videoWindow->put_MessageDrain(reinterpret_cast<OAHWND>(ownerWindow));
    SetWindowPos(ownerWindow, HWND_TOP, 0, 0, size.width, size.height, SWP_NOMOVE);
  }

  // 16. The graph runs after every rebuild.
  if (control) Check(control->Run(), lines.run);

  // 17.
  if (preview) {
    previewIndex = index;
  } else {
    captureIndex = index;
    frameWidth = size.width;
    frameHeight = size.height;
  }
  return 1;
}

}  // namespace vistrel

using vistrel::cameraController;

TOLVEX_EXPORT int32_t Initialization(int32_t previewIndex) {
  vistrel::CameraController& c = cameraController;
  // A second Initialization builds everything afresh.
  c.ReleaseGraph();

  // 1-2. Graph, builder, capture filter.
  vistrel::CreateGraph(&c.graph, &c.builder, nullptr);
  CoCreateInstance(CLSID_VideoCapture, nullptr, vistrel::kCreationContext, IID_IBaseFilter,
                   reinterpret_cast<void**>(&c.captureFilter));
  IPersistPropertyBag* persist = nullptr;
  if (c.captureFilter)
    c.captureFilter->QueryInterface(IID_IPersistPropertyBag, reinterpret_cast<void**>(&persist));

  // 3-4. The camera's name, as a string in a VARIANT.
  WCHAR name[MAX_PATH] = {};
  VARIANT value;
  VariantInit(&value);
  vistrel::PropertyBag* bag = nullptr;
  bool named = vistrel::FindCameraName(name, MAX_PATH);
  if (named) {
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocString(name);
  }
  // Without a camera, or without the pieces to build on, there is no graph.
  if (!named || value.vt != VT_BSTR || !value.bstrVal || !c.graph || !c.builder || !c.captureFilter ||
      !persist) {
    if (persist) persist->Release();
    VariantClear(&value);
    c.ReleaseGraph();
    return 0;
  }

  // 5. The capture filter opens the camera of that name.
  bag = new (std::nothrow) vistrel::PropertyBag;
  if (bag) {
    bag->Write(u"VCapName", &value);
    persist->Load(bag, nullptr);
  }

  // 6-8. Capture filter, grabber and sink into the graph.
  c.graph->AddFilter(c.captureFilter, u"Video Capture Filter Source");
  HRESULT constructed = S_OK;
  vistrel::AddGrabber(c, &constructed);
  if (SUCCEEDED(CoCreateInstance(CLSID_IMGSinkFilter, nullptr, vistrel::kCreationContext, IID_IBaseFilter,
                                 reinterpret_cast<void**>(&c.imageSink))))
    c.graph->AddFilter(c.imageSink, u"Image Sinker");

  // 9. Control, and the video window inside the caller's window.
  c.graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&c.control));
  c.graph->QueryInterface(IID_IVideoWindow, reinterpret_cast<void**>(&c.videoWindow));
  if (c.videoWindow) {
    c.videoWindow->put_Owner(reinterpret_cast<OAHWND>(c.ownerWindow));
    c.videoWindow->put_WindowStyle(vistrel::kChildClippingChildren);
    c.videoWindow->put_Visible(-1);
  }

  // 10. Both rebuilds; the last successful one leaves the graph running.
  c.RebuildGraph(false, 0);
  c.RebuildGraph(true, previewIndex);

  // 11. The decoder: bus, set-up table, channel 1's select lines.
  c.decoderBus.Initialise();
  c.decoderBus.DecoderSetup();
  c.selectLines.Set(vistrel::kSelectCodeAtLoad);
  c.decoderReady = true;

  int32_t result = 0;
  if (FAILED(constructed)) {
    // 12.
    MessageBoxW(nullptr, u"Builing the graph failed", u"VistrelCore", MB_OK);
  } else {
    // 13. Up to three attempts, 100 ms apart.
    for (int attempt = 0; attempt < 3 && !result; ++attempt) {
      if (attempt > 0) Sleep(100);
      if (c.decoderBus.CheckDecoder()) result = 1;
    }
  }
  // 14.
  persist->Release();
  if (bag) bag->Release();
  VariantClear(&value);
  return result;
}

TOLVEX_EXPORT int32_t SetPreviewWindowHandle(HWND window) {
  cameraController.ownerWindow = window;
  return 0;
}

TOLVEX_EXPORT int32_t Play() {
  if (cameraController.graph && cameraController.control) cameraController.control->Run();
  return 0;
}

TOLVEX_EXPORT int32_t Stop() {
  if (cameraController.graph && cameraController.control) cameraController.control->Stop();
  return 0;
}

TOLVEX_EXPORT int32_t SetPreviewResolution(int32_t index) { return cameraController.RebuildGraph(true, index); }

TOLVEX_EXPORT int32_t SetCaptureResolution(int32_t index) { return cameraController.RebuildGraph(false, index); }

TOLVEX_EXPORT int32_t GetPreviewResolution(int32_t* width, int32_t* height) {
  if (!cameraController.graph || !width || !height) return 0;
  const vistrel::Size& size = cameraController.previewTable[size_t(cameraController.previewIndex)];
  *width = size.width;
  *height = size.height;
  return 0;
}

TOLVEX_EXPORT int32_t GetCaptureResolution(int32_t* width, int32_t* height) {
  if (!cameraController.graph || !width || !height) return 0;
  const vistrel::Size& size = cameraController.captureTable[size_t(cameraController.captureIndex)];
  *width = size.width;
  *height = size.height;
  return 0;
}
