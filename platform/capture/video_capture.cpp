// The video capture filter (CLSID_VideoCapture): the board's camera as a
// DirectShow source. IPersistPropertyBag::Load opens the camera's capture
// driver named by the bag's "VCapName" ("CAM1:"), the filter's only source
// of frames; two output pins, "Capture" and "Preview", publish their
// categories (PIN_CATEGORY_CAPTURE, PIN_CATEGORY_PREVIEW) through
// IKsPropertySet and their sizes through IAMStreamConfig, in a fixed order so
// a capability index always means the same size.
//
// One streaming thread per run: started when the filter leaves the stopped
// state, joined when it stops. It waits for each frame of the driver's
// clock (WaitFrame) once and, while the filter runs, reads that frame at
// each connected pin's size into a buffer of the pin's allocator (ReadFrame)
// and delivers it. A live source
// sends nothing while paused (GetState then says VFW_S_CANT_CUE), and a
// frame with no free buffer on a pin is dropped on that pin rather than held
// up, so a slow consumer on one pin never stalls the other.
#include <orlik/dshow.h>
#include <orlik/kernel.h>

#include "com/registry.h"
#include "devices/camera_device.h"
#include "strmbase.h"

#include <array>
#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

namespace orlik::capture {
namespace {

using strmbase::BaseFilter;
using strmbase::BaseOutputPin;
using strmbase::ComPtr;
using strmbase::MediaType;

struct FrameSize {
  int width;
  int height;
};

// The pins' capabilities, by index.
constexpr std::array<FrameSize, 17> kPreviewSizes = {{
    {160, 96}, {192, 144}, {240, 144}, {256, 192}, {320, 192}, {320, 240}, {380, 228}, {448, 336}, {480, 288},
    {512, 384}, {560, 336}, {576, 432}, {640, 384}, {640, 480}, {720, 480}, {800, 480}, {800, 600},
}};
constexpr std::array<FrameSize, 13> kCaptureSizes = {{
    {160, 96}, {192, 144}, {240, 144}, {256, 192}, {320, 192}, {320, 240}, {448, 336}, {480, 288}, {560, 336},
    {576, 432}, {640, 384}, {640, 480}, {720, 480},
}};

// NTSC: 30000/1001 frames per second, in 100 ns units (rounded).
constexpr REFERENCE_TIME kFrameInterval = (UNITS * 1001 + 15000) / 30000;
// The decoder's picture, which every size is scaled from.
constexpr FrameSize kInputSize = {720, 480};
constexpr DWORD kYv12 = 0x32315659;  // 'Y' 'V' '1' '2'
// How long the streaming thread waits for a frame before it looks whether
// it should stop.
constexpr DWORD kFrameWaitMs = 50;

LONG FrameBytes(FrameSize size) { return LONG(size.width) * size.height * 3 / 2; }

LONG BitRate(FrameSize size) {
  return LONG(int64_t(size.width) * size.height * 12 * 30000 / 1001);
}

// The YV12 type of a capability.
void MakeYv12Type(FrameSize size, MediaType& type) {
  type.Reset();
  AM_MEDIA_TYPE* t = type.get();
  std::memset(t, 0, sizeof *t);
  t->majortype = MEDIATYPE_Video;
  t->subtype = MEDIASUBTYPE_YV12;
  t->bFixedSizeSamples = TRUE;
  t->bTemporalCompression = FALSE;
  t->lSampleSize = ULONG(FrameBytes(size));
  t->formattype = FORMAT_VideoInfo;
  auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(type.AllocFormat(sizeof(VIDEOINFOHEADER)));
  if (!vih) return;
  vih->rcSource = RECT{0, 0, size.width, size.height};
  vih->rcTarget = RECT{0, 0, size.width, size.height};
  vih->dwBitRate = DWORD(BitRate(size));
  vih->AvgTimePerFrame = kFrameInterval;
  BITMAPINFOHEADER& bmi = vih->bmiHeader;
  bmi.biSize = sizeof(BITMAPINFOHEADER);
  bmi.biWidth = size.width;
  bmi.biHeight = size.height;
  bmi.biPlanes = 1;
  bmi.biBitCount = 12;
  bmi.biCompression = kYv12;
  bmi.biSizeImage = DWORD(FrameBytes(size));
}

void FillCaps(FrameSize size, VIDEO_STREAM_CONFIG_CAPS* caps) {
  std::memset(caps, 0, sizeof *caps);
  caps->guid = FORMAT_VideoInfo;
  caps->VideoStandard = AnalogVideo_NTSC_M;
  caps->InputSize = SIZE{kInputSize.width, kInputSize.height};
  caps->MinCroppingSize = caps->InputSize;
  caps->MaxCroppingSize = caps->InputSize;
  caps->CropGranularityX = 1;
  caps->CropGranularityY = 1;
  caps->CropAlignX = 1;
  caps->CropAlignY = 1;
  // Each capability is one size.
  caps->MinOutputSize = SIZE{size.width, size.height};
  caps->MaxOutputSize = caps->MinOutputSize;
  caps->OutputGranularityX = 0;
  caps->OutputGranularityY = 0;
  caps->MinFrameInterval = kFrameInterval;
  caps->MaxFrameInterval = kFrameInterval;
  caps->MinBitsPerSecond = BitRate(size);
  caps->MaxBitsPerSecond = caps->MinBitsPerSecond;
}

class VideoCaptureFilter;

// Stream time of a frame, when the graph has a clock.
struct FrameTime {
  bool valid = false;
  REFERENCE_TIME start = 0;
};

class CapturePin final : public BaseOutputPin, public IAMStreamConfig, public IKsPropertySet {
 public:
  CapturePin(VideoCaptureFilter* filter, const WCHAR* name, const GUID& category, const FrameSize* sizes,
             int count);

