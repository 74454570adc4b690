// Bitmap files loaded into 24-bit DIB sections.
#include "gdi/dc.h"

#include <orlik/kernel.h>
#include <orlik/text.h>

#include "core/paths.h"

#include <stb_image.h>

extern "C" HBITMAP SHLoadDIBitmap(LPCWSTR fileName) {
  if (!fileName || !*fileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::string path = orlik::HostPath(orlik::View(fileName));
  int width = 0, height = 0, channels = 0;
  stbi_uc* rgb = stbi_load(path.c_str(), &width, &height, &channels, 3);
  if (!rgb) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  HBITMAP bitmap = orlik::gdi::CreateBitmapFromRgb(width, height, rgb);
  stbi_image_free(rgb);
  return bitmap;
}
