#include <orlik/kernel.h>
#include <orlik/threads.h>

#include "core/thread_control.h"
#include "core/waitable.h"

#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

namespace orlik {
namespace {

class Thread final : public Waitable, public std::enable_shared_from_this<Thread> {
 public:
  DWORD Wait(DWORD milliseconds) override {
    std::unique_lock lock(mutex_);
    auto done = [this] { return finished_; };
    if (milliseconds == INFINITE) {
      cv_.wait(lock, done);
      return WAIT_OBJECT_0;
    }
    return cv_.wait_for(lock, std::chrono::milliseconds(milliseconds), done) ? WAIT_OBJECT_0
                                                                              : WAIT_TIMEOUT;
  }
  void Finish(DWORD code) {
    std::lock_guard lock(mutex_);
    exitCode_ = code;
    finished_ = true;
    cv_.notify_all();
  }
  DWORD ExitCode() {
    std::lock_guard lock(mutex_);
    return finished_ ? exitCode_ : STILL_ACTIVE;
  }
  bool Finished() {
    std::lock_guard lock(mutex_);
    return finished_;
  }

  std::atomic<int> priority{CE_THREAD_PRIO_256_NORMAL};
  std::atomic<DWORD> id{0};

  // Termination: the flag, the code, and how to wake the blocking call the
  // thread is in (if any).
  std::atomic<bool> terminate{false};
  std::atomic<DWORD> terminateCode{0};
  std::mutex wakeMutex;
  std::function<void()> wake;

