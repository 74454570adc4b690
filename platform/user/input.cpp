// Touch input: the board's touch screen reaches the window under the point
// as the platform's mouse messages (WM_LBUTTONDOWN with MK_LBUTTON when the
// finger touches, WM_LBUTTONUP when it lifts, lParam the point in the
// window's client coordinates), in whichever process of the panel owns that
// window. The window the finger went down on takes the touches until it
// lifts; SetCapture makes a window of this process take them all.
#include "user/panel_windows.h"
#include "user/window_system.h"

#include <orlik/kernel.h>

#include "board/touch.h"

namespace orlik::user {
namespace {

void OnTouch(int x, int y, bool down) {
  panel::Join();
  auto& s = System();
  std::lock_guard lock(s.mutex);
  int32_t pid = 0;
  uint64_t handle = 0;
  if (!RouteTouch(s, x, y, down, &pid, &handle)) return;  // outside every window
  if (pid == panel::Self()) PostTouch(s, x, y, down, reinterpret_cast<HWND>(uintptr_t(handle)));
  else panel::SendTouch(pid, handle, x, y, down);
}

// Every touch goes to `window` (SetCapture), or again to the window under
// the finger (none).
void CaptureBy(WindowSystem& s, HWND window) {
  s.capture = window;
  s.captureExplicit = window != nullptr;
}

[[maybe_unused]] const bool kTouchHandler = (board::SetTouchHandler(OnTouch), true);

}  // namespace
}  // namespace orlik::user

using namespace orlik;
using namespace orlik::user;

extern "C" {

HWND SetCapture(HWND window) {
  auto& s = System();
  std::lock_guard lock(s.mutex);
  HWND previous = s.capture;
  if (s.Require(window)) CaptureBy(s, window);
  return previous;
}

BOOL ReleaseCapture(void) {
  auto& s = System();
  std::lock_guard lock(s.mutex);
  CaptureBy(s, nullptr);
  return TRUE;
}

HWND GetCapture(void) {
  auto& s = System();
  std::lock_guard lock(s.mutex);
  return s.capture && s.Find(s.capture) ? s.capture : nullptr;
}

HWND WindowFromPoint(POINT point) {
  auto& s = System();
  std::lock_guard lock(s.mutex);
  return LocalHit(s, point.x, point.y, nullptr);
}

BOOL EnableWindow(HWND window, BOOL enable) {
  auto& s = System();
  std::lock_guard lock(s.mutex);
  Window* w = s.Require(window);
  if (!w) return FALSE;
  BOOL wasDisabled = (w->style & WS_DISABLED) ? TRUE : FALSE;
  if (enable) w->style &= ~WS_DISABLED;
  else w->style |= WS_DISABLED;
  return wasDisabled;
}

BOOL IsWindowEnabled(HWND window) {
  auto& s = System();
  std::lock_guard lock(s.mutex);
  Window* w = s.Find(window);
  return w && !(w->style & WS_DISABLED) ? TRUE : FALSE;
}

}  // extern "C"
