// Files under the device root and the devices of the device table, behind
// CreateFileW and the handle table.
#include <orlik/files.h>
#include <orlik/kernel.h>
#include <orlik/text.h>

#include "board/storage.h"
#include "core/devices.h"
#include "core/filetime.h"
#include "core/hot_path.h"
#include "core/last_error.h"
#include "core/names.h"
#include "core/paths.h"
#include "core/search_handle.h"

#include <dirent.h>
#include <fcntl.h>
#include <sanitizer/asan_interface.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <type_traits>
#include <typeinfo>
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
    case ENOSPC: return ERROR_DISK_FULL;
    case EXDEV: return ERROR_NOT_SAME_DEVICE;
    default: return ERROR_GEN_FAILURE;
  }
}

class File final : public KernelObject {
 public:
  File(int fd, std::string_view path, bool regular) : fd_(fd), regular_(regular) {
    // Most paths fit beside the object, in the allocation it lives in.
    if (path.size() < sizeof shortPath_) {
      shortLength_ = uint16_t(path.copy(shortPath_, path.size()));
    } else {
      longPath_ = path;
    }
  }
  ~File() override {
    if (fd_ >= 0) close(fd_);
  }
  int fd() const { return fd_; }
  // The host path it was opened by, for the board's storage faults.
  std::string_view path() const {
    return longPath_.empty() ? std::string_view(shortPath_, shortLength_) : std::string_view(longPath_);
  }
  // A regular file ends where a read comes back short.
  bool regular() const { return regular_; }

 private:
  int fd_;
  bool regular_;
  uint16_t shortLength_ = 0;
  char shortPath_[240];
  std::string longPath_;
};

// Memory for objects of one size that come and go all the time (a file is
// opened and closed for every read of it): each thread keeps a few freed
// blocks for its next objects instead of going through the heap each time.
// A kept block is poisoned for the address sanitizer, so a use after close is
// still caught.
template <size_t kSize>
class Shelf {
 public:
  ~Shelf() {
    while (count_ > 0) ::operator delete(Take());
    gone_ = true;  // objects freed later in the thread's end go to the heap
  }
  void* Take() {
    if (count_ == 0 || gone_) return nullptr;
    void* block = blocks_[--count_];
    ASAN_UNPOISON_MEMORY_REGION(block, kSize);
    return block;
  }
  bool Keep(void* block) {
    if (count_ == kBlocks || gone_) return false;
    ASAN_POISON_MEMORY_REGION(block, kSize);
    blocks_[count_++] = block;
    return true;
  }
  static Shelf& OfThisThread() {
    __attribute__((tls_model("initial-exec"))) thread_local Shelf shelf;
    return shelf;
  }

 private:
  static constexpr size_t kBlocks = 8;
  void* blocks_[kBlocks];
  size_t count_ = 0;
  bool gone_ = false;
};

// An allocator that takes single objects from this thread's shelf.
template <class T>
struct Recycling {
  static_assert(alignof(T) <= __STDCPP_DEFAULT_NEW_ALIGNMENT__);
  using value_type = T;
  Recycling() = default;
  template <class U>
  Recycling(const Recycling<U>&) {}
  T* allocate(size_t n) {
    if (n == 1)
      if (void* block = Shelf<sizeof(T)>::OfThisThread().Take()) return static_cast<T*>(block);
    return static_cast<T*>(::operator new(n * sizeof(T)));
  }
  void deallocate(T* p, size_t n) {
    if (n == 1 && Shelf<sizeof(T)>::OfThisThread().Keep(p)) return;
    ::operator delete(p);
  }
  template <class U>
  bool operator==(const Recycling<U>&) const {
    return true;
  }
};

// The object as the final class T, or null. Comparing the object's exact
// type answers what a cast would, without walking class trees on every read,
// write and search step. T is a class of this file's own, so it has one
// type_info object: its address tells it, without reading the object.
template <class T>
T* Exactly(KernelObject* object) {
  static_assert(std::is_final_v<T>);
  return object && &typeid(*object) == &typeid(T) ? static_cast<T*>(object) : nullptr;
}

