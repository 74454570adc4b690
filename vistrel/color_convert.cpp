// ConvertToRgb24. For pixel (i, j) with Y, U, V and L = (Y - 16) * 298,
// D = U - 128, E = V - 128, in 32-bit integers with arithmetic shifts:
//   blue  = (L + 516 * D + 128) >> 8
//   green = (L - 100 * D - 208 * E + 128) >> 8
//   red   = (L + 409 * E + 128) >> 8
// each clamped to 0..255. Chroma for (i, j) sits at n + ((i / 2) * w) / 2
// + j / 2 in the V plane and n / 4 further on in the U plane (n = w * h):
// each chroma sample covers a 2 x 2 block.
#include "color_convert.h"

#include <cstddef>

namespace vistrel {

namespace {

inline uint8_t Clamp(int32_t v) { return v <= 0 ? 0 : v >= 256 ? 255 : uint8_t(v); }

inline void Pixel(int32_t y, int32_t blueD, int32_t greenDE, int32_t redE, uint8_t* out) {
  int32_t l = (y - 16) * 298 + 128;
  out[0] = Clamp((l + blueD) >> 8);
  out[1] = Clamp((l + greenDE) >> 8);
  out[2] = Clamp((l + redE) >> 8);
}

}  // namespace

void ConvertToRgb24(const uint8_t* src, uint8_t* dst, int32_t w, int32_t h, bool bottomUp) {
  if (!src || !dst || w <= 0 || h <= 0) return;
  const size_t n = size_t(w) * size_t(h);
  const uint8_t* vPlane = src + n;
  const uint8_t* uPlane = src + n + n / 4;
  for (int32_t i = 0; i < h; ++i) {
    const uint8_t* yRow = src + size_t(i) * size_t(w);
    size_t chromaRow = (size_t(i / 2) * size_t(w)) / 2;
    const uint8_t* vRow = vPlane + chromaRow;
    const uint8_t* uRow = uPlane + chromaRow;
    uint8_t* out = dst + size_t(bottomUp ? h - 1 - i : i) * size_t(w) * 3;
    int32_t j = 0;
    // Two pixels share each chroma sample.
    for (; j + 1 < w; j += 2) {
      int32_t d = int32_t(uRow[j / 2]) - 128;
      int32_t e = int32_t(vRow[j / 2]) - 128;
      int32_t blueD = 516 * d, greenDE = -100 * d - 208 * e, redE = 409 * e;
      Pixel(yRow[j], blueD, greenDE, redE, out + size_t(j) * 3);
      Pixel(yRow[j + 1], blueD, greenDE, redE, out + size_t(j) * 3 + 3);
    }
    if (j < w) {
      int32_t d = int32_t(uRow[j / 2]) - 128;
      int32_t e = int32_t(vRow[j / 2]) - 128;
      Pixel(yRow[j], 516 * d, -100 * d - 208 * e, 409 * e, out + size_t(j) * 3);
    }
  }
}

}  // namespace vistrel
