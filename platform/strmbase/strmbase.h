// Filter base classes: what a DirectShow filter written for this platform
// builds on, as the SDK's base classes are for the panel's DirectShow. A
// static library, compiled into each library that writes a filter (the
// platform's own capture filter, sinks and renderers, and the camera
// library's grabber).
//
// A filter derives from BaseFilter and owns its pins (BaseInputPin,
// BaseOutputPin or the transform-in-place pair); pins count their references
// on the filter, so a pin handed out keeps its filter alive. A derived class
// fills in only what differs: the media types it accepts or offers, the
// buffer sizes it needs, and what it does with a sample.
//
// Locking: each filter has one filter lock (recursive) taken by state changes
// and connections. Samples travel on streaming threads without the filter
// lock; a filter that keeps streaming state guards it with a lock of its own.
#pragma once

#include <orlik/dshow.h>

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

// --- media types (the SDK's helpers of the same names) --------------------------------
// Copies src into dst, format block included (dst owns its own copy).
HRESULT CopyMediaType(AM_MEDIA_TYPE* dst, const AM_MEDIA_TYPE* src);
// Frees what a media type owns (format block, pUnk) and empties it.
void FreeMediaType(AM_MEDIA_TYPE& type);
// Frees a media type allocated with CoTaskMemAlloc, and what it owns.
void DeleteMediaType(AM_MEDIA_TYPE* type);
// A CoTaskMemAlloc'ed copy of src (null when out of memory).
AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* src);

namespace orlik::strmbase {

// True when every field a partial type sets (non-null GUIDs) equals full's.
bool MediaTypeMatchesPartial(const AM_MEDIA_TYPE& full, const AM_MEDIA_TYPE& partial);
bool IsPartialMediaType(const AM_MEDIA_TYPE& type);

// An owned media type.
class MediaType {
 public:
  MediaType() { Clear(); }
  explicit MediaType(const AM_MEDIA_TYPE& type) {
    Clear();
    CopyMediaType(&type_, &type);
  }
  MediaType(const MediaType& other) : MediaType(other.type_) {}
  MediaType& operator=(const MediaType& other) {
    if (this != &other) Set(other.type_);
    return *this;
  }
  ~MediaType() { FreeMediaType(type_); }
  void Set(const AM_MEDIA_TYPE& type) {
    FreeMediaType(type_);
    CopyMediaType(&type_, &type);
  }
  void Reset() { FreeMediaType(type_); }
  // A format block of size bytes, zero-filled, owned by this type.
  BYTE* AllocFormat(ULONG size);
  AM_MEDIA_TYPE* get() { return &type_; }
  const AM_MEDIA_TYPE* get() const { return &type_; }
  const AM_MEDIA_TYPE& operator*() const { return type_; }

