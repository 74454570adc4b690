#include <orlik/kernel.h>

#include "core/thread_control.h"

#include <sched.h>

#include <chrono>

extern "C" {

// Sleep(0) gives up the rest of the time slice. A sleeping platform thread
// ends early when TerminateThread asks it to.
void Sleep(DWORD milliseconds) {
  if (milliseconds == 0) {
    orlik::ExitIfTerminated();
    sched_yield();
    return;
  }
  orlik::InterruptibleSleep(milliseconds);
}

DWORD GetTickCount(void) {
  auto now = std::chrono::steady_clock::now().time_since_epoch();
  return DWORD(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

}  // extern "C"
