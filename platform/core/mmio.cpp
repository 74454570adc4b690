#include <orlik/mmio.h>

#include "board/board.h"
#include "core/memory.h"

#include <array>
#include <atomic>
#include <cstdio>

namespace orlik {
namespace {

// Windows are few (a handful per library) and looked up on every register
// access, including from tight polling loops: a fixed table read without a
// lock. A slot is published by writing its size last and retired by clearing
// the size first.
struct Window {
  std::atomic<uintptr_t> start{0};
  std::atomic<size_t> size{0};
  std::atomic<uint32_t> phys{0};
  std::atomic<int> kind{0};
};

std::array<Window, 64>& Windows() {
  static auto* windows = new std::array<Window, 64>;
  return *windows;
}

const Window* Find(uintptr_t a) {
  for (auto& w : Windows()) {
    size_t size = w.size.load(std::memory_order_acquire);
    uintptr_t start = w.start.load(std::memory_order_relaxed);
    if (size && a >= start && a + 4 <= start + size) return &w;
  }
  return nullptr;
}

void ReportStray(const char* what, uintptr_t a) {
  char line[96];
  std::snprintf(line, sizeof line, "%s outside every register window at %#lx", what,
                static_cast<unsigned long>(a));
  board::Board::Get().Log(line);
}

}  // namespace

void AddRegisterWindow(void* address, size_t size, uint32_t phys, WindowKind kind) {
  for (auto& w : Windows()) {
    size_t expected = 0;
    if (w.size.load() != 0) continue;
    w.start.store(reinterpret_cast<uintptr_t>(address));
    w.phys.store(phys);
    w.kind.store(int(kind));
    if (w.size.compare_exchange_strong(expected, size)) return;
  }
  board::Board::Get().Log("register window table full");
}

void RemoveRegisterWindows(void* address, size_t size) {
  auto a = reinterpret_cast<uintptr_t>(address);
  for (auto& w : Windows()) {
    uintptr_t start = w.start.load();
    if (w.size.load() && start >= a && start < a + size) w.size.store(0, std::memory_order_release);
  }
}

}  // namespace orlik

extern "C" {

uint32_t readl(const volatile void* address) {
  auto a = reinterpret_cast<uintptr_t>(address);
  const orlik::Window* w = orlik::Find(a);
  if (!w) {
    orlik::ReportStray("read", a);
    return 0;
  }
  if (w->kind.load(std::memory_order_relaxed) == int(orlik::WindowKind::kHardware))
    return *static_cast<const volatile uint32_t*>(address);
  uint32_t phys = w->phys.load(std::memory_order_relaxed) + uint32_t(a - w->start.load());
  return orlik::board::Board::Get().Read32(phys);
}

void writel(uint32_t value, volatile void* address) {
  auto a = reinterpret_cast<uintptr_t>(address);
  const orlik::Window* w = orlik::Find(a);
  if (!w) {
    orlik::ReportStray("write", a);
    return;
  }
  if (w->kind.load(std::memory_order_relaxed) == int(orlik::WindowKind::kHardware)) {
    *static_cast<volatile uint32_t*>(address) = value;
    return;
  }
  uint32_t phys = w->phys.load(std::memory_order_relaxed) + uint32_t(a - w->start.load());
  orlik::board::Board::Get().Write32(phys, value);
}

}  // extern "C"