 private:
  void Clear();
  AM_MEDIA_TYPE type_;
};

// A reference-holding interface pointer for the platform's own code.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(T* p) : p_(p) {  // NOLINT: takes a new reference
    if (p_) p_->AddRef();
  }
  ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
  ComPtr(ComPtr&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
  ComPtr& operator=(ComPtr o) {
    std::swap(p_, o.p_);
    return *this;
  }
  ~ComPtr() { reset(); }
  void reset() {
    if (p_) {
      T* p = p_;
      p_ = nullptr;
      p->Release();
    }
  }
  // For out-parameters that return a new reference.
  T** put() {
    reset();
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }
  // Gives the reference away.
  T* detach() {
    T* p = p_;
    p_ = nullptr;
    return p;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  template <class U>
  ComPtr<U> As(REFIID iid) const {
    ComPtr<U> out;
    if (p_) p_->QueryInterface(iid, out.put_void());
    return out;
  }

 private:
  T* p_ = nullptr;
};

// One entry of a QueryInterface answer: when iid is one of ids, `self` with
// a reference added goes to *object and the result is true.
template <class Interface, class... Ids>
bool Offer(Interface* self, REFIID iid, void** object, const Ids&... ids) {
  if (!((iid == ids) || ...)) return false;
  self->AddRef();
  *object = self;
  return true;
}

// QueryInterface of an object's own interface: IUnknown and the identifiers
// listed answer with `self`; any other identifier E_NOINTERFACE, the object
// cleared.
template <class Interface, class... Ids>
HRESULT QueryOwn(Interface* self, REFIID iid, void** object, const Ids&... ids) {
  if (!object) return E_POINTER;
  if (Offer(self, iid, object, IID_IUnknown, ids...)) return S_OK;
  *object = nullptr;
  return E_NOINTERFACE;
}

// Drops one of an object's references; `last` (deleting the object, or
// returning it to its pool) runs when none is left. Returns the count left.
template <class Last>
ULONG DropReference(std::atomic<ULONG>& refs, Last last) {
  ULONG left = --refs;
  if (left == 0) last();
  return left;
}

// The type a sample carries when the format changed on the fly with it
// (true, the type copied into *type); false for a sample without one.
inline bool ChangedType(IMediaSample* sample, MediaType* type) {
  AM_MEDIA_TYPE* changed = nullptr;
  if (sample->GetMediaType(&changed) != S_OK || !changed) return false;
  type->Set(*changed);
  DeleteMediaType(changed);
  return true;
}

class BaseFilter;
class BasePin;

// --- samples and allocators -------------------------------------------------------------
class MemAllocator;

// A sample of a MemAllocator: its last Release gives it back to the pool.
class MediaSample final : public IMediaSample {
 public:
  HRESULT WINAPI QueryInterface(REFIID iid, void** object) override;
  ULONG WINAPI AddRef() override;
  ULONG WINAPI Release() override;
  HRESULT WINAPI GetPointer(BYTE** buffer) override;
  LONG WINAPI GetSize() override;
  HRESULT WINAPI GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override;
  HRESULT WINAPI SetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) override;
  HRESULT WINAPI IsSyncPoint() override;
  HRESULT WINAPI SetSyncPoint(BOOL syncPoint) override;
  HRESULT WINAPI IsPreroll() override;
  HRESULT WINAPI SetPreroll(BOOL preroll) override;
  LONG WINAPI GetActualDataLength() override;
  HRESULT WINAPI SetActualDataLength(LONG length) override;
  HRESULT WINAPI GetMediaType(AM_MEDIA_TYPE** type) override;
  HRESULT WINAPI SetMediaType(AM_MEDIA_TYPE* type) override;
  HRESULT WINAPI IsDiscontinuity() override;
  HRESULT WINAPI SetDiscontinuity(BOOL discontinuity) override;
  HRESULT WINAPI GetMediaTime(LONGLONG* start, LONGLONG* end) override;
  HRESULT WINAPI SetMediaTime(LONGLONG* start, LONGLONG* end) override;

 private:
  friend class MemAllocator;
  MediaSample(MemAllocator* allocator, BYTE* buffer, LONG size);
  ~MediaSample();
  void ResetProperties();

  MemAllocator* allocator_;
  BYTE* buffer_;
  LONG size_;
  std::atomic<ULONG> refs_{0};
  LONG actual_ = 0;
  REFERENCE_TIME start_ = 0, end_ = 0;
  LONGLONG mediaStart_ = 0, mediaEnd_ = 0;
  bool timeValid_ = false, stopValid_ = false, mediaTimeValid_ = false;
  bool sync_ = false, preroll_ = false, discontinuity_ = false;
  AM_MEDIA_TYPE* type_ = nullptr;
};

