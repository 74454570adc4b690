// Pens, brushes, bitmaps, stock objects and the object calls.
#include "gdi/dc.h"

#include <orlik/kernel.h>

#include <cstring>

namespace orlik::gdi {

std::recursive_mutex& Lock() {
  static auto* mutex = new std::recursive_mutex;
  return *mutex;
}

Bitmap::Bitmap(int w, int h, int bpp) : width(w), height(h), bitsPixel(bpp) {
  surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, w > 0 ? w : 1, h > 0 ? h : 1);
  // A new bitmap is black, like a fresh DDB.
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_paint(cr);
  cairo_destroy(cr);
}

Bitmap::~Bitmap() {
  cairo_surface_destroy(surface);
  delete[] dibBits;
}

void Bitmap::ImportBits() {
  if (!dibBits) return;
  cairo_surface_flush(surface);
  uint8_t* data = cairo_image_surface_get_data(surface);
  int stride = cairo_image_surface_get_stride(surface);
  int bytes = bitsPixel / 8;
  for (int y = 0; y < height; ++y) {
    const uint8_t* src = dibBits + size_t(dibTopDown ? y : height - 1 - y) * size_t(dibStride);
    auto* dst = reinterpret_cast<uint32_t*>(data + size_t(y) * size_t(stride));
    for (int x = 0; x < width; ++x) {
      const uint8_t* p = src + x * bytes;  // B, G, R
      dst[x] = (uint32_t(p[2]) << 16) | (uint32_t(p[1]) << 8) | p[0];
    }
  }
  cairo_surface_mark_dirty(surface);
}

void Bitmap::ExportBits() {
  if (!dibBits) return;
  cairo_surface_flush(surface);
  const uint8_t* data = cairo_image_surface_get_data(surface);
  int stride = cairo_image_surface_get_stride(surface);
  int bytes = bitsPixel / 8;
  for (int y = 0; y < height; ++y) {
    uint8_t* dst = dibBits + size_t(dibTopDown ? y : height - 1 - y) * size_t(dibStride);
    auto* src = reinterpret_cast<const uint32_t*>(data + size_t(y) * size_t(stride));
    for (int x = 0; x < width; ++x) {
      uint8_t* p = dst + x * bytes;
      p[0] = uint8_t(src[x]);
      p[1] = uint8_t(src[x] >> 8);
      p[2] = uint8_t(src[x] >> 16);
      if (bytes == 4) p[3] = 0;
    }
  }
}

HBITMAP InsertBitmap(std::shared_ptr<Bitmap> bitmap) { return InsertHandle(std::move(bitmap)); }

std::shared_ptr<Bitmap> LookupBitmap(HBITMAP bitmap) { return LookupHandleAs<Bitmap>(bitmap); }

void SetSourceColor(cairo_t* cr, COLORREF c) {
  cairo_set_source_rgb(cr, GetRValue(c) / 255.0, GetGValue(c) / 255.0, GetBValue(c) / 255.0);
}

COLORREF SurfacePixel(cairo_surface_t* surface, int x, int y) {
  if (x < 0 || y < 0 || x >= cairo_image_surface_get_width(surface) ||
      y >= cairo_image_surface_get_height(surface))
    return CLR_INVALID;
  cairo_surface_flush(surface);
  const uint8_t* data = cairo_image_surface_get_data(surface);
  uint32_t v = reinterpret_cast<const uint32_t*>(data + size_t(y) * size_t(cairo_image_surface_get_stride(surface)))[x];
  return RGB((v >> 16) & 0xFF, (v >> 8) & 0xFF, v & 0xFF);
}

