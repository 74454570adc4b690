// GDI on memory DCs, DIB sections and the panel's screen.
#include <orlik/windows.h>

#include "tolvex_test.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

class Gdi : public tolvex_test::PanelTest {
 protected:
  // A memory DC holding a 24-bit bottom-up DIB section of the given size.
  HDC MemoryDC(int w, int h, uint8_t** bits = nullptr) {
    BITMAPINFO bi{};
    bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    bi.bmiHeader.biWidth = w;
    bi.bmiHeader.biHeight = h;
    bi.bmiHeader.biPlanes = 1;
    bi.bmiHeader.biBitCount = 24;
    void* p = nullptr;
    HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &p, nullptr, 0);
    EXPECT_NE(bmp, nullptr);
    if (bits) *bits = static_cast<uint8_t*>(p);
    HDC dc = CreateCompatibleDC(nullptr);
    SelectObject(dc, bmp);
    RECT all{0, 0, w, h};
    HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
    FillRect(dc, &all, white);
    DeleteObject(white);
    return dc;
  }

  // Bounding box of pixels that differ from white.
  static RECT Ink(HDC dc, int w, int h) {
    RECT r{w, h, -1, -1};
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x)
        if (GetPixel(dc, x, y) != RGB(255, 255, 255)) {
          r.left = std::min<LONG>(r.left, x);
          r.top = std::min<LONG>(r.top, y);
          r.right = std::max<LONG>(r.right, x + 1);
          r.bottom = std::max<LONG>(r.bottom, y + 1);
        }
    return r;
  }
};

TEST_F(Gdi, FillRectCoversExactlyItsPixelsAndShowsInTheDibBits) {
  uint8_t* bits = nullptr;
  HDC dc = MemoryDC(8, 4, &bits);
  HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
  RECT r{2, 1, 5, 3};
  EXPECT_EQ(FillRect(dc, &r, red), 1);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 8; ++x) {
      bool inside = x >= 2 && x < 5 && y >= 1 && y < 3;
      EXPECT_EQ(GetPixel(dc, x, y), inside ? RGB(255, 0, 0) : RGB(255, 255, 255)) << x << "," << y;
      // Bottom-up rows of 24 pixels padded to 4 bytes: B, G, R.
      const uint8_t* p = bits + (3 - y) * 24 + x * 3;
      EXPECT_EQ(p[2], 255);
      EXPECT_EQ(p[0], inside ? 0 : 255);
    }
  // Writing the bits directly shows through the DC too.
  bits[0] = 0x10;
  bits[1] = 0x20;
  bits[2] = 0x30;
  EXPECT_EQ(GetPixel(dc, 0, 3), RGB(0x30, 0x20, 0x10));
  EXPECT_EQ(GetPixel(dc, 8, 0), CLR_INVALID);
  DeleteObject(red);
  DeleteDC(dc);
}

TEST_F(Gdi, BlitsCopyAndStretchWithNearestPixels) {
  HDC src = MemoryDC(4, 4);
  SetPixel(src, 0, 0, RGB(1, 2, 3));
  SetPixel(src, 3, 3, RGB(200, 100, 50));
  HDC dst = MemoryDC(16, 16);
  ASSERT_TRUE(BitBlt(dst, 10, 10, 4, 4, src, 0, 0, SRCCOPY));
  EXPECT_EQ(GetPixel(dst, 10, 10), RGB(1, 2, 3));
  EXPECT_EQ(GetPixel(dst, 13, 13), RGB(200, 100, 50));
  EXPECT_EQ(GetPixel(dst, 9, 9), RGB(255, 255, 255));

  ASSERT_TRUE(StretchBlt(dst, 0, 0, 8, 8, src, 0, 0, 4, 4, SRCCOPY));
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) {
      EXPECT_EQ(GetPixel(dst, x, y), RGB(1, 2, 3));
      EXPECT_EQ(GetPixel(dst, 6 + x, 6 + y), RGB(200, 100, 50));
    }
  EXPECT_EQ(GetPixel(dst, 2, 2), RGB(255, 255, 255));

  // A source area reaching past the bitmap copies only what exists.
  SetPixel(dst, 15, 15, RGB(9, 9, 9));
  ASSERT_TRUE(BitBlt(dst, 14, 14, 2, 2, src, 3, 3, SRCCOPY));
  EXPECT_EQ(GetPixel(dst, 14, 14), RGB(200, 100, 50));
  EXPECT_EQ(GetPixel(dst, 15, 15), RGB(9, 9, 9));
  EXPECT_FALSE(BitBlt(dst, 0, 0, 1, 1, nullptr, 0, 0, SRCCOPY));
  DeleteDC(src);
  DeleteDC(dst);
}

