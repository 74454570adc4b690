// The filter graph manager (CLSID_FilterGraph). It holds the filters and
// their connections, changes their state downstream first, collects the
// events filters send and reports the end of playback once every renderer
// has finished. IMediaSeeking, IBasicAudio and IVideoWindow calls go to the
// filters in the graph that implement those interfaces; the graph decodes
// and renders nothing itself.
#include <orlik/dshow.h>
#include <orlik/kernel.h>
#include <orlik/sync.h>
#include <orlik/text.h>
#include <orlik/threads.h>
#include <orlik/winuser.h>

#include "com/dispatch.h"
#include "com/registry.h"
#include "dshow/file_source.h"
#include "strmbase.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

namespace orlik::dshow {
namespace {

using strmbase::ComPtr;
using Clock = std::chrono::steady_clock;

struct Event {
  LONG code;
  LONG_PTR param1, param2;
};

class FilterGraph;

// Each interface of the graph is a small object that counts its references
// on the graph, as the pins of a filter do on their filter.
template <class Interface>
class TearOff : public Interface {
 public:
  explicit TearOff(FilterGraph* graph) : graph_(graph) {}
  TearOff(const TearOff&) = delete;
  TearOff& operator=(const TearOff&) = delete;
  HRESULT WINAPI QueryInterface(REFIID iid, void** object) override;
  ULONG WINAPI AddRef() override;
  ULONG WINAPI Release() override;

 protected:
  // Part of the graph object: never deleted on its own.
  virtual ~TearOff() = default;
  FilterGraph* graph_;
};

// A tear-off of an automation interface, its IDispatch part answered.
template <class Interface>
class DispatchTearOff : public TearOff<com::NoTypeInfo<Interface>> {
 public:
  using TearOff<com::NoTypeInfo<Interface>>::TearOff;

 protected:
  ~DispatchTearOff() override = default;
};

class GraphBuilder final : public TearOff<IGraphBuilder> {
 public:
  using TearOff::TearOff;
  HRESULT WINAPI AddFilter(IBaseFilter* filter, LPCWSTR name) override;
  HRESULT WINAPI RemoveFilter(IBaseFilter* filter) override;
  HRESULT WINAPI EnumFilters(IEnumFilters** filters) override;
  HRESULT WINAPI FindFilterByName(LPCWSTR name, IBaseFilter** filter) override;
  HRESULT WINAPI ConnectDirect(IPin* output, IPin* input, const AM_MEDIA_TYPE* type) override;
  HRESULT WINAPI Reconnect(IPin* pin) override;
  HRESULT WINAPI Disconnect(IPin* pin) override;
  HRESULT WINAPI SetDefaultSyncSource() override;
  HRESULT WINAPI Connect(IPin* output, IPin* input) override;
  HRESULT WINAPI Render(IPin* output) override;
  HRESULT WINAPI RenderFile(LPCWSTR file, LPCWSTR playList) override;
  HRESULT WINAPI AddSourceFilter(LPCWSTR file, LPCWSTR filterName, IBaseFilter** filter) override;
  HRESULT WINAPI SetLogFile(DWORD_PTR) override { return S_OK; }
  HRESULT WINAPI Abort() override { return S_OK; }
  HRESULT WINAPI ShouldOperationContinue() override { return S_OK; }
};

class MediaControl final : public DispatchTearOff<IMediaControl> {
 public:
  using DispatchTearOff::DispatchTearOff;
  HRESULT WINAPI Run() override;
  HRESULT WINAPI Pause() override;
  HRESULT WINAPI Stop() override;
  HRESULT WINAPI GetState(LONG milliseconds, OAFilterState* state) override;
  HRESULT WINAPI RenderFile(BSTR fileName) override;
  HRESULT WINAPI AddSourceFilter(BSTR fileName, IDispatch** filter) override;
  HRESULT WINAPI get_FilterCollection(IDispatch** collection) override;
  HRESULT WINAPI get_RegFilterCollection(IDispatch** collection) override;
  HRESULT WINAPI StopWhenReady() override;
};

class MediaEvent final : public DispatchTearOff<IMediaEventEx> {
 public:
  using DispatchTearOff::DispatchTearOff;
  HRESULT WINAPI GetEventHandle(OAEVENT* event) override;
  HRESULT WINAPI GetEvent(LONG* code, LONG_PTR* param1, LONG_PTR* param2, LONG milliseconds) override;
  HRESULT WINAPI WaitForCompletion(LONG milliseconds, LONG* code) override;
  HRESULT WINAPI CancelDefaultHandling(LONG code) override;
  HRESULT WINAPI RestoreDefaultHandling(LONG code) override;
  HRESULT WINAPI FreeEventParams(LONG code, LONG_PTR param1, LONG_PTR param2) override;
  HRESULT WINAPI SetNotifyWindow(OAHWND window, LONG message, LONG_PTR instanceData) override;
  HRESULT WINAPI SetNotifyFlags(LONG noNotifyFlags) override;
  HRESULT WINAPI GetNotifyFlags(LONG* noNotifyFlags) override;
};

class EventSink final : public TearOff<IMediaEventSink> {
 public:
  using TearOff::TearOff;
  HRESULT WINAPI Notify(LONG code, LONG_PTR param1, LONG_PTR param2) override;
};

class MediaSeeking final : public TearOff<IMediaSeeking> {
 public:
  using TearOff::TearOff;
  HRESULT WINAPI GetCapabilities(DWORD* capabilities) override;
  HRESULT WINAPI CheckCapabilities(DWORD* capabilities) override;
  HRESULT WINAPI IsFormatSupported(const GUID* format) override;
  HRESULT WINAPI QueryPreferredFormat(GUID* format) override;
  HRESULT WINAPI GetTimeFormat(GUID* format) override;
  HRESULT WINAPI IsUsingTimeFormat(const GUID* format) override;
  HRESULT WINAPI SetTimeFormat(const GUID* format) override;
  HRESULT WINAPI GetDuration(LONGLONG* duration) override;
  HRESULT WINAPI GetStopPosition(LONGLONG* stop) override;
  HRESULT WINAPI GetCurrentPosition(LONGLONG* current) override;
  HRESULT WINAPI ConvertTimeFormat(LONGLONG* target, const GUID* targetFormat, LONGLONG source,
                                   const GUID* sourceFormat) override;
  HRESULT WINAPI SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop,
                              DWORD stopFlags) override;
  HRESULT WINAPI GetPositions(LONGLONG* current, LONGLONG* stop) override;
  HRESULT WINAPI GetAvailable(LONGLONG* earliest, LONGLONG* latest) override;
  HRESULT WINAPI SetRate(double rate) override;
  HRESULT WINAPI GetRate(double* rate) override;
  HRESULT WINAPI GetPreroll(LONGLONG* preroll) override;
};

class BasicAudio final : public DispatchTearOff<IBasicAudio> {
 public:
  using DispatchTearOff::DispatchTearOff;
  HRESULT WINAPI put_Volume(LONG volume) override;
  HRESULT WINAPI get_Volume(LONG* volume) override;
  HRESULT WINAPI put_Balance(LONG balance) override;
  HRESULT WINAPI get_Balance(LONG* balance) override;
};

class VideoWindow final : public DispatchTearOff<IVideoWindow> {
 public:
  using DispatchTearOff::DispatchTearOff;
  HRESULT WINAPI put_Caption(BSTR v) override;
  HRESULT WINAPI get_Caption(BSTR* v) override;
  HRESULT WINAPI put_WindowStyle(LONG v) override;
  HRESULT WINAPI get_WindowStyle(LONG* v) override;
  HRESULT WINAPI put_WindowStyleEx(LONG v) override;
  HRESULT WINAPI get_WindowStyleEx(LONG* v) override;
  HRESULT WINAPI put_AutoShow(LONG v) override;
  HRESULT WINAPI get_AutoShow(LONG* v) override;
  HRESULT WINAPI put_WindowState(LONG v) override;
  HRESULT WINAPI get_WindowState(LONG* v) override;
  HRESULT WINAPI put_BackgroundPalette(LONG v) override;
  HRESULT WINAPI get_BackgroundPalette(LONG* v) override;
  HRESULT WINAPI put_Visible(LONG v) override;
  HRESULT WINAPI get_Visible(LONG* v) override;
  HRESULT WINAPI put_Left(LONG v) override;
  HRESULT WINAPI get_Left(LONG* v) override;
  HRESULT WINAPI put_Width(LONG v) override;
  HRESULT WINAPI get_Width(LONG* v) override;
  HRESULT WINAPI put_Top(LONG v) override;
  HRESULT WINAPI get_Top(LONG* v) override;
  HRESULT WINAPI put_Height(LONG v) override;
  HRESULT WINAPI get_Height(LONG* v) override;
  HRESULT WINAPI put_Owner(OAHWND v) override;
  HRESULT WINAPI get_Owner(OAHWND* v) override;
  HRESULT WINAPI put_MessageDrain(OAHWND v) override;
  HRESULT WINAPI get_MessageDrain(OAHWND* v) override;
  HRESULT WINAPI get_BorderColor(LONG* v) override;
  HRESULT WINAPI put_BorderColor(LONG v) override;
  HRESULT WINAPI get_FullScreenMode(LONG* v) override;
  HRESULT WINAPI put_FullScreenMode(LONG v) override;
  HRESULT WINAPI SetWindowForeground(LONG focus) override;
  HRESULT WINAPI NotifyOwnerMessage(OAHWND window, LONG message, LONG_PTR wParam, LONG_PTR lParam) override;
  HRESULT WINAPI SetWindowPosition(LONG left, LONG top, LONG width, LONG height) override;
  HRESULT WINAPI GetWindowPosition(LONG* left, LONG* top, LONG* width, LONG* height) override;
  HRESULT WINAPI GetMinIdealImageSize(LONG* width, LONG* height) override;
  HRESULT WINAPI GetMaxIdealImageSize(LONG* width, LONG* height) override;
  HRESULT WINAPI GetRestorePosition(LONG* left, LONG* top, LONG* width, LONG* height) override;
  HRESULT WINAPI HideCursor(LONG hide) override;
  HRESULT WINAPI IsCursorHidden(LONG* hidden) override;
};

// Enumerates a snapshot of the graph's filters; a change of the graph after
// the snapshot reports VFW_E_ENUM_OUT_OF_SYNC until Reset.
class FilterEnumerator final : public com::UnknownImpl<IEnumFilters, IID_IEnumFilters> {
 public:
  FilterEnumerator(FilterGraph* graph, size_t position);
  HRESULT WINAPI Next(ULONG count, IBaseFilter** filters, ULONG* fetched) override;
  HRESULT WINAPI Skip(ULONG count) override;
  HRESULT WINAPI Reset() override;
  HRESULT WINAPI Clone(IEnumFilters** copy) override;

