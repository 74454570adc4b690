// The imaging component: stb_image decodes, Cairo draws into DCs.
#include <orlik/imaging.h>
#include <orlik/text.h>
#include <orlik/kernel.h>

#include "board/storage.h"
#include "com/registry.h"
#include "core/paths.h"
#include "gdi/dc.h"

#include <stb_image.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace orlik::imaging {
namespace {

GUID FormatOf(const uint8_t* data, size_t size) {
  auto starts = [&](const char* magic, size_t n) {
    return size >= n && std::memcmp(data, magic, n) == 0;
  };
  if (starts("\x89PNG", 4)) return ImageFormatPNG;
  if (starts("\xFF\xD8", 2)) return ImageFormatJPEG;
  if (starts("GIF8", 4)) return ImageFormatGIF;
  return ImageFormatBMP;
}

bool Supported(const uint8_t* data, size_t size) {
  auto starts = [&](const char* magic, size_t n) {
    return size >= n && std::memcmp(data, magic, n) == 0;
  };
  return starts("\x89PNG", 4) || starts("\xFF\xD8", 2) || starts("GIF8", 4) || starts("BM", 2);
}

// The whole of an image file. Only a regular file that stb_image can take
// (below 2 GiB) is read; a folder, a device or a failing read is an error,
// never an exception.
HRESULT ReadImageFile(const std::string& path, std::vector<uint8_t>* data) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return HRESULT_FROM_WIN32(errno == ENOENT ? ERROR_FILE_NOT_FOUND : ERROR_ACCESS_DENIED);
  struct stat st;
  HRESULT hr = S_OK;
  if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) hr = HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
  else if (st.st_size > 0x7FFFFFFF) hr = E_FAIL;
  else if (int e = board::StorageFault(board::kFileRead, path)) hr = HRESULT_FROM_WIN32(e == ENOSPC ? ERROR_READ_FAULT : ERROR_GEN_FAILURE);
  if (SUCCEEDED(hr)) {
    try {
      data->resize(static_cast<size_t>(st.st_size));
    } catch (const std::bad_alloc&) {
      hr = E_OUTOFMEMORY;
    }
  }
  size_t done = 0;
  while (SUCCEEDED(hr) && done < data->size()) {
    ssize_t n = read(fd, data->data() + done, data->size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;  // shorter than it was: decode what is there
    done += static_cast<size_t>(n);
  }
  close(fd);
  if (SUCCEEDED(hr)) data->resize(done);
  return hr;
}

class Image final : public com::UnknownImpl<IImage, IID_IImage> {
 public:
  static HRESULT Decode(const uint8_t* data, size_t size, IImage** out) {
    if (!Supported(data, size) || size > 0x7FFFFFFF) return E_FAIL;
    int w = 0, h = 0, channels = 0;
    stbi_uc* rgba = stbi_load_from_memory(data, static_cast<int>(size), &w, &h, &channels, 4);
    if (!rgba) return E_FAIL;
    auto* image = new (std::nothrow) Image;
    if (!image) {
      stbi_image_free(rgba);
      return E_OUTOFMEMORY;
    }
    image->format_ = FormatOf(data, size);
    image->hasAlpha_ = channels == 2 || channels == 4;
    image->surface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    if (cairo_surface_status(image->surface_) != CAIRO_STATUS_SUCCESS) {
      stbi_image_free(rgba);
      image->Release();
      return E_OUTOFMEMORY;
    }
    // RGBA bytes to Cairo's premultiplied native-endian ARGB.
    uint8_t* pixels = cairo_image_surface_get_data(image->surface_);
    int stride = cairo_image_surface_get_stride(image->surface_);
    for (int y = 0; y < h; ++y) {
      auto* row = reinterpret_cast<uint32_t*>(pixels + static_cast<size_t>(y) * stride);
      const stbi_uc* src = rgba + static_cast<size_t>(y) * w * 4;
      for (int x = 0; x < w; ++x, src += 4) {
        uint32_t a = src[3];
        auto pre = [a](uint32_t c) { return (c * a + 127) / 255; };
        row[x] = (a << 24) | (pre(src[0]) << 16) | (pre(src[1]) << 8) | pre(src[2]);
      }
    }
    cairo_surface_mark_dirty(image->surface_);
    stbi_image_free(rgba);
    image->width_ = w;
    image->height_ = h;
    *out = image;
    return S_OK;
  }


