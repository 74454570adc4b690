// The library's one PlayerState: the filter graph and its interfaces, the
// caller's window, the file last opened, and the flags the end-of-clip
// monitor shares with the caller.
#pragma once

#include <orlik/dshow.h>
#include <orlik/windows.h>
#include <tolvex/export.h>
#include <tolvex/melodra.h>
#include <tolvex/non_copyable.h>

#include <atomic>
#include <cstdint>
#include <vector>

namespace melodra {

// fileName holds at most 259 characters and the terminator.
inline constexpr size_t kFileNameCapacity = 260;

// DirectShow media time is counted in 100 ns units.
inline constexpr LONGLONG kUnitsPerSecond = 10000000;

// Full volume at the exports is 10000, IBasicAudio's full volume is 0 dB.
inline constexpr LONG kVolumeOffset = 10000;

class PlayerState : tolvex::NonCopyable {
 public:
  PlayerState();
  ~PlayerState();

  // Graph and lifetime (player.cpp).
  HRESULT BuildGraph();
  void ReleaseGraph();
  int32_t Initialization();
  int32_t SetPreviewWindowHandle(HWND window);
  int32_t ReleaseEx();

  // Opening a file (open.cpp).
  int32_t Open(const WCHAR* file);
  int32_t Open1(const WCHAR* file, int32_t width, int32_t height);

  // Playback and the end of the clip (playback.cpp).
  int32_t Play();
  int32_t Stop();
  int32_t Pause();
  int32_t IsComplete();

  // Position, volume and full screen (controls.cpp).
  int32_t GetCurrentPos();
  int32_t GetMaxPos();
  int32_t SetCurrentPos(uint32_t seconds);
  int32_t GetVolume();
  int32_t SetVolume(int32_t volume);
  int32_t ViewFullSizeMode(int32_t mode);

  // Runs an export's body under the player's lock. The monitor thread
  // reloads the clip from its own thread; the lock keeps that reload and the
  // caller's calls from overlapping. No failure escapes: an exception becomes
  // the result 0.
  template <class Body>
  int32_t Serialised(Body body) noexcept {
    EnterCriticalSection(&lock);
    int32_t result = 0;
    try {
      result = body();
    } catch (...) {
      result = 0;
    }
    LeaveCriticalSection(&lock);
    return result;
  }

 private:
  // Steps 1 to 3 shared by both opens: stop a running clip, a fresh graph,
  // the name kept for the reload. False when the name does not fit.
  bool BeginOpen(const WCHAR* file);
  HRESULT Render(const WCHAR* file, bool nameKept);
  void SizeOwnerWindow();
  int32_t PollEnd();
  void RewindByReload();
  void StartMonitor();
  void EndMonitors();
  static DWORD WINAPI MonitorThread(LPVOID parameter);

  IGraphBuilder* graph = nullptr;
  IVideoWindow* videoWindow = nullptr;
  IMediaControl* control = nullptr;
  IMediaSeeking* seeking = nullptr;
  IBasicAudio* audio = nullptr;
  IMediaEventEx* events = nullptr;
  int32_t videoWidth = 0;
  int32_t videoHeight = 0;
  HWND ownerWindow = nullptr;
  WCHAR fileName[kFileNameCapacity] = {};
  uint8_t playing = 0;
  uint8_t complete = 0;

  // Initialization has been called and ReleaseEx not since; before it the
  // opens do nothing (there is no graph to stop or render into).
  bool initialized = false;
  // This library's own entry into COM on the loading thread (or on the
  // thread of an Initialization after ReleaseEx), left once.
  bool comEntered = false;
  CRITICAL_SECTION lock;
  // Monitor threads still running or not yet collected; unloading ends and
  // waits for them, since their code goes with the library.
  std::vector<HANDLE> monitors;
};

// Set by an open, Stop and the end-of-clip reload, cleared by Play when it
// starts a MonitorThread; every MonitorThread ends when it finds it set. The
// monitors test it without the lock, so it is an atomic flag.
extern std::atomic<uint8_t> stopRequested;

extern PlayerState playerState;

// An export that is one of the player's methods, run under its lock:
// Serialised<&PlayerState::Play>().
template <auto Method, class... Args>
int32_t Serialised(Args... args) noexcept {
  return playerState.Serialised([=] { return (playerState.*Method)(args...); });
}

}  // namespace melodra
