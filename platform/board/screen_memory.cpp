#include "board/screen_memory.h"

#include <cairo.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

namespace orlik::board {
namespace {

constexpr uint32_t kMagic = 0x4E524353;  // "SCRN"
constexpr uint32_t kPixelOffset = 4096;  // the header has a page of its own

static_assert(std::atomic<uint64_t>::is_always_lock_free && std::atomic<int32_t>::is_always_lock_free,
              "the counters are shared between processes");
static_assert(sizeof(ScreenHeader) <= kPixelOffset);

size_t BytesFor(int width, int height) {
  return kPixelOffset + size_t(cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, width)) * size_t(height);
}

std::string Errno(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

// Closes a descriptor on every way out.
struct Fd {
  int fd = -1;
  ~Fd() {
    if (fd >= 0) close(fd);
  }
  int Take() {
    int f = fd;
    fd = -1;
    return f;
  }
};

// The header of an existing screen file, when it is one of ours and whole.
bool ReadHeader(int fd, int32_t* width, int32_t* height) {
  struct {
    uint32_t magic, pixelOffset;
    int32_t width, height, stride;
  } h{};  // the header's first fields
  struct stat st{};
  if (fstat(fd, &st) != 0 || pread(fd, &h, sizeof h, 0) != ssize_t(sizeof h)) return false;
  if (h.magic != kMagic || h.pixelOffset != kPixelOffset || h.width < 1 || h.height < 1 ||
      h.width > 8192 || h.height > 8192 || h.stride != cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, h.width))
    return false;
  if (size_t(st.st_size) != BytesFor(h.width, h.height)) return false;
  *width = h.width;
  *height = h.height;
  return true;
}

void* Map(int fd, size_t size) {
  void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
  return p == MAP_FAILED ? nullptr : p;
}

void InitHeader(void* base, int width, int height) {
  auto* h = new (base) ScreenHeader{};
  h->magic = kMagic;
  h->pixelOffset = kPixelOffset;
  h->width = width;
  h->height = height;
  h->stride = cairo_format_stride_for_width(CAIRO_FORMAT_RGB24, width);
}

}  // namespace

std::unique_ptr<ScreenMemory> ScreenMemory::Open(const std::string& root, int width, int height,
                                                 std::string* problem) {
  const size_t bytes = BytesFor(width, height);
  const std::string folder = root + "/.board", path = folder + "/screen";
  auto own = [&](std::string why) -> std::unique_ptr<ScreenMemory> {
    *problem = std::move(why);
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) return nullptr;
    InitHeader(p, width, height);
    return std::unique_ptr<ScreenMemory>(new ScreenMemory(p, bytes, -1, true, root));
  };

  mkdir(root.c_str(), 0755);
  mkdir(folder.c_str(), 0755);
  Fd opening{open((path + ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600)};
  if (opening.fd < 0) return own(Errno(folder.c_str()));
  while (flock(opening.fd, LOCK_EX) != 0) {
    if (errno != EINTR) return own(Errno("lock"));
  }

  // The live panel's screen: its file is held (shared-locked) by someone.
  Fd existing{open(path.c_str(), O_RDWR | O_CLOEXEC)};
  if (existing.fd >= 0 && flock(existing.fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
    int32_t w = 0, h = 0;
    if (ReadHeader(existing.fd, &w, &h) && flock(existing.fd, LOCK_SH) == 0) {
      size_t size = BytesFor(w, h);
      if (void* p = Map(existing.fd, size))
        return std::unique_ptr<ScreenMemory>(new ScreenMemory(p, size, existing.Take(), false, root));
    }
  }

  // A new screen. Made aside and renamed into place, so that a process still
  // mapping an old one keeps its pages.
  char temp[64];
  std::snprintf(temp, sizeof temp, "/screen.new-%d", int(getpid()));
  const std::string made = folder + temp;
  unlink(made.c_str());
  Fd fresh{open(made.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600)};
  if (fresh.fd < 0) return own(Errno(made.c_str()));
  // The storage is taken now: a full disk must not fault a later write.
  void* p = nullptr;
  int taken = ftruncate(fresh.fd, off_t(bytes)) == 0 ? posix_fallocate(fresh.fd, 0, off_t(bytes)) : errno;
  if (taken == 0 && !(p = Map(fresh.fd, bytes))) taken = errno;
  if (taken != 0) {
    unlink(made.c_str());
    return own(made + ": " + std::strerror(taken));
  }
  InitHeader(p, width, height);
  if (flock(fresh.fd, LOCK_SH) != 0 || rename(made.c_str(), path.c_str()) != 0) {
    std::string why = Errno(path.c_str());
    munmap(p, bytes);
    unlink(made.c_str());
    return own(why);
  }
  return std::unique_ptr<ScreenMemory>(new ScreenMemory(p, bytes, fresh.Take(), true, root));
}

ScreenMemory::~ScreenMemory() {
  munmap(base_, size_);
  if (holdFd_ >= 0) close(holdFd_);
}

std::string ScreenMemory::WindowLockPath() const {
  return shared() ? root_ + "/.board/screen.window" : std::string();
}

}  // namespace orlik::board
