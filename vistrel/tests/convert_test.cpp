// The colour conversion of memory capture, byte for byte against the
// formula computed pixel by pixel, at every capture size and at sizes whose
// rows do not split into whole blocks, on every instruction set the
// processor has.
#include "color_convert.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

namespace {

constexpr vistrel::ConvertPath kPaths[] = {vistrel::ConvertPath::kScalar, vistrel::ConvertPath::kAvx2,
                                            vistrel::ConvertPath::kAvx512};

std::vector<uint8_t> Formula(const std::vector<uint8_t>& yv12, int w, int h, bool bottomUp) {
  std::vector<uint8_t> out(size_t(w) * size_t(h) * 3);
  int n = w * h;
  auto clamp = [](int v) { return v <= 0 ? 0 : v >= 256 ? 255 : v; };
  for (int i = 0; i < h; ++i)
    for (int j = 0; j < w; ++j) {
      int y = yv12[size_t(i * w + j)];
      int v = yv12[size_t(n + ((i / 2) * w) / 2 + j / 2)];
      int u = yv12[size_t(n + n / 4 + ((i / 2) * w) / 2 + j / 2)];
      int l = (y - 16) * 298, d = u - 128, e = v - 128;
      uint8_t* p = &out[(size_t(bottomUp ? h - 1 - i : i) * size_t(w) + size_t(j)) * 3];
      p[0] = uint8_t(clamp((l + 516 * d + 128) >> 8));
      p[1] = uint8_t(clamp((l - 100 * d - 208 * e + 128) >> 8));
      p[2] = uint8_t(clamp((l + 409 * e + 128) >> 8));
    }
  return out;
}

TEST(ConvertToRgb24, MatchesTheFormulaAtEverySizeInBothRowOrders) {
  std::mt19937 random(11);
  const int sizes[][2] = {{160, 96},  {192, 144}, {240, 144}, {256, 192}, {320, 192}, {320, 240}, {448, 336},
                          {480, 288}, {560, 336}, {576, 432}, {640, 384}, {640, 480}, {720, 480}, {380, 228},
                          {18, 4},    {2, 2},     {34, 6},    {98, 10}};
  for (auto [w, h] : sizes) {
    std::vector<uint8_t> frame(size_t(w) * size_t(h) * 3 / 2);
    for (auto& b : frame) b = uint8_t(random());
    // Extremes in the first rows: every clamp is reached.
    for (int j = 0; j < w && j < 64; ++j) frame[size_t(j)] = uint8_t(j & 1 ? 255 : 0);
    for (auto path : kPaths) {
      if (!vistrel::Supports(path)) continue;
      for (bool bottomUp : {false, true}) {
        std::vector<uint8_t> out(size_t(w) * size_t(h) * 3 + 1, 0xA5);
        vistrel::ConvertToRgb24(path, frame.data(), out.data(), w, h, bottomUp);
        auto expected = Formula(frame, w, h, bottomUp);
        ASSERT_TRUE(std::equal(expected.begin(), expected.end(), out.begin()))
            << w << "x" << h << " " << bottomUp << " path " << int(path);
        EXPECT_EQ(out.back(), 0xA5);
      }
    }
  }
}

TEST(ConvertToRgb24, EveryLumaAndChromaValue) {
  // 256 luma values against every chroma pair on a 512 x 256 frame.
  const int w = 512, h = 256;
  std::vector<uint8_t> frame(size_t(w) * h * 3 / 2);
  for (int i = 0; i < h; ++i)
    for (int j = 0; j < w; ++j) frame[size_t(i * w + j)] = uint8_t(j + i);
  size_t n = size_t(w) * h;
  for (size_t k = 0; k < n / 4; ++k) {
    frame[n + k] = uint8_t(k);
    frame[n + n / 4 + k] = uint8_t(k >> 8 ^ k);
  }
  for (auto path : kPaths) {
    if (!vistrel::Supports(path)) continue;
    std::vector<uint8_t> out(n * 3);
    vistrel::ConvertToRgb24(path, frame.data(), out.data(), w, h, false);
    EXPECT_EQ(out, Formula(frame, w, h, false)) << int(path);
  }
}

}  // namespace
