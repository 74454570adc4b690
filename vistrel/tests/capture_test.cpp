// Still images through the still-image sink, and memory capture converted
// with the panel's formula.
#include "vistrel_fixture.h"

#include <turbojpeg.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <random>
#include <thread>

namespace {

using vistrel_test::Picture;
using vistrel_test::VistrelTest;
using Clock = std::chrono::steady_clock;

// The conversion as the formula states it, pixel by pixel.
std::vector<uint8_t> Expected(const std::vector<uint8_t>& yv12, int w, int h, bool bottomUp) {
  std::vector<uint8_t> out(size_t(w) * size_t(h) * 3);
  int n = w * h;
  auto clamp = [](int v) { return v <= 0 ? 0 : v >= 256 ? 255 : v; };
  for (int i = 0; i < h; ++i) {
    for (int j = 0; j < w; ++j) {
      int y = yv12[size_t(i * w + j)];
      int v = yv12[size_t(n + ((i / 2) * w) / 2 + j / 2)];
      int u = yv12[size_t(n + n / 4 + ((i / 2) * w) / 2 + j / 2)];
      int l = (y - 16) * 298, d = u - 128, e = v - 128;
      int row = bottomUp ? h - 1 - i : i;
      uint8_t* p = &out[(size_t(row) * size_t(w) + size_t(j)) * 3];
      p[0] = uint8_t(clamp((l + 516 * d + 128) >> 8));
      p[1] = uint8_t(clamp((l - 100 * d - 208 * e + 128) >> 8));
      p[2] = uint8_t(clamp((l + 409 * e + 128) >> 8));
    }
  }
  return out;
}

class CaptureTest : public VistrelTest {
 protected:
  int32_t Still(const char16_t* name) { return Fn<decltype(&::CaptureStillImage)>("CaptureStillImage")(name); }
  int32_t Memory(uint8_t* buffer, bool bottomUp) {
    return bottomUp ? Fn<decltype(&::ImageMemoryCapture)>("ImageMemoryCapture")(buffer)
                    : Fn<decltype(&::ImageMemoryCapture1)>("ImageMemoryCapture1")(buffer);
  }
  bool WaitForFile(const std::string& path, int ms) {
    auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
      if (std::filesystem::exists(path)) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return std::filesystem::exists(path);
  }
  // Width and height of a JPEG file; {0, 0} when it does not decode.
  std::pair<int, int> JpegSize(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<unsigned char> data((std::istreambuf_iterator<char>(in)), {});
    tjhandle tj = tjInitDecompress();
    int w = 0, h = 0, subsampling = 0, colorspace = 0;
    std::vector<unsigned char> pixels;
    bool ok = tjDecompressHeader3(tj, data.data(), (unsigned long)data.size(), &w, &h, &subsampling, &colorspace) == 0;
    if (ok) {
      pixels.resize(size_t(w) * size_t(h) * 3);
      ok = tjDecompress2(tj, data.data(), (unsigned long)data.size(), pixels.data(), w, 0, h, TJPF_BGR, 0) == 0;
    }
    tjDestroy(tj);
    return ok ? std::make_pair(w, h) : std::make_pair(0, 0);
  }
};

TEST_F(CaptureTest, AStillIsWrittenAsAJpegOfTheCaptureSize) {
  ASSERT_EQ(Start(5), 1);
  ASSERT_EQ(Fn<decltype(&::SetCaptureResolution)>("SetCaptureResolution")(5), 1);
  EXPECT_EQ(Still(u"\\still.jpg"), 1);
  std::string path = root_.path() + "/still.jpg";
  ASSERT_TRUE(WaitForFile(path, 3000));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(JpegSize(path), std::make_pair(320, 240));
  // Only one frame passes the gate: the file is not written again.
  auto written = std::filesystem::last_write_time(path);
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_EQ(std::filesystem::last_write_time(path), written);
}

TEST_F(CaptureTest, TwoStillsArmedWhileStoppedWriteOneFileUnderTheSecondNameWhenTheGraphRuns) {
  ASSERT_EQ(Start(0), 1);
  Fn<decltype(&::Stop)>("Stop")();
  EXPECT_EQ(Still(u"\\first.jpg"), 1);
  EXPECT_EQ(Still(u"\\second.jpg"), 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(std::filesystem::exists(root_.path() + "/second.jpg"));
  Fn<decltype(&::Play)>("Play")();
  ASSERT_TRUE(WaitForFile(root_.path() + "/second.jpg", 3000));
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_FALSE(std::filesystem::exists(root_.path() + "/first.jpg"));
  EXPECT_EQ(JpegSize(root_.path() + "/second.jpg"), std::make_pair(160, 96));
}

TEST_F(CaptureTest, MemoryCaptureInBothRowOrdersIsTheFormulaAppliedToThePicture) {
  ASSERT_EQ(Start(5), 1);
  ASSERT_EQ(Fn<decltype(&::SetCaptureResolution)>("SetCaptureResolution")(5), 1);
  std::vector<uint8_t> picture(320 * 240 * 3 / 2);
  std::mt19937 random(7);
  for (auto& b : picture) b = uint8_t(random());
  ASSERT_EQ(orlik_sim_camera_set_picture(1, picture.data(), 320, 240), 1);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  std::vector<uint8_t> buffer(320 * 240 * 3 + 16, 0xEE);
  ASSERT_EQ(Memory(buffer.data(), false), 1);
  auto topDown = Expected(picture, 320, 240, false);
  EXPECT_TRUE(std::equal(topDown.begin(), topDown.end(), buffer.begin()));
  EXPECT_EQ(buffer[320 * 240 * 3], 0xEE);  // nothing beyond the frame
  ASSERT_EQ(Memory(buffer.data(), true), 1);
  auto bottomUp = Expected(picture, 320, 240, true);
  EXPECT_TRUE(std::equal(bottomUp.begin(), bottomUp.end(), buffer.begin()));
}

TEST_F(CaptureTest, VideoBlackAndWhiteConvertToBlackAndWhite) {
  ASSERT_EQ(Start(0), 1);
  std::vector<uint8_t> buffer(160 * 96 * 3);
  for (auto [y, expected] : {std::pair<uint8_t, uint8_t>{16, 0}, {235, 255}}) {
    auto picture = Picture(160, 96, y, 128, 128);
    orlik_sim_camera_set_picture(1, picture.data(), 160, 96);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    ASSERT_EQ(Memory(buffer.data(), true), 1);
    EXPECT_EQ(buffer[0], expected);
    EXPECT_EQ(buffer[1], expected);
    EXPECT_EQ(buffer[buffer.size() - 1], expected);
  }
}

TEST_F(CaptureTest, AStoppedGraphGivesNoFrameAfterThreeSeconds) {
  ASSERT_EQ(Start(0), 1);
  Fn<decltype(&::Stop)>("Stop")();
  std::vector<uint8_t> buffer(160 * 96 * 3, 0x5A);
  auto start = Clock::now();
  EXPECT_EQ(Memory(buffer.data(), true), 0);
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  EXPECT_GT(seconds, 2.9);
  EXPECT_LT(seconds, 4.5);
  EXPECT_EQ(buffer[0], 0x5A);
  // The request is withdrawn: a frame arriving later does not land anywhere
  // and the next capture works.
  Fn<decltype(&::Play)>("Play")();
  EXPECT_EQ(Memory(buffer.data(), true), 1);
}

}  // namespace