 private:
  ~FilterEnumerator() override;
  void Snapshot();
  FilterGraph* graph_;
  std::vector<IBaseFilter*> filters_;
  size_t position_;
  int version_ = 0;
};

class FilterGraph {
 public:
  FilterGraph()
      : builder_(this), control_(this), events_(this), sink_(this), seeking_(this), audio_(this), video_(this) {}

  HRESULT QueryInterface(REFIID iid, void** object) {
    if (!object) return E_POINTER;
    IUnknown* result = nullptr;
    if (iid == IID_IUnknown || iid == IID_IFilterGraph || iid == IID_IGraphBuilder) result = &builder_;
    else if (iid == IID_IMediaControl) result = &control_;
    else if (iid == IID_IMediaEvent || iid == IID_IMediaEventEx) result = &events_;
    else if (iid == IID_IMediaEventSink) result = &sink_;
    else if (iid == IID_IMediaSeeking) result = &seeking_;
    else if (iid == IID_IBasicAudio) result = &audio_;
    else if (iid == IID_IVideoWindow) result = &video_;
    if (!result) {
      *object = nullptr;
      return E_NOINTERFACE;
    }
    AddRef();
    *object = result;
    return S_OK;
  }
  ULONG AddRef() { return ++refs_; }
  ULONG Release() {
    return strmbase::DropReference(refs_, [this] { delete this; });
  }

  // --- filters -----------------------------------------------------------------------------
  HRESULT AddFilter(IBaseFilter* filter, LPCWSTR name) {
    if (!filter) return E_POINTER;
    std::lock_guard lock(lock_);
    for (auto& e : filters_)
      if (e.filter == filter) return VFW_E_DUPLICATE_NAME;
    std::u16string wanted(View(name));
    if (wanted.size() >= MAX_FILTER_NAME) wanted.resize(MAX_FILTER_NAME - 1);
    HRESULT result = S_OK;
    std::u16string unique = wanted;
    if (unique.empty() || FindByName(unique)) {
      // A taken or missing name gets a number: "Grabber 0001", "0002" ...
      for (int n = 1;; ++n) {
        char suffix[16];
        std::snprintf(suffix, sizeof suffix, wanted.empty() ? "%04d" : " %04d", n);
        std::u16string candidate = wanted.substr(0, MAX_FILTER_NAME - 1 - std::char_traits<char>::length(suffix));
        for (const char* c = suffix; *c; ++c) candidate += char16_t(*c);
        if (!FindByName(candidate)) {
          unique = candidate;
          break;
        }
      }
      if (!wanted.empty()) result = VFW_S_DUPLICATE_NAME;
    }
    HRESULT hr = filter->JoinFilterGraph(static_cast<IFilterGraph*>(&builder_), unique.c_str());
    if (FAILED(hr)) return hr;
    filter->AddRef();
    // Newest first, as the graph enumerates them.
    filters_.insert(filters_.begin(), Entry{filter, unique});
    ++version_;
    if (clock_) filter->SetSyncSource(clock_);
    return result;
  }

