#include "board/board.h"

#include "board/console/events.h"
#include "board/gpio.h"
#include <orlik/text.h>
#include "board/two_wire/two_wire.h"

#include <cstdio>
#include <cstdlib>

namespace orlik::board {

std::shared_ptr<Block> MakeAdcBlock();
std::shared_ptr<Block> MakePwmTimerBlock(Gpio& gpio);

void Block::UnknownRead(uint32_t offset) const {
  char line[128];
  std::snprintf(line, sizeof line, "%s: read from unmodelled offset 0x%03X", Name(), offset);
  Board::Get().Log(line);
}

void Block::UnknownWrite(uint32_t offset, uint32_t value, const char* what) const {
  char line[128];
  std::snprintf(line, sizeof line, "%s: write 0x%08X to %s offset 0x%03X", Name(), value, what, offset);
  Board::Get().Log(line);
}

Board& Board::Get() {
  static auto* board = new Board;  // lives until the process ends
  return *board;
}

Board::Board() {
  auto gpio = std::make_shared<Gpio>();
  gpio_ = gpio.get();
  AddBlock(kGpioBase, gpio);
  AddBlock(kAdcBase, MakeAdcBlock());
  AddBlock(kTimerBase, MakePwmTimerBlock(*gpio_));
  // The main bus lines (HW-B5 clock, HW-B6 data) have pull-up resistors on
  // the board; the library turns the processor's pulls off for them.
  gpio_->SetBoardPullUp('B', 5, true);
  gpio_->SetBoardPullUp('B', 6, true);
  // The two-wire buses and their devices (converter, counter module slots).
  WireTwoWireBuses(*this, *gpio_);
}

void Board::AddBlock(uint32_t base, std::shared_ptr<Block> block, uint32_t span) {
  std::lock_guard lock(mutex_);
  for (auto& m : blocks_) {
    if (m.base == base) {
      m.block = std::move(block);
      m.span = span;
      return;
    }
  }
  blocks_.push_back({base, span, std::move(block)});
}

Block* Board::FindBlock(uint32_t base) {
  std::lock_guard lock(mutex_);
  for (auto& m : blocks_)
    if (m.base == base) return m.block.get();
  return nullptr;
}

Gpio& Board::gpio() { return *gpio_; }

bool Board::Claims(uint32_t phys, uint32_t size) {
  std::lock_guard lock(mutex_);
  for (auto& m : blocks_)
    if (phys >= m.base && uint64_t(phys) + size <= uint64_t(m.base) + m.span) return true;
  return false;
}

uint32_t Board::Read32(uint32_t phys) {
  std::lock_guard lock(mutex_);
  for (auto& m : blocks_) {
    if (phys >= m.base && phys < m.base + m.span) {
      uint32_t value = m.block->Read(phys - m.base);
      if (tracing_) trace_.push_back({phys, value, false});
      return value;
    }
  }
  char line[64];
  std::snprintf(line, sizeof line, "board: read from unmapped address 0x%08X", phys);
  Log(line);
  return 0;
}

void Board::Write32(uint32_t phys, uint32_t value) {
  std::lock_guard lock(mutex_);
  for (auto& m : blocks_) {
    if (phys >= m.base && phys < m.base + m.span) {
      if (tracing_) trace_.push_back({phys, value, true});
      m.block->Write(phys - m.base, value);
      return;
    }
  }
  char line[80];
  std::snprintf(line, sizeof line, "board: write 0x%08X to unmapped address 0x%08X", value, phys);
  Log(line);
}

void Board::Reset() {
  std::lock_guard lock(mutex_);
  for (auto& m : blocks_) m.block->Reset();
  faults_.clear();
  messages_.clear();
  tracing_ = false;
  trace_.clear();
  for (auto& hook : resetHooks_) hook();
}

void Board::OnReset(std::function<void()> hook) {
  std::lock_guard lock(mutex_);
  resetHooks_.push_back(std::move(hook));
}

void Board::SetFailStep(std::string_view device, int step) {
  std::lock_guard lock(mutex_);
  std::erase_if(faults_, [&](auto& f) { return f.device == device; });
  if (step >= 0) faults_.push_back({std::string(device), step, -1});
}

void Board::SetFailOnce(std::string_view device, int step, int skip) {
  std::lock_guard lock(mutex_);
  if (step >= 0) faults_.push_back({std::string(device), step, skip < 0 ? 0 : skip});
}

int Board::FailStep(std::string_view device) {
  std::lock_guard lock(mutex_);
  for (auto& f : faults_)
    if (f.device == device && f.skip < 0) return f.step;
  return -1;
}

bool Board::Fails(std::string_view device, int step) {
  std::lock_guard lock(mutex_);
  for (size_t i = 0; i < faults_.size(); ++i) {
    Fault& f = faults_[i];
    if (f.device != device || f.step != step) continue;
    if (f.skip < 0) return true;
    if (f.skip-- == 0) {
      faults_.erase(faults_.begin() + long(i));
      return true;
    }
  }
  return false;
}

void Board::RecordMessage(MessageRecord record) {
  if (console::Wanted(console::EventKind::kMessage))
    console::PublishMessage(ToUtf8(record.caption), ToUtf8(record.text), record.type);
  std::lock_guard lock(mutex_);
  messages_.push_back(std::move(record));
}

std::vector<MessageRecord> Board::Messages() {
  std::lock_guard lock(mutex_);
  return messages_;
}

void Board::SetTracing(bool on) {
  std::lock_guard lock(mutex_);
  tracing_ = on;
  trace_.clear();
}

size_t Board::TraceSize() {
  std::lock_guard lock(mutex_);
  return trace_.size();
}

bool Board::TraceEntry(size_t i, Access* out) {
  std::lock_guard lock(mutex_);
  if (i >= trace_.size()) return false;
  *out = trace_[i];
  return true;
}

void Board::Log(const std::string& line) {
  // Quiet unless asked for: a model's complaint is a diagnostic, not output.
  static const bool verbose = [] {
    const char* v = std::getenv("ORLIK_BOARD_LOG");
    return v && *v && *v != '0';
  }();
  if (verbose) std::fprintf(stderr, "[orlik board] %s\n", line.c_str());
}

}  // namespace orlik::board
