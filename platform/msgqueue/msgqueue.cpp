// Point-to-point message queues.
//
// A named queue lives in a POSIX shared-memory object, so every process of the
// panel reaches the same queue by name. The panel is the device root: names
// are looked up in the namespace of ORLIK_ROOT, so two simulated panels on one
// host keep their queues apart. The object holds a header (a process-shared,
// robust mutex and condition variable, the counters) and a ring of fixed-size
// message slots. Storage is a sparse file: pages are taken when a message is
// written into them and, for MSGQUEUE_NOPRECOMMIT queues, given back when the
// reader has moved past them, so a queue of 1,000,000 messages costs what it
// holds. Ends are counted per process, so the ends of a process that died
// without closing them are taken away again (checked at least every 100 ms
// while the queue is in use). The last end to close marks the queue dead and
// removes the name.
#include <orlik/kernel.h>
#include <orlik/msgqueue.h>
#include <orlik/text.h>
#include <orlik/threads.h>

#include "core/paths.h"
#include "core/thread_control.h"
#include "core/waitable.h"

#include <fcntl.h>
#include <signal.h>
#include <pthread.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <map>
#include <mutex>
#include <string>

namespace orlik {
namespace {

constexpr uint32_t kMagic = 0x5147534D;        // "MSGQ"
constexpr uint64_t kPage = 4096;
constexpr uint64_t kUnlimitedRing = 256u << 20;  // ring of a queue without a message limit
constexpr uint64_t kLargestRing = 4ull << 30;    // address space one queue may take
constexpr uint32_t kLargestMessage = 16u << 20;

constexpr int kEndSlots = 64;                    // processes with ends open at once
constexpr uint64_t kPruneInterval = 100000000;   // ns between checks for dead processes

// The ends one process has open.
struct ProcessEnds {
  int32_t pid;
  uint32_t readers;
  uint32_t writers;
  uint32_t unused;
  uint64_t start;  // the process's start time, against reuse of its id
};

// Each message slot starts with one word: the message size, and the alert
// flag in the top bit. A one-byte message takes an 8-byte slot.
constexpr uint32_t kAlertBit = 1u << 31;
struct SlotHeader {
  uint32_t word;
  uint32_t size() const { return word & ~kAlertBit; }
  uint32_t flags() const { return (word & kAlertBit) ? MSGQUEUE_MSGALERT : 0; }
};

struct SharedHeader {
  uint32_t magic;
  std::atomic<uint32_t> ready;  // 1 once the creator has set everything up
  pthread_mutex_t mutex;        // robust: a process dying inside does not wedge the queue
  pthread_cond_t changed;       // messages, room or peers changed
  uint32_t flags;
  uint32_t maxMessages;  // as asked; 0 = no limit
  uint32_t cbMaxMessage;
  uint32_t slotSize;
  uint64_t slots;  // slots in the ring
  uint64_t dataOffset;
  uint64_t totalSize;
  uint64_t head;  // index of the oldest message
  uint64_t tail;  // index the next message goes to
  uint32_t peak;
  uint32_t readers;  // totals over processes
  uint32_t writers;
  uint32_t dead;  // no end is open; the name is being removed
  uint64_t lastPrune;
  ProcessEnds ends[kEndSlots];
};

uint64_t NowNs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return uint64_t(t.tv_sec) * 1000000000ull + uint64_t(t.tv_nsec);
}

// Start time of a process (clock ticks after boot), 0 when unknown.
uint64_t StartTimeOf(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  auto paren = text.rfind(')');
  if (paren == std::string::npos) return 0;
  std::istringstream fields(text.substr(paren + 2));
  std::string field;
  for (int i = 3; i <= 22 && fields >> field; ++i) {
  }
  return std::strtoull(field.c_str(), nullptr, 10);
}

struct Self {
  pid_t pid;
  uint64_t start;
};
Self Me() {
  static std::atomic<pid_t> cachedPid{0};
  static std::atomic<uint64_t> cachedStart{0};
  pid_t pid = getpid();
  if (cachedPid.load() != pid) {  // first use, or a forked child
    cachedStart = StartTimeOf(pid);
    cachedPid = pid;
  }
  return {pid, cachedStart.load()};
}

bool Alive(const ProcessEnds& p) {
  if (kill(p.pid, 0) != 0 && errno == ESRCH) return false;
  uint64_t start = StartTimeOf(p.pid);
  return start == 0 || p.start == 0 || start == p.start;
}

// Takes away the ends of processes that have gone. Under the queue's lock.
void Prune(SharedHeader* h) {
  Self me = Me();
  bool changed = false;
  for (auto& p : h->ends) {
    if (p.pid == 0 || p.pid == me.pid || Alive(p)) continue;
    h->readers -= std::min(h->readers, p.readers);
    h->writers -= std::min(h->writers, p.writers);
    p = ProcessEnds{};
    changed = true;
  }
  h->lastPrune = NowNs();
  if (changed) pthread_cond_broadcast(&h->changed);
}

void PruneNowAndThen(SharedHeader* h) {
  if (NowNs() - h->lastPrune >= kPruneInterval) Prune(h);
}

// Counts one end of the calling process. False when no slot is free.
bool CountEnd(SharedHeader* h, bool reading, int delta) {
  Self me = Me();
  ProcessEnds* mine = nullptr;
  for (auto& p : h->ends)
    if (p.pid == me.pid) mine = &p;
  if (!mine && delta > 0) {
    for (auto& p : h->ends)
      if (p.pid == 0 && !mine) mine = &p;
    if (!mine) return false;
    *mine = ProcessEnds{me.pid, 0, 0, 0, me.start};
  }
  if (!mine) return false;
  uint32_t& ends = reading ? mine->readers : mine->writers;
  uint32_t& total = reading ? h->readers : h->writers;
  if (delta > 0) {
    ++ends;
    ++total;
  } else if (ends > 0) {
    --ends;
    if (total > 0) --total;
  }
  if (mine->readers == 0 && mine->writers == 0) *mine = ProcessEnds{};
  return true;
}

// One process's mapping of a queue, shared by all its handles to that queue.
class SharedQueue {
 public:
  SharedQueue(SharedHeader* header, size_t size, int fd, std::string shmName)
      : h(header), size_(size), fd_(fd), key(std::move(shmName)) {}
  ~SharedQueue() {
    munmap(h, size_);
    if (fd_ >= 0) close(fd_);
  }
  SharedQueue(const SharedQueue&) = delete;
  SharedQueue& operator=(const SharedQueue&) = delete;