  HRESULT RemoveFilter(IBaseFilter* filter) {
    std::lock_guard lock(lock_);
    auto it = std::find_if(filters_.begin(), filters_.end(), [&](const Entry& e) { return e.filter == filter; });
    if (it == filters_.end()) return E_FAIL;
    FILTER_STATE state = State_Stopped;
    filter->GetState(0, &state);
    if (state != State_Stopped) filter->Stop();
    ForEachPin(filter, [&](IPin* pin) {
      ComPtr<IPin> peer;
      if (SUCCEEDED(pin->ConnectedTo(peer.put())) && peer) {
        peer->Disconnect();
        pin->Disconnect();
      }
    });
    filter->JoinFilterGraph(nullptr, nullptr);
    filter->SetSyncSource(nullptr);
    filters_.erase(it);
    ++version_;
    filter->Release();
    int renderers = CountRenderers();
    std::lock_guard elock(eventLock_);
    completed_.erase(filter);
    renderers_ = renderers;
    return S_OK;
  }

  HRESULT FindFilterByName(LPCWSTR name, IBaseFilter** filter) {
    if (!name || !filter) return E_POINTER;
    std::lock_guard lock(lock_);
    *filter = FindByName(std::u16string(View(name)));
    if (!*filter) return VFW_E_NOT_FOUND;
    (*filter)->AddRef();
    return S_OK;
  }

  // The filters in enumeration order, each with a new reference.
  std::vector<IBaseFilter*> Snapshot(int* version) {
    std::lock_guard lock(lock_);
    std::vector<IBaseFilter*> out;
    for (auto& e : filters_) {
      e.filter->AddRef();
      out.push_back(e.filter);
    }
    if (version) *version = version_;
    return out;
  }
  int Version() {
    std::lock_guard lock(lock_);
    return version_;
  }

  HRESULT ConnectDirect(IPin* output, IPin* input, const AM_MEDIA_TYPE* type) {
    if (!output || !input) return E_POINTER;
    std::lock_guard lock(lock_);
    if (!InGraph(output) || !InGraph(input)) return VFW_E_NOT_IN_GRAPH;
    if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
    PIN_DIRECTION dir;
    if (FAILED(output->QueryDirection(&dir)) || dir != PINDIR_OUTPUT) return VFW_E_INVALID_DIRECTION;
    if (FAILED(input->QueryDirection(&dir)) || dir != PINDIR_INPUT) return VFW_E_INVALID_DIRECTION;
    return output->Connect(input, type);
  }

  HRESULT Disconnect(IPin* pin) {
    if (!pin) return E_POINTER;
    std::lock_guard lock(lock_);
    if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
    return pin->Disconnect();
  }

  HRESULT Reconnect(IPin* pin) {
    if (!pin) return E_POINTER;
    std::lock_guard lock(lock_);
    if (state_ != State_Stopped) return VFW_E_NOT_STOPPED;
    ComPtr<IPin> peer;
    if (FAILED(pin->ConnectedTo(peer.put())) || !peer) return VFW_E_NOT_CONNECTED;
    PIN_DIRECTION dir;
    pin->QueryDirection(&dir);
    IPin* out = dir == PINDIR_OUTPUT ? pin : peer.get();
    IPin* in = dir == PINDIR_OUTPUT ? peer.get() : pin;
    strmbase::MediaType type;
    out->ConnectionMediaType(type.get());
    out->Disconnect();
    in->Disconnect();
    return out->Connect(in, type.get());
  }

  // Connects directly; the platform has no intermediate filters to insert.
  HRESULT Connect(IPin* output, IPin* input) {
    HRESULT hr = ConnectDirect(output, input, nullptr);
    if (SUCCEEDED(hr) || hr == VFW_E_NOT_IN_GRAPH || hr == VFW_E_NOT_STOPPED ||
        hr == VFW_E_ALREADY_CONNECTED || hr == VFW_E_INVALID_DIRECTION || hr == E_POINTER)
      return hr;
    return VFW_E_CANNOT_CONNECT;
  }

  // Renders an output pin with a new default renderer for its major type:
  // the video renderer or the audio renderer.
  HRESULT Render(IPin* output) {
    if (!output) return E_POINTER;
    std::lock_guard lock(lock_);
    if (!InGraph(output)) return VFW_E_NOT_IN_GRAPH;
    PIN_DIRECTION dir;
    if (FAILED(output->QueryDirection(&dir)) || dir != PINDIR_OUTPUT) return VFW_E_INVALID_DIRECTION;
    ComPtr<IPin> peer;
    if (SUCCEEDED(output->ConnectedTo(peer.put())) && peer) return VFW_E_ALREADY_CONNECTED;
    ComPtr<IEnumMediaTypes> types;
    if (FAILED(output->EnumMediaTypes(types.put())) || !types) return VFW_E_CANNOT_RENDER;
    AM_MEDIA_TYPE* type = nullptr;
    ULONG fetched = 0;
    HRESULT result = VFW_E_CANNOT_RENDER;
    while (result != S_OK && types->Next(1, &type, &fetched) == S_OK && fetched == 1) {
      const CLSID* renderer = nullptr;
      const WCHAR* name = nullptr;
      if (type->majortype == MEDIATYPE_Video) {
        renderer = &CLSID_VideoRenderer;
        name = u"Video Renderer";
      } else if (type->majortype == MEDIATYPE_Audio) {
        renderer = &CLSID_DSoundRender;
        name = u"Default DirectSound Device";
      }
      DeleteMediaType(type);
      if (!renderer) continue;
      ComPtr<IBaseFilter> filter;
      if (FAILED(CoCreateInstance(*renderer, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                                  filter.put_void())))
        continue;
      if (FAILED(AddFilter(filter.get(), name))) continue;
      ComPtr<IPin> input;
      ComPtr<IEnumPins> pins;
      if (SUCCEEDED(filter->EnumPins(pins.put()))) {
        IPin* pin = nullptr;
        while (!input && pins->Next(1, &pin, nullptr) == S_OK) {
          PIN_DIRECTION d;
          if (SUCCEEDED(pin->QueryDirection(&d)) && d == PINDIR_INPUT) input = pin;
          pin->Release();
        }
      }
      if (input && SUCCEEDED(output->Connect(input.get(), nullptr))) {
        result = S_OK;
      } else {
        RemoveFilter(filter.get());
      }
    }
    return result;
  }

  HRESULT AddSourceFilter(LPCWSTR file, LPCWSTR filterName, IBaseFilter** filter) {
    if (!file || !filter) return E_POINTER;
    *filter = nullptr;
    ComPtr<IBaseFilter> source;
    HRESULT hr = CreateFileSource(file, source.put());
    if (FAILED(hr)) return hr;
    hr = AddFilter(source.get(), filterName ? filterName : file);
    if (FAILED(hr)) return hr;
    *filter = source.detach();
    return S_OK;
  }

