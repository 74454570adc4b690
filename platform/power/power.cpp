// Power-state requests and the kernel's reboot request reach the board's
// power controller.
#include <orlik/kernel.h>
#include <orlik/power.h>
#include <orlik/text.h>

#include "board/power_controller.h"

extern "C" {

DWORD SetSystemPowerState(LPCWSTR state, DWORD stateFlags, DWORD options) {
  orlik::board::PowerController::Get().RequestPowerState(orlik::ToUtf8(orlik::View(state)), stateFlags,
                                                         options);
  return ERROR_SUCCESS;
}

BOOL KernelIoControl(DWORD code, LPVOID, DWORD, LPVOID, DWORD, LPDWORD bytesReturned) {
  if (bytesReturned) *bytesReturned = 0;
  if (code != IOCTL_HAL_REBOOT) {
    SetLastError(ERROR_NOT_SUPPORTED);
    return FALSE;
  }
  orlik::board::PowerController::Get().RequestReboot();
  return TRUE;
}

}  // extern "C"
