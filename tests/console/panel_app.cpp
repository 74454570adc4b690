// A small panel application for the console tests and benchmark: it loads
// the hardware library as an application does, watches port D and reports
// each byte its queue delivers, and answers a few requests on its standard
// input with what the library returns.
//
//   panel_app FERROX_PATH [--no-reader]
// Prints "ready" once the watch runs, "port XX" for every byte read from the
// queue "Tolvex_TolGPIOFastD" (not with --no-reader: then another process
// reads the queue). Requests, one per line:
//   adc N      -> "adc N CODE"        GetADCData
//   battery    -> "battery VOLTS"     GetBatteryVoltage
//   supply     -> "supply 0|1"        IsExtDCPowerIN
//   box TEXT   -> "box"               a message box with TEXT
//   paint R G B -> "painted"          a full-screen window erased in that colour
//   window NAME X Y W H R G B -> "window NAME"
//                                     a window at that rectangle erased in that
//                                     colour, on a thread with a message loop;
//                                     it says "paint NAME" after each repaint and
//                                     "mouse NAME down|up X Y" for each mouse
//                                     message (client coordinates)
//   repaint NAME [R G B] -> "paint NAME"
//                                     invalidates it (in another colour)
//   pixel X Y  -> "pixel X Y R G B"   the screen's colour there
//   poweroff    -> "poweroff"         PowerOFF
//   reboot      -> "reboot"           the updater's way: a forced reset power state
//   quit       -> ends the program
#include "popup_window.h"
#include <orlik/sim.h>
#include <orlik/windows.h>

#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <future>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>

namespace {

constexpr uint32_t kPortQData = 0x7F008184;  // port D of the library is HW-Q
COLORREF gColour = 0;

LRESULT CALLBACK PaintProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_ERASEBKGND) return tolvex_test::EraseWith(window, wParam, gColour);
  return DefWindowProcW(window, message, wParam, lParam);
}

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

// The named windows, on a thread of their own that runs a message loop.
struct WindowRequest {
  std::string verb, name;
  int x = 0, y = 0, width = 0, height = 0;
  COLORREF colour = 0;
  bool recolour = false;
};
constexpr UINT kRequest = WM_APP + 1;
constexpr UINT kQuit = WM_APP + 2;
std::map<HWND, std::string> gNames;  // the window thread's