  HRESULT RenderFile(LPCWSTR file) {
    if (!file) return E_POINTER;
    std::lock_guard lock(lock_);
    ComPtr<IBaseFilter> source;
    HRESULT hr = AddSourceFilter(file, nullptr, source.put());
    if (FAILED(hr)) return hr;
    int total = 0, rendered = 0;
    ForEachPin(source.get(), [&](IPin* pin) {
      PIN_DIRECTION dir;
      if (FAILED(pin->QueryDirection(&dir)) || dir != PINDIR_OUTPUT) return;
      ++total;
      if (SUCCEEDED(Render(pin))) ++rendered;
    });
    if (rendered == 0) {
      RemoveFilter(source.get());
      return VFW_E_CANNOT_RENDER;
    }
    return rendered == total ? S_OK : VFW_S_PARTIAL_RENDER;
  }

  HRESULT SetDefaultSyncSource() {
    std::lock_guard lock(lock_);
    ComPtr<IReferenceClock> clock;
    for (auto& e : filters_)
      if (SUCCEEDED(e.filter->QueryInterface(IID_IReferenceClock, clock.put_void())) && clock) break;
    if (!clock &&
        FAILED(CoCreateInstance(CLSID_SystemClock, nullptr, CLSCTX_INPROC_SERVER, IID_IReferenceClock,
                                clock.put_void())))
      return E_FAIL;
    return SetSyncSource(clock.get());
  }

  HRESULT SetSyncSource(IReferenceClock* clock) {
    if (clock) clock->AddRef();
    if (clock_) clock_->Release();
    clock_ = clock;
    for (auto& e : filters_) e.filter->SetSyncSource(clock);
    return S_OK;
  }

  // --- state ---------------------------------------------------------------------------------
  // Filters downstream come before the filters that feed them, so each
  // renderer is ready before its source starts.
  std::vector<IBaseFilter*> DownstreamFirst() {
    std::vector<IBaseFilter*> order;
    std::set<IBaseFilter*> visited;
    std::function<void(IBaseFilter*)> visit = [&](IBaseFilter* f) {
      if (!visited.insert(f).second) return;
      ForEachPin(f, [&](IPin* pin) {
        PIN_DIRECTION dir;
        ComPtr<IPin> peer;
        if (FAILED(pin->QueryDirection(&dir)) || dir != PINDIR_OUTPUT) return;
        if (FAILED(pin->ConnectedTo(peer.put())) || !peer) return;
        PIN_INFO info{};
        if (SUCCEEDED(peer->QueryPinInfo(&info)) && info.pFilter) {
          IBaseFilter* next = info.pFilter;
          info.pFilter->Release();  // the graph holds it
          if (InGraph(next)) visit(next);
        }
      });
      order.push_back(f);
    };
    for (auto& e : filters_) visit(e.filter);
    return order;
  }

  REFERENCE_TIME ClockNow() {
    REFERENCE_TIME now = 0;
    if (clock_) clock_->GetTime(&now);
    return now;
  }

  HRESULT Stop() {
    std::lock_guard lock(lock_);
    HRESULT result = S_OK;
    for (IBaseFilter* f : DownstreamFirst()) {
      HRESULT hr = f->Stop();
      if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
    state_ = State_Stopped;
    pausedAt_ = 0;
    ResetCompletion();
    return result;
  }

  HRESULT Pause() {
    std::lock_guard lock(lock_);
    if (state_ == State_Stopped) {
      if (!clock_) SetDefaultSyncSource();
      ResetCompletion();
      pausedAt_ = 0;
    } else if (state_ == State_Running) {
      pausedAt_ = ClockNow() - start_;
    }
    HRESULT result = S_OK;
    for (IBaseFilter* f : DownstreamFirst()) {
      HRESULT hr = f->Pause();
      if (FAILED(hr)) {
        result = hr;
        break;
      }
      if (hr != S_OK && result == S_OK) result = hr;
    }
    if (FAILED(result)) {
      for (IBaseFilter* f : DownstreamFirst()) f->Stop();
      state_ = State_Stopped;
      return result;
    }
    state_ = State_Paused;
    return result == S_OK ? S_OK : S_FALSE;
  }

  HRESULT Run() {
    std::lock_guard lock(lock_);
    if (state_ == State_Running) return S_OK;
    if (state_ == State_Stopped) {
      HRESULT hr = Pause();
      if (FAILED(hr)) return hr;
    }
    // Stream time goes on from where it paused; a little latency lets every
    // filter start before the first sample is due.
    start_ = ClockNow() + 10 * MILLISECONDS - pausedAt_;
    HRESULT result = S_OK;
    for (IBaseFilter* f : DownstreamFirst()) {
      HRESULT hr = f->Run(start_);
      if (FAILED(hr)) {
        result = hr;
        break;
      }
    }
    if (FAILED(result)) {
      for (IBaseFilter* f : DownstreamFirst()) f->Stop();
      state_ = State_Stopped;
      return result;
    }
    state_ = State_Running;
    return S_OK;
  }

  HRESULT GetState(LONG milliseconds, OAFilterState* state) {
    if (!state) return E_POINTER;
    auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds < 0 ? 0 : milliseconds);
    for (;;) {
      HRESULT result = S_OK;
      {
        std::lock_guard lock(lock_);
        *state = state_;
        for (auto& e : filters_) {
          FILTER_STATE fs;
          HRESULT hr = e.filter->GetState(0, &fs);
          if (FAILED(hr)) return hr;
          if (hr == VFW_S_STATE_INTERMEDIATE) result = hr;
          else if (hr == VFW_S_CANT_CUE && result == S_OK) result = hr;
        }
      }
      if (result != VFW_S_STATE_INTERMEDIATE || Clock::now() >= deadline) return result;
      Sleep(10);
    }
  }

  FILTER_STATE GraphState() {
    std::lock_guard lock(lock_);
    return state_;
  }

  // --- events ----------------------------------------------------------------------------------
  // Takes no graph lock: filters send events from streaming threads while a
  // state change holds the graph lock and waits for them.
  HRESULT Notify(LONG code, LONG_PTR param1, LONG_PTR param2) {
    std::unique_lock lock(eventLock_);
    if (code == EC_COMPLETE && !defaultHandlingOff_.count(EC_COMPLETE)) {
      // One EC_COMPLETE for the application once every renderer has sent its own.
      completed_.insert(reinterpret_cast<IBaseFilter*>(param2));
      if (completeSent_ || int(completed_.size()) < renderers_) return S_OK;
      completeSent_ = true;
      completion_ = EC_COMPLETE;
      completionChanged_.notify_all();
      Queue(Event{EC_COMPLETE, S_OK, 0});
      return S_OK;
    }
    if (code == EC_ERRORABORT || code == EC_USERABORT) {
      completion_ = code;
      completionChanged_.notify_all();
    }
    Queue(Event{code, param1, param2});
    return S_OK;
  }