  uint8_t* Slot(uint64_t index) const {
    return reinterpret_cast<uint8_t*>(h) + h->dataOffset + (index % h->slots) * h->slotSize;
  }
  uint64_t Count() const { return h->tail - h->head; }
  bool Full() const {
    uint64_t limit = h->maxMessages ? h->maxMessages : h->slots;
    return Count() >= limit;
  }
  bool Broken() const { return (h->flags & MSGQUEUE_ALLOW_BROKEN) != 0; }
  // After the reader moved from slot `from` to the next: give back the pages
  // it has left behind, unless the writer has come round into them.
  void ReleaseBehind(uint64_t from) {
    if (!(h->flags & MSGQUEUE_NOPRECOMMIT)) return;
    uint64_t ring = h->slots * h->slotSize;
    uint64_t oldOff = (from % h->slots) * h->slotSize;
    uint64_t newOff = (h->head % h->slots) * h->slotSize;
    bool wrapped = newOff == 0;
    if (!wrapped && newOff / kPage == oldOff / kPage) return;
    uint64_t start = oldOff / kPage * kPage;
    uint64_t end = wrapped ? (ring + kPage - 1) / kPage * kPage : newOff / kPage * kPage;
    uint64_t behind = wrapped ? ring - start : newOff - start;
    if (end <= start || Count() * h->slotSize + behind > ring) return;
    madvise(reinterpret_cast<uint8_t*>(h) + h->dataOffset + start, end - start, MADV_REMOVE);
  }