// A file without its owner's write permission that this process cannot write
// either is write-protected.
bool IsReadOnly(const std::string& hostPath, const struct stat& st) {
  return !(st.st_mode & S_IWUSR) && access(hostPath.c_str(), W_OK) != 0;
}

// What a directory search delivers of one entry, taken when the search
// starts. Its name lies in the search's run of names.
struct FoundEntry {
  uint32_t nameAt, nameLength;
  DWORD attributes;
  FILETIME created, accessed, written;
  uint64_t size;
};

void FillFindData(const FoundEntry& entry, std::u16string_view name, WIN32_FIND_DATAW* data) {
  *data = WIN32_FIND_DATAW{};
  data->dwFileAttributes = entry.attributes;
  data->ftCreationTime = entry.created;
  data->ftLastAccessTime = entry.accessed;
  data->ftLastWriteTime = entry.written;
  data->nFileSizeHigh = DWORD(entry.size >> 32);
  data->nFileSizeLow = DWORD(entry.size);
  size_t units = std::min(name.size(), size_t(MAX_PATH - 1));
  std::copy_n(name.data(), units, data->cFileName);
  data->cFileName[units] = 0;
}

// Names one after another. The room grows by doubling and is written in
// place, so a name costs about a store per unit.
class NameRun {
 public:
  size_t size() const { return used_; }
  std::u16string_view From(size_t at, size_t length) const { return {units_.get() + at, length}; }
  // Room for n more units; Take(n) keeps what was written there. Growing
  // moves only the units in use and clears nothing.
  char16_t* Room(size_t n) {
    if (capacity_ < used_ + n) {
      capacity_ = std::max(2 * capacity_, used_ + n + 1024);
      auto grown = std::make_unique_for_overwrite<char16_t[]>(capacity_);
      if (used_) std::memcpy(grown.get(), units_.get(), used_ * sizeof(char16_t));
      units_ = std::move(grown);
    }
    return units_.get() + used_;
  }
  void Take(size_t n) { used_ += n; }
  void Append(std::u16string_view text) {
    std::copy(text.begin(), text.end(), Room(text.size()));
    Take(text.size());
  }
  void CutTo(size_t at) { used_ = at; }

 private:
  std::unique_ptr<char16_t[]> units_;
  size_t used_ = 0, capacity_ = 0;
};

// Name order, ignoring ASCII case first, then by code unit.
bool NameBefore(std::u16string_view x, std::u16string_view y) {
  size_t n = std::min(x.size(), y.size());
  for (size_t i = 0; i < n; ++i) {
    if (x[i] == y[i]) continue;
    char16_t a = LowerAscii(x[i]), b = LowerAscii(y[i]);
    if (a != b) return a < b;
  }
  if (x.size() != y.size()) return x.size() < y.size();
  return x < y;
}

// A short ASCII name, lowered and packed into two words so that comparing
// the words orders names as NameBefore does: zero fill sorts a name before
// any longer one it begins. Longer or other names are not `whole` and take
// NameBefore.
struct NameKey {
  uint64_t high = 0, low = 0;
  bool whole = false;
};

constexpr uint64_t kEveryByte = 0x0101010101010101;

// Up to eight bytes as one word, the first in the lowest byte, without
// reading past the count: host names end where their entry ends.
uint64_t LoadUpTo8(const char* bytes, size_t count) {
  uint64_t word = 0;
  if (count >= 8) {
    std::memcpy(&word, bytes, 8);
  } else if (count >= 4) {
    uint32_t head, tail;  // overlapping where count < 8
    std::memcpy(&head, bytes, 4);
    std::memcpy(&tail, bytes + count - 4, 4);
    word = head | uint64_t(tail) << (8 * (count - 4));
  } else if (count > 0) {
    word = uint64_t(uint8_t(bytes[0])) | uint64_t(uint8_t(bytes[count / 2])) << (8 * (count / 2)) |
           uint64_t(uint8_t(bytes[count - 1])) << (8 * (count - 1));
  }
  return word;
}

