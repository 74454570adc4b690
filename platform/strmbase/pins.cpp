// Pins: connection (media type agreement), allocator negotiation, delivery
// and the receiving side of IMemInputPin.
#include "enumerators.h"
#include "strmbase.h"

#include <orlik/text.h>

#include <cstring>

namespace orlik::strmbase {

// --- BasePin -----------------------------------------------------------------------------

BasePin::BasePin(BaseFilter* filter, const WCHAR* name, PIN_DIRECTION direction)
    : filter_(filter), name_(View(name)), direction_(direction) {}

BasePin::~BasePin() {
  if (connected_) connected_->Release();
}

HRESULT BasePin::QueryInterface(REFIID iid, void** object) {
  HRESULT hr = QueryOwn(static_cast<IPin*>(this), iid, object, IID_IPin);
  return hr == E_NOINTERFACE ? QueryPinInterface(iid, object) : hr;
}

HRESULT BasePin::QueryPinInterface(REFIID, void** object) {
  *object = nullptr;
  return E_NOINTERFACE;
}

// A pin lives as long as its filter: references on a pin are references on
// the filter.
ULONG BasePin::AddRef() { return filter_->AddRef(); }
ULONG BasePin::Release() { return filter_->Release(); }

HRESULT BasePin::GetMediaType(int index, AM_MEDIA_TYPE*) {
  return index < 0 ? E_INVALIDARG : VFW_S_NO_MORE_ITEMS;
}

HRESULT BasePin::SetMediaType(const AM_MEDIA_TYPE* type) {
  mt_.Set(*type);
  return S_OK;
}

HRESULT BasePin::CompleteConnect(IPin*) { return S_OK; }
HRESULT BasePin::BreakConnect() { return S_OK; }
HRESULT BasePin::Active() { return S_OK; }
HRESULT BasePin::Inactive() { return S_OK; }

HRESULT BasePin::AttemptConnection(IPin* receivePin, const AM_MEDIA_TYPE* type) {
  HRESULT hr = CheckMediaType(type);
  if (hr != S_OK) return FAILED(hr) ? hr : VFW_E_TYPE_NOT_ACCEPTED;
  connected_ = receivePin;
  connected_->AddRef();
  hr = SetMediaType(type);
  if (SUCCEEDED(hr)) {
    hr = receivePin->ReceiveConnection(this, type);
    if (SUCCEEDED(hr)) {
      hr = CompleteConnect(receivePin);
      if (SUCCEEDED(hr)) return S_OK;
      receivePin->Disconnect();
    }
  }
  BreakConnect();
  connected_->Release();
  connected_ = nullptr;
  mt_.Reset();
  return hr;
}

HRESULT BasePin::TryTypes(IPin* receivePin, const AM_MEDIA_TYPE* partial, IEnumMediaTypes* types) {
  AM_MEDIA_TYPE* type = nullptr;
  ULONG fetched = 0;
  while (types->Next(1, &type, &fetched) == S_OK && fetched == 1) {
    bool fits = !partial || MediaTypeMatchesPartial(*type, *partial);
    HRESULT hr = fits ? AttemptConnection(receivePin, type) : E_FAIL;
    DeleteMediaType(type);
    if (SUCCEEDED(hr)) return S_OK;
  }
  return VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT BasePin::Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) {
  if (!receivePin) return E_POINTER;
  std::lock_guard lock(filter_->FilterLock());
  if (connected_) return VFW_E_ALREADY_CONNECTED;
  if (filter_->State() != State_Stopped) return VFW_E_NOT_STOPPED;
  PIN_DIRECTION other;
  if (FAILED(receivePin->QueryDirection(&other)) || other == direction_) return VFW_E_INVALID_DIRECTION;
  if (type && !IsPartialMediaType(*type)) {
    HRESULT hr = AttemptConnection(receivePin, type);
    return SUCCEEDED(hr) ? S_OK : hr;
  }
  // The receiving pin's preferred types first, then this pin's own.
  ComPtr<IEnumMediaTypes> types;
  if (SUCCEEDED(receivePin->EnumMediaTypes(types.put())) && types &&
      TryTypes(receivePin, type, types.get()) == S_OK)
    return S_OK;
  types.reset();
  if (SUCCEEDED(EnumMediaTypes(types.put())) && TryTypes(receivePin, type, types.get()) == S_OK)
    return S_OK;
  return VFW_E_NO_ACCEPTABLE_TYPES;
}

HRESULT BasePin::ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) {
  if (!connector || !type) return E_POINTER;
  std::lock_guard lock(filter_->FilterLock());
  if (connected_) return VFW_E_ALREADY_CONNECTED;
  if (filter_->State() != State_Stopped) return VFW_E_NOT_STOPPED;
  PIN_DIRECTION other;
  if (FAILED(connector->QueryDirection(&other)) || other == direction_) return VFW_E_INVALID_DIRECTION;
  if (CheckMediaType(type) != S_OK) return VFW_E_TYPE_NOT_ACCEPTED;
  connected_ = connector;
  connected_->AddRef();
  HRESULT hr = SetMediaType(type);
  if (SUCCEEDED(hr)) hr = CompleteConnect(connector);
  if (FAILED(hr)) {
    BreakConnect();
    connected_->Release();
    connected_ = nullptr;
    mt_.Reset();
  }
  return hr;
}