  HRESULT WINAPI QueryInterface(REFIID iid, void** object) override { return BasePin::QueryInterface(iid, object); }
  ULONG WINAPI AddRef() override { return BasePin::AddRef(); }
  ULONG WINAPI Release() override { return BasePin::Release(); }

  // --- pin --------------------------------------------------------------------------------
  HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override {
    return MatchCaps(*type) == formatIndex_ ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
  }
  // The pin offers the format in force only.
  HRESULT GetMediaType(int index, AM_MEDIA_TYPE* type) override {
    if (index < 0) return E_INVALIDARG;
    if (index > 0) return VFW_S_NO_MORE_ITEMS;
    MediaType format;
    MakeYv12Type(sizes_[formatIndex_], format);
    return CopyMediaType(type, format.get());
  }
  HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
    return RequestBuffers(allocator, request, kBuffers, FrameBytes(sizes_[formatIndex_]));
  }

  // --- IAMStreamConfig ----------------------------------------------------------------------
  HRESULT WINAPI SetFormat(AM_MEDIA_TYPE* type) override;
  HRESULT WINAPI GetFormat(AM_MEDIA_TYPE** type) override {
    if (!type) return E_POINTER;
    std::lock_guard lock(filter_->FilterLock());
    MediaType format;
    MakeYv12Type(sizes_[formatIndex_], format);
    *type = CreateMediaType(format.get());
    return *type ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT WINAPI GetNumberOfCapabilities(int* count, int* size) override {
    if (!count || !size) return E_POINTER;
    *count = count_;
    *size = int(sizeof(VIDEO_STREAM_CONFIG_CAPS));
    return S_OK;
  }
  HRESULT WINAPI GetStreamCaps(int index, AM_MEDIA_TYPE** type, BYTE* caps) override {
    if (!type || !caps) return E_POINTER;
    *type = nullptr;
    if (index < 0) return E_INVALIDARG;
    if (index >= count_) return S_FALSE;
    MediaType format;
    MakeYv12Type(sizes_[index], format);
    *type = CreateMediaType(format.get());
    if (!*type) return E_OUTOFMEMORY;
    VIDEO_STREAM_CONFIG_CAPS filled;
    FillCaps(sizes_[index], &filled);
    std::memcpy(caps, &filled, sizeof filled);
    return S_OK;
  }

  // --- IKsPropertySet: the pin's category, read only ----------------------------------------
  HRESULT WINAPI Set(REFGUID set, DWORD, LPVOID, DWORD, LPVOID, DWORD) override {
    return set == AMPROPSETID_Pin ? E_PROP_ID_UNSUPPORTED : E_PROP_SET_UNSUPPORTED;
  }
  HRESULT WINAPI Get(REFGUID set, DWORD id, LPVOID, DWORD, LPVOID data, DWORD dataSize,
                     DWORD* returned) override {
    if (set != AMPROPSETID_Pin) return E_PROP_SET_UNSUPPORTED;
    if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
    if (!data) return E_POINTER;
    if (returned) *returned = sizeof(GUID);
    if (dataSize < sizeof(GUID)) return E_UNEXPECTED;
    std::memcpy(data, &category_, sizeof(GUID));
    return S_OK;
  }
  HRESULT WINAPI QuerySupported(REFGUID set, DWORD id, DWORD* support) override {
    if (set != AMPROPSETID_Pin) return E_PROP_SET_UNSUPPORTED;
    if (id != AMPROPERTY_PIN_CATEGORY) return E_PROP_ID_UNSUPPORTED;
    if (support) *support = KSPROPERTY_SUPPORT_GET;
    return S_OK;
  }

  // --- streaming (the filter's streaming thread only) ---------------------------------------
  // The size in force; changes only while the filter is stopped.
  FrameSize Size() const { return sizes_[formatIndex_]; }
  void DeliverFrame(CameraDevice& camera, uint64_t frame, const FrameTime& time, bool first);

 protected:
  HRESULT QueryPinInterface(REFIID iid, void** object) override {
    if (strmbase::Offer(static_cast<IAMStreamConfig*>(this), iid, object, IID_IAMStreamConfig)) return S_OK;
    if (strmbase::Offer(static_cast<IKsPropertySet*>(this), iid, object, IID_IKsPropertySet)) return S_OK;
    return BaseOutputPin::QueryPinInterface(iid, object);
  }

 private:
  static constexpr LONG kBuffers = 4;

  // The index of the capability the type stands for, or -1.
  int MatchCaps(const AM_MEDIA_TYPE& type) const {
    if (type.majortype != MEDIATYPE_Video || type.subtype != MEDIASUBTYPE_YV12) return -1;
    if (type.formattype != FORMAT_VideoInfo || type.cbFormat < sizeof(VIDEOINFOHEADER) || !type.pbFormat) return -1;
    VIDEOINFOHEADER vih;
    std::memcpy(&vih, type.pbFormat, sizeof vih);
    if (vih.bmiHeader.biCompression != kYv12) return -1;
    LONG w = vih.bmiHeader.biWidth, h = vih.bmiHeader.biHeight < 0 ? -vih.bmiHeader.biHeight : vih.bmiHeader.biHeight;
    for (int i = 0; i < count_; ++i)
      if (sizes_[i].width == w && sizes_[i].height == h) return i;
    return -1;
  }

  GUID category_;
  const FrameSize* sizes_;
  int count_;
  int formatIndex_ = 0;  // under the filter lock; read by the streaming thread while it runs
};

class VideoCaptureFilter final : public BaseFilter, public IPersistPropertyBag {
 public:
  VideoCaptureFilter()
      : BaseFilter(CLSID_VideoCapture),
        capture_(this, u"Capture", PIN_CATEGORY_CAPTURE, kCaptureSizes.data(), int(kCaptureSizes.size())),
        preview_(this, u"Preview", PIN_CATEGORY_PREVIEW, kPreviewSizes.data(), int(kPreviewSizes.size())) {}

