// Sound playback through the filter graph, and the device's wave-output
// volume: SetPlayFilePath, Play_Sound, Stop_Sound, Pause_Sound, Is_Play,
// GetVolume, SetVolume.
#include "frame.h"

namespace ferrox {

namespace {

// A path that does not fit playPath is refused whole (a shortened path names
// another file): ERROR_FILENAME_EXCED_RANGE as a COM status.
constexpr HRESULT kPathTooLong = HRESULT_FROM_WIN32(206);

template <class Interface>
void ReleaseField(Interface*& field) {
  if (!field) return;
  Interface* held = field;
  field = nullptr;
  held->Release();
}

}  // namespace

SoundPlayer::SoundPlayer() {
  // COM for the loading thread. Should that fail (the thread is already in
  // the other threading model), the rest is set up all the same, so every
  // export finds an initialised lock and a saved volume.
  comEntered = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
  graphReady = 0;
  paused = 0;
  playing = 0;
  InitializeCriticalSection(&lock);
  volume = 0;
  DWORD device = 0;
  waveOutGetVolume(nullptr, &device);
  savedVolume = device & 0xFFFFu;
}

SoundPlayer::~SoundPlayer() {
  DeleteCriticalSection(&lock);
  ReleaseGraph();
  if (comEntered) CoUninitialize();
  comEntered = false;
  // savedVolume is at most 0xFFFF: the whole word is the low half-word.
  volume = savedVolume;
  waveOutSetVolume(nullptr, volume);
}

void SoundPlayer::BuildGraph() {
  // What a build that failed part-way left behind is let go first, so no
  // interface is held twice.
  ReleaseGraph();
  if (FAILED(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC, IID_IGraphBuilder,
                              reinterpret_cast<void**>(&graph))) ||
      !graph)
    return;
  if (FAILED(graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control))))
    return;
  if (FAILED(graph->QueryInterface(IID_IBasicAudio, reinterpret_cast<void**>(&audio)))) return;
  if (FAILED(graph->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(&events))))
    return;
  if (FAILED(graph->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&seeking))))
    return;
  graphReady = 1;
}

void SoundPlayer::ReleaseGraph() {
  if (control) control->Stop();
  graphReady = 0;
  ReleaseField(seeking);
  ReleaseField(audio);
  ReleaseField(events);
  ReleaseField(control);
  ReleaseField(graph);
}

int32_t SoundPlayer::SetPlayFilePath(const WCHAR* path) {
  if (graphReady == 0) BuildGraph();
  if (!path) {
    playPath[0] = 0;
    return E_POINTER;
  }
  if (orlik_wcslen(path) >= kPlayPathCapacity) {
    playPath[0] = 0;
    return kPathTooLong;
  }
  orlik_wcscpy_bounded(playPath, kPlayPathCapacity, path);
  if (!graph) return CO_E_NOTINITIALIZED;  // no filter graph manager could be made
  return graph->RenderFile(playPath, nullptr);
}

int32_t SoundPlayer::Play_Sound() {
  EnterCriticalSection(&lock);
  // Not resuming: a sound still playing is stopped and its graph released,
  // so the file starts from its beginning.
  if (paused == 0) Stop_Sound();
  if (graphReady == 0) {
    WCHAR path[kPlayPathCapacity];
    orlik_wcscpy_bounded(path, kPlayPathCapacity, playPath);
    SetPlayFilePath(path);
  }
  paused = 0;
  playing = 1;
  HRESULT hr = control ? control->Run() : E_POINTER;
  LeaveCriticalSection(&lock);
  return SUCCEEDED(hr) ? 1 : 0;
}

int32_t SoundPlayer::Stop_Sound() {
  // Nothing playing, or no control to stop: nothing to fail, the answer is 1.
  HRESULT hr = S_OK;
  if (playing == 1) {
    if (control) hr = control->Stop();
    ReleaseGraph();
  }
  playing = 0;
  return SUCCEEDED(hr) ? 1 : 0;
}

void SoundPlayer::Pause_Sound() {
  paused = 1;
  if (control) control->Pause();
}

int32_t SoundPlayer::Is_Play() {
  if (playing == 0) return 0;
  if (!seeking) return 1;
  LONGLONG duration = 0, current = 0;
  // When the graph cannot tell, the sound counts as still playing.
  if (FAILED(seeking->GetDuration(&duration)) || FAILED(seeking->GetCurrentPosition(&current)))
    return 1;
  return current < duration ? 1 : 0;
}

int32_t SoundPlayer::GetVolume() {
  DWORD device = 0;
  waveOutGetVolume(nullptr, &device);
  volume = device & 0xFFFFu;
  return int32_t(volume);
}

void SoundPlayer::SetVolume(int32_t v) {
  if (v < 0 || v > 0xFFFF) return;
  volume = uint32_t(v);
  waveOutSetVolume(nullptr, volume);
}

}  // namespace ferrox

using ferrox::soundPlayer;

TOLVEX_EXPORT int32_t SetPlayFilePath(const WCHAR* path) { return soundPlayer.SetPlayFilePath(path); }
TOLVEX_EXPORT int32_t Play_Sound() { return soundPlayer.Play_Sound(); }
TOLVEX_EXPORT int32_t Stop_Sound() { return soundPlayer.Stop_Sound(); }
TOLVEX_EXPORT void Pause_Sound() { soundPlayer.Pause_Sound(); }
TOLVEX_EXPORT int32_t Is_Play() { return soundPlayer.Is_Play(); }
TOLVEX_EXPORT int32_t GetVolume() { return soundPlayer.GetVolume(); }
TOLVEX_EXPORT void SetVolume(int32_t v) { soundPlayer.SetVolume(v); }
