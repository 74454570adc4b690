// The still-image sink (CLSID_IMGSinkFilter): every sample it receives is
// written as a JPEG file, at the sample's size, to the file name set through
// IFileSinkFilter2. The picture is compressed straight from its YUV planes
// (TurboJPEG), written to a uniquely named temporary file beside the target
// and renamed over it, so a reader sees the old file or the whole new one,
// never a part.
//
// Without AM_FILE_OVERWRITE an existing file is kept: the new picture is
// dropped (the rename refuses to replace). Without a file name samples are
// dropped.
#include <orlik/dshow.h>
#include <orlik/text.h>

#include "com/registry.h"
#include "core/paths.h"
#include "strmbase.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>

namespace orlik::capture {
namespace {

using strmbase::BaseRenderer;

#ifndef ERROR_FILENAME_EXCED_RANGE
#define ERROR_FILENAME_EXCED_RANGE 206u
#endif

constexpr int kJpegQuality = 90;
// The longest file name kept, in UTF-16 units without the terminator.
constexpr size_t kMaxFileName = MAX_PATH - 1;

HRESULT ErrnoResult(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    case EEXIST:
      return HRESULT_FROM_WIN32(ERROR_FILE_EXISTS);
    default:
      return HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
  }
}

// The picture layouts the sink compresses.
enum class Layout { kYv12, kI420, kBgr24, kBgrx32 };

bool LayoutOf(const GUID& subtype, Layout* layout) {
  if (subtype == MEDIASUBTYPE_YV12) *layout = Layout::kYv12;
  else if (subtype == MEDIASUBTYPE_I420 || subtype == MEDIASUBTYPE_IYUV) *layout = Layout::kI420;
  else if (subtype == MEDIASUBTYPE_RGB24) *layout = Layout::kBgr24;
  else if (subtype == MEDIASUBTYPE_RGB32) *layout = Layout::kBgrx32;
  else return false;
  return true;
}

struct Picture {
  Layout layout;
  int width;
  int height;     // positive
  bool bottomUp;  // RGB pictures with a positive biHeight
  size_t bytes;   // what one whole picture takes
};

// The picture a video type describes, or false for a type the sink does not take.
bool PictureOf(const AM_MEDIA_TYPE& type, Picture* picture) {
  if (type.majortype != MEDIATYPE_Video || type.formattype != FORMAT_VideoInfo) return false;
  if (type.cbFormat < sizeof(VIDEOINFOHEADER) || !type.pbFormat) return false;
  if (!LayoutOf(type.subtype, &picture->layout)) return false;
  VIDEOINFOHEADER vih;
  std::memcpy(&vih, type.pbFormat, sizeof vih);
  LONG w = vih.bmiHeader.biWidth, h = vih.bmiHeader.biHeight;
  if (w <= 0 || h == 0 || w > 8192 || h > 8192 || h < -8192) return false;
  picture->width = int(w);
  picture->height = int(h < 0 ? -h : h);
  size_t pw = size_t(picture->width), ph = size_t(picture->height);
  switch (picture->layout) {
    case Layout::kYv12:
    case Layout::kI420:
      // YUV pictures are top-down whatever the sign of the height.
      picture->bottomUp = false;
      picture->bytes = pw * ph + 2 * ((pw + 1) / 2) * ((ph + 1) / 2);
      break;
    case Layout::kBgr24:
      picture->bottomUp = h > 0;
      picture->bytes = ((pw * 3 + 3) & ~size_t(3)) * ph;
      break;
    case Layout::kBgrx32:
      picture->bottomUp = h > 0;
      picture->bytes = pw * 4 * ph;
      break;
  }
  return true;
}

class ImageSink final : public BaseRenderer, public IFileSinkFilter2 {
 public:
  ImageSink() : BaseRenderer(CLSID_IMGSinkFilter, u"Input") {}

  HRESULT WINAPI QueryInterface(REFIID iid, void** object) override { return BaseRenderer::QueryInterface(iid, object); }
  ULONG WINAPI AddRef() override { return BaseRenderer::AddRef(); }
  ULONG WINAPI Release() override { return BaseRenderer::Release(); }

