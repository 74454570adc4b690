// The capture graph builder (CLSID_CaptureGraphBuilder and
// CLSID_CaptureGraphBuilder2, interface ICaptureGraphBuilder2): finds the
// pins of a capture filter by their published category and builds the
// stream behind them with the filter graph manager it is bound to. It holds
// no state but that graph.
//
// Implemented: SetFiltergraph, GetFiltergraph, FindInterface, FindPin and
// RenderStream; the file operations (SetOutputFileName, AllocCapFile,
// CopyCaptureFile) and ControlStream return E_NOTIMPL.
#include <orlik/dshow.h>

#include "com/registry.h"
#include "strmbase.h"

#include <deque>
#include <set>
#include <vector>

namespace orlik::capture {
namespace {

using strmbase::ComPtr;

std::vector<ComPtr<IPin>> PinsOf(IBaseFilter* filter) {
  std::vector<ComPtr<IPin>> pins;
  ComPtr<IEnumPins> e;
  if (FAILED(filter->EnumPins(e.put())) || !e) return pins;
  IPin* pin = nullptr;
  while (e->Next(1, &pin, nullptr) == S_OK && pin) {
    pins.emplace_back(pin);
    pin->Release();
  }
  return pins;
}

bool PinDirectionIs(IPin* pin, PIN_DIRECTION wanted) {
  PIN_DIRECTION direction;
  return SUCCEEDED(pin->QueryDirection(&direction)) && direction == wanted;
}

// The category a pin publishes through IKsPropertySet, or false.
bool PinCategory(IPin* pin, GUID* category) {
  ComPtr<IKsPropertySet> props;
  if (FAILED(pin->QueryInterface(IID_IKsPropertySet, props.put_void())) || !props) return false;
  DWORD returned = 0;
  return props->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, category, sizeof *category,
                    &returned) == S_OK &&
         returned == sizeof *category;
}

// True when the pin carries the major type: its connection's type when it
// is connected, else any type it offers.
bool PinCarries(IPin* pin, const GUID& major) {
  strmbase::MediaType connection;
  if (pin->ConnectionMediaType(connection.get()) == S_OK) return connection.get()->majortype == major;
  ComPtr<IEnumMediaTypes> types;
  if (FAILED(pin->EnumMediaTypes(types.put())) || !types) return false;
  AM_MEDIA_TYPE* type = nullptr;
  bool found = false;
  while (!found && types->Next(1, &type, nullptr) == S_OK && type) {
    found = type->majortype == major;
    DeleteMediaType(type);
  }
  return found;
}

bool PinConnected(IPin* pin) {
  ComPtr<IPin> peer;
  return SUCCEEDED(pin->ConnectedTo(peer.put())) && peer;
}

// The filter a pin belongs to (a new reference).
ComPtr<IBaseFilter> FilterOf(IPin* pin) {
  PIN_INFO info{};
  ComPtr<IBaseFilter> filter;
  if (SUCCEEDED(pin->QueryPinInfo(&info)) && info.pFilter) {
    filter = info.pFilter;
    info.pFilter->Release();
  }
  return filter;
}

// The filters connected to filter's pins of the direction, breadth first,
// without filter itself.
std::vector<ComPtr<IBaseFilter>> Neighbours(IBaseFilter* filter, PIN_DIRECTION through) {
  std::vector<ComPtr<IBaseFilter>> found;
  std::set<IBaseFilter*> seen{filter};
  std::deque<ComPtr<IBaseFilter>> queue{ComPtr<IBaseFilter>(filter)};
  while (!queue.empty()) {
    ComPtr<IBaseFilter> current = queue.front();
    queue.pop_front();
    for (auto& pin : PinsOf(current.get())) {
      if (!PinDirectionIs(pin.get(), through)) continue;
      ComPtr<IPin> peer;
      if (FAILED(pin->ConnectedTo(peer.put())) || !peer) continue;
      ComPtr<IBaseFilter> next = FilterOf(peer.get());
      if (!next || !seen.insert(next.get()).second) continue;
      found.push_back(next);
      queue.push_back(next);
    }
  }
  return found;
}

// The interface on the filter, or on one of its pins.
HRESULT QueryFilterOrPins(IBaseFilter* filter, REFIID iid, void** object) {
  if (SUCCEEDED(filter->QueryInterface(iid, object)) && *object) return S_OK;
  for (auto& pin : PinsOf(filter))
    if (SUCCEEDED(pin->QueryInterface(iid, object)) && *object) return S_OK;
  *object = nullptr;
  return E_NOINTERFACE;
}

HRESULT QueryAny(const std::vector<ComPtr<IBaseFilter>>& filters, REFIID iid, void** object) {
  for (auto& f : filters)
    if (QueryFilterOrPins(f.get(), iid, object) == S_OK) return S_OK;
  *object = nullptr;
  return E_NOINTERFACE;
}

class CaptureGraphBuilder final : public com::UnknownImpl<ICaptureGraphBuilder2, IID_ICaptureGraphBuilder2> {
 public:
  HRESULT WINAPI SetFiltergraph(IGraphBuilder* graph) override {
    if (!graph) return E_POINTER;
    if (graph_) return E_UNEXPECTED;
    graph_ = graph;
    return S_OK;
  }

  HRESULT WINAPI GetFiltergraph(IGraphBuilder** graph) override {
    if (!graph) return E_POINTER;
    *graph = graph_.get();
    if (!graph_) return E_UNEXPECTED;
    graph_->AddRef();
    return S_OK;
  }

  HRESULT WINAPI SetOutputFileName(const GUID*, LPCOLESTR, IBaseFilter** mux, IFileSinkFilter** sink) override {
    if (mux) *mux = nullptr;
    if (sink) *sink = nullptr;
    return E_NOTIMPL;
  }

