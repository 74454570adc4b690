// Files under the device root and the devices of the device table, behind
// CreateFileW and the handle table.
#include <orlik/kernel.h>
#include <orlik/text.h>

#include "core/devices.h"
#include "core/paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

namespace orlik {
namespace {

DWORD ErrorFromErrno(int e) {
  switch (e) {
    case ENOENT: return ERROR_FILE_NOT_FOUND;
    case ENOTDIR: return ERROR_PATH_NOT_FOUND;
    case EACCES:
    case EPERM:
    case EISDIR: return ERROR_ACCESS_DENIED;
    case EEXIST: return ERROR_FILE_EXISTS;
    case ENOSPC: return ERROR_WRITE_FAULT;
    default: return ERROR_GEN_FAILURE;
  }
}

class File final : public KernelObject {
 public:
  explicit File(int fd) : fd_(fd) {}
  ~File() override {
    if (fd_ >= 0) close(fd_);
  }
  int fd() const { return fd_; }

 private:
  int fd_;
};

BOOL FailWith(DWORD error) {
  SetLastError(error);
  return FALSE;
}

}  // namespace
}  // namespace orlik

using namespace orlik;

extern "C" {

HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES, DWORD creation,
                   DWORD, HANDLE) {
  if (!name || !*name) {
    SetLastError(ERROR_PATH_NOT_FOUND);
    return INVALID_HANDLE_VALUE;
  }
  auto view = View(name);
  if (IsDeviceName(view)) {
    auto device = OpenDevice(view, access, share);
    if (!device) return INVALID_HANDLE_VALUE;
    return InsertHandle(device);
  }
  int flags = O_CLOEXEC;
  if ((access & GENERIC_READ) && (access & GENERIC_WRITE))
    flags |= O_RDWR;
  else if (access & GENERIC_WRITE)
    flags |= O_WRONLY;
  else
    flags |= O_RDONLY;
  switch (creation) {
    case CREATE_NEW: flags |= O_CREAT | O_EXCL; break;
    case CREATE_ALWAYS: flags |= O_CREAT | O_TRUNC; break;
    case OPEN_EXISTING: break;
    case OPEN_ALWAYS: flags |= O_CREAT; break;
    case TRUNCATE_EXISTING: flags |= O_TRUNC; break;
    default: SetLastError(ERROR_INVALID_PARAMETER); return INVALID_HANDLE_VALUE;
  }
  std::string path = HostPath(view);
  struct stat st;
  bool existed = stat(path.c_str(), &st) == 0;
  if (existed && S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  int fd = open(path.c_str(), flags, 0644);
  if (fd < 0) {
    SetLastError(errno == EEXIST ? ERROR_FILE_EXISTS : ErrorFromErrno(errno));
    return INVALID_HANDLE_VALUE;
  }
  // As on the panel: opening with CREATE_ALWAYS or OPEN_ALWAYS over an existing
  // file succeeds and reports ERROR_ALREADY_EXISTS.
  SetLastError((existed && (creation == CREATE_ALWAYS || creation == OPEN_ALWAYS))
                   ? ERROR_ALREADY_EXISTS
                   : ERROR_SUCCESS);
  return InsertHandle(std::make_shared<File>(fd));
}

BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED) {
  if (read) *read = 0;
  if (auto device = LookupHandleAs<Device>(handle)) {
    DWORD n = 0;
    BOOL ok = device->Read(buffer, toRead, &n);
    if (read) *read = n;
    return ok;
  }
  auto file = LookupHandleAs<File>(handle);
  if (!file) return FailWith(ERROR_INVALID_HANDLE);
  if (toRead && !buffer) return FailWith(ERROR_INVALID_PARAMETER);
  size_t done = 0;
  while (done < toRead) {
    ssize_t n = ::read(file->fd(), static_cast<char*>(buffer) + done, toRead - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return FailWith(ErrorFromErrno(errno));
    if (n == 0) break;
    done += size_t(n);
  }
  if (read) *read = DWORD(done);
  return TRUE;
}

BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED) {
  if (written) *written = 0;
  if (auto device = LookupHandleAs<Device>(handle)) {
    DWORD n = 0;
    BOOL ok = device->Write(buffer, toWrite, &n);
    if (written) *written = n;
    return ok;
  }
  auto file = LookupHandleAs<File>(handle);
  if (!file) return FailWith(ERROR_INVALID_HANDLE);
  if (toWrite && !buffer) return FailWith(ERROR_INVALID_PARAMETER);
  size_t done = 0;
  while (done < toWrite) {
    ssize_t n = ::write(file->fd(), static_cast<const char*>(buffer) + done, toWrite - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      if (written) *written = DWORD(done);
      return FailWith(ErrorFromErrno(errno));
    }
    done += size_t(n);
  }
  if (written) *written = DWORD(done);
  return TRUE;
}

DWORD GetFileSize(HANDLE handle, LPDWORD sizeHigh) {
  auto file = LookupHandleAs<File>(handle);
  struct stat st;
  if (!file || fstat(file->fd(), &st) != 0) {
    SetLastError(ERROR_INVALID_HANDLE);
    return INVALID_FILE_SIZE;
  }
  auto size = uint64_t(st.st_size);
  if (sizeHigh) *sizeHigh = DWORD(size >> 32);
  SetLastError(ERROR_SUCCESS);
  return DWORD(size);
}

DWORD SetFilePointer(HANDLE handle, LONG distance, LONG* distanceHigh, DWORD method) {
  auto file = LookupHandleAs<File>(handle);
  if (!file || method > FILE_END) {
    SetLastError(file ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return INVALID_SET_FILE_POINTER;
  }
  int64_t offset = distanceHigh ? (int64_t(*distanceHigh) << 32) | uint32_t(distance) : distance;
  static constexpr int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
  off_t pos = lseek(file->fd(), off_t(offset), kWhence[method]);
  if (pos < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_SET_FILE_POINTER;
  }
  if (distanceHigh) *distanceHigh = LONG(uint64_t(pos) >> 32);
  SetLastError(ERROR_SUCCESS);
  return DWORD(pos);
}

BOOL FlushFileBuffers(HANDLE handle) {
  auto file = LookupHandleAs<File>(handle);
  if (!file) return FailWith(ERROR_INVALID_HANDLE);
  return fsync(file->fd()) == 0 ? TRUE : FailWith(ErrorFromErrno(errno));
}

BOOL DeleteFileW(LPCWSTR name) {
  if (!name) return FailWith(ERROR_INVALID_PARAMETER);
  std::string path = HostPath(View(name));
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return FailWith(ERROR_ACCESS_DENIED);
  return unlink(path.c_str()) == 0 ? TRUE : FailWith(ErrorFromErrno(errno));
}

DWORD GetFileAttributesW(LPCWSTR name) {
  struct stat st;
  if (!name || stat(HostPath(View(name)).c_str(), &st) != 0) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return INVALID_FILE_ATTRIBUTES;
  }
  if (S_ISDIR(st.st_mode)) return FILE_ATTRIBUTE_DIRECTORY;
  return (st.st_mode & S_IWUSR) ? FILE_ATTRIBUTE_ARCHIVE : FILE_ATTRIBUTE_READONLY;
}

BOOL CreateDirectoryW(LPCWSTR name, LPSECURITY_ATTRIBUTES) {
  if (!name) return FailWith(ERROR_INVALID_PARAMETER);
  if (mkdir(HostPath(View(name)).c_str(), 0755) == 0) return TRUE;
  return FailWith(errno == EEXIST ? ERROR_ALREADY_EXISTS : ErrorFromErrno(errno));
}

}  // extern "C"
