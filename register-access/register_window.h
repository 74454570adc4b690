// A register window: a process-local, uncached view of one physical register
// block, mapped by the memory-window driver "HTM1:".
#pragma once

#include <orlik/windows.h>

#include <cstdint>

namespace regs {

// Messages an object shows when a step of opening its window fails.
struct WindowMessages {
  const char16_t* setPointer;  // request 1 failed
  const char16_t* map;         // request 2 failed
};

inline constexpr WindowMessages kDefaultMessages = {
    u"Device IO Control failed to set pointer \n\r",
    u"Device IO Control failed to map memory to the application \n\r"};

// The address of the first byte of a mapped block, or null. Every access is a
// whole 32-bit word through the platform's register accessors; a null window
// is never touched (reads give 0).
class RegisterWindow {
 public:
  bool IsNull() const { return base_ == nullptr; }
  uint32_t Read(uint32_t offset) const {
    return base_ ? readl(static_cast<volatile uint8_t*>(base_) + offset) : 0;
  }
  void Write(uint32_t offset, uint32_t value) const {
    if (base_) writel(value, static_cast<volatile uint8_t*>(base_) + offset);
  }
  // Read-modify-write of bits [shift, shift + width) of one register.
  void WriteField(uint32_t offset, unsigned shift, unsigned width, uint32_t value) const {
    uint32_t mask = (width >= 32 ? 0xFFFFFFFFu : ((1u << width) - 1)) << shift;
    Write(offset, (Read(offset) & ~mask) | ((value << shift) & mask));
  }
  void SetBits(uint32_t offset, uint32_t bits) const { Write(offset, Read(offset) | bits); }
  void ClearBits(uint32_t offset, uint32_t bits) const { Write(offset, Read(offset) & ~bits); }

  // Gives the reserved range back (release of the whole range), if mapped.
  void Close();

 private:
  friend class WindowOpener;
  void* base_ = nullptr;
};

// Opens the driver once for all windows of one object (steps 1 and 5 of
// opening a window); Map does steps 2 to 4 for each window. Every failure is
// shown in an "ERROR" box and ends the object's construction: once a step has
// failed, later Map calls do nothing.
class WindowOpener {
 public:
  WindowOpener();
  ~WindowOpener();  // closes the driver handle
  WindowOpener(const WindowOpener&) = delete;
  WindowOpener& operator=(const WindowOpener&) = delete;

  bool ok() const { return ok_; }
  // Maps size bytes of the block at physical address phys into window.
  bool Map(RegisterWindow& window, uint32_t phys, uint32_t size,
           const WindowMessages& messages = kDefaultMessages);

 private:
  void Fail(const char16_t* text);
  HANDLE driver_ = INVALID_HANDLE_VALUE;
  bool ok_ = false;
};

}  // namespace regs
