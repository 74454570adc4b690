// Files under the device root and the devices of the device table, behind
// CreateFileW and the handle table.
#include <orlik/files.h>
#include <orlik/kernel.h>
#include <orlik/text.h>

#include "core/devices.h"
#include "core/filetime.h"
#include "core/last_error.h"
#include "core/names.h"
#include "core/paths.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <vector>

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

void FillFindData(const std::string& hostPath, std::u16string_view name, const struct stat& st,
                  WIN32_FIND_DATAW* data) {
  *data = WIN32_FIND_DATAW{};
  DWORD attributes = 0;
  if (S_ISDIR(st.st_mode)) attributes |= FILE_ATTRIBUTE_DIRECTORY;
  else attributes |= FILE_ATTRIBUTE_ARCHIVE;
  if (access(hostPath.c_str(), W_OK) != 0 && !(st.st_mode & S_IWUSR)) attributes |= FILE_ATTRIBUTE_READONLY;
  if (!name.empty() && name[0] == u'.') attributes |= FILE_ATTRIBUTE_HIDDEN;
  data->dwFileAttributes = attributes;
  data->ftCreationTime = FileTimeFrom(st.st_ctim);
  data->ftLastAccessTime = FileTimeFrom(st.st_atim);
  data->ftLastWriteTime = FileTimeFrom(st.st_mtim);
  uint64_t size = S_ISDIR(st.st_mode) ? 0 : uint64_t(st.st_size);
  data->nFileSizeHigh = DWORD(size >> 32);
  data->nFileSizeLow = DWORD(size);
  orlik_wcscpy_bounded(data->cFileName, MAX_PATH, std::u16string(name).c_str());
}

