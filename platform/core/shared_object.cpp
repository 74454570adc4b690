#include "core/shared_object.h"

#include "core/paths.h"
#include "core/thread_control.h"

#include <fcntl.h>
#include <linux/futex.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>

namespace orlik::shared {
namespace {

static_assert(std::atomic<uint32_t>::is_always_lock_free, "the ready flag is shared between processes");

constexpr uint64_t kNever = UINT64_MAX;
constexpr int kOpenAttempts = 3000;         // 1 ms apart while an object is being removed
constexpr int kStaleAfterAttempts = 1000;   // then a name nobody removes is taken away
constexpr int kReadyWaitMs = 5000;          // for a creator still setting an object up

uint64_t NowNs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return uint64_t(t.tv_sec) * 1000000000ull + uint64_t(t.tv_nsec);
}

timespec AsTimespec(uint64_t ns) {
  timespec t{};
  t.tv_sec = time_t(ns / 1000000000ull);
  t.tv_nsec = long(ns % 1000000000ull);
  return t;
}

// Start time of a process (clock ticks after boot), 0 when unknown.
uint64_t StartTimeOf(pid_t pid) {
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  auto paren = text.rfind(')');
  if (paren == std::string::npos || paren + 2 > text.size()) return 0;
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

// The same process: its id, and its start time where both are known.
bool SameProcess(int32_t pid, uint64_t start, const Self& p) {
  return pid == p.pid && (start == 0 || p.start == 0 || start == p.start);
}

bool Alive(int32_t pid, uint64_t start) {
  if (kill(pid, 0) != 0 && errno == ESRCH) return false;
  uint64_t now = StartTimeOf(pid);
  return now == 0 || start == 0 || now == start;
}

void InitHeader(Header* h, const Spec& spec) {
  h->magic = spec.magic;
  h->dead = 0;
  h->size = spec.size;
  // Shared between processes and robust.
  pthread_mutexattr_t ma;
  pthread_mutexattr_init(&ma);
  pthread_mutexattr_setpshared(&ma, PTHREAD_PROCESS_SHARED);
  pthread_mutexattr_setrobust(&ma, PTHREAD_MUTEX_ROBUST);
  pthread_mutex_init(&h->mutex, &ma);
  pthread_mutexattr_destroy(&ma);
  h->changes.store(0, std::memory_order_relaxed);
  h->holders.Clear();
  h->holders.Add(spec.kind);
  if (spec.init) spec.init(h);
  h->ready.store(1, std::memory_order_release);
}

// Maps and sets up a new object on fd. Null when it cannot be sized or mapped.
void* MakeNew(int fd, const Spec& spec) {
  bool ok = ftruncate(fd, off_t(spec.size)) == 0;
  if (ok && spec.reserve) ok = posix_fallocate(fd, 0, off_t(spec.size)) == 0;
  void* p = ok ? mmap(nullptr, spec.size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0) : MAP_FAILED;
  if (p == MAP_FAILED) return nullptr;
  InitHeader(static_cast<Header*>(p), spec);
  return p;
}

// Maps an existing object once its creator has set it up. Null when it is
// not (yet, or any more) usable; a name its creator never finished, or that
// holds something else, is removed.
std::shared_ptr<Object> MapExisting(const std::string& name, int fd, uint32_t magic) {
  struct stat st{};
  if (fstat(fd, &st) != 0 || size_t(st.st_size) < sizeof(Header)) return nullptr;  // not sized yet
  auto size = size_t(st.st_size);
  void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  if (p == MAP_FAILED) return nullptr;
  auto* h = static_cast<Header*>(p);
  for (int i = 0; i < kReadyWaitMs && h->ready.load(std::memory_order_acquire) == 0; ++i) usleep(1000);
  if (h->ready.load(std::memory_order_acquire) == 0 || h->magic != magic || h->size != size) {
    munmap(p, size);
    shm_unlink(name.c_str());
    return nullptr;
  }
  return std::make_shared<Object>(p, size, name);
}

// Each process maps an object once; its holders share the mapping.
struct Registry {
  std::mutex mutex;
  std::map<std::string, std::weak_ptr<Object>> objects;
};

Registry& Objects() {
  static auto* registry = new Registry;  // lives until the process ends
  return *registry;
}

}  // namespace

std::string PanelName(std::string_view kind, std::u16string_view name) {
  std::error_code ec;
  std::string root = std::filesystem::weakly_canonical(std::filesystem::absolute(DeviceRoot()), ec);
  if (ec) root = DeviceRoot();
  uint64_t hash = 1469598103934665603ull;  // FNV-1a
  auto mix = [&hash](const void* data, size_t n) {
    auto* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < n; ++i) hash = (hash ^ p[i]) * 1099511628211ull;
  };
  mix(root.data(), root.size());
  mix("", 1);
  mix(name.data(), name.size() * sizeof(char16_t));
  char text[96];
  std::snprintf(text, sizeof text, "/orlik-%u-%.*s-%016llx", unsigned(getuid()), int(kind.size()),
                kind.data(), static_cast<unsigned long long>(hash));
  return text;
}