  HRESULT WINAPI GetPhysicalDimension(SIZE* size) override {
    if (!size) return E_POINTER;
    size->cx = static_cast<LONG>(width_ * 2540LL / 96);
    size->cy = static_cast<LONG>(height_ * 2540LL / 96);
    return S_OK;
  }

  HRESULT WINAPI GetImageInfo(ImageInfo* info) override {
    if (!info) return E_POINTER;
    *info = ImageInfo{};
    info->RawDataFormat = format_;
    info->PixelFormat = hasAlpha_ ? PixelFormat32bppARGB : PixelFormat24bppRGB;
    info->Width = static_cast<UINT>(width_);
    info->Height = static_cast<UINT>(height_);
    info->TileWidth = static_cast<UINT>(width_);
    info->TileHeight = 1;
    info->Xdpi = info->Ydpi = 96.0;
    info->Flags = ImageFlagsColorSpaceRGB | (hasAlpha_ ? ImageFlagsHasAlpha : 0u);
    return S_OK;
  }

  HRESULT WINAPI Draw(HDC handle, const RECT* dst, const RECT* src) override {
    if (!dst) return E_POINTER;
    RECT whole{0, 0, width_, height_};
    const RECT& s = src ? *src : whole;
    // In 64 bits: corners anywhere in the 32-bit range must not wrap.
    const int64_t dw = int64_t(dst->right) - dst->left, dh = int64_t(dst->bottom) - dst->top;
    const int64_t sw = int64_t(s.right) - s.left, sh = int64_t(s.bottom) - s.top;
    if (dw == 0 || dh == 0 || sw <= 0 || sh <= 0) return E_INVALIDARG;
    std::lock_guard lock(gdi::Lock());
    auto dc = gdi::LookupDC(handle);
    if (!dc) return E_INVALIDARG;
    cairo_t* cr = dc->Begin();
    cairo_rectangle(cr, std::min(dst->left, dst->right), std::min(dst->top, dst->bottom),
                    static_cast<double>(std::abs(dw)), static_cast<double>(std::abs(dh)));
    cairo_clip(cr);
    cairo_translate(cr, dst->left, dst->top);
    cairo_scale(cr, static_cast<double>(dw) / static_cast<double>(sw),
                static_cast<double>(dh) / static_cast<double>(sh));
    cairo_set_source_surface(cr, surface_, -static_cast<double>(s.left), -static_cast<double>(s.top));
    // Enlarged images keep sharp pixels (a page in high quality doubles
    // them); reduced ones are smoothed so that detail averages out.
    const bool enlarged = std::abs(dw) >= sw && std::abs(dh) >= sh;
    cairo_pattern_set_filter(cairo_get_source(cr),
                             enlarged ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
    cairo_pattern_set_extend(cairo_get_source(cr), CAIRO_EXTEND_PAD);
    cairo_paint(cr);
    dc->Finish(cr);
    return S_OK;
  }

 private:
  Image() = default;
  virtual ~Image() {
    if (surface_) cairo_surface_destroy(surface_);
  }
  cairo_surface_t* surface_ = nullptr;
  int width_ = 0, height_ = 0;
  GUID format_{};
  bool hasAlpha_ = false;
};

class ImagingFactory final : public com::UnknownImpl<IImagingFactory, IID_IImagingFactory> {
 public:
  ImagingFactory() = default;


  HRESULT WINAPI CreateImageFromFile(LPCWSTR fileName, IImage** image) override {
    if (!image) return E_POINTER;
    *image = nullptr;
    if (!fileName || !*fileName) return E_INVALIDARG;
    std::vector<uint8_t> data;
    HRESULT hr = ReadImageFile(HostPath(View(fileName)), &data);
    if (FAILED(hr)) return hr;
    return Image::Decode(data.data(), data.size(), image);
  }

  HRESULT WINAPI CreateImageFromBuffer(const void* buffer, UINT size, BufferDisposalFlag disposal,
                                       IImage** image) override {
    if (!image) return E_POINTER;
    *image = nullptr;
    if (!buffer) return E_INVALIDARG;
    HRESULT hr = Image::Decode(static_cast<const uint8_t*>(buffer), size, image);
    if (SUCCEEDED(hr) && disposal == BufferDisposalFlagCoTaskMemFree)
      CoTaskMemFree(const_cast<void*>(buffer));
    return hr;
  }

 private:
  virtual ~ImagingFactory() = default;
};

const com::ClassRegistrar registrar(CLSID_ImagingFactory, &com::Construct<ImagingFactory>);

}  // namespace
}  // namespace orlik::imaging