// A pool of samples in ordinary memory (CLSID_MemoryAllocator). GetBuffer
// blocks until a sample is free, unless AM_GBF_NOWAIT; Decommit wakes
// waiters with VFW_E_NOT_COMMITTED and frees the memory once every sample is
// back.
class MemAllocator final : public IMemAllocator {
 public:
  static MemAllocator* Create();  // one reference for the caller
  HRESULT WINAPI QueryInterface(REFIID iid, void** object) override;
  ULONG WINAPI AddRef() override;
  ULONG WINAPI Release() override;
  HRESULT WINAPI SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) override;
  HRESULT WINAPI GetProperties(ALLOCATOR_PROPERTIES* properties) override;
  HRESULT WINAPI Commit() override;
  HRESULT WINAPI Decommit() override;
  HRESULT WINAPI GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* end,
                           DWORD flags) override;
  HRESULT WINAPI ReleaseBuffer(IMediaSample* sample) override;

 private:
  friend class MediaSample;
  MemAllocator() = default;
  ~MemAllocator();
  void FreeMemory();
  void Return(MediaSample* sample);

  std::atomic<ULONG> refs_{1};
  std::mutex mutex_;
  std::condition_variable freed_;
  ALLOCATOR_PROPERTIES props_{0, 0, 1, 0};
  bool propsSet_ = false;
  bool committed_ = false;
  BYTE* memory_ = nullptr;
  std::vector<MediaSample*> all_;
  std::deque<MediaSample*> free_;
};

// --- pins ----------------------------------------------------------------------------------
class BasePin : public IPin {
 public:
  HRESULT WINAPI QueryInterface(REFIID iid, void** object) override;
  ULONG WINAPI AddRef() override;
  ULONG WINAPI Release() override;

  HRESULT WINAPI Connect(IPin* receivePin, const AM_MEDIA_TYPE* type) override;
  HRESULT WINAPI ReceiveConnection(IPin* connector, const AM_MEDIA_TYPE* type) override;
  HRESULT WINAPI Disconnect() override;
  HRESULT WINAPI ConnectedTo(IPin** pin) override;
  HRESULT WINAPI ConnectionMediaType(AM_MEDIA_TYPE* type) override;
  HRESULT WINAPI QueryPinInfo(PIN_INFO* info) override;
  HRESULT WINAPI QueryDirection(PIN_DIRECTION* direction) override;
  HRESULT WINAPI QueryId(LPWSTR* id) override;
  HRESULT WINAPI QueryAccept(const AM_MEDIA_TYPE* type) override;
  HRESULT WINAPI EnumMediaTypes(IEnumMediaTypes** types) override;
  HRESULT WINAPI QueryInternalConnections(IPin** pins, ULONG* count) override;
  HRESULT WINAPI EndOfStream() override;
  HRESULT WINAPI BeginFlush() override;
  HRESULT WINAPI EndFlush() override;
  HRESULT WINAPI NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

  // What a derived pin fills in.
  // S_OK when the pin can work with the type.
  virtual HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) = 0;
  // The pin's preferred type at index (0, 1, ...): S_OK, VFW_S_NO_MORE_ITEMS
  // past the end, E_INVALIDARG for a negative index.
  virtual HRESULT GetMediaType(int index, AM_MEDIA_TYPE* type);
  // The connection's type has been chosen.
  virtual HRESULT SetMediaType(const AM_MEDIA_TYPE* type);
  // After the other pin accepted: the output pin settles its allocator here.
  virtual HRESULT CompleteConnect(IPin* other);
  // The connection is being broken.
  virtual HRESULT BreakConnect();
  // The filter leaves or enters the stopped state.
  virtual HRESULT Active();
  virtual HRESULT Inactive();

  bool IsConnected() const { return connected_ != nullptr; }
  IPin* ConnectedPin() const { return connected_; }
  const AM_MEDIA_TYPE& CurrentMediaType() const { return *mt_; }
  const std::u16string& Name() const { return name_; }
  PIN_DIRECTION Direction() const { return direction_; }
  BaseFilter* Filter() const { return filter_; }

 protected:
  BasePin(BaseFilter* filter, const WCHAR* name, PIN_DIRECTION direction);
  virtual ~BasePin();
  // Extra interfaces of a derived pin (IMemInputPin, IKsPropertySet, ...).
  virtual HRESULT QueryPinInterface(REFIID iid, void** object);

  BaseFilter* filter_;
  std::u16string name_;
  PIN_DIRECTION direction_;
  IPin* connected_ = nullptr;  // one reference while connected
  MediaType mt_;
  REFERENCE_TIME segmentStart_ = 0, segmentStop_ = 0;
  double segmentRate_ = 1.0;

 private:
  HRESULT AttemptConnection(IPin* receivePin, const AM_MEDIA_TYPE* type);
  HRESULT TryTypes(IPin* receivePin, const AM_MEDIA_TYPE* partial, IEnumMediaTypes* types);
};

