// Device contexts, selection, fills, pixels and block transfers.
#include "gdi/dc.h"

#include <orlik/kernel.h>

#include "board/display.h"

#include <algorithm>
#include <cmath>

namespace orlik::gdi {

namespace {

std::function<HDC(HWND)>& WindowDCProvider() {
  static auto* provider = new std::function<HDC(HWND)>;
  return *provider;
}

void Unselect(HGDIOBJ handle) {
  if (auto o = LookupHandleAs<GdiObject>(handle)) --o->selectedCount;
}

void Select(HGDIOBJ handle) {
  if (auto o = LookupHandleAs<GdiObject>(handle)) ++o->selectedCount;
}

// Makes a DC start with the stock pen, brush and font.
void DefaultObjects(DeviceContext& dc) {
  dc.pen = GetStockObject(BLACK_PEN);
  dc.brush = GetStockObject(WHITE_BRUSH);
  dc.font = GetStockObject(SYSTEM_FONT);
  Select(dc.pen);
  Select(dc.brush);
  Select(dc.font);
}

}  // namespace

DeviceContext::~DeviceContext() {
  if (target) cairo_surface_destroy(target);
}

std::shared_ptr<Pen> DeviceContext::CurrentPen() { return LookupHandleAs<Pen>(pen); }
std::shared_ptr<Brush> DeviceContext::CurrentBrush() { return LookupHandleAs<Brush>(brush); }
std::shared_ptr<Font> DeviceContext::CurrentFont() { return LookupHandleAs<Font>(font); }
std::shared_ptr<Bitmap> DeviceContext::CurrentBitmap() { return LookupHandleAs<Bitmap>(bitmap); }

cairo_t* DeviceContext::Begin() {
  if (auto b = CurrentBitmap()) b->ImportBits();
  cairo_t* cr = cairo_create(target);
  cairo_translate(cr, originX, originY);
  cairo_rectangle(cr, 0, 0, width, height);
  cairo_clip(cr);
  if (clipped) {
    // The union of the visible rectangles; an empty path clips everything.
    for (const RECT& r : visible)
      cairo_rectangle(cr, r.left, r.top, double(r.right) - r.left, double(r.bottom) - r.top);
    cairo_clip(cr);
  }
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  return cr;
}

void DeviceContext::Finish(cairo_t* cr) {
  cairo_destroy(cr);
  cairo_surface_flush(target);
  if (auto b = CurrentBitmap()) b->ExportBits();
}

HDC CreateSurfaceDC(cairo_surface_t* target, int x, int y, int width, int height) {
  std::lock_guard lock(Lock());
  auto dc = std::make_shared<DeviceContext>();
  dc->kind = DcKind::kSurface;
  dc->target = cairo_surface_reference(target);
  dc->originX = x;
  dc->originY = y;
  dc->width = width;
  dc->height = height;
  DefaultObjects(*dc);
  return static_cast<HDC>(InsertHandle(dc));
}

HDC CreateClippedSurfaceDC(cairo_surface_t* target, int x, int y, int width, int height,
                           std::vector<RECT> visible) {
  std::lock_guard lock(Lock());
  HDC handle = CreateSurfaceDC(target, x, y, width, height);
  if (auto dc = LookupDC(handle)) {
    dc->clipped = true;
    dc->visible = std::move(visible);
  }
  return handle;
}

std::shared_ptr<DeviceContext> LookupDC(HDC dc) { return LookupHandleAs<DeviceContext>(dc); }

void SetWindowDCProvider(std::function<HDC(HWND)> provider) {
  std::lock_guard lock(Lock());
  WindowDCProvider() = std::move(provider);
}

}  // namespace orlik::gdi

using namespace orlik;
using namespace orlik::gdi;