  HRESULT WINAPI QueryInterface(REFIID iid, void** object) override { return BaseFilter::QueryInterface(iid, object); }
  ULONG WINAPI AddRef() override { return BaseFilter::AddRef(); }
  ULONG WINAPI Release() override { return BaseFilter::Release(); }
  HRESULT WINAPI GetClassID(CLSID* clsid) override { return BaseFilter::GetClassID(clsid); }

  int PinCount() override { return 2; }
  strmbase::BasePin* PinAt(int index) override {
    if (index == 0) return &capture_;
    if (index == 1) return &preview_;
    return nullptr;
  }

  // --- IPersistPropertyBag -----------------------------------------------------------------
  HRESULT WINAPI InitNew() override { return S_OK; }

  HRESULT WINAPI Load(IPropertyBag* bag, IErrorLog* log) override {
    if (!bag) return E_POINTER;
    VARIANT name;
    VariantInit(&name);
    // Asks for a string; a bag that copies into the variant clears it first.
    name.vt = VT_BSTR;
    name.bstrVal = nullptr;
    HRESULT hr = bag->Read(u"VCapName", &name, log);
    if (FAILED(hr)) return hr;
    if (name.vt != VT_BSTR || !name.bstrVal) {
      VariantClear(&name);
      return E_INVALIDARG;
    }
    std::u16string device(name.bstrVal, SysStringLen(name.bstrVal));
    VariantClear(&name);
    std::lock_guard lock(filterLock_);
    if (state_ != State_Stopped) return VFW_E_WRONG_STATE;
    auto camera = OpenCameraDevice(device);
    if (!camera) {
      DWORD error = GetLastError();
      return error ? HRESULT_FROM_WIN32(error) : E_FAIL;
    }
    camera_ = std::move(camera);
    deviceName_ = device;
    return S_OK;
  }

