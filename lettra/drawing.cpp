// Drawing on the page: each export scales its page units to printer pixels
// (Scale), turns position and size into GDI's corner form and makes one GDI
// call on the printer DC. Pens, brushes and fonts are selected into the DC
// and remembered in PrintState.
#include "print_state.h"

#include <cstddef>

using lettra::printState;

namespace {

// Selects a new object and deletes the one it replaces.
void Replace(HDC dc, HGDIOBJ object) {
  HGDIOBJ previous = SelectObject(dc, object);
  if (previous) DeleteObject(previous);
}

// A shape's corners from a position and a size in page units: doubled and
// added in 64 bits, then clamped to what a DC coordinate holds, so values near
// the 32-bit limits give the nearest drawable box instead of wrapping.
struct Box {
  int32_t left, top, right, bottom;
};

Box PageBox(int32_t x, int32_t y, int32_t width, int32_t height) {
  auto& s = printState;
  int64_t left = s.Scale64(x), top = s.Scale64(y);
  return {s.ToDevice(left), s.ToDevice(top), s.ToDevice(left + s.Scale64(width)),
          s.ToDevice(top + s.Scale64(height))};
}

// The box of an ellipse around a centre: halved after scaling, toward zero.
Box CentredBox(int32_t cx, int32_t cy, int32_t width, int32_t height) {
  auto& s = printState;
  int64_t x = s.Scale64(cx), y = s.Scale64(cy);
  int64_t rx = s.Scale64(width) / 2, ry = s.Scale64(height) / 2;
  return {s.ToDevice(x - rx), s.ToDevice(y - ry), s.ToDevice(x + rx), s.ToDevice(y + ry)};
}

// A gradient's corner: the colour's 8-bit channels in the high byte of each
// 16-bit one, opaque.
TRIVERTEX Vertex(int32_t x, int32_t y, COLORREF colour) {
  TRIVERTEX v = {};
  v.x = x;
  v.y = y;
  v.Red = static_cast<COLOR16>(GetRValue(colour) << 8);
  v.Green = static_cast<COLOR16>(GetGValue(colour) << 8);
  v.Blue = static_cast<COLOR16>(GetBValue(colour) << 8);
  v.Alpha = 0;
  return v;
}

// ImageDraw1's bitmap: null when the identifier names no bitmap resource.
HBITMAP LoadPageBitmap(int32_t id) {
  return LoadBitmapW(reinterpret_cast<HINSTANCE>(printState.resourceModule),
                     MAKEINTRESOURCE(static_cast<WORD>(id)));
}

}  // namespace

TOLVEX_EXPORT COLORREF SetPixels(int32_t x, int32_t y, COLORREF colour) {
  return SetPixel(printState.printerDC, printState.Scale(x), printState.Scale(y), colour);
}

TOLVEX_EXPORT BOOL Line(int32_t x1, int32_t y1, int32_t x2, int32_t y2) {
  auto& s = printState;
  MoveToEx(s.printerDC, s.Scale(x1), s.Scale(y1), nullptr);
  return LineTo(s.printerDC, s.Scale(x2), s.Scale(y2));
}

// Points are x, y pairs of 32-bit values, laid out as the platform's POINT.
static_assert(sizeof(POINT) == 2 * sizeof(int32_t) && offsetof(POINT, y) == sizeof(int32_t));

// Points are doubled where they lie: the caller's array holds printer pixels
// afterwards.
static const POINT* ScalePointsInPlace(int32_t* points, int32_t count) {
  if (printState.highQuality && points && count > 0) {
    for (int64_t i = 0; i < int64_t(count) * 2; ++i) points[i] = printState.Scale(points[i]);
  }
  return reinterpret_cast<const POINT*>(points);
}

TOLVEX_EXPORT int32_t Polylines(int32_t* points, int32_t count) {
  return Polyline(printState.printerDC, ScalePointsInPlace(points, count), count);
}

TOLVEX_EXPORT int32_t Polygons(int32_t* points, int32_t count) {
  return Polygon(printState.printerDC, ScalePointsInPlace(points, count), count);
}

