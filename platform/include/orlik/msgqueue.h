// Point-to-point message queues. A named queue is one object for the whole
// panel: another process opens the same queue by creating it under the same
// name. Each handle is one end, reading or writing, chosen when it is opened.
#pragma once

#include <orlik/types.h>

#define MSGQUEUE_NOPRECOMMIT 0x00000001u   // storage is taken as messages arrive
#define MSGQUEUE_ALLOW_BROKEN 0x00000002u  // reads and writes work without a peer
#define MSGQUEUE_MSGALERT 0x00000001u      // write / read flag: an alert message

#ifndef ERROR_PIPE_NOT_CONNECTED
#define ERROR_PIPE_NOT_CONNECTED 233u
#endif
#ifndef ERROR_OPERATION_ABORTED
#define ERROR_OPERATION_ABORTED 995u
#endif

typedef struct MSGQUEUEOPTIONS_OS {
  DWORD dwSize;         // sizeof(MSGQUEUEOPTIONS), 20
  DWORD dwFlags;        // MSGQUEUE_NOPRECOMMIT, MSGQUEUE_ALLOW_BROKEN
  DWORD dwMaxMessages;  // 0: no limit
  DWORD cbMaxMessage;   // largest message in bytes
  BOOL bReadAccess;     // TRUE: this handle is a reading end
} MSGQUEUEOPTIONS, *LPMSGQUEUEOPTIONS, *PMSGQUEUEOPTIONS;

typedef struct MSGQUEUEINFO {
  DWORD dwSize;  // sizeof(MSGQUEUEINFO), 28
  DWORD dwFlags;
  DWORD dwMaxMessages;
  DWORD cbMaxMessage;
  DWORD dwCurrentMessages;
  DWORD dwMaxQueueMessages;  // most messages the queue has held at once
  WORD wNumReaders;
  WORD wNumWriters;
} MSGQUEUEINFO, *LPMSGQUEUEINFO, *PMSGQUEUEINFO;

#ifdef __cplusplus
static_assert(sizeof(MSGQUEUEOPTIONS) == 20, "options record is 20 bytes");
static_assert(sizeof(MSGQUEUEINFO) == 28, "information record is 28 bytes");
#endif

ORLIK_BEGIN_C

// Creates a queue, or opens the existing queue of that name (the last error is
// then ERROR_ALREADY_EXISTS and the existing queue keeps its own limits).
// Returns null on failure. A null name makes a queue only this process can
// reach (through OpenMsgQueue).
ORLIK_API HANDLE WINAPI CreateMsgQueue(LPCWSTR name, LPMSGQUEUEOPTIONS options);
// Opens another end of the queue behind msgQueue, a handle of the calling
// process (handles are per process, so sourceProcess is not consulted).
ORLIK_API HANDLE WINAPI OpenMsgQueue(HANDLE sourceProcess, HANDLE msgQueue,
                                     LPMSGQUEUEOPTIONS options);
// Takes the oldest message. Waits up to timeout ms (INFINITE: no limit) for
// one. Fails with ERROR_TIMEOUT, ERROR_INSUFFICIENT_BUFFER (the message stays
// queued), or ERROR_PIPE_NOT_CONNECTED when the queue is empty and has no
// writer (unless MSGQUEUE_ALLOW_BROKEN).
ORLIK_API BOOL WINAPI ReadMsgQueue(HANDLE msgQueue, LPVOID buffer, DWORD bufferSize,
                                   LPDWORD bytesRead, DWORD timeout, DWORD* flags);
// Appends a message. Waits up to timeout ms for room in a full queue; a
// waiting write wakes as soon as a reader makes room. Fails with
// ERROR_PIPE_NOT_CONNECTED while no reader has the queue open (unless
// MSGQUEUE_ALLOW_BROKEN): the message is then lost, as callers expect.
ORLIK_API BOOL WINAPI WriteMsgQueue(HANDLE msgQueue, LPVOID buffer, DWORD dataSize,
                                    DWORD timeout, DWORD flags);
// info->dwSize must be sizeof(MSGQUEUEINFO).
ORLIK_API BOOL WINAPI GetMsgQueueInfo(HANDLE msgQueue, LPMSGQUEUEINFO info);
ORLIK_API BOOL WINAPI CloseMsgQueue(HANDLE msgQueue);

ORLIK_END_C
