// The device manager's search of the drivers that are loaded: by legacy name
// ("CAM1:"), device name ("$device\CAM1"), bus name, or device class (the
// GUIDs a driver advertises; cameras: DEVCLASS_CAMERA_GUID).
// A search lists the devices that match when it starts; FindClose
// (orlik/files.h) ends it.
#pragma once

#include <orlik/objbase.h>
#include <orlik/types.h>

#ifndef ERROR_NO_MORE_ITEMS
#define ERROR_NO_MORE_ITEMS 259u
#endif

typedef enum _DeviceSearchType {
  DeviceSearchByLegacyName = 0,  // param: LPCWSTR, "*" and "?" allowed ("CAM*")
  DeviceSearchByDeviceName = 1,  // param: LPCWSTR, the same wildcards
  DeviceSearchByBusName = 2,     // param: LPCWSTR, the same wildcards
  DeviceSearchByGuid = 3,        // param: const GUID*, a device class
  DeviceSearchByParent = 4,      // param: HANDLE of a parent device
} DeviceSearchType;

// The record as on the panel's system. Its size is that of the platform it is
// compiled for: 1584 bytes on the panel (32-bit pointers and handles), 1600
// on this x86-64 platform (two 8-byte handles, aligned). Callers set dwSize to
// sizeof(DEVMGR_DEVICE_INFORMATION); a smaller dwSize is refused.
typedef struct _DEVMGR_DEVICE_INFORMATION {
  DWORD dwSize;
  HANDLE hDevice;
  HANDLE hParentDevice;
  WCHAR szLegacyName[6];
  WCHAR szDeviceKey[MAX_PATH];
  WCHAR szDeviceName[MAX_PATH];
  WCHAR szBusName[MAX_PATH];
} DEVMGR_DEVICE_INFORMATION, *PDEVMGR_DEVICE_INFORMATION;

#ifdef __cplusplus
static_assert(sizeof(void*) != 8 || sizeof(DEVMGR_DEVICE_INFORMATION) == 1600,
              "the device record has its x86-64 layout");
// Camera drivers advertise this class.
ORLIK_DEFINE_GUID(DEVCLASS_CAMERA_GUID, 0xCB998A05, 0x122C, 0x4166, 0x84, 0x6A, 0x93, 0x3E, 0x4D, 0x7E, 0x3C, 0x86);
#else
_Static_assert(sizeof(void*) != 8 || sizeof(DEVMGR_DEVICE_INFORMATION) == 1600,
               "the device record has its x86-64 layout");
#endif

ORLIK_BEGIN_C

// Starts a search and fills the record of the first device found. Returns
// the search handle, or INVALID_HANDLE_VALUE with ERROR_INVALID_PARAMETER (no
// record, no parameter, a dwSize below the record's size, an unknown search
// type) or ERROR_NO_MORE_ITEMS (nothing matches). dwSize is left as the
// caller set it.
ORLIK_API HANDLE WINAPI FindFirstDevice(DeviceSearchType searchType, LPCVOID searchParam,
                                        PDEVMGR_DEVICE_INFORMATION info);
// The next device of the search; FALSE with ERROR_NO_MORE_ITEMS after the
// last.
ORLIK_API BOOL WINAPI FindNextDevice(HANDLE search, PDEVMGR_DEVICE_INFORMATION info);

ORLIK_END_C
