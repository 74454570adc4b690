// Threads, waits, critical sections and the performance counter.
#pragma once

#include <orlik/types.h>

typedef DWORD(WINAPI* LPTHREAD_START_ROUTINE)(LPVOID parameter);

typedef struct _CRITICAL_SECTION {
  void* impl;  // owned by the platform
} CRITICAL_SECTION, *LPCRITICAL_SECTION;

#define WAIT_OBJECT_0 0u
#define WAIT_ABANDONED 0x80u
#define WAIT_TIMEOUT 258u
#define WAIT_FAILED 0xFFFFFFFFu
#define STILL_ACTIVE 259u
#define CREATE_SUSPENDED 0x4u
#define THREAD_ALL_ACCESS 0x001F03FFu

// Thread priorities of the panel's 0-255 scale (0 highest).
#define THREAD_PRIORITY_TIME_CRITICAL 0
#define THREAD_PRIORITY_HIGHEST 1
#define THREAD_PRIORITY_ABOVE_NORMAL 2
#define THREAD_PRIORITY_NORMAL 3
#define THREAD_PRIORITY_BELOW_NORMAL 4
#define THREAD_PRIORITY_LOWEST 5
#define THREAD_PRIORITY_ABOVE_IDLE 6
#define THREAD_PRIORITY_IDLE 7
#define CE_THREAD_PRIO_256_NORMAL 251

ORLIK_BEGIN_C

ORLIK_API HANDLE WINAPI CreateThread(LPSECURITY_ATTRIBUTES security, SIZE_T stackSize,
                                     LPTHREAD_START_ROUTINE start, LPVOID parameter, DWORD flags,
                                     LPDWORD threadId);
// Another handle to a thread the platform started, by its id (null when
// there is no such thread).
ORLIK_API HANDLE WINAPI OpenThread(DWORD access, BOOL inheritHandle, DWORD threadId);
ORLIK_API DWORD WINAPI GetCurrentThreadId(void);
ORLIK_API HANDLE WINAPI GetCurrentThread(void);
ORLIK_API BOOL WINAPI GetExitCodeThread(HANDLE thread, LPDWORD exitCode);
ORLIK_API void WINAPI ExitThread(DWORD exitCode);
// Asks a thread to end with exitCode. The thread ends at its next blocking
// platform call (Sleep, a wait, a message queue read or write), at once if it
// is blocked in one, so it never stops while holding a lock. Returns before
// the thread has ended: wait on its handle for that.
ORLIK_API BOOL WINAPI TerminateThread(HANDLE thread, DWORD exitCode);

// Priorities are stored exactly and read back as set; the host scheduler
// follows them as far as this process is allowed.
ORLIK_API BOOL WINAPI CeSetThreadPriority(HANDLE thread, int priority);
ORLIK_API int WINAPI CeGetThreadPriority(HANDLE thread);
ORLIK_API BOOL WINAPI SetThreadPriority(HANDLE thread, int priority);
ORLIK_API int WINAPI GetThreadPriority(HANDLE thread);

// Waits for any waitable object (thread, event ...). Returns WAIT_OBJECT_0,
// WAIT_TIMEOUT (258) or WAIT_FAILED.
ORLIK_API DWORD WINAPI WaitForSingleObject(HANDLE object, DWORD milliseconds);

ORLIK_API void WINAPI InitializeCriticalSection(LPCRITICAL_SECTION section);
ORLIK_API void WINAPI DeleteCriticalSection(LPCRITICAL_SECTION section);
ORLIK_API void WINAPI EnterCriticalSection(LPCRITICAL_SECTION section);
ORLIK_API void WINAPI LeaveCriticalSection(LPCRITICAL_SECTION section);

ORLIK_API BOOL WINAPI QueryPerformanceCounter(LARGE_INTEGER* count);
ORLIK_API BOOL WINAPI QueryPerformanceFrequency(LARGE_INTEGER* frequency);

ORLIK_END_C
