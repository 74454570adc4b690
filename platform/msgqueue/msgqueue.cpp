// Point-to-point message queues.
//
// A named queue is a shared object (core/shared_object.h), so every process
// of the panel reaches the same queue by name and names belong to the panel.
// After the object's header come the queue's settings and counters and a ring
// of fixed-size message slots. Storage is a sparse file: pages are taken when
// a message is written into them and, for MSGQUEUE_NOPRECOMMIT queues, given
// back when the reader has moved past them, so a queue of 1,000,000 messages
// costs what it holds. Ends are counted per process as the object's holders
// (readers and writers), so the ends of a process that died without closing
// them are taken away again (checked at least every 100 ms while the queue is
// in use). The last end to close marks the queue dead and removes the name.
#include <orlik/kernel.h>
#include <orlik/msgqueue.h>
#include <orlik/text.h>
#include <orlik/threads.h>

#include "core/last_error.h"
#include "core/shared_object.h"
#include "core/waitable.h"

#include <sys/mman.h>

#include <atomic>
#include <cstring>
#include <memory>
#include <optional>
#include <string>

namespace orlik {
namespace {

constexpr uint32_t kMagic = 0x5147534D;        // "MSGQ"
constexpr uint64_t kPage = 4096;
constexpr uint64_t kUnlimitedRing = 256u << 20;  // ring of a queue without a message limit
constexpr uint64_t kLargestRing = 4ull << 30;    // address space one queue may take
constexpr uint32_t kLargestMessage = 16u << 20;

constexpr uint64_t kPruneInterval = 100000000;   // ns between checks for dead processes

// The two kinds of end a process holds.
constexpr int kReaders = 0;
constexpr int kWriters = 1;

// Each message slot starts with one word: the message size, and the alert
// flag in the top bit. A one-byte message takes an 8-byte slot.
constexpr uint32_t kAlertBit = 1u << 31;
struct SlotHeader {
  uint32_t word;
  uint32_t size() const { return word & ~kAlertBit; }
  uint32_t flags() const { return (word & kAlertBit) ? MSGQUEUE_MSGALERT : 0; }
};

struct QueueState {
  shared::Header object;
  uint32_t flags;
  uint32_t maxMessages;  // as asked; 0 = no limit
  uint32_t cbMaxMessage;
  uint32_t slotSize;
  uint64_t slots;  // slots in the ring
  uint64_t dataOffset;
  uint64_t head;  // index of the oldest message
  uint64_t tail;  // index the next message goes to
  uint32_t peak;
};

// One process's view of a queue: the mapping, shared by all its ends there.
struct Queue {
  explicit Queue(std::shared_ptr<shared::Object> o) : object(std::move(o)), s(object->As<QueueState>()) {}

  shared::Header* header() const { return &s->object; }
  uint8_t* Slot(uint64_t index) const {
    return reinterpret_cast<uint8_t*>(s) + s->dataOffset + (index % s->slots) * s->slotSize;
  }
  uint64_t Count() const { return s->tail - s->head; }
  bool Full() const {
    uint64_t limit = s->maxMessages ? s->maxMessages : s->slots;
    return Count() >= limit;
  }
  bool Broken() const { return (s->flags & MSGQUEUE_ALLOW_BROKEN) != 0; }
  uint32_t Readers() const { return s->object.holders.Total(kReaders); }
  uint32_t Writers() const { return s->object.holders.Total(kWriters); }
  // After the reader moved from slot `from` to the next: give back the pages
  // it has left behind, unless the writer has come round into them.
  void ReleaseBehind(uint64_t from) {
    if (!(s->flags & MSGQUEUE_NOPRECOMMIT)) return;
    uint64_t ring = s->slots * s->slotSize;
    uint64_t oldOff = (from % s->slots) * s->slotSize;
    uint64_t newOff = (s->head % s->slots) * s->slotSize;
    bool wrapped = newOff == 0;
    if (!wrapped && newOff / kPage == oldOff / kPage) return;
    uint64_t start = oldOff / kPage * kPage;
    uint64_t end = wrapped ? (ring + kPage - 1) / kPage * kPage : newOff / kPage * kPage;
    uint64_t behind = wrapped ? ring - start : newOff - start;
    if (end <= start || Count() * s->slotSize + behind > ring) return;
    madvise(reinterpret_cast<uint8_t*>(s) + s->dataOffset + start, end - start, MADV_REMOVE);
  }
  // Takes away the ends of processes that have gone, now and then.
  void PruneNowAndThen(shared::Lock& lock) {
    if (s->object.holders.PruneIfDue(kPruneInterval)) lock.Broadcast();
  }