// The key word of up to eight ASCII bytes: lowered, the first byte highest.
uint64_t KeyWord(uint64_t ascii) {
  // A byte has its high bit set after adding 0x80 - 'A' when it is 'A' or
  // above, and after adding 0x80 - 'Z' - 1 when it is above 'Z'; ASCII bytes
  // carry into no neighbour.
  uint64_t fromA = ascii + (0x80 - 'A') * kEveryByte;
  uint64_t pastZ = ascii + (0x80 - 'Z' - 1) * kEveryByte;
  uint64_t upper = fromA & ~pastZ & 0x80 * kEveryByte;
  return __builtin_bswap64(ascii | upper >> 2);
}

// Eight bytes of a word written as eight units.
void Widen8(uint64_t word, char16_t* out) {
#if defined(__SSE2__)
  __m128i bytes = _mm_cvtsi64_si128(int64_t(word));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_unpacklo_epi8(bytes, _mm_setzero_si128()));
#else
  for (int i = 0; i < 8; ++i) out[i] = char16_t(uint8_t(word >> (8 * i)));
#endif
}

// A host name appended to a run of names, and its sort key. ASCII, the usual
// case, goes over eight bytes at a time; the last step writes up to seven
// units past the name, into room the run keeps for it.
ORLIK_HOT_PATH NameKey AppendName(NameRun* run, std::string_view name) {
  const size_t n = name.size();
  char16_t* out = run->Room(n + 8);
  uint64_t all = 0, first = 0, second = 0;
  for (size_t i = 0; i < n; i += 8) {
    uint64_t word = LoadUpTo8(name.data() + i, n - i);
    all |= word;
    if (i == 0) first = word;
    if (i == 8) second = word;
    Widen8(word, out + i);
  }
  if (all & 0x80 * kEveryByte) {
    run->Append(FromUtf8(name));
    return {};
  }
  run->Take(n);
  // A host name holds no NUL, so zero fill ends it.
  if (n > 16) return {};
  return {KeyWord(first), KeyWord(second), true};
}

// CopyFileW writes beside its target under ".<name>.copy-XXXXXX".
std::string CopyPrefix(const std::string& base) { return "." + base + ".copy-"; }

// Removes the temporaries that copies to folder/base left when they died
// (killed, power lost): a live copy holds a lock on its temporary.
void RemoveStaleCopies(const std::string& folder, const std::string& base) {
  std::string prefix = CopyPrefix(base);
  DIR* dir = opendir(folder.c_str());
  if (!dir) return;
  while (dirent* e = readdir(dir)) {
    std::string_view name = e->d_name;
    if (name.size() != prefix.size() + 6 || name.compare(0, prefix.size(), prefix) != 0) continue;
    int fd = openat(dirfd(dir), e->d_name, O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) continue;
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) unlinkat(dirfd(dir), e->d_name, 0);
    close(fd);
  }
  closedir(dir);
}

