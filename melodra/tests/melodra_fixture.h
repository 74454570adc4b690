// Loads libMelodra.so on a fresh panel, as an application does, with an owner
// window on the screen and the clips the tests play.
#pragma once

#include "popup_window.h"
#include "test_media.h"
#include "tolvex_test.h"
#include "wait_for.h"

#include <orlik/sim_screen.h>
#include <tolvex/melodra.h>
#include <orlik/windows.h>

#include <chrono>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>

namespace melodra_test {

using namespace std::chrono_literals;

// The clips, made once per test program. Video is 320x240 SMPTE colour bars
// at 75 %; sound a 440 Hz sine at half of full scale.
struct Clip {
  const char* name;
  const char* pipeline;
};

// Ogg with Theora and Vorbis, 2 s.
inline const Clip kOgg = {
    "bars.ogg",
    "oggmux name=m ! filesink location={out} "
    "videotestsrc pattern=smpte75 num-buffers=50 ! video/x-raw,width=320,height=240,framerate=25/1 ! "
    "theoraenc ! m. "
    "audiotestsrc wave=sine freq=440 volume=0.5 samplesperbuffer=4410 num-buffers=20 ! "
    "audio/x-raw,rate=44100,channels=1 ! audioconvert ! vorbisenc ! m."};
// WAV, 16-bit mono, 2 s of the tone.
inline const Clip kWav = {
    "tone.wav",
    "audiotestsrc wave=sine freq=440 volume=0.5 samplesperbuffer=4410 num-buffers=20 ! "
    "audio/x-raw,format=S16LE,rate=44100,channels=1 ! wavenc ! filesink location={out}"};
// 90.9 s of silence at 8 kHz: cheap to make, never played through.
inline const Clip kLong = {
    "long.wav",
    "audiotestsrc wave=silence samplesperbuffer=800 num-buffers=909 ! "
    "audio/x-raw,format=S16LE,rate=8000,channels=1 ! wavenc ! filesink location={out}"};

inline std::string MediaPath(const Clip& clip) {
  return tolvex_test::TestMedia::Get().Clip(clip.name, clip.pipeline);
}

struct Rect {
  int left, top, width, height;
  bool operator==(const Rect&) const = default;
};

inline Rect WindowRect(HWND window) {
  RECT r{};
  GetWindowRect(window, &r);
  return {r.left, r.top, r.right - r.left, r.bottom - r.top};
}

// A colour is near another when every channel is within the tolerance
// (the clips are lossy).
inline bool Near(uint32_t colour, uint32_t expected, int tolerance = 48) {
  for (int shift = 0; shift < 24; shift += 8) {
    int a = int((colour >> shift) & 0xFF), b = int((expected >> shift) & 0xFF);
    if (std::abs(a - b) > tolerance) return false;
  }
  return true;
}
inline constexpr uint32_t kBarGrey = 0xBFBFBF;  // first bar, 75 % white
inline constexpr uint32_t kBarBlue = 0xBF0000;  // last bar (blue in the third byte)

using tolvex_test::WaitFor;

class MelodraTest : public tolvex_test::PanelTest {
 protected:
  // Where the owner window starts, and its size before an open.
  static constexpr Rect kOwnerStart = {40, 30, 100, 80};

  void SetUp() override {
    PanelTest::SetUp();
    // No sound device on the test machines: the silent sink that keeps real
    // time, unless a test asks for the WAV file.
    if (!std::getenv("ORLIK_AUDIO")) setenv("ORLIK_AUDIO", "none", 1);
    owner_ = tolvex_test::PopupWindow(u"MelodraOwner", DefWindowProcW, kOwnerStart.left, kOwnerStart.top,
                                      kOwnerStart.width, kOwnerStart.height);
    lib_ = std::make_unique<tolvex_test::Library>(TOLVEX_LIB_MELODRA);
    Initialization = Fn<decltype(&::Initialization)>("Initialization");
    SetPreviewWindowHandle = Fn<decltype(&::SetPreviewWindowHandle)>("SetPreviewWindowHandle");
    Open = Fn<decltype(&::Open)>("Open");
    Open1 = Fn<decltype(&::Open1)>("Open1");
    Play = Fn<decltype(&::Play)>("Play");
    Stop = Fn<decltype(&::Stop)>("Stop");
    Pause = Fn<decltype(&::Pause)>("Pause");
    IsComplete = Fn<decltype(&::IsComplete)>("IsComplete");
    GetCurrentPos = Fn<decltype(&::GetCurrentPos)>("GetCurrentPos");
    GetMaxPos = Fn<decltype(&::GetMaxPos)>("GetMaxPos");
    SetCurrentPos = Fn<decltype(&::SetCurrentPos)>("SetCurrentPos");
    GetVolume = Fn<decltype(&::GetVolume)>("GetVolume");
    SetVolume = Fn<decltype(&::SetVolume)>("SetVolume");
    ViewFullSizeMode = Fn<decltype(&::ViewFullSizeMode)>("ViewFullSizeMode");
    ReleaseEx = Fn<decltype(&::ReleaseEx)>("ReleaseEx");
  }
  void TearDown() override {
    lib_.reset();
    if (owner_) DestroyWindow(owner_);
  }

  // Initialization and the owner window, as an application starts.
  void Start() {
    ASSERT_EQ(Initialization(), 0);
    ASSERT_NE(SetPreviewWindowHandle(owner_), 0);
  }

  // The clip in the device root under `panelName` (a link to the made clip),
  // as the panel path the library is given.
  std::u16string Place(const Clip& clip, const char* panelName) {
    std::string made = MediaPath(clip);
    EXPECT_FALSE(made.empty()) << "gst-launch-1.0 could not make " << clip.name;
    std::error_code ec;
    std::filesystem::create_symlink(made, root_.path() + "/" + panelName, ec);
    return u"\\" + std::u16string(panelName, panelName + std::strlen(panelName));
  }

  template <class F>
  F Fn(const char* name) {
    return lib_->Get<F>(name);
  }

  HWND owner_ = nullptr;
  std::unique_ptr<tolvex_test::Library> lib_;
  decltype(&::Initialization) Initialization = nullptr;
  decltype(&::SetPreviewWindowHandle) SetPreviewWindowHandle = nullptr;
  decltype(&::Open) Open = nullptr;
  decltype(&::Open1) Open1 = nullptr;
  decltype(&::Play) Play = nullptr;
  decltype(&::Stop) Stop = nullptr;
  decltype(&::Pause) Pause = nullptr;
  decltype(&::IsComplete) IsComplete = nullptr;
  decltype(&::GetCurrentPos) GetCurrentPos = nullptr;
  decltype(&::GetMaxPos) GetMaxPos = nullptr;
  decltype(&::SetCurrentPos) SetCurrentPos = nullptr;
  decltype(&::GetVolume) GetVolume = nullptr;
  decltype(&::SetVolume) SetVolume = nullptr;
  decltype(&::ViewFullSizeMode) ViewFullSizeMode = nullptr;
  decltype(&::ReleaseEx) ReleaseEx = nullptr;
};

}  // namespace melodra_test
