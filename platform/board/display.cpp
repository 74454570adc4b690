#include "board/display.h"

#include <orlik/sim_screen.h>

#include "board/board.h"
#include "board/console/events.h"
#include "board/desktop_window.h"
#include "board/screen_memory.h"
#include "core/paths.h"
#include "gdi/dc.h"

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

const cairo_user_data_key_t kMemoryKey{};

// ORLIK_SCREEN as width x height; false when unset or unusable (the default
// 800 x 480 stands).
bool ScreenSizeWanted(int* width, int* height) {
  const char* size = std::getenv("ORLIK_SCREEN");
  int w = 0, h = 0;
  if (!size || std::sscanf(size, "%dx%d", &w, &h) != 2 || w < 64 || h < 64 || w > 8192 || h > 8192)
    return false;
  *width = w;
  *height = h;
  return true;
}

// The device root in force, as one path for every process of the panel.
std::string RootInForce() {
  std::error_code ec;
  std::string root = std::filesystem::weakly_canonical(std::filesystem::absolute(DeviceRoot()), ec);
  return ec || root.empty() ? DeviceRoot() : root;
}

bool DesktopWindowWanted() {
  const char* show = std::getenv("ORLIK_DISPLAY");
  return show && std::strcmp(show, "sdl") == 0;
}

void Clear(cairo_surface_t* surface) {
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  cairo_paint(cr);
  cairo_destroy(cr);
  cairo_surface_flush(surface);
}

}  // namespace

Display::Display() { Board::Get().OnReset([this] { Reset(); }); }

ScreenMemory* Display::MemoryOf(cairo_surface_t* surface) {
  return static_cast<ScreenMemory*>(cairo_surface_get_user_data(surface, &kMemoryKey));
}

ScreenMemory* Display::BindLocked() {
  if (surface_) return memory_;
  int width = 800, height = 480;
  bool sized = ScreenSizeWanted(&width, &height);
  std::string problem;
  std::unique_ptr<ScreenMemory> memory = ScreenMemory::Open(RootInForce(), width, height, &problem);
  if (!memory) {
    // Not even private memory: a surface of cairo's own keeps the platform
    // drawing (every cairo call on an errored surface is harmless).
    std::fprintf(stderr, "[orlik display] no memory for the screen\n");
    surface_ = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    return nullptr;
  }
  if (!memory->shared()) {
    std::fprintf(stderr, "[orlik display] the screen is this process's own, not the panel's: %s\n",
                 problem.c_str());
  } else if (sized && !memory->created() && (memory->width() != width || memory->height() != height)) {
    std::fprintf(stderr, "[orlik display] the panel's screen is %dx%d: ORLIK_SCREEN=%dx%d is not used\n",
                 memory->width(), memory->height(), width, height);
  }
  surface_ = cairo_image_surface_create_for_data(memory->pixels(), CAIRO_FORMAT_RGB24, memory->width(),
                                                 memory->height(), memory->stride());
  memory_ = memory.release();
  cairo_surface_set_user_data(surface_, &kMemoryKey, memory_,
                              [](void* m) { delete static_cast<ScreenMemory*>(m); });
  if (DesktopWindowWanted()) StartDesktopWindow();
  return memory_;
}

cairo_surface_t* Display::Surface() {
  std::lock_guard lock(mutex_);
  BindLocked();
  return surface_;
}

cairo_surface_t* Display::AcquireSurface() {
  std::lock_guard lock(mutex_);
  BindLocked();
  return cairo_surface_reference(surface_);
}

int Display::Width() {
  std::lock_guard lock(mutex_);
  BindLocked();
  return cairo_image_surface_get_width(surface_);
}

int Display::Height() {
  std::lock_guard lock(mutex_);
  BindLocked();
  return cairo_image_surface_get_height(surface_);
}

void Display::Reset() {
  std::lock_guard gdiLock(gdi::Lock());
  std::lock_guard lock(mutex_);
  if (!surface_) return;
  if (memory_ && memory_->root() == RootInForce()) {
    Clear(surface_);
    memory_->header()->presents.store(0);
    memory_->header()->generation.fetch_add(1);
    return;
  }
  // Another panel's screen: let it go; the next use takes the one in force.
  // A device context still drawing on the old surface keeps it (and its
  // memory) until it is deleted.
  cairo_surface_destroy(surface_);
  surface_ = nullptr;
  memory_ = nullptr;
}

void Display::Present() {
  std::lock_guard gdiLock(gdi::Lock());
  std::lock_guard lock(mutex_);
  ScreenMemory* memory = BindLocked();
  cairo_surface_flush(surface_);
  int presents = 1, shot = 1;
  if (memory) {
    presents = memory->header()->presents.fetch_add(1) + 1;
    memory->header()->generation.fetch_add(1, std::memory_order_release);
  }
  if (console::Wanted(console::EventKind::kPresent)) console::PublishPresent(presents);
  if (const char* dir = std::getenv("ORLIK_SCREENSHOTS"); dir && *dir) {
    if (memory) shot = memory->header()->shots.fetch_add(1) + 1;
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    char name[64];
    std::snprintf(name, sizeof name, "/screen-%05d.png", shot);
    cairo_surface_write_to_png(surface_, (std::string(dir) + name).c_str());
  }
}

int Display::PresentCount() {
  std::lock_guard lock(mutex_);
  ScreenMemory* memory = BindLocked();
  return memory ? memory->header()->presents.load() : 0;
}

bool Display::SavePng(const std::string& path) {
  std::lock_guard gdiLock(gdi::Lock());
  std::lock_guard lock(mutex_);
  BindLocked();
  // Other processes draw on the same pixels.
  cairo_surface_mark_dirty(surface_);
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
