// Port change watch: per port, a polling thread that posts every new port
// byte as a one-byte message into the port's named queue.
#include "frame.h"
#include "ports.h"

namespace ferrox {

namespace {

constexpr const char16_t* kQueueNames[8] = {
    u"Tolvex_TolGPIOFastA", u"Tolvex_TolGPIOFastB", u"Tolvex_TolGPIOFastC",
    u"Tolvex_TolGPIOFastD", u"Tolvex_TolGPIOFastE", u"Tolvex_TolGPIOFastF",
    u"Tolvex_TolGPIOFastG", u"Tolvex_TolGPIOFastH"};

// How long a stop waits for a thread it has told to end. The thread ends at
// once unless something outside the library keeps it; the library must not
// be unloaded under a thread still running its code.
constexpr DWORD kEndWait = 2000;

// The size fields carry the panel's record sizes.
static_assert(sizeof(MSGQUEUEOPTIONS) == 20);
static_assert(sizeof(MSGQUEUEINFO) == 28);

// One start routine per port; each gets PortBank as its parameter.
template <size_t port>
DWORD WINAPI WatchThread(LPVOID parameter) {
  return static_cast<PortBank*>(parameter)->RunWatch(port);
}

constexpr LPTHREAD_START_ROUTINE kWatchThreads[8] = {
    WatchThread<0>, WatchThread<1>, WatchThread<2>, WatchThread<3>,
    WatchThread<4>, WatchThread<5>, WatchThread<6>, WatchThread<7>};

// Waits for a thread that was asked to stop. One still in its loop after
// TerminateThread had no blocking call to end at (it has reset its stop
// request as it started): ask again.
void AwaitEnd(PortWatch& w, HANDLE thread) {
  if (WaitForSingleObject(thread, kEndWait / 4) == WAIT_OBJECT_0) return;
  w.stopRequested = 1;
  WaitForSingleObject(thread, kEndWait);
}

}  // namespace

void PortBank::StartWatch(size_t port) {
  PortWatch& w = watches[port];
  if (w.queue == nullptr) {
    MSGQUEUEOPTIONS options;
    options.dwSize = sizeof(MSGQUEUEOPTIONS);
    options.dwFlags = MSGQUEUE_NOPRECOMMIT;
    options.dwMaxMessages = 1000000;
    options.cbMaxMessage = 1;
    options.bReadAccess = FALSE;  // the library's handle is the writing end
    w.queue = CreateMsgQueue(kQueueNames[port], &options);
  }
  w.stopRequested = 0;
  if (w.thread == nullptr) w.thread = CreateThread(nullptr, 0, kWatchThreads[port], this, 0, nullptr);
}

void PortBank::StopWatch(size_t port) {
  PortWatch& w = watches[port];
  HANDLE thread = w.thread;
  if (thread != nullptr) CeSetThreadPriority(thread, CE_THREAD_PRIO_256_NORMAL);
  Sleep(10);
  w.stopRequested = 1;
  Sleep(200);
  HANDLE running = w.thread;
  if (running != nullptr) {
    // Still in its loop, most likely blocked writing to a full queue: the
    // write is a blocking call, where the platform ends the thread without
    // leaving the queue's lock held.
    TerminateThread(running, 0);
  }
  if (thread != nullptr) {
    AwaitEnd(w, thread);
    CloseHandle(thread);
  }
  Sleep(10);
  HANDLE queue = w.queue;
  if (queue != nullptr) CloseMsgQueue(queue);
  w.thread = nullptr;
  w.queue = nullptr;
  Sleep(200);
}

void PortBank::SetWatchPriority(size_t port, int32_t priority) {
  PortWatch& w = watches[port];
  w.priority = priority;
  HANDLE thread = w.thread;
  if (thread != nullptr) CeSetThreadPriority(thread, priority);
}

int32_t PortBank::SetWatchIdleInterval(size_t port, int32_t count) {
  watches[port].idleCount = count;
  return count;
}

DWORD PortBank::RunWatch(size_t port) {
  PortWatch& w = watches[port];
  const PortDescription& description = kPorts[port];

  int previous = ReadPortByte(gpio, description);
  w.stopRequested = 0;
  CeSetThreadPriority(GetCurrentThread(), w.priority);

  int32_t unchanged = 0;
  for (;;) {
    int current = ReadPortByte(gpio, description);
    if (current != previous) {
      BYTE message = BYTE(current);
      WriteMsgQueue(w.queue, &message, sizeof message, INFINITE, 0);  // result ignored
      previous = current;
      unchanged = 0;
    } else {
      // Counts round through the whole 32-bit range: an idle count of 0 or
      // less is met only after wrapping. A positive count is met by any count
      // at or above it, so lowering it under a running thread takes effect at
      // once instead of after the count has wrapped.
      unchanged = int32_t(uint32_t(unchanged) + 1u);
      int32_t limit = w.idleCount;
      bool due = limit > 0 ? uint32_t(unchanged) >= uint32_t(limit) : unchanged == limit;
      if (due) {
        Sleep(1);
        unchanged = 0;
      }
    }
    if (w.stopRequested == 1) break;
  }
  w.thread = nullptr;
  return 0;
}

// At unload, every running watch is stopped at once rather than port by port
// with the export's delays; the threads have ended when this returns.
void PortBank::StopWatches() {
  std::array<HANDLE, 8> threads{};
  for (size_t port = 0; port < watches.size(); ++port) {
    threads[port] = watches[port].thread;
    if (threads[port] == nullptr) continue;
    CeSetThreadPriority(threads[port], CE_THREAD_PRIO_256_NORMAL);
    watches[port].stopRequested = 1;
  }
  for (size_t port = 0; port < watches.size(); ++port) {
    PortWatch& w = watches[port];
    HANDLE thread = threads[port];
    if (thread != nullptr) {
      if (WaitForSingleObject(thread, 200) != WAIT_OBJECT_0) {
        TerminateThread(thread, 0);
        // The library's code goes with the unload: wait for as long as the
        // thread needs (it has nothing left that could keep it).
        while (WaitForSingleObject(thread, kEndWait) != WAIT_OBJECT_0) w.stopRequested = 1;
      }
      CloseHandle(thread);
    }
    HANDLE queue = w.queue;
    if (queue != nullptr) CloseMsgQueue(queue);
    w.thread = nullptr;
    w.queue = nullptr;
  }
}

}  // namespace ferrox

