/* Lettra: the Orlik panel's printing library. Pages are drawn for a PCL
 * inkjet printer on the parallel port "LPT1" and printed.
 *
 * Calling order: PrintSetup, then drawing, Erase, DisplayToPrint1/2 and
 * NewPage, then PrintOut, then IsPrinting until it is no longer 1. A new job
 * starts with PrintSetup; pens, brushes and fonts are set again after it.
 *
 * Page units: in high quality (PrintSetup quality 1) every coordinate, size,
 * pen width and font height is doubled on its way to the printer; in draft it
 * is passed unchanged. Colours are 0x00BBGGRR (red in the low byte).
 *
 * Load it as the framework does, with dlopen (RTLD_LOCAL) and dlsym. Texts are
 * zero-terminated UTF-16. Functions declared void return nothing a caller may
 * use; those returning int32_t without a described meaning return non-zero. */
#ifndef TOLVEX_LETTRA_H
#define TOLVEX_LETTRA_H

#include <stdint.h>
#include <uchar.h>

#include <tolvex/handle.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Print job and page. */
/* deviceName null: "PCL Inkjet". quality 1: high, else draft. colour 1:
 * colour, else black. paper 0/1 A4, 2 B5, 3 Letter, 4 Legal, other values
 * keep the size. orientation 1: portrait, else landscape. Returns 1. */
int32_t PrintSetup(const char16_t* deviceName, int32_t quality, int32_t colour, int32_t paper,
                   int32_t orientation);
int32_t NewPage(void);                   /* > 0 when the page started */
HANDLE PrintOut(void);                   /* the finishing thread, or null */
int32_t IsPrinting(void);                /* 0 idle/done, 1 printing, 2 last print failed */
int32_t GetPaperPixel(int32_t* width, int32_t* height); /* page size in page units */
int32_t Erase(void);                     /* clears the page; pen and brush stay as set */
int32_t DisplayToPrint1(int32_t x, int32_t y, int32_t width, int32_t height); /* -1,-1: screen size */
int32_t DisplayToPrint2(int32_t x, int32_t y);
void* GetPrintDC(void);                  /* the printer's device context (HDC) */

/* Drawing. */
uint32_t SetPixels(int32_t x, int32_t y, uint32_t colour);
int32_t Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2);
/* points: x, y pairs; in high quality they are doubled in place. */
int32_t Polylines(int32_t* points, int32_t count);
int32_t Polygons(int32_t* points, int32_t count);
int32_t Rectangles(int32_t x, int32_t y, int32_t width, int32_t height);
int32_t RoundRect1(int32_t x, int32_t y, int32_t width, int32_t height, int32_t cornerWidth,
                   int32_t cornerHeight);
int32_t RoundRect2(int32_t x, int32_t y, int32_t width, int32_t height, int32_t cornerSize);
int32_t Circle(int32_t cx, int32_t cy, int32_t diameter);
int32_t Ellipses(int32_t cx, int32_t cy, int32_t width, int32_t height);
/* mode 0: left to right, 1: top to bottom. */
int32_t GradientFills(int32_t x, int32_t y, int32_t width, int32_t height, uint32_t colour1,
                      uint32_t colour2, int32_t mode);
int32_t TextOut(int32_t x, int32_t y, const char16_t* text);
/* Bitmap resources of the calling program, by number. */
void ImageDraw1(int32_t resourceId, int32_t x, int32_t y, int32_t width, int32_t height);
int32_t ImageDraw2(int32_t resourceId, int32_t x, int32_t y);
/* BMP, PNG, JPEG or GIF files; width and height -1: one printer pixel per
 * image pixel. */
void ImageDraw3(const char16_t* fileName, int32_t x, int32_t y, int32_t width, int32_t height);
void ImageDraw4(const char16_t* fileName, int32_t x, int32_t y);
int32_t SetPenStyle(uint32_t colour, int32_t width);
int32_t SetBrushStyle(uint32_t colour, int32_t style); /* style 1: hollow, else solid */
/* bold 1: weight 700; smooth 1: anti-aliased. The face at load is "굴림체". */
void SetFontCfg1(const char16_t* faceName, int32_t height, uint32_t colour, int32_t bold,
                 int32_t italic, int32_t smooth);
void SetFontCfg2(int32_t height, uint32_t colour);
void SetFontCfg3(const char16_t* faceName, int32_t height, uint32_t colour);

#ifdef __cplusplus
}
#endif

#endif