  // Sleep waits here so a termination can cut it short.
  std::mutex sleepMutex;
  std::condition_variable sleepCv;

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool finished_ = false;
  DWORD exitCode_ = STILL_ACTIVE;
};

// The thread object of the calling thread, when the platform started it; the
// thread's start-up frame keeps it alive. A plain pointer on purpose: a
// thread_local with a destructor registers itself under the dynamic loader's
// lock on first use, which deadlocks a thread starting while a library's
// unload (holding that lock) waits for it.
thread_local Thread* current = nullptr;

// Live platform threads by id, for OpenThread.
struct ThreadRegistry {
  std::mutex mutex;
  std::map<DWORD, std::weak_ptr<Thread>> threads;
};
ThreadRegistry& Registry() {
  static auto* registry = new ThreadRegistry;  // lives until the process ends
  return *registry;
}

// The panel's 0-255 scale on the host. 248-255 are the eight classic levels
// (251 normal) and map onto nice values; 0-247 are the real-time band and get
// the strongest nice values, or SCHED_RR when ORLIK_HOST_REALTIME=1 (off by
// default: a polling thread at a real-time priority can starve the desktop).
int NiceFor(int priority) {
  static constexpr int kClassic[8] = {-15, -10, -5, 0, 5, 10, 15, 19};
  if (priority >= 248) return kClassic[priority - 248];
  return -20 + priority * 5 / 248;
}

bool HostRealtimeAllowed() {
  static const bool allowed = [] {
    const char* v = std::getenv("ORLIK_HOST_REALTIME");
    return v && std::strcmp(v, "1") == 0;
  }();
  return allowed;
}

// Best effort: a refusal by the host (no privilege) is not an error on this
// platform; the stored priority is what callers read back.
void ApplyHostPriority(pid_t tid, int priority) {
  if (tid <= 0) return;
  if (priority < 248 && HostRealtimeAllowed()) {
    sched_param rt{};
    rt.sched_priority = 1 + (247 - priority) * 98 / 247;
    if (sched_setscheduler(tid, SCHED_RR, &rt) == 0) return;
  }
  if (sched_getscheduler(tid) != SCHED_OTHER) {
    sched_param normal{};
    sched_setscheduler(tid, SCHED_OTHER, &normal);
  }
  int nice = NiceFor(priority);
  if (setpriority(PRIO_PROCESS, id_t(tid), nice) == 0 || nice >= 0) return;
  // Not allowed that high: as high as the nice limit lets the process go.
  rlimit limit{};
  int highest = 0;
  if (getrlimit(RLIMIT_NICE, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY)
    highest = 20 - int(limit.rlim_cur);
  if (highest > 0) highest = 0;
  setpriority(PRIO_PROCESS, id_t(tid), nice < highest ? highest : nice);
}

std::shared_ptr<Thread> Current() { return current ? current->shared_from_this() : nullptr; }

std::shared_ptr<Thread> Resolve(HANDLE handle) {
  return handle == GetCurrentThread() ? Current() : LookupHandleAs<Thread>(handle);
}

}  // namespace

TerminationScope::TerminationScope(std::function<void()> wake) : thread_(current) {
  if (!thread_) return;
  auto* t = static_cast<Thread*>(thread_);
  std::lock_guard lock(t->wakeMutex);
  t->wake = std::move(wake);
}

TerminationScope::~TerminationScope() {
  if (!thread_) return;
  auto* t = static_cast<Thread*>(thread_);
  std::lock_guard lock(t->wakeMutex);
  t->wake = nullptr;
}

bool TerminationScope::Requested() const {
  return thread_ && static_cast<Thread*>(thread_)->terminate.load();
}

void TerminationScope::Exit() const {
  throw ExitThreadSignal{static_cast<Thread*>(thread_)->terminateCode.load()};
}

void ExitIfTerminated() {
  if (current && current->terminate.load()) throw ExitThreadSignal{current->terminateCode.load()};
}

// Sleep on a platform thread is a termination point; other threads just sleep.
void InterruptibleSleep(DWORD milliseconds) {
  std::shared_ptr<Thread> t = Current();
  if (!t) {
    if (milliseconds == INFINITE) {
      for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    return;
  }
  {
    TerminationScope scope([t] {
      std::lock_guard lock(t->sleepMutex);
      t->sleepCv.notify_all();
    });
    std::unique_lock lock(t->sleepMutex);
    auto asked = [&] { return t->terminate.load(); };
    if (milliseconds == INFINITE)
      t->sleepCv.wait(lock, asked);
    else
      t->sleepCv.wait_for(lock, std::chrono::milliseconds(milliseconds), asked);
  }
  ExitIfTerminated();
}

}  // namespace orlik

using namespace orlik;

extern "C" {

HANDLE CreateThread(LPSECURITY_ATTRIBUTES, SIZE_T, LPTHREAD_START_ROUTINE start, LPVOID parameter,
                    DWORD flags, LPDWORD threadId) {
  if (!start || (flags & CREATE_SUSPENDED)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto thread = std::make_shared<Thread>();
  std::mutex started;
  std::condition_variable cv;
  bool haveId = false;
  try {
    std::thread([thread, start, parameter, &started, &cv, &haveId] {
      auto tid = pid_t(syscall(SYS_gettid));
      {
        auto& registry = Registry();
        std::lock_guard lock(registry.mutex);
        registry.threads[DWORD(tid)] = thread;
      }
      // A host thread inherits its creator's scheduling; start at the stored
      // priority instead.
      ApplyHostPriority(tid, thread->priority.load());
      {
        std::lock_guard lock(started);
        thread->id = DWORD(tid);
        haveId = true;
        cv.notify_one();
      }
      current = thread.get();
      // A thread terminated before it got here never runs its routine.
      DWORD code = 0;
      try {
        if (thread->terminate.load())
          code = thread->terminateCode.load();
        else
          code = start(parameter);
      } catch (const ExitThreadSignal& exit) {
        code = exit.code;
      }
      {
        auto& registry = Registry();
        std::lock_guard lock(registry.mutex);
        registry.threads.erase(DWORD(tid));
      }
      current = nullptr;
      thread->Finish(code);
    }).detach();
  } catch (const std::system_error&) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  std::unique_lock lock(started);
  cv.wait(lock, [&] { return haveId; });
  if (threadId) *threadId = thread->id;
  return InsertHandle(thread);
}

HANDLE OpenThread(DWORD, BOOL, DWORD threadId) {
  std::shared_ptr<Thread> thread;
  {
    auto& registry = Registry();
    std::lock_guard lock(registry.mutex);
    auto it = registry.threads.find(threadId);
    if (it != registry.threads.end()) thread = it->second.lock();
  }
  if (!thread) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return InsertHandle(thread);
}

DWORD GetCurrentThreadId(void) { return DWORD(syscall(SYS_gettid)); }

// A pseudo-handle meaning "the calling thread", as on the panel.
HANDLE GetCurrentThread(void) { return reinterpret_cast<HANDLE>(intptr_t(-2)); }

BOOL GetExitCodeThread(HANDLE handle, LPDWORD exitCode) {
  auto thread = LookupHandleAs<Thread>(handle);
  if (!thread || !exitCode) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  *exitCode = thread->ExitCode();
  return TRUE;
}

void ExitThread(DWORD exitCode) { throw ExitThreadSignal{exitCode}; }

// The thread ends at its next blocking platform call (at once if it is in one
// now), so it never stops holding a lock or halfway through a register
// sequence. As on the panel the call returns before the thread has ended;
// wait on the handle to know it has.
BOOL TerminateThread(HANDLE handle, DWORD exitCode) {
  std::shared_ptr<Thread> thread = Resolve(handle);
  if (!thread) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (thread.get() == current) ExitThread(exitCode);
  if (thread->Finished()) return TRUE;
  thread->terminateCode = exitCode;
  thread->terminate = true;
  std::lock_guard lock(thread->wakeMutex);
  if (thread->wake) thread->wake();
  return TRUE;
}

BOOL CeSetThreadPriority(HANDLE handle, int priority) {
  if (priority < 0 || priority > 255) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::shared_ptr<Thread> thread = Resolve(handle);
  if (!thread) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  thread->priority = priority;
  if (!thread->Finished()) ApplyHostPriority(pid_t(thread->id.load()), priority);
  return TRUE;
}

int CeGetThreadPriority(HANDLE handle) {
  std::shared_ptr<Thread> thread = Resolve(handle);
  return thread ? thread->priority.load() : CE_THREAD_PRIO_256_NORMAL;
}

// The eight classic levels sit at the bottom of the 0-255 scale (248-255).
BOOL SetThreadPriority(HANDLE handle, int priority) {
  if (priority < 0 || priority > 7) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  return CeSetThreadPriority(handle, 248 + priority);
}

int GetThreadPriority(HANDLE handle) {
  int p = CeGetThreadPriority(handle);
  return p >= 248 ? p - 248 : THREAD_PRIORITY_TIME_CRITICAL;
}

DWORD WaitForSingleObject(HANDLE handle, DWORD milliseconds) {
  auto object = LookupHandleAs<Waitable>(handle);
  if (!object) {
    SetLastError(ERROR_INVALID_HANDLE);
    return WAIT_FAILED;
  }
  ExitIfTerminated();
  return object->Wait(milliseconds);
}

void InitializeCriticalSection(LPCRITICAL_SECTION section) {
  if (section) section->impl = new std::recursive_mutex;
}

void DeleteCriticalSection(LPCRITICAL_SECTION section) {
  if (!section) return;
  delete static_cast<std::recursive_mutex*>(section->impl);
  section->impl = nullptr;
}

void EnterCriticalSection(LPCRITICAL_SECTION section) {
  if (section && section->impl) static_cast<std::recursive_mutex*>(section->impl)->lock();
}

void LeaveCriticalSection(LPCRITICAL_SECTION section) {
  if (section && section->impl) static_cast<std::recursive_mutex*>(section->impl)->unlock();
}

BOOL QueryPerformanceCounter(LARGE_INTEGER* count) {
  if (!count) return FALSE;
  count->QuadPart = std::chrono::duration_cast<std::chrono::nanoseconds>(
                        std::chrono::steady_clock::now().time_since_epoch())
                        .count();
  return TRUE;
}

BOOL QueryPerformanceFrequency(LARGE_INTEGER* frequency) {
  if (!frequency) return FALSE;
  frequency->QuadPart = 1000000000;
  return TRUE;
}

}  // extern "C"