TEST_F(Gdi, ObjectsSelectDeleteAndDescribeThemselves) {
  HDC dc = CreateCompatibleDC(nullptr);
  HPEN pen = CreatePen(PS_SOLID, 3, RGB(1, 2, 3));
  HGDIOBJ old = SelectObject(dc, pen);
  EXPECT_EQ(old, GetStockObject(BLACK_PEN));
  EXPECT_TRUE(DeleteObject(pen));  // selected: stays alive
  EXPECT_EQ(GetObjectType(pen), DWORD(OBJ_PEN));
  SelectObject(dc, old);
  EXPECT_TRUE(DeleteObject(pen));
  EXPECT_EQ(GetObjectType(pen), 0u);
  EXPECT_TRUE(DeleteObject(GetStockObject(NULL_BRUSH)));
  EXPECT_EQ(GetObjectType(GetStockObject(NULL_BRUSH)), DWORD(OBJ_BRUSH));

  BITMAPINFO bi{};
  bi.bmiHeader = {sizeof(BITMAPINFOHEADER), 10, -3, 1, 24, BI_RGB, 0, 0, 0, 0, 0};
  void* bits = nullptr;
  HBITMAP bmp = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  BITMAP info{};
  ASSERT_EQ(GetObjectW(bmp, sizeof info, &info), int(sizeof info));
  EXPECT_EQ(info.bmWidth, 10);
  EXPECT_EQ(info.bmHeight, 3);
  EXPECT_EQ(info.bmWidthBytes, 32);
  EXPECT_EQ(info.bmBitsPixel, 24);
  EXPECT_EQ(info.bmBits, bits);
  EXPECT_EQ(GetObjectW(bmp, 4, &info), 0);  // buffer too small
  bi.bmiHeader.biBitCount = 8;
  EXPECT_EQ(CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0), nullptr);
  EXPECT_EQ(bits, nullptr);
  DeleteObject(bmp);
  DeleteDC(dc);
}

TEST_F(Gdi, KoreanFaceResolvesToAFaceWithHangul) {
  HFONT font = CreateFontW(-20, 0, 0, 0, FW_NORMAL, 0, 0, 0, HANGEUL_CHARSET, 0, 0,
                           NONANTIALIASED_QUALITY, 0, u"굴림체");
  ASSERT_NE(font, nullptr);
  HDC dc = MemoryDC(40, 30);
  SelectObject(dc, font);
  // GulimChe's widths: Hangul twice as wide as Latin.
  SIZE hangul{}, latin{};
  GetTextExtentPoint32W(dc, u"굴", 1, &hangul);
  GetTextExtentPoint32W(dc, u"a", 1, &latin);
  EXPECT_NEAR(hangul.cx, 2 * latin.cx, 1);
  // A character the face lacks draws its empty box; Hangul must not look like it.
  auto draw = [&](const char16_t* text) {
    RECT all{0, 0, 40, 30};
    HBRUSH white = CreateSolidBrush(RGB(255, 255, 255));
    FillRect(dc, &all, white);
    DeleteObject(white);
    TextOutW(dc, 2, 2, text, 1);
    std::vector<COLORREF> px;
    for (int y = 0; y < 30; ++y)
      for (int x = 0; x < 40; ++x) px.push_back(GetPixel(dc, x, y));
    return px;
  };
  auto missing = draw(u"\uE123");
  EXPECT_NE(draw(u"굴"), missing) << "Hangul would draw as empty boxes";
  EXPECT_NE(draw(u"림"), draw(u"굴"));
  DeleteDC(dc);

  // A face that is not installed falls back by matching instead of failing.
  HFONT other = CreateFontW(-12, 0, 0, 0, FW_BOLD, 1, 0, 0, 0, 0, 0, 0, 0, u"No Such Face 123");
  EXPECT_NE(other, nullptr);
  LOGFONTW lf{};
  EXPECT_EQ(GetObjectW(other, sizeof lf, &lf), int(sizeof lf));
  EXPECT_EQ(lf.lfWeight, FW_BOLD);
  EXPECT_EQ(std::u16string(lf.lfFaceName), u"No Such Face 123");
  DeleteObject(font);
  DeleteObject(other);
}