// An output pin that delivers samples from an allocator to the connected
// input pin's IMemInputPin.
class BaseOutputPin : public BasePin {
 public:
  HRESULT CompleteConnect(IPin* other) override;
  HRESULT BreakConnect() override;
  HRESULT Active() override;
  HRESULT Inactive() override;
  HRESULT WINAPI EndOfStream() override { return E_UNEXPECTED; }
  HRESULT WINAPI BeginFlush() override { return E_UNEXPECTED; }
  HRESULT WINAPI EndFlush() override { return E_UNEXPECTED; }

  // The buffers this pin needs: set request->cBuffers/cbBuffer, call
  // SetProperties, check the result.
  virtual HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) = 0;
  // The common DecideBufferSize: at least `buffers` buffers of at least
  // `bytes` (16-byte aligned unless the request says otherwise); E_FAIL when
  // the allocator's buffers come out smaller than `bytes`.
  static HRESULT RequestBuffers(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request, LONG buffers, LONG bytes);
  // Picks the allocator: the input pin's if it suits, else a MemAllocator.
  virtual HRESULT DecideAllocator(IMemInputPin* input, IMemAllocator** allocator);

  HRESULT GetDeliveryBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* end,
                            DWORD flags);
  HRESULT Deliver(IMediaSample* sample);
  HRESULT DeliverEndOfStream();
  HRESULT DeliverBeginFlush();
  HRESULT DeliverEndFlush();
  HRESULT DeliverNewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate);
  IMemAllocator* Allocator() const { return allocator_; }

 protected:
  BaseOutputPin(BaseFilter* filter, const WCHAR* name);
  ~BaseOutputPin() override;

  IMemAllocator* allocator_ = nullptr;
  IMemInputPin* input_ = nullptr;
};

// An input pin that takes samples through IMemInputPin. Receive in a derived
// pin starts with CheckStreaming().
class BaseInputPin : public BasePin, public IMemInputPin {
 public:
  HRESULT WINAPI QueryInterface(REFIID iid, void** object) override { return BasePin::QueryInterface(iid, object); }
  ULONG WINAPI AddRef() override { return BasePin::AddRef(); }
  ULONG WINAPI Release() override { return BasePin::Release(); }

  HRESULT WINAPI GetAllocator(IMemAllocator** allocator) override;
  HRESULT WINAPI NotifyAllocator(IMemAllocator* allocator, BOOL readOnly) override;
  HRESULT WINAPI GetAllocatorRequirements(ALLOCATOR_PROPERTIES* properties) override;
  HRESULT WINAPI Receive(IMediaSample* sample) override;
  HRESULT WINAPI ReceiveMultiple(IMediaSample** samples, LONG count, LONG* processed) override;
  HRESULT WINAPI ReceiveCanBlock() override;

  HRESULT WINAPI BeginFlush() override;
  HRESULT WINAPI EndFlush() override;
  HRESULT WINAPI EndOfStream() override;
  HRESULT BreakConnect() override;
  HRESULT Inactive() override;

  // S_OK when a sample may be taken now: the filter is not stopped, the pin
  // is not flushing and has not seen the end of the stream.
  HRESULT CheckStreaming();
  IMemAllocator* Allocator() const { return allocator_; }
  bool ReadOnly() const { return readOnly_; }
  bool Flushing() const { return flushing_; }

 protected:
  BaseInputPin(BaseFilter* filter, const WCHAR* name);
  ~BaseInputPin() override;
  HRESULT QueryPinInterface(REFIID iid, void** object) override;

  std::mutex allocatorLock_;
  IMemAllocator* allocator_ = nullptr;
  bool readOnly_ = false;
  std::atomic<bool> flushing_{false};
  std::atomic<bool> endOfStream_{false};
};