// Returns 0 for a null handle and when the information query fails.
TOLVEX_EXPORT int32_t GetPortQueueCount(HANDLE queue) {
  if (queue == nullptr) return 0;
  MSGQUEUEINFO info;
  info.dwSize = sizeof(MSGQUEUEINFO);
  if (!GetMsgQueueInfo(queue, &info)) return 0;
  return int32_t(info.dwCurrentMessages);
}

#define FERROX_PORT_WATCH(L, index)                                                     \
  TOLVEX_EXPORT void Port##L##WatchStartEx() { ferrox::portBank.StartWatch(index); }    \
  TOLVEX_EXPORT void Port##L##WatchStopEx() { ferrox::portBank.StopWatch(index); }      \
  TOLVEX_EXPORT void Port##L##WatchPriority(int32_t priority) {                         \
    ferrox::portBank.SetWatchPriority(index, priority);                                 \
  }                                                                                     \
  TOLVEX_EXPORT int32_t Port##L##WatchIdleInterval(int32_t count) {                     \
    return ferrox::portBank.SetWatchIdleInterval(index, count);                         \
  }

FERROX_PORT_WATCH(A, 0)
FERROX_PORT_WATCH(B, 1)
FERROX_PORT_WATCH(C, 2)
FERROX_PORT_WATCH(D, 3)
FERROX_PORT_WATCH(E, 4)
FERROX_PORT_WATCH(F, 5)
FERROX_PORT_WATCH(G, 6)
FERROX_PORT_WATCH(H, 7)
