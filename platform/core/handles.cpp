#include "core/handles.h"

#include "core/futex_lock.h"
#include "core/hot_path.h"

#include <orlik/kernel.h>

#include <new>
#include <utility>
#include <vector>

namespace orlik {
namespace {

// Handle values go up by 4 from 0x100, so value / 4 spreads them over the
// slots in turn: a table of open-addressed slots (linear probing) finds a
// handle at its home slot or close behind it, and opening or closing one
// allocates nothing once the table is large enough.
class HandleTable {
 public:
  HandleTable() : slots_(kInitialSlots) {}

  HANDLE Insert(std::shared_ptr<KernelObject> object) {
    std::lock_guard guard(lock_);
    if (2 * (count_ + 1) > slots_.size()) Grow();
    uintptr_t value = next_;
    next_ += 4;
    Place(value, std::move(object));
    ++count_;
    return reinterpret_cast<HANDLE>(value);
  }

  std::shared_ptr<KernelObject> Lookup(uintptr_t value) {
    std::lock_guard guard(lock_);
    size_t i = Find(value);
    return i == kAbsent ? nullptr : slots_[i].object;
  }

  std::shared_ptr<KernelObject> Remove(uintptr_t value) {
    std::lock_guard guard(lock_);
    size_t i = Find(value);
    if (i == kAbsent) return nullptr;
    std::shared_ptr<KernelObject> object = std::move(slots_[i].object);
    slots_[i].value = 0;
    --count_;
    CloseGap(i);
    return object;
  }

 private:
  struct Slot {
    uintptr_t value = 0;  // 0: empty
    std::shared_ptr<KernelObject> object;
  };
  static constexpr size_t kInitialSlots = 256;
  static constexpr size_t kAbsent = SIZE_MAX;

  size_t Home(uintptr_t value) const { return (value >> 2) & (slots_.size() - 1); }
  size_t After(size_t i) const { return (i + 1) & (slots_.size() - 1); }

  size_t Find(uintptr_t value) const {
    if (value == 0) return kAbsent;
    for (size_t i = Home(value);; i = After(i)) {
      if (slots_[i].value == value) return i;
      if (slots_[i].value == 0) return kAbsent;
    }
  }

  void Place(uintptr_t value, std::shared_ptr<KernelObject> object) {
    size_t i = Home(value);
    while (slots_[i].value != 0) i = After(i);
    slots_[i].value = value;
    slots_[i].object = std::move(object);
  }

  // Doubles the slots; at most half are ever in use, so probes stay short.
  ORLIK_RARE_PATH void Grow() {
    std::vector<Slot> old(slots_.size() * 2);
    old.swap(slots_);
    for (Slot& slot : old)
      if (slot.value != 0) Place(slot.value, std::move(slot.object));
  }

  // After emptying slot i, moves back the entries behind it that could not
  // sit at their home slot, so that every probe still ends at the first
  // empty slot.
  void CloseGap(size_t i) {
    for (size_t j = After(i); slots_[j].value != 0; j = After(j)) {
      size_t home = Home(slots_[j].value);
      // The entry at j may move to i when i lies on its probe path, from
      // home round to j.
      bool onPath = i <= j ? (home <= i || home > j) : (home <= i && home > j);
      if (!onPath) continue;
      slots_[i] = std::move(slots_[j]);
      slots_[j].value = 0;
      i = j;
    }
  }

  FutexLock lock_;
  std::vector<Slot> slots_;
  size_t count_ = 0;
  uintptr_t next_ = 0x100;
};

ORLIK_HOT_PATH HandleTable& Table() {
  // Lives until the process ends, in static storage beside the library's
  // other statics rather than on a page of its own.
  alignas(HandleTable) static unsigned char place[sizeof(HandleTable)];
  static auto* table = new (place) HandleTable;
  return *table;
}

}  // namespace

ORLIK_HOT_PATH HANDLE InsertHandle(std::shared_ptr<KernelObject> object) {
  if (!object) return nullptr;
  return Table().Insert(std::move(object));
}

ORLIK_HOT_PATH std::shared_ptr<KernelObject> LookupHandle(HANDLE handle) {
  return Table().Lookup(reinterpret_cast<uintptr_t>(handle));
}

ORLIK_HOT_PATH bool RemoveHandle(HANDLE handle) {
  std::shared_ptr<KernelObject> object = Table().Remove(reinterpret_cast<uintptr_t>(handle));
  if (!object) return false;
  object->OnClose();
  return true;
}

}  // namespace orlik

namespace {
// Nearly every call sets it, so it sits in the static TLS block and is reached
// without asking the dynamic loader; glibc keeps room there for the few bytes
// of libraries loaded later by dlopen.
__attribute__((tls_model("initial-exec"))) thread_local DWORD lastError = 0;
}

extern "C" {

ORLIK_HOT_PATH DWORD GetLastError(void) { return lastError; }
ORLIK_HOT_PATH void SetLastError(DWORD error) { lastError = error; }

ORLIK_HOT_PATH BOOL CloseHandle(HANDLE handle) {
  if (!orlik::RemoveHandle(handle)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

}  // extern "C"