TEST_F(Gdi, TextIsDrawnWhereMeasuredInTheTextColour) {
  HDC dc = MemoryDC(200, 60);
  HFONT font = CreateFontW(-20, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, NONANTIALIASED_QUALITY, 0, u"굴림체");
  SelectObject(dc, font);
  SetTextColor(dc, RGB(0, 0, 255));
  SetBkMode(dc, TRANSPARENT);

  SIZE size{};
  ASSERT_TRUE(GetTextExtentPoint32W(dc, u"HIH", 3, &size));
  EXPECT_GT(size.cx, 20);
  int fit = 0, dx[3] = {};
  ASSERT_TRUE(GetTextExtentExPointW(dc, u"HIH", 3, size.cx - 1, &fit, dx, nullptr));
  EXPECT_EQ(fit, 2);
  EXPECT_EQ(dx[2], size.cx);
  EXPECT_LT(dx[0], dx[1]);

  RECT box{0, 0, 200, 60};
  int height = DrawTextW(dc, u"HIH", -1, &box, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
  EXPECT_GT(height, 0);
  RECT ink = Ink(dc, 200, 60);
  // Centred both ways, within a pixel or two of side bearings.
  EXPECT_NEAR((ink.left + ink.right) / 2.0, 100, 3);
  EXPECT_NEAR((ink.top + ink.bottom) / 2.0, 30, 5);
  EXPECT_EQ(GetPixel(dc, (ink.left + 1), (ink.top + ink.bottom) / 2), RGB(0, 0, 255));

  // Right alignment ends at the right edge.
  HDC right = MemoryDC(200, 30);
  SelectObject(right, font);
  SetBkMode(right, TRANSPARENT);
  RECT rbox{0, 0, 150, 30};
  DrawTextW(right, u"HIH", -1, &rbox, DT_RIGHT | DT_SINGLELINE);
  EXPECT_NEAR(Ink(right, 200, 30).right, 150, 3);
  DeleteDC(right);
  DeleteDC(dc);
  DeleteObject(font);
}

TEST_F(Gdi, WordBreakWrapsAtSpacesAndKeepsLongWordsWhole) {
  HDC dc = MemoryDC(100, 100);
  HFONT font = CreateFontW(-16, 0, 0, 0, FW_NORMAL, 0, 0, 0, 0, 0, 0, 0, 0, u"DejaVu Sans Mono");
  SelectObject(dc, font);
  SIZE one{};
  GetTextExtentPoint32W(dc, u"x", 1, &one);
  int lineHeight = one.cy;
  struct Case {
    const char16_t* text;
    int widthInChars;
    UINT format;
    int lines;
  } cases[] = {
      {u"aaa bbb ccc", 7, DT_WORDBREAK, 2},      // "aaa bbb" / "ccc"
      {u"aaa bbb ccc", 11, DT_WORDBREAK, 1},
      {u"aaa bbb ccc", 3, DT_WORDBREAK, 3},
      {u"aaaaaaaaaa b", 4, DT_WORDBREAK, 2},     // the long word is not split
      {u"one\r\ntwo\nthree", 50, 0, 3},          // line breaks without wrapping
      {u"one\r\ntwo", 50, DT_SINGLELINE, 1},
      {u"", 10, DT_WORDBREAK, 1},
  };
  for (const auto& c : cases) {
    RECT r{0, 0, one.cx * c.widthInChars, 0};
    int h = DrawTextW(dc, c.text, -1, &r, c.format | DT_CALCRECT);
    EXPECT_EQ(h, c.lines * lineHeight) << orlik::ToUtf8(c.text) << " in " << c.widthInChars;
    EXPECT_EQ(r.bottom, h);
  }
  DeleteDC(dc);
  DeleteObject(font);
}

TEST_F(Gdi, ScreenIsTheBoardsFramebufferAndPresentsAsPng) {
  int w = 0, h = 0;
  orlik_sim_screen_size(&w, &h);
  EXPECT_EQ(w, 800);
  EXPECT_EQ(h, 480);
  HDC screen = GetDC(nullptr);
  EXPECT_EQ(GetDeviceCaps(screen, HORZRES), 800);
  HBRUSH green = CreateSolidBrush(RGB(0, 200, 0));
  RECT r{790, 470, 900, 900};  // clipped to the screen
  FillRect(screen, &r, green);
  EXPECT_EQ(orlik_sim_screen_pixel(799, 479), RGB(0, 200, 0));
  EXPECT_EQ(orlik_sim_screen_pixel(789, 479), RGB(0, 0, 0));
  EXPECT_EQ(orlik_sim_screen_pixel(800, 0), 0xFFFFFFFFu);

  std::string png = root_.path() + "/screen.png";
  ASSERT_EQ(orlik_sim_screen_save_png(png.c_str()), 1);
  std::ifstream in(png, std::ios::binary);
  char magic[4] = {};
  in.read(magic, 4);
  EXPECT_EQ(std::string(magic + 1, 3), "PNG");
  EXPECT_EQ(orlik_sim_screen_save_png("/nonexistent-dir/x.png"), 0);
  ReleaseDC(nullptr, screen);
  DeleteObject(green);
  orlik_sim_reset();
  EXPECT_EQ(orlik_sim_screen_pixel(799, 479), RGB(0, 0, 0));
}

TEST_F(Gdi, BitmapFilesLoadAsDibSections) {
  // A 2 x 2 24-bit BMP written by hand: bottom row blue, white; top row red, green.
  const uint8_t pixels[] = {255, 0, 0, 255, 255, 255, 0, 0, 0, 0, 255, 0, 255, 0, 0, 0};
  std::vector<uint8_t> file = {'B', 'M'};
  auto put32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) file.push_back(uint8_t(v >> (8 * i))); };
  auto put16 = [&](uint16_t v) { file.push_back(uint8_t(v)); file.push_back(uint8_t(v >> 8)); };
  put32(54 + sizeof pixels); put32(0); put32(54);
  put32(40); put32(2); put32(2); put16(1); put16(24); put32(0); put32(sizeof pixels);
  put32(2835); put32(2835); put32(0); put32(0);
  file.insert(file.end(), pixels, pixels + sizeof pixels);
  std::ofstream(root_.path() + "/Pic.bmp", std::ios::binary).write(reinterpret_cast<const char*>(file.data()), long(file.size()));

  HBITMAP bmp = SHLoadDIBitmap(u"\\pic.BMP");
  ASSERT_NE(bmp, nullptr);
  HDC dc = CreateCompatibleDC(nullptr);
  SelectObject(dc, bmp);
  EXPECT_EQ(GetPixel(dc, 0, 0), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(dc, 1, 0), RGB(0, 255, 0));
  EXPECT_EQ(GetPixel(dc, 0, 1), RGB(0, 0, 255));
  EXPECT_EQ(GetPixel(dc, 1, 1), RGB(255, 255, 255));
  DeleteDC(dc);
  DeleteObject(bmp);
  EXPECT_EQ(SHLoadDIBitmap(u"\\missing.bmp"), nullptr);
  std::ofstream(root_.path() + "/junk.bmp") << "not a picture";
  EXPECT_EQ(SHLoadDIBitmap(u"\\junk.bmp"), nullptr);
}

}  // namespace