  // With a pin category: the interface on the filter's output pin of that
  // category (and major type), else on the filter, else downstream of the
  // pin. With LOOK_UPSTREAM_ONLY / LOOK_DOWNSTREAM_ONLY: on the filters that
  // way. With none: the filter, then downstream, then upstream.
  HRESULT WINAPI FindInterface(const GUID* category, const GUID* type, IBaseFilter* filter, REFIID iid,
                               void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!filter) return E_POINTER;
    if (category && *category == LOOK_UPSTREAM_ONLY)
      return QueryAny(Neighbours(filter, PINDIR_INPUT), iid, object);
    if (category && *category == LOOK_DOWNSTREAM_ONLY)
      return QueryAny(Neighbours(filter, PINDIR_OUTPUT), iid, object);
    if (!category || *category == GUID_NULL) {
      if (QueryFilterOrPins(filter, iid, object) == S_OK) return S_OK;
      if (QueryAny(Neighbours(filter, PINDIR_OUTPUT), iid, object) == S_OK) return S_OK;
      return QueryAny(Neighbours(filter, PINDIR_INPUT), iid, object);
    }
    ComPtr<IPin> pin;
    if (FindPin(filter, PINDIR_OUTPUT, category, type, FALSE, 0, pin.put()) != S_OK) return E_FAIL;
    if (SUCCEEDED(pin->QueryInterface(iid, object)) && *object) return S_OK;
    if (SUCCEEDED(filter->QueryInterface(iid, object)) && *object) return S_OK;
    ComPtr<IPin> peer;
    if (SUCCEEDED(pin->ConnectedTo(peer.put())) && peer) {
      ComPtr<IBaseFilter> next = FilterOf(peer.get());
      if (next) {
        if (QueryFilterOrPins(next.get(), iid, object) == S_OK) return S_OK;
        if (QueryAny(Neighbours(next.get(), PINDIR_OUTPUT), iid, object) == S_OK) return S_OK;
      }
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }

  HRESULT WINAPI RenderStream(const GUID* category, const GUID* type, IUnknown* source, IBaseFilter* intermediate,
                              IBaseFilter* sink) override {
    if (!source) return E_POINTER;
    if (!graph_) return E_UNEXPECTED;
    ComPtr<IPin> out;
    if (FindPin(source, PINDIR_OUTPUT, category, type, TRUE, 0, out.put()) != S_OK) return E_FAIL;
    if (!intermediate && !sink) return graph_->Render(out.get());
    if (intermediate) {
      ComPtr<IPin> in;
      if (FindPin(intermediate, PINDIR_INPUT, nullptr, nullptr, TRUE, 0, in.put()) != S_OK) return E_FAIL;
      HRESULT hr = graph_->Connect(out.get(), in.get());
      if (FAILED(hr)) return hr;
      if (FindPin(intermediate, PINDIR_OUTPUT, nullptr, nullptr, TRUE, 0, out.put()) != S_OK) return E_FAIL;
      if (!sink) return graph_->Render(out.get());
    }
    ComPtr<IPin> in;
    if (FindPin(sink, PINDIR_INPUT, nullptr, nullptr, TRUE, 0, in.put()) != S_OK) return E_FAIL;
    return graph_->Connect(out.get(), in.get());
  }

  HRESULT WINAPI ControlStream(const GUID*, const GUID*, IBaseFilter*, REFERENCE_TIME*, REFERENCE_TIME*, WORD,
                               WORD) override {
    return E_NOTIMPL;
  }
  HRESULT WINAPI AllocCapFile(LPCOLESTR, DWORDLONG) override { return E_NOTIMPL; }
  HRESULT WINAPI CopyCaptureFile(LPOLESTR, LPOLESTR, int, IAMCopyCaptureFileProgress*) override { return E_NOTIMPL; }

  // The index-th pin of source (a filter, or a pin standing for itself)
  // with the direction, category, major type and, when asked, unconnected.
  HRESULT WINAPI FindPin(IUnknown* source, PIN_DIRECTION direction, const GUID* category, const GUID* type,
                         BOOL unconnected, int index, IPin** pin) override {
    if (!pin) return E_POINTER;
    *pin = nullptr;
    if (!source) return E_POINTER;
    std::vector<ComPtr<IPin>> candidates;
    ComPtr<IPin> single;
    ComPtr<IBaseFilter> filter;
    if (SUCCEEDED(source->QueryInterface(IID_IPin, single.put_void())) && single) candidates.push_back(single);
    else if (SUCCEEDED(source->QueryInterface(IID_IBaseFilter, filter.put_void())) && filter)
      candidates = PinsOf(filter.get());
    else
      return E_INVALIDARG;
    for (auto& p : candidates) {
      if (!PinDirectionIs(p.get(), direction)) continue;
      if (category && *category != GUID_NULL) {
        GUID published;
        if (!PinCategory(p.get(), &published) || published != *category) continue;
      }
      if (type && *type != GUID_NULL && !PinCarries(p.get(), *type)) continue;
      if (unconnected && PinConnected(p.get())) continue;
      if (index-- > 0) continue;
      *pin = p.detach();
      return S_OK;
    }
    return E_FAIL;
  }

 private:
  ~CaptureGraphBuilder() override = default;
  ComPtr<IGraphBuilder> graph_;
};

const com::ClassRegistrar kCaptureGraphBuilder(CLSID_CaptureGraphBuilder, &com::Construct<CaptureGraphBuilder>);
const com::ClassRegistrar kCaptureGraphBuilder2(CLSID_CaptureGraphBuilder2, &com::Construct<CaptureGraphBuilder>);

}  // namespace
}  // namespace orlik::capture
