// The panel's screen memory: one per device root, shared by every process of
// that panel, so that a program another one starts (the updater) draws on the
// same screen, and any process shows or saves what a person at the panel
// would see.
//
// It is the file "<root>/.board/screen" mapped shared: a header page, then
// the RGB24 pixels. A file in the device root rather than a named shared
// memory object: it goes with the root (a test's private root takes its
// screen with it), a process that is killed leaves nothing behind in the
// system, and the kernel's file locks say who holds it:
// - every process holding the screen keeps a shared lock on the file, which
//   the kernel drops when the process ends, however it ends;
// - opening takes "<root>/.board/screen.lock" exclusively, so that one opener
//   at a time decides whether the screen is to be made anew;
// - a screen nobody holds any more is made anew (a new file renamed over the
//   old one, so a stale mapping never sees its file shrink): black, counters
//   at 0, the size of the process that makes it.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

namespace orlik::board {

struct ScreenHeader {
  uint32_t magic;
  uint32_t pixelOffset;  // from the start of the file
  int32_t width, height, stride;
  uint32_t reserved;
  std::atomic<uint64_t> generation;  // raised at every present and clear
  std::atomic<int32_t> presents;     // since the last reset
  std::atomic<int32_t> shots;        // screenshots written, over the screen's life
};

class ScreenMemory {
 public:
  // The screen of the device root `root` (an absolute, canonical path): the
  // one its live processes share, or a new one of width x height when none is
  // held. When the root has no room for it (the folder cannot be made, the
  // file cannot be written or mapped) the screen is the process's own and
  // *problem says why.
  static std::unique_ptr<ScreenMemory> Open(const std::string& root, int width, int height,
                                            std::string* problem);
  ~ScreenMemory();
  ScreenMemory(const ScreenMemory&) = delete;
  ScreenMemory& operator=(const ScreenMemory&) = delete;

  ScreenHeader* header() const { return static_cast<ScreenHeader*>(base_); }
  uint8_t* pixels() const { return static_cast<uint8_t*>(base_) + header()->pixelOffset; }
  int width() const { return header()->width; }
  int height() const { return header()->height; }
  int stride() const { return header()->stride; }
  // Shared with the panel's other processes (not a private fallback).
  bool shared() const { return holdFd_ >= 0; }
  // This process made the screen (nobody held it).
  bool created() const { return created_; }
  const std::string& root() const { return root_; }
  // The file whose exclusive lock marks the process showing the screen in a
  // desktop window ("" for a private screen).
  std::string WindowLockPath() const;

 private:
  ScreenMemory(void* base, size_t size, int holdFd, bool created, std::string root)
      : base_(base), size_(size), holdFd_(holdFd), created_(created), root_(std::move(root)) {}
  void* base_;
  size_t size_;
  int holdFd_;  // the shared lock that says this process holds the screen
  bool created_;
  std::string root_;
};

}  // namespace orlik::board