  // Under eventLock_.
  void Queue(const Event& e) {
    if (noNotify_ & AM_MEDIAEVENT_NONOTIFY) return;
    queue_.push_back(e);
    eventArrived_.notify_all();
    if (eventHandle_) SetEvent(eventHandle_);
    if (notifyWindow_) PostMessageW(reinterpret_cast<HWND>(notifyWindow_), UINT(notifyMessage_), 0, notifyData_);
  }

  // Called with the graph lock held (the renderers are counted then, as
  // Notify may not take that lock).
  void ResetCompletion() {
    int renderers = CountRenderers();
    std::lock_guard lock(eventLock_);
    renderers_ = renderers;
    completed_.clear();
    completeSent_ = false;
    completion_ = 0;
  }

  // Renderers: filters that say so, or filters with connected input pins and
  // no output pins.
  int CountRenderers() {
    std::lock_guard lock(lock_);
    int n = 0;
    for (auto& e : filters_) {
      ComPtr<IAMFilterMiscFlags> flags;
      if (SUCCEEDED(e.filter->QueryInterface(IID_IAMFilterMiscFlags, flags.put_void())) && flags) {
        if (flags->GetMiscFlags() & AM_FILTER_MISC_FLAGS_IS_RENDERER) ++n;
        continue;
      }
      bool connectedInput = false, anyOutput = false;
      ForEachPin(e.filter, [&](IPin* pin) {
        PIN_DIRECTION dir;
        pin->QueryDirection(&dir);
        ComPtr<IPin> peer;
        if (dir == PINDIR_OUTPUT) anyOutput = true;
        else if (SUCCEEDED(pin->ConnectedTo(peer.put())) && peer) connectedInput = true;
      });
      if (connectedInput && !anyOutput) ++n;
    }
    return n;
  }

  HRESULT GetEvent(LONG* code, LONG_PTR* param1, LONG_PTR* param2, LONG milliseconds) {
    if (!code || !param1 || !param2) return E_POINTER;
    std::unique_lock lock(eventLock_);
    auto ready = [&] { return !queue_.empty(); };
    if (!ready()) {
      if (milliseconds == 0) return E_ABORT;
      if (milliseconds < 0 || DWORD(milliseconds) == INFINITE) eventArrived_.wait(lock, ready);
      else if (!eventArrived_.wait_for(lock, std::chrono::milliseconds(milliseconds), ready)) return E_ABORT;
    }
    Event e = queue_.front();
    queue_.pop_front();
    if (queue_.empty() && eventHandle_) ResetEvent(eventHandle_);
    *code = e.code;
    *param1 = e.param1;
    *param2 = e.param2;
    return S_OK;
  }

  HRESULT WaitForCompletion(LONG milliseconds, LONG* code) {
    if (!code) return E_POINTER;
    *code = 0;
    if (GraphState() != State_Running) return VFW_E_WRONG_STATE;
    std::unique_lock lock(eventLock_);
    auto done = [&] { return completion_ != 0; };
    if (milliseconds < 0 || DWORD(milliseconds) == INFINITE) completionChanged_.wait(lock, done);
    else if (!completionChanged_.wait_for(lock, std::chrono::milliseconds(milliseconds), done)) return E_ABORT;
    *code = completion_;
    return S_OK;
  }

  HRESULT GetEventHandle(OAEVENT* event) {
    if (!event) return E_POINTER;
    std::lock_guard lock(eventLock_);
    if (!eventHandle_) {
      eventHandle_ = CreateEventW(nullptr, TRUE, queue_.empty() ? FALSE : TRUE, nullptr);
      if (!eventHandle_) return E_OUTOFMEMORY;
    }
    *event = reinterpret_cast<OAEVENT>(eventHandle_);
    return S_OK;
  }

  HRESULT SetNotifyWindow(OAHWND window, LONG message, LONG_PTR data) {
    std::lock_guard lock(eventLock_);
    notifyWindow_ = window;
    notifyMessage_ = message;
    notifyData_ = data;
    return S_OK;
  }

  HRESULT SetNotifyFlags(LONG flags) {
    if (flags != 0 && flags != AM_MEDIAEVENT_NONOTIFY) return E_INVALIDARG;
    std::lock_guard lock(eventLock_);
    noNotify_ = flags;
    if (flags) {
      queue_.clear();
      if (eventHandle_) ResetEvent(eventHandle_);
    }
    return S_OK;
  }

  HRESULT GetNotifyFlags(LONG* flags) {
    if (!flags) return E_POINTER;
    std::lock_guard lock(eventLock_);
    *flags = noNotify_;
    return S_OK;
  }

  HRESULT SetDefaultHandling(LONG code, bool on) {
    if (code != EC_COMPLETE) return S_FALSE;
    std::lock_guard lock(eventLock_);
    if (on) defaultHandlingOff_.erase(code);
    else defaultHandlingOff_.insert(code);
    return S_OK;
  }

  // --- interfaces of the filters -------------------------------------------------------------
  // The filters in the graph that implement an interface, each with a new
  // reference.
  template <class I>
  std::vector<ComPtr<I>> Implementers(REFIID iid) {
    std::lock_guard lock(lock_);
    std::vector<ComPtr<I>> out;
    for (auto& e : filters_) {
      ComPtr<I> p;
      if (SUCCEEDED(e.filter->QueryInterface(iid, p.put_void())) && p) out.push_back(p);
    }
    return out;
  }

  // Seeking goes to every filter that seeks; reads come from the first.
  template <class F>
  HRESULT SeekingRead(F read) {
    auto all = Implementers<IMediaSeeking>(IID_IMediaSeeking);
    if (all.empty()) return E_NOTIMPL;
    return read(all.front().get());
  }