namespace {

// A DIB section with caller-visible bits in the header's layout.
std::shared_ptr<Bitmap> MakeDib(int width, int height, int bpp, bool topDown) {
  auto bitmap = std::make_shared<Bitmap>(width, height, bpp);
  bitmap->dibStride = ((width * bpp + 31) / 32) * 4;
  bitmap->dibTopDown = topDown;
  bitmap->dibBits = new uint8_t[size_t(bitmap->dibStride) * size_t(height)]();
  return bitmap;
}

std::shared_ptr<GdiObject> MakeStock(int index) {
  auto pen = [](int style, COLORREF c) {
    auto p = std::make_shared<Pen>();
    p->style = style;
    p->color = c;
    return std::static_pointer_cast<GdiObject>(p);
  };
  auto brush = [](UINT style, COLORREF c) {
    auto b = std::make_shared<Brush>();
    b->style = style;
    b->color = c;
    return std::static_pointer_cast<GdiObject>(b);
  };
  switch (index) {
    case WHITE_BRUSH: return brush(BS_SOLID, RGB(255, 255, 255));
    case LTGRAY_BRUSH: return brush(BS_SOLID, RGB(192, 192, 192));
    case GRAY_BRUSH: return brush(BS_SOLID, RGB(128, 128, 128));
    case DKGRAY_BRUSH: return brush(BS_SOLID, RGB(64, 64, 64));
    case BLACK_BRUSH: return brush(BS_SOLID, RGB(0, 0, 0));
    case NULL_BRUSH: return brush(BS_NULL, 0);
    case WHITE_PEN: return pen(PS_SOLID, RGB(255, 255, 255));
    case BLACK_PEN: return pen(PS_SOLID, RGB(0, 0, 0));
    case NULL_PEN: return pen(PS_NULL, 0);
    case SYSTEM_FONT: {
      LOGFONTW lf{};
      lf.lfHeight = -13;
      lf.lfWeight = FW_NORMAL;
      HFONT f = CreateFontIndirectW(&lf);
      auto font = LookupHandleAs<GdiObject>(f);
      RemoveHandle(f);
      return font;
    }
    default: return nullptr;
  }
}

}  // namespace

HBITMAP CreateBitmapFromRgb(int width, int height, const uint8_t* rgb) {
  if (width <= 0 || height <= 0 || !rgb) return nullptr;
  auto bitmap = MakeDib(width, height, 24, false);
  for (int y = 0; y < height; ++y) {
    uint8_t* row = bitmap->dibBits + size_t(height - 1 - y) * size_t(bitmap->dibStride);
    for (int x = 0; x < width; ++x) {
      const uint8_t* s = rgb + (size_t(y) * size_t(width) + size_t(x)) * 3;
      row[x * 3 + 0] = s[2];
      row[x * 3 + 1] = s[1];
      row[x * 3 + 2] = s[0];
    }
  }
  bitmap->ImportBits();
  return InsertBitmap(bitmap);
}

}  // namespace orlik::gdi

using namespace orlik;
using namespace orlik::gdi;

extern "C" {

HGDIOBJ GetStockObject(int index) {
  std::lock_guard lock(gdi::Lock());
  static std::map<int, HGDIOBJ> stock;
  auto it = stock.find(index);
  if (it != stock.end()) return it->second;
  auto object = MakeStock(index);
  if (!object) return nullptr;
  object->stock = true;
  HGDIOBJ handle = InsertHandle(object);
  stock[index] = handle;
  return handle;
}

HPEN CreatePen(int style, int width, COLORREF color) {
  auto pen = std::make_shared<Pen>();
  pen->style = style;
  pen->width = width < 1 ? 1 : width;
  pen->color = color & 0xFFFFFF;
  return InsertHandle(pen);
}

HBRUSH CreateSolidBrush(COLORREF color) {
  auto brush = std::make_shared<Brush>();
  brush->color = color & 0xFFFFFF;
  return InsertHandle(brush);
}

HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height) {
  auto d = LookupDC(dc);
  if (!d || width <= 0 || height <= 0 || width > 32768 || height > 32768) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  return InsertBitmap(std::make_shared<Bitmap>(width, height, d->bitsPixel));
}