TOLVEX_EXPORT BOOL Rectangles(int32_t x, int32_t y, int32_t width, int32_t height) {
  Box b = PageBox(x, y, width, height);
  return Rectangle(printState.printerDC, b.left, b.top, b.right, b.bottom);
}

TOLVEX_EXPORT BOOL RoundRect1(int32_t x, int32_t y, int32_t width, int32_t height,
                              int32_t cornerWidth, int32_t cornerHeight) {
  auto& s = printState;
  Box b = PageBox(x, y, width, height);
  return RoundRect(s.printerDC, b.left, b.top, b.right, b.bottom, s.Scale(cornerWidth),
                   s.Scale(cornerHeight));
}

TOLVEX_EXPORT BOOL RoundRect2(int32_t x, int32_t y, int32_t width, int32_t height,
                              int32_t cornerSize) {
  auto& s = printState;
  Box b = PageBox(x, y, width, height);
  int32_t corner = s.Scale(cornerSize);
  return RoundRect(s.printerDC, b.left, b.top, b.right, b.bottom, corner, corner);
}

TOLVEX_EXPORT BOOL Circle(int32_t cx, int32_t cy, int32_t diameter) {
  Box b = CentredBox(cx, cy, diameter, diameter);
  return Ellipse(printState.printerDC, b.left, b.top, b.right, b.bottom);
}

TOLVEX_EXPORT BOOL Ellipses(int32_t cx, int32_t cy, int32_t width, int32_t height) {
  Box b = CentredBox(cx, cy, width, height);
  return Ellipse(printState.printerDC, b.left, b.top, b.right, b.bottom);
}

TOLVEX_EXPORT BOOL GradientFills(int32_t x, int32_t y, int32_t width, int32_t height,
                                 COLORREF colour1, COLORREF colour2, int32_t mode) {
  auto& s = printState;
  Box b = PageBox(x, y, width, height);
  TRIVERTEX vertices[2] = {Vertex(b.left, b.top, colour1), Vertex(b.right, b.bottom, colour2)};
  GRADIENT_RECT rect = {0, 1};
  return GradientFill(s.printerDC, vertices, 2, &rect, 1, static_cast<ULONG>(mode));
}

TOLVEX_EXPORT int32_t TextOut(int32_t x, int32_t y, const WCHAR* text) {
  auto& s = printState;
  if (!text) return 0;
  SetBkMode(s.printerDC, TRANSPARENT);
  // The right and bottom edges are printer pixels, not page units.
  RECT rect = {s.Scale(x), s.Scale(y), 9000, 9000};
  return DrawTextW(s.printerDC, text, -1, &rect, 0);
}

TOLVEX_EXPORT void ImageDraw1(int32_t id, int32_t x, int32_t y, int32_t width, int32_t height) {
  auto& s = printState;
  x = s.Scale(x);
  y = s.Scale(y);
  width = s.Scale(width);
  height = s.Scale(height);
  HDC memory = CreateCompatibleDC(s.printerDC);
  HBITMAP bitmap = LoadPageBitmap(id);
  if (bitmap) {
    BITMAP info = {};
    GetObjectW(bitmap, sizeof(BITMAP), &info);
    HGDIOBJ previous = SelectObject(memory, bitmap);
    StretchBlt(s.printerDC, x, y, width, height, memory, 0, 0, info.bmWidth, info.bmHeight, SRCCOPY);
    SelectObject(memory, previous);
  }
  DeleteDC(memory);
  if (bitmap) DeleteObject(bitmap);
}

TOLVEX_EXPORT int32_t ImageDraw2(int32_t id, int32_t x, int32_t y) {
  HBITMAP bitmap = LoadPageBitmap(id);
  if (!bitmap) return 0;  // no bitmap, no size to draw at
  BITMAP info = {};
  GetObjectW(bitmap, sizeof(BITMAP), &info);
  ImageDraw1(id, x, y, info.bmWidth, info.bmHeight);
  DeleteObject(bitmap);
  return 1;
}

