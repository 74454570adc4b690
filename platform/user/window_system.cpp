// The window system: windows, per-thread message queues, timers, painting and
// modal dialogs. One lock guards every window and queue; window procedures
// always run without it.
#include <orlik/kernel.h>
#include <orlik/text.h>
#include <orlik/threads.h>
#include <orlik/winuser.h>

#include "board/board.h"
#include "board/display.h"
#include "gdi/dc.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace orlik::user {
namespace {

using Clock = std::chrono::steady_clock;

// A timer's first message is due after its elapse (at once for 0); later
// ones come at least this far apart, so a zero period cannot flood a queue.
constexpr UINT kMinimumPeriodMs = 10;

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

WindowSystem& System() {
  static auto* system = new WindowSystem;
  return *system;
}

std::u16string LowerName(LPCWSTR name) {
  std::u16string s(View(name));
  for (auto& c : s)
    if (c >= u'A' && c <= u'Z') c = char16_t(c + 32);
  return s;
}

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

// When the thread's next timer is due, or the far future.
Clock::time_point NextTimerDue(WindowSystem& s, DWORD thread) {
  auto next = Clock::time_point::max();
  for (auto& t : s.timers)
    if (t.thread == thread && t.due < next) next = t.due;
  return next;
}

void Invalidate(Window& w, bool erase) {
  w.invalid = true;
  w.erase = w.erase || erase;
}

// The dialog manager's handling around the caller's dialog procedure.
LRESULT CALLBACK DialogWindowProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  DLGPROC proc = nullptr;
  {
    auto& s = System();
    std::lock_guard lock(s.mutex);
    if (Window* w = s.Find(dialog)) proc = w->dlgProc;
  }
  INT_PTR handled = proc ? proc(dialog, message, wParam, lParam) : 0;
  switch (message) {
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
    case WM_INITDIALOG:
    case WM_ERASEBKGND:
      // These hand their result back directly (a brush, the focus choice,
      // whether the background was erased).
      if (handled) return handled;
      break;
    default:
      if (handled) {
        auto& s = System();
        std::lock_guard lock(s.mutex);
        Window* w = s.Find(dialog);
        return w ? w->msgResult : 0;
      }
  }
  return DefDlgProcW(dialog, message, wParam, lParam);
}

void SendSizeAndMove(HWND window, const RECT& before, const RECT& after) {
  if (before.left != after.left || before.top != after.top)
    SendMessageW(window, WM_MOVE, 0, MAKELPARAM(after.left, after.top));
  if (before.right - before.left != after.right - after.left ||
      before.bottom - before.top != after.bottom - after.top)
    SendMessageW(window, WM_SIZE, SIZE_RESTORED,
                 MAKELPARAM(after.right - after.left, after.bottom - after.top));
}

HDC WindowDC(HWND window) {
  RECT r{};
  {
    auto& s = System();
    std::lock_guard lock(s.mutex);
    Window* w = s.Find(window);
    if (w) r = w->rect;
    else if (window == s.desktop) r = RECT{0, 0, board::Display::Get().Width(), board::Display::Get().Height()};
    else return nullptr;
  }
  return gdi::CreateSurfaceDC(board::Display::Get().Surface(), r.left, r.top, r.right - r.left,
                              r.bottom - r.top);
}

[[maybe_unused]] const bool kProvider = (gdi::SetWindowDCProvider(WindowDC), true);

// Reads a text field of a dialog template: 0x0000 none, 0xFFFF + ordinal, or a text.
const WORD* SkipTemplateText(const WORD* p, std::u16string* text) {
  if (*p == 0) return p + 1;
  if (*p == 0xFFFF) return p + 2;
  const WORD* start = p;
  while (*p) ++p;
  if (text) text->assign(reinterpret_cast<const char16_t*>(start), size_t(p - start));
  return p + 1;
}

}  // namespace
}  // namespace orlik::user

using namespace orlik;
using namespace orlik::user;