  // --- IFileSinkFilter2 -----------------------------------------------------------------
  HRESULT WINAPI SetFileName(LPCOLESTR fileName, const AM_MEDIA_TYPE*) override {
    if (!fileName) return E_POINTER;
    std::u16string_view name = View(fileName);
    if (name.empty()) return E_INVALIDARG;
    // A name cut short would name another file: refuse it whole.
    if (name.size() > kMaxFileName) return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    std::lock_guard lock(settingsLock_);
    fileName_.assign(name);
    return S_OK;
  }

  HRESULT WINAPI GetCurFile(LPOLESTR* fileName, AM_MEDIA_TYPE* type) override {
    if (!fileName) return E_POINTER;
    *fileName = nullptr;
    if (type) std::memset(type, 0, sizeof *type);
    std::lock_guard lock(settingsLock_);
    if (fileName_.empty()) return E_FAIL;
    size_t bytes = (fileName_.size() + 1) * sizeof(WCHAR);
    auto* copy = static_cast<LPOLESTR>(CoTaskMemAlloc(bytes));
    if (!copy) return E_OUTOFMEMORY;
    std::memcpy(copy, fileName_.c_str(), bytes);
    *fileName = copy;
    return S_OK;
  }

  HRESULT WINAPI SetMode(DWORD flags) override {
    if (flags & ~DWORD(AM_FILE_OVERWRITE)) return E_INVALIDARG;
    std::lock_guard lock(settingsLock_);
    mode_ = flags;
    return S_OK;
  }

  HRESULT WINAPI GetMode(DWORD* flags) override {
    if (!flags) return E_POINTER;
    std::lock_guard lock(settingsLock_);
    *flags = mode_;
    return S_OK;
  }

  // --- rendering -------------------------------------------------------------------------
  HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override {
    Picture picture;
    return type && PictureOf(*type, &picture) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
  }

  HRESULT SetMediaType(const AM_MEDIA_TYPE* type) override {
    return PictureOf(*type, &picture_) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
  }

  // Runs on the streaming thread under the renderer's lock.
  HRESULT DoRenderSample(IMediaSample* sample) override {
    // A sample may carry a new format for itself and those after it.
    strmbase::MediaType changed;
    if (strmbase::ChangedType(sample, &changed)) {
      Picture picture;
      if (!PictureOf(*changed.get(), &picture)) return VFW_E_INVALIDMEDIATYPE;
      picture_ = picture;
    }
    std::u16string name;
    DWORD mode;
    {
      std::lock_guard lock(settingsLock_);
      name = fileName_;
      mode = mode_;
    }
    if (name.empty()) return S_OK;
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || !data) return E_POINTER;
    LONG length = sample->GetActualDataLength();
    // A sample shorter than one whole picture is not written: it would give
    // a picture partly made of whatever the buffer held before.
    if (length < 0 || size_t(length) < picture_.bytes) return E_INVALIDARG;
    std::string target = HostPath(name);
    bool overwrite = (mode & AM_FILE_OVERWRITE) != 0;
    if (!overwrite && access(target.c_str(), F_OK) == 0) return S_OK;
    HRESULT hr = Compress(data);
    if (FAILED(hr)) return hr;
    return WriteFile(target, overwrite);
  }

 protected:
  HRESULT QueryFilterInterface(REFIID iid, void** object) override {
    if (strmbase::Offer(static_cast<IFileSinkFilter2*>(this), iid, object, IID_IFileSinkFilter, IID_IFileSinkFilter2)) return S_OK;
    return BaseRenderer::QueryFilterInterface(iid, object);
  }

 private:
  ~ImageSink() override {
    if (compressor_) tjDestroy(compressor_);
    if (jpeg_) tjFree(jpeg_);
  }

