// The camera picture: what each input shows, the decoder's picture controls,
// the frame clock, and file sources, read through the capture driver "CAM1:"
// as the capture filter reads them.
#include <orlik/sim.h>
#include <orlik/windows.h>

#include "decoder_master.h"
#include "devices/camera_device.h"
#include "test_media.h"
#include "tolvex_test.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <random>
#include <thread>
#include <vector>

namespace {

using decoder_test::DecoderMaster;
using decoder_test::SelectChannel;
using Bytes = std::vector<uint8_t>;

size_t Yv12Size(int w, int h) { return size_t(w) * h * 3 / 2; }

Bytes Flat(int w, int h, int y, int u, int v) {
  Bytes b(Yv12Size(w, h));
  size_t luma = size_t(w) * h, chroma = luma / 4;
  std::fill_n(b.begin(), luma, uint8_t(y));
  std::fill_n(b.begin() + long(luma), chroma, uint8_t(v));  // V first
  std::fill_n(b.begin() + long(luma + chroma), chroma, uint8_t(u));
  return b;
}

struct Pixel {
  int y, u, v;
  bool operator==(const Pixel&) const = default;
};
std::ostream& operator<<(std::ostream& os, const Pixel& p) {
  return os << "Y " << p.y << " U " << p.u << " V " << p.v;
}
Pixel At(const Bytes& b, int w, int h, int x, int y) {
  size_t luma = size_t(w) * h, chroma = luma / 4;
  size_t c = size_t(y / 2) * (w / 2) + x / 2;
  return {b[size_t(y) * w + x], b[luma + chroma + c], b[luma + c]};
}

Bytes Shown(int w, int h) {
  Bytes b(Yv12Size(w, h));
  EXPECT_EQ(orlik_sim_camera_picture(b.data(), w, h), 1);
  return b;
}

// The capture driver through its handle.
class Cam1 {
 public:
  Cam1() : h_(CreateFileW(u"CAM1:", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr)) {
    EXPECT_NE(h_, INVALID_HANDLE_VALUE);
  }
  ~Cam1() { CloseHandle(h_); }
  uint64_t Wait(uint64_t after, DWORD timeoutMs = 1000) {
    orlik::CameraWaitRequest r{after, timeoutMs};
    uint64_t frame = 0;
    DWORD got = 0;
    DeviceIoControl(h_, orlik::kIoctlCameraWaitFrame, &r, sizeof r, &frame, sizeof frame, &got, nullptr);
    return frame;
  }
  Bytes Read(uint64_t frame, int w, int h) {
    orlik::CameraReadRequest r{frame, w, h};
    Bytes b(Yv12Size(w, h));
    DWORD got = 0;
    EXPECT_TRUE(DeviceIoControl(h_, orlik::kIoctlCameraReadFrame, &r, sizeof r, b.data(), DWORD(b.size()), &got,
                                nullptr));
    EXPECT_EQ(got, b.size());
    return b;
  }

 private:
  HANDLE h_;
};

class Camera : public tolvex_test::PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    bus_.emplace();  // after the reset, which puts the pins back to inputs
    SelectChannel(*bus_, 1);
  }
  std::optional<DecoderMaster> bus_;
};

