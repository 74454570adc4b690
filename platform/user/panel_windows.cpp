// The panel's table of windows, in a named shared object of the device root:
// every process's shown top-level windows, the stamp counters that stack them,
// a ring of uncovered areas and a ring of touches handed between processes.
//
// The waiting thread sleeps on a futex word of the table rather than on the
// object's condition variable: a process killed while it waits on a
// process-shared condition variable leaves it unusable for everyone, while a
// futex keeps no record of its waiters.
#include "user/panel_windows.h"

#include "core/resident_thread.h"
#include "core/shared_object.h"
#include "user/window_system.h"

#include <linux/futex.h>
#include <signal.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

namespace orlik::user::panel {
namespace {

constexpr uint32_t kMagic = 0x534E5750;  // "PWNS"
constexpr int kEntries = 128;
constexpr uint64_t kRing = 64;
constexpr int64_t kGap = 1024;
constexpr long kSliceNs = 100'000'000;  // the waiting thread looks for ended processes this often
constexpr uint64_t kPruneEveryNs = 250'000'000;

struct SharedEntry {
  int32_t pid;
  uint32_t topmost;
  uint64_t handle;
  int64_t z;
  int32_t left, top, right, bottom;
};

struct SharedTouch {
  int32_t pid;  // the owner of the window
  int32_t x, y;
  uint32_t down;
  uint64_t handle;
};

struct Table {
  shared::Header object;
  std::atomic<uint32_t> wake;  // raised, and its waiters woken, when there is news
  int64_t top, bottom;  // stamp counters
  uint32_t count;
  SharedEntry entries[kEntries];
  uint64_t damageSeq;
  SharedEntry damage[kRing];  // pid, handle, z, topmost: the key below which the area was uncovered
  uint64_t touchSeq;
  SharedTouch touches[kRing];
  int32_t pressPid;
  uint64_t pressHandle;
  uint64_t lastPruneNs;
};

struct State {
  std::once_flag once;
  std::shared_ptr<shared::Object> object;
  Table* table = nullptr;
};

State& Local() {
  static auto* state = new State;
  return *state;
}

// Wakes the waiting threads of every process.
void Wake(Table* t) {
  t->wake.fetch_add(1);
  syscall(SYS_futex, reinterpret_cast<uint32_t*>(&t->wake), FUTEX_WAKE, INT_MAX, nullptr, nullptr, 0);
}

// Sleeps until the word leaves `seen` or the slice passes.
void Sleep(Table* t, uint32_t seen) {
  timespec slice{0, kSliceNs};
  syscall(SYS_futex, reinterpret_cast<uint32_t*>(&t->wake), FUTEX_WAIT, seen, &slice, nullptr, 0);
}

uint64_t NowNs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return uint64_t(t.tv_sec) * 1000000000ull + uint64_t(t.tv_nsec);
}

Entry FromShared(const SharedEntry& e) {
  return Entry{e.pid, e.handle, RECT{e.left, e.top, e.right, e.bottom}, e.z, e.topmost != 0};
}

SharedEntry ToShared(const Entry& e) {
  return SharedEntry{e.pid, e.topmost ? 1u : 0u, e.handle, e.z, e.rect.left, e.rect.top, e.rect.right, e.rect.bottom};
}

void PushDamage(Table* t, const SharedEntry& key, const RECT& r) {
  SharedEntry d = key;
  d.left = r.left, d.top = r.top, d.right = r.right, d.bottom = r.bottom;
  t->damage[t->damageSeq % kRing] = d;
  ++t->damageSeq;
}

// Ended, or a zombie nobody has reaped yet.
bool Ended(int32_t pid) {
  if (kill(pid, 0) != 0 && errno == ESRCH) return true;
  std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  auto paren = text.rfind(')');
  if (paren == std::string::npos || paren + 2 >= text.size()) return false;
  char state = text[paren + 2];
  return state == 'Z' || state == 'X';
}

// Removes this process's entries (keep: none) or those of ended processes,
// telling the others what they uncover. Under the table's lock.
bool Remove(Table* t, bool ended) {
  int32_t me = Self();
  uint32_t kept = 0;
  bool removed = false;
  std::vector<std::pair<int32_t, bool>> checked;
  for (uint32_t i = 0; i < t->count && i < uint32_t(kEntries); ++i) {
    const SharedEntry e = t->entries[i];
    bool drop;
    if (ended) {
      auto it = std::find_if(checked.begin(), checked.end(), [&](auto& c) { return c.first == e.pid; });
      if (it == checked.end()) it = checked.insert(checked.end(), {e.pid, e.pid != me && Ended(e.pid)});
      drop = it->second;
    } else {
      drop = e.pid == me;
    }
    if (drop) {
      PushDamage(t, e, RECT{e.left, e.top, e.right, e.bottom});
      removed = true;
    } else {
      t->entries[kept++] = e;
    }
  }
  t->count = kept;
  if (t->pressPid && ended && Ended(t->pressPid)) t->pressPid = 0;
  return removed;
}

void Withdraw() {
  Table* t = Local().table;
  if (!t || !Local().object || Local().object->name().empty()) return;
  shared::Lock lock(&t->object);
  if (lock.held() && Remove(t, false)) Wake(t);
}

// The thread that waits for what the other processes hand to this one.
void Watch(Table* t) {
  shared::Header* header = &t->object;
  const int32_t me = Self();
  uint64_t seenDamage = 0, seenTouch = 0;
  {
    shared::Lock lock(header);
    seenDamage = t->damageSeq;
    seenTouch = t->touchSeq;
  }
  for (;;) {
    std::vector<SharedEntry> damage;
    std::vector<SharedTouch> touches;
    bool lost = false;
    uint32_t seen = t->wake.load();
    {
      shared::Lock lock(header);
      if (!lock.held()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        continue;
      }
      uint64_t now = NowNs();
      if (now - t->lastPruneNs >= kPruneEveryNs) {
        t->lastPruneNs = now;
        if (Remove(t, true)) Wake(t);
      }
      if (t->damageSeq - seenDamage > kRing) {
        lost = true;
        seenDamage = t->damageSeq - kRing;
      }
      for (; seenDamage < t->damageSeq; ++seenDamage) {
        const SharedEntry& d = t->damage[seenDamage % kRing];
        if (d.pid != me) damage.push_back(d);
      }
      if (t->touchSeq - seenTouch > kRing) seenTouch = t->touchSeq - kRing;
      for (; seenTouch < t->touchSeq; ++seenTouch) {
        const SharedTouch& touch = t->touches[seenTouch % kRing];
        if (touch.pid == me) touches.push_back(touch);
      }
    }
    if (!lost && damage.empty() && touches.empty()) {
      Sleep(t, seen);
      continue;
    }
    auto& s = System();
    std::lock_guard lock(s.mutex);
    if (lost) ExposeAll(s);
    for (const SharedEntry& d : damage)
      Expose(s, Key{d.topmost != 0, d.z, d.pid, d.handle}, RECT{d.left, d.top, d.right, d.bottom});
    for (const SharedTouch& touch : touches)
      PostTouch(s, touch.x, touch.y, touch.down != 0, reinterpret_cast<HWND>(uintptr_t(touch.handle)));
  }
}

void Open() {
  State& state = Local();
  shared::Spec spec{kMagic, sizeof(Table), true, 0, [](shared::Header*) {}};
  auto opened = shared::Open(shared::PanelName("windows", u"panel"), spec);
  state.object = opened.object;
  if (!state.object) {
    // Alone, then: the same table in this process only.
    state.object = shared::CreateUnnamed(spec);
    if (state.object) state.table = state.object->As<Table>();
    return;
  }
  state.table = state.object->As<Table>();
  StartResidentThread([table = state.table] { Watch(table); }, Withdraw);
}

}  // namespace

