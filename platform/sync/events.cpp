// Events. A named event lives in POSIX shared memory so every process of the
// panel can open it by its name; its state sits behind a process-shared,
// robust mutex (a process that dies holding it does not block the others)
// and a process-shared condition variable on the monotonic clock. Unnamed
// events use the same record in ordinary memory.
#include <orlik/kernel.h>
#include <orlik/sync.h>
#include <orlik/text.h>
#include <orlik/threads.h>

#include "core/paths.h"
#include "core/waitable.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <new>

namespace orlik {
namespace {

constexpr uint32_t kReady = 0x4F45564Eu;  // written last by the creator

constexpr int kMaxHolders = 64;

// The processes holding handles to a named event. A process that ends
// without closing its handles is found dead and dropped, as the system drops
// the handles of an ended process; the last holder removes the name.
struct Holder {
  int32_t pid;
  int32_t handles;
};

struct EventRecord {
  std::atomic<uint32_t> ready;
  pthread_mutex_t mutex;
  pthread_cond_t cond;
  int32_t manualReset;
  int32_t signalled;
  Holder holders[kMaxHolders];
};

// Under the record's lock: drops processes that have ended; true if any
// holder remains.
bool PruneHolders(EventRecord* r) {
  bool any = false;
  for (auto& h : r->holders) {
    if (h.pid == 0) continue;
    if (h.pid != getpid() && kill(h.pid, 0) == -1 && errno == ESRCH) {
      h = Holder{0, 0};
      continue;
    }
    any = true;
  }
  return any;
}

// Under the record's lock: one more handle of this process.
bool AddHolder(EventRecord* r) {
  PruneHolders(r);
  Holder* free = nullptr;
  for (auto& h : r->holders) {
    if (h.pid == getpid()) {
      ++h.handles;
      return true;
    }
    if (h.pid == 0 && !free) free = &h;
  }
  if (!free) return false;
  *free = Holder{getpid(), 1};
  return true;
}

// Under the record's lock: one handle of this process fewer; true when no
// process holds the event any more.
bool RemoveHolder(EventRecord* r) {
  for (auto& h : r->holders)
    if (h.pid == getpid() && --h.handles <= 0) h = Holder{0, 0};
  return !PruneHolders(r);
}

void InitRecord(EventRecord* r, bool manualReset, bool initialState) {
  pthread_mutexattr_t ma;
  pthread_mutexattr_init(&ma);
  pthread_mutexattr_setpshared(&ma, PTHREAD_PROCESS_SHARED);
  pthread_mutexattr_setrobust(&ma, PTHREAD_MUTEX_ROBUST);
  pthread_mutex_init(&r->mutex, &ma);
  pthread_mutexattr_destroy(&ma);
  pthread_condattr_t ca;
  pthread_condattr_init(&ca);
  pthread_condattr_setpshared(&ca, PTHREAD_PROCESS_SHARED);
  pthread_condattr_setclock(&ca, CLOCK_MONOTONIC);
  pthread_cond_init(&r->cond, &ca);
  pthread_condattr_destroy(&ca);
  r->manualReset = manualReset ? 1 : 0;
  r->signalled = initialState ? 1 : 0;
  for (auto& h : r->holders) h = Holder{0, 0};
  r->holders[0] = Holder{getpid(), 1};
  r->ready.store(kReady, std::memory_order_release);
}

// Locks the record; takes over the lock of a process that died holding it.
// The event's state is two words written whole, so it is consistent as is.
void LockRecord(EventRecord* r) {
  if (pthread_mutex_lock(&r->mutex) == EOWNERDEAD) pthread_mutex_consistent(&r->mutex);
}

// The shared-memory name of a named event. Named objects belong to the panel,
// which is the device root: two simulated panels on one host do not see each
// other's events.
std::string SharedName(std::u16string_view name) {
  std::string root = DeviceRoot();
  if (char* real = realpath(root.c_str(), nullptr)) {
    root = real;
    free(real);
  }
  uint64_t h = 1469598103934665603ull;
  auto mix = [&h](const void* data, size_t n) {
    auto* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < n; ++i) h = (h ^ p[i]) * 1099511628211ull;
  };
  mix(root.data(), root.size());
  mix("", 1);
  mix(name.data(), name.size() * sizeof(char16_t));
  char buf[64];
  snprintf(buf, sizeof buf, "/orlik-%u-event-%016llx", unsigned(getuid()),
           static_cast<unsigned long long>(h));
  return buf;
}

class Event final : public Waitable {
 public:
  // An unnamed event in this process's memory.
  Event(bool manualReset, bool initialState) : record_(new EventRecord) {
    InitRecord(record_, manualReset, initialState);
  }
  // A named event mapped from shared memory; this handle holds one reference.
  Event(EventRecord* shared, std::string sharedName)
      : record_(shared), sharedName_(std::move(sharedName)) {}

  ~Event() override {
    if (sharedName_.empty()) {
      pthread_cond_destroy(&record_->cond);
      pthread_mutex_destroy(&record_->mutex);
      delete record_;
      return;
    }
    LockRecord(record_);
    if (RemoveHolder(record_)) shm_unlink(sharedName_.c_str());
    pthread_mutex_unlock(&record_->mutex);
    munmap(record_, sizeof(EventRecord));
  }

