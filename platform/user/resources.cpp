// Bitmap and icon resources of a module.
#include <orlik/kernel.h>
#include <orlik/winuser.h>

#include "core/handles.h"
#include "gdi/dc.h"

#include <cstring>
#include <vector>

namespace orlik::user {
namespace {

// An icon: its picture as a bitmap.
class Icon final : public KernelObject {
 public:
  explicit Icon(HBITMAP b) : bitmap(b) {}
  ~Icon() override { DeleteObject(bitmap); }
  HBITMAP bitmap;
};

uint32_t Read32(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint16_t Read16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }

// A device-independent bitmap (information header, bits) of 24 or 32 bits
// per pixel, uncompressed, as a bitmap object. Anything else is refused.
HBITMAP BitmapFromDib(const uint8_t* dib, size_t size) {
  if (size < 40) return nullptr;
  uint32_t headerSize = Read32(dib);
  int32_t width = int32_t(Read32(dib + 4));
  int32_t height = int32_t(Read32(dib + 8));
  uint16_t bits = Read16(dib + 14);
  uint32_t compression = Read32(dib + 16);
  if (headerSize < 40 || headerSize > size || width <= 0 || height == 0 || width > 16384 ||
      height > 16384 || height < -16384 || (bits != 24 && bits != 32) || compression != 0)
    return nullptr;
  bool topDown = height < 0;
  int rows = topDown ? -height : height;
  size_t stride = (size_t(width) * bits / 8 + 3) & ~size_t(3);
  if (size - headerSize < stride * size_t(rows)) return nullptr;
  const uint8_t* pixels = dib + headerSize;
  std::vector<uint8_t> rgb(size_t(width) * size_t(rows) * 3);
  for (int y = 0; y < rows; ++y) {
    const uint8_t* row = pixels + stride * size_t(topDown ? y : rows - 1 - y);
    for (int x = 0; x < width; ++x) {
      const uint8_t* px = row + size_t(x) * bits / 8;
      uint8_t* out = &rgb[(size_t(y) * size_t(width) + size_t(x)) * 3];
      out[0] = px[2];
      out[1] = px[1];
      out[2] = px[0];
    }
  }
  return gdi::CreateBitmapFromRgb(width, rows, rgb.data());
}

// The DIB inside a resource, which may also be a whole bitmap file.
HBITMAP BitmapFromResource(HINSTANCE instance, LPCWSTR name, LPCWSTR type) {
  if (!instance) instance = GetModuleHandleW(nullptr);
  HRSRC resource = FindResourceW(instance, name, type);
  if (!resource) return nullptr;
  auto* data = static_cast<const uint8_t*>(LockResource(LoadResource(instance, resource)));
  size_t size = SizeofResource(instance, resource);
  if (!data) return nullptr;
  if (size > 14 && data[0] == 'B' && data[1] == 'M') {
    data += 14;
    size -= 14;
  }
  return BitmapFromDib(data, size);
}

}  // namespace
}  // namespace orlik::user

using namespace orlik;
using namespace orlik::user;

extern "C" {

HBITMAP LoadBitmapW(HINSTANCE instance, LPCWSTR name) {
  HBITMAP bitmap = BitmapFromResource(instance, name, RT_BITMAP);
  if (!bitmap) SetLastError(1814 /* ERROR_RESOURCE_NAME_NOT_FOUND */);
  return bitmap;
}

HICON LoadIconW(HINSTANCE instance, LPCWSTR name) {
  HBITMAP bitmap = BitmapFromResource(instance, name, RT_ICON);
  if (!bitmap) {
    SetLastError(1814);
    return nullptr;
  }
  return InsertHandle(std::make_shared<Icon>(bitmap));
}

BOOL DestroyIcon(HICON icon) {
  if (!LookupHandleAs<Icon>(icon)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  RemoveHandle(icon);
  return TRUE;
}

}  // extern "C"