  HRESULT SetPositions(LONGLONG* current, DWORD currentFlags, LONGLONG* stop, DWORD stopFlags) {
    auto all = Implementers<IMediaSeeking>(IID_IMediaSeeking);
    if (all.empty()) return E_NOTIMPL;
    HRESULT result = S_OK;
    for (auto& s : all) {
      HRESULT hr = s->SetPositions(current, currentFlags, stop, stopFlags);
      if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
    // A new position starts a new run to the end.
    if (SUCCEEDED(result) && (currentFlags & AM_SEEKING_PositioningBitsMask)) ResetCompletion();
    return result;
  }

  template <class I, class F>
  HRESULT First(REFIID iid, F call) {
    auto all = Implementers<I>(iid);
    if (all.empty()) return E_NOINTERFACE;
    return call(all.front().get());
  }

  template <class I, class F>
  HRESULT All(REFIID iid, F call) {
    auto all = Implementers<I>(iid);
    if (all.empty()) return E_NOINTERFACE;
    HRESULT result = S_OK;
    for (auto& p : all) {
      HRESULT hr = call(p.get());
      if (FAILED(hr) && SUCCEEDED(result)) result = hr;
    }
    return result;
  }

  static void ForEachPin(IBaseFilter* filter, const std::function<void(IPin*)>& f) {
    ComPtr<IEnumPins> pins;
    if (FAILED(filter->EnumPins(pins.put())) || !pins) return;
    std::vector<ComPtr<IPin>> list;
    IPin* pin = nullptr;
    while (pins->Next(1, &pin, nullptr) == S_OK) {
      list.emplace_back(pin);
      pin->Release();
    }
    for (auto& p : list) f(p.get());
  }

 private:
  friend class FilterEnumerator;
  struct Entry {
    IBaseFilter* filter;  // one reference
    std::u16string name;
  };

  ~FilterGraph() {
    Stop();
    while (true) {
      IBaseFilter* f;
      {
        std::lock_guard lock(lock_);
        if (filters_.empty()) break;
        f = filters_.front().filter;
      }
      RemoveFilter(f);
    }
    if (clock_) clock_->Release();
    if (eventHandle_) CloseHandle(eventHandle_);
  }

  IBaseFilter* FindByName(const std::u16string& name) {
    for (auto& e : filters_)
      if (e.name == name) return e.filter;
    return nullptr;
  }

  bool InGraph(IBaseFilter* filter) {
    for (auto& e : filters_)
      if (e.filter == filter) return true;
    return false;
  }

  bool InGraph(IPin* pin) {
    PIN_INFO info{};
    if (FAILED(pin->QueryPinInfo(&info)) || !info.pFilter) return false;
    bool in = InGraph(info.pFilter);
    info.pFilter->Release();
    return in;
  }

  std::atomic<ULONG> refs_{1};
  GraphBuilder builder_;
  MediaControl control_;
  MediaEvent events_;
  EventSink sink_;
  MediaSeeking seeking_;
  BasicAudio audio_;
  VideoWindow video_;

  std::recursive_mutex lock_;
  std::vector<Entry> filters_;
  int version_ = 0;
  FILTER_STATE state_ = State_Stopped;
  IReferenceClock* clock_ = nullptr;
  REFERENCE_TIME start_ = 0, pausedAt_ = 0;

  std::mutex eventLock_;
  std::condition_variable eventArrived_, completionChanged_;
  std::deque<Event> queue_;
  HANDLE eventHandle_ = nullptr;
  OAHWND notifyWindow_ = 0;
  LONG notifyMessage_ = 0;
  LONG_PTR notifyData_ = 0;
  LONG noNotify_ = 0;
  std::set<LONG> defaultHandlingOff_;
  std::set<IBaseFilter*> completed_;
  int renderers_ = 0;
  bool completeSent_ = false;
  LONG completion_ = 0;
};

// --- tear-offs ---------------------------------------------------------------------------------

template <class Interface>
HRESULT TearOff<Interface>::QueryInterface(REFIID iid, void** object) {
  return graph_->QueryInterface(iid, object);
}
template <class Interface>
ULONG TearOff<Interface>::AddRef() {
  return graph_->AddRef();
}
template <class Interface>
ULONG TearOff<Interface>::Release() {
  return graph_->Release();
}

HRESULT GraphBuilder::AddFilter(IBaseFilter* f, LPCWSTR name) { return graph_->AddFilter(f, name); }
HRESULT GraphBuilder::RemoveFilter(IBaseFilter* f) { return graph_->RemoveFilter(f); }
HRESULT GraphBuilder::EnumFilters(IEnumFilters** filters) {
  if (!filters) return E_POINTER;
  *filters = new FilterEnumerator(graph_, 0);
  return S_OK;
}
HRESULT GraphBuilder::FindFilterByName(LPCWSTR name, IBaseFilter** f) { return graph_->FindFilterByName(name, f); }
HRESULT GraphBuilder::ConnectDirect(IPin* o, IPin* i, const AM_MEDIA_TYPE* t) { return graph_->ConnectDirect(o, i, t); }
HRESULT GraphBuilder::Reconnect(IPin* pin) { return graph_->Reconnect(pin); }
HRESULT GraphBuilder::Disconnect(IPin* pin) { return graph_->Disconnect(pin); }
HRESULT GraphBuilder::SetDefaultSyncSource() { return graph_->SetDefaultSyncSource(); }
HRESULT GraphBuilder::Connect(IPin* o, IPin* i) { return graph_->Connect(o, i); }
HRESULT GraphBuilder::Render(IPin* o) { return graph_->Render(o); }
HRESULT GraphBuilder::RenderFile(LPCWSTR file, LPCWSTR) { return graph_->RenderFile(file); }
HRESULT GraphBuilder::AddSourceFilter(LPCWSTR file, LPCWSTR name, IBaseFilter** f) {
  return graph_->AddSourceFilter(file, name, f);
}

HRESULT MediaControl::Run() { return graph_->Run(); }
HRESULT MediaControl::Pause() { return graph_->Pause(); }
HRESULT MediaControl::Stop() { return graph_->Stop(); }
HRESULT MediaControl::GetState(LONG ms, OAFilterState* s) { return graph_->GetState(ms, s); }
HRESULT MediaControl::RenderFile(BSTR file) { return graph_->RenderFile(file); }
HRESULT MediaControl::AddSourceFilter(BSTR file, IDispatch** filter) {
  if (filter) *filter = nullptr;
  IBaseFilter* source = nullptr;
  HRESULT hr = graph_->AddSourceFilter(file, nullptr, &source);
  // The source is in the graph; this platform offers no automation wrapper
  // for it.
  if (source) source->Release();
  return FAILED(hr) ? hr : E_NOTIMPL;
}
HRESULT MediaControl::get_FilterCollection(IDispatch** c) {
  if (c) *c = nullptr;
  return E_NOTIMPL;
}
HRESULT MediaControl::get_RegFilterCollection(IDispatch** c) {
  if (c) *c = nullptr;
  return E_NOTIMPL;
}
HRESULT MediaControl::StopWhenReady() {
  HRESULT hr = graph_->Pause();
  if (FAILED(hr)) return hr;
  OAFilterState state;
  graph_->GetState(5000, &state);
  return graph_->Stop();
}

HRESULT MediaEvent::GetEventHandle(OAEVENT* event) { return graph_->GetEventHandle(event); }
HRESULT MediaEvent::GetEvent(LONG* code, LONG_PTR* p1, LONG_PTR* p2, LONG ms) {
  return graph_->GetEvent(code, p1, p2, ms);
}
HRESULT MediaEvent::WaitForCompletion(LONG ms, LONG* code) { return graph_->WaitForCompletion(ms, code); }
HRESULT MediaEvent::CancelDefaultHandling(LONG code) { return graph_->SetDefaultHandling(code, false); }
HRESULT MediaEvent::RestoreDefaultHandling(LONG code) { return graph_->SetDefaultHandling(code, true); }
// Event parameters of this platform's events are plain values.
HRESULT MediaEvent::FreeEventParams(LONG, LONG_PTR, LONG_PTR) { return S_OK; }
HRESULT MediaEvent::SetNotifyWindow(OAHWND w, LONG m, LONG_PTR d) { return graph_->SetNotifyWindow(w, m, d); }
HRESULT MediaEvent::SetNotifyFlags(LONG f) { return graph_->SetNotifyFlags(f); }
HRESULT MediaEvent::GetNotifyFlags(LONG* f) { return graph_->GetNotifyFlags(f); }

HRESULT EventSink::Notify(LONG code, LONG_PTR p1, LONG_PTR p2) { return graph_->Notify(code, p1, p2); }

HRESULT MediaSeeking::GetCapabilities(DWORD* c) {
  return graph_->SeekingRead([&](IMediaSeeking* s) { return s->GetCapabilities(c); });
}
HRESULT MediaSeeking::CheckCapabilities(DWORD* c) {
  return graph_->SeekingRead([&](IMediaSeeking* s) { return s->CheckCapabilities(c); });
}
HRESULT MediaSeeking::IsFormatSupported(const GUID* f) {
  if (!f) return E_POINTER;
  return *f == TIME_FORMAT_MEDIA_TIME ? S_OK : S_FALSE;
}
HRESULT MediaSeeking::QueryPreferredFormat(GUID* f) {
  if (!f) return E_POINTER;
  *f = TIME_FORMAT_MEDIA_TIME;
  return S_OK;
}
HRESULT MediaSeeking::GetTimeFormat(GUID* f) {
  if (!f) return E_POINTER;
  *f = TIME_FORMAT_MEDIA_TIME;
  return S_OK;
}
HRESULT MediaSeeking::IsUsingTimeFormat(const GUID* f) {
  if (!f) return E_POINTER;
  return *f == TIME_FORMAT_MEDIA_TIME ? S_OK : S_FALSE;
}
HRESULT MediaSeeking::SetTimeFormat(const GUID* f) {
  if (!f) return E_POINTER;
  return *f == TIME_FORMAT_MEDIA_TIME ? S_OK : E_INVALIDARG;
}
HRESULT MediaSeeking::GetDuration(LONGLONG* d) {
  return graph_->SeekingRead([&](IMediaSeeking* s) { return s->GetDuration(d); });
}
HRESULT MediaSeeking::GetStopPosition(LONGLONG* p) {
  return graph_->SeekingRead([&](IMediaSeeking* s) { return s->GetStopPosition(p); });
}
HRESULT MediaSeeking::GetCurrentPosition(LONGLONG* p) {
  return graph_->SeekingRead([&](IMediaSeeking* s) { return s->GetCurrentPosition(p); });
}
HRESULT MediaSeeking::ConvertTimeFormat(LONGLONG* target, const GUID* tf, LONGLONG source, const GUID* sf) {
  if (!target) return E_POINTER;
  bool targetMedia = !tf || *tf == TIME_FORMAT_MEDIA_TIME;
  bool sourceMedia = !sf || *sf == TIME_FORMAT_MEDIA_TIME;
  if (!targetMedia || !sourceMedia) return E_INVALIDARG;
  *target = source;
  return S_OK;
}
HRESULT MediaSeeking::SetPositions(LONGLONG* c, DWORD cf, LONGLONG* s, DWORD sf) {
  return graph_->SetPositions(c, cf, s, sf);
}
HRESULT MediaSeeking::GetPositions(LONGLONG* c, LONGLONG* s) {
  return graph_->SeekingRead([&](IMediaSeeking* m) { return m->GetPositions(c, s); });
}
HRESULT MediaSeeking::GetAvailable(LONGLONG* e, LONGLONG* l) {
  return graph_->SeekingRead([&](IMediaSeeking* s) { return s->GetAvailable(e, l); });
}
HRESULT MediaSeeking::SetRate(double rate) {
  return graph_->All<IMediaSeeking>(IID_IMediaSeeking, [&](IMediaSeeking* s) { return s->SetRate(rate); });
}
HRESULT MediaSeeking::GetRate(double* rate) {
  return graph_->SeekingRead([&](IMediaSeeking* s) { return s->GetRate(rate); });
}
HRESULT MediaSeeking::GetPreroll(LONGLONG* p) {
  return graph_->SeekingRead([&](IMediaSeeking* s) { return s->GetPreroll(p); });
}

HRESULT BasicAudio::put_Volume(LONG v) {
  return graph_->All<IBasicAudio>(IID_IBasicAudio, [&](IBasicAudio* a) { return a->put_Volume(v); });
}
HRESULT BasicAudio::get_Volume(LONG* v) {
  return graph_->First<IBasicAudio>(IID_IBasicAudio, [&](IBasicAudio* a) { return a->get_Volume(v); });
}
HRESULT BasicAudio::put_Balance(LONG v) {
  return graph_->All<IBasicAudio>(IID_IBasicAudio, [&](IBasicAudio* a) { return a->put_Balance(v); });
}
HRESULT BasicAudio::get_Balance(LONG* v) {
  return graph_->First<IBasicAudio>(IID_IBasicAudio, [&](IBasicAudio* a) { return a->get_Balance(v); });
}

#define ORLIK_FORWARD_VIDEO(call) \
  return graph_->First<IVideoWindow>(IID_IVideoWindow, [&](IVideoWindow* renderer) { return renderer->call; })

HRESULT VideoWindow::put_Caption(BSTR v) { ORLIK_FORWARD_VIDEO(put_Caption(v)); }
HRESULT VideoWindow::get_Caption(BSTR* v) { ORLIK_FORWARD_VIDEO(get_Caption(v)); }
HRESULT VideoWindow::put_WindowStyle(LONG v) { ORLIK_FORWARD_VIDEO(put_WindowStyle(v)); }
HRESULT VideoWindow::get_WindowStyle(LONG* v) { ORLIK_FORWARD_VIDEO(get_WindowStyle(v)); }
HRESULT VideoWindow::put_WindowStyleEx(LONG v) { ORLIK_FORWARD_VIDEO(put_WindowStyleEx(v)); }
HRESULT VideoWindow::get_WindowStyleEx(LONG* v) { ORLIK_FORWARD_VIDEO(get_WindowStyleEx(v)); }
HRESULT VideoWindow::put_AutoShow(LONG v) { ORLIK_FORWARD_VIDEO(put_AutoShow(v)); }
HRESULT VideoWindow::get_AutoShow(LONG* v) { ORLIK_FORWARD_VIDEO(get_AutoShow(v)); }
HRESULT VideoWindow::put_WindowState(LONG v) { ORLIK_FORWARD_VIDEO(put_WindowState(v)); }
HRESULT VideoWindow::get_WindowState(LONG* v) { ORLIK_FORWARD_VIDEO(get_WindowState(v)); }
HRESULT VideoWindow::put_BackgroundPalette(LONG v) { ORLIK_FORWARD_VIDEO(put_BackgroundPalette(v)); }
HRESULT VideoWindow::get_BackgroundPalette(LONG* v) { ORLIK_FORWARD_VIDEO(get_BackgroundPalette(v)); }
HRESULT VideoWindow::put_Visible(LONG v) { ORLIK_FORWARD_VIDEO(put_Visible(v)); }
HRESULT VideoWindow::get_Visible(LONG* v) { ORLIK_FORWARD_VIDEO(get_Visible(v)); }
HRESULT VideoWindow::put_Left(LONG v) { ORLIK_FORWARD_VIDEO(put_Left(v)); }
HRESULT VideoWindow::get_Left(LONG* v) { ORLIK_FORWARD_VIDEO(get_Left(v)); }
HRESULT VideoWindow::put_Width(LONG v) { ORLIK_FORWARD_VIDEO(put_Width(v)); }
HRESULT VideoWindow::get_Width(LONG* v) { ORLIK_FORWARD_VIDEO(get_Width(v)); }
HRESULT VideoWindow::put_Top(LONG v) { ORLIK_FORWARD_VIDEO(put_Top(v)); }
HRESULT VideoWindow::get_Top(LONG* v) { ORLIK_FORWARD_VIDEO(get_Top(v)); }
HRESULT VideoWindow::put_Height(LONG v) { ORLIK_FORWARD_VIDEO(put_Height(v)); }
HRESULT VideoWindow::get_Height(LONG* v) { ORLIK_FORWARD_VIDEO(get_Height(v)); }
HRESULT VideoWindow::put_Owner(OAHWND v) { ORLIK_FORWARD_VIDEO(put_Owner(v)); }
HRESULT VideoWindow::get_Owner(OAHWND* v) { ORLIK_FORWARD_VIDEO(get_Owner(v)); }
HRESULT VideoWindow::put_MessageDrain(OAHWND v) { ORLIK_FORWARD_VIDEO(put_MessageDrain(v)); }
HRESULT VideoWindow::get_MessageDrain(OAHWND* v) { ORLIK_FORWARD_VIDEO(get_MessageDrain(v)); }
HRESULT VideoWindow::get_BorderColor(LONG* v) { ORLIK_FORWARD_VIDEO(get_BorderColor(v)); }
HRESULT VideoWindow::put_BorderColor(LONG v) { ORLIK_FORWARD_VIDEO(put_BorderColor(v)); }
HRESULT VideoWindow::get_FullScreenMode(LONG* v) { ORLIK_FORWARD_VIDEO(get_FullScreenMode(v)); }
HRESULT VideoWindow::put_FullScreenMode(LONG v) { ORLIK_FORWARD_VIDEO(put_FullScreenMode(v)); }
HRESULT VideoWindow::SetWindowForeground(LONG v) { ORLIK_FORWARD_VIDEO(SetWindowForeground(v)); }
HRESULT VideoWindow::NotifyOwnerMessage(OAHWND h, LONG m, LONG_PTR w, LONG_PTR l) {
  ORLIK_FORWARD_VIDEO(NotifyOwnerMessage(h, m, w, l));
}
HRESULT VideoWindow::SetWindowPosition(LONG l, LONG t, LONG w, LONG h) {
  ORLIK_FORWARD_VIDEO(SetWindowPosition(l, t, w, h));
}
HRESULT VideoWindow::GetWindowPosition(LONG* l, LONG* t, LONG* w, LONG* h) {
  ORLIK_FORWARD_VIDEO(GetWindowPosition(l, t, w, h));
}
HRESULT VideoWindow::GetMinIdealImageSize(LONG* w, LONG* h) { ORLIK_FORWARD_VIDEO(GetMinIdealImageSize(w, h)); }
HRESULT VideoWindow::GetMaxIdealImageSize(LONG* w, LONG* h) { ORLIK_FORWARD_VIDEO(GetMaxIdealImageSize(w, h)); }
HRESULT VideoWindow::GetRestorePosition(LONG* l, LONG* t, LONG* w, LONG* h) {
  ORLIK_FORWARD_VIDEO(GetRestorePosition(l, t, w, h));
}
HRESULT VideoWindow::HideCursor(LONG v) { ORLIK_FORWARD_VIDEO(HideCursor(v)); }
HRESULT VideoWindow::IsCursorHidden(LONG* v) { ORLIK_FORWARD_VIDEO(IsCursorHidden(v)); }

#undef ORLIK_FORWARD_VIDEO

// --- filter enumerator -----------------------------------------------------------------------------

FilterEnumerator::FilterEnumerator(FilterGraph* graph, size_t position) : graph_(graph), position_(position) {
  graph_->AddRef();
  Snapshot();
}

FilterEnumerator::~FilterEnumerator() {
  for (IBaseFilter* f : filters_) f->Release();
  graph_->Release();
}

void FilterEnumerator::Snapshot() {
  for (IBaseFilter* f : filters_) f->Release();
  filters_ = graph_->Snapshot(&version_);
}

HRESULT FilterEnumerator::Next(ULONG count, IBaseFilter** filters, ULONG* fetched) {
  if (!filters) return E_POINTER;
  if (count > 1 && !fetched) return E_INVALIDARG;
  if (graph_->Version() != version_) return VFW_E_ENUM_OUT_OF_SYNC;
  ULONG n = 0;
  while (n < count && position_ < filters_.size()) {
    filters_[position_]->AddRef();
    filters[n++] = filters_[position_++];
  }
  if (fetched) *fetched = n;
  return n == count ? S_OK : S_FALSE;
}

HRESULT FilterEnumerator::Skip(ULONG count) {
  if (graph_->Version() != version_) return VFW_E_ENUM_OUT_OF_SYNC;
  if (position_ + count > filters_.size()) {
    position_ = filters_.size();
    return S_FALSE;
  }
  position_ += count;
  return S_OK;
}

HRESULT FilterEnumerator::Reset() {
  Snapshot();
  position_ = 0;
  return S_OK;
}

HRESULT FilterEnumerator::Clone(IEnumFilters** copy) {
  if (!copy) return E_POINTER;
  *copy = new FilterEnumerator(graph_, position_);
  return S_OK;
}

const com::ClassRegistrar kFilterGraph(CLSID_FilterGraph, &com::Construct<FilterGraph>);
const com::ClassRegistrar kFilterGraphNoThread(CLSID_FilterGraphNoThread, &com::Construct<FilterGraph>);

}  // namespace
}  // namespace orlik::dshow
