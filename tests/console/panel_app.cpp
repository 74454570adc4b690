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
//   poweroff    -> "poweroff"         PowerOFF
//   reboot      -> "reboot"           the updater's way: a forced reset power state
//   quit       -> ends the program
#include <orlik/sim.h>
#include <orlik/windows.h>

#include <dlfcn.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

namespace {

constexpr uint32_t kPortQData = 0x7F008184;  // port D of the library is HW-Q
COLORREF gColour = 0;

LRESULT CALLBACK PaintProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_ERASEBKGND) {
    RECT r;
    GetClientRect(window, &r);
    HBRUSH brush = CreateSolidBrush(gColour);
    FillRect(reinterpret_cast<HDC>(wParam), &r, brush);
    DeleteObject(brush);
    return 1;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void Say(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
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
        WNDCLASSW wc = {};
        wc.lpfnWndProc = PaintProc;
        wc.lpszClassName = u"PanelApp";
        RegisterClassW(&wc);
        window = CreateWindowExW(0, u"PanelApp", u"", WS_POPUP | WS_VISIBLE, 0, 0, 800, 480, nullptr, nullptr,
                                 nullptr, nullptr);
      }
      InvalidateRect(window, nullptr, TRUE);
      UpdateWindow(window);
      Say("painted");
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
  dlclose(ferrox);
  return 0;
}
