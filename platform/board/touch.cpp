#include "board/touch.h"

#include <orlik/sim_screen.h>

#include "board/display.h"

#include <memory>
#include <mutex>

namespace orlik::board {
namespace {

std::mutex& HandlerMutex() {
  static auto* mutex = new std::mutex;
  return *mutex;
}

// Shared so that a touch in flight keeps the handler it started with while
// another thread replaces it.
std::shared_ptr<TouchHandler>& Handler() {
  static auto* handler = new std::shared_ptr<TouchHandler>;
  return *handler;
}

}  // namespace

void SetTouchHandler(TouchHandler handler) {
  std::lock_guard lock(HandlerMutex());
  Handler() = handler ? std::make_shared<TouchHandler>(std::move(handler)) : nullptr;
}

bool Touch(int x, int y, bool down) {
  auto& display = Display::Get();
  if (x < 0 || y < 0 || x >= display.Width() || y >= display.Height()) return false;
  std::shared_ptr<TouchHandler> handler;
  {
    std::lock_guard lock(HandlerMutex());
    handler = Handler();
  }
  if (!handler) return false;
  (*handler)(x, y, down);
  return true;
}

}  // namespace orlik::board

extern "C" int orlik_sim_touch(int x, int y, int down) { return orlik::board::Touch(x, y, down != 0) ? 1 : 0; }
