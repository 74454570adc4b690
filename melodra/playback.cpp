// Play, Stop, Pause and the end of the clip: PollEnd, MonitorThread and
// RewindByReload.
#include "player_state.h"

namespace melodra {

int32_t PlayerState::Play() {
  if (!control) return 0;
  // Already playing: nothing is requested and no second monitor started;
  // the clip is running, so the answer is 1.
  if (playing) return 1;
  playing = 1;
  complete = 0;
  HRESULT hr = control->Run();
  stopRequested = 0;
  StartMonitor();
  return SUCCEEDED(hr) ? 1 : 0;
}

void PlayerState::StartMonitor() {
  // Collect the monitors that have ended since the last Play.
  std::erase_if(monitors, [](HANDLE thread) {
    if (WaitForSingleObject(thread, 0) != WAIT_OBJECT_0) return false;
    CloseHandle(thread);
    return true;
  });
  monitors.reserve(monitors.size() + 1);
  HANDLE thread = CreateThread(nullptr, 0, MonitorThread, this, 0, nullptr);
  if (thread) monitors.push_back(thread);
}

void PlayerState::EndMonitors() {
  stopRequested = 1;
  for (HANDLE thread : monitors) {
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
  }
  monitors.clear();
}

int32_t PlayerState::PollEnd() {
  if (!events) return 0;
  LONG code = 0;
  LONG_PTR param1 = 0, param2 = 0;
  // Every event is taken from the queue; all but the end of the clip are
  // dropped.
  while (SUCCEEDED(events->GetEvent(&code, &param1, &param2, 0))) {
    events->FreeEventParams(code, param1, param2);
    if (code == EC_COMPLETE || code == EC_USERABORT) return 1;
  }
  return 0;
}

DWORD WINAPI PlayerState::MonitorThread(LPVOID parameter) {
  auto* player = static_cast<PlayerState*>(parameter);
  // PollEnd and the reload it leads to run under the player's lock, as one
  // step: the caller's calls wait for the reload instead of racing it.
  auto endOfClip = [player] {
    return player->Serialised([player] {
      if (!player->PollEnd()) return 0;
      player->complete = 1;
      player->RewindByReload();
      return 1;
    });
  };
  if (endOfClip()) return 0;
  for (;;) {
    if (stopRequested == 1) return 0;
    Sleep(100);
    if (endOfClip()) return 0;
  }
}

void PlayerState::RewindByReload() {
  if (!control) return;
  stopRequested = 1;
  Sleep(150);
  control->Stop();
  ReleaseGraph();
  BuildGraph();
  // The same file into the same window at the same size; the open's stop
  // step is skipped since stopRequested is set. The name is copied first:
  // the open stores it into fileName again.
  WCHAR name[kFileNameCapacity];
  orlik_wcscpy_bounded(name, kFileNameCapacity, fileName);
  Open1(name, videoWidth, videoHeight);
  playing = 0;
}

int32_t PlayerState::Stop() {
  if (!control) return 0;
  stopRequested = 1;
  Sleep(200);
  HRESULT hr;
  if (PollEnd()) {
    // The clip ended and no monitor took the event: stop and drop the
    // graph. Until the next open there is nothing to play.
    hr = control->Stop();
    ReleaseGraph();
  } else {
    if (seeking) {
      LONGLONG start = 0;
      seeking->SetPositions(&start, AM_SEEKING_AbsolutePositioning, nullptr,
                            AM_SEEKING_NoPositioning);
    }
    hr = control->Stop();
  }
  playing = 0;
  return SUCCEEDED(hr) ? 1 : 0;
}

int32_t PlayerState::Pause() {
  if (!control) return 0;
  // The monitor goes on watching: stopRequested is not touched.
  playing = 0;
  return SUCCEEDED(control->Pause()) ? 1 : 0;
}

int32_t PlayerState::IsComplete() { return complete; }

}  // namespace melodra

using melodra::PlayerState;
using melodra::Serialised;

TOLVEX_EXPORT int32_t Play() { return Serialised<&PlayerState::Play>(); }
TOLVEX_EXPORT int32_t Stop() { return Serialised<&PlayerState::Stop>(); }
TOLVEX_EXPORT int32_t Pause() { return Serialised<&PlayerState::Pause>(); }
TOLVEX_EXPORT int32_t IsComplete() { return Serialised<&PlayerState::IsComplete>(); }