// --- deadlines and the lock ----------------------------------------------

Deadline Deadline::After(DWORD milliseconds) {
  return Deadline(milliseconds == INFINITE ? kNever : NowNs() + uint64_t(milliseconds) * 1000000ull);
}

bool Deadline::Passed() const { return at_ != kNever && NowNs() >= at_; }

Lock::Lock(Header* header) : h_(header) {
  int r = pthread_mutex_lock(&h_->mutex);
  if (r == EOWNERDEAD) r = pthread_mutex_consistent(&h_->mutex);
  held_ = r == 0;
}

void Lock::Unlock() {
  if (held_) pthread_mutex_unlock(&h_->mutex);
  held_ = false;
}

namespace {

// Wakes up to `count` of the processes' threads asleep on the change count.
// Not private: the word lies in memory shared between processes.
void WakeChanged(Header* h, int count) {
  h->changes.fetch_add(1, std::memory_order_release);
  syscall(SYS_futex, &h->changes, FUTEX_WAKE, count, nullptr, nullptr, 0);
}

}  // namespace

// A process-shared condition variable keeps count of its waiters in the
// shared memory, and a waiter killed mid-wait never takes itself off, so a
// later broadcast could wait for it for ever. The change count keeps nothing
// of its waiters: each sleeps while the count is what it saw under the lock.
void Lock::Broadcast() { WakeChanged(h_, INT_MAX); }

void Lock::Signal() { WakeChanged(h_, 1); }

void Lock::Wait(const Deadline& deadline, uint64_t sliceNs) {
  uint64_t until = deadline.at_;
  if (sliceNs) until = std::min(until, NowNs() + sliceNs);
  // Wakes raise the count under the lock, so none can come between this look
  // and the sleep unnoticed: the sleep then returns at once.
  uint32_t seen = h_->changes.load(std::memory_order_acquire);
  pthread_mutex_unlock(&h_->mutex);
  timespec at = AsTimespec(until);
  syscall(SYS_futex, &h_->changes, FUTEX_WAIT_BITSET, seen, until == kNever ? nullptr : &at, nullptr,
          FUTEX_BITSET_MATCH_ANY);
  int r = pthread_mutex_lock(&h_->mutex);
  if (r == EOWNERDEAD) r = pthread_mutex_consistent(&h_->mutex);
  held_ = r == 0;
}

WaitResult WaitUntil(Header* header, const Deadline& deadline,
                     const std::function<bool(Lock&)>& done, uint64_t sliceNs) {
  // The wake runs on the terminating thread: under the lock, so it cannot
  // slip in between a look at Requested() and the wait.
  TerminationScope scope([header] {
    Lock lock(header);
    lock.Broadcast();
  });
  Lock lock(header);
  if (!lock.held()) return WaitResult::kFailed;
  for (;;) {
    if (done(lock)) return WaitResult::kDone;
    if (scope.Requested()) {
      lock.Unlock();
      scope.Exit();
    }
    if (deadline.Passed()) return WaitResult::kTimedOut;
    lock.Wait(deadline, sliceNs);
    if (!lock.held()) return WaitResult::kFailed;
  }
}

// --- holders ---------------------------------------------------------------

void Holders::Clear() {
  for (auto& h : table_) h = Holder{};
  lastPrune_ = NowNs();
}

Holders::Holder* Holders::Mine() {
  Self me = Me();
  for (auto& h : table_)
    if (h.pid != 0 && SameProcess(h.pid, h.start, me)) return &h;
  return nullptr;
}

bool Holders::Add(int kind) {
  Holder* mine = Mine();
  if (!mine) {
    for (auto& h : table_) {
      if (h.pid == 0) {
        mine = &h;
        break;
      }
    }
    if (!mine) return false;
    Self me = Me();
    *mine = Holder{me.pid, {}, me.start};
  }
  ++mine->count[kind];
  return true;
}

