// A private X server (Xvfb) and what the desktop window tests look at in it,
// kept apart from the platform's headers (Xlib's macros clash with them).
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace x_display {

class Server {
 public:
  // Starts Xvfb (the program at `xvfb`) on a free display number.
  explicit Server(const std::string& xvfb);
  ~Server();
  Server(const Server&) = delete;
  Server& operator=(const Server&) = delete;
  // ":N", "" when the server did not start.
  const std::string& name() const { return name_; }

  struct Window {
    unsigned long id;
    int width, height;
  };
  // The mapped top-level windows titled `title`.
  std::vector<Window> Windows(const std::string& title);
  // A window's pixel as 0x00BBGGRR (a colour value), 0xFFFFFFFF when unreadable.
  uint32_t Pixel(unsigned long window, int x, int y);
  // Asks the window to close, as a window manager's close button does.
  void Close(unsigned long window);
  // Moves the pointer to (x, y) of the window and clicks the left button, as
  // the input devices would (the XTEST extension); false without it.
  bool Click(unsigned long window, int x, int y);

 private:
  pid_t pid_ = -1;
  std::string name_;
  void* display_ = nullptr;
};

}  // namespace x_display
