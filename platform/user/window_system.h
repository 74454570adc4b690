// The window system's shared state: windows, per-thread message queues and
// timers. One lock guards all of it; window procedures always run without it.
// Its calls are in windows (window.cpp), messages and timers (message.cpp),
// painting (painting.cpp) and dialogs (dialog.cpp).
#pragma once

#include <orlik/kernel.h>
#include <orlik/winuser.h>

#include <chrono>
#include <cstdint>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace orlik::user {
namespace panel {
struct Key;
}

using Clock = std::chrono::steady_clock;

struct Window {
  HWND handle = nullptr;
  HWND parent = nullptr;
  WNDPROC wndProc = nullptr;
  DLGPROC dlgProc = nullptr;  // dialogs: the caller's dialog procedure
  DWORD style = 0, exStyle = 0;
  RECT rect{};  // screen coordinates
  // Stacking: among its siblings (or among the top-level windows of the
  // panel, topmost ones above the rest) a higher stamp lies above.
  int64_t z = 0;
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
  // The window that takes the touches until the finger lifts (or until
  // ReleaseCapture, when SetCapture set it).
  HWND capture = nullptr;
  bool captureExplicit = false;
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

// --- stacking, clipping and hit testing (stacking.cpp); all under the lock ---

using Region = std::vector<RECT>;  // disjoint rectangles

// Removes `cut` from the region.
void Subtract(Region& region, const RECT& cut);
bool Intersects(const Region& region, const RECT& rect);
bool Contains(const RECT& rect, int x, int y);

// WM_CTLCOLORMSGBOX .. WM_CTLCOLORSTATIC: a control asks its parent for
// colours and a brush.
inline bool IsCtlColor(UINT message) { return message >= WM_CTLCOLORMSGBOX && message <= WM_CTLCOLORSTATIC; }

// A child window (positioned in and clipped to its parent), as opposed to a
// top-level one (which may still have an owner in `parent`).
inline bool IsChildWindow(const Window& w) { return (w.style & WS_CHILD) && w.parent; }

// Visible, and so are all its parents.
bool Shown(WindowSystem& s, const Window& w);
// The window's rectangle cut to its parents' and to the screen.
RECT ClippedRect(WindowSystem& s, const Window& w);
Window* TopLevelOf(WindowSystem& s, Window& w);
// Every window of the process in painting order, bottom first: top-level
// windows by stacking, each followed by its children (above it).
std::vector<Window*> Stack(WindowSystem& s);
// The part of the screen a window may draw on: its clipped rectangle less
// every shown window above it (its own children too with WS_CLIPCHILDREN),
// the other processes' windows included.
Region VisibleRegion(WindowSystem& s, Window& w);
// A stamp for a window put on top of (or below) everything.
int64_t NewStamp(WindowSystem& s, bool top);
// Places a window in the stacking as SetWindowPos's insertAfter asks.
void Restack(WindowSystem& s, Window& w, HWND insertAfter);

// The stacking and geometry before a change, to repaint what the change
// uncovers: windows that lay below the changed one where it no longer is.
struct Change {
  HWND window = nullptr;
  bool topLevel = false;
  Region before;                 // the changed window's clipped area, if shown
  std::vector<HWND> order;       // Stack() before the change
  bool topmost = false;          // its top-level window's, before the change
  int64_t z = 0, topZ = 0;       // its stamp and its top-level window's
};
Change BeginChange(WindowSystem& s, HWND window);
// Invalidates what the change uncovered, here and in the panel's other
// processes, and publishes the process's windows again.
void EndChange(WindowSystem& s, const Change& change);

// Another process uncovered `area` for the windows below `key`: they repaint
// there (all of them, when what was uncovered is no longer known).
void Expose(WindowSystem& s, const panel::Key& key, const RECT& area);
void ExposeAll(WindowSystem& s);

// The deepest shown window under a point (screen coordinates), inside the
// top-level window `within` when given: disabled children let the touch
// through to what lies below them; a disabled top-level window takes it and
// nothing gets it (null).
HWND LocalHit(WindowSystem& s, int x, int y, HWND within);
// Posts a touch to the window under the point (or the capture) as mouse
// messages, lParam in its client coordinates.
void PostTouch(WindowSystem& s, int x, int y, bool down, HWND within);
// Which process and top-level window of the panel a touch goes to: the
// topmost shown one under the point, or the one the finger went down on
// when it lifts, or this process's capture (handle 0). False: none.
bool RouteTouch(WindowSystem& s, int x, int y, bool down, int32_t* pid, uint64_t* handle);

// Enters a window filled in by the caller (procedures, styles, rectangle in
// screen coordinates) for the calling thread and sends it WM_CREATE with
// createParam. Used by CreateWindowExW and the dialog manager.
HWND NewWindow(Window window, LPVOID createParam);

}  // namespace orlik::user
