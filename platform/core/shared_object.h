// Objects shared between the processes of one panel: message queues, named
// events, and whatever else every process must be able to open by name.
//
// An object is one shared mapping (POSIX shared memory when it has a name,
// anonymous memory when not) that begins with a Header this module owns; the
// user's own state follows it in the same struct:
//
//   struct QueueState {
//     shared::Header object;  // always first
//     uint64_t head, tail;
//   };
//
// What a caller may rely on:
// - Names. PanelName(kind, name) is the same in every process of one panel
//   (the device root, ORLIK_ROOT, resolved) and user, and differs for another
//   panel, user or kind. Names are case-sensitive.
// - Open. Creates the object or maps the existing one. A process maps each
//   object once; its holders share that mapping. The creator's init has run
//   before any other process sees the object (the ready handshake). A name
//   whose creator died half-way, or whose every holder has died, is removed
//   and the object made anew.
// - Lock. The state behind the header is read and written only under Lock, a
//   robust process-shared mutex; waiters sleep on a count of changes (a
//   futex), which keeps nothing of its waiters, so one killed while it waits
//   cannot hold up later wakes. A process that dies holding the lock does not
//   wedge the others: the next locker takes it over as it is, so every update
//   must leave the state consistent between the statements that matter.
// - Holders. Each process's references are counted per kind (up to
//   kHolderKinds, such as a queue's read and write ends). The references of a
//   process that has ended, also one whose id the system has since given to
//   another process, are dropped by Prune. When the last reference goes the
//   object is dead: waiters are woken, the name is removed, and the next Open
//   makes a new object.
// - Waits. WaitUntil is the one blocking wait: deadlines on the monotonic
//   clock, and a platform thread that TerminateThread asks to end leaves it
//   with the lock released and ends there.
#pragma once

#include <orlik/types.h>

#include <pthread.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace orlik::shared {

// The shared-memory name of `name` among this panel's objects of one kind
// ("mq", "event", ...).
std::string PanelName(std::string_view kind, std::u16string_view name);

// A point on the monotonic clock at which a wait gives up.
class Deadline {
 public:
  // `milliseconds` from now; INFINITE never passes, 0 has passed already.
  static Deadline After(DWORD milliseconds);
  bool Passed() const;

 private:
  friend class Lock;
  explicit Deadline(uint64_t at) : at_(at) {}
  uint64_t at_;  // monotonic nanoseconds; UINT64_MAX: never
};

inline constexpr int kHolderKinds = 2;
inline constexpr int kMaxHolders = 64;  // processes holding one object at once

// The processes holding an object and their references. Every call is made
// under the object's lock.
class Holders {
 public:
  // No holder (a new object).
  void Clear();
  // One more reference of the calling process; false when the table is full.
  bool Add(int kind);
  // One reference of the calling process fewer (none: nothing happens).
  void Remove(int kind);
  // References of one kind, over all processes.
  uint32_t Total(int kind) const;
  bool Empty() const;
  // Drops the references of processes that have ended; true when any went.
  bool Prune();
  // Prune, unless the last one was less than intervalNs ago.
  bool PruneIfDue(uint64_t intervalNs);

 private:
  struct Holder {
    int32_t pid;
    uint32_t count[kHolderKinds];
    uint64_t start;  // the process's start time, against reuse of its id
  };
  Holder* Mine();
  uint64_t lastPrune_;
  Holder table_[kMaxHolders];
};

struct Header {
  uint32_t magic;                // what kind of object, as its creator said
  std::atomic<uint32_t> ready;   // raised last by the creator
  uint32_t dead;                 // its last holder has gone; the name is removed
  uint64_t size;                 // of the whole mapping
  pthread_mutex_t mutex;         // robust, process-shared
  std::atomic<uint32_t> changes;  // raised under the lock on every wake
  Holders holders;
};

// Holds an object's lock, taking it over from an owner that died.
class Lock {
 public:
  explicit Lock(Header* header);
  ~Lock() { Unlock(); }
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

  // False only when the lock cannot be had (it was left unrecoverable).
  bool held() const { return held_; }
  void Unlock();
  void Broadcast();
  void Signal();
  // Waits for a change until the deadline and, when sliceNs is not 0, at most
  // that long, so the caller can look again at what no peer signals (one that
  // died). The lock is held again on return.
  void Wait(const Deadline& deadline, uint64_t sliceNs = 0);

 private:
  Header* h_;
  bool held_ = false;
};

enum class WaitResult { kDone, kTimedOut, kFailed };

// The one blocking wait on an object. Takes the lock and runs done, first at
// once and again after every change, until it returns true (kDone) or the
// deadline passes (kTimedOut); kFailed when the lock cannot be had. done runs
// under the lock. A platform thread asked to end by TerminateThread releases
// the lock and ends (the call does not return). sliceNs as for Lock::Wait.
WaitResult WaitUntil(Header* header, const Deadline& deadline,
                     const std::function<bool(Lock&)>& done, uint64_t sliceNs = 0);

// One process's mapping of an object, shared by all its holders there.
class Object {
 public:
  Object(void* base, size_t size, std::string name) : base_(base), size_(size), name_(std::move(name)) {}
  ~Object();
  Object(const Object&) = delete;
  Object& operator=(const Object&) = delete;

  Header* header() const { return static_cast<Header*>(base_); }
  template <class State>
  State* As() const {
    return static_cast<State*>(base_);
  }
  size_t size() const { return size_; }
  const std::string& name() const { return name_; }  // empty without a name

  enum class Attached { kYes, kDead, kOrphaned, kFull };
  // One more reference of the calling process. kDead: the object's last
  // holder has gone. kOrphaned: every holder had died; the object is now dead
  // and its name removed. kFull: the holder table is full.
  Attached Attach(int kind);
  // One reference of the calling process fewer; wakes the object's waiters.
  // True when no live holder is left: the object is dead, its name removed.
  bool Release(int kind);

 private:
  void* base_;
  size_t size_;
  const std::string name_;
};

struct Spec {
  uint32_t magic;
  // Bytes of a new object, its Header included; 0 only opens an existing one.
  uint64_t size;
  // Takes the storage when the object is made, so later use cannot fail for
  // want of memory; otherwise pages are taken as they are written.
  bool reserve;
  // The kind of reference the caller takes (the creator's is counted before
  // anyone else sees the object).
  int kind;
  // Sets up the user's state of a new object (zeroed memory).
  std::function<void(Header*)> init;
};

enum class Opened { kCreated, kOpened, kNotFound, kFull, kNoMemory, kDenied, kFailed };
struct OpenResult {
  std::shared_ptr<Object> object;  // null unless kCreated or kOpened
  Opened how;
};

// Creates the object named `name` (a PanelName) or opens the existing one,
// taking one reference of spec.kind. kNotFound: spec.size is 0 and there is no
// live object; kFull: too many processes hold it; kNoMemory: a new object
// could not be sized or mapped; kDenied: the system refused the name.
OpenResult Open(const std::string& name, const Spec& spec);

// An object without a name, reached only through the returned mapping. Null
// when there is no memory for it.
std::shared_ptr<Object> CreateUnnamed(const Spec& spec);

}  // namespace orlik::shared
