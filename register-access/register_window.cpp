#include "register_window.h"

namespace regs {

namespace {
constexpr DWORD kSetPhysicalAddress = 1;
constexpr DWORD kMapWindow = 2;
}  // namespace

void RegisterWindow::Close() {
  if (base_) {
    VirtualFree(base_, 0, MEM_RELEASE);
    base_ = nullptr;
  }
}

WindowOpener::WindowOpener() {
  driver_ = CreateFileW(u"HTM1:", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0,
                        nullptr);
  if (driver_ == INVALID_HANDLE_VALUE) {
    Fail(u"Cannot open Memery: \r\n");
    return;
  }
  ok_ = true;
}

WindowOpener::~WindowOpener() {
  if (driver_ != INVALID_HANDLE_VALUE) CloseHandle(driver_);
}

void WindowOpener::Fail(const char16_t* text) {
  MessageBoxW(nullptr, text, u"ERROR", MB_OK);
  ok_ = false;
}

bool WindowOpener::Map(RegisterWindow& window, uint32_t phys, uint32_t size,
                       const WindowMessages& messages) {
  if (!ok_) return false;
  // Request 1 carries the base divided by 256 as a plain number.
  auto* page = reinterpret_cast<LPVOID>(uintptr_t(phys / 256));
  if (!DeviceIoControl(driver_, kSetPhysicalAddress, page, 0, nullptr, 0, nullptr, nullptr)) {
    Fail(messages.setPointer);
    return false;
  }
  void* reserved = VirtualAlloc(nullptr, size, MEM_RESERVE, PAGE_NOACCESS);
  if (!reserved) {
    // The window stays null, and request 2 fails on it in turn.
    MessageBoxW(nullptr, u"VirtualAlloc failed in Application \r\n", u"ERROR", MB_OK);
  }
  if (!DeviceIoControl(driver_, kMapWindow, reserved, size, nullptr, 0, nullptr, nullptr)) {
    Fail(messages.map);
    if (reserved) VirtualFree(reserved, 0, MEM_RELEASE);
    return false;
  }
  window.base_ = reserved;
  return true;
}

}  // namespace regs
