// Panel paths ("\\Windows\\Renovo.exe", "Flash Disk\\Run") live below the
// device root folder (ORLIK_ROOT). Backslashes become slashes and each name is
// matched case-insensitively against what exists, as on the panel's file
// systems; names that do not exist yet keep the case they were given.
#pragma once

#include <sys/stat.h>

#include <string>
#include <string_view>

namespace orlik {

// The device root: ORLIK_ROOT, or "orlik-root" in the current folder.
std::string DeviceRoot();
std::string HostPath(std::u16string_view panelPath);
// The host path with every name as given, without looking at what exists
// (the path of a file named in the case it is stored in), written into buffer
// with its NUL; its length, or 0 when it does not fit. A plain path is built
// without allocating.
size_t DirectHostPath(std::u16string_view panelPath, char* buffer, size_t size);
// HostPath, and whether what it names exists (then *st describes it). A path
// given in the case its names are stored in costs a single stat().
bool StatHostPath(std::u16string_view panelPath, std::string* host, struct stat* st);

}  // namespace orlik
