// The window system's shared state: windows, per-thread message queues and
// timers. One lock guards all of it; window procedures always run without it.
// Its calls are in windows (window.cpp), messages and timers (message.cpp),
// painting (painting.cpp) and dialogs (dialog.cpp).
#pragma once

#include <orlik/kernel.h>
#include <orlik/winuser.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace orlik::user {

using Clock = std::chrono::steady_clock;

struct Window {
  HWND handle = nullptr;
  HWND parent = nullptr;
  WNDPROC wndProc = nullptr;
  DLGPROC dlgProc = nullptr;  // dialogs: the caller's dialog procedure
  DWORD style = 0, exStyle = 0;
  RECT rect{};  // screen coordinates
  DWORD thread = 0;
  bool invalid = false;
  bool erase = false;
  bool dialogEnded = false;
  INT_PTR dialogResult = 0;
  LONG_PTR userData = 0, msgResult = 0, dlgUser = 0;
  HICON icons[2] = {};
  HBRUSH background = nullptr;
};

struct Timer {
  HWND window;
  UINT_PTR id;
  UINT elapse;
  TIMERPROC proc;
  DWORD thread;
  Clock::time_point due;
};

struct Queue {
  std::deque<MSG> posted;
  bool quit = false;
  int quitCode = 0;
};

struct WindowSystem {
  std::mutex mutex;
  std::condition_variable changed;
  std::map<HWND, Window> windows;
  std::map<std::u16string, WNDCLASSW> classes;  // by lower-case name
  std::vector<Timer> timers;
  std::map<DWORD, Queue> queues;
  uintptr_t nextHandle = 0x10010;
  HWND desktop = reinterpret_cast<HWND>(uintptr_t(0x10000));

  HWND NewHandle() {
    HWND h = reinterpret_cast<HWND>(nextHandle);
    nextHandle += 8;
    return h;
  }
  Window* Find(HWND h) {
    auto it = windows.find(h);
    return it == windows.end() ? nullptr : &it->second;
  }
  // Find for an entry point: an unknown window sets ERROR_INVALID_HANDLE.
  Window* Require(HWND h) {
    Window* w = Find(h);
    if (!w) SetLastError(ERROR_INVALID_HANDLE);
    return w;
  }
};

// The one window system of the process.
WindowSystem& System();

// Marks a window for a WM_PAINT, with its background erased when asked.
inline void Invalidate(Window& w, bool erase) {
  w.invalid = true;
  w.erase = w.erase || erase;
}

// Enters a window filled in by the caller (procedures, styles, rectangle in
// screen coordinates) for the calling thread and sends it WM_CREATE with
// createParam. Used by CreateWindowExW and the dialog manager.
HWND NewWindow(Window window, LPVOID createParam);

}  // namespace orlik::user