HBITMAP CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel, const void* bits) {
  if (width <= 0 || height <= 0 || width > 32768 || height > 32768 || planes != 1) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto bitmap = std::make_shared<Bitmap>(width, height, int(bitsPerPixel));
  if (bits && (bitsPerPixel == 24 || bitsPerPixel == 32)) {
    // Device-dependent bits are top-down rows padded to 2 bytes.
    int bytes = int(bitsPerPixel) / 8;
    int stride = ((width * bytes) + 1) / 2 * 2;
    auto* data = cairo_image_surface_get_data(bitmap->surface);
    int dstride = cairo_image_surface_get_stride(bitmap->surface);
    for (int y = 0; y < height; ++y) {
      auto* src = static_cast<const uint8_t*>(bits) + size_t(y) * size_t(stride);
      auto* dst = reinterpret_cast<uint32_t*>(data + size_t(y) * size_t(dstride));
      for (int x = 0; x < width; ++x)
        dst[x] = (uint32_t(src[x * bytes + 2]) << 16) | (uint32_t(src[x * bytes + 1]) << 8) | src[x * bytes];
    }
    cairo_surface_mark_dirty(bitmap->surface);
  }
  return InsertBitmap(bitmap);
}

HBITMAP CreateDIBSection(HDC, const BITMAPINFO* info, UINT, void** bits, HANDLE, DWORD) {
  if (bits) *bits = nullptr;
  if (!info) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  const BITMAPINFOHEADER& h = info->bmiHeader;
  LONG height = h.biHeight < 0 ? -h.biHeight : h.biHeight;
  if (h.biWidth <= 0 || height <= 0 || h.biWidth > 32768 || height > 32768 ||
      (h.biBitCount != 24 && h.biBitCount != 32) ||
      (h.biCompression != BI_RGB && h.biCompression != BI_BITFIELDS)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto bitmap = MakeDib(h.biWidth, height, h.biBitCount, h.biHeight < 0);
  if (bits) *bits = bitmap->dibBits;
  bitmap->ImportBits();
  return InsertBitmap(bitmap);
}

BOOL DeleteObject(HGDIOBJ object) {
  std::lock_guard lock(gdi::Lock());
  auto o = LookupHandleAs<GdiObject>(object);
  if (!o || o->Type() == OBJ_DC || o->Type() == OBJ_MEMDC) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (o->stock || o->selectedCount > 0) return TRUE;
  RemoveHandle(object);
  return TRUE;
}

DWORD GetObjectType(HGDIOBJ object) {
  auto o = LookupHandleAs<GdiObject>(object);
  return o ? o->Type() : 0;
}

int GetObjectW(HGDIOBJ object, int size, LPVOID buffer) {
  std::lock_guard lock(gdi::Lock());
  auto o = LookupHandleAs<GdiObject>(object);
  if (!o) return 0;
  auto copy = [&](const void* src, int n) {
    if (!buffer) return n;
    if (size < n) return 0;
    std::memcpy(buffer, src, size_t(n));
    return n;
  };
  switch (o->Type()) {
    case OBJ_BITMAP: {
      auto b = std::static_pointer_cast<Bitmap>(o);
      BITMAP bm{};
      bm.bmWidth = b->width;
      bm.bmHeight = b->height;
      bm.bmWidthBytes = b->dibBits ? b->dibStride : ((b->width * b->bitsPixel + 15) / 16) * 2;
      bm.bmPlanes = 1;
      bm.bmBitsPixel = WORD(b->bitsPixel);
      bm.bmBits = b->dibBits;
      return copy(&bm, int(sizeof bm));
    }
    case OBJ_FONT: return copy(&std::static_pointer_cast<Font>(o)->log, int(sizeof(LOGFONTW)));
    case OBJ_PEN: {
      auto p = std::static_pointer_cast<Pen>(o);
      LOGPEN lp{UINT(p->style), {p->width, 0}, p->color};
      return copy(&lp, int(sizeof lp));
    }
    case OBJ_BRUSH: {
      auto b = std::static_pointer_cast<Brush>(o);
      LOGBRUSH lb{b->style, b->color, 0};
      return copy(&lb, int(sizeof lb));
    }
    default: return 0;
  }
}

}  // extern "C"