extern "C" {

WORD RegisterClassW(const WNDCLASSW* windowClass) {
  if (!windowClass || !windowClass->lpszClassName || !windowClass->lpfnWndProc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  auto& s = System();
  std::lock_guard lock(s.mutex);
  s.classes[LowerName(windowClass->lpszClassName)] = *windowClass;
  return WORD(s.classes.size());
}

HWND CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU, HINSTANCE, LPVOID param) {
  HWND handle;
  {
    auto& s = System();
    std::lock_guard lock(s.mutex);
    auto it = className ? s.classes.find(LowerName(className)) : s.classes.end();
    if (it == s.classes.end()) {
      SetLastError(1407 /* ERROR_CANNOT_FIND_WND_CLASS */);
      return nullptr;
    }
    if (x == CW_USEDEFAULT) x = 0;
    if (y == CW_USEDEFAULT) y = 0;
    if (width == CW_USEDEFAULT) width = board::Display::Get().Width();
    if (height == CW_USEDEFAULT) height = board::Display::Get().Height();
    Window w;
    w.handle = handle = s.NewHandle();
    w.parent = parent;
    w.wndProc = it->second.lpfnWndProc;
    w.background = it->second.hbrBackground;
    w.style = style;
    w.exStyle = exStyle;
    int px = 0, py = 0;
    if ((style & WS_CHILD) && parent)
      if (Window* p = s.Find(parent)) px = p->rect.left, py = p->rect.top;
    w.rect = RECT{px + x, py + y, px + x + width, py + y + height};
    w.thread = GetCurrentThreadId();
    if (style & WS_VISIBLE) Invalidate(w, true);
    s.windows[handle] = w;
  }
  SendMessageW(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(param));
  return handle;
}

BOOL DestroyWindow(HWND window) {
  if (!IsWindow(window)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  std::vector<HWND> children;
  {
    auto& s = System();
    std::lock_guard lock(s.mutex);
    for (auto& [h, w] : s.windows)
      if (w.parent == window) children.push_back(h);
  }
  for (HWND c : children) DestroyWindow(c);
  SendMessageW(window, WM_DESTROY, 0, 0);
  auto& s = System();
  std::lock_guard lock(s.mutex);
  s.windows.erase(window);
  std::erase_if(s.timers, [&](const Timer& t) { return t.window == window; });
  for (auto& [thread, q] : s.queues)
    std::erase_if(q.posted, [&](const MSG& m) { return m.hwnd == window; });
  return TRUE;
}

BOOL IsWindow(HWND window) {
  auto& s = System();
  std::lock_guard lock(s.mutex);
  return s.Find(window) != nullptr || window == s.desktop;
}

BOOL ShowWindow(HWND window, int show) {
  bool wasVisible;
  {
    auto& s = System();
    std::lock_guard lock(s.mutex);
    Window* w = s.Find(window);
    if (!w) return FALSE;
    wasVisible = w->style & WS_VISIBLE;
    if (show == SW_HIDE) {
      w->style &= ~WS_VISIBLE;
    } else {
      w->style |= WS_VISIBLE;
      if (!wasVisible) Invalidate(*w, true);
    }
    s.changed.notify_all();
  }
  if (wasVisible != (show != SW_HIDE)) SendMessageW(window, WM_SHOWWINDOW, show != SW_HIDE, 0);
  return wasVisible;
}

BOOL IsWindowVisible(HWND window) {
  auto& s = System();
  std::lock_guard lock(s.mutex);
  Window* w = s.Find(window);
  return w && (w->style & WS_VISIBLE) ? TRUE : FALSE;
}

HWND GetParent(HWND window) {
  auto& s = System();
  std::lock_guard lock(s.mutex);
  Window* w = s.Find(window);
  return w ? w->parent : nullptr;
}

BOOL SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width, int height, UINT flags) {
  RECT before, after;
  {
    auto& s = System();
    std::lock_guard lock(s.mutex);
    Window* w = s.Require(window);
    if (!w) return FALSE;
    before = after = w->rect;
    if (!(flags & SWP_NOMOVE)) {
      int px = 0, py = 0;
      if ((w->style & WS_CHILD) && w->parent)
        if (Window* p = s.Find(w->parent)) px = p->rect.left, py = p->rect.top;
      after.left = px + x;
      after.top = py + y;
      after.right = after.left + (before.right - before.left);
      after.bottom = after.top + (before.bottom - before.top);
    }
    if (!(flags & SWP_NOSIZE)) {
      after.right = after.left + (width < 0 ? 0 : width);
      after.bottom = after.top + (height < 0 ? 0 : height);
    }
    w->rect = after;
    if (!(flags & SWP_NOZORDER)) {
      if (insertAfter == HWND_TOPMOST) w->exStyle |= WS_EX_TOPMOST;
      else if (insertAfter == HWND_NOTOPMOST) w->exStyle &= ~WS_EX_TOPMOST;
    }
    if (flags & SWP_SHOWWINDOW) w->style |= WS_VISIBLE;
    if (flags & SWP_HIDEWINDOW) w->style &= ~WS_VISIBLE;
    bool moved = before.left != after.left || before.top != after.top ||
                 before.right != after.right || before.bottom != after.bottom;
    if ((moved || (flags & SWP_SHOWWINDOW)) && !(flags & SWP_NOREDRAW)) Invalidate(*w, true);
    s.changed.notify_all();
  }
  SendSizeAndMove(window, before, after);
  return TRUE;
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) {
  return SetWindowPos(window, nullptr, x, y, width, height,
                      SWP_NOZORDER | SWP_NOACTIVATE | (repaint ? 0 : SWP_NOREDRAW));
}

BOOL GetWindowRect(HWND window, LPRECT rect) {
  if (!rect) return FALSE;
  auto& s = System();
  std::lock_guard lock(s.mutex);
  if (window == s.desktop) {
    *rect = RECT{0, 0, board::Display::Get().Width(), board::Display::Get().Height()};
    return TRUE;
  }
  Window* w = s.Require(window);
  if (!w) return FALSE;
  *rect = w->rect;
  return TRUE;
}

BOOL GetClientRect(HWND window, LPRECT rect) {
  RECT r;
  if (!rect || !GetWindowRect(window, &r)) return FALSE;
  *rect = RECT{0, 0, r.right - r.left, r.bottom - r.top};
  return TRUE;
}

HWND GetDesktopWindow(void) { return System().desktop; }

int GetSystemMetrics(int index) {
  switch (index) {
    case SM_CXSCREEN: return board::Display::Get().Width();
    case SM_CYSCREEN: return board::Display::Get().Height();
    default: return 0;
  }
}

LONG_PTR GetWindowLongPtrW(HWND window, int index) {
  auto& s = System();
  std::lock_guard lock(s.mutex);
  Window* w = s.Require(window);
  if (!w) return 0;
  switch (index) {
    case GWL_STYLE: return LONG_PTR(w->style);
    case GWL_EXSTYLE: return LONG_PTR(w->exStyle);
    case GWL_USERDATA: return w->userData;
    case DWL_MSGRESULT: return w->dlgProc ? w->msgResult : 0;
    case DWL_USER: return w->dlgUser;
    default: SetLastError(ERROR_INVALID_PARAMETER); return 0;
  }
}

LONG_PTR SetWindowLongPtrW(HWND window, int index, LONG_PTR value) {
  auto& s = System();
  std::lock_guard lock(s.mutex);
  Window* w = s.Require(window);
  if (!w) return 0;
  LONG_PTR old = 0;
  switch (index) {
    case GWL_STYLE: old = LONG_PTR(w->style); w->style = DWORD(value); break;
    case GWL_EXSTYLE: old = LONG_PTR(w->exStyle); w->exStyle = DWORD(value); break;
    case GWL_USERDATA: old = w->userData; w->userData = value; break;
    case DWL_MSGRESULT: old = w->msgResult; w->msgResult = value; break;
    case DWL_USER: old = w->dlgUser; w->dlgUser = value; break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return 0;
  }
  return old;
}

LONG GetWindowLongW(HWND window, int index) { return LONG(GetWindowLongPtrW(window, index)); }
LONG SetWindowLongW(HWND window, int index, LONG value) {
  return LONG(SetWindowLongPtrW(window, index, value));
}

DWORD GetSysColor(int index) {
  return index == COLOR_WINDOW ? RGB(255, 255, 255) : RGB(212, 208, 200);
}

HBRUSH GetSysColorBrush(int index) {
  static HBRUSH face = CreateSolidBrush(GetSysColor(COLOR_BTNFACE));
  static HBRUSH window = CreateSolidBrush(GetSysColor(COLOR_WINDOW));
  return index == COLOR_WINDOW ? window : face;
}

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
  DWORD thread = GetCurrentThreadId();
  if (window) {
    Window* w = s.Require(window);
    if (!w) return FALSE;
    thread = w->thread;
  }
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

LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(window, &ps);
      EndPaint(window, &ps);
      return 0;
    }
    case WM_ERASEBKGND: {
      HBRUSH brush;
      {
        auto& s = System();
        std::lock_guard lock(s.mutex);
        Window* w = s.Find(window);
        brush = w ? w->background : nullptr;
      }
      if (!brush) return 0;
      RECT r;
      GetClientRect(window, &r);
      FillRect(reinterpret_cast<HDC>(wParam), &r, brush);
      return 1;
    }
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
      SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNFACE));
      SetTextColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 0));
      return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
    case WM_SETICON:
    case WM_GETICON: {
      auto& s = System();
      std::lock_guard lock(s.mutex);
      Window* w = s.Find(window);
      if (!w) return 0;
      int which = wParam == ICON_SMALL ? ICON_SMALL : ICON_BIG;
      HICON old = w->icons[which];
      if (message == WM_SETICON) w->icons[which] = reinterpret_cast<HICON>(lParam);
      return reinterpret_cast<LRESULT>(old);
    }
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    default:
      return 0;
  }
}

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC proc) {
  auto& s = System();
  std::lock_guard lock(s.mutex);
  DWORD thread = GetCurrentThreadId();
  if (window) {
    Window* w = s.Require(window);
    if (!w) return 0;
    thread = w->thread;
  } else {
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

BOOL InvalidateRect(HWND window, const RECT*, BOOL erase) {
  auto& s = System();
  std::lock_guard lock(s.mutex);
  if (!window) {
    for (auto& [h, w] : s.windows) Invalidate(w, erase);
  } else {
    Window* w = s.Require(window);
    if (!w) return FALSE;
    Invalidate(*w, erase);
  }
  s.changed.notify_all();
  return TRUE;
}

BOOL ValidateRect(HWND window, const RECT*) {
  auto& s = System();
  std::lock_guard lock(s.mutex);
  Window* w = s.Find(window);
  if (!w) return FALSE;
  w->invalid = w->erase = false;
  return TRUE;
}

BOOL UpdateWindow(HWND window) {
  bool needsPaint;
  {
    auto& s = System();
    std::lock_guard lock(s.mutex);
    Window* w = s.Find(window);
    if (!w) return FALSE;
    needsPaint = w->invalid && (w->style & WS_VISIBLE);
  }
  if (needsPaint) SendMessageW(window, WM_PAINT, 0, 0);
  return TRUE;
}

HDC BeginPaint(HWND window, LPPAINTSTRUCT paint) {
  if (!paint) return nullptr;
  *paint = PAINTSTRUCT{};
  bool erase;
  {
    auto& s = System();
    std::lock_guard lock(s.mutex);
    Window* w = s.Require(window);
    if (!w) return nullptr;
    erase = w->erase;
    w->invalid = w->erase = false;
  }
  HDC dc = GetDC(window);
  paint->hdc = dc;
  GetClientRect(window, &paint->rcPaint);
  paint->fErase = erase ? !SendMessageW(window, WM_ERASEBKGND, reinterpret_cast<WPARAM>(dc), 0) : FALSE;
  return dc;
}

BOOL EndPaint(HWND window, const PAINTSTRUCT* paint) {
  if (!paint) return FALSE;
  if (paint->hdc) ReleaseDC(nullptr, paint->hdc);
  board::Display::Get().Present();
  // Windows are not clipped: a parent paints over its children, which lie on
  // top of it, so its visible children paint again after it.
  auto& s = System();
  std::lock_guard lock(s.mutex);
  for (auto& [h, w] : s.windows)
    if (w.parent == window && (w.style & WS_VISIBLE)) Invalidate(w, false);
  s.changed.notify_all();
  return TRUE;
}

INT_PTR DialogBoxIndirectParamW(HINSTANCE, LPCDLGTEMPLATE dialogTemplate, HWND parent,
                                DLGPROC dialogProc, LPARAM initParam) {
  if (!dialogTemplate || !dialogProc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  // Dialog units: an average character of the dialog font is 4 x 8 units;
  // for "MS Shell Dlg" at 8 or 9 points that character is 6 x 13 pixels.
  constexpr int kBaseX = 6, kBaseY = 13;
  const DLGTEMPLATE& t = *dialogTemplate;
  const WORD* p = reinterpret_cast<const WORD*>(&t + 1);
  p = SkipTemplateText(p, nullptr);  // menu
  p = SkipTemplateText(p, nullptr);  // class
  p = SkipTemplateText(p, nullptr);  // title
  int width = t.cx * kBaseX / 4, height = t.cy * kBaseY / 8;
  int x = t.x * kBaseX / 4, y = t.y * kBaseY / 8;
  if (t.style & DS_CENTER) {
    x = (board::Display::Get().Width() - width) / 2;
    y = (board::Display::Get().Height() - height) / 2;
  }
  HWND dialog;
  {
    auto& s = System();
    std::lock_guard lock(s.mutex);
    Window w;
    w.handle = dialog = s.NewHandle();
    w.parent = parent;
    w.wndProc = DialogWindowProc;
    w.dlgProc = dialogProc;
    w.style = t.style;
    w.exStyle = t.dwExtendedStyle;
    w.rect = RECT{x, y, x + width, y + height};
    w.thread = GetCurrentThreadId();
    if (w.style & WS_VISIBLE) Invalidate(w, true);
    s.windows[dialog] = w;
  }
  SendMessageW(dialog, WM_INITDIALOG, 0, initParam);

  MSG msg;
  for (;;) {
    {
      auto& s = System();
      std::lock_guard lock(s.mutex);
      Window* w = s.Find(dialog);
      if (!w || w->dialogEnded) break;
    }
    if (!GetMessageW(&msg, nullptr, 0, 0)) {
      PostQuitMessage(int(msg.wParam));  // the quit belongs to the outer loop
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  INT_PTR result = 0;
  {
    auto& s = System();
    std::lock_guard lock(s.mutex);
    if (Window* w = s.Find(dialog)) result = w->dialogResult;
  }
  if (IsWindow(dialog)) DestroyWindow(dialog);
  return result;
}

INT_PTR DialogBoxParamW(HINSTANCE instance, LPCWSTR templateName, HWND parent, DLGPROC dialogProc,
                        LPARAM initParam) {
  HRSRC resource = FindResourceW(instance, templateName, RT_DIALOG);
  if (!resource) return -1;
  auto* dialogTemplate = static_cast<LPCDLGTEMPLATE>(LockResource(LoadResource(instance, resource)));
  return DialogBoxIndirectParamW(instance, dialogTemplate, parent, dialogProc, initParam);
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  auto& s = System();
  std::lock_guard lock(s.mutex);
  Window* w = s.Find(dialog);
  if (!w || !w->dlgProc) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  w->dialogEnded = true;
  w->dialogResult = result;
  w->style &= ~WS_VISIBLE;
  s.changed.notify_all();
  return TRUE;
}

LRESULT DefDlgProcW(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND: {
      // The dialog's background brush comes from WM_CTLCOLORDLG.
      HDC dc = reinterpret_cast<HDC>(wParam);
      auto brush = reinterpret_cast<HBRUSH>(SendMessageW(dialog, WM_CTLCOLORDLG, wParam,
                                                         reinterpret_cast<LPARAM>(dialog)));
      RECT r;
      GetClientRect(dialog, &r);
      if (brush) FillRect(dc, &r, brush);
      return 1;
    }
    case WM_CLOSE:
      EndDialog(dialog, IDCANCEL);
      return 0;
    case WM_COMMAND:
      // The OK and Cancel actions end the modal run.
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(dialog, LOWORD(wParam));
      return 0;
    case WM_INITDIALOG:
      return 1;
    default:
      return DefWindowProcW(dialog, message, wParam, lParam);
  }
}

}  // extern "C"
