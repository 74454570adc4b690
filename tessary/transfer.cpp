// Uploads and downloads on a thread of their own, with progress and cancel.
#include "block_plan.h"
#include "ftp_state.h"

#include <memory>
#include <new>
#include <string>

namespace tessary {
namespace {

// A remote path split at its last slash or backslash. A path without one
// names a file in the server's current directory (directory left empty).
struct RemotePathParts {
  std::u16string directory;
  std::u16string name;
};

RemotePathParts SplitRemotePath(const WCHAR* path) {
  std::u16string_view p = orlik::View(path);
  size_t k = p.find_last_of(u"/\\");
  if (k == std::u16string_view::npos) return {u"", std::u16string(p)};
  std::u16string directory = k == 0 ? std::u16string(u"/") : std::u16string(p.substr(0, k));
  return {directory, std::u16string(p.substr(k + 1))};
}

uint64_t SizeOf(const WIN32_FIND_DATAW& entry) {
  return (uint64_t(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
}

// Closes whatever of a transfer is open; the buffer goes with its owner.
struct TransferFiles {
  HANDLE local = INVALID_HANDLE_VALUE;
  HINTERNET remote = nullptr;
  // Closes both; FALSE when closing the remote file reported a failure (an
  // upload the server did not confirm).
  BOOL Close() {
    BOOL ok = TRUE;
    if (local != INVALID_HANDLE_VALUE) CloseHandle(local);
    local = INVALID_HANDLE_VALUE;
    if (remote) ok = InternetCloseHandle(remote);
    remote = nullptr;
    return ok;
  }
  ~TransferFiles() { Close(); }
};

// A transfer given up on a cancel request: its files and buffer closed, the
// outcome there, and only then the canceller woken.
void EndCancelled(TransferFiles& files, std::unique_ptr<BYTE[]>& buffer, std::atomic<int32_t>& percentage,
                  HANDLE cancelEvent) {
  files.Close();
  buffer.reset();
  percentage = -1;
  SetEvent(cancelEvent);
}

std::unique_ptr<BYTE[]> AllocateBuffer(const BlockPlan& plan) {
  return std::unique_ptr<BYTE[]>(new (std::nothrow) BYTE[plan.bufferSize]);
}

// The folder part of a local path ("" for a name in the root), where the
// temporary of a download that replaces a file goes.
std::u16string LocalFolderOf(const WCHAR* path) {
  std::u16string_view p = orlik::View(path);
  size_t k = p.find_last_of(u"\\/");
  return k == std::u16string_view::npos ? std::u16string() : std::u16string(p.substr(0, k));
}

}  // namespace

int32_t FtpState::StartTransfer(const WCHAR* remote, const WCHAR* local,
                                LPTHREAD_START_ROUTINE thread) {
  // One transfer at a time: a second start while one runs would take its
  // paths and progress from under it.
  if (transferThread) {
    if (WaitForSingleObject(transferThread, 0) == WAIT_TIMEOUT) {
      int32_t outcome = percentage;
      if (outcome != 100 && outcome != -1) return 0;
      // Finished and on its way out.
      WaitForSingleObject(transferThread, INFINITE);
    }
    CloseHandle(transferThread);
    transferThread = nullptr;
  }
  percentage = 0;
  cancelRequested = 0;
  // A cancel of an earlier transfer left the event set; this one starts clear.
  if (cancelEvent) ResetEvent(cancelEvent);
  if (!CopyField(remotePath, kPathCapacity, remote) || !CopyField(localPath, kPathCapacity, local)) {
    percentage = -1;
    return 0;
  }
  ToWirePath(remotePath);
  transferThread = CreateThread(nullptr, 0, thread, this, 0, nullptr);
  if (!transferThread) {
    percentage = -1;
    return 0;
  }
  return 1;
}

int32_t FtpState::FileDownload(const WCHAR* remote, const WCHAR* local) {
  return StartTransfer(remote, local, TransferThread<&FtpState::Download>);
}

int32_t FtpState::FileUpload(const WCHAR* local, const WCHAR* remote) {
  return StartTransfer(remote, local, TransferThread<&FtpState::Upload>);
}

// Nothing a transfer does may end the process: whatever escapes the loops'
// own handlers fails the transfer.
template <void (FtpState::*Transfer)()>
DWORD WINAPI FtpState::TransferThread(LPVOID state) {
  auto* ftp = static_cast<FtpState*>(state);
  try {
    (ftp->*Transfer)();
  } catch (...) {
    ftp->percentage = -1;
  }
  return 0;
}

void FtpState::Upload() {
  percentage = 0;
  TransferFiles files;
  files.local = CreateFileW(localPath, GENERIC_READ, 0, nullptr, OPEN_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (files.local == INVALID_HANDLE_VALUE) {
    percentage = -1;
    return;
  }
  DWORD sizeHigh = 0;
  DWORD sizeLow = GetFileSize(files.local, &sizeHigh);
  uint64_t size = (uint64_t(sizeHigh) << 32) | sizeLow;
  if (sizeLow == INVALID_FILE_SIZE && GetLastError() != ERROR_SUCCESS) size = 0;
  if (size == 0) {
    files.Close();
    percentage = -1;
    return;
  }
  BlockPlan plan(size);
  std::unique_ptr<BYTE[]> buffer = AllocateBuffer(plan);
  if (!buffer) {
    files.Close();
    percentage = -1;
    return;
  }
  files.remote = FtpOpenFileW(connection, remotePath, GENERIC_WRITE,
                              FTP_TRANSFER_TYPE_BINARY | INTERNET_FLAG_NO_CACHE_WRITE, 0);
  if (!files.remote) {
    files.Close();
    percentage = -1;
    return;
  }
  try {
    for (;;) {
      if (cancelRequested == 1) {
        // The canceller is woken only once the connection is free again, and
        // finds the outcome already there.
        EndCancelled(files, buffer, percentage, cancelEvent);
        return;
      }
      DWORD read = 0;
      if (!ReadFile(files.local, buffer.get(), DWORD(plan.blockSize), &read, nullptr)) {
        files.Close();
        percentage = -1;
        return;
      }
      if (read == 0) {
        // Done only when the server confirms it has the whole file.
        percentage = files.Close() ? 100 : -1;
        return;
      }
      bool sent = false;
      for (int attempt = 0; attempt < 10 && !sent; ++attempt) {
        DWORD written = 0;
        sent = InternetWriteFile(files.remote, buffer.get(), read, &written) == TRUE;
      }
      if (!sent) {
        files.Close();
        percentage = -1;
        return;
      }
      percentage = plan.Advance(percentage);
    }
  } catch (...) {
    files.Close();
    percentage = -1;
  }
}

void FtpState::Download() {
  percentage = 0;
  // An existing local file stays whole until the download has succeeded: the
  // data goes to a new temporary file beside it, which then replaces it in
  // one step. A folder or a write-protected file is refused at once, as
  // creating it would be.
  DWORD attributes = GetFileAttributesW(localPath);
  bool replaces = attributes != INVALID_FILE_ATTRIBUTES;
  if (replaces && (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_READONLY))) {
    percentage = -1;
    return;
  }
  WCHAR temporary[MAX_PATH] = {};
  if (replaces && !GetTempFileNameW(LocalFolderOf(localPath).c_str(), u"ftp", 0, temporary)) {
    percentage = -1;
    return;
  }
  const WCHAR* writePath = replaces ? temporary : localPath;
  TransferFiles files;
  // Closes the local file; a temporary goes with it.
  auto closeLocal = [&] {
    if (files.local != INVALID_HANDLE_VALUE) CloseHandle(files.local);
    files.local = INVALID_HANDLE_VALUE;
    if (replaces) DeleteFileW(temporary);
  };
  auto fail = [&] {
    closeLocal();
    files.Close();
    percentage = -1;
  };
  files.local = CreateFileW(writePath, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (files.local == INVALID_HANDLE_VALUE) {
    fail();
    return;
  }
  uint64_t size = RemoteFileSize(remotePath);
  if (size == 0) {
    fail();
    return;
  }
  BlockPlan plan(size);
  std::unique_ptr<BYTE[]> buffer = AllocateBuffer(plan);
  if (!buffer) {
    fail();
    return;
  }
  files.remote = FtpOpenFileW(connection, remotePath, GENERIC_READ,
                              FTP_TRANSFER_TYPE_BINARY | INTERNET_FLAG_NO_CACHE_WRITE, 0);
  if (!files.remote) {
    fail();
    return;
  }
  try {
    int failedReads = 0;
    for (;;) {
      if (cancelRequested == 1) {
        // Local file, remote file, buffer; the canceller is woken only once
        // the connection is free again, and finds the outcome already there.
        closeLocal();
        EndCancelled(files, buffer, percentage, cancelEvent);
        return;
      }
      DWORD read = 0;
      if (!InternetReadFile(files.remote, buffer.get(), DWORD(plan.blockSize), &read)) {
        if (++failedReads >= 10) {
          fail();
          return;
        }
        continue;
      }
      failedReads = 0;
      if (read == 0) {
        CloseHandle(files.local);
        files.local = INVALID_HANDLE_VALUE;
        files.Close();
        buffer.reset();
        if (replaces && !MoveFileExW(temporary, localPath, MOVEFILE_REPLACE_EXISTING)) {
          DeleteFileW(temporary);
          percentage = -1;
          return;
        }
        percentage = 100;
        return;
      }
      DWORD written = 0;
      if (!WriteFile(files.local, buffer.get(), read, &written, nullptr)) {
        fail();
        return;
      }
      percentage = plan.Advance(percentage);
    }
  } catch (...) {
    fail();
  }
}

// The size of a remote file from the listing of its directory; 0 when it is
// not listed, is empty, or the listing fails. The server's current
// directory is restored afterwards.
uint64_t FtpState::RemoteFileSize(const WCHAR* path) {
  if (!connection) return 0;
  WCHAR saved[kPathCapacity];
  if (!GetCurrentDirectory(saved)) return 0;
  RemotePathParts parts = SplitRemotePath(path);
  if (parts.name.empty()) return 0;
  if (!parts.directory.empty() && !SetCurrentDirectory(parts.directory.c_str())) return 0;
  WIN32_FIND_DATAW entry;
  HINTERNET find = FtpFindFirstFileW(connection, u"*.*", &entry, INTERNET_FLAG_NO_CACHE_WRITE, 0);
  if (!find) {
    SetCurrentDirectory(saved);
    return 0;
  }
  uint64_t size = 0;
  do {
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) continue;
    if (orlik::View(entry.cFileName) == parts.name) {
      size = SizeOf(entry);
      break;
    }
  } while (InternetFindNextFileW(find, &entry));
  InternetCloseHandle(find);
  SetCurrentDirectory(saved);
  return size;
}

int32_t FtpState::GetPercentage() {
  int32_t value = percentage;
  return value <= 100 ? value : 100;
}

int32_t FtpState::FileUpNDownloadCancel() {
  cancelRequested = 1;
  return int32_t(WaitForSingleObject(cancelEvent, 2000));
}

void FtpState::WaitForTransfer() {
  if (!transferThread) return;
  if (WaitForSingleObject(transferThread, 0) == WAIT_TIMEOUT) {
    cancelRequested = 1;
    // Every network wait below is bounded, so the thread ends.
    WaitForSingleObject(transferThread, INFINITE);
  }
  CloseHandle(transferThread);
  transferThread = nullptr;
}

}  // namespace tessary

using tessary::ftpState;

TOLVEX_EXPORT int32_t FileDownload(const WCHAR* remotePath, const WCHAR* localPath) {
  return ftpState.FileDownload(remotePath, localPath);
}
TOLVEX_EXPORT int32_t FileUpload(const WCHAR* localPath, const WCHAR* remotePath) {
  return ftpState.FileUpload(localPath, remotePath);
}
TOLVEX_EXPORT int32_t GetPercentage() { return ftpState.GetPercentage(); }
TOLVEX_EXPORT int32_t FileUpNDownloadCancel() { return ftpState.FileUpNDownloadCancel(); }