  SharedHeader* h;
  size_t size_;
  int fd_;
  const std::string key;  // shared-memory name; empty for an unnamed queue
};

// The queue's lock. A previous owner that died is recovered from: every
// update below leaves the header consistent between statements that matter.
class QueueLock {
 public:
  explicit QueueLock(SharedHeader* h) : h_(h) {
    int r = pthread_mutex_lock(&h_->mutex);
    if (r == EOWNERDEAD) r = pthread_mutex_consistent(&h_->mutex);
    held_ = r == 0;
  }
  ~QueueLock() { Unlock(); }
  QueueLock(const QueueLock&) = delete;
  QueueLock& operator=(const QueueLock&) = delete;
  bool held() const { return held_; }
  void Unlock() {
    if (held_) pthread_mutex_unlock(&h_->mutex);
    held_ = false;
  }
  // Waits for a change until the deadline (null: no limit), at most one
  // check interval, so a peer that died is noticed. False on time-out.
  bool Wait(const timespec* deadline) {
    timespec slice{};
    clock_gettime(CLOCK_MONOTONIC, &slice);
    slice.tv_nsec += long(kPruneInterval);
    if (slice.tv_nsec >= 1000000000L) {
      slice.tv_sec += 1;
      slice.tv_nsec -= 1000000000L;
    }
    bool sliceFirst = !deadline || slice.tv_sec < deadline->tv_sec ||
                      (slice.tv_sec == deadline->tv_sec && slice.tv_nsec < deadline->tv_nsec);
    int r = pthread_cond_timedwait(&h_->changed, &h_->mutex, sliceFirst ? &slice : deadline);
    if (r == ETIMEDOUT && sliceFirst) r = 0;
    if (r == EOWNERDEAD) pthread_mutex_consistent(&h_->mutex);
    return r != ETIMEDOUT;
  }

 private:
  SharedHeader* h_;
  bool held_ = false;
};

void Broadcast(SharedHeader* h) { pthread_cond_broadcast(&h->changed); }

timespec DeadlineAfter(DWORD milliseconds) {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  t.tv_sec += time_t(milliseconds / 1000);
  t.tv_nsec += long(milliseconds % 1000) * 1000000L;
  if (t.tv_nsec >= 1000000000L) {
    t.tv_sec += 1;
    t.tv_nsec -= 1000000000L;
  }
  return t;
}

bool Passed(const timespec& deadline) {
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec > deadline.tv_sec ||
         (now.tv_sec == deadline.tv_sec && now.tv_nsec >= deadline.tv_nsec);
}

BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// One end of a queue: a handle with read or write access.
class QueueEnd final : public Waitable {
 public:
  QueueEnd(std::shared_ptr<SharedQueue> queue, bool read) : q(std::move(queue)), reading(read) {}

  enum class Attached { kYes, kDead, kOrphaned, kFull };
  // Counts this end in the queue. A queue whose every end belonged to
  // processes that have died is orphaned: it is marked dead here, and the
  // caller removes its name.
  Attached Attach() {
    QueueLock lock(q->h);
    if (!lock.held() || q->h->dead) return Attached::kDead;
    Prune(q->h);
    if (q->h->readers == 0 && q->h->writers == 0) {
      q->h->dead = 1;
      Broadcast(q->h);
      return Attached::kOrphaned;
    }
    if (!CountEnd(q->h, reading, +1)) return Attached::kFull;
    Broadcast(q->h);
    return Attached::kYes;
  }

  void OnClose() override {
    if (closed.exchange(true)) return;
    bool last = false;
    {
      QueueLock lock(q->h);
      CountEnd(q->h, reading, -1);
      last = q->h->readers == 0 && q->h->writers == 0;
      if (last) q->h->dead = 1;
      Broadcast(q->h);  // waiters on this end and peers waiting for it
    }
    if (last && !q->key.empty()) shm_unlink(q->key.c_str());
  }

