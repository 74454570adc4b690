// Message boxes. There is no dialog: every box is recorded by the board (the
// simulated panel's screen) and written to standard error.
#pragma once

#include <orlik/types.h>

#define MB_OK 0x00000000u
#define MB_OKCANCEL 0x00000001u
#define MB_YESNO 0x00000004u
#define MB_ICONERROR 0x00000010u
#define MB_ICONWARNING 0x00000030u
#define MB_ICONINFORMATION 0x00000040u
#define MB_TOPMOST 0x00040000u

#define IDOK 1
#define IDCANCEL 2
#define IDYES 6
#define IDNO 7

ORLIK_BEGIN_C

// Returns the default button's identifier (IDOK for MB_OK).
ORLIK_API int WINAPI MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type);

ORLIK_END_C
