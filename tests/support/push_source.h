// A source filter for the renderer tests and benchmark, written on the filter
// base classes as any filter of the platform: one output pin of a fixed media
// type, and samples pushed by the caller, connected straight to a renderer's
// input pin.
#pragma once

#include <orlik/dshow.h>

#include "strmbase.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace renderer_test {

using orlik::strmbase::BaseFilter;
using orlik::strmbase::BaseOutputPin;
using orlik::strmbase::BasePin;
using orlik::strmbase::ComPtr;
using orlik::strmbase::MediaType;

class PushSource final : public BaseFilter {
 public:
  PushSource(const AM_MEDIA_TYPE& type, LONG bufferBytes)
      : BaseFilter(GUID_NULL), type_(type), bufferBytes_(bufferBytes), pin_(new Pin(this)) {}

  int PinCount() override { return 1; }
  BasePin* PinAt(int index) override { return index == 0 ? pin_ : nullptr; }

  // Connects the output pin to the filter's first pin.
  HRESULT ConnectTo(IBaseFilter* renderer) {
    ComPtr<IEnumPins> pins;
    renderer->EnumPins(pins.put());
    ComPtr<IPin> input;
    ULONG fetched = 0;
    if (pins->Next(1, input.put(), &fetched) != S_OK) return E_FAIL;
    return pin_->Connect(input.get(), type_.get());
  }

  // One sample holding these bytes; the renderer's answer.
  HRESULT Push(const void* data, size_t bytes, const AM_MEDIA_TYPE* newType = nullptr) {
    IMediaSample* sample = nullptr;
    HRESULT hr = pin_->GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
    if (FAILED(hr)) return hr;
    BYTE* buffer = nullptr;
    sample->GetPointer(&buffer);
    size_t n = std::min(bytes, size_t(sample->GetSize()));
    std::memcpy(buffer, data, n);
    sample->SetActualDataLength(LONG(n));
    if (newType) sample->SetMediaType(const_cast<AM_MEDIA_TYPE*>(newType));
    hr = pin_->Deliver(sample);
    sample->Release();
    return hr;
  }

  // Pushes bytes in samples of at most the buffer size; stops at the first
  // answer that is not S_OK and returns it.
  HRESULT PushAll(const std::vector<uint8_t>& bytes) {
    for (size_t at = 0; at < bytes.size(); at += size_t(bufferBytes_)) {
      HRESULT hr = Push(bytes.data() + at, std::min(bytes.size() - at, size_t(bufferBytes_)));
      if (hr != S_OK) return hr;
    }
    return S_OK;
  }

  HRESULT EndOfStream() { return pin_->DeliverEndOfStream(); }

  // Stops, and breaks the connection both ways (the pins hold each other's
  // filters), as a graph does when it removes a filter.
  void StopAndDisconnect(IBaseFilter* renderer) {
    renderer->Stop();
    Stop();
    if (IPin* peer = pin_->ConnectedPin()) peer->Disconnect();
    pin_->Disconnect();
  }

 private:
  class Pin final : public BaseOutputPin {
   public:
    explicit Pin(PushSource* owner) : BaseOutputPin(owner, u"Out"), owner_(owner) {}
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override {
      return type && type->majortype == owner_->type_.get()->majortype &&
                     type->subtype == owner_->type_.get()->subtype
                 ? S_OK
                 : S_FALSE;
    }
    HRESULT GetMediaType(int index, AM_MEDIA_TYPE* type) override {
      if (index < 0) return E_INVALIDARG;
      if (index > 0) return VFW_S_NO_MORE_ITEMS;
      return CopyMediaType(type, owner_->type_.get());
    }
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
      request->cBuffers = 2;
      request->cbBuffer = owner_->bufferBytes_;
      ALLOCATOR_PROPERTIES actual;
      return allocator->SetProperties(request, &actual);
    }

   private:
    PushSource* owner_;
  };

  ~PushSource() override { delete pin_; }

  MediaType type_;
  LONG bufferBytes_;
  Pin* pin_;
};

// Media types the tests build.
inline MediaType VideoType(const GUID& subtype, int width, int height, int bitCount) {
  MediaType mt;
  mt.get()->majortype = MEDIATYPE_Video;
  mt.get()->subtype = subtype;
  mt.get()->formattype = FORMAT_VideoInfo;
  mt.get()->bFixedSizeSamples = TRUE;
  auto* info = reinterpret_cast<VIDEOINFOHEADER*>(mt.AllocFormat(sizeof(VIDEOINFOHEADER)));
  info->bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info->bmiHeader.biWidth = width;
  info->bmiHeader.biHeight = height;
  info->bmiHeader.biPlanes = 1;
  info->bmiHeader.biBitCount = WORD(bitCount);
  info->AvgTimePerFrame = UNITS / 25;
  return mt;
}

inline MediaType AudioType(int rate, int channels, int bits = 16, WORD tag = WAVE_FORMAT_PCM) {
  MediaType mt;
  mt.get()->majortype = MEDIATYPE_Audio;
  mt.get()->subtype = tag == WAVE_FORMAT_PCM ? MEDIASUBTYPE_PCM : MEDIASUBTYPE_IEEE_FLOAT;
  mt.get()->formattype = FORMAT_WaveFormatEx;
  auto* wave = reinterpret_cast<WAVEFORMATEX*>(mt.AllocFormat(sizeof(WAVEFORMATEX)));
  wave->wFormatTag = tag;
  wave->nChannels = WORD(channels);
  wave->nSamplesPerSec = DWORD(rate);
  wave->wBitsPerSample = WORD(bits);
  wave->nBlockAlign = WORD(channels * bits / 8);
  wave->nAvgBytesPerSec = DWORD(rate) * wave->nBlockAlign;
  return mt;
}

// A new object of the class, null when it cannot be created.
template <class T>
ComPtr<T> Create(const CLSID& clsid, REFIID iid) {
  ComPtr<T> object;
  CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, iid, object.put_void());
  return object;
}

}  // namespace renderer_test
