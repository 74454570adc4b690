#include "core/devices.h"

#include <orlik/kernel.h>
#include <orlik/text.h>

#include "board/console/console.h"
#include "core/hot_path.h"
#include "core/names.h"

#include <atomic>
#include <mutex>
#include <vector>

namespace orlik {
namespace {

struct Registry {
  std::mutex mutex;
  std::vector<std::pair<std::u16string, DeviceOpener>> drivers;
};

// The longest registered name: a longer one, such as any file path, is no
// device, and is told so without taking the lock.
std::atomic<size_t> longest{0};

Registry& Drivers() {
  static auto* registry = new Registry;
  return *registry;
}

bool SameName(std::u16string_view a, std::u16string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (LowerAscii(a[i]) != LowerAscii(b[i])) return false;
  return true;
}

// Whether name is a registered device's; its opener goes to *opener if asked.
bool Find(std::u16string_view name, DeviceOpener* opener) {
  // A name holds no terminator: compare up to the first, as a C string would.
  // Only as far as the longest device name is looked at.
  size_t most = longest.load(std::memory_order_acquire);
  name = name.substr(0, name.substr(0, most + 1).find(u'\0'));
  if (name.size() > most) return false;
  auto& r = Drivers();
  std::lock_guard lock(r.mutex);
  for (auto& [n, registered] : r.drivers) {
    if (!SameName(n, name)) continue;
    if (opener) *opener = registered;
    return true;
  }
  return false;
}

}  // namespace

BOOL Device::IoControl(DWORD, void*, DWORD, void*, DWORD, DWORD*) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

BOOL Device::Read(void*, DWORD, DWORD*) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

BOOL Device::Write(const void*, DWORD, DWORD*) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return FALSE;
}

void RegisterDevice(std::u16string name, DeviceOpener opener) {
  auto& r = Drivers();
  std::lock_guard lock(r.mutex);
  if (name.size() > longest.load(std::memory_order_relaxed)) longest.store(name.size(), std::memory_order_release);
  r.drivers.emplace_back(std::move(name), std::move(opener));
}

ORLIK_HOT_PATH bool IsDeviceName(std::u16string_view name) { return Find(name, nullptr); }

std::shared_ptr<Device> OpenDevice(std::u16string_view name, DWORD access, DWORD share) {
  // A process that uses the panel's hardware can be reached from outside.
  board::console::Start();
  DeviceOpener opener;
  if (!Find(name, &opener)) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  return opener(access, share);
}

}  // namespace orlik

extern "C" BOOL DeviceIoControl(HANDLE device, DWORD code, LPVOID inBuffer, DWORD inSize,
                                LPVOID outBuffer, DWORD outSize, LPDWORD returned, LPOVERLAPPED) {
  auto dev = orlik::LookupHandleAs<orlik::Device>(device);
  if (!dev) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  DWORD scratch = 0;
  return dev->IoControl(code, inBuffer, inSize, outBuffer, outSize, returned ? returned : &scratch);
}
