// The library's one FtpState: connection settings, the WinInet handles, and
// the words a transfer thread shares with the caller.
#pragma once

#include <orlik/windows.h>
#include <tolvex/export.h>
#include <tolvex/non_copyable.h>
#include <tolvex/tessary.h>

#include <atomic>
#include <cstdint>

namespace tessary {

inline constexpr size_t kPathCapacity = 1024;
inline constexpr size_t kUserCapacity = 100;

// Copies text into a field of capacity units. Text that does not fit is not
// cut short (a shortened path names another file or folder): the field is
// left empty and the result is false.
bool CopyField(WCHAR* field, size_t capacity, const WCHAR* text);

// Caller paths use backslashes, the server slashes. Both convert in place up
// to the terminator.
void ToWirePath(WCHAR* path);
void ToCallerPath(WCHAR* path);

class FtpState : tolvex::NonCopyable {
 public:
  FtpState();
  ~FtpState();

  // Connection (connection.cpp).
  int32_t SetConnectInfo(const WCHAR* server, int32_t port, const WCHAR* user,
                         const WCHAR* password, int32_t passive);
  int32_t Connect();
  int32_t DisConnect();

  // Remote directories (directory.cpp).
  int32_t SetCurrentDirectory(const WCHAR* path);
  int32_t SetRootDirectory();
  int32_t GetCurrentDirectory(WCHAR* buffer);
  int32_t CreateFolder(const WCHAR* name);
  int32_t DeleteFolder(const WCHAR* name);
  int32_t DeleteFiles(const WCHAR* name);
  int32_t ReName(const WCHAR* existingName, const WCHAR* newName);
  int32_t GetFileList(WCHAR* buffer);

  // Transfers (transfer.cpp).
  int32_t FileDownload(const WCHAR* remotePath, const WCHAR* localPath);
  int32_t FileUpload(const WCHAR* localPath, const WCHAR* remotePath);
  int32_t GetPercentage();
  int32_t FileUpNDownloadCancel();

 private:
  int32_t StartTransfer(const WCHAR* remote, const WCHAR* local, LPTHREAD_START_ROUTINE thread);
  // The thread of a transfer: runs Download or Upload.
  template <void (FtpState::*Transfer)()>
  static DWORD WINAPI TransferThread(LPVOID state);
  void Download();
  void Upload();
  uint64_t RemoteFileSize(const WCHAR* path);
  void WaitForTransfer();

  HINTERNET internet = nullptr;
  WCHAR serverName[kPathCapacity] = {};
  int32_t passive = 0;
  WCHAR userName[kUserCapacity] = {};
  WCHAR password[kUserCapacity] = {};
  int32_t port = 0;
  HANDLE cancelEvent = nullptr;
  HINTERNET connection = nullptr;
  // Written by the transfer thread, read by the caller (and the reverse for
  // cancelRequested): atomic words.
  std::atomic<int32_t> percentage{0};
  std::atomic<int32_t> cancelRequested{0};
  WCHAR remotePath[kPathCapacity] = {};
  WCHAR localPath[kPathCapacity] = {};
  // The running transfer's thread, so a new transfer is not started over it
  // and unloading waits for it.
  HANDLE transferThread = nullptr;
};

extern FtpState ftpState;

}  // namespace tessary
