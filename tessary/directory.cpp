// Remote directory operations and the colon-separated listing.
#include "ftp_state.h"

namespace tessary {

int32_t FtpState::SetCurrentDirectory(const WCHAR* path) {
  WCHAR wirePath[kPathCapacity];
  if (!CopyField(wirePath, kPathCapacity, path)) return 0;
  ToWirePath(wirePath);
  if (!connection) return 0;
  return FtpSetCurrentDirectoryW(connection, wirePath) == TRUE ? 1 : 0;
}

// One level up from the server's current directory.
int32_t FtpState::SetRootDirectory() { return SetCurrentDirectory(u".."); }

int32_t FtpState::GetCurrentDirectory(WCHAR* buffer) {
  if (!connection) return 0;
  WCHAR directory[kPathCapacity];
  DWORD length = kPathCapacity;
  if (FtpGetCurrentDirectoryW(connection, directory, &length) != TRUE) return 0;
  ToCallerPath(directory);
  if (!buffer) return 0;
  orlik_wcscpy_bounded(buffer, kPathCapacity, directory);
  return 1;
}

int32_t FtpState::CreateFolder(const WCHAR* name) {
  if (!connection) return 0;
  return FtpCreateDirectoryW(connection, name) == TRUE ? 1 : 0;
}

int32_t FtpState::DeleteFolder(const WCHAR* name) {
  if (!connection) return 0;
  return FtpRemoveDirectoryW(connection, name) == TRUE ? 1 : 0;
}

int32_t FtpState::DeleteFiles(const WCHAR* name) {
  if (!connection) return 0;
  return FtpDeleteFileW(connection, name) == TRUE ? 1 : 0;
}

int32_t FtpState::ReName(const WCHAR* existingName, const WCHAR* newName) {
  if (!connection) return 0;
  WCHAR existing[kPathCapacity];
  WCHAR renamed[kPathCapacity];
  if (!CopyField(existing, kPathCapacity, existingName) ||
      !CopyField(renamed, kPathCapacity, newName))
    return 0;
  ToWirePath(existing);
  ToWirePath(renamed);
  return FtpRenameFileW(connection, existing, renamed) == TRUE ? 1 : 0;
}

// "logs\:a.txt:b.csv": names in the server's order, colon-separated, each
// directory with a trailing backslash. The caller's buffer has no size; it is
// only written once the listing has been obtained.
int32_t FtpState::GetFileList(WCHAR* buffer) {
  if (!connection || !buffer) return 0;
  Sleep(500);
  WIN32_FIND_DATAW entry;
  HINTERNET find = FtpFindFirstFileW(connection, u"*.*", &entry, INTERNET_FLAG_NO_CACHE_WRITE, 0);
  if (!find) return 0;
  size_t length = 0;
  auto append = [&](const WCHAR* text) {
    for (; *text; ++text) buffer[length++] = *text;
    buffer[length] = 0;
  };
  buffer[0] = 0;
  append(entry.cFileName);
  if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) append(u"\\");
  while (InternetFindNextFileW(find, &entry)) {
    append(u":");
    append(entry.cFileName);
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) append(u"\\");
  }
  InternetCloseHandle(find);
  return 1;
}

}  // namespace tessary

using tessary::ftpState;

TOLVEX_EXPORT int32_t SetRootDirectory() { return ftpState.SetRootDirectory(); }
TOLVEX_EXPORT int32_t SetCurrentDirectory(const WCHAR* path) {
  return ftpState.SetCurrentDirectory(path);
}
TOLVEX_EXPORT int32_t GetCurrentDirectory(WCHAR* buffer) {
  return ftpState.GetCurrentDirectory(buffer);
}
TOLVEX_EXPORT int32_t CreateFolder(const WCHAR* name) { return ftpState.CreateFolder(name); }
TOLVEX_EXPORT int32_t DeleteFolder(const WCHAR* name) { return ftpState.DeleteFolder(name); }
TOLVEX_EXPORT int32_t DeleteFiles(const WCHAR* name) { return ftpState.DeleteFiles(name); }
TOLVEX_EXPORT int32_t ReName(const WCHAR* existingName, const WCHAR* newName) {
  return ftpState.ReName(existingName, newName);
}
TOLVEX_EXPORT int32_t GetFileList(WCHAR* buffer) { return ftpState.GetFileList(buffer); }
