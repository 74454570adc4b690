// MemAllocator and its samples: a fixed pool of buffers in one block of
// memory, handed out by GetBuffer and given back by the sample's last
// Release.
#include "strmbase.h"

#include <cstdlib>
#include <cstring>

namespace orlik::strmbase {

// --- MediaSample ---------------------------------------------------------------------------

MediaSample::MediaSample(MemAllocator* allocator, BYTE* buffer, LONG size)
    : allocator_(allocator), buffer_(buffer), size_(size) {}

MediaSample::~MediaSample() { DeleteMediaType(type_); }

void MediaSample::ResetProperties() {
  actual_ = 0;
  start_ = end_ = 0;
  mediaStart_ = mediaEnd_ = 0;
  timeValid_ = stopValid_ = mediaTimeValid_ = false;
  sync_ = preroll_ = discontinuity_ = false;
  DeleteMediaType(type_);
  type_ = nullptr;
}

HRESULT MediaSample::QueryInterface(REFIID iid, void** object) {
  return QueryOwn(static_cast<IMediaSample*>(this), iid, object, IID_IMediaSample);
}

ULONG MediaSample::AddRef() { return ++refs_; }

ULONG MediaSample::Release() {
  return DropReference(refs_, [this] { allocator_->Return(this); });
}

HRESULT MediaSample::GetPointer(BYTE** buffer) {
  if (!buffer) return E_POINTER;
  *buffer = buffer_;
  return S_OK;
}

LONG MediaSample::GetSize() { return size_; }

HRESULT MediaSample::GetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) {
  if (!start || !end) return E_POINTER;
  if (!timeValid_) return VFW_E_SAMPLE_TIME_NOT_SET;
  *start = start_;
  if (!stopValid_) {
    *end = start_ + 1;
    return VFW_S_NO_STOP_TIME;
  }
  *end = end_;
  return S_OK;
}

HRESULT MediaSample::SetTime(REFERENCE_TIME* start, REFERENCE_TIME* end) {
  if (!start) {
    timeValid_ = stopValid_ = false;
    return S_OK;
  }
  start_ = *start;
  timeValid_ = true;
  stopValid_ = end != nullptr;
  if (end) end_ = *end;
  return S_OK;
}

HRESULT MediaSample::IsSyncPoint() { return sync_ ? S_OK : S_FALSE; }
HRESULT MediaSample::SetSyncPoint(BOOL syncPoint) {
  sync_ = syncPoint != FALSE;
  return S_OK;
}
HRESULT MediaSample::IsPreroll() { return preroll_ ? S_OK : S_FALSE; }
HRESULT MediaSample::SetPreroll(BOOL preroll) {
  preroll_ = preroll != FALSE;
  return S_OK;
}
LONG MediaSample::GetActualDataLength() { return actual_; }

HRESULT MediaSample::SetActualDataLength(LONG length) {
  if (length < 0 || length > size_) return VFW_E_BUFFER_OVERFLOW;
  actual_ = length;
  return S_OK;
}

HRESULT MediaSample::GetMediaType(AM_MEDIA_TYPE** type) {
  if (!type) return E_POINTER;
  *type = nullptr;
  if (!type_) return S_FALSE;
  *type = CreateMediaType(type_);
  return *type ? S_OK : E_OUTOFMEMORY;
}

HRESULT MediaSample::SetMediaType(AM_MEDIA_TYPE* type) {
  DeleteMediaType(type_);
  type_ = nullptr;
  if (!type) return S_OK;
  type_ = CreateMediaType(type);
  return type_ ? S_OK : E_OUTOFMEMORY;
}

HRESULT MediaSample::IsDiscontinuity() { return discontinuity_ ? S_OK : S_FALSE; }
HRESULT MediaSample::SetDiscontinuity(BOOL discontinuity) {
  discontinuity_ = discontinuity != FALSE;
  return S_OK;
}

HRESULT MediaSample::GetMediaTime(LONGLONG* start, LONGLONG* end) {
  if (!start || !end) return E_POINTER;
  if (!mediaTimeValid_) return VFW_E_MEDIA_TIME_NOT_SET;
  *start = mediaStart_;
  *end = mediaEnd_;
  return S_OK;
}

HRESULT MediaSample::SetMediaTime(LONGLONG* start, LONGLONG* end) {
  if (!start || !end) {
    mediaTimeValid_ = false;
    return S_OK;
  }
  mediaStart_ = *start;
  mediaEnd_ = *end;
  mediaTimeValid_ = true;
  return S_OK;
}

// --- MemAllocator --------------------------------------------------------------------------

MemAllocator* MemAllocator::Create() { return new MemAllocator; }