// A directory search: the matching entries, taken when the search starts.
class FindSearch final : public KernelObject {
 public:
  std::vector<WIN32_FIND_DATAW> entries;
  size_t next = 0;
};


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
  if (!file) return Fail(ERROR_INVALID_HANDLE);
  if (toRead && !buffer) return Fail(ERROR_INVALID_PARAMETER);
  size_t done = 0;
  while (done < toRead) {
    ssize_t n = ::read(file->fd(), static_cast<char*>(buffer) + done, toRead - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Fail(ErrorFromErrno(errno));
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
  if (!file) return Fail(ERROR_INVALID_HANDLE);
  if (toWrite && !buffer) return Fail(ERROR_INVALID_PARAMETER);
  size_t done = 0;
  while (done < toWrite) {
    ssize_t n = ::write(file->fd(), static_cast<const char*>(buffer) + done, toWrite - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      if (written) *written = DWORD(done);
      return Fail(ErrorFromErrno(errno));
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
  if (!file) return Fail(ERROR_INVALID_HANDLE);
  return fsync(file->fd()) == 0 ? TRUE : Fail(ErrorFromErrno(errno));
}

BOOL DeleteFileW(LPCWSTR name) {
  if (!name) return Fail(ERROR_INVALID_PARAMETER);
  std::string path = HostPath(View(name));
  struct stat st;
  if (stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return Fail(ERROR_ACCESS_DENIED);
  return unlink(path.c_str()) == 0 ? TRUE : Fail(ErrorFromErrno(errno));
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
  if (!name) return Fail(ERROR_INVALID_PARAMETER);
  if (mkdir(HostPath(View(name)).c_str(), 0755) == 0) return TRUE;
  return Fail(errno == EEXIST ? ERROR_ALREADY_EXISTS : ErrorFromErrno(errno));
}

HANDLE FindFirstFileW(LPCWSTR fileName, LPWIN32_FIND_DATAW findData) {
  if (!fileName || !findData) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return INVALID_HANDLE_VALUE;
  }
  auto path = View(fileName);
  size_t cut = path.find_last_of(u"\\/");
  std::u16string_view folder = cut == std::u16string_view::npos ? std::u16string_view() : path.substr(0, cut);
  std::u16string_view pattern = cut == std::u16string_view::npos ? path : path.substr(cut + 1);
  auto search = std::make_shared<FindSearch>();
  struct stat st;
  if (pattern.empty()) {
    // "folder\": the folder itself, as a probe that it exists.
    std::string host = HostPath(folder);
    if (folder.empty() || stat(host.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
      SetLastError(ERROR_PATH_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    size_t c = folder.find_last_of(u"\\/");
    WIN32_FIND_DATAW data;
    FillFindData(host, c == std::u16string_view::npos ? folder : folder.substr(c + 1), st, &data);
    search->entries.push_back(data);
  } else if (pattern.find_first_of(u"*?") == std::u16string_view::npos) {
    // One name: found through the path, without listing the folder.
    std::string host = HostPath(path);
    if (stat(host.c_str(), &st) != 0) {
      SetLastError(stat(HostPath(folder).c_str(), &st) == 0 ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    size_t slash = host.rfind('/');
    WIN32_FIND_DATAW data;
    FillFindData(host, FromUtf8(host.substr(slash + 1)), st, &data);
    search->entries.push_back(data);
  } else {
    std::string dirPath = HostPath(folder);
    DIR* dir = opendir(dirPath.c_str());
    if (!dir) {
      SetLastError(ERROR_PATH_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    while (dirent* e = readdir(dir)) {
      std::string hostName = e->d_name;
      if (hostName == "." || hostName == "..") continue;
      std::u16string name = FromUtf8(hostName);
      if (!WildcardMatch(pattern, name, LetterCase::kIgnoreAscii)) continue;
      std::string entryPath = dirPath + "/" + hostName;
      if (stat(entryPath.c_str(), &st) != 0) continue;  // dangling link
      WIN32_FIND_DATAW data;
      FillFindData(entryPath, name, st, &data);
      search->entries.push_back(data);
    }
    closedir(dir);
    std::sort(search->entries.begin(), search->entries.end(),
              [](const WIN32_FIND_DATAW& a, const WIN32_FIND_DATAW& b) {
                int c = orlik_wcsicmp(a.cFileName, b.cFileName);
                if (c != 0) return c < 0;
                return std::u16string_view(a.cFileName) < std::u16string_view(b.cFileName);
              });
    if (search->entries.empty()) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
  }
  *findData = search->entries[0];
  search->next = 1;
  SetLastError(ERROR_SUCCESS);
  return InsertHandle(search);
}

BOOL FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW findData) {
  auto search = LookupHandleAs<FindSearch>(find);
  if (!search) return Fail(ERROR_INVALID_HANDLE);
  if (!findData) return Fail(ERROR_INVALID_PARAMETER);
  if (search->next >= search->entries.size()) return Fail(ERROR_NO_MORE_FILES);
  *findData = search->entries[search->next++];
  return TRUE;
}

BOOL FindClose(HANDLE find) {
  if (!LookupHandleAs<FindSearch>(find)) return Fail(ERROR_INVALID_HANDLE);
  RemoveHandle(find);
  return TRUE;
}

BOOL CopyFileW(LPCWSTR existingFileName, LPCWSTR newFileName, BOOL failIfExists) {
  if (!existingFileName || !newFileName) return Fail(ERROR_INVALID_PARAMETER);
  std::string from = HostPath(View(existingFileName));
  std::string to = HostPath(View(newFileName));
  struct stat st, tst;
  if (stat(from.c_str(), &st) != 0) return Fail(ErrorFromErrno(errno));
  if (!S_ISREG(st.st_mode)) return Fail(ERROR_ACCESS_DENIED);
  bool targetExists = stat(to.c_str(), &tst) == 0;
  if (targetExists && !S_ISREG(tst.st_mode)) return Fail(ERROR_ACCESS_DENIED);
  if (targetExists && failIfExists) return Fail(ERROR_FILE_EXISTS);
  if (targetExists && tst.st_dev == st.st_dev && tst.st_ino == st.st_ino)
    return Fail(ERROR_SHARING_VIOLATION);
  int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return Fail(ErrorFromErrno(errno));

  auto slash = to.rfind('/');
  std::string folder = slash == std::string::npos ? "." : to.substr(0, slash);
  std::string base = slash == std::string::npos ? to : to.substr(slash + 1);
  std::string temp = folder + "/." + base + ".copy-XXXXXX";
  int out = mkostemp(temp.data(), O_CLOEXEC);
  if (out < 0) {
    DWORD error = ErrorFromErrno(errno);
    close(in);
    return Fail(error == ERROR_FILE_NOT_FOUND ? ERROR_PATH_NOT_FOUND : error);
  }
  DWORD error = ERROR_SUCCESS;
  std::vector<char> buffer(1 << 16);
  for (;;) {
    ssize_t n = read(in, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = ERROR_READ_FAULT;
      break;
    }
    if (n == 0) break;
    for (ssize_t done = 0; done < n;) {
      ssize_t w = write(out, buffer.data() + done, size_t(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w < 0) {
        error = errno == ENOSPC ? ERROR_WRITE_FAULT : ErrorFromErrno(errno);
        break;
      }
      done += w;
    }
    if (error != ERROR_SUCCESS) break;
  }
  close(in);
  if (error == ERROR_SUCCESS) fchmod(out, st.st_mode & 07777);
  if (error == ERROR_SUCCESS && fsync(out) != 0) error = ERROR_WRITE_FAULT;
  if (close(out) != 0 && error == ERROR_SUCCESS) error = ERROR_WRITE_FAULT;
  if (error == ERROR_SUCCESS) {
    // With fail-if-exists, link() refuses an existing target; otherwise
    // rename() replaces it in one step.
    int r = failIfExists ? link(temp.c_str(), to.c_str()) : rename(temp.c_str(), to.c_str());
    if (r != 0) error = errno == EEXIST ? ERROR_FILE_EXISTS : ErrorFromErrno(errno);
  }
  if (error != ERROR_SUCCESS || failIfExists) unlink(temp.c_str());
  if (error != ERROR_SUCCESS) return Fail(error);
  // Make the rename itself durable.
  int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL GetDiskFreeSpaceExW(LPCWSTR directoryName, ULARGE_INTEGER* freeBytesAvailableToCaller,
                         ULARGE_INTEGER* totalNumberOfBytes, ULARGE_INTEGER* totalNumberOfFreeBytes) {
  std::string path = HostPath(View(directoryName));
  struct statvfs vfs;
  if (statvfs(path.c_str(), &vfs) != 0) return Fail(ErrorFromErrno(errno));
  if (freeBytesAvailableToCaller) freeBytesAvailableToCaller->QuadPart = uint64_t(vfs.f_bavail) * vfs.f_frsize;
  if (totalNumberOfBytes) totalNumberOfBytes->QuadPart = uint64_t(vfs.f_blocks) * vfs.f_frsize;
  if (totalNumberOfFreeBytes) totalNumberOfFreeBytes->QuadPart = uint64_t(vfs.f_bfree) * vfs.f_frsize;
  return TRUE;
}

}  // extern "C"
