#include "board/touch.h"

#include <orlik/sim_screen.h>

#include "board/display.h"

#include <memory>
#include <mutex>

namespace orlik::board {
namespace {

// The handler under its lock. Shared so that a touch in flight keeps the
// handler it started with while another thread replaces it.
struct HandlerSlot {
  std::mutex mutex;
  std::shared_ptr<TouchHandler> handler;
};

HandlerSlot& Slot() {
  static auto* slot = new HandlerSlot;
  return *slot;
}

}  // namespace

void SetTouchHandler(TouchHandler handler) {
  auto& slot = Slot();
  std::lock_guard lock(slot.mutex);
  slot.handler = handler ? std::make_shared<TouchHandler>(std::move(handler)) : nullptr;
}

bool Touch(int x, int y, bool down) {
  auto& display = Display::Get();
  if (x < 0 || y < 0 || x >= display.Width() || y >= display.Height()) return false;
  std::shared_ptr<TouchHandler> handler;
  {
    auto& slot = Slot();
    std::lock_guard lock(slot.mutex);
    handler = slot.handler;
  }
  if (!handler) return false;
  (*handler)(x, y, down);
  return true;
}

}  // namespace orlik::board

extern "C" int orlik_sim_touch(int x, int y, int down) { return orlik::board::Touch(x, y, down != 0) ? 1 : 0; }
