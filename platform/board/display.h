// The panel's screen: a framebuffer of ORLIK_SCREEN pixels (800x480 unless
// set), one per device root and shared by the panel's processes (see
// screen_memory.h). The screen belongs to the device root in force when the
// process first uses it; a board reset clears it, and after a change of
// ORLIK_ROOT the next use takes the new root's screen. Present() shows a
// finished repaint: a PNG per call into ORLIK_SCREENSHOTS when set; with
// ORLIK_DISPLAY=sdl a desktop window shows the screen live (desktop_window.h).
#pragma once

#include <cairo.h>

#include <mutex>
#include <string>

namespace orlik::board {

class ScreenMemory;

class Display {
 public:
  static Display& Get();

  // The screen's surface, valid until a reset while the caller holds the GDI
  // lock (a reset swaps it under that lock).
  cairo_surface_t* Surface();
  // A reference of the surface for a caller that keeps it past the GDI lock
  // (cairo_surface_destroy when done), and the screen memory behind it.
  cairo_surface_t* AcquireSurface();
  static ScreenMemory* MemoryOf(cairo_surface_t* surface);

  int Width();
  int Height();

  void Present();
  int PresentCount();
  bool SavePng(const std::string& path);
  // Back to black, counters cleared; a screen of another device root than the
  // one in force is let go.
  void Reset();

 private:
  Display();
  ScreenMemory* BindLocked();
  std::mutex mutex_;
  cairo_surface_t* surface_ = nullptr;  // null until first used
  ScreenMemory* memory_ = nullptr;      // owned by surface_
};

}  // namespace orlik::board