int32_t Self() { return int32_t(getpid()); }

void Join() { std::call_once(Local().once, Open); }

std::vector<Entry> Others() {
  std::vector<Entry> out;
  Table* t = Local().table;
  if (!t) return out;
  shared::Lock lock(&t->object);
  if (!lock.held()) return out;
  int32_t me = Self();
  for (uint32_t i = 0; i < t->count && i < uint32_t(kEntries); ++i)
    if (t->entries[i].pid != me) out.push_back(FromShared(t->entries[i]));
  return out;
}

int64_t Stamp(bool top) {
  static int64_t localTop = 0, localBottom = 0;  // under the window system's lock
  Table* t = Local().table;
  if (t) {
    shared::Lock lock(&t->object);
    if (lock.held()) return top ? (t->top += kGap) : (t->bottom -= kGap);
  }
  return top ? (localTop += kGap) : (localBottom -= kGap);
}

void Publish(const std::vector<Entry>& mine) {
  Table* t = Local().table;
  if (!t) return;
  shared::Lock lock(&t->object);
  if (!lock.held()) return;
  int32_t me = Self();
  uint32_t kept = 0;
  for (uint32_t i = 0; i < t->count && i < uint32_t(kEntries); ++i)
    if (t->entries[i].pid != me) t->entries[kept++] = t->entries[i];
  // A full table leaves the rest unpublished: they then clip nobody.
  for (const Entry& e : mine)
    if (kept < uint32_t(kEntries)) t->entries[kept++] = ToShared(e);
  t->count = kept;
}

void Damage(const Key& key, const std::vector<RECT>& area) {
  Table* t = Local().table;
  if (!t || area.empty()) return;
  shared::Lock lock(&t->object);
  if (!lock.held()) return;
  SharedEntry k{key.pid, key.topmost ? 1u : 0u, key.handle, key.z, 0, 0, 0, 0};
  for (const RECT& r : area) PushDamage(t, k, r);
  Wake(t);
}

void SendTouch(int32_t pid, uint64_t handle, int x, int y, bool down) {
  Table* t = Local().table;
  if (!t) return;
  shared::Lock lock(&t->object);
  if (!lock.held()) return;
  t->touches[t->touchSeq % kRing] = SharedTouch{pid, x, y, down ? 1u : 0u, handle};
  ++t->touchSeq;
  Wake(t);
}

void SetPress(int32_t pid, uint64_t handle) {
  Table* t = Local().table;
  if (!t) return;
  shared::Lock lock(&t->object);
  if (!lock.held()) return;
  t->pressPid = pid;
  t->pressHandle = handle;
}

bool Pressed(int32_t* pid, uint64_t* handle) {
  Table* t = Local().table;
  if (!t) return false;
  shared::Lock lock(&t->object);
  if (!lock.held() || !t->pressPid) return false;
  *pid = t->pressPid;
  *handle = t->pressHandle;
  return true;
}

}  // namespace orlik::user::panel
