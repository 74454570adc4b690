// The panel's screen: a framebuffer of ORLIK_SCREEN pixels (800x480 unless
// set). Present() shows a finished repaint: a PNG per call into
// ORLIK_SCREENSHOTS when set, and the picture in a desktop window when
// ORLIK_DISPLAY=sdl.
#pragma once

#include <cairo.h>

#include <mutex>
#include <string>

namespace orlik::board {

class Display {
 public:
  static Display& Get();

  cairo_surface_t* Surface() { return surface_; }
  int Width() const { return width_; }
  int Height() const { return height_; }

  void Present();
  int PresentCount();
  bool SavePng(const std::string& path);
  // Back to black, counters cleared.
  void Reset();

 private:
  Display();
  void ShowInWindow();
  std::mutex mutex_;
  cairo_surface_t* surface_;
  int width_ = 800, height_ = 480;
  int presents_ = 0;
  int shots_ = 0;
  void* window_ = nullptr;
  void* renderer_ = nullptr;
  void* texture_ = nullptr;
  bool sdlFailed_ = false;
};

}  // namespace orlik::board
