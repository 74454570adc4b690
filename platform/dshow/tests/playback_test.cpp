// A clip played through the filter graph manager into the platform's own
// renderers: its picture on the screen inside the owner window, its sound in
// the speaker's WAV file, in real time.
#include <orlik/dshow.h>
#include <orlik/mmsystem.h>
#include <orlik/windows.h>

#include "popup_window.h"
#include "strmbase.h"
#include "test_media.h"
#include "tolvex_test.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

using orlik::strmbase::ComPtr;
using Clock = std::chrono::steady_clock;

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(window, message, wParam, lParam);
}

class Playback : public tolvex_test::PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    wav_ = root_.path() + "/speaker.wav";
    setenv("ORLIK_AUDIO", wav_.c_str(), 1);
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    owner_ = tolvex_test::PopupWindow(u"PlaybackOwner", OwnerProc, 40, 30, 400, 300);
  }
  void TearDown() override {
    DestroyWindow(owner_);
    CoUninitialize();
  }
  std::string wav_;
  HWND owner_ = nullptr;
};

TEST_F(Playback, AClipShowsInItsWindowAndSoundsInRealTime) {
  std::string clip = tolvex_test::TestMedia::Get().VideoClip("red.ogg", 1.0, 160, 120, "red");
  ASSERT_FALSE(clip.empty()) << "no Theora/Vorbis encoder";
  ComPtr<IGraphBuilder> graph;
  ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_ALL, IID_IGraphBuilder, graph.put_void()), S_OK);
  // Into the device root, where panel paths lead.
  std::filesystem::create_symlink(clip, root_.path() + "/red.ogg");
  ASSERT_EQ(graph->RenderFile(u"\\red.ogg", nullptr), S_OK);

  auto window = graph.As<IVideoWindow>(IID_IVideoWindow);
  auto control = graph.As<IMediaControl>(IID_IMediaControl);
  auto events = graph.As<IMediaEventEx>(IID_IMediaEventEx);
  auto audio = graph.As<IBasicAudio>(IID_IBasicAudio);
  ASSERT_TRUE(window && control && events && audio);
  LONG w = 0, h = 0;
  EXPECT_EQ(window->get_Width(&w), S_OK);
  EXPECT_EQ(window->get_Height(&h), S_OK);
  EXPECT_EQ(w, 160);
  EXPECT_EQ(h, 120);
  ASSERT_EQ(window->put_Owner(reinterpret_cast<OAHWND>(owner_)), S_OK);
  ASSERT_EQ(window->put_WindowStyle(LONG(WS_CHILD | 0x02000000)), S_OK);
  ASSERT_EQ(window->put_Visible(OATRUE), S_OK);
  ASSERT_EQ(window->SetWindowPosition(20, 10, 320, 240), S_OK);
  ASSERT_EQ(audio->put_Volume(-600), S_OK);  // about half the amplitude

  auto start = Clock::now();
  ASSERT_TRUE(SUCCEEDED(control->Run()));
  LONG code = 0;
  LONG_PTR p1 = 0, p2 = 0;
  bool complete = false;
  while (!complete && Clock::now() - start < std::chrono::seconds(10)) {
    if (events->GetEvent(&code, &p1, &p2, 100) == S_OK) {
      events->FreeEventParams(code, p1, p2);
      complete = code == EC_COMPLETE;
    }
  }
  double took = std::chrono::duration<double>(Clock::now() - start).count();
  ASSERT_TRUE(complete);
  EXPECT_GT(took, 0.9);

  // Red, scaled to the rectangle inside the owner; nothing beside it.
  for (auto [x, y] : {std::pair{40 + 20 + 5, 30 + 10 + 5}, {40 + 20 + 160, 30 + 10 + 120}, {40 + 20 + 314, 30 + 10 + 234}}) {
    COLORREF c = orlik_sim_screen_pixel(x, y);
    EXPECT_GT(GetRValue(c), 200) << x << "," << y;
    EXPECT_LT(GetGValue(c), 50) << x << "," << y;
    EXPECT_LT(GetBValue(c), 50) << x << "," << y;
  }
  EXPECT_EQ(orlik_sim_screen_pixel(40 + 20 + 321, 30 + 10 + 5), 0u);

  control->Stop();
  // The sound of the whole clip is in the file (the tone fades in and out
  // of nothing, so every frame counts), at the renderer's volume.
  std::ifstream in(wav_, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_GT(bytes.size(), 44u);
  double seconds = double(bytes.size() - 44) / (44100 * 4);
  EXPECT_NEAR(seconds, 1.0, 0.1);
  int peak = 0;
  for (size_t at = 44; at + 1 < bytes.size(); at += 2)
    peak = std::max(peak, std::abs(int(int16_t(uint16_t(uint8_t(bytes[at]) | uint8_t(bytes[at + 1]) << 8)))));
  // audiotestsrc's default volume 0.8 through Vorbis, then -6 dB.
  EXPECT_GT(peak, 0.8 * 32767 * 0.5 * 0.85);
  EXPECT_LT(peak, 0.8 * 32767 * 0.5 * 1.15);
}

}  // namespace