LRESULT CALLBACK NamedProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_LBUTTONDOWN || message == WM_LBUTTONUP) {
    Say("mouse " + gNames[window] + (message == WM_LBUTTONDOWN ? " down " : " up ") +
        std::to_string(GET_X_LPARAM(lParam)) + " " + std::to_string(GET_Y_LPARAM(lParam)));
    return 0;
  }
  if (message == WM_ERASEBKGND) return tolvex_test::EraseWith(window, wParam, COLORREF(GetWindowLongPtrW(window, GWL_USERDATA)));
  if (message == WM_PAINT) {
    DefWindowProcW(window, message, wParam, lParam);
    Say("paint " + gNames[window]);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

LRESULT CALLBACK ControlProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kRequest) {
    std::unique_ptr<WindowRequest> r(reinterpret_cast<WindowRequest*>(lParam));
    if (r->verb == "window") {
      HWND named = CreateWindowExW(0, u"PanelAppNamed", u"", WS_POPUP, r->x, r->y, r->width, r->height, nullptr,
                                   nullptr, nullptr, nullptr);
      gNames[named] = r->name;
      SetWindowLongPtrW(named, GWL_USERDATA, LONG_PTR(r->colour));
      ShowWindow(named, SW_SHOW);
      Say("window " + r->name);
    } else if (r->verb == "repaint") {
      for (auto& [h, name] : gNames) {
        if (name != r->name) continue;
        if (r->recolour) SetWindowLongPtrW(h, GWL_USERDATA, LONG_PTR(r->colour));
        InvalidateRect(h, nullptr, TRUE);
      }
    }
    return 0;
  }
  if (message == kQuit) {
    for (auto& [h, name] : gNames) DestroyWindow(h);
    gNames.clear();
    PostQuitMessage(0);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

// Starts the window thread; returns its control window.
HWND StartWindowThread(std::thread* thread) {
  std::promise<HWND> control;
  auto made = control.get_future();
  *thread = std::thread([&control] {
    tolvex_test::RegisterWindowClass(u"PanelAppNamed", NamedProc);
    tolvex_test::RegisterWindowClass(u"PanelAppControl", ControlProc);
    control.set_value(CreateWindowExW(0, u"PanelAppControl", u"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr,
                                      nullptr));
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0)) DispatchMessageW(&msg);
  });
  return made.get();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  bool reader = !(argc > 2 && std::strcmp(argv[2], "--no-reader") == 0);
  void* ferrox = dlopen(argv[1], RTLD_NOW | RTLD_LOCAL);
  if (!ferrox) {
    Say(std::string("error ") + dlerror());
    return 1;
  }
  auto fn = [&](const char* name) { return dlsym(ferrox, name); };
  auto setPortDCfg = reinterpret_cast<int32_t (*)(int32_t)>(fn("SetPortDCfg"));
  auto watchStart = reinterpret_cast<void (*)()>(fn("PortDWatchStartEx"));
  auto watchStop = reinterpret_cast<void (*)()>(fn("PortDWatchStopEx"));
  auto getAdc = reinterpret_cast<int32_t (*)(int32_t)>(fn("GetADCData"));
  auto battery = reinterpret_cast<double (*)()>(fn("GetBatteryVoltage"));
  auto supply = reinterpret_cast<int32_t (*)()>(fn("IsExtDCPowerIN"));
  auto powerOff = reinterpret_cast<void (*)()>(fn("PowerOFF"));
  if (!setPortDCfg || !watchStart || !watchStop || !getAdc || !battery || !supply || !powerOff) {
    Say("error missing export");
    return 1;
  }

  setPortDCfg(0);  // port D: all inputs
  HANDLE queue = nullptr;
  std::atomic<bool> running{true};
  std::thread readerThread;
  if (reader) {
    MSGQUEUEOPTIONS o = {sizeof(MSGQUEUEOPTIONS), 0, 100, 1, TRUE};
    queue = CreateMsgQueue(u"Tolvex_TolGPIOFastD", &o);
    readerThread = std::thread([&] {
      while (running) {
        BYTE b = 0;
        DWORD got = 0, flags = 0;
        if (ReadMsgQueue(queue, &b, 1, &got, 100, &flags) && got == 1) {
          char line[16];
          std::snprintf(line, sizeof line, "port %02X", b);
          Say(line);
        }
      }
    });
  }
  // The watch thread takes the port's first sample on its own time: "ready"
  // waits for it (a read of HW-Q's data register), so that a change made
  // after "ready" is a change to the watch.
  orlik_sim_trace(1);
  watchStart();
  for (bool sampled = false; !sampled; std::this_thread::sleep_for(std::chrono::milliseconds(1))) {
    uint32_t phys = 0, value = 0;
    int write = 0;
    for (int i = 0; !sampled && orlik_sim_trace_entry(i, &phys, &value, &write); ++i)
      sampled = !write && phys == kPortQData;
  }
  orlik_sim_trace(0);
  Say("ready");

  HWND window = nullptr;
  HWND control = nullptr;
  std::thread windowThread;
  for (std::string line; std::getline(std::cin, line);) {
    std::istringstream in(line);
    std::string request;
    in >> request;
    if (request == "adc") {
      int channel = 0;
      in >> channel;
      Say("adc " + std::to_string(channel) + " " + std::to_string(getAdc(channel)));
    } else if (request == "battery") {
      char text[32];
      std::snprintf(text, sizeof text, "battery %.3f", battery());
      Say(text);
    } else if (request == "supply") {
      Say("supply " + std::to_string(supply()));
    } else if (request == "box") {
      std::string text;
      std::getline(in >> std::ws, text);
      MessageBoxW(nullptr, orlik::FromUtf8(text).c_str(), u"Panel app", MB_OK);
      Say("box");
    } else if (request == "paint") {
      int r = 0, g = 0, b = 0;
      in >> r >> g >> b;
      gColour = RGB(r, g, b);
      if (!window) {
        tolvex_test::RegisterWindowClass(u"PanelApp", PaintProc);
        window = CreateWindowExW(0, u"PanelApp", u"", WS_POPUP | WS_VISIBLE, 0, 0, 800, 480, nullptr, nullptr,
                                 nullptr, nullptr);
      }
      InvalidateRect(window, nullptr, TRUE);
      UpdateWindow(window);
      Say("painted");
    } else if (request == "window" || request == "repaint") {
      auto r = std::make_unique<WindowRequest>();
      r->verb = request;
      in >> r->name;
      if (request == "window") in >> r->x >> r->y >> r->width >> r->height;
      int red = 0, green = 0, blue = 0;
      r->recolour = bool(in >> red >> green >> blue);
      r->colour = RGB(red, green, blue);
      if (!control) control = StartWindowThread(&windowThread);
      PostMessageW(control, kRequest, 0, reinterpret_cast<LPARAM>(r.release()));
    } else if (request == "pixel") {
      int x = 0, y = 0;
      in >> x >> y;
      uint32_t c = orlik_sim_screen_pixel(x, y);
      Say("pixel " + std::to_string(x) + " " + std::to_string(y) + " " + std::to_string(c & 0xFF) + " " +
          std::to_string((c >> 8) & 0xFF) + " " + std::to_string((c >> 16) & 0xFF));
    } else if (request == "poweroff") {
      powerOff();
      Say("poweroff");
    } else if (request == "reboot") {
      SetSystemPowerState(nullptr, POWER_STATE_RESET, POWER_FORCE);
      Say("reboot");
    } else if (request == "quit") {
      break;
    }
  }
  watchStop();
  running = false;
  if (readerThread.joinable()) readerThread.join();
  if (queue) CloseMsgQueue(queue);
  if (window) DestroyWindow(window);
  if (control) {
    PostMessageW(control, kQuit, 0, 0);
    windowThread.join();
  }
  dlclose(ferrox);
  return 0;
}
