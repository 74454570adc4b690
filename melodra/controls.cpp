// Position in whole seconds, volume on a 0 to 10000 scale, and full screen.
#include "player_state.h"

namespace melodra {

namespace {

int32_t ToSeconds(LONGLONG mediaTime) { return int32_t(mediaTime / kUnitsPerSecond); }

}  // namespace

// A failed request answers 0, as when there is no seeking at all.
int32_t PlayerState::GetCurrentPos() {
  if (!seeking) return 0;
  LONGLONG current = 0;
  if (FAILED(seeking->GetCurrentPosition(&current))) return 0;
  return ToSeconds(current);
}

int32_t PlayerState::GetMaxPos() {
  if (!seeking) return 0;
  LONGLONG duration = 0;
  if (FAILED(seeking->GetDuration(&duration))) return 0;
  return ToSeconds(duration);
}

int32_t PlayerState::SetCurrentPos(uint32_t seconds) {
  if (!seeking) return 0;
  LONGLONG current = LONGLONG(seconds) * kUnitsPerSecond;
  HRESULT hr = seeking->SetPositions(&current, AM_SEEKING_AbsolutePositioning, nullptr,
                                     AM_SEEKING_NoPositioning);
  return SUCCEEDED(hr) ? 1 : 0;
}

int32_t PlayerState::GetVolume() {
  if (!audio) return 0;
  // A failed request leaves 0 dB here, which reads as full volume.
  LONG volume = 0;
  audio->get_Volume(&volume);
  return int32_t(int64_t(volume) + kVolumeOffset);
}

int32_t PlayerState::SetVolume(int32_t volume) {
  if (!audio) return 0;
  // Not clamped; the difference wraps like the panel's 32-bit arithmetic.
  return SUCCEEDED(audio->put_Volume(LONG(int64_t(volume) - kVolumeOffset))) ? 1 : 0;
}

int32_t PlayerState::ViewFullSizeMode(int32_t mode) {
  if (!videoWindow) return 0;
  HRESULT hr;
  if (mode == 1) {
    hr = videoWindow->put_FullScreenMode(OATRUE);
  } else {
    // Back into the caller's window at the size of the last open.
    hr = videoWindow->put_FullScreenMode(OAFALSE);
    videoWindow->SetWindowPosition(0, 0, videoWidth, videoHeight);
    SizeOwnerWindow();
  }
  return SUCCEEDED(hr) ? 1 : 0;
}

}  // namespace melodra

using melodra::PlayerState;
using melodra::Serialised;

TOLVEX_EXPORT int32_t GetCurrentPos() { return Serialised<&PlayerState::GetCurrentPos>(); }
TOLVEX_EXPORT int32_t GetMaxPos() { return Serialised<&PlayerState::GetMaxPos>(); }
TOLVEX_EXPORT int32_t SetCurrentPos(uint32_t seconds) { return Serialised<&PlayerState::SetCurrentPos>(seconds); }
TOLVEX_EXPORT int32_t GetVolume() { return Serialised<&PlayerState::GetVolume>(); }
TOLVEX_EXPORT int32_t SetVolume(int32_t volume) { return Serialised<&PlayerState::SetVolume>(volume); }
TOLVEX_EXPORT int32_t ViewFullSizeMode(int32_t mode) { return Serialised<&PlayerState::ViewFullSizeMode>(mode); }
