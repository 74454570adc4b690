// The owner window the tests and benchmarks give the libraries: a visible
// top-level popup of its own window class.
#pragma once

#include <orlik/windows.h>

namespace tolvex_test {

// Registers the class with `proc` and creates its popup at (x, y), width x
// height; null when the window cannot be created.
inline HWND PopupWindow(LPCWSTR className, WNDPROC proc, int x, int y, int width, int height) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = proc;
  wc.lpszClassName = className;
  RegisterClassW(&wc);
  return CreateWindowExW(0, className, u"", WS_POPUP | WS_VISIBLE, x, y, width, height, nullptr, nullptr,
                         nullptr, nullptr);
}

}  // namespace tolvex_test
