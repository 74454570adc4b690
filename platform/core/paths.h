// Panel paths ("\\Windows\\Renovo.exe", "Flash Disk\\Run") live below the
// device root folder (ORLIK_ROOT). Backslashes become slashes and each name is
// matched case-insensitively against what exists, as on the panel's file
// systems; names that do not exist yet keep the case they were given.
#pragma once

#include <string>
#include <string_view>

namespace orlik {

// The device root: ORLIK_ROOT, or "orlik-root" in the current folder.
std::string DeviceRoot();
std::string HostPath(std::u16string_view panelPath);

}  // namespace orlik
