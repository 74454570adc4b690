// LoadBitmapW: bitmap resources (RT_BITMAP) of a module. A bitmap resource is
// a device-independent bitmap without the file header: a BITMAPINFOHEADER,
// the colour table, then the rows (bottom-up unless the height is negative,
// each padded to 4 bytes). 1, 4, 8, 24 and 32-bit uncompressed bitmaps are
// read; a resource that is a whole bitmap file is accepted too.
#if __has_include(<orlik/module.h>)  // module resources come with the shell's modules
#include <orlik/gdi.h>
#include <orlik/kernel.h>
#include <orlik/module.h>

#include "gdi/dc.h"

#include <cstdlib>
#include <cstring>
#include <vector>

#ifndef ERROR_INVALID_DATA
#define ERROR_INVALID_DATA 13u
#endif
#ifndef ERROR_RESOURCE_NAME_NOT_FOUND
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814u
#endif

namespace orlik::gdi {
namespace {

constexpr size_t kFileHeaderSize = 14;

uint32_t Le32(const uint8_t* p) { return p[0] | (p[1] << 8) | (p[2] << 16) | (uint32_t(p[3]) << 24); }
uint16_t Le16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }

// Decodes the DIB to top-down RGB; false when it is malformed or unsupported.
bool DecodeDib(const uint8_t* data, size_t size, int* width, int* height, std::vector<uint8_t>* rgb) {
  if (size >= kFileHeaderSize && data[0] == 'B' && data[1] == 'M') {
    data += kFileHeaderSize;
    size -= kFileHeaderSize;
  }
  if (size < 40) return false;
  const uint32_t headerSize = Le32(data);
  if (headerSize < 40 || headerSize > size) return false;
  const int32_t w = int32_t(Le32(data + 4));
  const int32_t h = int32_t(Le32(data + 8));
  const uint16_t bits = Le16(data + 14);
  const uint32_t compression = Le32(data + 16);
  uint32_t colours = Le32(data + 32);
  if (w <= 0 || h == 0 || h == INT32_MIN || w > 32768 || std::abs(h) > 32768) return false;
  if (compression != BI_RGB && !(compression == BI_BITFIELDS && bits == 32)) return false;
  if (bits != 1 && bits != 4 && bits != 8 && bits != 24 && bits != 32) return false;
  if (bits <= 8 && colours == 0) colours = 1u << bits;
  if (bits > 8) colours = 0;
  size_t paletteOffset = headerSize + (compression == BI_BITFIELDS && headerSize == 40 ? 12 : 0);
  size_t bitsOffset = paletteOffset + size_t(colours) * 4;
  const bool topDown = h < 0;
  const int rows = topDown ? -h : h;
  const size_t stride = ((size_t(w) * bits + 31) / 32) * 4;
  if (colours > 256 || bitsOffset > size || stride * size_t(rows) > size - bitsOffset) return false;
  const uint8_t* palette = data + paletteOffset;
  rgb->assign(size_t(w) * rows * 3, 0);
  for (int y = 0; y < rows; ++y) {
    const uint8_t* row = data + bitsOffset + stride * size_t(topDown ? y : rows - 1 - y);
    uint8_t* out = rgb->data() + size_t(y) * w * 3;
    for (int x = 0; x < w; ++x, out += 3) {
      const uint8_t* bgr;
      if (bits >= 24) {
        bgr = row + size_t(x) * (bits / 8);
      } else {
        unsigned index = bits == 8 ? row[x]
                         : bits == 4 ? (row[x / 2] >> (x % 2 ? 0 : 4)) & 0xF
                                     : (row[x / 8] >> (7 - x % 8)) & 1;
        if (index >= colours) index = 0;
        bgr = palette + index * 4;
      }
      out[0] = bgr[2];
      out[1] = bgr[1];
      out[2] = bgr[0];
    }
  }
  *width = w;
  *height = rows;
  return true;
}

}  // namespace
}  // namespace orlik::gdi

extern "C" HBITMAP LoadBitmapW(HINSTANCE instance, LPCWSTR name) {
  HMODULE module = reinterpret_cast<HMODULE>(instance);
  HRSRC resource = FindResourceW(module, name, RT_BITMAP);
  if (!resource) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return nullptr;
  }
  const void* data = LockResource(LoadResource(module, resource));
  DWORD size = SizeofResource(module, resource);
  int width = 0, height = 0;
  std::vector<uint8_t> rgb;
  if (!data || !orlik::gdi::DecodeDib(static_cast<const uint8_t*>(data), size, &width, &height, &rgb)) {
    SetLastError(ERROR_INVALID_DATA);
    return nullptr;
  }
  return orlik::gdi::CreateBitmapFromRgb(width, height, rgb.data());
}
#endif