  std::shared_ptr<shared::Object> object;
  QueueState* s;
};

// One end of a queue: a handle with read or write access.
class QueueEnd final : public Waitable {
 public:
  QueueEnd(Queue queue, bool read) : q(std::move(queue)), reading(read) {}

  int kind() const { return reading ? kReaders : kWriters; }

  void OnClose() override {
    if (closed.exchange(true)) return;
    q.object->Release(kind());
  }

  DWORD Wait(DWORD milliseconds) override {
    auto result = shared::WaitUntil(q.header(), shared::Deadline::After(milliseconds), [this](shared::Lock&) {
      return closed || (reading ? q.Count() > 0 : !q.Full());
    }, kPruneInterval);
    if (result == shared::WaitResult::kFailed) SetLastError(ERROR_GEN_FAILURE);
    return result == shared::WaitResult::kDone       ? WAIT_OBJECT_0
           : result == shared::WaitResult::kTimedOut ? WAIT_TIMEOUT
                                                     : WAIT_FAILED;
  }

  Queue q;
  const bool reading;
  std::atomic<bool> closed{false};
};

struct Layout {
  uint32_t slotSize;
  uint64_t slots;
  uint64_t dataOffset;
  uint64_t totalSize;
};

bool PlanLayout(const MSGQUEUEOPTIONS& o, Layout& l) {
  if (o.cbMaxMessage == 0 || o.cbMaxMessage > kLargestMessage) return false;
  l.slotSize = uint32_t((sizeof(SlotHeader) + o.cbMaxMessage + 7) / 8 * 8);
  l.slots = o.dwMaxMessages ? o.dwMaxMessages : kUnlimitedRing / l.slotSize;
  if (l.slots == 0) l.slots = 1;
  if (l.slots * l.slotSize > kLargestRing) return false;
  l.dataOffset = (sizeof(QueueState) + kPage - 1) / kPage * kPage;
  l.totalSize = l.dataOffset + (l.slots * l.slotSize + kPage - 1) / kPage * kPage;
  return true;
}

// The queue's part of a new object; the object counts the creator's end
// before anyone else sees it, so no opener ever finds a live queue without
// ends. Without MSGQUEUE_NOPRECOMMIT the storage is taken now, so a later
// write cannot fail for want of memory.
shared::Spec SpecFor(const MSGQUEUEOPTIONS& o, const Layout* l) {
  shared::Spec spec{kMagic, l ? l->totalSize : 0, !(o.dwFlags & MSGQUEUE_NOPRECOMMIT),
                    o.bReadAccess ? kReaders : kWriters, nullptr};
  if (l) {
    spec.init = [o, layout = *l](shared::Header* h) {
      auto* s = reinterpret_cast<QueueState*>(h);
      s->flags = o.dwFlags;
      s->maxMessages = o.dwMaxMessages;
      s->cbMaxMessage = o.cbMaxMessage;
      s->slotSize = layout.slotSize;
      s->slots = layout.slots;
      s->dataOffset = layout.dataOffset;
      s->head = s->tail = 0;
      s->peak = 0;
    };
  }
  return spec;
}

HANDLE InsertEnd(std::shared_ptr<shared::Object> object, const MSGQUEUEOPTIONS& o) {
  return InsertHandle(std::make_shared<QueueEnd>(Queue(std::move(object)), o.bReadAccess != FALSE));
}

HANDLE CreateNamed(std::u16string_view name, const MSGQUEUEOPTIONS& o) {
  // The options shape a new queue only: an existing one keeps its own, so
  // options that could not make a queue still open one.
  Layout layout{};
  bool valid = PlanLayout(o, layout);
  auto opened = shared::Open(shared::PanelName("mq", name), SpecFor(o, valid ? &layout : nullptr));
  switch (opened.how) {
    case shared::Opened::kCreated:
    case shared::Opened::kOpened: {
      HANDLE handle = InsertEnd(std::move(opened.object), o);
      SetLastError(opened.how == shared::Opened::kCreated ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS);
      return handle;
    }
    case shared::Opened::kNotFound: SetLastError(ERROR_INVALID_PARAMETER); break;
    case shared::Opened::kFull:
    case shared::Opened::kNoMemory: SetLastError(ERROR_OUTOFMEMORY); break;
    case shared::Opened::kDenied: SetLastError(ERROR_ACCESS_DENIED); break;
    case shared::Opened::kFailed: SetLastError(ERROR_GEN_FAILURE); break;
  }
  return nullptr;
}

HANDLE CreateUnnamed(const MSGQUEUEOPTIONS& o) {
  Layout layout{};
  if (!PlanLayout(o, layout)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto object = shared::CreateUnnamed(SpecFor(o, &layout));
  if (!object) {
    SetLastError(ERROR_OUTOFMEMORY);
    return nullptr;
  }
  HANDLE handle = InsertEnd(std::move(object), o);
  SetLastError(ERROR_SUCCESS);
  return handle;
}

bool ValidOptions(const MSGQUEUEOPTIONS* o) {
  return o && o->dwSize == sizeof(MSGQUEUEOPTIONS);
}

// A read or write as a blocking call: step runs under the queue's lock, at
// once and after every change, until it gives the call's result (a handle
// closed meanwhile ends it too), the time-out passes or the thread is
// terminated.
template <class Step>
BOOL Blocking(QueueEnd& end, DWORD timeout, Step step) {
  std::optional<BOOL> result;
  auto waited = shared::WaitUntil(end.q.header(), shared::Deadline::After(timeout), [&](shared::Lock& lock) {
    if (end.closed)
      result = Fail(ERROR_INVALID_HANDLE);
    else
      result = step(lock);
    return result.has_value();
  }, kPruneInterval);
  if (waited == shared::WaitResult::kDone) return *result;
  return Fail(waited == shared::WaitResult::kTimedOut ? ERROR_TIMEOUT : ERROR_GEN_FAILURE);
}

}  // namespace
}  // namespace orlik

using namespace orlik;

extern "C" {

HANDLE CreateMsgQueue(LPCWSTR name, LPMSGQUEUEOPTIONS options) {
  if (!ValidOptions(options) || options->cbMaxMessage == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (!name) return CreateUnnamed(*options);
  auto view = View(name);
  if (view.empty() || view.size() >= MAX_PATH) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return CreateNamed(view, *options);
}

HANDLE OpenMsgQueue(HANDLE, HANDLE msgQueue, LPMSGQUEUEOPTIONS options) {
  auto end = LookupHandleAs<QueueEnd>(msgQueue);
  if (!end || !ValidOptions(options)) {
    SetLastError(end ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return nullptr;
  }
  bool reading = options->bReadAccess != FALSE;
  switch (end->q.object->Attach(reading ? kReaders : kWriters)) {
    case shared::Object::Attached::kYes:
      return InsertHandle(std::make_shared<QueueEnd>(end->q, reading));
    case shared::Object::Attached::kFull:
      SetLastError(ERROR_OUTOFMEMORY);
      return nullptr;
    default:
      SetLastError(ERROR_INVALID_HANDLE);
      return nullptr;
  }
}

BOOL ReadMsgQueue(HANDLE msgQueue, LPVOID buffer, DWORD bufferSize, LPDWORD bytesRead,
                  DWORD timeout, DWORD* flags) {
  auto end = LookupHandleAs<QueueEnd>(msgQueue);
  if (!end) return Fail(ERROR_INVALID_HANDLE);
  if (!end->reading) return Fail(ERROR_ACCESS_DENIED);
  if (!buffer && bufferSize) return Fail(ERROR_INVALID_PARAMETER);
  Queue& q = end->q;
  return Blocking(*end, timeout, [&](shared::Lock& lock) -> std::optional<BOOL> {
    if (q.Count() > 0) {
      uint8_t* slot = q.Slot(q.s->head);
      SlotHeader header;
      std::memcpy(&header, slot, sizeof header);
      if (bytesRead) *bytesRead = header.size();
      // A message larger than the buffer stays queued for a larger read.
      if (header.size() > bufferSize) return Fail(ERROR_INSUFFICIENT_BUFFER);
      if (header.size()) std::memcpy(buffer, slot + sizeof header, header.size());
      if (flags) *flags = header.flags();
      uint64_t from = q.s->head++;
      q.ReleaseBehind(from);
      lock.Broadcast();
      return TRUE;
    }
    q.PruneNowAndThen(lock);
    if (q.Writers() == 0 && !q.Broken()) return Fail(ERROR_PIPE_NOT_CONNECTED);
    return std::nullopt;
  });
}

BOOL WriteMsgQueue(HANDLE msgQueue, LPVOID buffer, DWORD dataSize, DWORD timeout, DWORD flags) {
  auto end = LookupHandleAs<QueueEnd>(msgQueue);
  if (!end) return Fail(ERROR_INVALID_HANDLE);
  if (end->reading) return Fail(ERROR_ACCESS_DENIED);
  if (!buffer && dataSize) return Fail(ERROR_INVALID_PARAMETER);
  Queue& q = end->q;
  if (dataSize > q.s->cbMaxMessage) return Fail(ERROR_INSUFFICIENT_BUFFER);
  return Blocking(*end, timeout, [&](shared::Lock& lock) -> std::optional<BOOL> {
    // Without a reader the message would never be taken: refuse it.
    q.PruneNowAndThen(lock);
    if (q.Readers() == 0 && !q.Broken()) return Fail(ERROR_PIPE_NOT_CONNECTED);
    if (q.Full()) return std::nullopt;
    uint8_t* slot = q.Slot(q.s->tail);
    SlotHeader header{dataSize | ((flags & MSGQUEUE_MSGALERT) ? kAlertBit : 0)};
    std::memcpy(slot, &header, sizeof header);
    if (dataSize) std::memcpy(slot + sizeof header, buffer, dataSize);
    ++q.s->tail;
    if (q.Count() > q.s->peak) q.s->peak = uint32_t(q.Count());
    lock.Broadcast();
    return TRUE;
  });
}

BOOL GetMsgQueueInfo(HANDLE msgQueue, LPMSGQUEUEINFO info) {
  auto end = LookupHandleAs<QueueEnd>(msgQueue);
  if (!end) return Fail(ERROR_INVALID_HANDLE);
  if (!info || info->dwSize != sizeof(MSGQUEUEINFO)) return Fail(ERROR_INVALID_PARAMETER);
  const Queue& q = end->q;
  shared::Lock lock(q.header());
  if (!lock.held()) return Fail(ERROR_GEN_FAILURE);
  if (q.s->object.holders.Prune()) lock.Broadcast();
  info->dwFlags = q.s->flags;
  info->dwMaxMessages = q.s->maxMessages;
  info->cbMaxMessage = q.s->cbMaxMessage;
  info->dwCurrentMessages = DWORD(q.Count());
  info->dwMaxQueueMessages = q.s->peak;
  info->wNumReaders = WORD(std::min<uint32_t>(q.Readers(), 0xFFFF));
  info->wNumWriters = WORD(std::min<uint32_t>(q.Writers(), 0xFFFF));
  return TRUE;
}

BOOL CloseMsgQueue(HANDLE msgQueue) {
  if (!LookupHandleAs<QueueEnd>(msgQueue)) return Fail(ERROR_INVALID_HANDLE);
  return CloseHandle(msgQueue);
}

}  // extern "C"
