// Events the console tells its subscribers about. A model calls the hook of
// an event only while some client subscribes to that kind: Wanted() is one
// relaxed atomic load, so a panel nobody watches pays nothing more. Pin
// changes do not even cost that: the console installs its GPIO listener only
// while a client subscribes to them.
#pragma once

#include <atomic>
#include <string>

namespace orlik::board::console {

enum class EventKind : unsigned { kPin = 0, kMessage, kPower, kPresent, kBusError, kCount };

// Bit i is set while a client subscribes to kind i.
extern std::atomic<unsigned> gWanted;

inline bool Wanted(EventKind kind) {
  return (gWanted.load(std::memory_order_relaxed) >> unsigned(kind)) & 1u;
}

// A message box was shown.
void PublishMessage(const std::string& caption, const std::string& text, unsigned type);
// A power request was recorded (its line in the record).
void PublishPower(const std::string& request);
// A repaint was presented; count is the presents since the last reset.
void PublishPresent(int count);
// A bus decoder found a protocol error. Called under the board lock.
void PublishBusError(const std::string& bus, const std::string& what);

}  // namespace orlik::board::console
