// Network adapter rebind: one request to the NDIS driver for the panel's
// Ethernet adapter.
#include "frame.h"

TOLVEX_EXPORT void NDISDriverReBind() {
  // "CS89001", then zero units up to 20 bytes: a list of adapter names ended
  // by an empty name.
  WCHAR adapters[10] = u"CS89001";

  HANDLE ndis = CreateFileW(u"NDS0:", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, 0, nullptr);
  if (ndis == INVALID_HANDLE_VALUE) return;
  DeviceIoControl(ndis, IOCTL_NDIS_REBIND_ADAPTER, adapters, sizeof adapters, nullptr, 0, nullptr,
                  nullptr);  // result not examined
  CloseHandle(ndis);
}
