#pragma once

#include <orlik/dshow.h>
#include <orlik/windows.h>
#include <tolvex/non_copyable.h>

#include <cstdint>

namespace ferrox {

// playPath holds a path of at most 259 units and the terminator.
inline constexpr size_t kPlayPathCapacity = 260;

// Sound playback through a filter graph, and the device's wave-output volume.
class SoundPlayer : tolvex::NonCopyable {
 public:
  SoundPlayer();
  virtual ~SoundPlayer();

  int32_t SetPlayFilePath(const WCHAR* path);
  int32_t Play_Sound();
  int32_t Stop_Sound();
  void Pause_Sound();
  int32_t Is_Play();
  int32_t GetVolume();
  void SetVolume(int32_t v);

 private:
  void BuildGraph();
  void ReleaseGraph();

  IGraphBuilder* graph = nullptr;
  IMediaControl* control = nullptr;
  IMediaEventEx* events = nullptr;  // held, not used
  IBasicAudio* audio = nullptr;     // held, not used
  IMediaSeeking* seeking = nullptr;
  WCHAR playPath[kPlayPathCapacity] = {};
  uint8_t graphReady = 0;
  uint8_t paused = 0;
  uint8_t playing = 0;
  CRITICAL_SECTION lock;
  uint32_t volume = 0;
  uint32_t savedVolume = 0;
  // Whether this object entered COM at load, so unloading leaves it once.
  bool comEntered = false;
};

}  // namespace ferrox