void Holders::Remove(int kind) {
  Holder* mine = Mine();
  if (!mine || mine->count[kind] == 0) return;
  --mine->count[kind];
  for (uint32_t c : mine->count)
    if (c) return;
  *mine = Holder{};
}

uint32_t Holders::Total(int kind) const {
  uint32_t total = 0;
  for (auto& h : table_)
    if (h.pid != 0) total += h.count[kind];
  return total;
}

bool Holders::Empty() const {
  for (auto& h : table_)
    if (h.pid != 0) return false;
  return true;
}

bool Holders::Prune() {
  Self me = Me();
  bool dropped = false;
  for (auto& h : table_) {
    if (h.pid == 0 || SameProcess(h.pid, h.start, me) || Alive(h.pid, h.start)) continue;
    h = Holder{};
    dropped = true;
  }
  lastPrune_ = NowNs();
  return dropped;
}

bool Holders::PruneIfDue(uint64_t intervalNs) {
  return NowNs() - lastPrune_ >= intervalNs && Prune();
}

// --- objects -------------------------------------------------------------

Object::~Object() { munmap(base_, size_); }

Object::Attached Object::Attach(int kind) {
  Header* h = header();
  Lock lock(h);
  if (!lock.held() || h->dead) return Attached::kDead;
  if (h->holders.Prune()) lock.Broadcast();
  if (h->holders.Empty()) {
    h->dead = 1;
    lock.Broadcast();
    if (!name_.empty()) shm_unlink(name_.c_str());
    return Attached::kOrphaned;
  }
  if (!h->holders.Add(kind)) return Attached::kFull;
  lock.Broadcast();
  return Attached::kYes;
}

bool Object::Release(int kind) {
  Header* h = header();
  Lock lock(h);
  h->holders.Remove(kind);
  h->holders.Prune();
  bool last = h->holders.Empty();
  if (last && !h->dead) {
    h->dead = 1;
    // Under the lock: a name removed later could already be a new object's.
    if (!name_.empty()) shm_unlink(name_.c_str());
  }
  lock.Broadcast();  // waiters on this holder, and peers waiting for it
  return last;
}

OpenResult Open(const std::string& name, const Spec& spec) {
  auto& registry = Objects();
  std::lock_guard guard(registry.mutex);
  for (int attempt = 0; attempt < kOpenAttempts; ++attempt) {
    std::shared_ptr<Object> object;
    auto known = registry.objects.find(name);
    if (known != registry.objects.end()) {
      object = known->second.lock();
      registry.objects.erase(known);
    }
    if (!object) {
      if (spec.size) {
        int fd = shm_open(name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) {
          void* p = MakeNew(fd, spec);
          close(fd);
          if (!p) {
            shm_unlink(name.c_str());
            return {nullptr, Opened::kNoMemory};
          }
          object = std::make_shared<Object>(p, spec.size, name);
          registry.objects[name] = object;
          return {object, Opened::kCreated};
        }
        if (errno != EEXIST) return {nullptr, errno == EACCES ? Opened::kDenied : Opened::kFailed};
      }
      int fd = shm_open(name.c_str(), O_RDWR | O_CLOEXEC, 0600);
      if (fd < 0) {
        if (errno != ENOENT) return {nullptr, errno == EACCES ? Opened::kDenied : Opened::kFailed};
        if (!spec.size) return {nullptr, Opened::kNotFound};
        continue;  // removed meanwhile: make it
      }
      object = MapExisting(name, fd, spec.magic);
      close(fd);
    }
    if (object) {
      switch (object->Attach(spec.kind)) {
        case Object::Attached::kYes:
          registry.objects[name] = object;
          return {object, Opened::kOpened};
        case Object::Attached::kFull:
          return {nullptr, Opened::kFull};
        case Object::Attached::kOrphaned:
          continue;
        case Object::Attached::kDead:
          break;  // its last holder is removing the name
      }
    }
    // Left by a creator that died before sizing it, or by a last holder that
    // died before removing it: nobody else takes such a name away.
    if (attempt % kStaleAfterAttempts == kStaleAfterAttempts - 1) shm_unlink(name.c_str());
    usleep(1000);
  }
  return {nullptr, Opened::kFailed};
}

std::shared_ptr<Object> CreateUnnamed(const Spec& spec) {
  int populate = spec.reserve ? MAP_POPULATE : 0;
  void* p = mmap(nullptr, spec.size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS | populate, -1, 0);
  if (p == MAP_FAILED) return nullptr;
  InitHeader(static_cast<Header*>(p), spec);
  return std::make_shared<Object>(p, spec.size, std::string());
}

}  // namespace orlik::shared