MemAllocator::~MemAllocator() { FreeMemory(); }

void MemAllocator::FreeMemory() {
  for (MediaSample* s : all_) delete s;
  all_.clear();
  free_.clear();
  std::free(memory_);
  memory_ = nullptr;
}

HRESULT MemAllocator::QueryInterface(REFIID iid, void** object) {
  return QueryOwn(static_cast<IMemAllocator*>(this), iid, object, IID_IMemAllocator);
}

ULONG MemAllocator::AddRef() { return ++refs_; }

ULONG MemAllocator::Release() {
  return DropReference(refs_, [this] { delete this; });
}

HRESULT MemAllocator::SetProperties(ALLOCATOR_PROPERTIES* request, ALLOCATOR_PROPERTIES* actual) {
  if (!request || !actual) return E_POINTER;
  std::lock_guard lock(mutex_);
  if (committed_) return VFW_E_ALREADY_COMMITTED;
  if (all_.size() != free_.size()) return VFW_E_BUFFERS_OUTSTANDING;
  if (request->cBuffers <= 0 || request->cbBuffer <= 0 || request->cbPrefix < 0) return E_INVALIDARG;
  LONG align = request->cbAlign <= 0 ? 1 : request->cbAlign;
  if (align & (align - 1)) return VFW_E_BADALIGN;
  // Bounded so the pool's size fits the 32-bit sizes samples report.
  if (int64_t{request->cBuffers} * (int64_t{request->cbBuffer} + request->cbPrefix + align) >
      0x7FFFFFFFLL)
    return E_OUTOFMEMORY;
  props_ = *request;
  props_.cbAlign = align;
  propsSet_ = true;
  *actual = props_;
  return S_OK;
}

HRESULT MemAllocator::GetProperties(ALLOCATOR_PROPERTIES* properties) {
  if (!properties) return E_POINTER;
  std::lock_guard lock(mutex_);
  *properties = props_;
  return S_OK;
}

HRESULT MemAllocator::Commit() {
  std::lock_guard lock(mutex_);
  if (!propsSet_) return VFW_E_SIZENOTSET;
  if (committed_) return S_OK;
  if (all_.empty()) {
    // Each buffer starts aligned after its prefix.
    size_t align = size_t(props_.cbAlign);
    size_t stride = (size_t(props_.cbPrefix) + size_t(props_.cbBuffer) + align - 1) / align * align;
    size_t base = align < 16 ? 16 : align;
    size_t total = (stride * size_t(props_.cBuffers) + base - 1) / base * base;
    memory_ = static_cast<BYTE*>(std::aligned_alloc(base, total));
    if (!memory_) return E_OUTOFMEMORY;
    for (LONG i = 0; i < props_.cBuffers; ++i) {
      BYTE* buffer = memory_ + stride * size_t(i) + size_t(props_.cbPrefix);
      auto* sample = new MediaSample(this, buffer, props_.cbBuffer);
      all_.push_back(sample);
      free_.push_back(sample);
    }
  }
  committed_ = true;
  return S_OK;
}

HRESULT MemAllocator::Decommit() {
  std::lock_guard lock(mutex_);
  committed_ = false;
  freed_.notify_all();
  // The memory goes once every sample is back; samples still out come back
  // through Return.
  if (all_.size() == free_.size()) FreeMemory();
  return S_OK;
}

HRESULT MemAllocator::GetBuffer(IMediaSample** sample, REFERENCE_TIME* start, REFERENCE_TIME* end,
                                DWORD flags) {
  if (!sample) return E_POINTER;
  *sample = nullptr;
  MediaSample* s;
  {
    std::unique_lock lock(mutex_);
    for (;;) {
      if (!committed_) return VFW_E_NOT_COMMITTED;
      if (!free_.empty()) break;
      if (flags & AM_GBF_NOWAIT) return VFW_E_TIMEOUT;
      freed_.wait(lock);
    }
    s = free_.front();
    free_.pop_front();
  }
  s->ResetProperties();
  if (start) s->SetTime(start, end);
  // An outstanding sample keeps its allocator alive.
  AddRef();
  s->refs_ = 1;
  *sample = s;
  return S_OK;
}

HRESULT MemAllocator::ReleaseBuffer(IMediaSample* sample) {
  if (!sample) return E_POINTER;
  // Samples come back through their own Release; a caller that calls this
  // directly hands back its reference.
  sample->Release();
  return S_OK;
}

void MemAllocator::Return(MediaSample* sample) {
  {
    std::lock_guard lock(mutex_);
    free_.push_back(sample);
    if (!committed_ && all_.size() == free_.size()) FreeMemory();
    freed_.notify_one();
  }
  Release();
}

}  // namespace orlik::strmbase
