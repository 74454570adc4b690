#include <orlik/kernel.h>

#include <sched.h>

#include <chrono>
#include <thread>

extern "C" {

// Sleep(0) gives up the rest of the time slice.
void Sleep(DWORD milliseconds) {
  if (milliseconds == 0) {
    sched_yield();
    return;
  }
  if (milliseconds == INFINITE) {
    for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
  }
  std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

DWORD GetTickCount(void) {
  auto now = std::chrono::steady_clock::now().time_since_epoch();
  return DWORD(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

}  // extern "C"