TEST_F(Camera, ATestPicturePassesByteForByteAndScales) {
  Bytes noise(Yv12Size(320, 240));
  std::mt19937 rng(7);
  for (auto& b : noise) b = uint8_t(rng());
  ASSERT_EQ(orlik_sim_camera_set_picture(1, noise.data(), 320, 240), 1);
  Bytes other = Flat(320, 240, 60, 70, 80);
  ASSERT_EQ(orlik_sim_camera_set_picture(2, other.data(), 320, 240), 1);
  EXPECT_EQ(Shown(320, 240), noise) << "every byte, 0 and 255 included, at the default controls";
  SelectChannel(*bus_, 2);
  EXPECT_EQ(Shown(320, 240), other);

  // A picture of another size is scaled, planes kept apart: left half
  // (Y 40, U 100, V 150), right half (Y 200, U 160, V 90).
  Bytes halves(Yv12Size(160, 120));
  for (int y = 0; y < 120; ++y)
    for (int x = 0; x < 160; ++x) halves[size_t(y) * 160 + x] = x < 80 ? 40 : 200;
  for (int y = 0; y < 60; ++y)
    for (int x = 0; x < 80; ++x) {
      halves[19200 + size_t(y) * 80 + x] = x < 40 ? 150 : 90;         // V
      halves[19200 + 4800 + size_t(y) * 80 + x] = x < 40 ? 100 : 160;  // U
    }
  ASSERT_EQ(orlik_sim_camera_set_picture(2, halves.data(), 160, 120), 1);
  Bytes big = Shown(640, 480);
  EXPECT_EQ(At(big, 640, 480, 100, 240), (Pixel{40, 100, 150}));
  EXPECT_EQ(At(big, 640, 480, 540, 240), (Pixel{200, 160, 90}));

  // Null gives the input back its scene.
  ASSERT_EQ(orlik_sim_camera_set_picture(2, nullptr, 0, 0), 1);
  EXPECT_NE(Shown(160, 120), Flat(160, 120, 40, 100, 150));

  EXPECT_EQ(orlik_sim_camera_set_picture(0, noise.data(), 320, 240), 0);
  EXPECT_EQ(orlik_sim_camera_set_picture(5, noise.data(), 320, 240), 0);
  EXPECT_EQ(orlik_sim_camera_set_picture(1, noise.data(), 0, 240), 0);
  Bytes out(Yv12Size(802, 600));
  EXPECT_EQ(orlik_sim_camera_picture(out.data(), 802, 600), 0) << "wider than 800";
  EXPECT_EQ(orlik_sim_camera_picture(out.data(), 321, 240), 0) << "odd";
  EXPECT_EQ(orlik_sim_camera_picture(nullptr, 320, 240), 0);
}

TEST_F(Camera, PictureControlsActAsTheChipsAndClamp) {
  Bytes flat = Flat(64, 48, 100, 90, 170);
  orlik_sim_camera_set_picture(1, flat.data(), 64, 48);
  struct Case {
    const char* what;
    std::vector<std::pair<int, int>> writes;
    Pixel expected;
  };
  const Case cases[] = {
      {"brighter", {{0x09, 0xA0}}, {132, 90, 170}},
      {"darker, clamped at 0", {{0x09, 0x00}}, {0, 90, 170}},
      {"contrast up", {{0x0C, 0xFF}}, {183, 90, 170}},
      {"contrast half", {{0x0C, 0x40}}, {58, 90, 170}},
      {"contrast off: black", {{0x0C, 0x00}}, {16, 90, 170}},
      {"bright and contrasty, clamped at 255", {{0x09, 0xFF}, {0x0C, 0xFF}}, {255, 90, 170}},
      {"no colour", {{0x0A, 0x00}}, {100, 128, 128}},
      {"saturated", {{0x0A, 0xFF}}, {100, 52, 212}},
      {"hue +90 degrees", {{0x0B, 0x40}}, {100, 170, 166}},
      {"hue -180 degrees", {{0x0B, 0x80}}, {100, 166, 86}},
  };
  for (const auto& c : cases) {
    for (auto [reg, value] : c.writes) bus_->WriteRegister(reg, value);
    Bytes b = Shown(64, 48);
    EXPECT_EQ(At(b, 64, 48, 10, 10), c.expected) << c.what;
    EXPECT_EQ(At(b, 64, 48, 63, 47), c.expected) << c.what;
    for (int reg : {0x09, 0x0A, 0x0C}) bus_->WriteRegister(reg, 0x80);
    bus_->WriteRegister(0x0B, 0x00);
  }
  EXPECT_EQ(Shown(64, 48), flat) << "defaults again: unchanged";

  Bytes vivid = Flat(64, 48, 100, 20, 240);
  orlik_sim_camera_set_picture(1, vivid.data(), 64, 48);
  bus_->WriteRegister(0x0A, 0xFF);
  EXPECT_EQ(At(Shown(64, 48), 64, 48, 5, 5), (Pixel{100, 0, 255})) << "chroma clamped at both ends";
}

