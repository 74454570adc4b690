// What blocking platform calls need from the thread machinery: a thread asked
// to end by TerminateThread ends at its next blocking platform call (sleep,
// queue wait), never in the middle of a register access or while it holds a
// lock, and the call it is blocked in is woken for that.
#pragma once

#include <orlik/types.h>

#include <functional>

namespace orlik {

// Unwinds a platform thread to its start routine's caller, which ends the
// thread with the code (ExitThread, TerminateThread).
struct ExitThreadSignal {
  DWORD code;
};

// Held by a blocking call for as long as it may block. wake runs on the
// terminating thread and must make the blocked call look at Requested().
class TerminationScope {
 public:
  explicit TerminationScope(std::function<void()> wake);
  ~TerminationScope();
  TerminationScope(const TerminationScope&) = delete;
  TerminationScope& operator=(const TerminationScope&) = delete;

  bool Requested() const;
  // Ends the calling thread (throws ExitThreadSignal); call it after every
  // lock the blocking call holds has been released.
  [[noreturn]] void Exit() const;

 private:
  void* thread_;
};

// Ends the calling thread now if TerminateThread asked for it.
void ExitIfTerminated();

// Sleep as a termination point (INFINITE: until terminated).
void InterruptibleSleep(DWORD milliseconds);

}  // namespace orlik
