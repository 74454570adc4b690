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
// when the process is killed or the power fails during the copy.
ORLIK_API BOOL WINAPI CopyFileW(LPCWSTR existingFileName, LPCWSTR newFileName, BOOL failIfExists);

// Free and total space of the file system that holds the folder.
ORLIK_API BOOL WINAPI GetDiskFreeSpaceExW(LPCWSTR directoryName,
                                          ULARGE_INTEGER* freeBytesAvailableToCaller,
                                          ULARGE_INTEGER* totalNumberOfBytes,
                                          ULARGE_INTEGER* totalNumberOfFreeBytes);

ORLIK_END_C
