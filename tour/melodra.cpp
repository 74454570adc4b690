// Melodra on the panel: a clip played in an application's window, a frame of
// the screen saved as a picture, seeking, full screen, and the end of the
// clip, where the player rewinds by itself.
#include "tour.h"
#include "wait_for.h"

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

using tolvex_test::WaitFor;

}  // namespace

#define MELODRA_PLAYER_EXPORTS(X) X(Initialization) X(SetPreviewWindowHandle) X(Open) X(Play) X(IsComplete) \
  X(GetCurrentPos) X(GetMaxPos) X(SetCurrentPos) X(ViewFullSizeMode) X(ReleaseEx)
TOLVEX_EXPORT_TABLE(MelodraPlayerExports, MELODRA_PLAYER_EXPORTS);

static bool MelodraPlayer() {
  if (!MakePanelMedia("Flash Disk/Media/bars.ogg", kClip)) return false;
  Loaded<MelodraPlayerExports> melodra("libMelodra.so");
  if (!melodra.ok()) return false;

  WNDCLASSW wc = {};
  wc.lpfnWndProc = DefWindowProcW;
  wc.lpszClassName = u"TourPlayer";
  RegisterClassW(&wc);
  HWND window = CreateWindowExW(0, u"TourPlayer", u"", WS_POPUP | WS_VISIBLE, 240, 120, 100, 100,
                                nullptr, nullptr, nullptr, nullptr);
  PaintBackground(window);

  bool ok = melodra.Initialization() == 0;
  melodra.SetPreviewWindowHandle(window);
  ok = ok && melodra.Open(u"\\Flash Disk\\Media\\bars.ogg") == 1;
  RECT r{};
  GetWindowRect(window, &r);
  std::printf("   Open: the window became %ldx%ld at (%ld, %ld); the clip is %d s long\n",
              long(r.right - r.left), long(r.bottom - r.top), long(r.left), long(r.top), melodra.GetMaxPos());
  ok = ok && r.right - r.left == 320 && r.bottom - r.top == 240 && melodra.GetMaxPos() == 4;

  ok = ok && melodra.Play() == 1;
  std::this_thread::sleep_for(1300ms);
  std::string frame = OutputDir() + "/melodra-frame.png";
  orlik_sim_screen_save_png(frame.c_str());
  std::printf("   playing, at %d s: a frame of the screen in %s\n", melodra.GetCurrentPos(), frame.c_str());

  melodra.ViewFullSizeMode(1);
  std::this_thread::sleep_for(300ms);
  std::string full = OutputDir() + "/melodra-full-screen.png";
  orlik_sim_screen_save_png(full.c_str());
  melodra.ViewFullSizeMode(0);
  std::printf("   full screen and back: %s\n", full.c_str());

  melodra.SetCurrentPos(3);
  std::printf("   seek to 3 s: at %d s\n", melodra.GetCurrentPos());
  bool ended = WaitFor([&] { return melodra.IsComplete() == 1; }, 5000ms);
  std::printf("   at the end: IsComplete %d, rewound to %d s, ready to play again\n", melodra.IsComplete(),
              melodra.GetCurrentPos());
  ok = ok && ended && melodra.GetCurrentPos() == 0;

  melodra.ReleaseEx();
  DestroyWindow(window);
  return ok;
}

TOUR_SECTION(50, "Melodra: a clip in a window", MelodraPlayer);

}  // namespace tour
