// The sample page: every drawing export of libLettra.so on one A4 page,
// drawn in page units that fill a draft page (1165 x 1641) and, doubled, a
// high-quality one. Shared by the tour and the printing benchmark.
#pragma once

#include "lettra_exports.h"

#include <cstdint>

namespace lettra_sample {

TOLVEX_EXPORT_TABLE(Exports, LETTRA_PAGE_EXPORTS);

constexpr uint32_t Colour(uint8_t r, uint8_t g, uint8_t b) {
  return r | (uint32_t(g) << 8) | (uint32_t(b) << 16);
}

// Draws the page after PrintSetup. image: a panel path of a picture file;
// bitmapId: a bitmap resource of the program, or 0 for none.
inline void DrawSamplePage(const Exports& e, const char16_t* image, int32_t bitmapId) {
  const uint32_t ink = Colour(0, 0, 0), navy = Colour(0, 0, 128), red = Colour(220, 0, 0),
                 green = Colour(0, 160, 0), blue = Colour(0, 0, 255), yellow = Colour(255, 255, 0),
                 cyan = Colour(0, 255, 255), magenta = Colour(255, 0, 255);
  e.Erase();
  // Heading and text in the default face (굴림체) and others.
  e.SetFontCfg1(u"굴림체", 44, navy, 1, 0, 1);
  e.TextOut(60, 40, u"Lettra 인쇄 견본 / sample page");
  e.SetFontCfg2(24, ink);
  e.TextOut(60, 100, u"모든 그리기 기능을 한 장에: every drawing export on one A4 page");
  e.SetFontCfg3(u"DejaVu Serif", 24, red);
  e.TextOut(60, 135, u"SetFontCfg3: another face, red");
  e.SetFontCfg1(u"DejaVu Sans", 24, green, 0, 1, 0);
  e.TextOut(620, 135, u"italic, green");

  auto label = [&](int32_t x, int32_t y, const char16_t* text) {
    e.SetFontCfg1(u"굴림체", 18, ink, 0, 0, 0);
    e.TextOut(x, y, text);
  };

  // Row 1: rectangles, rounded rectangles.
  e.SetPenStyle(ink, 2);
  e.SetBrushStyle(red, 0);
  e.Rectangles(60, 200, 200, 130);
  e.SetBrushStyle(ink, 1);
  e.Rectangles(90, 230, 140, 70);
  label(60, 340, u"Rectangles (filled, hollow)");
  e.SetPenStyle(blue, 3);
  e.SetBrushStyle(yellow, 0);
  e.RoundRect1(320, 200, 220, 130, 80, 40);
  label(320, 340, u"RoundRect1 80 x 40");
  e.SetPenStyle(green, 1);
  e.SetBrushStyle(cyan, 0);
  e.RoundRect2(600, 200, 220, 130, 50);
  label(600, 340, u"RoundRect2 50");
  e.SetPenStyle(ink, 1);
  e.SetBrushStyle(magenta, 0);
  e.Circle(960, 265, 130);
  label(890, 340, u"Circle 130");

  // Row 2: ellipses, polygon, polyline, lines, pixels.
  e.SetPenStyle(navy, 2);
  e.SetBrushStyle(Colour(255, 128, 0), 0);
  e.Ellipses(160, 460, 200, 110);
  label(60, 530, u"Ellipses 200 x 110");
  e.SetPenStyle(ink, 2);
  e.SetBrushStyle(green, 0);
  int32_t star[] = {430, 390, 455, 450, 520, 450, 468, 488, 490, 550,
                    430, 512, 370, 550, 392, 488, 340, 450, 405, 450};
  e.Polygons(star, 10);
  label(340, 560, u"Polygons (star)");
  e.SetPenStyle(red, 3);
  int32_t zigzag[] = {600, 520, 640, 400, 680, 520, 720, 400, 760, 520, 800, 400};
  e.Polylines(zigzag, 6);
  label(600, 560, u"Polylines");
  e.SetPenStyle(blue, 1);
  for (int32_t i = 0; i <= 10; ++i) e.Line(860, 400 + i * 14, 1100, 540 - i * 14);
  label(860, 560, u"Line x 11");
  for (int32_t y = 0; y < 40; ++y)
    for (int32_t x = 0; x < 40; ++x)
      if ((x / 5 + y / 5) % 2 == 0) e.SetPixels(1110 + x, 400 + y, Colour(uint8_t(x * 6), 0, uint8_t(y * 6)));

  // Row 3: gradients.
  e.GradientFills(60, 610, 500, 90, red, blue, 0);
  label(60, 705, u"GradientFills horizontal, red to blue");
  e.GradientFills(600, 610, 500, 90, yellow, navy, 1);
  label(600, 705, u"GradientFills vertical, yellow to navy");

  // Row 4: the screen, stretched and at its own size (in draft one page unit
  // per screen pixel; in high quality the copy keeps one printer pixel per
  // screen pixel, a quarter of the area).
  e.SetPenStyle(ink, 1);
  e.SetBrushStyle(ink, 1);
  e.DisplayToPrint1(60, 790, 240, 144);
  e.Rectangles(59, 789, 242, 146);
  label(60, 760, u"DisplayToPrint1 240 x 144");
  e.DisplayToPrint2(340, 790);
  label(340, 760, u"DisplayToPrint2");

  // Row 5: pictures.
  label(60, 1300, u"ImageDraw4, ImageDraw3 320 x 120");
  e.ImageDraw4(image, 60, 1330);
  e.ImageDraw3(image, 340, 1330, 320, 120);
  if (bitmapId) {
    label(720, 1300, u"ImageDraw2, ImageDraw1 200 x 100");
    e.ImageDraw2(bitmapId, 720, 1330);
    e.ImageDraw1(bitmapId, 720, 1470, 200, 100);
  }
}

}  // namespace lettra_sample