  HRESULT WINAPI Save(IPropertyBag* bag, BOOL, BOOL) override {
    if (!bag) return E_POINTER;
    std::u16string device;
    {
      std::lock_guard lock(filterLock_);
      if (!camera_) return E_UNEXPECTED;
      device = deviceName_;
    }
    VARIANT value;
    VariantInit(&value);
    value.vt = VT_BSTR;
    value.bstrVal = SysAllocStringLen(device.c_str(), UINT(device.size()));
    if (!value.bstrVal) return E_OUTOFMEMORY;
    HRESULT hr = bag->Write(u"VCapName", &value);
    VariantClear(&value);
    return hr;
  }

  // --- state --------------------------------------------------------------------------------
  HRESULT WINAPI Pause() override {
    std::lock_guard lock(filterLock_);
    // Without a camera there is nothing to stream; refused before the pins
    // commit their buffers.
    if (!camera_) return VFW_E_NO_CAPTURE_HARDWARE;
    return BaseFilter::Pause();
  }

  HRESULT WINAPI Run(REFERENCE_TIME start) override {
    std::lock_guard lock(filterLock_);
    if (!camera_) return VFW_E_NO_CAPTURE_HARDWARE;
    return BaseFilter::Run(start);
  }

  HRESULT WINAPI GetState(DWORD milliseconds, FILTER_STATE* state) override {
    HRESULT hr = BaseFilter::GetState(milliseconds, state);
    if (hr == S_OK && *state == State_Paused) return VFW_S_CANT_CUE;
    return hr;
  }

 protected:
  HRESULT QueryFilterInterface(REFIID iid, void** object) override {
    if (strmbase::Offer(static_cast<IPersistPropertyBag*>(this), iid, object, IID_IPersistPropertyBag)) return S_OK;
    return BaseFilter::QueryFilterInterface(iid, object);
  }

  HRESULT OnPause() override {
    if (!thread_.joinable()) {
      stopping_ = false;
      camera_->Prepare();
      try {
        thread_ = std::thread([this, camera = camera_] { Stream(*camera); });
      } catch (const std::system_error&) {
        return E_OUTOFMEMORY;
      }
    }
    return S_OK;
  }

  HRESULT OnRun(REFERENCE_TIME start) override {
    std::lock_guard lock(timingLock_);
    ComPtr<IReferenceClock> clock(clock_);
    streamClock_ = clock;
    streamStart_ = start;
    return S_OK;
  }

  HRESULT OnStop() override {
    StopStreaming();
    return S_OK;
  }

 private:
  ~VideoCaptureFilter() override { StopStreaming(); }

  void StopStreaming() {
    stopping_ = true;
    if (thread_.joinable()) thread_.join();
    std::lock_guard lock(timingLock_);
    streamClock_.reset();
  }