  DWORD Wait(DWORD milliseconds) override {
    timespec deadline{};
    if (milliseconds != INFINITE) {
      clock_gettime(CLOCK_MONOTONIC, &deadline);
      deadline.tv_sec += milliseconds / 1000;
      deadline.tv_nsec += long(milliseconds % 1000) * 1000000L;
      if (deadline.tv_nsec >= 1000000000L) {
        deadline.tv_sec += 1;
        deadline.tv_nsec -= 1000000000L;
      }
    }
    LockRecord(record_);
    DWORD result = WAIT_OBJECT_0;
    while (!record_->signalled) {
      int rc = milliseconds == INFINITE
                   ? pthread_cond_wait(&record_->cond, &record_->mutex)
                   : pthread_cond_timedwait(&record_->cond, &record_->mutex, &deadline);
      if (rc == EOWNERDEAD) pthread_mutex_consistent(&record_->mutex);
      if (rc == ETIMEDOUT && !record_->signalled) {
        result = WAIT_TIMEOUT;
        break;
      }
    }
    if (result == WAIT_OBJECT_0 && !record_->manualReset) record_->signalled = 0;
    pthread_mutex_unlock(&record_->mutex);
    return result;
  }

  void Set() {
    LockRecord(record_);
    record_->signalled = 1;
    if (record_->manualReset)
      pthread_cond_broadcast(&record_->cond);
    else
      pthread_cond_signal(&record_->cond);
    pthread_mutex_unlock(&record_->mutex);
  }

  void Reset() {
    LockRecord(record_);
    record_->signalled = 0;
    pthread_mutex_unlock(&record_->mutex);
  }

 private:
  EventRecord* record_;
  std::string sharedName_;  // empty for an unnamed event
};

EventRecord* MapRecord(int fd) {
  void* p = mmap(nullptr, sizeof(EventRecord), PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  return p == MAP_FAILED ? nullptr : static_cast<EventRecord*>(p);
}

// Opens the named event, creating it when create is set. Sets *created.
std::shared_ptr<Event> OpenNamed(std::u16string_view name, bool create, bool manualReset,
                                 bool initialState, bool* created) {
  std::string shared = SharedName(name);
  *created = false;
  for (int attempt = 0; attempt < 100; ++attempt) {
    if (create) {
      int fd = shm_open(shared.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
      if (fd >= 0) {
        EventRecord* r = nullptr;
        if (ftruncate(fd, sizeof(EventRecord)) == 0) r = MapRecord(fd);
        close(fd);
        if (!r) {
          shm_unlink(shared.c_str());
          SetLastError(ERROR_NOT_ENOUGH_MEMORY);
          return nullptr;
        }
        InitRecord(new (r) EventRecord, manualReset, initialState);
        *created = true;
        return std::make_shared<Event>(r, shared);
      }
      if (errno != EEXIST) {
        SetLastError(ERROR_ACCESS_DENIED);
        return nullptr;
      }
    }
    int fd = shm_open(shared.c_str(), O_RDWR | O_CLOEXEC, 0600);
    if (fd < 0) {
      if (errno == ENOENT && create) continue;  // removed meanwhile: create it
      SetLastError(errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED);
      return nullptr;
    }
    // The creator may still be sizing and initialising the record.
    struct stat st {};
    for (int i = 0; i < 1000 && fstat(fd, &st) == 0 && st.st_size < off_t(sizeof(EventRecord)); ++i)
      usleep(1000);
    EventRecord* r = st.st_size >= off_t(sizeof(EventRecord)) ? MapRecord(fd) : nullptr;
    close(fd);
    if (!r) {
      SetLastError(ERROR_ACCESS_DENIED);
      return nullptr;
    }
    for (int i = 0; i < 1000 && r->ready.load(std::memory_order_acquire) != kReady; ++i)
      usleep(1000);
    if (r->ready.load(std::memory_order_acquire) != kReady) {
      munmap(r, sizeof(EventRecord));
      SetLastError(ERROR_ACCESS_DENIED);
      return nullptr;
    }
    LockRecord(r);
    // No live holder: its last handle is being closed, or every holder ended
    // without closing. Such a name no longer exists.
    bool alive = PruneHolders(r);
    bool added = alive && AddHolder(r);
    if (!alive) shm_unlink(shared.c_str());
    pthread_mutex_unlock(&r->mutex);
    if (added) return std::make_shared<Event>(r, shared);
    munmap(r, sizeof(EventRecord));
    if (alive) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);  // too many processes hold it
      return nullptr;
    }
    if (!create) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return nullptr;
    }
    usleep(1000);
  }
  SetLastError(ERROR_ACCESS_DENIED);
  return nullptr;
}

}  // namespace
}  // namespace orlik

using namespace orlik;

extern "C" {

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCWSTR name) {
  if (!name || !*name) {
    SetLastError(ERROR_SUCCESS);
    return InsertHandle(std::make_shared<Event>(manualReset != FALSE, initialState != FALSE));
  }
  if (orlik_wcslen(name) >= MAX_PATH) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  bool created = false;
  auto event = OpenNamed(View(name), true, manualReset != FALSE, initialState != FALSE, &created);
  if (!event) return nullptr;
  HANDLE h = InsertHandle(event);
  SetLastError(created ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS);
  return h;
}

HANDLE OpenEventW(DWORD, BOOL, LPCWSTR name) {
  if (!name || !*name || orlik_wcslen(name) >= MAX_PATH) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  bool created = false;
  auto event = OpenNamed(View(name), false, false, false, &created);
  return event ? InsertHandle(event) : nullptr;
}

BOOL SetEvent(HANDLE handle) {
  auto event = LookupHandleAs<Event>(handle);
  if (!event) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  event->Set();
  return TRUE;
}

BOOL ResetEvent(HANDLE handle) {
  auto event = LookupHandleAs<Event>(handle);
  if (!event) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  event->Reset();
  return TRUE;
}

}  // extern "C"
