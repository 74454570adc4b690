// The device manager's search and the camera driver's presence.
#include <orlik/sim.h>
#include <orlik/windows.h>

#include "tolvex_test.h"

#include <string>
#include <vector>

namespace {

DEVMGR_DEVICE_INFORMATION Record() {
  DEVMGR_DEVICE_INFORMATION info{};
  info.dwSize = sizeof info;
  return info;
}

// Legacy names of every device a search finds; the search is closed.
std::vector<std::u16string> Find(DeviceSearchType type, const void* param) {
  std::vector<std::u16string> names;
  DEVMGR_DEVICE_INFORMATION info = Record();
  HANDLE h = FindFirstDevice(type, param, &info);
  if (h == INVALID_HANDLE_VALUE) {
    EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);
    return names;
  }
  do names.push_back(info.szLegacyName);
  while (FindNextDevice(h, &info));
  EXPECT_EQ(GetLastError(), ERROR_NO_MORE_ITEMS);
  EXPECT_TRUE(FindClose(h));
  EXPECT_FALSE(FindClose(h)) << "closed once";
  return names;
}

using Names = std::vector<std::u16string>;

class DeviceManager : public tolvex_test::PanelTest {};

TEST_F(DeviceManager, FindsTheCameraByClassAndName) {
  static_assert(sizeof(DEVMGR_DEVICE_INFORMATION) == 1600, "x86-64 layout");
  DEVMGR_DEVICE_INFORMATION info = Record();
  HANDLE h = FindFirstDevice(DeviceSearchByGuid, &DEVCLASS_CAMERA_GUID, &info);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(std::u16string(info.szLegacyName), u"CAM1:");
  EXPECT_EQ(std::u16string(info.szDeviceName), u"$device\\CAM1");
  EXPECT_EQ(info.dwSize, sizeof info);
  EXPECT_NE(info.hDevice, nullptr);
  FindClose(h);

  EXPECT_EQ(Find(DeviceSearchByLegacyName, u"cam*"), Names{u"CAM1:"});
  EXPECT_EQ(Find(DeviceSearchByLegacyName, u"CAM?:"), Names{u"CAM1:"});
  EXPECT_EQ(Find(DeviceSearchByDeviceName, u"$device\\CAM1"), Names{u"CAM1:"});
  EXPECT_EQ(Find(DeviceSearchByLegacyName, u"CAM2:"), Names{});
  const GUID other = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};
  EXPECT_EQ(Find(DeviceSearchByGuid, &other), Names{});

  // Refusals: the record's size, a missing record or parameter, a bad type.
  struct Case {
    const char* what;
    DeviceSearchType type;
    const void* param;
    DWORD size;
    bool record;
  };
  const Case refused[] = {
      {"the panel's 32-bit record size", DeviceSearchByGuid, &DEVCLASS_CAMERA_GUID, 1584, true},
      {"no record", DeviceSearchByGuid, &DEVCLASS_CAMERA_GUID, 1600, false},
      {"no GUID", DeviceSearchByGuid, nullptr, 1600, true},
      {"unknown search type", DeviceSearchType(7), u"CAM1:", 1600, true},
  };
  for (const auto& c : refused) {
    DEVMGR_DEVICE_INFORMATION r = Record();
    r.dwSize = c.size;
    SetLastError(0);
    EXPECT_EQ(FindFirstDevice(c.type, c.param, c.record ? &r : nullptr), INVALID_HANDLE_VALUE) << c.what;
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER) << c.what;
  }
  EXPECT_FALSE(FindNextDevice(reinterpret_cast<HANDLE>(uintptr_t(0x5000)), &info));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST_F(DeviceManager, AnAbsentCameraIsNeitherListedNorOpened) {
  HANDLE cam = CreateFileW(u"CAM1:", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(cam, INVALID_HANDLE_VALUE);
  CloseHandle(cam);

  orlik_sim_fail_device("CAM1:", 0);
  EXPECT_EQ(Find(DeviceSearchByGuid, &DEVCLASS_CAMERA_GUID), Names{});
  EXPECT_EQ(CreateFileW(u"CAM1:", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);

  orlik_sim_reset();
  EXPECT_EQ(Find(DeviceSearchByGuid, &DEVCLASS_CAMERA_GUID), Names{u"CAM1:"}) << "back after a reset";
}

TEST_F(DeviceManager, ADeviceSearchIsNoFileSearch) {
  DEVMGR_DEVICE_INFORMATION info = Record();
  HANDLE h = FindFirstDevice(DeviceSearchByGuid, &DEVCLASS_CAMERA_GUID, &info);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  WIN32_FIND_DATAW data;
  EXPECT_FALSE(FindNextFileW(h, &data));
  EXPECT_TRUE(FindClose(h));
}

}  // namespace