HRESULT BasePin::Disconnect() {
  std::lock_guard lock(filter_->FilterLock());
  if (!connected_) return S_FALSE;
  if (filter_->State() != State_Stopped) return VFW_E_NOT_STOPPED;
  BreakConnect();
  connected_->Release();
  connected_ = nullptr;
  mt_.Reset();
  return S_OK;
}

HRESULT BasePin::ConnectedTo(IPin** pin) {
  if (!pin) return E_POINTER;
  std::lock_guard lock(filter_->FilterLock());
  *pin = connected_;
  if (!connected_) return VFW_E_NOT_CONNECTED;
  connected_->AddRef();
  return S_OK;
}

HRESULT BasePin::ConnectionMediaType(AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  std::lock_guard lock(filter_->FilterLock());
  if (!connected_) {
    std::memset(type, 0, sizeof *type);
    return VFW_E_NOT_CONNECTED;
  }
  return CopyMediaType(type, mt_.get());
}

HRESULT BasePin::QueryPinInfo(PIN_INFO* info) {
  if (!info) return E_POINTER;
  info->pFilter = filter_;
  filter_->AddRef();
  info->dir = direction_;
  orlik_wcscpy_bounded(info->achName, MAX_PIN_NAME, name_.c_str());
  return S_OK;
}

HRESULT BasePin::QueryDirection(PIN_DIRECTION* direction) {
  if (!direction) return E_POINTER;
  *direction = direction_;
  return S_OK;
}

HRESULT BasePin::QueryId(LPWSTR* id) {
  if (!id) return E_POINTER;
  size_t bytes = (name_.size() + 1) * sizeof(WCHAR);
  *id = static_cast<LPWSTR>(CoTaskMemAlloc(bytes));
  if (!*id) return E_OUTOFMEMORY;
  std::memcpy(*id, name_.c_str(), bytes);
  return S_OK;
}

HRESULT BasePin::QueryAccept(const AM_MEDIA_TYPE* type) {
  if (!type) return E_POINTER;
  return CheckMediaType(type) == S_OK ? S_OK : S_FALSE;
}

HRESULT BasePin::EnumMediaTypes(IEnumMediaTypes** types) {
  if (!types) return E_POINTER;
  *types = NewMediaTypeEnumerator(this);
  return S_OK;
}