bool FolderExists(const std::string& hostPath) {
  struct stat st;
  return stat(hostPath.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Makes renames in a folder durable.
void SyncFolder(const std::string& folder) {
  int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
}

// A directory search: the matching entries, taken when the search starts, in
// the order they are delivered; each becomes a WIN32_FIND_DATAW as it goes out.
// Their names lie in one run, which saves a string of its own per entry.
class FindSearch final : public SearchHandle {
 public:
  NameRun names;
  std::vector<FoundEntry> entries;
  std::vector<NameKey> keys;  // entry by entry, until sorted
  size_t next = 0;

  std::u16string_view NameOf(const FoundEntry& entry) const { return names.From(entry.nameAt, entry.nameLength); }
  // The name last appended to names, from where it begins.
  std::u16string_view NameFrom(size_t at) const { return names.From(at, names.size() - at); }

  // Takes the entry whose name was appended to names from `at` on.
  ORLIK_HOT_PATH void Add(size_t at, const struct stat& st, bool readOnly, NameKey key = {}) {
    std::u16string_view name = NameFrom(at);
    DWORD attributes = S_ISDIR(st.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_ARCHIVE;
    if (readOnly) attributes |= FILE_ATTRIBUTE_READONLY;
    if (!name.empty() && name[0] == u'.') attributes |= FILE_ATTRIBUTE_HIDDEN;
    uint64_t size = S_ISDIR(st.st_mode) ? 0 : uint64_t(st.st_size);
    entries.push_back({uint32_t(at), uint32_t(name.size()), attributes, FileTimeFrom(st.st_ctim),
                       FileTimeFrom(st.st_atim), FileTimeFrom(st.st_mtim), size});
    keys.push_back(key);
  }

  // Takes the entries of an open folder that match the pattern.
  void TakeFolder(DIR* dir, const std::string& dirPath, std::u16string_view pattern);

  // Puts the entries in name order.
  void Sort();
};

ORLIK_HOT_PATH void FindSearch::TakeFolder(DIR* dir, const std::string& dirPath, std::u16string_view pattern) {
  const bool everyName = pattern == u"*" || pattern == u"*.*";
  struct stat st;
  while (dirent* e = readdir(dir)) {
    std::string_view hostName = e->d_name;
    if (hostName == "." || hostName == "..") continue;
    size_t at = names.size();
    NameKey key = AppendName(&names, hostName);
    if (!(everyName || FileNameMatch(pattern, NameFrom(at), LetterCase::kIgnoreAscii)) ||
        fstatat(dirfd(dir), e->d_name, &st, 0) != 0) {  // no match, or a dangling link
      names.CutTo(at);
      continue;
    }
    bool readOnly = !(st.st_mode & S_IWUSR) && IsReadOnly(dirPath + "/" + e->d_name, st);
    Add(at, st, readOnly, key);
  }
}

void FindSearch::Sort() {
  // Short ASCII names, the usual case, compare by their packed keys, which
  // sort by value together with the entry's position.
  struct Key {
    NameKey key;
    uint32_t index;
  };
  std::vector<Key> order(entries.size());
  for (uint32_t k = 0; k < order.size(); ++k) order[k] = {keys[k], k};
  std::sort(order.begin(), order.end(), [&](const Key& a, const Key& b) {
    if (a.key.whole && b.key.whole) {
      if (a.key.high != b.key.high) return a.key.high < b.key.high;
      if (a.key.low != b.key.low) return a.key.low < b.key.low;
      return NameOf(entries[a.index]) < NameOf(entries[b.index]);
    }
    return NameBefore(NameOf(entries[a.index]), NameOf(entries[b.index]));
  });
  std::vector<FoundEntry> sorted;
  sorted.reserve(order.size());
  for (const Key& k : order) sorted.push_back(entries[k.index]);
  entries = std::move(sorted);
  keys = {};
}

ORLIK_HOT_PATH void Deliver(FindSearch& search, WIN32_FIND_DATAW* data) {
  const FoundEntry& entry = search.entries[search.next++];
  FillFindData(entry, search.NameOf(entry), data);
}

// Opens a file whose path is resolved name by name: to create or write it,
// or named in another case than it is stored in. Kept out of line, off the
// pages of the read path.
__attribute__((noinline)) HANDLE OpenResolving(std::u16string_view view, DWORD access, int flags, DWORD creation) {
  struct stat st;
  std::string path;
  bool existed = StatHostPath(view, &path, &st);
  if (existed && S_ISDIR(st.st_mode)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return INVALID_HANDLE_VALUE;
  }
  if ((access & GENERIC_WRITE) || (flags & (O_CREAT | O_TRUNC))) {
    if (int e = board::StorageFault(board::kFileCreate, path)) {
      SetLastError(ErrorFromErrno(e));
      return INVALID_HANDLE_VALUE;
    }
  }
  int fd = open(path.c_str(), flags, 0644);
  if (fd < 0) {
    int e = errno;
    DWORD error = e == EEXIST ? ERROR_FILE_EXISTS : ErrorFromErrno(e);
    // As on the panel: a missing folder on the way is another error than a
    // missing file.
    if (e == ENOENT && !FolderExists(path.substr(0, path.rfind('/')))) error = ERROR_PATH_NOT_FOUND;
    SetLastError(error);
    return INVALID_HANDLE_VALUE;
  }
  // As on the panel: opening with CREATE_ALWAYS or OPEN_ALWAYS over an existing
  // file succeeds and reports ERROR_ALREADY_EXISTS.
  SetLastError((existed && (creation == CREATE_ALWAYS || creation == OPEN_ALWAYS))
                   ? ERROR_ALREADY_EXISTS
                   : ERROR_SUCCESS);
  return InsertHandle(std::allocate_shared<File>(Recycling<File>(), fd, path, !existed || S_ISREG(st.st_mode)));
}

// A read or write on a handle that is no file: a device's, which moves the
// bytes itself; any other handle is refused.
template <class Object, class Move>
BOOL OnDevice(Object* object, LPDWORD count, Move move) {
  auto* device = dynamic_cast<Device*>(object);
  if (!device) return Fail(ERROR_INVALID_HANDLE);
  DWORD n = 0;
  BOOL ok = move(*device, &n);
  if (count) *count = n;
  return ok;
}

}  // namespace
}  // namespace orlik

using namespace orlik;

extern "C" {

ORLIK_HOT_PATH HANDLE CreateFileW(LPCWSTR name, DWORD access, DWORD share, LPSECURITY_ATTRIBUTES,
                                  DWORD creation, DWORD, HANDLE) {
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
  if (creation == OPEN_EXISTING && !(access & GENERIC_WRITE)) {
    // Reading a file named as it is stored: one open(), no path resolution.
    // The buffer holds usual paths; a longer one is resolved the general way.
    char direct[512];
    size_t length = DirectHostPath(view, direct, sizeof direct);
    int fd = length ? open(direct, flags) : -1;
    if (fd >= 0) {
      // A folder opens on the host but is no file to read.
      struct stat st;
      if (fstat(fd, &st) != 0) st.st_mode = 0;
      if (S_ISDIR(st.st_mode)) {
        close(fd);
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
      }
      SetLastError(ERROR_SUCCESS);
      return InsertHandle(
          std::allocate_shared<File>(Recycling<File>(), fd, std::string_view(direct, length), S_ISREG(st.st_mode)));
    }
  }
  return OpenResolving(view, access, flags, creation);
}

ORLIK_HOT_PATH BOOL ReadFile(HANDLE handle, LPVOID buffer, DWORD toRead, LPDWORD read, LPOVERLAPPED) {
  if (read) *read = 0;
  auto object = LookupHandle(handle);
  File* file = Exactly<File>(object.get());
  if (!file)
    return OnDevice(object.get(), read, [&](Device& d, DWORD* n) { return d.Read(buffer, toRead, n); });
  if (toRead && !buffer) return Fail(ERROR_INVALID_PARAMETER);
  if (toRead)
    if (int e = board::StorageFault(board::kFileRead, file->path())) return Fail(ErrorFromErrno(e));
  // Linux moves at most this much in one read.
  constexpr size_t kMaxReadChunk = 0x7FFFF000;
  size_t done = 0;
  while (done < toRead) {
    size_t want = toRead - done;
    ssize_t n = ::read(file->fd(), static_cast<char*>(buffer) + done, want);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Fail(ErrorFromErrno(errno));
    if (n == 0) break;
    done += size_t(n);
    // A short read of a regular file is its end; asking again would only
    // confirm it.
    if (file->regular() && size_t(n) < std::min(want, kMaxReadChunk)) break;
  }
  if (read) *read = DWORD(done);
  return TRUE;
}

ORLIK_HOT_PATH BOOL WriteFile(HANDLE handle, LPCVOID buffer, DWORD toWrite, LPDWORD written, LPOVERLAPPED) {
  if (written) *written = 0;
  auto object = LookupHandle(handle);
  File* file = Exactly<File>(object.get());
  if (!file)
    return OnDevice(object.get(), written, [&](Device& d, DWORD* n) { return d.Write(buffer, toWrite, n); });
  if (toWrite && !buffer) return Fail(ERROR_INVALID_PARAMETER);
  if (toWrite)
    if (int e = board::StorageFault(board::kFileWrite, file->path())) return Fail(ErrorFromErrno(e));
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
  std::string path;
  struct stat st;
  if (StatHostPath(View(name), &path, &st) && S_ISDIR(st.st_mode)) return Fail(ERROR_ACCESS_DENIED);
  return unlink(path.c_str()) == 0 ? TRUE : Fail(ErrorFromErrno(errno));
}

DWORD GetFileAttributesW(LPCWSTR name) {
  std::string path;
  struct stat st;
  if (!name || !StatHostPath(View(name), &path, &st)) {
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
    std::string host;
    if (folder.empty() || !StatHostPath(folder, &host, &st) || !S_ISDIR(st.st_mode)) {
      SetLastError(ERROR_PATH_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    size_t c = folder.find_last_of(u"\\/");
    std::u16string_view name = c == std::u16string_view::npos ? folder : folder.substr(c + 1);
    search->names.Append(name);
    search->Add(0, st, IsReadOnly(host, st));
  } else if (pattern.find_first_of(u"*?") == std::u16string_view::npos) {
    // One name: found through the path, without listing the folder.
    std::string host;
    if (!StatHostPath(path, &host, &st)) {
      SetLastError(stat(HostPath(folder).c_str(), &st) == 0 ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    AppendName(&search->names, std::string_view(host).substr(host.rfind('/') + 1));
    search->Add(0, st, IsReadOnly(host, st));
  } else {
    std::string dirPath = HostPath(folder);
    DIR* dir = opendir(dirPath.c_str());
    if (!dir) {
      SetLastError(ERROR_PATH_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    search->TakeFolder(dir, dirPath, pattern);
    closedir(dir);
    if (search->entries.empty()) {
      SetLastError(ERROR_FILE_NOT_FOUND);
      return INVALID_HANDLE_VALUE;
    }
    search->Sort();
  }
  Deliver(*search, findData);
  SetLastError(ERROR_SUCCESS);
  return InsertHandle(search);
}

ORLIK_HOT_PATH BOOL FindNextFileW(HANDLE find, LPWIN32_FIND_DATAW findData) {
  auto object = LookupHandle(find);
  auto* search = Exactly<FindSearch>(object.get());
  if (!search) return Fail(ERROR_INVALID_HANDLE);
  if (!findData) return Fail(ERROR_INVALID_PARAMETER);
  if (search->next >= search->entries.size()) return Fail(ERROR_NO_MORE_FILES);
  Deliver(*search, findData);
  return TRUE;
}

ORLIK_HOT_PATH BOOL FindClose(HANDLE find) {
  if (!LookupHandleAs<SearchHandle>(find)) return Fail(ERROR_INVALID_HANDLE);
  RemoveHandle(find);
  return TRUE;
}

BOOL CopyFileW(LPCWSTR existingFileName, LPCWSTR newFileName, BOOL failIfExists) {
  if (!existingFileName || !newFileName) return Fail(ERROR_INVALID_PARAMETER);
  std::string from, to;
  struct stat st, tst;
  // When it is missing, stat says why (no such file, or no such folder).
  if (!StatHostPath(View(existingFileName), &from, &st) && stat(from.c_str(), &st) != 0)
    return Fail(ErrorFromErrno(errno));
  if (!S_ISREG(st.st_mode)) return Fail(ERROR_ACCESS_DENIED);
  bool targetExists = StatHostPath(View(newFileName), &to, &tst);
  if (targetExists && !S_ISREG(tst.st_mode)) return Fail(ERROR_ACCESS_DENIED);
  if (targetExists && failIfExists) return Fail(ERROR_FILE_EXISTS);
  if (targetExists && tst.st_dev == st.st_dev && tst.st_ino == st.st_ino)
    return Fail(ERROR_SHARING_VIOLATION);
  int in = open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return Fail(ErrorFromErrno(errno));

  auto slash = to.rfind('/');
  std::string folder = slash == std::string::npos ? "." : to.substr(0, slash);
  std::string base = slash == std::string::npos ? to : to.substr(slash + 1);
  RemoveStaleCopies(folder, base);
  std::string temp = folder + "/" + CopyPrefix(base) + "XXXXXX";
  int out = -1;
  DWORD error = ERROR_SUCCESS;
  if (int e = board::StorageFault(board::kFileCreate, to)) {
    error = ErrorFromErrno(e);
  } else {
    out = mkostemp(temp.data(), O_CLOEXEC);
    if (out < 0) {
      error = ErrorFromErrno(errno);
      if (error == ERROR_FILE_NOT_FOUND) error = ERROR_PATH_NOT_FOUND;
    } else {
      // Held while the copy is written: a lock that can be taken marks a
      // temporary whose copy has died.
      flock(out, LOCK_EX);
    }
  }
  if (out < 0) {
    close(in);
    return Fail(error);
  }
  std::vector<char> buffer(1 << 16);
  for (;;) {
    if (int e = board::StorageFault(board::kFileRead, from)) {
      error = ErrorFromErrno(e);
      break;
    }
    ssize_t n = read(in, buffer.data(), buffer.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      error = ERROR_READ_FAULT;
      break;
    }
    if (n == 0) break;
    if (int e = board::StorageFault(board::kFileWrite, to)) {
      error = ErrorFromErrno(e);
      break;
    }
    for (ssize_t done = 0; done < n;) {
      ssize_t w = write(out, buffer.data() + done, size_t(n - done));
      if (w < 0 && errno == EINTR) continue;
      if (w < 0) {
        error = ErrorFromErrno(errno);
        break;
      }
      done += w;
    }
    if (error != ERROR_SUCCESS) break;
  }
  close(in);
  if (error == ERROR_SUCCESS) fchmod(out, st.st_mode & 07777);
  if (error == ERROR_SUCCESS && fsync(out) != 0) error = ErrorFromErrno(errno);
  if (error == ERROR_SUCCESS)
    if (int e = board::StorageFault(board::kFileRename, to)) error = ErrorFromErrno(e);
  if (error == ERROR_SUCCESS) {
    // With fail-if-exists, link() refuses an existing target; otherwise
    // rename() replaces it in one step.
    int r = failIfExists ? link(temp.c_str(), to.c_str()) : rename(temp.c_str(), to.c_str());
    if (r != 0) error = errno == EEXIST ? ERROR_FILE_EXISTS : ErrorFromErrno(errno);
  }
  if (error != ERROR_SUCCESS || failIfExists) unlink(temp.c_str());
  // Closed only now, so the lock marks the temporary as live until it is
  // gone; after fsync the close cannot lose data.
  close(out);
  if (error != ERROR_SUCCESS) return Fail(error);
  SyncFolder(folder);
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL MoveFileExW(LPCWSTR existingFileName, LPCWSTR newFileName, DWORD flags) {
  if (!existingFileName || !newFileName ||
      (flags & ~DWORD(MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED | MOVEFILE_WRITE_THROUGH)))
    return Fail(ERROR_INVALID_PARAMETER);
  std::string from, to;
  struct stat st, tst;
  if (!StatHostPath(View(existingFileName), &from, &st)) {
    std::string folder = from.substr(0, from.rfind('/'));
    return Fail(stat(folder.c_str(), &tst) == 0 ? ERROR_FILE_NOT_FOUND : ERROR_PATH_NOT_FOUND);
  }
  bool targetExists = StatHostPath(View(newFileName), &to, &tst);
  if (targetExists && tst.st_dev == st.st_dev && tst.st_ino == st.st_ino) {
    // The same file: a new spelling of its name (say, another case).
    std::u16string_view given = View(newFileName);
    size_t cut = given.find_last_of(u"\\/");
    std::string name = ToUtf8(cut == std::u16string_view::npos ? given : given.substr(cut + 1));
    to = to.substr(0, to.rfind('/') + 1) + name;
    if (to == from) return TRUE;
  } else if (targetExists) {
    if (!(flags & MOVEFILE_REPLACE_EXISTING)) return Fail(ERROR_ALREADY_EXISTS);
    // A folder is never replaced, nor a write-protected file.
    if (S_ISDIR(tst.st_mode) || S_ISDIR(st.st_mode) || !(tst.st_mode & S_IWUSR))
      return Fail(ERROR_ACCESS_DENIED);
  }
  if (int e = board::StorageFault(board::kFileRename, from)) return Fail(ErrorFromErrno(e));
  if (int e = board::StorageFault(board::kFileRename, to)) return Fail(ErrorFromErrno(e));
  if (rename(from.c_str(), to.c_str()) != 0) {
    int e = errno;
    if (e == EXDEV && (flags & MOVEFILE_COPY_ALLOWED) && S_ISREG(st.st_mode)) {
      // Another volume: a copy, then the original goes.
      if (!CopyFileW(existingFileName, newFileName, (flags & MOVEFILE_REPLACE_EXISTING) ? FALSE : TRUE))
        return FALSE;
      return DeleteFileW(existingFileName);
    }
    if (e == ENOENT) return Fail(ERROR_PATH_NOT_FOUND);  // the target's folder
    if (e == EINVAL) return Fail(ERROR_ACCESS_DENIED);   // a folder into itself
    return Fail(ErrorFromErrno(e));
  }
  if (flags & MOVEFILE_WRITE_THROUGH) {
    SyncFolder(to.substr(0, to.rfind('/')));
    SyncFolder(from.substr(0, from.rfind('/')));
  }
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

BOOL MoveFileW(LPCWSTR existingFileName, LPCWSTR newFileName) {
  return MoveFileExW(existingFileName, newFileName, MOVEFILE_COPY_ALLOWED);
}

UINT GetTempFileNameW(LPCWSTR pathName, LPCWSTR prefixString, UINT unique, LPWSTR tempFileName) {
  if (!pathName || !tempFileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::u16string base(View(pathName));
  if (!base.empty() && base.back() != u'\\' && base.back() != u'/') base += u'\\';
  base += View(prefixString).substr(0, 3);
  auto nameFor = [&](UINT number) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "%X", number);
    return base + FromUtf8(hex) + u".TMP";
  };
  auto deliver = [&](const std::u16string& name) {
    if (name.size() >= MAX_PATH) {
      SetLastError(ERROR_BUFFER_OVERFLOW);
      return false;
    }
    orlik_wcscpy_bounded(tempFileName, MAX_PATH, name.c_str());
    return true;
  };
  unique &= 0xFFFF;
  if (unique != 0) return deliver(nameFor(unique)) ? unique : 0;
  // A number from the clock, then the next free one; the file is created
  // empty so the name stays taken.
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  UINT first = UINT(uint64_t(now.tv_nsec) ^ uint64_t(now.tv_sec) ^ uint64_t(getpid())) & 0xFFFF;
  for (UINT i = 0; i < 0xFFFF; ++i) {
    UINT number = (first + i) % 0xFFFF + 1;
    std::u16string name = nameFor(number);
    if (name.size() >= MAX_PATH) {
      SetLastError(ERROR_BUFFER_OVERFLOW);
      return 0;
    }
    std::string host = HostPath(name);
    if (int e = board::StorageFault(board::kFileCreate, host)) {
      SetLastError(ErrorFromErrno(e));
      return 0;
    }
    int fd = open(host.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd >= 0) {
      close(fd);
      deliver(name);
      SetLastError(ERROR_SUCCESS);
      return number;
    }
    if (errno != EEXIST) {
      SetLastError(errno == ENOENT ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno));
      return 0;
    }
  }
  SetLastError(ERROR_FILE_EXISTS);
  return 0;
}

BOOL GetDiskFreeSpaceExW(LPCWSTR directoryName, ULARGE_INTEGER* freeBytesAvailableToCaller,
                         ULARGE_INTEGER* totalNumberOfBytes, ULARGE_INTEGER* totalNumberOfFreeBytes) {
  std::string path = HostPath(View(directoryName));
  if (int e = board::StorageFault(board::kFileFreeSpace, path)) return Fail(ErrorFromErrno(e));
  struct statvfs vfs;
  if (statvfs(path.c_str(), &vfs) != 0) return Fail(ErrorFromErrno(errno));
  uint64_t available = uint64_t(vfs.f_bavail) * vfs.f_frsize;
  uint64_t total = uint64_t(vfs.f_blocks) * vfs.f_frsize;
  uint64_t free = uint64_t(vfs.f_bfree) * vfs.f_frsize;
  if (auto set = board::StorageFree(path)) {
    available = free = *set;
    total = std::max(total, *set);
  }
  if (freeBytesAvailableToCaller) freeBytesAvailableToCaller->QuadPart = available;
  if (totalNumberOfBytes) totalNumberOfBytes->QuadPart = total;
  if (totalNumberOfFreeBytes) totalNumberOfFreeBytes->QuadPart = free;
  return TRUE;
}

}  // extern "C"