// --- filters -------------------------------------------------------------------------------
class BaseFilter : public IBaseFilter {
 public:
  HRESULT WINAPI QueryInterface(REFIID iid, void** object) override;
  ULONG WINAPI AddRef() override;
  ULONG WINAPI Release() override;

  HRESULT WINAPI GetClassID(CLSID* clsid) override;
  HRESULT WINAPI Stop() override;
  HRESULT WINAPI Pause() override;
  HRESULT WINAPI Run(REFERENCE_TIME start) override;
  HRESULT WINAPI GetState(DWORD milliseconds, FILTER_STATE* state) override;
  HRESULT WINAPI SetSyncSource(IReferenceClock* clock) override;
  HRESULT WINAPI GetSyncSource(IReferenceClock** clock) override;
  HRESULT WINAPI EnumPins(IEnumPins** pins) override;
  HRESULT WINAPI FindPin(LPCWSTR id, IPin** pin) override;
  HRESULT WINAPI QueryFilterInfo(FILTER_INFO* info) override;
  HRESULT WINAPI JoinFilterGraph(IFilterGraph* graph, LPCWSTR name) override;
  HRESULT WINAPI QueryVendorInfo(LPWSTR* vendorInfo) override;

  // The filter's pins; stable while the filter lives unless PinsChanged().
  virtual int PinCount() = 0;
  virtual BasePin* PinAt(int index) = 0;

  // Sends an event to the graph the filter is in (nothing when in none).
  HRESULT NotifyEvent(LONG code, LONG_PTR param1, LONG_PTR param2);
  FILTER_STATE State();
  std::recursive_mutex& FilterLock() { return filterLock_; }
  // The graph's clock time at which stream time 0 falls while running.
  REFERENCE_TIME StartTime();
  IReferenceClock* Clock() { return clock_; }
  IFilterGraph* Graph() { return graph_; }
  const std::u16string& Name() const { return name_; }
  // Pin enumerators made before a change of the pin list report
  // VFW_E_ENUM_OUT_OF_SYNC.
  void PinsChanged() { ++pinVersion_; }
  int PinVersion() const { return pinVersion_; }

 protected:
  explicit BaseFilter(const CLSID& clsid);
  virtual ~BaseFilter();
  // Extra interfaces of a derived filter.
  virtual HRESULT QueryFilterInterface(REFIID iid, void** object);
  // Called with the filter lock held, after the pins went active/inactive
  // and before the state member changes.
  virtual HRESULT OnStop() { return S_OK; }
  virtual HRESULT OnPause() { return S_OK; }
  virtual HRESULT OnRun(REFERENCE_TIME) { return S_OK; }

  std::recursive_mutex filterLock_;
  std::atomic<FILTER_STATE> state_{State_Stopped};
  REFERENCE_TIME start_ = 0;
  IReferenceClock* clock_ = nullptr;  // one reference
  IFilterGraph* graph_ = nullptr;     // not counted: the graph holds the filter
  // The graph's, not counted; read by streaming threads without the lock.
  std::atomic<IMediaEventSink*> eventSink_{nullptr};
  std::u16string name_;

 private:
  CLSID clsid_;
  std::atomic<ULONG> refs_{1};
  std::atomic<int> pinVersion_{0};
};

// A filter with one input and one output pin that works on each sample in
// place and passes it on. Transform returns S_OK to pass the sample on,
// S_FALSE to hold it back (Receive returns S_FALSE upstream unchanged), or a
// failure. When the upstream allocator is not the one the output pin
// delivers from, the sample is copied into an output buffer first.
class TransInPlaceFilter : public BaseFilter {
 public:
  class InputPin;
  class OutputPin;

  int PinCount() override { return 2; }
  BasePin* PinAt(int index) override;