  // Compresses the picture into jpeg_/jpegSize_.
  HRESULT Compress(const BYTE* data) {
    if (!compressor_) compressor_ = tjInitCompress();
    if (!compressor_) return E_OUTOFMEMORY;
    const int w = picture_.width, h = picture_.height;
    // One buffer of the largest JPEG this size can give, kept for the next
    // picture; TurboJPEG then never reallocates it.
    unsigned long worst = tjBufSize(w, h, TJSAMP_420);
    if (worst == static_cast<unsigned long>(-1) || worst > 0x7FFFFFFFul) return E_INVALIDARG;
    if (jpegCapacity_ < worst) {
      if (jpeg_) tjFree(jpeg_);
      jpeg_ = tjAlloc(int(worst));
      jpegCapacity_ = jpeg_ ? worst : 0;
      if (!jpeg_) return E_OUTOFMEMORY;
    }
    jpegSize_ = jpegCapacity_;
    int flags = TJFLAG_NOREALLOC;
    int result;
    if (picture_.layout == Layout::kYv12 || picture_.layout == Layout::kI420) {
      const size_t luma = size_t(w) * size_t(h);
      const size_t chroma = size_t((w + 1) / 2) * size_t((h + 1) / 2);
      const BYTE* first = data + luma;
      const BYTE* second = first + chroma;
      // YV12 carries V before U, I420 U before V; TurboJPEG takes Y, Cb (U), Cr (V).
      const unsigned char* planes[3] = {data, picture_.layout == Layout::kYv12 ? second : first,
                                        picture_.layout == Layout::kYv12 ? first : second};
      result = tjCompressFromYUVPlanes(compressor_, planes, w, nullptr, h, TJSAMP_420, &jpeg_, &jpegSize_,
                                       kJpegQuality, flags);
    } else {
      bool rgb24 = picture_.layout == Layout::kBgr24;
      int pitch = rgb24 ? ((w * 3 + 3) & ~3) : w * 4;
      if (picture_.bottomUp) flags |= TJFLAG_BOTTOMUP;
      result = tjCompress2(compressor_, data, w, pitch, h, rgb24 ? TJPF_BGR : TJPF_BGRX, &jpeg_, &jpegSize_,
                           TJSAMP_420, kJpegQuality, flags);
    }
    return result == 0 ? S_OK : E_FAIL;
  }

  // Writes jpeg_ to a temporary beside target, then renames it into place.
  HRESULT WriteFile(const std::string& target, bool overwrite) {
    auto slash = target.rfind('/');
    std::string dir = slash == std::string::npos ? std::string(".") : target.substr(0, slash);
    std::string base = slash == std::string::npos ? target : target.substr(slash + 1);
    std::string temp = dir + "/." + base + ".XXXXXX";
    int fd = mkstemp(temp.data());
    if (fd < 0) return ErrnoResult(errno);
    // As a file created with the usual permissions would be.
    mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    const unsigned char* p = jpeg_;
    size_t left = jpegSize_;
    while (left > 0) {
      ssize_t n = write(fd, p, left);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) {
        int error = n < 0 ? errno : ENOSPC;
        close(fd);
        unlink(temp.c_str());
        return ErrnoResult(error);
      }
      p += n;
      left -= size_t(n);
    }
    if (close(fd) != 0) {
      int error = errno;
      unlink(temp.c_str());
      return ErrnoResult(error);
    }
    int moved = overwrite ? rename(temp.c_str(), target.c_str()) : MoveNoReplace(temp, target);
    if (moved != 0) {
      int error = errno;
      unlink(temp.c_str());
      // A file that appeared meanwhile is kept, as asked.
      return !overwrite && error == EEXIST ? S_OK : ErrnoResult(error);
    }
    return S_OK;
  }

  // Moves temp to target unless target exists; errno EEXIST when it does.
  static int MoveNoReplace(const std::string& temp, const std::string& target) {
    if (renameat2(AT_FDCWD, temp.c_str(), AT_FDCWD, target.c_str(), RENAME_NOREPLACE) == 0) return 0;
    if (errno != EINVAL && errno != ENOSYS) return -1;
    // File systems without the flag: a hard link also refuses to replace.
    if (link(temp.c_str(), target.c_str()) != 0) return -1;
    unlink(temp.c_str());
    return 0;
  }

  std::mutex settingsLock_;
  std::u16string fileName_;
  DWORD mode_ = 0;

  // Streaming state, used under the renderer's lock.
  Picture picture_{};
  tjhandle compressor_ = nullptr;
  unsigned char* jpeg_ = nullptr;
  unsigned long jpegCapacity_ = 0;
  unsigned long jpegSize_ = 0;
};

const com::ClassRegistrar kImageSink(CLSID_IMGSinkFilter, &com::Construct<ImageSink>);

}  // namespace
}  // namespace orlik::capture