HRESULT BasePin::QueryInternalConnections(IPin**, ULONG*) { return E_NOTIMPL; }
HRESULT BasePin::EndOfStream() { return S_OK; }
HRESULT BasePin::BeginFlush() { return S_OK; }
HRESULT BasePin::EndFlush() { return S_OK; }

HRESULT BasePin::NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  segmentStart_ = start;
  segmentStop_ = stop;
  segmentRate_ = rate;
  return S_OK;
}

// --- BaseOutputPin -------------------------------------------------------------------------

BaseOutputPin::BaseOutputPin(BaseFilter* filter, const WCHAR* name)
    : BasePin(filter, name, PINDIR_OUTPUT) {}

BaseOutputPin::~BaseOutputPin() {
  if (allocator_) allocator_->Release();
  if (input_) input_->Release();
}

HRESULT BaseOutputPin::RequestBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request, LONG buffers,
                                      LONG bytes) {
  if (request->cBuffers < buffers) request->cBuffers = buffers;
  if (request->cbBuffer < bytes) request->cbBuffer = bytes;
  if (request->cbAlign <= 0) request->cbAlign = 16;
  ALLOCATOR_PROPERTIES actual{};
  HRESULT hr = allocator->SetProperties(request, &actual);
  if (FAILED(hr)) return hr;
  return actual.cbBuffer < bytes ? E_FAIL : S_OK;
}

HRESULT BaseOutputPin::DecideAllocator(IMemInputPin* input, IMemAllocator** allocator) {
  ALLOCATOR_PROPERTIES props{};
  input->GetAllocatorRequirements(&props);
  if (props.cbAlign <= 0) props.cbAlign = 1;
  *allocator = nullptr;
  if (SUCCEEDED(input->GetAllocator(allocator)) && *allocator) {
    ALLOCATOR_PROPERTIES request = props;
    if (SUCCEEDED(DecideBufferSize(*allocator, &request)) &&
        SUCCEEDED(input->NotifyAllocator(*allocator, FALSE)))
      return S_OK;
    (*allocator)->Release();
    *allocator = nullptr;
  }
  MemAllocator* own = MemAllocator::Create();
  ALLOCATOR_PROPERTIES request = props;
  HRESULT hr = DecideBufferSize(own, &request);
  if (SUCCEEDED(hr)) hr = input->NotifyAllocator(own, FALSE);
  if (FAILED(hr)) {
    own->Release();
    return hr;
  }
  *allocator = own;
  return S_OK;
}

HRESULT BaseOutputPin::CompleteConnect(IPin* other) {
  IMemInputPin* input = nullptr;
  if (FAILED(other->QueryInterface(IID_IMemInputPin, reinterpret_cast<void**>(&input))) || !input)
    return VFW_E_NO_TRANSPORT;
  IMemAllocator* allocator = nullptr;
  HRESULT hr = DecideAllocator(input, &allocator);
  if (FAILED(hr)) {
    input->Release();
    return hr;
  }
  input_ = input;
  allocator_ = allocator;
  return S_OK;
}

HRESULT BaseOutputPin::BreakConnect() {
  if (allocator_) {
    allocator_->Decommit();
    allocator_->Release();
    allocator_ = nullptr;
  }
  if (input_) {
    input_->Release();
    input_ = nullptr;
  }
  return S_OK;
}

HRESULT BaseOutputPin::Active() {
  if (!connected_) return S_OK;
  return allocator_ ? allocator_->Commit() : VFW_E_NO_ALLOCATOR;
}

HRESULT BaseOutputPin::Inactive() { return allocator_ ? allocator_->Decommit() : S_OK; }

HRESULT BaseOutputPin::GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start,
                                         REFERENCE_TIME* end, DWORD flags) {
  if (!allocator_) return VFW_E_NO_ALLOCATOR;
  return allocator_->GetBuffer(sample, start, end, flags);
}

HRESULT BaseOutputPin::Deliver(IMediaSample* sample) {
  if (!input_) return VFW_E_NOT_CONNECTED;
  return input_->Receive(sample);
}

