// The grabber filter and its per-sample procedure.
#include "sample_grabber.h"

#include <cstring>
#include <new>

namespace vistrel {

namespace {

// The input pin offers, while the output is unconnected, one media type
// with every field empty, and afterwards the types of the pin downstream.
class SampleGrabberInputPin final : public orlik::strmbase::TransInPlaceFilter::InputPin {
 public:
  explicit SampleGrabberInputPin(SampleGrabber* filter) : InputPin(filter, u"Input") {}

  HRESULT GetMediaType(int index, AM_MEDIA_TYPE* type) override {
    if (index < 0) return E_INVALIDARG;
    if (owner_->Output()->IsConnected()) return InputPin::GetMediaType(index, type);
    if (index > 0) return VFW_S_NO_MORE_ITEMS;
    std::memset(type, 0, sizeof *type);
    return S_OK;
  }
};

}  // namespace

SampleGrabber::SampleGrabber(HRESULT* status)
    : TransInPlaceFilter(CLSID_SampleGrabber, new SampleGrabberInputPin(this)) {
  InitializeCriticalSection(&lock);
  captureDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (status) *status = captureDone ? S_OK : E_OUTOFMEMORY;
}

SampleGrabber::~SampleGrabber() {
  CloseRecording();
  if (captureDone) CloseHandle(captureDone);
  DeleteCriticalSection(&lock);
}

HRESULT SampleGrabber::CheckInputType(const AM_MEDIA_TYPE*) { return S_OK; }

void SampleGrabber::SetGate(int32_t newHoldBack, int32_t newPassCount) {
  holdBack = newHoldBack;
  passCount = newPassCount;
}

HRESULT SampleGrabber::Transform(IMediaSample* sample) {
  if (!sample) return E_POINTER;
  EnterCriticalSection(&lock);

  bool serveCapture = true;
  if (recording) {
    if (!PaceFrame()) {
      serveCapture = false;  // too early: nothing encoded, no capture served
    } else if (!EncodeFrame(sample)) {
      serveCapture = false;  // a continuation file was started
    }
  }

  if (serveCapture && captureRequested) {
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    LONG length = sample->GetActualDataLength();
    captureRequested = 0;
    uint8_t* target = captureTarget;
    // A sample larger than the buffer is not copied: the capture fails.
    if (data && target && length > 0 && uint32_t(length) <= captureCapacity) {
      captureLength = uint32_t(length);
      std::memcpy(target, data, size_t(length));
    } else {
      captureLength = 0;
    }
    SetEvent(captureDone);
  }

  HRESULT result;
  if (holdBack == 1) {
    result = S_FALSE;
  } else if (passCount > 0) {
    --passCount;
    result = S_OK;
  } else if (passCount < 0) {
    result = S_OK;
  } else {
    holdBack = 1;
    result = S_FALSE;
  }

  LeaveCriticalSection(&lock);
  return result;
}

}  // namespace vistrel
