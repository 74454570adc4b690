// Devices reached by name through CreateFileW ("HTM1:", "NDS0:" ...). Each
// open makes a Device object behind the handle; the device's driver lives in
// platform/devices/ and talks to the board.
#pragma once

#include "core/handles.h"

#include <functional>
#include <string>

namespace orlik {

class Device : public KernelObject {
 public:
  virtual BOOL IoControl(DWORD code, void* in, DWORD inSize, void* out, DWORD outSize,
                         DWORD* returned);
  virtual BOOL Read(void* buffer, DWORD size, DWORD* read);
  virtual BOOL Write(const void* buffer, DWORD size, DWORD* written);
};

// Opens a device: returns null (with the last error set) when it fails.
using DeviceOpener = std::function<std::shared_ptr<Device>(DWORD access, DWORD share)>;

// Called once per driver, from a static registrar in the driver's source.
void RegisterDevice(std::u16string name, DeviceOpener opener);
// True when name (as given to CreateFileW, up to its NUL) names a registered
// device.
bool IsDeviceName(std::u16string_view name);
std::shared_ptr<Device> OpenDevice(std::u16string_view name, DWORD access, DWORD share);

struct DeviceRegistrar {
  DeviceRegistrar(std::u16string name, DeviceOpener opener) {
    RegisterDevice(std::move(name), std::move(opener));
  }
};

}  // namespace orlik
