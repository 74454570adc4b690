// The device manager's list of loaded drivers, searched by FindFirstDevice.
// A driver that the device manager lists registers itself here, from a static
// registrar in its source, as it does with the device table (core/devices.h).
#pragma once

#include <orlik/objbase.h>

#include <functional>
#include <string>
#include <vector>

namespace orlik {

struct ActiveDevice {
  std::u16string legacyName;  // "CAM1:"
  std::u16string deviceKey;   // the registry key the driver was loaded from
  std::u16string deviceName;  // "$device\CAM1"
  std::u16string busName;
  std::vector<GUID> classes;  // device classes it advertises
  // False while the device is not there (a fault of the simulated panel).
  std::function<bool()> present;
};

void RegisterActiveDevice(ActiveDevice device);

struct ActiveDeviceRegistrar {
  explicit ActiveDeviceRegistrar(ActiveDevice device) { RegisterActiveDevice(std::move(device)); }
};

}  // namespace orlik