TEST_F(Camera, NoSignalIsBlackAndTheControlsStillAct) {
  Bytes black = Flat(32, 24, 16, 128, 128);
  ASSERT_EQ(orlik_sim_camera_set_source(1, ""), 1);
  EXPECT_EQ(Shown(32, 24), black) << "detached input";
  bus_->WriteRegister(0x09, 0x90);
  EXPECT_EQ(Shown(32, 24), Flat(32, 24, 32, 128, 128));
  bus_->WriteRegister(0x09, 0x80);

  // A test picture comes before the source.
  Bytes grey = Flat(32, 24, 120, 128, 128);
  orlik_sim_camera_set_picture(1, grey.data(), 32, 24);
  EXPECT_EQ(Shown(32, 24), grey);

  bus_->WriteRegister(0x00, 0x01);  // no input has this combination
  EXPECT_EQ(orlik_sim_camera_input(), 0);
  EXPECT_EQ(Shown(32, 24), black);
  SelectChannel(*bus_, 3);
  EXPECT_NE(Shown(32, 24), black) << "input 3 shows its scene";
}

// The scene draws on its pipeline's threads; left running while the process
// exits they draw with libraries whose exit handlers already freed their
// state. The camera's sources stop, and none opens again, before any exit
// handler registered earlier runs: by then the input shows no signal.
TEST_F(Camera, SourcesStopWhenTheProcessExits) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        std::atexit([] {
          Bytes b(Yv12Size(32, 24));
          orlik_sim_camera_picture(b.data(), 32, 24);
          _exit(b == Flat(32, 24, 16, 128, 128) ? 0 : 3);
        });
        if (Shown(32, 24) == Flat(32, 24, 16, 128, 128)) _exit(4);  // the scene runs
        std::exit(0);
      },
      testing::ExitedWithCode(0), "");
}

TEST_F(Camera, ScenesMoveAndDifferPerInput) {
  Cam1 cam;
  uint64_t f = cam.Wait(0);
  ASSERT_GT(f, 0u);
  Bytes first = cam.Read(f, 320, 240);
  EXPECT_EQ(cam.Read(f, 320, 240), first) << "one frame, one picture";
  cam.Read(f, 160, 96);
  Bytes next = cam.Read(f + 1, 320, 240);
  EXPECT_NE(next, first) << "the scene moves";
  EXPECT_NE(first, Flat(320, 240, 16, 128, 128));
  EXPECT_EQ(orlik_sim_camera_frames(), 2) << "each frame number counts once, whatever its sizes";

  SelectChannel(*bus_, 2);
  Bytes two = cam.Read(f + 2, 320, 240);
  EXPECT_NE(two, next);
  EXPECT_NE(two, Flat(320, 240, 16, 128, 128));
}

TEST_F(Camera, FramesArriveAtTheNtscRate) {
  Bytes flat = Flat(32, 24, 50, 128, 128);
  orlik_sim_camera_set_picture(1, flat.data(), 32, 24);
  Cam1 cam;
  uint64_t first = cam.Wait(0);
  uint64_t last = cam.Wait(first);
  ASSERT_GT(last, first);
  first = last;  // counted from a frame boundary
  auto start = std::chrono::steady_clock::now();
  int read = 0;
  while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(1000)) {
    last = cam.Wait(last);
    ASSERT_GT(last, 0u);
    cam.Read(last, 32, 24);
    cam.Read(last, 16, 12);
    ++read;
  }
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  double rate = double(last - first) / seconds;
  EXPECT_GT(rate, 27.0);
  EXPECT_LT(rate, 33.0);
  EXPECT_EQ(orlik_sim_camera_frames(), read);

  // A frame that is not due yet is waited for no longer than asked.
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_EQ(cam.Wait(last + 1000, 50), 0u);
  auto waited = std::chrono::steady_clock::now() - t0;
  EXPECT_GE(waited, std::chrono::milliseconds(45));
  EXPECT_LT(waited, std::chrono::milliseconds(500));

  // A camera whose frames stop, and start again.
  orlik_sim_fail_device("CAM1:", 1);
  EXPECT_EQ(cam.Wait(last, 120), 0u);
  orlik_sim_fail_device("CAM1:", -1);
  EXPECT_GT(cam.Wait(last, 120), last);
}

