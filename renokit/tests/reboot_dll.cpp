// A stand-in for the panel's "REBOOT.DLL": its export "Reboot" leaves
// "\reboot-mark.txt" in the device root.
#include <orlik/windows.h>

extern "C" __attribute__((visibility("default"))) BOOL Reboot() {
  HANDLE file = CreateFileW(u"\\reboot-mark.txt", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return FALSE;
  DWORD written = 0;
  WriteFile(file, "Reboot called\n", 14, &written, nullptr);
  CloseHandle(file);
  return TRUE;
}
