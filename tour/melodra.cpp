// Melodra on the panel: a clip played in an application's window, a frame of
// the screen saved as a picture, seeking, full screen, and the end of the
// clip, where the player rewinds by itself.
#include "tour.h"

#include <orlik/sim.h>
#include <orlik/windows.h>
#include <tolvex/melodra.h>

#include <chrono>
#include <thread>

namespace tour {

namespace {

using namespace std::chrono_literals;

// 4 s of colour bars with a running clock, and a tone under it.
const char* const kClip =
    "oggmux name=m ! filesink location={out} "
    "videotestsrc pattern=smpte num-buffers=100 ! video/x-raw,width=320,height=240,framerate=25/1 ! "
    "timeoverlay font-desc=\"Sans 20\" ! theoraenc ! m. "
    "audiotestsrc wave=sine freq=523 volume=0.3 samplesperbuffer=4410 num-buffers=40 ! "
    "audio/x-raw,rate=44100,channels=2 ! audioconvert ! vorbisenc ! m.";

// The application's screen: a plain background and a caption above the
// video's window.
void PaintBackground(HWND window) {
  HDC screen = GetDC(nullptr);
  RECT all = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
  HBRUSH background = CreateSolidBrush(RGB(32, 40, 56));
  FillRect(screen, &all, background);
  DeleteObject(background);
  SetBkMode(screen, TRANSPARENT);
  SetTextColor(screen, RGB(230, 230, 230));
  RECT caption = {0, 40, all.right, 100};
  DrawTextW(screen, u"Melodra: a clip in the application's window", -1, &caption, DT_CENTER);
  ReleaseDC(nullptr, screen);
  UpdateWindow(window);
}

template <class Condition>
bool WaitFor(Condition condition, std::chrono::milliseconds limit) {
  auto end = std::chrono::steady_clock::now() + limit;
  while (!condition()) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(20ms);
  }
  return true;
}

}  // namespace

static bool MelodraPlayer() {
  if (!MakeMedia(PanelPath("Flash Disk/Media/bars.ogg"), kClip)) {
    std::printf("   gst-launch-1.0 could not make the clip\n");
    return false;
  }
  Module melodra("libMelodra.so");
  if (!melodra.ok()) return false;
  auto initialization = melodra.Get<decltype(&::Initialization)>("Initialization");
  auto setWindow = melodra.Get<decltype(&::SetPreviewWindowHandle)>("SetPreviewWindowHandle");
  auto open = melodra.Get<decltype(&::Open)>("Open");
  auto play = melodra.Get<decltype(&::Play)>("Play");
  auto isComplete = melodra.Get<decltype(&::IsComplete)>("IsComplete");
  auto position = melodra.Get<decltype(&::GetCurrentPos)>("GetCurrentPos");
  auto length = melodra.Get<decltype(&::GetMaxPos)>("GetMaxPos");
  auto seek = melodra.Get<decltype(&::SetCurrentPos)>("SetCurrentPos");
  auto fullScreen = melodra.Get<decltype(&::ViewFullSizeMode)>("ViewFullSizeMode");
  auto releaseEx = melodra.Get<decltype(&::ReleaseEx)>("ReleaseEx");
  if (!initialization || !setWindow || !open || !play || !isComplete || !position || !length ||
      !seek || !fullScreen || !releaseEx)
    return false;

  WNDCLASSW wc = {};
  wc.lpfnWndProc = DefWindowProcW;
  wc.lpszClassName = u"TourPlayer";
  RegisterClassW(&wc);
  HWND window = CreateWindowExW(0, u"TourPlayer", u"", WS_POPUP | WS_VISIBLE, 240, 120, 100, 100,
                                nullptr, nullptr, nullptr, nullptr);
  PaintBackground(window);

  bool ok = initialization() == 0;
  setWindow(window);
  ok = ok && open(u"\\Flash Disk\\Media\\bars.ogg") == 1;
  RECT r{};
  GetWindowRect(window, &r);
  std::printf("   Open: the window became %ldx%ld at (%ld, %ld); the clip is %d s long\n",
              long(r.right - r.left), long(r.bottom - r.top), long(r.left), long(r.top), length());
  ok = ok && r.right - r.left == 320 && r.bottom - r.top == 240 && length() == 4;

  ok = ok && play() == 1;
  std::this_thread::sleep_for(1300ms);
  std::string frame = OutputDir() + "/melodra-frame.png";
  orlik_sim_screen_save_png(frame.c_str());
  std::printf("   playing, at %d s: a frame of the screen in %s\n", position(), frame.c_str());

  fullScreen(1);
  std::this_thread::sleep_for(300ms);
  std::string full = OutputDir() + "/melodra-full-screen.png";
  orlik_sim_screen_save_png(full.c_str());
  fullScreen(0);
  std::printf("   full screen and back: %s\n", full.c_str());

  seek(3);
  std::printf("   seek to 3 s: at %d s\n", position());
  bool ended = WaitFor([&] { return isComplete() == 1; }, 5000ms);
  std::printf("   at the end: IsComplete %d, rewound to %d s, ready to play again\n", isComplete(),
              position());
  ok = ok && ended && position() == 0;

  releaseEx();
  DestroyWindow(window);
  return ok;
}

TOUR_SECTION(50, "Melodra: a clip in a window", MelodraPlayer);

}  // namespace tour
