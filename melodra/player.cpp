// PlayerState's lifetime and the filter graph: load and unload, BuildGraph,
// ReleaseGraph, Initialization, SetPreviewWindowHandle, ReleaseEx.
#include "player_state.h"

namespace melodra {

std::atomic<uint8_t> stopRequested{0};
PlayerState playerState;

namespace {

// Releasing sets the field to null first, then drops its one reference.
template <class Interface>
void ReleaseField(Interface*& field) {
  Interface* held = field;
  field = nullptr;
  held->Release();
}

}  // namespace

PlayerState::PlayerState() {
  InitializeCriticalSection(&lock);
  comEntered = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
}

PlayerState::~PlayerState() {
  // A monitor still watching would run on after its code is unloaded.
  EndMonitors();
  ReleaseGraph();
  if (comEntered) CoUninitialize();
  comEntered = false;
  DeleteCriticalSection(&lock);
}

HRESULT PlayerState::BuildGraph() {
  HRESULT hr = CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_ALL, IID_IGraphBuilder,
                                reinterpret_cast<void**>(&graph));
  // Without a filter graph manager there is nothing to ask: its status is
  // the result.
  if (FAILED(hr) || !graph) return FAILED(hr) ? hr : E_NOINTERFACE;
  graph->QueryInterface(IID_IVideoWindow, reinterpret_cast<void**>(&videoWindow));
  graph->QueryInterface(IID_IMediaControl, reinterpret_cast<void**>(&control));
  graph->QueryInterface(IID_IMediaSeeking, reinterpret_cast<void**>(&seeking));
  graph->QueryInterface(IID_IBasicAudio, reinterpret_cast<void**>(&audio));
  return graph->QueryInterface(IID_IMediaEventEx, reinterpret_cast<void**>(&events));
}

void PlayerState::ReleaseGraph() {
  if (events) ReleaseField(events);
  if (videoWindow) ReleaseField(videoWindow);
  if (control) ReleaseField(control);
  if (seeking) ReleaseField(seeking);
  if (audio) ReleaseField(audio);
  if (graph) ReleaseField(graph);
}

int32_t PlayerState::Initialization() {
  // After ReleaseEx left COM, the player is used again: enter it again.
  if (!comEntered) comEntered = SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED));
  // A second Initialization replaces the graph instead of leaking it, so
  // every field keeps exactly one reference.
  ReleaseGraph();
  initialized = true;
  return BuildGraph();
}

int32_t PlayerState::SetPreviewWindowHandle(HWND window) {
  ownerWindow = window;
  return 1;
}

int32_t PlayerState::ReleaseEx() {
  // Before Initialization (or after an earlier ReleaseEx) there is nothing
  // to release, and COM is not left twice.
  if (!initialized) return 0;
  initialized = false;
  ReleaseGraph();
  if (comEntered) CoUninitialize();
  comEntered = false;
  return 1;
}

}  // namespace melodra

using melodra::PlayerState;
using melodra::Serialised;

TOLVEX_EXPORT int32_t Initialization() { return Serialised<&PlayerState::Initialization>(); }
TOLVEX_EXPORT int32_t SetPreviewWindowHandle(HWND window) { return Serialised<&PlayerState::SetPreviewWindowHandle>(window); }
TOLVEX_EXPORT int32_t ReleaseEx() { return Serialised<&PlayerState::ReleaseEx>(); }
