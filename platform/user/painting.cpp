// Painting: invalid windows, WM_PAINT and the background, and the device
// context of a window on the board's screen.
#include "user/window_system.h"

#include <orlik/kernel.h>

#include "board/display.h"
#include "gdi/dc.h"

namespace orlik::user {
namespace {

// A window's DC draws only where the window shows: not where a window above
// it (of this process or another of the panel) covers it, nor outside its
// parents. The desktop's DC draws anywhere.
HDC WindowDC(HWND window) {
  RECT r{};
  Region visible;
  {
    auto& s = System();
    std::lock_guard lock(s.mutex);
    Window* w = s.Find(window);
    if (!w && window == s.desktop) {
      auto& d = board::Display::Get();
      return gdi::CreateSurfaceDC(d.Surface(), 0, 0, d.Width(), d.Height());
    }
    if (!w) return nullptr;
    r = w->rect;
    visible = VisibleRegion(s, *w);
  }
  for (RECT& v : visible) v = RECT{v.left - r.left, v.top - r.top, v.right - r.left, v.bottom - r.top};
  return gdi::CreateClippedSurfaceDC(board::Display::Get().Surface(), r.left, r.top, r.right - r.left,
                                     r.bottom - r.top, std::move(visible));
}

[[maybe_unused]] const bool kProvider = (gdi::SetWindowDCProvider(WindowDC), true);

}  // namespace
}  // namespace orlik::user

using namespace orlik;
using namespace orlik::user;

extern "C" {

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
  // A parent without WS_CLIPCHILDREN paints over its children, which lie on
  // top of it, so its visible children paint again after it, background and
  // all.
  auto& s = System();
  std::lock_guard lock(s.mutex);
  Window* painted = s.Find(window);
  if (painted && (painted->style & WS_CLIPCHILDREN)) return TRUE;
  for (auto& [h, w] : s.windows)
    if (w.parent == window && (w.style & WS_VISIBLE)) Invalidate(w, true);
  s.changed.notify_all();
  return TRUE;
}

}  // extern "C"
