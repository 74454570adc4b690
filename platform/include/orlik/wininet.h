// WinInet FTP: one Internet handle, FTP connections made from it, remote
// directory operations, remote file transfers and directory enumeration.
//
// Behaviour a caller relies on:
// - The remote current directory is the server's; nothing is cached here.
// - A connection carries one data transfer at a time. While a file handle
//   from FtpOpenFileW or a find handle from FtpFindFirstFileW is open, every
//   other operation on that connection fails with
//   ERROR_FTP_TRANSFER_IN_PROGRESS; the control connection stays intact.
// - Passive or active data connections as INTERNET_FLAG_PASSIVE says.
// - Every network wait is bounded (ORLIK_FTP_TIMEOUT_MS, default 15000 ms):
//   a server that stops answering makes the call fail with
//   ERROR_INTERNET_TIMEOUT, it never hangs.
// - InternetReadFile fills the whole buffer unless the file ends; it reports
//   the end (TRUE, 0 bytes) only after the server has confirmed the transfer
//   complete, so a connection lost mid-file is a failure, never a short file.
// - Server listings in Unix or DOS LIST form, or MLSD when the server offers
//   it, become WIN32_FIND_DATAW records (name, directory attribute, size,
//   modification time).
#pragma once

#include <orlik/findtypes.h>
#include <orlik/types.h>

typedef LPVOID HINTERNET;
typedef WORD INTERNET_PORT;
typedef ULONG_PTR DWORD_PTR;

#define INTERNET_OPEN_TYPE_PRECONFIG 0u
#define INTERNET_OPEN_TYPE_DIRECT 1u
#define INTERNET_OPEN_TYPE_PROXY 3u

#define INTERNET_SERVICE_FTP 1u
#define INTERNET_DEFAULT_FTP_PORT 21

#define INTERNET_FLAG_PASSIVE 0x08000000u
#define INTERNET_FLAG_NO_CACHE_WRITE 0x04000000u
#define INTERNET_FLAG_RELOAD 0x80000000u

#define FTP_TRANSFER_TYPE_UNKNOWN 0x0u
#define FTP_TRANSFER_TYPE_ASCII 0x1u
#define FTP_TRANSFER_TYPE_BINARY 0x2u

#define ERROR_INTERNET_TIMEOUT 12002u
#define ERROR_INTERNET_EXTENDED_ERROR 12003u
#define ERROR_INTERNET_INTERNAL_ERROR 12004u
#define ERROR_INTERNET_NAME_NOT_RESOLVED 12007u
#define ERROR_INTERNET_LOGIN_FAILURE 12015u
#define ERROR_INTERNET_INVALID_OPERATION 12016u
#define ERROR_INTERNET_INCORRECT_HANDLE_TYPE 12018u
#define ERROR_INTERNET_INCORRECT_HANDLE_STATE 12019u
#define ERROR_INTERNET_CANNOT_CONNECT 12029u
#define ERROR_INTERNET_CONNECTION_ABORTED 12030u
#define ERROR_INTERNET_CONNECTION_RESET 12031u
#define ERROR_FTP_TRANSFER_IN_PROGRESS 12110u
#define ERROR_FTP_DROPPED 12111u

ORLIK_BEGIN_C

ORLIK_API HINTERNET WINAPI InternetOpenW(LPCWSTR agent, DWORD accessType, LPCWSTR proxy,
                                         LPCWSTR proxyBypass, DWORD flags);
// Connects and logs in before returning (FTP has no lazy connect). Fails with
// ERROR_INTERNET_NAME_NOT_RESOLVED, ERROR_INTERNET_CANNOT_CONNECT,
// ERROR_INTERNET_TIMEOUT or ERROR_INTERNET_LOGIN_FAILURE.
ORLIK_API HINTERNET WINAPI InternetConnectW(HINTERNET internet, LPCWSTR serverName,
                                            INTERNET_PORT port, LPCWSTR userName,
                                            LPCWSTR password, DWORD service, DWORD flags,
                                            DWORD_PTR context);
// Closes any Internet handle. Closing a connection logs out; closing a file
// handle before the end of a download aborts the transfer.
ORLIK_API BOOL WINAPI InternetCloseHandle(HINTERNET handle);

ORLIK_API BOOL WINAPI FtpSetCurrentDirectoryW(HINTERNET connection, LPCWSTR directory);
// length: in, the buffer's capacity in characters; out, the characters
// written without the terminator. ERROR_INSUFFICIENT_BUFFER sets the needed
// capacity.
ORLIK_API BOOL WINAPI FtpGetCurrentDirectoryW(HINTERNET connection, LPWSTR directory,
                                              LPDWORD length);
ORLIK_API BOOL WINAPI FtpCreateDirectoryW(HINTERNET connection, LPCWSTR directory);
ORLIK_API BOOL WINAPI FtpRemoveDirectoryW(HINTERNET connection, LPCWSTR directory);
ORLIK_API BOOL WINAPI FtpDeleteFileW(HINTERNET connection, LPCWSTR fileName);
ORLIK_API BOOL WINAPI FtpRenameFileW(HINTERNET connection, LPCWSTR existing, LPCWSTR newName);

// Lists the remote current directory (search null, "", "*" or "*.*"), the
// entries of a directory part matching a wildcard name, or one path. No
// entry: null with ERROR_NO_MORE_FILES.
ORLIK_API HINTERNET WINAPI FtpFindFirstFileW(HINTERNET connection, LPCWSTR searchFile,
                                             LPWIN32_FIND_DATAW findData, DWORD flags,
                                             DWORD_PTR context);
// FALSE with ERROR_NO_MORE_FILES after the last entry.
ORLIK_API BOOL WINAPI InternetFindNextFileW(HINTERNET find, LPVOID findData);

// access: GENERIC_READ (download) or GENERIC_WRITE (upload).
ORLIK_API HINTERNET WINAPI FtpOpenFileW(HINTERNET connection, LPCWSTR fileName, DWORD access,
                                        DWORD flags, DWORD_PTR context);
ORLIK_API BOOL WINAPI InternetReadFile(HINTERNET file, LPVOID buffer, DWORD toRead,
                                       LPDWORD read);
ORLIK_API BOOL WINAPI InternetWriteFile(HINTERNET file, LPCVOID buffer, DWORD toWrite,
                                        LPDWORD written);

// The server's last reply on this thread's last FTP call (with
// ERROR_INTERNET_EXTENDED_ERROR and others). length as FtpGetCurrentDirectoryW.
ORLIK_API BOOL WINAPI InternetGetLastResponseInfoW(LPDWORD error, LPWSTR buffer, LPDWORD length);

ORLIK_END_C