TOLVEX_EXPORT void ImageDraw3(const WCHAR* fileName, int32_t x, int32_t y, int32_t width,
                              int32_t height) {
  auto& s = printState;
  int64_t left = s.Scale64(x), top = s.Scale64(y);
  int64_t w = width == -1 ? -1 : s.Scale64(width);
  int64_t h = height == -1 ? -1 : s.Scale64(height);
  IImagingFactory* factory = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                              IID_IImagingFactory, reinterpret_cast<void**>(&factory))))
    return;
  IImage* image = nullptr;
  if (FAILED(factory->CreateImageFromFile(fileName, &image))) {
    factory->Release();
    return;
  }
  ImageInfo info = {};
  image->GetImageInfo(&info);
  if (width == -1 && height == -1) {
    w = info.Width;
    h = info.Height;
  }
  RECT destination = {s.ToDevice(left), s.ToDevice(top), s.ToDevice(left + w), s.ToDevice(top + h)};
  image->Draw(s.printerDC, &destination, nullptr);
  image->Release();
  factory->Release();
}

TOLVEX_EXPORT void ImageDraw4(const WCHAR* fileName, int32_t x, int32_t y) {
  ImageDraw3(fileName, x, y, -1, -1);
}

TOLVEX_EXPORT int32_t SetPenStyle(COLORREF colour, int32_t width) {
  auto& s = printState;
  s.penColor = colour;
  s.penWidth = s.Scale(width);
  Replace(s.printerDC, CreatePen(PS_SOLID, s.penWidth, colour));
  return 1;
}

TOLVEX_EXPORT int32_t SetBrushStyle(COLORREF colour, int32_t style) {
  auto& s = printState;
  s.brushColor = colour;
  s.brushStyle = static_cast<uint8_t>(style);
  HBRUSH brush = s.brushStyle == 1 ? static_cast<HBRUSH>(GetStockObject(NULL_BRUSH))
                                   : CreateSolidBrush(colour);
  Replace(s.printerDC, brush);
  return 1;
}

TOLVEX_EXPORT void SetFontCfg1(const WCHAR* faceName, int32_t height, COLORREF colour,
                               int32_t bold, int32_t italic, int32_t smooth) {
  auto& s = printState;
  LOGFONTW font = {};
  font.lfHeight = s.Scale(height);
  font.lfWeight = static_cast<uint8_t>(bold) == 1 ? FW_BOLD : FW_NORMAL;
  font.lfItalic = static_cast<BYTE>(italic);
  font.lfUnderline = 0;
  font.lfStrikeOut = 0;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfQuality = static_cast<uint8_t>(smooth) == 1 ? ANTIALIASED_QUALITY : DEFAULT_QUALITY;
  font.lfPitchAndFamily = 0;
  // Face names longer than the LOGFONT field are cut to fit it.
  orlik_wcscpy_bounded(font.lfFaceName, LF_FACESIZE, faceName);
  Replace(s.printerDC, CreateFontIndirectW(&font));
  SetTextColor(s.printerDC, colour);
  // SetFontCfg2 passes fontFace itself: copying onto itself is a no-op.
  if (faceName != s.fontFace) orlik_wcscpy_bounded(s.fontFace, lettra::kFontFaceUnits, faceName);
  s.fontBold = static_cast<uint8_t>(bold);
  s.fontItalic = static_cast<uint8_t>(italic);
  s.fontSmooth = static_cast<uint8_t>(smooth);
}

TOLVEX_EXPORT void SetFontCfg2(int32_t height, COLORREF colour) {
  auto& s = printState;
  SetFontCfg1(s.fontFace, height, colour, s.fontBold, s.fontItalic, s.fontSmooth);
}

TOLVEX_EXPORT void SetFontCfg3(const WCHAR* faceName, int32_t height, COLORREF colour) {
  auto& s = printState;
  SetFontCfg1(faceName, height, colour, s.fontBold, s.fontItalic, s.fontSmooth);
}
