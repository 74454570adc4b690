// FindFirstDevice / FindNextDevice over the drivers that registered with the
// device manager. A search copies the records that match when it starts.
#include <orlik/devmgr.h>
#include <orlik/kernel.h>

#include "core/names.h"
#include "core/search_handle.h"
#include "devices/device_manager.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <string_view>

namespace orlik {
namespace {

struct Registry {
  std::mutex mutex;
  std::vector<ActiveDevice> devices;
};

Registry& Devices() {
  static auto* registry = new Registry;  // lives until the process ends
  return *registry;
}

class DeviceSearch final : public SearchHandle {
 public:
  std::vector<DEVMGR_DEVICE_INFORMATION> found;
  size_t next = 0;
};

// A bounded copy into a fixed field, always terminated.
template <size_t N>
void CopyField(const std::u16string& from, WCHAR (&to)[N]) {
  size_t n = std::min(from.size(), N - 1);
  std::copy_n(from.data(), n, to);
  to[n] = 0;
}

// The device manager's handle of the device at `index`: never a value of the
// handle table (those are multiples of 4), so it cannot close anything.
HANDLE ManagerHandle(size_t index) { return reinterpret_cast<HANDLE>(uintptr_t(index) * 4 + 1); }

DEVMGR_DEVICE_INFORMATION Record(const ActiveDevice& device, size_t index) {
  DEVMGR_DEVICE_INFORMATION info;
  std::memset(&info, 0, sizeof info);
  info.dwSize = sizeof info;
  info.hDevice = ManagerHandle(index);
  info.hParentDevice = nullptr;
  CopyField(device.legacyName, info.szLegacyName);
  CopyField(device.deviceKey, info.szDeviceKey);
  CopyField(device.deviceName, info.szDeviceName);
  CopyField(device.busName, info.szBusName);
  return info;
}

bool Matches(const ActiveDevice& device, DeviceSearchType type, LPCVOID param) {
  switch (type) {
    case DeviceSearchByLegacyName:
      return WildcardMatch(static_cast<const WCHAR*>(param), device.legacyName, LetterCase::kIgnoreAscii);
    case DeviceSearchByDeviceName:
      return WildcardMatch(static_cast<const WCHAR*>(param), device.deviceName, LetterCase::kIgnoreAscii);
    case DeviceSearchByBusName:
      return WildcardMatch(static_cast<const WCHAR*>(param), device.busName, LetterCase::kIgnoreAscii);
    case DeviceSearchByGuid: {
      const GUID& wanted = *static_cast<const GUID*>(param);
      return std::any_of(device.classes.begin(), device.classes.end(),
                         [&](const GUID& g) { return IsEqualGUID(g, wanted); });
    }
    case DeviceSearchByParent:
      return false;  // every registered device hangs from the root
  }
  return false;
}

bool KnownType(DeviceSearchType type) {
  return type == DeviceSearchByLegacyName || type == DeviceSearchByDeviceName || type == DeviceSearchByBusName ||
         type == DeviceSearchByGuid || type == DeviceSearchByParent;
}

// Fills the caller's record, keeping its dwSize.
void Give(const DEVMGR_DEVICE_INFORMATION& record, PDEVMGR_DEVICE_INFORMATION info) {
  DWORD size = info->dwSize;
  *info = record;
  info->dwSize = size;
}

}  // namespace

void RegisterActiveDevice(ActiveDevice device) {
  auto& r = Devices();
  std::lock_guard lock(r.mutex);
  r.devices.push_back(std::move(device));
}

}  // namespace orlik

using orlik::DeviceSearch;

extern "C" HANDLE FindFirstDevice(DeviceSearchType searchType, LPCVOID searchParam,
                                  PDEVMGR_DEVICE_INFORMATION info) {
  if (!info || info->dwSize < sizeof(DEVMGR_DEVICE_INFORMATION) || !orlik::KnownType(searchType) ||
      (!searchParam && searchType != DeviceSearchByParent)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  // Copied out of the registry first: a presence check may ask the board.
  std::vector<orlik::ActiveDevice> devices;
  {
    auto& r = orlik::Devices();
    std::lock_guard lock(r.mutex);
    devices = r.devices;
  }
  auto search = std::make_shared<DeviceSearch>();
  for (size_t i = 0; i < devices.size(); ++i) {
    const auto& d = devices[i];
    if ((!d.present || d.present()) && orlik::Matches(d, searchType, searchParam))
      search->found.push_back(orlik::Record(d, i));
  }
  if (search->found.empty()) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return INVALID_HANDLE_VALUE;
  }
  orlik::Give(search->found[0], info);
  search->next = 1;
  SetLastError(ERROR_SUCCESS);
  return orlik::InsertHandle(search);
}

extern "C" BOOL FindNextDevice(HANDLE search, PDEVMGR_DEVICE_INFORMATION info) {
  auto s = orlik::LookupHandleAs<DeviceSearch>(search);
  if (!s) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!info || info->dwSize < sizeof(DEVMGR_DEVICE_INFORMATION)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (s->next >= s->found.size()) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
  }
  orlik::Give(s->found[s->next++], info);
  return TRUE;
}