// A clip of four distinct frames (a moving ball) at 15 per second.
std::string Clip() {
  return tolvex_test::TestMedia::Get().Clip(
      "ball.avi", "videotestsrc num-buffers=4 pattern=ball ! video/x-raw,width=160,height=120,framerate=15/1 ! "
                  "jpegenc ! avimux ! filesink location={out}");
}

TEST_F(Camera, AFileSourcePlaysAtItsOwnRateAndLoops) {
  std::string clip = Clip();
  ASSERT_FALSE(clip.empty());
  ASSERT_EQ(orlik_sim_camera_set_source(1, clip.c_str()), 1);
  Cam1 cam;
  uint64_t base = cam.Wait(0);
  std::vector<Bytes> p;
  for (int i = 0; i < 18; ++i) p.push_back(cam.Read(base + uint64_t(i), 160, 120));
  // Board frames come at 29.97 per second: each clip frame shows twice.
  for (size_t i = 0; i < 18; i += 2) EXPECT_EQ(p[i], p[i + 1]) << i;
  for (size_t i = 0; i + 8 < 18; ++i) EXPECT_EQ(p[i], p[i + 8]) << "after the last frame the clip starts again, " << i;
  for (int i = 0; i < 6; i += 2) EXPECT_NE(p[size_t(i)], p[size_t(i) + 2]) << i;

  // A source that cannot be opened changes nothing.
  std::string garbage = root_.path() + "/garbage.avi";
  std::ofstream(garbage) << "not a video";
  EXPECT_EQ(orlik_sim_camera_set_source(1, garbage.c_str()), 0);
  EXPECT_EQ(orlik_sim_camera_set_source(1, (root_.path() + "/missing.avi").c_str()), 0);
  EXPECT_EQ(orlik_sim_camera_set_source(5, clip.c_str()), 0);
  EXPECT_EQ(cam.Read(base + 18, 160, 120), p[2]);

  // The environment names the sources a reset puts back.
  setenv("ORLIK_CAMERA1", "none", 1);
  setenv("ORLIK_CAMERA3", clip.c_str(), 1);
  orlik_sim_reset();
  DecoderMaster m;
  SelectChannel(m, 1);
  EXPECT_EQ(Shown(160, 120), Flat(160, 120, 16, 128, 128));
  SelectChannel(m, 3);
  uint64_t again = cam.Wait(0);
  EXPECT_EQ(cam.Read(again, 160, 120), p[0]);
  unsetenv("ORLIK_CAMERA1");
  unsetenv("ORLIK_CAMERA3");
}

TEST_F(Camera, FramesStreamWhileTheBusIsDriven) {
  Bytes flat = Flat(64, 48, 100, 128, 128);
  orlik_sim_camera_set_picture(1, flat.data(), 64, 48);
  std::atomic<bool> stop{false};
  std::atomic<int> frames{0};
  std::thread streaming([&] {
    Cam1 cam;
    uint64_t last = 0;
    while (!stop) {
      last = cam.Wait(last, 100);
      if (last == 0) continue;
      cam.Read(last, 64, 48);
      ++frames;
    }
  });
  for (int i = 0; i < 40; ++i) bus_->WriteRegister(0x09, 0x80 + (i % 16));
  bus_->WriteRegister(0x09, 0x90);
  while (frames < 5) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  stop = true;
  streaming.join();
  EXPECT_EQ(orlik_sim_bus_error_count("main"), 0);
  EXPECT_EQ(At(Shown(64, 48), 64, 48, 0, 0), (Pixel{116, 128, 128}));
}

}  // namespace
