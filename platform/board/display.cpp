#include "board/display.h"

#include <orlik/sim_screen.h>

#include "board/board.h"
#include "board/console/events.h"
#include "gdi/dc.h"

#include <SDL.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace orlik::board {

Display& Display::Get() {
  static auto* display = new Display;
  return *display;
}

namespace {
// Built when the platform loads: building it registers a reset hook under the
// board lock, which must not happen under the GDI lock of a first GetDC (a
// board reset takes the board lock, then the GDI lock).
[[maybe_unused]] const bool kDisplayBuilt = (Display::Get(), true);
}  // namespace

Display::Display() {
  if (const char* size = std::getenv("ORLIK_SCREEN")) {
    int w = 0, h = 0;
    if (std::sscanf(size, "%dx%d", &w, &h) == 2 && w >= 64 && h >= 64 && w <= 8192 && h <= 8192) {
      width_ = w;
      height_ = h;
    }
  }
  surface_ = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width_, height_);
  Board::Get().OnReset([this] { Reset(); });
}

void Display::Reset() {
  std::lock_guard gdiLock(gdi::Lock());
  std::lock_guard lock(mutex_);
  cairo_t* cr = cairo_create(surface_);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_paint(cr);
  cairo_destroy(cr);
  presents_ = 0;
}

void Display::Present() {
  std::lock_guard gdiLock(gdi::Lock());
  std::lock_guard lock(mutex_);
  ++presents_;
  if (console::Wanted(console::EventKind::kPresent)) console::PublishPresent(presents_);
  cairo_surface_flush(surface_);
  if (const char* dir = std::getenv("ORLIK_SCREENSHOTS"); dir && *dir) {
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    char name[64];
    std::snprintf(name, sizeof name, "/screen-%05d.png", ++shots_);
    cairo_surface_write_to_png(surface_, (std::string(dir) + name).c_str());
  }
  if (const char* show = std::getenv("ORLIK_DISPLAY"); show && std::strcmp(show, "sdl") == 0) ShowInWindow();
}

void Display::ShowInWindow() {
  if (sdlFailed_) return;
  if (!window_) {
    if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0 ||
        !(window_ = SDL_CreateWindow("Orlik panel", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED,
                                     width_, height_, 0)) ||
        !(renderer_ = SDL_CreateRenderer(static_cast<SDL_Window*>(window_), -1, 0)) ||
        !(texture_ = SDL_CreateTexture(static_cast<SDL_Renderer*>(renderer_), SDL_PIXELFORMAT_RGB888,
                                       SDL_TEXTUREACCESS_STREAMING, width_, height_))) {
      std::fprintf(stderr, "[orlik display] no desktop window: %s\n", SDL_GetError());
      sdlFailed_ = true;
      return;
    }
  }
  SDL_UpdateTexture(static_cast<SDL_Texture*>(texture_), nullptr, cairo_image_surface_get_data(surface_),
                    cairo_image_surface_get_stride(surface_));
  SDL_RenderCopy(static_cast<SDL_Renderer*>(renderer_), static_cast<SDL_Texture*>(texture_), nullptr, nullptr);
  SDL_RenderPresent(static_cast<SDL_Renderer*>(renderer_));
  SDL_Event event;
  while (SDL_PollEvent(&event)) {
  }
}

int Display::PresentCount() {
  std::lock_guard lock(mutex_);
  return presents_;
}

bool Display::SavePng(const std::string& path) {
  std::lock_guard gdiLock(gdi::Lock());
  std::lock_guard lock(mutex_);
  cairo_surface_flush(surface_);
  return cairo_surface_write_to_png(surface_, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

}  // namespace orlik::board

using orlik::board::Display;

extern "C" {

void orlik_sim_screen_size(int* width, int* height) {
  if (width) *width = Display::Get().Width();
  if (height) *height = Display::Get().Height();
}

uint32_t orlik_sim_screen_pixel(int x, int y) {
  std::lock_guard gdiLock(orlik::gdi::Lock());
  return orlik::gdi::SurfacePixel(Display::Get().Surface(), x, y);
}

int orlik_sim_screen_save_png(const char* path) { return path && Display::Get().SavePng(path) ? 1 : 0; }

int orlik_sim_screen_present_count(void) { return Display::Get().PresentCount(); }

}  // extern "C"
