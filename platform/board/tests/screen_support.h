// What the screen tests share: the screen_peer program in another process,
// with its output and error lines on one pipe, and drawing in this process.
#pragma once

#include "popup_window.h"
#include <orlik/sim.h>
#include <orlik/windows.h>

#include "spawn_piped.h"

#include <cairo.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace screen_test {

using Clock = std::chrono::steady_clock;

// screen_peer with this process's environment and `env` ("NAME=value") on top.
class Peer {
 public:
  explicit Peer(const std::vector<std::string>& env = {}) {
    std::vector<std::string> vars = env;
    for (char** e = environ; *e; ++e) {
      std::string name = std::string(*e).substr(0, std::string(*e).find('=') + 1);
      bool replaced = false;
      for (auto& v : env) replaced = replaced || v.rfind(name, 0) == 0;
      if (!replaced) vars.push_back(*e);
    }
    std::vector<char*> envp;
    for (auto& v : vars) envp.push_back(v.data());
    envp.push_back(nullptr);
    char* argv[] = {const_cast<char*>(SCREEN_PEER), nullptr};
    pid_ = tolvex_test::SpawnPiped(argv, envp.data(), true, &in_, &out_);
  }
  ~Peer() {
    End();
    if (out_ >= 0) close(out_);
  }
  Peer(const Peer&) = delete;
  Peer& operator=(const Peer&) = delete;

  pid_t pid() const { return pid_; }

  // The first line that starts with `prefix` (earlier lines are kept in
  // seen()), "" after the time-out.
  std::string Expect(const std::string& prefix, int timeoutMs = 20000) {
    auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      for (auto nl = buffer_.find('\n'); nl != std::string::npos; nl = buffer_.find('\n')) {
        std::string line = buffer_.substr(0, nl);
        buffer_.erase(0, nl + 1);
        seen_ += line + "\n";
        if (line.rfind(prefix, 0) == 0) return line.substr(prefix.size());
      }
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
      pollfd p{out_, POLLIN, 0};
      if (left <= 0 || poll(&p, 1, int(left)) <= 0) return "";
      char chunk[4096];
      ssize_t n = read(out_, chunk, sizeof chunk);
      if (n <= 0) return "";
      buffer_.append(chunk, size_t(n));
    }
  }
  std::string Ask(const std::string& request, const std::string& prefix) {
    std::string text = request + "\n";
    if (write(in_, text.data(), text.size()) != ssize_t(text.size())) return "";
    return Expect(prefix);
  }
  const std::string& seen() const { return seen_; }

  // Closing its input ends it; exit status, -1 when it did not exit itself.
  int End() {
    if (in_ >= 0) close(in_);
    in_ = -1;
    if (pid_ <= 0) return status_;
    int st = 0;
    pid_t ended = 0;
    for (int i = 0; i < 1000 && (ended = waitpid(pid_, &st, WNOHANG)) == 0; ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (ended == 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &st, 0);
      status_ = -1;
    } else {
      status_ = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    }
    pid_ = -1;
    return status_;
  }
  void Kill() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    pid_ = -1;
  }

 private:
  pid_t pid_ = -1;
  int in_ = -1, out_ = -1;
  int status_ = -1;
  std::string buffer_, seen_;
};

// Popup windows of this process erased in one colour each and painted.
class Painter {
 public:
  Painter() {
    tolvex_test::RegisterWindowClass(u"ScreenTestPainter", Proc);
  }
  ~Painter() {
    for (auto& [window, colour] : Colours()) DestroyWindow(window);
    Colours().clear();
  }
  void Paint(COLORREF colour, int left, int top, int right, int bottom) {
    HWND window = CreateWindowExW(0, u"ScreenTestPainter", u"", WS_POPUP, left, top, right - left, bottom - top,
                                  nullptr, nullptr, nullptr, nullptr);
    Colours()[window] = colour;
    ShowWindow(window, SW_SHOW);
    InvalidateRect(window, nullptr, TRUE);
    UpdateWindow(window);
  }

 private:
  static std::map<HWND, COLORREF>& Colours() {
    static std::map<HWND, COLORREF> colours;
    return colours;
  }
  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_ERASEBKGND) return tolvex_test::EraseWith(window, wParam, Colours()[window]);
    return DefWindowProcW(window, message, wParam, lParam);
  }
};

// A PNG's pixel as a colour value, CLR_INVALID outside or when unreadable.
inline COLORREF PngPixel(const std::string& path, int x, int y) {
  cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
  COLORREF c = CLR_INVALID;
  if (cairo_surface_status(s) == CAIRO_STATUS_SUCCESS && x >= 0 && y >= 0 &&
      x < cairo_image_surface_get_width(s) && y < cairo_image_surface_get_height(s)) {
    auto* row = cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
    uint32_t v = reinterpret_cast<const uint32_t*>(row)[x];
    c = RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
  }
  cairo_surface_destroy(s);
  return c;
}

}  // namespace screen_test
