// GDI internals: objects behind the handles, and device contexts drawing on
// Cairo image surfaces. Other parts of the platform (window system, printer
// driver, imaging) build on these.
#pragma once

#include <orlik/gdi.h>

#include "core/handles.h"

#include <cairo.h>

#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace orlik::gdi {

// All GDI work is serialised: Cairo surfaces are not safe to share between
// threads, and the screen is shared by every window.
std::recursive_mutex& Lock();

class GdiObject : public KernelObject {
 public:
  virtual DWORD Type() const = 0;
  bool stock = false;
  int selectedCount = 0;  // DCs this object is selected into
};

class Pen final : public GdiObject {
 public:
  DWORD Type() const override { return OBJ_PEN; }
  int style = PS_SOLID;
  int width = 1;
  COLORREF color = 0;
};

class Brush final : public GdiObject {
 public:
  DWORD Type() const override { return OBJ_BRUSH; }
  UINT style = BS_SOLID;
  COLORREF color = 0;
};

// A bitmap: a Cairo RGB24 surface. A DIB section also has the caller-visible
// bits in its own layout; they are copied into the surface before it is used
// and back after it was drawn on, so callers see drawing in their bits.
class Bitmap final : public GdiObject {
 public:
  Bitmap(int width, int height, int bitsPixel);
  ~Bitmap() override;
  DWORD Type() const override { return OBJ_BITMAP; }
  int width, height, bitsPixel;
  cairo_surface_t* surface = nullptr;
  // DIB section storage (null for device-dependent bitmaps).
  uint8_t* dibBits = nullptr;
  int dibStride = 0;
  bool dibTopDown = false;
  void ImportBits();  // caller bits -> surface
  void ExportBits();  // surface -> caller bits
};

struct Glyph {
  unsigned long index = 0;
  double advance = 0;
};

class Font final : public GdiObject {
 public:
  ~Font() override;
  DWORD Type() const override { return OBJ_FONT; }
  LOGFONTW log{};
  cairo_font_face_t* face = nullptr;
  cairo_scaled_font_t* scaled = nullptr;
  double ascent = 0, descent = 0;  // pixels
  bool antialias = true;
  std::map<char32_t, Glyph> glyphs;
  const Glyph& GlyphFor(char32_t c);
};

enum class DcKind { kMemory, kSurface };

class DeviceContext final : public GdiObject {
 public:
  ~DeviceContext() override;
  DWORD Type() const override { return kind == DcKind::kMemory ? OBJ_MEMDC : OBJ_DC; }

  DcKind kind = DcKind::kSurface;
  cairo_surface_t* target = nullptr;  // referenced while the DC lives
  int originX = 0, originY = 0;       // the DC's (0,0) in the target
  int width = 0, height = 0;          // the DC's area in the target
  // A window's DC draws only on the part of it no other window covers:
  // these rectangles in DC coordinates (none: nothing), when clipped.
  bool clipped = false;
  std::vector<RECT> visible;

  HGDIOBJ pen = nullptr, brush = nullptr, font = nullptr, bitmap = nullptr;
  COLORREF textColor = RGB(0, 0, 0);
  COLORREF bkColor = RGB(255, 255, 255);
  int bkMode = OPAQUE;
  POINT position{0, 0};
  int dpi = 96;
  int bitsPixel = 32;

  // Answers GetDeviceCaps before the defaults do (printer DCs); -1 = no answer.
  std::function<int(int index)> deviceCaps;
  // Runs when the DC is released or deleted (a window DC presents the screen).
  std::function<void()> onRelease;
  // Extension data of the DC's owner (a print job).
  std::shared_ptr<void> owner;

  // A Cairo context on the DC's area: origin translated, clipped, antialias
  // off. Finish() after drawing keeps DIB bits in step.
  cairo_t* Begin();
  void Finish(cairo_t* cr);

  std::shared_ptr<Pen> CurrentPen();
  std::shared_ptr<Brush> CurrentBrush();
  std::shared_ptr<Font> CurrentFont();
  std::shared_ptr<Bitmap> CurrentBitmap();
};

// A DC drawing into a region of a surface (the screen, a window, a page).
HDC CreateSurfaceDC(cairo_surface_t* target, int x, int y, int width, int height);
// The same, drawing only inside `visible` (rectangles in DC coordinates).
HDC CreateClippedSurfaceDC(cairo_surface_t* target, int x, int y, int width, int height,
                           std::vector<RECT> visible);
std::shared_ptr<DeviceContext> LookupDC(HDC dc);

// GetDC of a window asks the window system for the window's DC.
void SetWindowDCProvider(std::function<HDC(HWND)> provider);

// COLORREF to Cairo's 0..1 components.
void SetSourceColor(cairo_t* cr, COLORREF color);
// Pixel of an RGB24 surface as COLORREF.
COLORREF SurfacePixel(cairo_surface_t* surface, int x, int y);

// Wraps a bitmap object in a handle.
HBITMAP InsertBitmap(std::shared_ptr<Bitmap> bitmap);
std::shared_ptr<Bitmap> LookupBitmap(HBITMAP bitmap);
// A 24-bit DIB section from top-down RGB (3 bytes a pixel) data.
HBITMAP CreateBitmapFromRgb(int width, int height, const uint8_t* rgb);

}  // namespace orlik::gdi
