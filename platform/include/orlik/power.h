// Power-state requests and the kernel's reboot request.
#pragma once

#include <orlik/types.h>

#define POWER_STATE_ON 0x00010000u
#define POWER_STATE_OFF 0x00020000u
#define POWER_STATE_SUSPEND 0x00200000u
#define POWER_STATE_RESET 0x00800000u
#define POWER_FORCE 0x00001000u

#define IOCTL_HAL_REBOOT 0x0101003Cu

ORLIK_BEGIN_C

// Both reach the board's power controller, which records each request. The
// simulated panel does not restart: the caller goes on running.
ORLIK_API DWORD WINAPI SetSystemPowerState(LPCWSTR state, DWORD stateFlags, DWORD options);
ORLIK_API BOOL WINAPI KernelIoControl(DWORD code, LPVOID inBuffer, DWORD inSize, LPVOID outBuffer,
                                      DWORD outSize, LPDWORD bytesReturned);

ORLIK_END_C
