// Lettra's exports that set up, draw and print a page, as one table
// (TOLVEX_EXPORT_TABLE): the tests, the tour's sample page and the printing
// benchmark load them alike.
#pragma once

#include "export_table.h"

#include <tolvex/lettra.h>

#define LETTRA_PAGE_EXPORTS(X)                                                                        \
  X(PrintSetup) X(Erase) X(DisplayToPrint1) X(DisplayToPrint2) X(SetPixels) X(Line) X(Polylines)      \
  X(Polygons) X(Rectangles) X(RoundRect1) X(RoundRect2) X(Circle) X(Ellipses) X(GradientFills)        \
  X(TextOut) X(ImageDraw1) X(ImageDraw2) X(ImageDraw3) X(ImageDraw4) X(SetPenStyle) X(SetBrushStyle)  \
  X(SetFontCfg1) X(SetFontCfg2) X(SetFontCfg3) X(PrintOut) X(IsPrinting) X(GetPaperPixel)