extern "C" {

HDC GetDC(HWND window) {
  std::lock_guard lock(gdi::Lock());
  if (window) {
    auto& provider = WindowDCProvider();
    if (!provider) {
      SetLastError(ERROR_INVALID_HANDLE);
      return nullptr;
    }
    return provider(window);
  }
  auto& display = board::Display::Get();
  return CreateSurfaceDC(display.Surface(), 0, 0, display.Width(), display.Height());
}

int ReleaseDC(HWND, HDC dc) { return DeleteDC(dc) ? 1 : 0; }

HDC CreateCompatibleDC(HDC) {
  std::lock_guard lock(gdi::Lock());
  auto dc = std::make_shared<DeviceContext>();
  dc->kind = DcKind::kMemory;
  // A memory DC starts with a 1 x 1 bitmap of its own.
  auto initial = std::make_shared<Bitmap>(1, 1, 1);
  initial->stock = true;
  dc->bitmap = InsertBitmap(initial);
  dc->target = cairo_surface_reference(initial->surface);
  dc->width = dc->height = 1;
  DefaultObjects(*dc);
  Select(dc->bitmap);
  return static_cast<HDC>(InsertHandle(dc));
}

BOOL DeleteDC(HDC handle) {
  std::lock_guard lock(gdi::Lock());
  auto dc = LookupDC(handle);
  if (!dc) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (dc->onRelease) dc->onRelease();
  for (HGDIOBJ o : {dc->pen, dc->brush, dc->font, dc->bitmap}) Unselect(o);
  // The memory DC's own initial bitmap goes with it.
  if (auto b = dc->CurrentBitmap(); b && b->stock && b->width == 1 && b->bitsPixel == 1)
    RemoveHandle(dc->bitmap);
  RemoveHandle(handle);
  return TRUE;
}

HGDIOBJ SelectObject(HDC handle, HGDIOBJ object) {
  std::lock_guard lock(gdi::Lock());
  auto dc = LookupDC(handle);
  auto o = LookupHandleAs<GdiObject>(object);
  if (!dc || !o) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  HGDIOBJ* slot = nullptr;
  switch (o->Type()) {
    case OBJ_PEN: slot = &dc->pen; break;
    case OBJ_BRUSH: slot = &dc->brush; break;
    case OBJ_FONT: slot = &dc->font; break;
    case OBJ_BITMAP: {
      if (dc->kind != DcKind::kMemory) return nullptr;
      auto b = std::static_pointer_cast<Bitmap>(o);
      // A bitmap can be selected into one memory DC at a time.
      if (b->selectedCount > 0 && dc->bitmap != object) return nullptr;
      cairo_surface_destroy(dc->target);
      dc->target = cairo_surface_reference(b->surface);
      dc->width = b->width;
      dc->height = b->height;
      slot = &dc->bitmap;
      break;
    }
    default: return nullptr;
  }
  HGDIOBJ previous = *slot;
  Unselect(previous);
  *slot = object;
  Select(object);
  return previous;
}

HGDIOBJ GetCurrentObject(HDC handle, UINT type) {
  auto dc = LookupDC(handle);
  if (!dc) return nullptr;
  switch (type) {
    case OBJ_PEN: return dc->pen;
    case OBJ_BRUSH: return dc->brush;
    case OBJ_FONT: return dc->font;
    case OBJ_BITMAP: return dc->bitmap;
    default: return nullptr;
  }
}

int GetDeviceCaps(HDC handle, int index) {
  auto dc = LookupDC(handle);
  if (!dc) return 0;
  if (dc->deviceCaps) {
    int v = dc->deviceCaps(index);
    if (v != -1) return v;
  }
  switch (index) {
    case HORZRES: return dc->width;
    case VERTRES: return dc->height;
    case BITSPIXEL: return dc->bitsPixel;
    case PLANES: return 1;
    case LOGPIXELSX:
    case LOGPIXELSY: return dc->dpi;
    case HORZSIZE: return int(std::lround(dc->width * 25.4 / dc->dpi));
    case VERTSIZE: return int(std::lround(dc->height * 25.4 / dc->dpi));
    default: return 0;
  }
}

int FillRect(HDC handle, const RECT* rect, HBRUSH brushHandle) {
  std::lock_guard lock(gdi::Lock());
  auto dc = LookupDC(handle);
  // A brush argument may also be a system colour index + 1; only real brushes here.
  auto brush = LookupHandleAs<Brush>(brushHandle);
  if (!dc || !rect || !brush) return 0;
  if (brush->style == BS_NULL || rect->right <= rect->left || rect->bottom <= rect->top) return 1;
  cairo_t* cr = dc->Begin();
  SetSourceColor(cr, brush->color);
  cairo_rectangle(cr, rect->left, rect->top, double(rect->right) - rect->left, double(rect->bottom) - rect->top);
  cairo_fill(cr);
  dc->Finish(cr);
  return 1;
}

COLORREF SetPixel(HDC handle, int x, int y, COLORREF color) {
  std::lock_guard lock(gdi::Lock());
  auto dc = LookupDC(handle);
  if (!dc || x < 0 || y < 0 || x >= dc->width || y >= dc->height) return CLR_INVALID;
  cairo_t* cr = dc->Begin();
  SetSourceColor(cr, color);
  cairo_rectangle(cr, x, y, 1, 1);
  cairo_fill(cr);
  dc->Finish(cr);
  return color & 0xFFFFFF;
}

COLORREF GetPixel(HDC handle, int x, int y) {
  std::lock_guard lock(gdi::Lock());
  auto dc = LookupDC(handle);
  if (!dc || x < 0 || y < 0 || x >= dc->width || y >= dc->height) return CLR_INVALID;
  if (auto b = dc->CurrentBitmap()) b->ImportBits();
  return SurfacePixel(dc->target, dc->originX + x, dc->originY + y);
}

BOOL StretchBlt(HDC dstHandle, int x, int y, int width, int height, HDC srcHandle, int srcX,
                int srcY, int srcWidth, int srcHeight, DWORD rop) {
  std::lock_guard lock(gdi::Lock());
  auto dst = LookupDC(dstHandle);
  if (!dst) return FALSE;
  if (rop == BLACKNESS || rop == WHITENESS) {
    cairo_t* cr = dst->Begin();
    SetSourceColor(cr, rop == BLACKNESS ? RGB(0, 0, 0) : RGB(255, 255, 255));
    // In double: corners anywhere in the int range must not wrap.
    cairo_rectangle(cr, std::min(double(x), double(x) + width), std::min(double(y), double(y) + height),
                    std::abs(double(width)), std::abs(double(height)));
    cairo_fill(cr);
    dst->Finish(cr);
    return TRUE;
  }
  auto src = LookupDC(srcHandle);
  if (!src || rop != SRCCOPY || width == 0 || height == 0 || srcWidth == 0 || srcHeight == 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (auto b = src->CurrentBitmap()) b->ImportBits();
  // The source area, copied first: it may be the destination's own surface.
  cairo_surface_t* copy = cairo_image_surface_create(CAIRO_FORMAT_RGB24, src->width, src->height);
  {
    cairo_t* c = cairo_create(copy);
    cairo_set_source_surface(c, src->target, -src->originX, -src->originY);
    cairo_set_operator(c, CAIRO_OPERATOR_SOURCE);
    cairo_paint(c);
    cairo_destroy(c);
  }
  cairo_t* cr = dst->Begin();
  cairo_pattern_t* pattern = cairo_pattern_create_for_surface(copy);
  // Destination pixel (dx, dy) shows source pixel srcX + (dx - x) * srcWidth / width.
  cairo_matrix_t m;
  cairo_matrix_init_translate(&m, srcX, srcY);
  cairo_matrix_scale(&m, double(srcWidth) / width, double(srcHeight) / height);
  cairo_matrix_translate(&m, -double(x), -double(y));
  cairo_pattern_set_matrix(pattern, &m);
  cairo_pattern_set_filter(pattern, CAIRO_FILTER_NEAREST);
  cairo_set_source(cr, pattern);
  cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
  // Only pixels inside the source bitmap are copied.
  cairo_rectangle(cr, std::min(double(x), double(x) + width), std::min(double(y), double(y) + height),
                  std::abs(double(width)), std::abs(double(height)));
  cairo_clip(cr);
  double sx0 = srcX, sy0 = srcY, sx1 = double(srcX) + srcWidth, sy1 = double(srcY) + srcHeight;
  auto toDst = [&](double s, double s0, double sw, double d0, double dw) { return d0 + (s - s0) * dw / sw; };
  double vx0 = toDst(std::max(0.0, std::min(sx0, sx1)), sx0, srcWidth, x, width);
  double vx1 = toDst(std::min(double(src->width), std::max(sx0, sx1)), sx0, srcWidth, x, width);
  double vy0 = toDst(std::max(0.0, std::min(sy0, sy1)), sy0, srcHeight, y, height);
  double vy1 = toDst(std::min(double(src->height), std::max(sy0, sy1)), sy0, srcHeight, y, height);
  cairo_rectangle(cr, std::min(vx0, vx1), std::min(vy0, vy1), std::abs(vx1 - vx0), std::abs(vy1 - vy0));
  cairo_fill(cr);
  cairo_pattern_destroy(pattern);
  cairo_surface_destroy(copy);
  dst->Finish(cr);
  return TRUE;
}

BOOL BitBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX, int srcY, DWORD rop) {
  return StretchBlt(dst, x, y, width, height, src, srcX, srcY, width, height, rop);
}

BOOL SetRect(LPRECT r, int left, int top, int right, int bottom) {
  if (!r) return FALSE;
  *r = {left, top, right, bottom};
  return TRUE;
}

BOOL SetRectEmpty(LPRECT r) { return SetRect(r, 0, 0, 0, 0); }

BOOL IsRectEmpty(const RECT* r) { return !r || r->right <= r->left || r->bottom <= r->top; }

BOOL OffsetRect(LPRECT r, int dx, int dy) {
  if (!r) return FALSE;
  r->left += dx;
  r->right += dx;
  r->top += dy;
  r->bottom += dy;
  return TRUE;
}

BOOL InflateRect(LPRECT r, int dx, int dy) {
  if (!r) return FALSE;
  r->left -= dx;
  r->right += dx;
  r->top -= dy;
  r->bottom += dy;
  return TRUE;
}

BOOL IntersectRect(LPRECT out, const RECT* a, const RECT* b) {
  if (!out || !a || !b) return FALSE;
  RECT r{std::max(a->left, b->left), std::max(a->top, b->top), std::min(a->right, b->right),
         std::min(a->bottom, b->bottom)};
  if (IsRectEmpty(&r)) {
    SetRectEmpty(out);
    return FALSE;
  }
  *out = r;
  return TRUE;
}

}  // extern "C"