  virtual HRESULT Transform(IMediaSample* sample) = 0;
  // The input types the filter takes (S_OK or VFW_E_TYPE_NOT_ACCEPTED).
  virtual HRESULT CheckInputType(const AM_MEDIA_TYPE* type) = 0;
  // Receive on the input pin: copy when needed, Transform, deliver on S_OK.
  virtual HRESULT Receive(IMediaSample* sample);

  InputPin* Input() { return input_; }
  OutputPin* Output() { return output_; }

  class InputPin : public BaseInputPin {
   public:
    InputPin(TransInPlaceFilter* filter, const WCHAR* name);
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT GetMediaType(int index, AM_MEDIA_TYPE* type) override;
    HRESULT WINAPI GetAllocator(IMemAllocator** allocator) override;
    HRESULT WINAPI Receive(IMediaSample* sample) override;
    HRESULT WINAPI EndOfStream() override;
    HRESULT WINAPI BeginFlush() override;
    HRESULT WINAPI EndFlush() override;
    HRESULT WINAPI NewSegment(REFERENCE_TIME start, REFERENCE_TIME stop, double rate) override;

   protected:
    TransInPlaceFilter* owner_;
  };

  class OutputPin : public BaseOutputPin {
   public:
    OutputPin(TransInPlaceFilter* filter, const WCHAR* name);
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT GetMediaType(int index, AM_MEDIA_TYPE* type) override;
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override;
    HRESULT DecideAllocator(IMemInputPin* input, IMemAllocator** allocator) override;

   protected:
    TransInPlaceFilter* owner_;
  };

 protected:
  // The filter makes its pins with these names; a derived filter may pass
  // its own input pin (a subclass of InputPin), which the filter then owns.
  TransInPlaceFilter(const CLSID& clsid, InputPin* input = nullptr);
  ~TransInPlaceFilter() override;

  InputPin* input_;
  OutputPin* output_;
};

// A filter that renders the samples of one input pin as they arrive: the
// timing is the upstream filter's. At the end of the stream it sends
// EC_COMPLETE once it runs (at once when running, else when Run comes).
class BaseRenderer : public BaseFilter, public IAMFilterMiscFlags {
 public:
  class InputPin;

  HRESULT WINAPI QueryInterface(REFIID iid, void** object) override { return BaseFilter::QueryInterface(iid, object); }
  ULONG WINAPI AddRef() override { return BaseFilter::AddRef(); }
  ULONG WINAPI Release() override { return BaseFilter::Release(); }
  ULONG WINAPI GetMiscFlags() override { return AM_FILTER_MISC_FLAGS_IS_RENDERER; }

  int PinCount() override { return 1; }
  BasePin* PinAt(int index) override;

  virtual HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) = 0;
  virtual HRESULT DoRenderSample(IMediaSample* sample) = 0;
  virtual HRESULT SetMediaType(const AM_MEDIA_TYPE*) { return S_OK; }
  virtual void OnEndOfStream() {}
  virtual void OnFlush() {}
  // True once the stream ended (and until the next flush or stop).
  bool EndOfStreamSeen() const { return endOfStream_; }

  class InputPin : public BaseInputPin {
   public:
    InputPin(BaseRenderer* filter, const WCHAR* name);
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT SetMediaType(const AM_MEDIA_TYPE* type) override;
    HRESULT WINAPI Receive(IMediaSample* sample) override;
    HRESULT WINAPI EndOfStream() override;
    HRESULT WINAPI BeginFlush() override;
    HRESULT WINAPI EndFlush() override;

   private:
    BaseRenderer* owner_;
  };

 protected:
  BaseRenderer(const CLSID& clsid, const WCHAR* pinName);
  ~BaseRenderer() override;
  HRESULT QueryFilterInterface(REFIID iid, void** object) override;
  HRESULT OnStop() override;
  HRESULT OnRun(REFERENCE_TIME start) override;
  // Serialises rendering against state changes that tear the output down.
  std::mutex renderLock_;

 private:
  friend class InputPin;
  void EndOfStreamReached();

  InputPin* pin_;
  std::atomic<bool> endOfStream_{false};
  std::atomic<bool> completeSent_{false};
};

}  // namespace orlik::strmbase