  DWORD Wait(DWORD milliseconds) override {
    auto queue = q;
    TerminationScope scope([queue] {
      QueueLock lock(queue->h);
      Broadcast(queue->h);
    });
    timespec deadline = DeadlineAfter(milliseconds == INFINITE ? 0 : milliseconds);
    QueueLock lock(q->h);
    for (;;) {
      bool ready = reading ? q->Count() > 0 : !q->Full();
      if (ready || closed) return WAIT_OBJECT_0;
      if (scope.Requested()) {
        lock.Unlock();
        scope.Exit();
      }
      if (milliseconds != INFINITE && (milliseconds == 0 || Passed(deadline))) return WAIT_TIMEOUT;
      lock.Wait(milliseconds == INFINITE ? nullptr : &deadline);
    }
  }

  std::shared_ptr<SharedQueue> q;
  const bool reading;
  std::atomic<bool> closed{false};
};

// Processes map each queue once; handles of one process share the mapping.
struct Registry {
  std::mutex mutex;
  std::map<std::string, std::weak_ptr<SharedQueue>> queues;
};
Registry& Queues() {
  static auto* registry = new Registry;  // lives until the process ends
  return *registry;
}

// The shared-memory name of a queue name in this panel's namespace.
std::string KeyFor(std::u16string_view name) {
  std::error_code ec;
  std::string root = std::filesystem::weakly_canonical(std::filesystem::absolute(DeviceRoot()), ec);
  if (ec) root = DeviceRoot();
  std::string text = root + '\n' + ToUtf8(name);
  uint64_t hash = 1469598103934665603ull;  // FNV-1a
  for (unsigned char c : text) hash = (hash ^ c) * 1099511628211ull;
  char key[40];
  std::snprintf(key, sizeof key, "/orlik-mq-%016llx", static_cast<unsigned long long>(hash));
  return key;
}

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
  l.dataOffset = (sizeof(SharedHeader) + kPage - 1) / kPage * kPage;
  l.totalSize = l.dataOffset + (l.slots * l.slotSize + kPage - 1) / kPage * kPage;
  return true;
}

// Sets the queue up with the creator's end already counted, so no opener
// ever sees a live queue without ends.
void InitHeader(SharedHeader* h, const MSGQUEUEOPTIONS& o, const Layout& l) {
  h->magic = kMagic;
  pthread_mutexattr_t ma;
  pthread_mutexattr_init(&ma);
  pthread_mutexattr_setpshared(&ma, PTHREAD_PROCESS_SHARED);
  pthread_mutexattr_setrobust(&ma, PTHREAD_MUTEX_ROBUST);
  pthread_mutex_init(&h->mutex, &ma);
  pthread_mutexattr_destroy(&ma);
  pthread_condattr_t ca;
  pthread_condattr_init(&ca);
  pthread_condattr_setpshared(&ca, PTHREAD_PROCESS_SHARED);
  pthread_condattr_setclock(&ca, CLOCK_MONOTONIC);
  pthread_cond_init(&h->changed, &ca);
  pthread_condattr_destroy(&ca);
  h->flags = o.dwFlags;
  h->maxMessages = o.dwMaxMessages;
  h->cbMaxMessage = o.cbMaxMessage;
  h->slotSize = l.slotSize;
  h->slots = l.slots;
  h->dataOffset = l.dataOffset;
  h->totalSize = l.totalSize;
  h->head = h->tail = 0;
  h->peak = 0;
  h->readers = h->writers = 0;
  h->dead = 0;
  h->lastPrune = NowNs();
  for (auto& p : h->ends) p = ProcessEnds{};
  CountEnd(h, o.bReadAccess != FALSE, +1);
  h->ready.store(1, std::memory_order_release);
}

