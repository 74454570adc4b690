// Core services: last error, handles, files, devices, reserve-only memory.
// Same names, argument order, results and failure values as on the panel.
#pragma once

#include <orlik/types.h>

#define GENERIC_READ 0x80000000u
#define GENERIC_WRITE 0x40000000u
#define FILE_SHARE_READ 0x00000001u
#define FILE_SHARE_WRITE 0x00000002u
#define CREATE_NEW 1u
#define CREATE_ALWAYS 2u
#define OPEN_EXISTING 3u
#define OPEN_ALWAYS 4u
#define TRUNCATE_EXISTING 5u

#define FILE_ATTRIBUTE_READONLY 0x00000001u
#define FILE_ATTRIBUTE_HIDDEN 0x00000002u
#define FILE_ATTRIBUTE_SYSTEM 0x00000004u
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010u
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020u
#define FILE_ATTRIBUTE_NORMAL 0x00000080u
#define INVALID_FILE_ATTRIBUTES 0xFFFFFFFFu
#define INVALID_FILE_SIZE 0xFFFFFFFFu
#define INVALID_SET_FILE_POINTER 0xFFFFFFFFu

#define FILE_BEGIN 0u
#define FILE_CURRENT 1u
#define FILE_END 2u

#define MEM_COMMIT 0x00001000u
#define MEM_RESERVE 0x00002000u
#define MEM_DECOMMIT 0x00004000u
#define MEM_RELEASE 0x00008000u
#define PAGE_NOACCESS 0x01u
#define PAGE_READONLY 0x02u
#define PAGE_READWRITE 0x04u
#define PAGE_NOCACHE 0x200u

typedef struct _OVERLAPPED OVERLAPPED, *LPOVERLAPPED;

ORLIK_BEGIN_C

ORLIK_API DWORD WINAPI GetLastError(void);
ORLIK_API void WINAPI SetLastError(DWORD error);

// Closes any handle the platform hands out (files, devices, threads, events,
// queues). Closing an unknown handle fails with ERROR_INVALID_HANDLE.
ORLIK_API BOOL WINAPI CloseHandle(HANDLE handle);

// Opens a file under the device root, or a device by its name ("HTM1:").
// Device names are matched case-insensitively, like file names.
ORLIK_API HANDLE WINAPI CreateFileW(LPCWSTR name, DWORD access, DWORD share,
                                   LPSECURITY_ATTRIBUTES security, DWORD creation,
                                   DWORD flags, HANDLE templateFile);
ORLIK_API BOOL WINAPI ReadFile(HANDLE file, LPVOID buffer, DWORD toRead, LPDWORD read,
                               LPOVERLAPPED overlapped);
ORLIK_API BOOL WINAPI WriteFile(HANDLE file, LPCVOID buffer, DWORD toWrite, LPDWORD written,
                                LPOVERLAPPED overlapped);
ORLIK_API DWORD WINAPI GetFileSize(HANDLE file, LPDWORD sizeHigh);
ORLIK_API DWORD WINAPI SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh,
                                      DWORD method);
ORLIK_API BOOL WINAPI FlushFileBuffers(HANDLE file);
ORLIK_API BOOL WINAPI DeleteFileW(LPCWSTR name);
ORLIK_API DWORD WINAPI GetFileAttributesW(LPCWSTR name);
ORLIK_API BOOL WINAPI CreateDirectoryW(LPCWSTR name, LPSECURITY_ATTRIBUTES security);

// Sends a control request to a device opened with CreateFileW.
ORLIK_API BOOL WINAPI DeviceIoControl(HANDLE device, DWORD code, LPVOID inBuffer, DWORD inSize,
                                      LPVOID outBuffer, DWORD outSize, LPDWORD returned,
                                      LPOVERLAPPED overlapped);

// MEM_RESERVE with PAGE_NOACCESS reserves address space without storage;
// MEM_COMMIT gives zero-filled storage. VirtualFree with MEM_RELEASE and size 0
// gives back a whole reservation.
ORLIK_API LPVOID WINAPI VirtualAlloc(LPVOID address, SIZE_T size, DWORD type, DWORD protect);
ORLIK_API BOOL WINAPI VirtualFree(LPVOID address, SIZE_T size, DWORD type);

ORLIK_API void WINAPI Sleep(DWORD milliseconds);
ORLIK_API DWORD WINAPI GetTickCount(void);

ORLIK_END_C
