// Bitmap resources of the calling program drawn by ImageDraw1 and ImageDraw2.
#include "lettra_fixture.h"

#include <orlik/module.h>

#include <vector>

namespace lettra_test {
namespace {

// Bitmap resource 101 of this test program: 6 x 4, 24-bit, bottom-up rows;
// green with a blue top row and a red left column.
const std::vector<uint8_t>& Bitmap101() {
  static const std::vector<uint8_t> dib = [] {
    const int w = 6, h = 4, stride = (w * 3 + 3) & ~3;
    std::vector<uint8_t> d(40 + stride * h, 0);
    auto put32 = [&](size_t at, uint32_t v) {
      for (int i = 0; i < 4; ++i) d[at + i] = uint8_t(v >> (8 * i));
    };
    put32(0, 40);
    put32(4, w);
    put32(8, h);
    d[12] = 1;   // planes
    d[14] = 24;  // bits per pixel
    for (int row = 0; row < h; ++row) {
      int y = h - 1 - row;  // bottom-up
      for (int x = 0; x < w; ++x) {
        uint8_t* p = &d[40 + row * stride + x * 3];  // B, G, R
        if (x == 0) {
          p[2] = 255;
        } else if (y == 0) {
          p[0] = 255;
        } else {
          p[1] = 255;
        }
      }
    }
    return d;
  }();
  return dib;
}

struct ProgramResources {
  ProgramResources() {
    table[0] = {RT_BITMAP, MAKEINTRESOURCE(101), Bitmap101().data(), DWORD(Bitmap101().size())};
    orlik_register_resources(this, table, 1);
  }
  ~ProgramResources() { orlik_unregister_resources(this); }
  ORLIK_RESOURCE table[1];
} programResources;

TEST_F(LettraTest, ResourceBitmapsDrawAtTheirSizeAndStretched) {
  for (int quality : {0, 1}) {
    SCOPED_TRACE(quality ? "high quality" : "draft");
    const int k = quality ? 2 : 1;
    PrintSetup(nullptr, quality, 1, 0, 1);
    EXPECT_NE(ImageDraw2(101, 10, 10), 0);  // 6 x 4 page units
    ImageDraw1(101, 100, 10, 60, 40);       // stretched ten times
    EXPECT_EQ(ImageDraw2(999, 300, 300), 0);  // no such bitmap: nothing drawn
    ImageDraw1(999, 300, 300, 50, 50);
    pclread::Page p = PrintOnePage();
    EXPECT_EQ(p.At(10 * k, 10 * k), Rgb(255, 0, 0));
    EXPECT_EQ(p.At(11 * k, 10 * k), Rgb(0, 0, 255));
    EXPECT_EQ(p.At(15 * k, 13 * k), Rgb(0, 255, 0));
    EXPECT_EQ(p.At(16 * k, 14 * k), kWhite);
    EXPECT_EQ(p.At(100 * k, 10 * k), Rgb(255, 0, 0));
    EXPECT_EQ(p.At(109 * k, 19 * k), Rgb(255, 0, 0));
    EXPECT_EQ(p.At(110 * k, 19 * k), Rgb(0, 0, 255));
    EXPECT_EQ(p.At(159 * k, 49 * k), Rgb(0, 255, 0));
    EXPECT_EQ(p.At(160 * k, 50 * k), kWhite);
    EXPECT_EQ(Count(p, 300 * k, 300 * k, 350 * k, 350 * k, kWhite), 50 * k * 50 * k);
  }
}

}  // namespace
}  // namespace lettra_test