  // The streaming thread: each frame once, to every connected pin while running.
  void Stream(CameraDevice& camera) {
    uint64_t last = 0;
    bool first = true;
    while (!stopping_) {
      uint64_t frame = camera.WaitFrame(last, kFrameWaitMs);
      if (frame == 0) continue;
      last = frame;
      if (State() != State_Running) {
        first = true;
        continue;
      }
      FrameTime time = Now();
      capture_.DeliverFrame(camera, frame, time, first);
      preview_.DeliverFrame(camera, frame, time, first);
      first = false;
    }
  }

  // Stream time now, from the graph's clock.
  FrameTime Now() {
    std::lock_guard lock(timingLock_);
    FrameTime time;
    REFERENCE_TIME now = 0;
    if (streamClock_ && SUCCEEDED(streamClock_->GetTime(&now))) {
      time.valid = true;
      time.start = now - streamStart_;
    }
    return time;
  }

  CapturePin capture_;
  CapturePin preview_;
  std::shared_ptr<CameraDevice> camera_;  // under the filter lock
  std::u16string deviceName_;

  std::thread thread_;
  std::atomic<bool> stopping_{false};
  // The clock and start time of the current run, for the streaming thread.
  std::mutex timingLock_;
  ComPtr<IReferenceClock> streamClock_;
  REFERENCE_TIME streamStart_ = 0;
};

CapturePin::CapturePin(VideoCaptureFilter* filter, const WCHAR* name, const GUID& category, const FrameSize* sizes,
                       int count)
    : BaseOutputPin(filter, name), category_(category), sizes_(sizes), count_(count) {}

HRESULT CapturePin::SetFormat(AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  std::lock_guard lock(filter_->FilterLock());
  if (filter_->State() != State_Stopped) return VFW_E_WRONG_STATE;
  int index = MatchCaps(*type);
  if (index < 0) return VFW_E_INVALIDMEDIATYPE;
  if (index == formatIndex_) return S_OK;
  if (!connected_) {
    formatIndex_ = index;
    return S_OK;
  }
  // Connected: the pin downstream must take the new size, and the
  // connection is made again with it.
  MediaType wanted;
  MakeYv12Type(sizes_[index], wanted);
  ComPtr<IPin> peer(connected_);
  if (peer->QueryAccept(wanted.get()) != S_OK) return VFW_E_INVALIDMEDIATYPE;
  int previous = formatIndex_;
  peer->Disconnect();
  Disconnect();
  formatIndex_ = index;
  HRESULT hr = Connect(peer.get(), wanted.get());
  if (FAILED(hr)) {
    formatIndex_ = previous;
    MediaType before;
    MakeYv12Type(sizes_[previous], before);
    Connect(peer.get(), before.get());
    return hr;
  }
  return S_OK;
}

void CapturePin::DeliverFrame(CameraDevice& camera, uint64_t frame, const FrameTime& time, bool first) {
  if (!IsConnected()) return;
  IMediaSample* sample = nullptr;
  if (FAILED(GetDeliveryBuffer(&sample, nullptr, nullptr, AM_GBF_NOWAIT)) || !sample) return;
  FrameSize size = Size();
  LONG bytes = FrameBytes(size);
  BYTE* data = nullptr;
  if (FAILED(sample->GetPointer(&data)) || sample->GetSize() < bytes ||
      !camera.ReadFrame(frame, data, size.width, size.height)) {
    sample->Release();
    return;
  }
  sample->SetActualDataLength(bytes);
  if (time.valid) {
    REFERENCE_TIME start = time.start, end = time.start + kFrameInterval;
    sample->SetTime(&start, &end);
  }
  LONGLONG mediaStart = LONGLONG(frame), mediaEnd = LONGLONG(frame + 1);
  sample->SetMediaTime(&mediaStart, &mediaEnd);
  sample->SetSyncPoint(TRUE);
  sample->SetDiscontinuity(first);
  // Whatever downstream answers (S_FALSE: it held the sample back; a
  // failure: it is stopping), the next frame goes out as usual.
  Deliver(sample);
  sample->Release();
}

const com::ClassRegistrar kVideoCapture(CLSID_VideoCapture, &com::Construct<VideoCaptureFilter>);

}  // namespace
}  // namespace orlik::capture
