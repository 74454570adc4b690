// BaseRenderer: renders each sample as it arrives and reports the end of
// its stream to the graph.
#include "strmbase.h"

namespace orlik::strmbase {

BaseRenderer::BaseRenderer(const CLSID& clsid, const WCHAR* pinName)
    : BaseFilter(clsid), pin_(new InputPin(this, pinName)) {}

BaseRenderer::~BaseRenderer() { delete pin_; }

BasePin* BaseRenderer::PinAt(int index) { return index == 0 ? pin_ : nullptr; }

HRESULT BaseRenderer::QueryFilterInterface(REFIID iid, void** object) {
  if (iid == IID_IAMFilterMiscFlags) {
    AddRef();
    *object = static_cast<IAMFilterMiscFlags*>(this);
    return S_OK;
  }
  return BaseFilter::QueryFilterInterface(iid, object);
}

HRESULT BaseRenderer::OnStop() {
  endOfStream_ = false;
  completeSent_ = false;
  return S_OK;
}

HRESULT BaseRenderer::OnRun(REFERENCE_TIME) {
  // A stream that ended while paused completes once the graph runs.
  if (endOfStream_ && !completeSent_.exchange(true)) NotifyEvent(EC_COMPLETE, S_OK, 0);
  return S_OK;
}

void BaseRenderer::EndOfStreamReached() {
  endOfStream_ = true;
  OnEndOfStream();
  if (State() == State_Running && !completeSent_.exchange(true)) NotifyEvent(EC_COMPLETE, S_OK, 0);
}

BaseRenderer::InputPin::InputPin(BaseRenderer* filter, const WCHAR* name)
    : BaseInputPin(filter, name), owner_(filter) {}

HRESULT BaseRenderer::InputPin::CheckMediaType(const AM_MEDIA_TYPE* type) {
  return owner_->CheckMediaType(type);
}

HRESULT BaseRenderer::InputPin::SetMediaType(const AM_MEDIA_TYPE* type) {
  HRESULT hr = owner_->SetMediaType(type);
  if (FAILED(hr)) return hr;
  return BasePin::SetMediaType(type);
}

HRESULT BaseRenderer::InputPin::Receive(IMediaSample* sample) {
  if (!sample) return E_POINTER;
  HRESULT hr = CheckStreaming();
  if (hr != S_OK) return hr;
  std::lock_guard lock(owner_->renderLock_);
  return owner_->DoRenderSample(sample);
}

HRESULT BaseRenderer::InputPin::EndOfStream() {
  if (Flushing()) return S_OK;
  if (owner_->State() == State_Stopped) return VFW_E_WRONG_STATE;
  BaseInputPin::EndOfStream();
  owner_->EndOfStreamReached();
  return S_OK;
}

HRESULT BaseRenderer::InputPin::BeginFlush() {
  BaseInputPin::BeginFlush();
  owner_->OnFlush();
  return S_OK;
}

HRESULT BaseRenderer::InputPin::EndFlush() {
  BaseInputPin::EndFlush();
  owner_->endOfStream_ = false;
  owner_->completeSent_ = false;
  return S_OK;
}

}  // namespace orlik::strmbase
