// Opening a file: Open sizes the caller's window to the video, Open1 to the
// size the caller gives.
#include "player_state.h"

namespace melodra {

namespace {

// A name longer than fileName holds is not cut short (a shortened path names
// another file): it is kept empty and the open fails as for a file that
// cannot be rendered.
HRESULT CopyFileName(WCHAR* field, const WCHAR* file) {
  if (!file || orlik_wcslen(file) >= kFileNameCapacity) {
    field[0] = 0;
    return file ? HRESULT_FROM_WIN32(206) /* ERROR_FILENAME_EXCED_RANGE */ : E_POINTER;
  }
  orlik_wcscpy_bounded(field, kFileNameCapacity, file);
  return S_OK;
}

}  // namespace

bool PlayerState::BeginOpen(const WCHAR* file) {
  // 1. A MonitorThread may be running: stop the clip and give the thread,
  // testing the flag every 100 ms, time to end.
  if (stopRequested == 0) {
    if (control) control->Stop();
    stopRequested = 1;
    Sleep(150);
    playing = 0;
  }
  // 2. A fresh graph (its status is not used).
  ReleaseGraph();
  BuildGraph();
  // 3. The name, for the reload at the end of the clip.
  return SUCCEEDED(CopyFileName(fileName, file));
}

HRESULT PlayerState::Render(const WCHAR* file, bool nameKept) {
  if (!nameKept) return E_INVALIDARG;
  if (!graph) return E_NOINTERFACE;
  return graph->RenderFile(file, nullptr);
}

void PlayerState::SizeOwnerWindow() {
  // The caller's window takes the size of the video and keeps its place.
  SetWindowPos(ownerWindow, HWND_TOP, 0, 0, videoWidth, videoHeight, SWP_NOMOVE);
}

int32_t PlayerState::Open(const WCHAR* file) {
  if (!initialized) return 0;
  bool nameKept = BeginOpen(file);
  // 4. The render decides the result.
  HRESULT hr = Render(file, nameKept);
  // 5. The video's own size. A file without video has none: the size is
  // then the caller's window as it is, so the window keeps its size (and the
  // reload and the return from full screen keep it too).
  LONG width = 0, height = 0;
  if (videoWindow && SUCCEEDED(videoWindow->get_Width(&width)) &&
      SUCCEEDED(videoWindow->get_Height(&height))) {
    videoWidth = width;
    videoHeight = height;
  } else {
    RECT owner;
    if (GetWindowRect(ownerWindow, &owner)) {
      videoWidth = owner.right - owner.left;
      videoHeight = owner.bottom - owner.top;
    }
  }
  // 6. The video becomes a child of the caller's window, at its full size.
  if (videoWindow) {
    videoWindow->put_Owner(reinterpret_cast<OAHWND>(ownerWindow));
    videoWindow->put_WindowStyle(LONG(WS_CHILD | WS_CLIPCHILDREN));
    videoWindow->put_Visible(OATRUE);
    videoWindow->put_MessageDrain(reinterpret_cast<OAHWND>(ownerWindow));
    videoWindow->SetWindowPosition(0, 0, videoWidth, videoHeight);
  }
  // 7.
  SizeOwnerWindow();
  // 8. The window calls are not examined.
  return SUCCEEDED(hr) ? 1 : 0;
}

int32_t PlayerState::Open1(const WCHAR* file, int32_t width, int32_t height) {
  if (!initialized) return 0;
  bool nameKept = BeginOpen(file);
  // The caller's size, stored before the render; the video's own size is
  // never asked for.
  videoWidth = width;
  videoHeight = height;
  HRESULT hr = Render(file, nameKept);
  if (videoWindow) {
    videoWindow->put_Owner(reinterpret_cast<OAHWND>(ownerWindow));
    videoWindow->put_WindowStyle(LONG(WS_CHILD | WS_CLIPCHILDREN));
    videoWindow->SetWindowPosition(0, 0, width, height);
    videoWindow->put_Visible(OATRUE);
    videoWindow->put_MessageDrain(reinterpret_cast<OAHWND>(ownerWindow));
  }
  SetWindowPos(ownerWindow, HWND_TOP, 0, 0, width, height, SWP_NOMOVE);
  return SUCCEEDED(hr) ? 1 : 0;
}

}  // namespace melodra

using melodra::PlayerState;
using melodra::Serialised;

TOLVEX_EXPORT int32_t Open(const WCHAR* file) { return Serialised<&PlayerState::Open>(file); }
TOLVEX_EXPORT int32_t Open1(const WCHAR* file, int32_t width, int32_t height) { return Serialised<&PlayerState::Open1>(file, width, height); }
