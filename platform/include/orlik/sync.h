// Events: unnamed, or named and shared system-wide so another process can
// open the same event by its name.
#pragma once

#include <orlik/types.h>

#define EVENT_ALL_ACCESS 0x001F0003u
#define EVENT_MODIFY_STATE 0x0002u

ORLIK_BEGIN_C

// Creates an event, or opens the existing event of that name (then the
// manual-reset and initial-state arguments are ignored and GetLastError is
// ERROR_ALREADY_EXISTS). Names are case-sensitive. Waited on with
// WaitForSingleObject; closed with CloseHandle. A named event lives while any
// handle of any process refers to it.
ORLIK_API HANDLE WINAPI CreateEventW(LPSECURITY_ATTRIBUTES security, BOOL manualReset,
                                     BOOL initialState, LPCWSTR name);
// Opens an existing named event; null with ERROR_FILE_NOT_FOUND if none.
ORLIK_API HANDLE WINAPI OpenEventW(DWORD access, BOOL inherit, LPCWSTR name);
// SetEvent wakes all waiters of a manual-reset event and leaves it signalled;
// an auto-reset event releases exactly one waiter and is reset by it.
ORLIK_API BOOL WINAPI SetEvent(HANDLE event);
ORLIK_API BOOL WINAPI ResetEvent(HANDLE event);

ORLIK_END_C
