// Windows: classes, creation and destruction, visibility, position and size,
// window data, system colours and metrics, and the default window procedure.
#include "user/panel_windows.h"
#include "user/window_system.h"

#include <orlik/kernel.h>
#include <orlik/text.h>
#include <orlik/threads.h>

#include "board/console/console.h"
#include "board/display.h"
#include "core/names.h"

#include <algorithm>

namespace orlik::user {

WindowSystem& System() {
  static auto* system = new WindowSystem;
  return *system;
}

HWND NewWindow(Window window, LPVOID createParam) {
  HWND handle;
  panel::Join();
  {
    auto& s = System();
    std::lock_guard lock(s.mutex);
    window.handle = handle = s.NewHandle();
    window.thread = GetCurrentThreadId();
    // A new window goes on top of its siblings (of the panel's windows).
    window.z = NewStamp(s, true);
    if (window.style & WS_VISIBLE) Invalidate(window, true);
    s.windows[handle] = window;
    EndChange(s, BeginChange(s, handle));
  }
  SendMessageW(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(createParam));
  return handle;
}

namespace {

std::u16string LowerName(LPCWSTR name) { return LowerAscii(View(name)); }

void SendSizeAndMove(HWND window, const RECT& before, const RECT& after) {
  if (before.left != after.left || before.top != after.top)
    SendMessageW(window, WM_MOVE, 0, MAKELPARAM(after.left, after.top));
  if (before.right - before.left != after.right - after.left ||
      before.bottom - before.top != after.bottom - after.top)
    SendMessageW(window, WM_SIZE, SIZE_RESTORED,
                 MAKELPARAM(after.right - after.left, after.bottom - after.top));
}

void MoveDescendants(WindowSystem& s, HWND parent, LONG dx, LONG dy) {
  for (auto& [h, w] : s.windows) {
    if (w.parent != parent || !IsChildWindow(w)) continue;
    w.rect = RECT{w.rect.left + dx, w.rect.top + dy, w.rect.right + dx, w.rect.bottom + dy};
    if (w.style & WS_VISIBLE) Invalidate(w, true);
    MoveDescendants(s, h, dx, dy);
  }
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
  // A process that shows windows can be reached from outside.
  board::console::Start();
  Window w;
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
    w.parent = parent;
    w.wndProc = it->second.lpfnWndProc;
    w.background = it->second.hbrBackground;
    w.style = style;
    w.exStyle = exStyle;
    int px = 0, py = 0;
    if ((style & WS_CHILD) && parent)
      if (Window* p = s.Find(parent)) px = p->rect.left, py = p->rect.top;
    w.rect = RECT{px + x, py + y, px + x + width, py + y + height};
  }
  return NewWindow(w, param);
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
  Change change = BeginChange(s, window);
  s.windows.erase(window);
  if (s.capture == window) s.capture = nullptr, s.captureExplicit = false;
  EndChange(s, change);
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
    Change change = BeginChange(s, window);
    wasVisible = w->style & WS_VISIBLE;
    if (show == SW_HIDE) {
      w->style &= ~WS_VISIBLE;
    } else {
      w->style |= WS_VISIBLE;
      if (!wasVisible) {
        Invalidate(*w, true);
        // Shown and activated: a top-level window comes to the top.
        if (!IsChildWindow(*w)) w->z = NewStamp(s, true);
      }
    }
    EndChange(s, change);
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
    Change change = BeginChange(s, window);
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
    // Children keep their place in the window.
    if (before.left != after.left || before.top != after.top) MoveDescendants(s, window, after.left - before.left,
                                                                             after.top - before.top);
    if (!(flags & SWP_NOZORDER)) Restack(s, *w, insertAfter);
    if (flags & SWP_SHOWWINDOW) w->style |= WS_VISIBLE;
    if (flags & SWP_HIDEWINDOW) w->style &= ~WS_VISIBLE;
    bool moved = before.left != after.left || before.top != after.top ||
                 before.right != after.right || before.bottom != after.bottom;
    if ((moved || (flags & SWP_SHOWWINDOW)) && !(flags & SWP_NOREDRAW)) Invalidate(*w, true);
    EndChange(s, change);
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
  // Visibility and topmost are styles too.
  Change change = BeginChange(s, window);
  switch (index) {
    case GWL_STYLE: old = LONG_PTR(w->style); w->style = DWORD(value); break;
    case GWL_EXSTYLE: old = LONG_PTR(w->exStyle); w->exStyle = DWORD(value); break;
    case GWL_USERDATA: old = w->userData; w->userData = value; break;
    case DWL_MSGRESULT: old = w->msgResult; w->msgResult = value; break;
    case DWL_USER: old = w->dlgUser; w->dlgUser = value; break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return 0;
  }
  if (index == GWL_STYLE || index == GWL_EXSTYLE) EndChange(s, change);
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

LRESULT DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (IsCtlColor(message)) {
    SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_BTNFACE));
    SetTextColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 0));
    return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_BTNFACE));
  }
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

}  // extern "C"
