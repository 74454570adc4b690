#include <orlik/kernel.h>
#include <orlik/threads.h>

#include "core/waitable.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace orlik {
namespace {

class Thread final : public Waitable {
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
  int priority = CE_THREAD_PRIO_256_NORMAL;
  DWORD id = 0;

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool finished_ = false;
  DWORD exitCode_ = STILL_ACTIVE;
};

// The thread object of the calling thread, when the platform started it.
thread_local std::shared_ptr<Thread> currentThread;

struct ExitThreadSignal {
  DWORD code;
};

// Best effort: maps the 0-255 scale onto the host. Only raising above normal
// needs privileges; a refusal is not an error on this platform.
void ApplyHostPriority(int priority) {
  int nice = priority >= CE_THREAD_PRIO_256_NORMAL ? (priority - CE_THREAD_PRIO_256_NORMAL) * 4
                                                   : -((CE_THREAD_PRIO_256_NORMAL - priority) / 13);
  if (nice > 19) nice = 19;
  if (nice < -20) nice = -20;
  [[maybe_unused]] long r = syscall(SYS_setpriority, 0 /* PRIO_PROCESS */, syscall(SYS_gettid), nice);
}

}  // namespace
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
      {
        std::lock_guard lock(started);
        thread->id = DWORD(syscall(SYS_gettid));
        haveId = true;
        cv.notify_one();
      }
      currentThread = thread;
      DWORD code = 0;
      try {
        code = start(parameter);
      } catch (const ExitThreadSignal& exit) {
        code = exit.code;
      }
      thread->Finish(code);
      currentThread.reset();
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

BOOL CeSetThreadPriority(HANDLE handle, int priority) {
  if (priority < 0 || priority > 255) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::shared_ptr<Thread> thread =
      handle == GetCurrentThread() ? currentThread : LookupHandleAs<Thread>(handle);
  if (!thread) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  thread->priority = priority;
  if (thread == currentThread) ApplyHostPriority(priority);
  return TRUE;
}

int CeGetThreadPriority(HANDLE handle) {
  std::shared_ptr<Thread> thread =
      handle == GetCurrentThread() ? currentThread : LookupHandleAs<Thread>(handle);
  return thread ? thread->priority : CE_THREAD_PRIO_256_NORMAL;
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
