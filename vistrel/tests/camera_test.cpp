// The capture graph: Initialization, the two resolution tables and their
// refusal rules, the preview window, Play and Stop.
#include "vistrel_fixture.h"

#include "export_map.h"

#include <chrono>
#include <thread>

namespace {

using vistrel_test::VistrelTest;
using vistrel_test::Boxes;

struct WxH {
  int32_t w, h;
  bool operator==(const WxH&) const = default;
};

class CameraTest : public VistrelTest {
 protected:
  WxH Preview() {
    WxH s{-1, -1};
    Fn<decltype(&::GetPreviewResolution)>("GetPreviewResolution")(&s.w, &s.h);
    return s;
  }
  WxH Capture() {
    WxH s{-1, -1};
    Fn<decltype(&::GetCaptureResolution)>("GetCaptureResolution")(&s.w, &s.h);
    return s;
  }
  int32_t SetPreview(int32_t i) { return Fn<decltype(&::SetPreviewResolution)>("SetPreviewResolution")(i); }
  int32_t SetCapture(int32_t i) { return Fn<decltype(&::SetCaptureResolution)>("SetCaptureResolution")(i); }
  // Where the caller's window stands on the screen.
  RECT WindowRect() {
    RECT r{};
    GetWindowRect(window_, &r);
    return r;
  }
  // True when the camera delivers frames (the graph runs): three frames
  // within two seconds, time enough for a loaded machine; a stopped graph
  // delivers none.
  bool Streaming() {
    int before = orlik_sim_camera_frames();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::chrono::steady_clock::now() < deadline) {
      if (orlik_sim_camera_frames() > before + 2) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
  }
};

TEST_F(CameraTest, ExportsAreExactlyTheMap) {
  const std::set<std::string> notBuiltYet = {};  // every name of the map is built
  tolvex_test::ExpectExportsMatchMap(*lib_, TOLVEX_LIB_VISTREL, TOLVEX_EXPORTS_VISTREL, notBuiltYet);
}

TEST_F(CameraTest, EveryExportBeforeInitializationReturnsZeroAndTouchesNothing) {
  WxH s{7, 7};
  EXPECT_EQ(Fn<decltype(&::GetPreviewResolution)>("GetPreviewResolution")(&s.w, &s.h), 0);
  EXPECT_EQ(s, (WxH{7, 7}));
  EXPECT_EQ(SetPreview(5), 0);
  EXPECT_EQ(SetCapture(5), 0);
  EXPECT_EQ(Fn<decltype(&::Play)>("Play")(), 0);
  EXPECT_EQ(Fn<decltype(&::Stop)>("Stop")(), 0);
  EXPECT_EQ(Fn<decltype(&::CaptureStillImage)>("CaptureStillImage")(u"\\still.jpg"), 0);
  std::vector<uint8_t> buffer(16, 0xAB);
  EXPECT_EQ(Fn<decltype(&::ImageMemoryCapture)>("ImageMemoryCapture")(buffer.data()), 0);
  EXPECT_EQ(buffer[0], 0xAB);
  EXPECT_EQ(Fn<decltype(&::InitEncoding)>("InitEncoding")(), 0);
  EXPECT_EQ(Fn<decltype(&::RunEncoding)>("RunEncoding")(), 0);
  orlik_sim_bus_clear("main");
  Fn<decltype(&::SetBrightnessControl)>("SetBrightnessControl")(10);
  Fn<decltype(&::SetSourceChannel)>("SetSourceChannel")(3);
  char transcript[64];
  EXPECT_EQ(orlik_sim_bus_transcript("main", transcript, sizeof transcript), 0);
  EXPECT_EQ(orlik_sim_decoder_register(0x09), 0x80);
  EXPECT_EQ(orlik_sim_camera_frames(), 0);
}

TEST_F(CameraTest, InitializationBuildsARunningGraphWithThePreviewSizeAndTheSmallestCapture) {
  EXPECT_EQ(Start(5), 1);
  EXPECT_EQ(Preview(), (WxH{320, 240}));
  EXPECT_EQ(Capture(), (WxH{160, 96}));
  EXPECT_TRUE(Streaming());
  // The caller's window took the preview size and kept its place.
  RECT r = WindowRect();
  EXPECT_EQ(r.left, 40);
  EXPECT_EQ(r.top, 30);
  EXPECT_EQ(r.right - r.left, 320);
  EXPECT_EQ(r.bottom - r.top, 240);
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(CameraTest, APreviewIndexOutOfTheTableIsRefusedAtInitialization) {
  // The graph of SetCaptureResolution(0) stays, with the preview pin's own
  // format.
  EXPECT_EQ(Start(17), 1);
  EXPECT_EQ(Preview(), (WxH{160, 96}));
  EXPECT_TRUE(Streaming());
}

TEST_F(CameraTest, TheTablesAndTheirRefusals) {
  ASSERT_EQ(Start(0), 1);
  const WxH preview[17] = {{160, 96},  {192, 144}, {240, 144}, {256, 192}, {320, 192}, {320, 240},
                           {380, 228}, {448, 336}, {480, 288}, {512, 384}, {560, 336}, {576, 432},
                           {640, 384}, {640, 480}, {720, 480}, {800, 480}, {800, 600}};
  const WxH capture[13] = {{160, 96},  {192, 144}, {240, 144}, {256, 192}, {320, 192}, {320, 240}, {448, 336},
                           {480, 288}, {560, 336}, {576, 432}, {640, 384}, {640, 480}, {720, 480}};
  for (int i = 0; i < 17; ++i) {
    ASSERT_EQ(SetPreview(i), 1) << i;
    EXPECT_EQ(Preview(), preview[i]) << i;
  }
  ASSERT_EQ(SetPreview(0), 1);
  for (int i = 0; i < 13; ++i) {
    ASSERT_EQ(SetCapture(i), 1) << i;
    EXPECT_EQ(Capture(), capture[i]) << i;
  }
  // Out of the tables: refused, nothing changes.
  EXPECT_EQ(SetPreview(17), 0);
  EXPECT_EQ(SetPreview(-1), 0);
  EXPECT_EQ(SetCapture(13), 0);
  EXPECT_EQ(SetCapture(-1), 0);
  EXPECT_EQ(Capture(), (WxH{720, 480}));
  // The 720 x 480 capture never goes with the three largest previews.
  EXPECT_EQ(SetPreview(14), 0);
  EXPECT_EQ(Preview(), (WxH{160, 96}));
  EXPECT_EQ(SetPreview(13), 1);
  EXPECT_EQ(SetCapture(11), 1);
  EXPECT_EQ(SetPreview(14), 1);
  EXPECT_EQ(SetCapture(12), 0);
  EXPECT_EQ(Capture(), (WxH{640, 480}));
  EXPECT_EQ(SetCapture(11), 1);
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(CameraTest, APreviewSizeResizesTheWindowWhereItStands) {
  ASSERT_EQ(Start(5), 1);
  ASSERT_EQ(SetPreview(9), 1);
  RECT r = WindowRect();
  EXPECT_EQ(r.left, 40);
  EXPECT_EQ(r.top, 30);
  EXPECT_EQ(r.right - r.left, 512);
  EXPECT_EQ(r.bottom - r.top, 384);
  // A capture size leaves the window alone.
  ASSERT_EQ(SetCapture(5), 1);
  r = WindowRect();
  EXPECT_EQ(r.right - r.left, 512);
}

TEST_F(CameraTest, StopAndPlayAndARebuildFromStopRuns) {
  ASSERT_EQ(Start(0), 1);
  EXPECT_EQ(Fn<decltype(&::Stop)>("Stop")(), 0);
  EXPECT_FALSE(Streaming());
  EXPECT_EQ(Fn<decltype(&::Play)>("Play")(), 0);
  EXPECT_TRUE(Streaming());
  Fn<decltype(&::Stop)>("Stop")();
  EXPECT_EQ(SetCapture(3), 1);
  EXPECT_TRUE(Streaming());
}

TEST_F(CameraTest, WithoutACameraInitializationFails) {
  orlik_sim_fail_device("CAM1:", 0);
  EXPECT_EQ(Start(5), 0);
  EXPECT_EQ(SetPreview(5), 0);
  EXPECT_EQ(Fn<decltype(&::Play)>("Play")(), 0);
  orlik_sim_fail_device("CAM1:", -1);
}

}  // namespace
