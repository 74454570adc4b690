// BaseFilter: identity, state changes with their pin activation, graph
// membership and events.
#include "enumerators.h"
#include "strmbase.h"

#include <orlik/text.h>

#include <cstring>

namespace orlik::strmbase {

BaseFilter::BaseFilter(const CLSID& clsid) : clsid_(clsid) {}

BaseFilter::~BaseFilter() {
  if (clock_) clock_->Release();
}

HRESULT BaseFilter::QueryInterface(REFIID iid, void** object) {
  HRESULT hr = QueryOwn(static_cast<IBaseFilter*>(this), iid, object, IID_IPersist, IID_IMediaFilter, IID_IBaseFilter);
  return hr == E_NOINTERFACE ? QueryFilterInterface(iid, object) : hr;
}

HRESULT BaseFilter::QueryFilterInterface(REFIID, void** object) {
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG BaseFilter::AddRef() { return ++refs_; }

ULONG BaseFilter::Release() {
  return DropReference(refs_, [this] { delete this; });
}

HRESULT BaseFilter::GetClassID(CLSID* clsid) {
  if (!clsid) return E_POINTER;
  *clsid = clsid_;
  return S_OK;
}

FILTER_STATE BaseFilter::State() { return state_.load(); }

REFERENCE_TIME BaseFilter::StartTime() {
  std::lock_guard lock(filterLock_);
  return start_;
}

HRESULT BaseFilter::Stop() {
  std::lock_guard lock(filterLock_);
  HRESULT result = S_OK;
  if (state_ != State_Stopped) {
    result = OnStop();
    for (int i = 0; i < PinCount(); ++i) {
      HRESULT hr = PinAt(i)->Inactive();
      if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
  }
  state_ = State_Stopped;
  return result;
}

HRESULT BaseFilter::Pause() {
  std::lock_guard lock(filterLock_);
  if (state_ == State_Stopped) {
    for (int i = 0; i < PinCount(); ++i) {
      HRESULT hr = PinAt(i)->Active();
      if (FAILED(hr)) {
        for (int j = 0; j < i; ++j) PinAt(j)->Inactive();
        return hr;
      }
    }
  }
  HRESULT hr = OnPause();
  if (FAILED(hr)) return hr;
  state_ = State_Paused;
  return hr;
}

HRESULT BaseFilter::Run(REFERENCE_TIME start) {
  std::lock_guard lock(filterLock_);
  if (state_ == State_Stopped) {
    HRESULT hr = Pause();
    if (FAILED(hr)) return hr;
  }
  start_ = start;
  HRESULT hr = OnRun(start);
  if (FAILED(hr)) return hr;
  state_ = State_Running;
  return hr;
}

HRESULT BaseFilter::GetState(DWORD, FILTER_STATE* state) {
  if (!state) return E_POINTER;
  *state = state_.load();
  return S_OK;
}

HRESULT BaseFilter::SetSyncSource(IReferenceClock* clock) {
  std::lock_guard lock(filterLock_);
  if (clock) clock->AddRef();
  if (clock_) clock_->Release();
  clock_ = clock;
  return S_OK;
}

HRESULT BaseFilter::GetSyncSource(IReferenceClock** clock) {
  if (!clock) return E_POINTER;
  std::lock_guard lock(filterLock_);
  *clock = clock_;
  if (clock_) clock_->AddRef();
  return S_OK;
}

HRESULT BaseFilter::EnumPins(IEnumPins** pins) {
  if (!pins) return E_POINTER;
  *pins = NewPinEnumerator(this);
  return S_OK;
}

HRESULT BaseFilter::FindPin(LPCWSTR id, IPin** pin) {
  if (!id || !pin) return E_POINTER;
  std::lock_guard lock(filterLock_);
  for (int i = 0; i < PinCount(); ++i) {
    BasePin* p = PinAt(i);
    if (p->Name() == View(id)) {
      p->AddRef();
      *pin = p;
      return S_OK;
    }
  }
  *pin = nullptr;
  return VFW_E_NOT_FOUND;
}

HRESULT BaseFilter::QueryFilterInfo(FILTER_INFO* info) {
  if (!info) return E_POINTER;
  std::lock_guard lock(filterLock_);
  orlik_wcscpy_bounded(info->achName, MAX_FILTER_NAME, name_.c_str());
  info->pGraph = graph_;
  if (graph_) graph_->AddRef();
  return S_OK;
}

HRESULT BaseFilter::JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) {
  std::lock_guard lock(filterLock_);
  graph_ = graph;
  name_ = graph ? std::u16string(View(name)).substr(0, MAX_FILTER_NAME - 1) : std::u16string();
  eventSink_ = nullptr;
  if (graph) {
    // Held without a reference, as the graph holds the filter: a counted
    // reference would keep both alive for ever.
    IMediaEventSink* sink = nullptr;
    if (SUCCEEDED(graph->QueryInterface(IID_IMediaEventSink, reinterpret_cast<void**>(&sink))) && sink) {
      eventSink_ = sink;
      sink->Release();
    }
  }
  return S_OK;
}

HRESULT BaseFilter::QueryVendorInfo(LPWSTR* vendorInfo) {
  if (vendorInfo) *vendorInfo = nullptr;
  return E_NOTIMPL;
}

HRESULT BaseFilter::NotifyEvent(LONG code, LONG_PTR param1, LONG_PTR param2) {
  // No filter lock here: streaming threads send events while a state change
  // holds the lock and waits for them.
  IMediaEventSink* sink = eventSink_.load();
  // EC_COMPLETE names the renderer that finished when it gives no filter.
  if (code == EC_COMPLETE && param2 == 0) param2 = reinterpret_cast<LONG_PTR>(static_cast<IBaseFilter*>(this));
  return sink ? sink->Notify(code, param1, param2) : E_NOTIMPL;
}

}  // namespace orlik::strmbase
