// The simulated Orlik panel: register models of the processor's peripheral
// blocks and the parts wired to their pins. Models react synchronously to
// register accesses, under one board lock, so busy-waits, bit-banged buses and
// pin read-backs behave as on the panel.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace orlik::board {

// Physical bases of the blocks the system code maps.
inline constexpr uint32_t kGpioBase = 0x7F008000;
inline constexpr uint32_t kAdcBase = 0x7E00B000;
inline constexpr uint32_t kTimerBase = 0x7F006000;
inline constexpr uint32_t kBlockSpan = 0x1000;

// One memory-mapped peripheral block. Offsets are relative to its base.
class Block {
 public:
  virtual ~Block() = default;
  virtual const char* Name() const = 0;
  virtual uint32_t Read(uint32_t offset) = 0;
  virtual void Write(uint32_t offset, uint32_t value) = 0;
  virtual void Reset() = 0;

 protected:
  // A log line (see Board::Log) for an access the model does not handle: a
  // read of an offset it does not know, or a write it drops (`what` says why:
  // "unmodelled", "read-only").
  void UnknownRead(uint32_t offset) const;
  void UnknownWrite(uint32_t offset, uint32_t value, const char* what = "unmodelled") const;
};

class Gpio;

struct MessageRecord {
  std::u16string caption;
  std::u16string text;
  uintptr_t owner = 0;
  uint32_t type = 0;
};

// The state a model keeps apart from its interface: made on first use and
// never destroyed, because the panel's threads may still use it while the
// process exits. A model whose state installs a reset hook uses it once at
// load: [[maybe_unused]] const bool kInstalled = (ModelState<State>(), true);
template <class State>
State& ModelState() {
  static auto* state = new State;  // lives until the process ends
  return *state;
}

class Board {
 public:
  static Board& Get();

  // Every model access and every board API call holds this lock. It is
  // recursive so a model reacting to a pin change may touch other pins.
  std::recursive_mutex& Lock() { return mutex_; }

  // Register access by physical address; an address no block claims is logged
  // and reads as 0.
  uint32_t Read32(uint32_t phys);
  void Write32(uint32_t phys, uint32_t value);
  // True when [phys, phys + size) lies inside one block.
  bool Claims(uint32_t phys, uint32_t size);

  // Adds a block at a physical base (span kBlockSpan unless given).
  void AddBlock(uint32_t base, std::shared_ptr<Block> block, uint32_t span = kBlockSpan);
  Block* FindBlock(uint32_t base);
  template <class T>
  T* BlockAs(uint32_t base) {
    return dynamic_cast<T*>(FindBlock(base));
  }
  Gpio& gpio();

  // Puts every model back to its power-on state and clears faults and records.
  void Reset();
  // Models outside the blocks (devices, wiring) register what to do on reset.
  void OnReset(std::function<void()> hook);

  // Fault injection: a device fails at the given step (-1: never), every time,
  // or only once, after `skip` passes through that step.
  void SetFailStep(std::string_view device, int step);
  void SetFailOnce(std::string_view device, int step, int skip);
  int FailStep(std::string_view device);
  // Called by a device at each failure point: true when it must fail there.
  bool Fails(std::string_view device, int step);

  void RecordMessage(MessageRecord record);
  std::vector<MessageRecord> Messages();

  // Register access trace, for tests that check what was written in which order.
  struct Access {
    uint32_t phys;
    uint32_t value;
    bool write;
  };
  void SetTracing(bool on);
  size_t TraceSize();
  bool TraceEntry(size_t i, Access* out);

  // One log line for an access a model does not know.
  void Log(const std::string& line);

 private:
  Board();
  struct Mapping {
    uint32_t base;
    uint32_t span;
    std::shared_ptr<Block> block;
  };
  std::recursive_mutex mutex_;
  std::vector<Mapping> blocks_;
  std::vector<std::function<void()>> resetHooks_;
  struct Fault {
    std::string device;
    int step;
    int skip;  // -1: every time
  };
  std::vector<Fault> faults_;
  std::vector<MessageRecord> messages_;
  bool tracing_ = false;
  std::vector<Access> trace_;
  Gpio* gpio_ = nullptr;
};

}  // namespace orlik::board
