// Painting: invalid windows, WM_PAINT and the background, and the device
// context of a window on the board's screen.
#include "user/window_system.h"

#include <orlik/kernel.h>

#include "board/display.h"
#include "gdi/dc.h"

namespace orlik::user {
namespace {

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
  // Windows are not clipped: a parent paints over its children, which lie on
  // top of it, so its visible children paint again after it.
  auto& s = System();
  std::lock_guard lock(s.mutex);
  for (auto& [h, w] : s.windows)
    if (w.parent == window && (w.style & WS_VISIBLE)) Invalidate(w, false);
  s.changed.notify_all();
  return TRUE;
}

}  // extern "C"
