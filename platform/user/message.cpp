// Messages and timers: each thread's queue of posted messages, with WM_QUIT,
// WM_PAINT and WM_TIMER made when the queue is read, as the operating system
// does.
#include "user/window_system.h"

#include <orlik/kernel.h>
#include <orlik/threads.h>

#include <algorithm>

namespace orlik::user {
namespace {

// A timer's first message is due after its elapse (at once for 0); later
// ones come at least this far apart, so a zero period cannot flood a queue.
constexpr UINT kMinimumPeriodMs = 10;

bool InRange(UINT message, UINT first, UINT last) {
  return (first == 0 && last == 0) || (message >= first && message <= last);
}

bool WindowMatches(WindowSystem& s, HWND filter, HWND window) {
  if (!filter) return true;
  for (HWND w = window; w; ) {
    if (w == filter) return true;
    Window* win = s.Find(w);
    w = win ? win->parent : nullptr;
  }
  return false;
}

// The next message for this thread, under the lock. Removes it when asked.
bool NextMessage(WindowSystem& s, DWORD thread, MSG* msg, HWND filter, UINT first, UINT last,
                 bool remove) {
  Queue& q = s.queues[thread];
  for (auto it = q.posted.begin(); it != q.posted.end(); ++it) {
    if (!InRange(it->message, first, last) || !WindowMatches(s, filter, it->hwnd)) continue;
    *msg = *it;
    if (remove) q.posted.erase(it);
    return true;
  }
  if (q.quit && InRange(WM_QUIT, first, last)) {
    *msg = MSG{nullptr, WM_QUIT, WPARAM(q.quitCode), 0, GetTickCount(), {0, 0}};
    if (remove) q.quit = false;
    return true;
  }
  if (InRange(WM_PAINT, first, last)) {
    for (auto& [h, w] : s.windows) {
      if (w.thread != thread || !w.invalid || !(w.style & WS_VISIBLE) || !WindowMatches(s, filter, h))
        continue;
      // WM_PAINT stays until the window is validated (BeginPaint).
      *msg = MSG{h, WM_PAINT, 0, 0, GetTickCount(), {0, 0}};
      return true;
    }
  }
  if (InRange(WM_TIMER, first, last)) {
    auto now = Clock::now();
    Timer* earliest = nullptr;
    for (auto& t : s.timers)
      if (t.thread == thread && t.due <= now && WindowMatches(s, filter, t.window) &&
          (!earliest || t.due < earliest->due))
        earliest = &t;
    if (earliest) {
      *msg = MSG{earliest->window, WM_TIMER, earliest->id, reinterpret_cast<LPARAM>(earliest->proc),
                 GetTickCount(), {0, 0}};
      if (remove) earliest->due = now + std::chrono::milliseconds(std::max(earliest->elapse, kMinimumPeriodMs));
      return true;
    }
  }
  return false;
}

// The thread whose queue takes a window's messages (this thread's for no
// window); false, with the error set, for a window that does not exist.
bool QueueOf(WindowSystem& s, HWND window, DWORD* thread) {
  *thread = GetCurrentThreadId();
  if (!window) return true;
  Window* w = s.Require(window);
  if (!w) return false;
  *thread = w->thread;
  return true;
}

// When the thread's next timer is due, or the far future.
Clock::time_point NextTimerDue(WindowSystem& s, DWORD thread) {
  auto next = Clock::time_point::max();
  for (auto& t : s.timers)
    if (t.thread == thread && t.due < next) next = t.due;
  return next;
}

}  // namespace
}  // namespace orlik::user

using namespace orlik;
using namespace orlik::user;

extern "C" {

BOOL PeekMessageW(LPMSG msg, HWND window, UINT first, UINT last, UINT remove) {
  if (!msg) return FALSE;
  auto& s = System();
  std::lock_guard lock(s.mutex);
  return NextMessage(s, GetCurrentThreadId(), msg, window, first, last, remove & PM_REMOVE) ? TRUE : FALSE;
}

BOOL GetMessageW(LPMSG msg, HWND window, UINT first, UINT last) {
  if (!msg) return -1;
  auto& s = System();
  DWORD thread = GetCurrentThreadId();
  std::unique_lock lock(s.mutex);
  while (!NextMessage(s, thread, msg, window, first, last, true)) {
    auto due = NextTimerDue(s, thread);
    if (due == Clock::time_point::max()) s.changed.wait(lock);
    else s.changed.wait_until(lock, due);
  }
  return msg->message == WM_QUIT ? FALSE : TRUE;
}

BOOL TranslateMessage(const MSG*) { return FALSE; }  // no keyboard on the panel model

LRESULT DispatchMessageW(const MSG* msg) {
  if (!msg) return 0;
  if (msg->message == WM_TIMER && msg->lParam) {
    auto proc = reinterpret_cast<TIMERPROC>(msg->lParam);
    proc(msg->hwnd, WM_TIMER, msg->wParam, GetTickCount());
    return 0;
  }
  if (!msg->hwnd) return 0;
  return SendMessageW(msg->hwnd, msg->message, msg->wParam, msg->lParam);
}

BOOL PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto& s = System();
  std::lock_guard lock(s.mutex);
  DWORD thread = 0;
  if (!QueueOf(s, window, &thread)) return FALSE;
  s.queues[thread].posted.push_back(MSG{window, message, wParam, lParam, GetTickCount(), {0, 0}});
  s.changed.notify_all();
  return TRUE;
}

LRESULT SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WNDPROC proc = nullptr;
  {
    auto& s = System();
    std::lock_guard lock(s.mutex);
    Window* w = s.Require(window);
    if (!w) return 0;
    proc = w->wndProc;
  }
  return proc(window, message, wParam, lParam);
}

void PostQuitMessage(int exitCode) {
  auto& s = System();
  std::lock_guard lock(s.mutex);
  Queue& q = s.queues[GetCurrentThreadId()];
  q.quit = true;
  q.quitCode = exitCode;
  s.changed.notify_all();
}

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC proc) {
  auto& s = System();
  std::lock_guard lock(s.mutex);
  DWORD thread = 0;
  if (!QueueOf(s, window, &thread)) return 0;
  if (!window) {
    // A timer without a window gets an identifier of its own.
    static UINT_PTR next = 0x7F00;
    id = ++next;
  }
  std::erase_if(s.timers, [&](const Timer& t) { return t.window == window && t.id == id; });
  s.timers.push_back(Timer{window, id, elapse, proc, thread, Clock::now() + std::chrono::milliseconds(elapse)});
  s.changed.notify_all();
  return id == 0 ? 1 : id;
}

BOOL KillTimer(HWND window, UINT_PTR id) {
  auto& s = System();
  std::lock_guard lock(s.mutex);
  auto n = std::erase_if(s.timers, [&](const Timer& t) { return t.window == window && t.id == id; });
  return n ? TRUE : FALSE;
}

}  // extern "C"
