// TransInPlaceFilter: one input, one output, each sample worked on in place
// and passed on in the same buffer when both pins share an allocator.
#include "strmbase.h"

#include <cstring>

namespace orlik::strmbase {

TransInPlaceFilter::TransInPlaceFilter(const CLSID& clsid, InputPin* input)
    : BaseFilter(clsid),
      input_(input ? input : new InputPin(this, u"Input")),
      output_(new OutputPin(this, u"Output")) {}

TransInPlaceFilter::~TransInPlaceFilter() {
  delete input_;
  delete output_;
}

BasePin* TransInPlaceFilter::PinAt(int index) {
  if (index == 0) return input_;
  if (index == 1) return output_;
  return nullptr;
}

HRESULT TransInPlaceFilter::Receive(IMediaSample* sample) {
  // A sample from an allocator the output does not deliver from (or a
  // read-only one) is copied into an output buffer first.
  IMediaSample* work = sample;
  bool copied = false;
  if (output_->IsConnected() && (input_->Allocator() != output_->Allocator() || input_->ReadOnly())) {
    IMediaSample* copy = nullptr;
    HRESULT hr = output_->GetDeliveryBuffer(&copy, nullptr, nullptr, 0);
    if (FAILED(hr)) return hr;
    BYTE *src = nullptr, *dst = nullptr;
    sample->GetPointer(&src);
    copy->GetPointer(&dst);
    LONG length = sample->GetActualDataLength();
    if (length > copy->GetSize()) {
      copy->Release();
      return VFW_E_BUFFER_OVERFLOW;
    }
    std::memcpy(dst, src, size_t(length));
    copy->SetActualDataLength(length);
    REFERENCE_TIME start = 0, end = 0;
    HRESULT timeHr = sample->GetTime(&start, &end);
    if (timeHr == S_OK) copy->SetTime(&start, &end);
    else if (timeHr == VFW_S_NO_STOP_TIME) copy->SetTime(&start, nullptr);
    LONGLONG mediaStart = 0, mediaEnd = 0;
    if (sample->GetMediaTime(&mediaStart, &mediaEnd) == S_OK) copy->SetMediaTime(&mediaStart, &mediaEnd);
    copy->SetSyncPoint(sample->IsSyncPoint() == S_OK);
    copy->SetDiscontinuity(sample->IsDiscontinuity() == S_OK);
    copy->SetPreroll(sample->IsPreroll() == S_OK);
    work = copy;
    copied = true;
  }
  HRESULT hr = Transform(work);
  if (hr == S_OK && output_->IsConnected()) hr = output_->Deliver(work);
  if (copied) work->Release();
  return hr;
}

// --- input pin -------------------------------------------------------------------------------

TransInPlaceFilter::InputPin::InputPin(TransInPlaceFilter* filter, const WCHAR* name)
    : BaseInputPin(filter, name), owner_(filter) {}

HRESULT TransInPlaceFilter::InputPin::CheckMediaType(const AM_MEDIA_TYPE* type) {
  HRESULT hr = owner_->CheckInputType(type);
  if (hr != S_OK) return FAILED(hr) ? hr : VFW_E_TYPE_NOT_ACCEPTED;
  // Once the output is connected, a type must also suit the pin downstream.
  if (owner_->output_->IsConnected() && owner_->output_->ConnectedPin()->QueryAccept(type) != S_OK)
    return VFW_E_TYPE_NOT_ACCEPTED;
  return S_OK;
}

HRESULT TransInPlaceFilter::InputPin::GetMediaType(int index, AM_MEDIA_TYPE* type) {
  if (index < 0) return E_INVALIDARG;
  // The types the pin downstream prefers, once there is one.
  IPin* downstream = owner_->output_->ConnectedPin();
  if (!downstream) return VFW_S_NO_MORE_ITEMS;
  ComPtr<IEnumMediaTypes> types;
  if (FAILED(downstream->EnumMediaTypes(types.put())) || !types) return VFW_S_NO_MORE_ITEMS;
  if (index > 0 && types->Skip(ULONG(index)) != S_OK) return VFW_S_NO_MORE_ITEMS;
  AM_MEDIA_TYPE* next = nullptr;
  ULONG fetched = 0;
  if (types->Next(1, &next, &fetched) != S_OK || fetched != 1) return VFW_S_NO_MORE_ITEMS;
  *type = *next;  // takes over the format block
  CoTaskMemFree(next);
  return S_OK;
}

HRESULT TransInPlaceFilter::InputPin::GetAllocator(IMemAllocator** allocator) {
  if (!allocator) return E_POINTER;
  // Upstream writes straight into the buffers of the pin downstream when
  // there is one, so nothing needs copying.
  if (IPin* downstream = owner_->output_->ConnectedPin()) {
    ComPtr<IMemInputPin> input;
    if (SUCCEEDED(downstream->QueryInterface(IID_IMemInputPin, input.put_void())) && input &&
        SUCCEEDED(input->GetAllocator(allocator)))
      return S_OK;
  }
  return BaseInputPin::GetAllocator(allocator);
}

HRESULT TransInPlaceFilter::InputPin::Receive(IMediaSample* sample) {
  if (!sample) return E_POINTER;
  HRESULT hr = CheckStreaming();
  if (hr != S_OK) return hr;
  return owner_->Receive(sample);
}

HRESULT TransInPlaceFilter::InputPin::EndOfStream() {
  BaseInputPin::EndOfStream();
  return owner_->output_->IsConnected() ? owner_->output_->DeliverEndOfStream() : S_OK;
}

HRESULT TransInPlaceFilter::InputPin::BeginFlush() {
  BaseInputPin::BeginFlush();
  return owner_->output_->IsConnected() ? owner_->output_->DeliverBeginFlush() : S_OK;
}

HRESULT TransInPlaceFilter::InputPin::EndFlush() {
  BaseInputPin::EndFlush();
  return owner_->output_->IsConnected() ? owner_->output_->DeliverEndFlush() : S_OK;
}

HRESULT TransInPlaceFilter::InputPin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  BasePin::NewSegment(start, stop, rate);
  return owner_->output_->IsConnected() ? owner_->output_->DeliverNewSegment(start, stop, rate) : S_OK;
}

