// Directory search, file copy and free space, under the device root.
#pragma once

#include <orlik/findtypes.h>
#include <orlik/types.h>

ORLIK_BEGIN_C

// Searches a folder for names matching the last part of the path, which may
// hold the wildcards "*" and "?" ("*.*" matches every name, with or without a
// dot). Names are matched ignoring ASCII case. Entries come in name order,
// "." and ".." are never returned. A path ending in a backslash finds the
// folder itself. Returns INVALID_HANDLE_VALUE (ERROR_FILE_NOT_FOUND or
// ERROR_PATH_NOT_FOUND) when nothing matches.
ORLIK_API HANDLE WINAPI FindFirstFileW(LPCWSTR fileName, LPWIN32_FIND_DATAW findData);
// FALSE with ERROR_NO_MORE_FILES after the last entry.
ORLIK_API BOOL WINAPI FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW findData);
// Ends a file search, or a device search (FindFirstDevice, orlik/devmgr.h).
ORLIK_API BOOL WINAPI FindClose(HANDLE find);

// Copies a file. The new file is written beside the target under a hidden
// temporary name, flushed, and renamed over the target in one step, so the
// target is at every moment either the old file or the complete new one, even
// when the process is killed or the power fails during the copy. Temporaries
// that earlier copies to the same target left behind when they died are
// removed first.
ORLIK_API BOOL WINAPI CopyFileW(LPCWSTR existingFileName, LPCWSTR newFileName, BOOL failIfExists);

// Moves (renames) a file or folder. The target must not exist unless
// MOVEFILE_REPLACE_EXISTING is given, in which case an existing file is
// replaced in one step: at every moment the target is the old file or the new
// one (a folder or a write-protected file is never replaced,
// ERROR_ACCESS_DENIED). Within a volume it is a rename; to another volume a
// file moves only with MOVEFILE_COPY_ALLOWED, as a copy followed by deleting
// the original (ERROR_NOT_SAME_DEVICE otherwise). MOVEFILE_WRITE_THROUGH
// returns only once the move is on the medium.
#define MOVEFILE_REPLACE_EXISTING 0x00000001u
#define MOVEFILE_COPY_ALLOWED 0x00000002u
#define MOVEFILE_WRITE_THROUGH 0x00000008u
ORLIK_API BOOL WINAPI MoveFileExW(LPCWSTR existingFileName, LPCWSTR newFileName, DWORD flags);
// MoveFileExW without replacing (ERROR_ALREADY_EXISTS), copy allowed.
ORLIK_API BOOL WINAPI MoveFileW(LPCWSTR existingFileName, LPCWSTR newFileName);

// A temporary file name in a folder: "<path>\<first three units of the
// prefix><hexadecimal number>.TMP" into a MAX_PATH buffer. With unique 0 the
// number is chosen so the name is new, and the file is created (empty);
// otherwise the name is only formed. Returns the number, 0 on failure
// (ERROR_PATH_NOT_FOUND for a missing folder, ERROR_BUFFER_OVERFLOW when the
// name does not fit).
ORLIK_API UINT WINAPI GetTempFileNameW(LPCWSTR pathName, LPCWSTR prefixString, UINT unique,
                                       LPWSTR tempFileName);

// Free and total space of the file system that holds the folder.
ORLIK_API BOOL WINAPI GetDiskFreeSpaceExW(LPCWSTR directoryName,
                                          ULARGE_INTEGER* freeBytesAvailableToCaller,
                                          ULARGE_INTEGER* totalNumberOfBytes,
                                          ULARGE_INTEGER* totalNumberOfFreeBytes);

ORLIK_END_C