// Creates the shared object under key. Null with the last error set on failure.
std::shared_ptr<SharedQueue> CreateShared(const std::string& key, int fd,
                                          const MSGQUEUEOPTIONS& o, const Layout& l) {
  bool ok = ftruncate(fd, off_t(l.totalSize)) == 0;
  // Without MSGQUEUE_NOPRECOMMIT the storage is taken now, so a later write
  // cannot fail for want of memory.
  if (ok && !(o.dwFlags & MSGQUEUE_NOPRECOMMIT)) ok = posix_fallocate(fd, 0, off_t(l.totalSize)) == 0;
  void* p = ok ? mmap(nullptr, l.totalSize, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0) : MAP_FAILED;
  if (p == MAP_FAILED) {
    close(fd);
    shm_unlink(key.c_str());
    SetLastError(ERROR_OUTOFMEMORY);
    return nullptr;
  }
  auto* h = static_cast<SharedHeader*>(p);
  InitHeader(h, o, l);
  return std::make_shared<SharedQueue>(h, l.totalSize, fd, key);
}

// Maps an existing object. Null when it is not (yet, or any more) usable.
std::shared_ptr<SharedQueue> MapExisting(const std::string& key, int fd) {
  struct stat st{};
  if (fstat(fd, &st) != 0 || size_t(st.st_size) < sizeof(SharedHeader)) {
    close(fd);
    return nullptr;
  }
  void* p = mmap(nullptr, size_t(st.st_size), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (p == MAP_FAILED) {
    close(fd);
    return nullptr;
  }
  auto* h = static_cast<SharedHeader*>(p);
  for (int i = 0; i < 5000 && h->ready.load(std::memory_order_acquire) == 0; ++i) usleep(1000);
  if (h->ready.load(std::memory_order_acquire) == 0 || h->magic != kMagic ||
      h->totalSize != uint64_t(st.st_size)) {
    // Never finished in five seconds (its creator died half-way), or not a
    // queue: the name is free for a new one.
    munmap(p, size_t(st.st_size));
    close(fd);
    shm_unlink(key.c_str());
    return nullptr;
  }
  return std::make_shared<SharedQueue>(h, size_t(st.st_size), fd, key);
}

// Another end of a queue this process has mapped.
HANDLE Insert(std::shared_ptr<QueueEnd> end) {
  switch (end->Attach()) {
    case QueueEnd::Attached::kYes:
      return InsertHandle(std::move(end));
    case QueueEnd::Attached::kFull:
      SetLastError(ERROR_OUTOFMEMORY);
      return nullptr;
    default:
      SetLastError(ERROR_INVALID_HANDLE);
      return nullptr;
  }
}

HANDLE CreateNamed(std::u16string_view name, const MSGQUEUEOPTIONS& o) {
  std::string key = KeyFor(name);
  auto& registry = Queues();
  std::lock_guard guard(registry.mutex);
  // A dead queue's name is being removed by its last closer; an orphaned one
  // (all its ends in processes that died) is removed here. Stale objects
  // nobody removes (a creator that died half-way) go after a while.
  for (int attempt = 0; attempt < 3000; ++attempt) {
    std::shared_ptr<SharedQueue> queue;
    auto known = registry.queues.find(key);
    if (known != registry.queues.end()) {
      queue = known->second.lock();
      registry.queues.erase(known);
    }
    if (!queue) {
      int fd = shm_open(key.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
      if (fd >= 0) {
        Layout layout{};
        if (!PlanLayout(o, layout)) {
          close(fd);
          shm_unlink(key.c_str());
          SetLastError(ERROR_INVALID_PARAMETER);
          return nullptr;
        }
        queue = CreateShared(key, fd, o, layout);  // counts the creator's end
        if (!queue) return nullptr;
        registry.queues[key] = queue;
        HANDLE handle = InsertHandle(std::make_shared<QueueEnd>(queue, o.bReadAccess != FALSE));
        SetLastError(ERROR_SUCCESS);
        return handle;
      }
      if (errno != EEXIST) {
        SetLastError(errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_GEN_FAILURE);
        return nullptr;
      }
      fd = shm_open(key.c_str(), O_RDWR | O_CLOEXEC, 0600);
      if (fd >= 0) queue = MapExisting(key, fd);
    }
    if (queue) {
      auto end = std::make_shared<QueueEnd>(queue, o.bReadAccess != FALSE);
      switch (end->Attach()) {
        case QueueEnd::Attached::kYes: {
          registry.queues[key] = queue;
          HANDLE handle = InsertHandle(end);
          SetLastError(ERROR_ALREADY_EXISTS);
          return handle;
        }
        case QueueEnd::Attached::kFull:
          SetLastError(ERROR_OUTOFMEMORY);
          return nullptr;
        case QueueEnd::Attached::kOrphaned:
          shm_unlink(key.c_str());
          continue;
        case QueueEnd::Attached::kDead:
          break;
      }
    }
    if (attempt % 1000 == 999) shm_unlink(key.c_str());
    usleep(1000);
  }
  SetLastError(ERROR_GEN_FAILURE);
  return nullptr;
}

HANDLE CreateUnnamed(const MSGQUEUEOPTIONS& o) {
  Layout layout{};
  if (!PlanLayout(o, layout)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  int populate = (o.dwFlags & MSGQUEUE_NOPRECOMMIT) ? 0 : MAP_POPULATE;
  void* p = mmap(nullptr, layout.totalSize, PROT_READ | PROT_WRITE,
                 MAP_SHARED | MAP_ANONYMOUS | populate, -1, 0);
  if (p == MAP_FAILED) {
    SetLastError(ERROR_OUTOFMEMORY);
    return nullptr;
  }
  auto* h = static_cast<SharedHeader*>(p);
  InitHeader(h, o, layout);  // counts the creator's end
  auto queue = std::make_shared<SharedQueue>(h, layout.totalSize, -1, std::string());
  HANDLE handle = InsertHandle(std::make_shared<QueueEnd>(queue, o.bReadAccess != FALSE));
  SetLastError(ERROR_SUCCESS);
  return handle;
}

bool ValidOptions(const MSGQUEUEOPTIONS* o) {
  return o && o->dwSize == sizeof(MSGQUEUEOPTIONS);
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
  return Insert(std::make_shared<QueueEnd>(end->q, options->bReadAccess != FALSE));
}

BOOL ReadMsgQueue(HANDLE msgQueue, LPVOID buffer, DWORD bufferSize, LPDWORD bytesRead,
                  DWORD timeout, DWORD* flags) {
  auto end = LookupHandleAs<QueueEnd>(msgQueue);
  if (!end) return Fail(ERROR_INVALID_HANDLE);
  if (!end->reading) return Fail(ERROR_ACCESS_DENIED);
  if (!buffer && bufferSize) return Fail(ERROR_INVALID_PARAMETER);
  auto q = end->q;
  TerminationScope scope([q] {
    QueueLock lock(q->h);
    Broadcast(q->h);
  });
  timespec deadline = DeadlineAfter(timeout == INFINITE ? 0 : timeout);
  QueueLock lock(q->h);
  if (!lock.held()) return Fail(ERROR_GEN_FAILURE);
  for (;;) {
    if (end->closed) return Fail(ERROR_INVALID_HANDLE);
    if (q->Count() > 0) {
      uint8_t* slot = q->Slot(q->h->head);
      SlotHeader header;
      std::memcpy(&header, slot, sizeof header);
      if (bytesRead) *bytesRead = header.size();
      // A message larger than the buffer stays queued for a larger read.
      if (header.size() > bufferSize) return Fail(ERROR_INSUFFICIENT_BUFFER);
      if (header.size()) std::memcpy(buffer, slot + sizeof header, header.size());
      if (flags) *flags = header.flags();
      uint64_t from = q->h->head++;
      q->ReleaseBehind(from);
      Broadcast(q->h);
      return TRUE;
    }
    PruneNowAndThen(q->h);
    if (q->h->writers == 0 && !q->Broken()) return Fail(ERROR_PIPE_NOT_CONNECTED);
    if (scope.Requested()) {
      lock.Unlock();
      scope.Exit();
    }
    if (timeout != INFINITE && (timeout == 0 || Passed(deadline))) return Fail(ERROR_TIMEOUT);
    lock.Wait(timeout == INFINITE ? nullptr : &deadline);
  }
}

BOOL WriteMsgQueue(HANDLE msgQueue, LPVOID buffer, DWORD dataSize, DWORD timeout, DWORD flags) {
  auto end = LookupHandleAs<QueueEnd>(msgQueue);
  if (!end) return Fail(ERROR_INVALID_HANDLE);
  if (end->reading) return Fail(ERROR_ACCESS_DENIED);
  if (!buffer && dataSize) return Fail(ERROR_INVALID_PARAMETER);
  auto q = end->q;
  if (dataSize > q->h->cbMaxMessage) return Fail(ERROR_INSUFFICIENT_BUFFER);
  TerminationScope scope([q] {
    QueueLock lock(q->h);
    Broadcast(q->h);
  });
  timespec deadline = DeadlineAfter(timeout == INFINITE ? 0 : timeout);
  QueueLock lock(q->h);
  if (!lock.held()) return Fail(ERROR_GEN_FAILURE);
  for (;;) {
    if (end->closed) return Fail(ERROR_INVALID_HANDLE);
    // Without a reader the message would never be taken: refuse it.
    PruneNowAndThen(q->h);
    if (q->h->readers == 0 && !q->Broken()) return Fail(ERROR_PIPE_NOT_CONNECTED);
    if (!q->Full()) {
      uint8_t* slot = q->Slot(q->h->tail);
      SlotHeader header{dataSize | ((flags & MSGQUEUE_MSGALERT) ? kAlertBit : 0)};
      std::memcpy(slot, &header, sizeof header);
      if (dataSize) std::memcpy(slot + sizeof header, buffer, dataSize);
      ++q->h->tail;
      if (q->Count() > q->h->peak) q->h->peak = uint32_t(q->Count());
      Broadcast(q->h);
      return TRUE;
    }
    if (scope.Requested()) {
      lock.Unlock();
      scope.Exit();
    }
    if (timeout != INFINITE && (timeout == 0 || Passed(deadline))) return Fail(ERROR_TIMEOUT);
    lock.Wait(timeout == INFINITE ? nullptr : &deadline);
  }
}

BOOL GetMsgQueueInfo(HANDLE msgQueue, LPMSGQUEUEINFO info) {
  auto end = LookupHandleAs<QueueEnd>(msgQueue);
  if (!end) return Fail(ERROR_INVALID_HANDLE);
  if (!info || info->dwSize != sizeof(MSGQUEUEINFO)) return Fail(ERROR_INVALID_PARAMETER);
  QueueLock lock(end->q->h);
  if (!lock.held()) return Fail(ERROR_GEN_FAILURE);
  SharedHeader* h = end->q->h;
  Prune(h);
  info->dwFlags = h->flags;
  info->dwMaxMessages = h->maxMessages;
  info->cbMaxMessage = h->cbMaxMessage;
  info->dwCurrentMessages = DWORD(h->tail - h->head);
  info->dwMaxQueueMessages = h->peak;
  info->wNumReaders = WORD(h->readers > 0xFFFF ? 0xFFFF : h->readers);
  info->wNumWriters = WORD(h->writers > 0xFFFF ? 0xFFFF : h->writers);
  return TRUE;
}

BOOL CloseMsgQueue(HANDLE msgQueue) {
  if (!LookupHandleAs<QueueEnd>(msgQueue)) return Fail(ERROR_INVALID_HANDLE);
  return CloseHandle(msgQueue);
}

}  // extern "C"