// --- output pin ------------------------------------------------------------------------------

TransInPlaceFilter::OutputPin::OutputPin(TransInPlaceFilter* filter, const WCHAR* name)
    : BaseOutputPin(filter, name), owner_(filter) {}

HRESULT TransInPlaceFilter::OutputPin::CheckMediaType(const AM_MEDIA_TYPE* type) {
  // In place: the output carries exactly what comes in.
  if (!owner_->input_->IsConnected()) return VFW_E_NOT_CONNECTED;
  const AM_MEDIA_TYPE& in = owner_->input_->CurrentMediaType();
  if (type->majortype != in.majortype || type->subtype != in.subtype) return VFW_E_TYPE_NOT_ACCEPTED;
  if (type->formattype != in.formattype) return VFW_E_TYPE_NOT_ACCEPTED;
  if (type->cbFormat != in.cbFormat ||
      (in.cbFormat && std::memcmp(type->pbFormat, in.pbFormat, in.cbFormat) != 0))
    return VFW_E_TYPE_NOT_ACCEPTED;
  return S_OK;
}

HRESULT TransInPlaceFilter::OutputPin::GetMediaType(int index, AM_MEDIA_TYPE* type) {
  if (index < 0) return E_INVALIDARG;
  if (index > 0 || !owner_->input_->IsConnected()) return VFW_S_NO_MORE_ITEMS;
  return CopyMediaType(type, &owner_->input_->CurrentMediaType());
}

HRESULT TransInPlaceFilter::OutputPin::DecideBufferSize(IMemAllocator* allocator,
                                                       ALLOCATOR_PROPERTIES* request) {
  // Buffers as large as upstream's, or the sample size of the type.
  ALLOCATOR_PROPERTIES upstream{};
  if (IMemAllocator* in = owner_->input_->Allocator()) in->GetProperties(&upstream);
  if (request->cBuffers < 1) request->cBuffers = upstream.cBuffers > 0 ? upstream.cBuffers : 1;
  LONG size = upstream.cbBuffer > 0 ? upstream.cbBuffer : LONG(CurrentMediaType().lSampleSize);
  if (request->cbBuffer < size) request->cbBuffer = size;
  if (request->cbBuffer <= 0) request->cbBuffer = 1;
  if (request->cbAlign <= 0) request->cbAlign = 1;
  ALLOCATOR_PROPERTIES actual{};
  HRESULT hr = allocator->SetProperties(request, &actual);
  if (FAILED(hr)) return hr;
  return actual.cbBuffer < request->cbBuffer ? E_FAIL : S_OK;
}

HRESULT TransInPlaceFilter::OutputPin::DecideAllocator(IMemInputPin* input, IMemAllocator** allocator) {
  // Hand the allocator upstream already uses to the pin downstream, so the
  // sample passes through without a copy; otherwise negotiate as usual.
  if (IMemAllocator* upstream = owner_->input_->Allocator()) {
    if (SUCCEEDED(input->NotifyAllocator(upstream, owner_->input_->ReadOnly()))) {
      upstream->AddRef();
      *allocator = upstream;
      return S_OK;
    }
  }
  return BaseOutputPin::DecideAllocator(input, allocator);
}

}  // namespace orlik::strmbase
