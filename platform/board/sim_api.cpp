#include <orlik/sim.h>
#include <orlik/text.h>

#include "board/board.h"
#include "board/gpio.h"
#include "core/names.h"

#include <cstring>
#include <map>

using orlik::board::Board;

namespace {

// Counts level changes per pin, for tests that ask how often a line moved.
struct ChangeCounter {
  std::map<std::pair<char, int>, int> counts;
  ChangeCounter() {
    auto& board = Board::Get();
    std::lock_guard lock(board.Lock());
    board.gpio().AddListener([this](char port, int pin, int) { ++counts[{port, pin}]; });
    board.OnReset([this] { counts.clear(); });
  }
};

ChangeCounter& Changes() {
  static auto* counter = new ChangeCounter;
  return *counter;
}

// Installed when the platform loads, so changes are counted from the start.
[[maybe_unused]] const bool kCounting = (Changes(), true);

void CopyOut(const std::string& s, char* dst, int size) {
  if (!dst || size <= 0) return;
  size_t n = std::min(s.size(), size_t(size - 1));
  std::memcpy(dst, s.data(), n);
  dst[n] = 0;
}

}  // namespace

extern "C" {

void orlik_sim_reset(void) { Board::Get().Reset(); }

uint32_t orlik_sim_peek(uint32_t phys) { return Board::Get().Read32(phys); }

void orlik_sim_poke(uint32_t phys, uint32_t value) { Board::Get().Write32(phys, value); }

int orlik_sim_pin_level(char port, int pin) {
  std::lock_guard lock(Board::Get().Lock());
  return Board::Get().gpio().Level(port, pin);
}

int orlik_sim_pin_mode(char port, int pin) {
  std::lock_guard lock(Board::Get().Lock());
  return Board::Get().gpio().Mode(port, pin);
}

int orlik_sim_pin_pull(char port, int pin) {
  std::lock_guard lock(Board::Get().Lock());
  return Board::Get().gpio().Pull(port, pin);
}

void orlik_sim_drive_pin(char port, int pin, int level) {
  std::lock_guard lock(Board::Get().Lock());
  Board::Get().gpio().DriveExternal(port, pin, level);
}

int orlik_sim_pin_changes(char port, int pin) {
  std::lock_guard lock(Board::Get().Lock());
  port = orlik::UpperAscii(port);
  auto& counts = Changes().counts;
  auto it = counts.find({port, pin});
  return it == counts.end() ? 0 : it->second;
}

int orlik_sim_message_count(void) { return int(Board::Get().Messages().size()); }

int orlik_sim_message(int i, char* caption, int csize, char* text, int tsize) {
  auto messages = Board::Get().Messages();
  if (i < 0 || size_t(i) >= messages.size()) return 0;
  CopyOut(orlik::ToUtf8(messages[size_t(i)].caption), caption, csize);
  CopyOut(orlik::ToUtf8(messages[size_t(i)].text), text, tsize);
  return 1;
}

void orlik_sim_fail_device(const char* device, int step) {
  if (!device) return;
  Board::Get().SetFailStep(device, step);
}

void orlik_sim_fail_device_once(const char* device, int step, int skip) {
  if (!device) return;
  Board::Get().SetFailOnce(device, step, skip);
}

void orlik_sim_trace(int on) { Board::Get().SetTracing(on != 0); }

int orlik_sim_trace_count(void) { return int(Board::Get().TraceSize()); }

int orlik_sim_trace_entry(int i, uint32_t* phys, uint32_t* value, int* write) {
  Board::Access a{};
  if (i < 0 || !Board::Get().TraceEntry(size_t(i), &a)) return 0;
  if (phys) *phys = a.phys;
  if (value) *value = a.value;
  if (write) *write = a.write ? 1 : 0;
  return 1;
}

}  // extern "C"
