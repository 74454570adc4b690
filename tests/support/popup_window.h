// The owner window the tests and benchmarks give the libraries (a visible
// top-level popup of its own window class), and windows of one colour.
#pragma once

#include <orlik/windows.h>

namespace tolvex_test {

// A window class of that name whose windows `proc` serves.
inline void RegisterWindowClass(LPCWSTR className, WNDPROC proc) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = proc;
  wc.lpszClassName = className;
  RegisterClassW(&wc);
}

// Registers the class with `proc` and creates its popup at (x, y), width x
// height; null when the window cannot be created.
inline HWND PopupWindow(LPCWSTR className, WNDPROC proc, int x, int y, int width, int height) {
  RegisterWindowClass(className, proc);
  return CreateWindowExW(0, className, u"", WS_POPUP | WS_VISIBLE, x, y, width, height, nullptr, nullptr,
                         nullptr, nullptr);
}

// WM_ERASEBKGND's answer for a window of one colour: fills its client area
// on the message's DC (wParam) and says it is erased.
inline LRESULT EraseWith(HWND window, WPARAM dc, COLORREF colour) {
  RECT r;
  GetClientRect(window, &r);
  HBRUSH brush = CreateSolidBrush(colour);
  FillRect(reinterpret_cast<HDC>(dc), &r, brush);
  DeleteObject(brush);
  return 1;
}

}  // namespace tolvex_test