HRESULT BaseOutputPin::DeliverEndOfStream() {
  if (!connected_) return VFW_E_NOT_CONNECTED;
  return connected_->EndOfStream();
}

HRESULT BaseOutputPin::DeliverBeginFlush() {
  if (!connected_) return VFW_E_NOT_CONNECTED;
  return connected_->BeginFlush();
}

HRESULT BaseOutputPin::DeliverEndFlush() {
  if (!connected_) return VFW_E_NOT_CONNECTED;
  return connected_->EndFlush();
}

HRESULT BaseOutputPin::DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) {
  if (!connected_) return VFW_E_NOT_CONNECTED;
  return connected_->NewSegment(start, stop, rate);
}

// --- BaseInputPin --------------------------------------------------------------------------

BaseInputPin::BaseInputPin(BaseFilter* filter, const WCHAR* name)
    : BasePin(filter, name, PINDIR_INPUT) {}

BaseInputPin::~BaseInputPin() {
  if (allocator_) allocator_->Release();
}

HRESULT BaseInputPin::QueryPinInterface(REFIID iid, void** object) {
  if (iid == IID_IMemInputPin) {
    AddRef();
    *object = static_cast<IMemInputPin*>(this);
    return S_OK;
  }
  return BasePin::QueryPinInterface(iid, object);
}

HRESULT BaseInputPin::GetAllocator(IMemAllocator** allocator) {
  if (!allocator) return E_POINTER;
  std::lock_guard lock(allocatorLock_);
  if (!allocator_) allocator_ = MemAllocator::Create();
  allocator_->AddRef();
  *allocator = allocator_;
  return S_OK;
}

HRESULT BaseInputPin::NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) {
  if (!allocator) return E_POINTER;
  std::lock_guard lock(allocatorLock_);
  allocator->AddRef();
  if (allocator_) allocator_->Release();
  allocator_ = allocator;
  readOnly_ = readOnly != FALSE;
  return S_OK;
}

HRESULT BaseInputPin::GetAllocatorRequirements(ALLOCATOR_PROPERTIES*) { return E_NOTIMPL; }

HRESULT BaseInputPin::CheckStreaming() {
  if (filter_->State() == State_Stopped) return VFW_E_WRONG_STATE;
  if (flushing_) return S_FALSE;
  if (endOfStream_) return VFW_E_SAMPLE_REJECTED_EOS;
  return S_OK;
}

HRESULT BaseInputPin::Receive(IMediaSample* sample) {
  if (!sample) return E_POINTER;
  return CheckStreaming();
}

HRESULT BaseInputPin::ReceiveMultiple(IMediaSample** samples, LONG count, LONG* processed) {
  if (!samples || !processed) return E_POINTER;
  *processed = 0;
  HRESULT hr = S_OK;
  while (*processed < count) {
    hr = Receive(samples[*processed]);
    if (hr != S_OK) break;
    ++*processed;
  }
  return hr;
}

HRESULT BaseInputPin::ReceiveCanBlock() { return S_OK; }

HRESULT BaseInputPin::BeginFlush() {
  flushing_ = true;
  return S_OK;
}

HRESULT BaseInputPin::EndFlush() {
  flushing_ = false;
  endOfStream_ = false;
  return S_OK;
}

HRESULT BaseInputPin::EndOfStream() {
  if (flushing_) return S_OK;
  endOfStream_ = true;
  return S_OK;
}

HRESULT BaseInputPin::BreakConnect() {
  std::lock_guard lock(allocatorLock_);
  if (allocator_) {
    allocator_->Release();
    allocator_ = nullptr;
  }
  return S_OK;
}

// Stopped: as after a flush, neither flushing nor at the end of a stream.
HRESULT BaseInputPin::Inactive() { return BaseInputPin::EndFlush(); }

}  // namespace orlik::strmbase
