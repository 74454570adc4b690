// The imaging component: an image factory (CLSID_ImagingFactory, created with
// CoCreateInstance) that decodes BMP, PNG, JPEG and GIF files into images
// that draw themselves into a device context.
#pragma once

#include <orlik/gdi.h>
#include <orlik/objbase.h>

#ifdef __cplusplus

ORLIK_DEFINE_GUID(CLSID_ImagingFactory, 0x6f1b2e40, 0x5c3a, 0x4d7e, 0x9a, 0x11, 0x4c, 0x52, 0x7e, 0x10, 0x20, 0x01);
ORLIK_DEFINE_GUID(IID_IImagingFactory, 0x6f1b2e41, 0x5c3a, 0x4d7e, 0x9a, 0x11, 0x4c, 0x52, 0x7e, 0x10, 0x20, 0x01);
ORLIK_DEFINE_GUID(IID_IImage, 0x6f1b2e42, 0x5c3a, 0x4d7e, 0x9a, 0x11, 0x4c, 0x52, 0x7e, 0x10, 0x20, 0x01);
// Raw data formats reported by GetImageInfo.
ORLIK_DEFINE_GUID(ImageFormatBMP, 0x6f1b2e50, 0x5c3a, 0x4d7e, 0x9a, 0x11, 0x4c, 0x52, 0x7e, 0x10, 0x20, 0x01);
ORLIK_DEFINE_GUID(ImageFormatPNG, 0x6f1b2e51, 0x5c3a, 0x4d7e, 0x9a, 0x11, 0x4c, 0x52, 0x7e, 0x10, 0x20, 0x01);
ORLIK_DEFINE_GUID(ImageFormatJPEG, 0x6f1b2e52, 0x5c3a, 0x4d7e, 0x9a, 0x11, 0x4c, 0x52, 0x7e, 0x10, 0x20, 0x01);
ORLIK_DEFINE_GUID(ImageFormatGIF, 0x6f1b2e53, 0x5c3a, 0x4d7e, 0x9a, 0x11, 0x4c, 0x52, 0x7e, 0x10, 0x20, 0x01);

typedef int PixelFormat;
#define PixelFormat24bppRGB 0x00021808
#define PixelFormat32bppARGB 0x0026200A

// Image flags.
#define ImageFlagsHasAlpha 0x0002u
#define ImageFlagsColorSpaceRGB 0x0010u

typedef struct tagImageInfo {
  GUID RawDataFormat;
  ::PixelFormat PixelFormat;
  UINT Width;   // pixels
  UINT Height;  // pixels
  UINT TileWidth;
  UINT TileHeight;
  double Xdpi;
  double Ydpi;
  UINT Flags;
} ImageInfo;

enum BufferDisposalFlag {
  BufferDisposalFlagNone = 0,
  BufferDisposalFlagGlobalFree = 1,
  BufferDisposalFlagCoTaskMemFree = 2,
  BufferDisposalFlagUnmapView = 3,
};

struct IImage : IUnknown {
  // Size in 0.01 mm units, at the image's resolution (96 dpi when the file
  // gives none).
  virtual HRESULT WINAPI GetPhysicalDimension(SIZE* size) = 0;
  virtual HRESULT WINAPI GetImageInfo(ImageInfo* info) = 0;
  // Draws the source rectangle (image pixels; null: the whole image) stretched
  // into the destination rectangle of the DC, blending transparent pixels.
  virtual HRESULT WINAPI Draw(HDC dc, const RECT* dst, const RECT* src) = 0;

 protected:
  ~IImage() = default;
};

struct IImagingFactory : IUnknown {
  // A panel path; fails with HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) for a
  // missing file and E_FAIL for data that is no image.
  virtual HRESULT WINAPI CreateImageFromFile(LPCWSTR fileName, IImage** image) = 0;
  // Decodes a file already in memory; the data is copied, then disposed of as
  // the flag says.
  virtual HRESULT WINAPI CreateImageFromBuffer(const void* buffer, UINT size,
                                               BufferDisposalFlag disposal, IImage** image) = 0;

 protected:
  ~IImagingFactory() = default;
};

#endif
