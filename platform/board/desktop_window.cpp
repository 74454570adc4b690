#include "board/desktop_window.h"

#include "board/display.h"
#include "board/screen_memory.h"
#include "board/touch.h"
#include "gdi/dc.h"

#include <SDL.h>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace orlik::board {
namespace {

constexpr int kFrameMs = 15;     // how often the window looks for a new picture
constexpr int kWaitingMs = 200;  // how often a process without the window asks for it

class DesktopWindow {
 public:
  void Run() {
    for (;;) {
      Follow();
      if (!owner_ || closed_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kWaitingMs));
        if (!owner_ && !closed_) owner_ = TakeWindow();
        continue;
      }
      if (!Show()) return;
      Pump();
      Refresh();
    }
  }

 private:
  // The screen in use now: after a reset to another device root the window
  // shows that root's screen, if no other process of it shows one.
  void Follow() {
    cairo_surface_t* now = Display::Get().AcquireSurface();
    if (now == surface_) {
      cairo_surface_destroy(now);
      return;
    }
    if (surface_) cairo_surface_destroy(surface_);
    surface_ = now;
    if (lockFd_ >= 0) close(lockFd_);
    lockFd_ = -1;
    shown_ = UINT64_MAX;
    owner_ = TakeWindow();
  }

  bool TakeWindow() {
    ScreenMemory* memory = Display::MemoryOf(surface_);
    if (!memory || !memory->shared()) return true;
    std::string path = memory->WindowLockPath();
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return true;  // nobody can claim it: show it here
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      close(fd);
      return false;
    }
    lockFd_ = fd;
    return true;
  }

  // The window at the screen's size; false when there is no display.
  bool Show() {
    const int width = cairo_image_surface_get_width(surface_), height = cairo_image_surface_get_height(surface_);
    if (window_ && width == width_ && height == height_) return true;
    if (!window_) {
      // Ctrl-C and kill must end the program as before, not become SDL_QUIT.
      SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
      if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0 ||
          !(window_ = SDL_CreateWindow("Orlik panel", SDL_WINDOWPOS_UNDEFINED, SDL_WINDOWPOS_UNDEFINED, width,
                                       height, 0)) ||
          !(renderer_ = SDL_CreateRenderer(window_, -1, 0))) {
        std::fprintf(stderr, "[orlik display] no desktop window: %s\n", SDL_GetError());
        CloseWindow();
        SDL_Quit();
        if (surface_) cairo_surface_destroy(surface_);
        surface_ = nullptr;
        if (lockFd_ >= 0) close(lockFd_);
        lockFd_ = -1;
        return false;
      }
    } else {
      SDL_SetWindowSize(window_, width, height);
    }
    if (texture_) SDL_DestroyTexture(texture_);
    texture_ = SDL_CreateTexture(renderer_, SDL_PIXELFORMAT_RGB888, SDL_TEXTUREACCESS_STREAMING, width, height);
    width_ = width;
    height_ = height;
    shown_ = UINT64_MAX;
    return true;
  }

  void CloseWindow() {
    if (texture_) SDL_DestroyTexture(texture_);
    if (renderer_) SDL_DestroyRenderer(renderer_);
    if (window_) SDL_DestroyWindow(window_);
    texture_ = nullptr;
    renderer_ = nullptr;
    window_ = nullptr;
  }

  // Waits a frame for events: clicks become touches, closing closes.
  void Pump() {
    SDL_Event e;
    if (!SDL_WaitEventTimeout(&e, kFrameMs)) return;
    do {
      switch (e.type) {
        case SDL_MOUSEBUTTONDOWN:
        case SDL_MOUSEBUTTONUP:
          if (e.button.button == SDL_BUTTON_LEFT && e.button.windowID == SDL_GetWindowID(window_)) {
            // The window may be scaled by the desktop: touches are in screen pixels.
            int ww = 0, wh = 0;
            SDL_GetWindowSize(window_, &ww, &wh);
            if (ww > 0 && wh > 0)
              Touch(int(int64_t(e.button.x) * width_ / ww), int(int64_t(e.button.y) * height_ / wh),
                    e.type == SDL_MOUSEBUTTONDOWN);
          }
          break;
        case SDL_WINDOWEVENT:
          if (e.window.event == SDL_WINDOWEVENT_CLOSE) closed_ = true;
          else if (e.window.event == SDL_WINDOWEVENT_EXPOSED) shown_ = UINT64_MAX;
          break;
        case SDL_QUIT: closed_ = true; break;
        default: break;
      }
    } while (!closed_ && SDL_PollEvent(&e));
    if (closed_) CloseWindow();
  }

  // A new picture of the screen, whoever presented it.
  void Refresh() {
    if (closed_ || !texture_) return;
    ScreenMemory* memory = Display::MemoryOf(surface_);
    uint64_t generation = memory ? memory->header()->generation.load(std::memory_order_acquire) : shown_ + 1;
    if (generation == shown_) return;
    const int stride = cairo_image_surface_get_stride(surface_);
    picture_.resize(size_t(stride) * size_t(height_));
    {
      // The process's own drawing happens under the GDI lock.
      std::lock_guard gdiLock(gdi::Lock());
      cairo_surface_flush(surface_);
      std::memcpy(picture_.data(), cairo_image_surface_get_data(surface_), picture_.size());
    }
    SDL_UpdateTexture(texture_, nullptr, picture_.data(), stride);
    SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
    SDL_RenderPresent(renderer_);
    shown_ = generation;
  }

  cairo_surface_t* surface_ = nullptr;
  int lockFd_ = -1;
  bool owner_ = false;
  bool closed_ = false;
  SDL_Window* window_ = nullptr;
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture* texture_ = nullptr;
  int width_ = 0, height_ = 0;
  uint64_t shown_ = UINT64_MAX;
  std::vector<uint8_t> picture_;
};

}  // namespace

void StartDesktopWindow() {
  static std::once_flag started;
  std::call_once(started, [] {
    std::thread([] {
      DesktopWindow window;
      window.Run();
    }).detach();
  });
}

}  // namespace orlik::board
