// A panel program for the screen tests, in a process of its own on the device
// root of ORLIK_ROOT. It prints "ready W H" (the screen's size) and then
// answers requests on its standard input, one per line:
//   paint R G B LEFT TOP RIGHT BOTTOM -> "painted N" a popup window there,
//                                        erased in that colour and painted
//                                        (N: the present count after it)
//   pixel X Y  -> "pixel VALUE"          orlik_sim_screen_pixel
//   presents   -> "presents N"           orlik_sim_screen_present_count
//   console    -> "console PATH"         its console socket
//   mouse      -> "mouse N [down|up X Y]..." the N mouse messages its
//                                        windows received since the last ask
//                                        (client coordinates)
// It ends at the end of its input.
#include "popup_window.h"
#include <orlik/sim.h>
#include <orlik/windows.h>

#include <cstdio>
#include <iostream>
#include <map>
#include <sstream>
#include <string>

namespace {

std::map<HWND, COLORREF> gColours;
std::string gMouse;
int gMouseCount = 0;

LRESULT CALLBACK PaintProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_LBUTTONDOWN || message == WM_LBUTTONUP) {
    gMouse += (message == WM_LBUTTONDOWN ? " down " : " up ") + std::to_string(GET_X_LPARAM(lParam)) + " " +
              std::to_string(GET_Y_LPARAM(lParam));
    ++gMouseCount;
    return 0;
  }
  if (message == WM_ERASEBKGND) return tolvex_test::EraseWith(window, wParam, gColours[window]);
  return DefWindowProcW(window, message, wParam, lParam);
}

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

}  // namespace

int main() {
  int width = 0, height = 0;
  orlik_sim_screen_size(&width, &height);
  tolvex_test::RegisterWindowClass(u"ScreenPeer", PaintProc);
  Say("ready " + std::to_string(width) + " " + std::to_string(height));

  for (std::string line; std::getline(std::cin, line);) {
    std::istringstream in(line);
    std::string request;
    in >> request;
    if (request == "paint") {
      int r = 0, g = 0, b = 0;
      RECT at{};
      in >> r >> g >> b >> at.left >> at.top >> at.right >> at.bottom;
      HWND window = CreateWindowExW(0, u"ScreenPeer", u"", WS_POPUP, at.left, at.top, at.right - at.left,
                                    at.bottom - at.top, nullptr, nullptr, nullptr, nullptr);
      gColours[window] = RGB(r, g, b);
      ShowWindow(window, SW_SHOW);
      InvalidateRect(window, nullptr, TRUE);
      UpdateWindow(window);
      Say("painted " + std::to_string(orlik_sim_screen_present_count()));
    } else if (request == "pixel") {
      int x = 0, y = 0;
      in >> x >> y;
      Say("pixel " + std::to_string(orlik_sim_screen_pixel(x, y)));
    } else if (request == "presents") {
      Say("presents " + std::to_string(orlik_sim_screen_present_count()));
    } else if (request == "mouse") {
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
      Say("mouse " + std::to_string(gMouseCount) + gMouse);
      gMouse.clear();
      gMouseCount = 0;
    } else if (request == "console") {
      char path[512];
      Say(orlik_sim_console_path(path, sizeof path) ? std::string("console ") + path : "console none");
    }
  }
  for (auto& [window, colour] : gColours) DestroyWindow(window);
  return 0;
}
