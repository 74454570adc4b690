// Drawing exports: shapes, text and images land at the right printer pixels
// in draft and high quality.
#include "lettra_fixture.h"

#include <stb_image_write.h>

#include <filesystem>
#include <limits>
#include <vector>

namespace lettra_test {
namespace {

namespace fs = std::filesystem;

TEST_F(LettraTest, ShapesLandAtScaledPrinterPixels) {
  for (int quality : {0, 1}) {
    SCOPED_TRACE(quality ? "high quality" : "draft");
    const int k = quality ? 2 : 1;
    PrintSetup(nullptr, quality, 1, 0, 1);
    SetPenStyle(RGB(0, 0, 0), 1);
    SetBrushStyle(RGB(255, 0, 0), 0);
    Rectangles(10, 20, 30, 40);  // Rectangle(10,20,40,60) x k
    SetBrushStyle(RGB(0, 0, 255), 0);
    Circle(100, 100, 51);        // draft Ellipse(75,75,125,125); high (149,149,251,251)
    SetBrushStyle(0, 1);         // hollow
    Ellipses(300, 100, 40, 20);  // Ellipse(280,90,320,110) x k
    RoundRect2(400, 50, 100, 60, 30);
    Line(10, 300, 110, 300);
    SetPixels(500, 500, RGB(0, 255, 0));
    pclread::Page p = PrintOnePage();

    // Rectangle: pen on the outermost pixels, right and bottom exclusive.
    EXPECT_EQ(p.At(10 * k, 20 * k), kBlack);
    EXPECT_EQ(p.At(40 * k - 1, 60 * k - 1), kBlack);
    EXPECT_EQ(p.At(40 * k, 60 * k), kWhite);
    EXPECT_EQ(p.At(10 * k - 1, 20 * k), kWhite);
    EXPECT_EQ(p.At(25 * k, 40 * k), Rgb(255, 0, 0));
    // Circle: radius from the scaled diameter, halved toward zero.
    const int r = (51 * k) / 2, c = 100 * k;
    EXPECT_EQ(p.At(c, c), Rgb(0, 0, 255));
    EXPECT_EQ(p.At(c - r, c), kBlack);
    EXPECT_EQ(p.At(c - r - 1, c), kWhite);
    EXPECT_EQ(p.At(c, c - r), kBlack);
    EXPECT_EQ(p.At(c + r + 1, c), kWhite);
    EXPECT_EQ(p.At(c - r + k + 1, c - r + k + 1), kWhite);  // outside the round
    // Hollow ellipse: outline only.
    EXPECT_EQ(p.At(280 * k, 100 * k), kBlack);
    EXPECT_EQ(p.At(280 * k - 1, 100 * k), kWhite);
    EXPECT_EQ(p.At(300 * k, 90 * k), kBlack);
    EXPECT_EQ(p.At(300 * k, 100 * k), kWhite);
    // Rounded rectangle: straight edges reach the middle, corners are cut.
    EXPECT_EQ(p.At(450 * k, 50 * k), kBlack);
    EXPECT_EQ(p.At(400 * k, 80 * k), kBlack);
    EXPECT_EQ(p.At(400 * k + 1, 50 * k + 1), kWhite);
    // Line stops before its end point (one pixel pen in draft).
    EXPECT_EQ(p.At(10 * k, 300 * k), kBlack);
    EXPECT_EQ(p.At(60 * k, 300 * k), kBlack);
    EXPECT_EQ(p.At(110 * k + 2, 300 * k), kWhite);
    EXPECT_EQ(p.At(500 * k, 500 * k), Rgb(0, 255, 0));
  }
}

TEST_F(LettraTest, PolylinesDoubleTheCallersPointsInPlace) {
  PrintSetup(nullptr, 1, 1, 0, 1);
  int32_t points[] = {10, 10, 60, 10, 60, 40};
  EXPECT_NE(Polylines(points, 3), 0);
  const int32_t doubled[] = {20, 20, 120, 20, 120, 80};
  EXPECT_TRUE(std::equal(std::begin(points), std::end(points), std::begin(doubled)));
  EXPECT_NE(Polylines(points, 3), 0);  // now at four times the page units
  int32_t triangle[] = {300, 300, 400, 300, 350, 380};
  SetBrushStyle(RGB(0, 255, 0), 0);
  EXPECT_NE(Polygons(triangle, 3), 0);
  EXPECT_EQ(triangle[0], 600);
  EXPECT_EQ(Polylines(nullptr, 3), 0);  // no points: fails, touches nothing
  pclread::Page p = PrintOnePage();
  EXPECT_EQ(p.At(70, 20), kBlack);   // first call: y = 20
  EXPECT_EQ(p.At(70, 40), kBlack);   // second call: y = 40
  EXPECT_EQ(p.At(240, 100), kBlack);
  EXPECT_EQ(p.At(70, 30), kWhite);
  EXPECT_EQ(p.At(700, 650), Rgb(0, 255, 0));
  EXPECT_EQ(p.At(600, 600), kBlack);
}

TEST_F(LettraTest, GradientRunsBetweenItsTwoColours) {
  PrintSetup(nullptr, 0, 1, 0, 1);
  EXPECT_NE(GradientFills(10, 10, 100, 20, RGB(255, 0, 0), RGB(0, 0, 255), 0), 0);
  EXPECT_NE(GradientFills(10, 100, 20, 100, RGB(0, 255, 0), RGB(255, 255, 0), 1), 0);
  EXPECT_EQ(GradientFills(10, 300, 20, 20, 0, 0, 7), 0);  // an unknown mode draws nothing
  pclread::Page p = PrintOnePage();
  EXPECT_EQ(p.At(10, 15), Rgb(255, 0, 0));
  EXPECT_EQ(p.At(109, 15), Rgb(0, 0, 255));
  EXPECT_EQ(p.At(110, 15), kWhite);
  EXPECT_EQ(p.At(15, 100), Rgb(0, 255, 0));
  EXPECT_EQ(p.At(15, 199), Rgb(255, 255, 0));
  // The middle mixes both ends' inks.
  int red = Count(p, 55, 10, 65, 30, Rgb(255, 0, 0)), blue = Count(p, 55, 10, 65, 30, Rgb(0, 0, 255));
  EXPECT_GT(red + blue, 0);
  EXPECT_GT(Count(p, 55, 10, 65, 30, kWhite) + Count(p, 55, 10, 65, 30, Rgb(255, 0, 255)) +
                Count(p, 55, 10, 65, 30, kBlack) + red + blue,
            150);
}

TEST_F(LettraTest, TextAppearsInTheChosenFontAndColourWhereDrawn) {
  PrintSetup(nullptr, 0, 1, 0, 1);
  SetFontCfg1(u"굴림체", 40, RGB(0, 0, 255), 1, 0, 0);
  EXPECT_GT(TextOut(100, 100, u"한글 인쇄"), 0);
  SetFontCfg2(20, RGB(255, 0, 0));  // same face and flags, smaller, red
  TextOut(100, 300, u"Lettra");
  pclread::Page p = PrintOnePage();
  // Blue ink only inside the first line's box, red only in the second's.
  int blueInside = Count(p, 100, 100, 100 + 5 * 40, 140, Rgb(0, 0, 255));
  EXPECT_GT(blueInside, 500);
  EXPECT_EQ(Count(p, 0, 0, p.width, 100, Rgb(0, 0, 255)), 0);
  EXPECT_EQ(Count(p, 0, 145, p.width, p.height, Rgb(0, 0, 255)), 0);
  EXPECT_GT(Count(p, 100, 300, 100 + 6 * 20, 320, Rgb(255, 0, 0)), 60);
  EXPECT_EQ(Count(p, 0, 145, p.width, 300, Rgb(255, 0, 0)), 0);
  // Hangul glyphs, not empty boxes: a box's middle column is unlinked, a
  // glyph of "한" has ink in its upper middle.
  int topMiddle = Count(p, 110, 100, 130, 115, Rgb(0, 0, 255));
  EXPECT_GT(topMiddle, 0);
}

TEST_F(LettraTest, ImageFilesDrawAtTheirSize) {
  // A 100 x 50 image: red with a green first column and row.
  std::vector<uint8_t> rgb(100 * 50 * 3);
  for (int y = 0; y < 50; ++y)
    for (int x = 0; x < 100; ++x) {
      uint8_t* px = &rgb[(y * 100 + x) * 3];
      bool edge = x == 0 || y == 0;
      px[0] = edge ? 0 : 255;
      px[1] = edge ? 255 : 0;
      px[2] = 0;
    }
  std::string file = root_.path() + "/Picture.png";
  ASSERT_NE(stbi_write_png(file.c_str(), 100, 50, 3, rgb.data(), 300), 0);

  PrintSetup(nullptr, 1, 1, 0, 1);
  ImageDraw4(u"\\picture.png", 10, 10);              // natural size at (20, 20)
  ImageDraw3(u"\\Picture.png", 10, 200, 50, 25);     // 100 x 50 printer pixels at (20, 400)
  ImageDraw4(u"\\missing.png", 500, 500);            // nothing, no failure
  fs::create_directories(root_.path() + "/Images.png");
  ImageDraw4(u"\\Images.png", 500, 500);             // a folder: nothing, no failure
  ImageDraw3(u"\\", 500, 500, 10, 10);               // the root folder: the same
  pclread::Page p = PrintOnePage();
  EXPECT_EQ(p.At(20, 20), Rgb(0, 255, 0));
  EXPECT_EQ(p.At(21, 21), Rgb(255, 0, 0));
  EXPECT_EQ(p.At(119, 69), Rgb(255, 0, 0));
  EXPECT_EQ(p.At(120, 70), kWhite);
  EXPECT_EQ(p.At(19, 19), kWhite);
  EXPECT_EQ(p.At(60, 420), Rgb(255, 0, 0));
  EXPECT_EQ(p.At(119, 449), Rgb(255, 0, 0));
  EXPECT_EQ(p.At(120, 450), kWhite);
  EXPECT_EQ(Count(p, 990, 990, 1100, 1100, kWhite), 110 * 110);
}

// Corners are computed in 64 bits and clamped to the DC's coordinates: a
// shape near the 32-bit limits ends at the edge of the coordinate range
// instead of wrapping round to the other side of the page.
TEST_F(LettraTest, ShapesNearTheIntegerLimitsAreClampedNotWrapped) {
  constexpr int32_t kMax = std::numeric_limits<int32_t>::max();
  constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
  // Draft: every shape lies beyond the right edge of the coordinate range.
  PrintSetup(nullptr, 0, 1, 0, 1);
  SetPenStyle(RGB(0, 0, 0), 1);
  SetBrushStyle(RGB(255, 0, 0), 0);
  EXPECT_NE(Rectangles(kMax - 50, 10, 100, 20), 0);
  EXPECT_NE(RoundRect1(kMax - 50, 40, 100, 20, 4, 4), 0);
  EXPECT_NE(RoundRect2(kMax - 50, 70, 100, 20, 4), 0);
  EXPECT_NE(Circle(kMax - 50, 100, 200), 0);
  EXPECT_NE(Ellipses(kMax - 50, 140, 200, 20), 0);
  EXPECT_NE(GradientFills(kMax - 50, 160, 100, 20, RGB(255, 0, 0), RGB(0, 0, 255), 0), 0);
  EXPECT_NE(Rectangles(10, kMax - 10, 20, 20), 0);
  pclread::Page draft = PrintOnePage();
  EXPECT_EQ(Count(draft, 0, 0, draft.width, 200, kWhite), draft.width * 200) << "nothing on the page";

  // High quality: the doubled corners leave the 32-bit range on the left;
  // what is left of each shape reaches from the page's left edge to its true
  // right edge.
  PrintSetup(nullptr, 1, 1, 0, 1);
  SetPenStyle(RGB(0, 0, 0), 1);
  SetBrushStyle(RGB(255, 0, 0), 0);
  EXPECT_NE(Rectangles(kMin + 100, 100, -(kMin + 100) + 50, 20), 0);  // right edge 100
  EXPECT_NE(GradientFills(kMin + 100, 200, -(kMin + 100) + 50, 20, RGB(0, 0, 255), RGB(0, 0, 255), 0), 0);
  EXPECT_NE(Ellipses(kMin / 2, 300, kMax, 40), 0);  // right edge about 2 * (kMin/2 + kMax/2)
  pclread::Page high = PrintOnePage();
  EXPECT_EQ(high.At(50, 220), Rgb(255, 0, 0));
  EXPECT_EQ(high.At(99, 220), kBlack);
  EXPECT_EQ(high.At(101, 220), kWhite);
  EXPECT_EQ(high.At(50, 420), Rgb(0, 0, 255));
  EXPECT_EQ(high.At(101, 420), kWhite);
  EXPECT_EQ(high.At(0, 600), kWhite) << "the ellipse ends left of the page";
}

TEST_F(LettraTest, HollowBrushDrawsOnlyTheOutline) {
  PrintSetup(nullptr, 0, 1, 0, 1);
  SetBrushStyle(RGB(255, 0, 0), 1);
  Rectangles(10, 10, 50, 50);
  SetBrushStyle(RGB(255, 0, 0), 0x100);  // only the low byte counts: solid
  Rectangles(100, 10, 50, 50);
  pclread::Page p = PrintOnePage();
  EXPECT_EQ(p.At(10, 10), kBlack);
  EXPECT_EQ(p.At(35, 35), kWhite);
  EXPECT_EQ(p.At(125, 35), Rgb(255, 0, 0));
}

}  // namespace
}  // namespace lettra_test
