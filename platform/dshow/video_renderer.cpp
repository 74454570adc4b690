// The video renderer (CLSID_VideoRenderer): one input pin "Input" taking
// uncompressed video (RGB32, RGB24, YV12, I420/IYUV in FORMAT_VideoInfo),
// each sample drawn as it arrives through the video window, which the
// renderer's IVideoWindow controls. As DirectShow's renderer does, the
// window methods answer VFW_E_NOT_CONNECTED until the pin is connected: the
// window's size comes from the video.
#include <orlik/dshow.h>
#include <orlik/winuser.h>

#include "com/dispatch.h"
#include "com/registry.h"
#include "dshow/video_window.h"
#include "strmbase/strmbase.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <vector>

namespace orlik::dshow {
namespace {

using strmbase::BaseRenderer;

// Styles a video window cannot take.
constexpr LONG kRefusedStyles = 0x08000000 /* WS_DISABLED */ | 0x00100000 /* WS_HSCROLL */ |
                                0x00200000 /* WS_VSCROLL */ | 0x01000000 /* WS_MAXIMIZE */ |
                                0x20000000 /* WS_MINIMIZE */;
constexpr LONG kShowMinimized = 2, kMinimize = 6, kShowMinNoActive = 7, kForceMinimize = 11;

bool IsBool(LONG v) { return v == OATRUE || v == OAFALSE; }
LONG AsOaBool(bool v) { return v ? OATRUE : OAFALSE; }

class VideoRenderer final : public BaseRenderer,
                            public com::NoTypeInfo<IVideoWindow>,
                            public com::NoTypeInfo<IBasicVideo> {
 public:
  VideoRenderer() : BaseRenderer(CLSID_VideoRenderer, u"Input") {}

  HRESULT WINAPI QueryInterface(REFIID iid, void** object) override { return BaseRenderer::QueryInterface(iid, object); }
  ULONG WINAPI AddRef() override { return BaseRenderer::AddRef(); }
  ULONG WINAPI Release() override { return BaseRenderer::Release(); }

  // --- the renderer ---
  HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override {
    FrameFormat format;
    return type && FrameFormatOf(*type, &format) ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
  }

  HRESULT SetMediaType(const AM_MEDIA_TYPE* type) override {
    FrameFormat format;
    if (!type || !FrameFormatOf(*type, &format)) return VFW_E_TYPE_NOT_ACCEPTED;
    // A new connection: the window starts at the video's own size.
    window_.SetFormat(format, true);
    std::lock_guard lock(infoMutex_);
    std::memcpy(&info_, type->pbFormat, sizeof info_);
    return S_OK;
  }

  HRESULT DoRenderSample(IMediaSample* sample) override {
    strmbase::MediaType changed;
    if (strmbase::ChangedType(sample, &changed)) {
      // The upstream filter changed the format on the fly: the window keeps
      // its place, the graph hears of the new size.
      FrameFormat format;
      if (!FrameFormatOf(*changed.get(), &format)) return VFW_E_TYPE_NOT_ACCEPTED;
      FrameFormat old = window_.Format();
      window_.SetFormat(format, false);
      std::lock_guard lock(infoMutex_);
      std::memcpy(&info_, changed.get()->pbFormat, sizeof info_);
      if (old.width != format.width || old.height != format.height)
        NotifyEvent(EC_VIDEO_SIZE_CHANGED, LONG_PTR(MAKELPARAM(format.width, format.height)), 0);
    }
    BYTE* data = nullptr;
    if (FAILED(sample->GetPointer(&data)) || !data) return E_POINTER;
    LONG length = sample->GetActualDataLength();
    // A sample shorter than a frame is refused; nothing of it is drawn.
    return window_.ShowFrame(data, size_t(length < 0 ? 0 : length)) ? S_OK : E_INVALIDARG;
  }

 protected:
  HRESULT QueryFilterInterface(REFIID iid, void** object) override {
    if (strmbase::Offer(static_cast<IVideoWindow*>(this), iid, object, IID_IVideoWindow, IID_IDispatch)) return S_OK;
    if (strmbase::Offer(static_cast<IBasicVideo*>(this), iid, object, IID_IBasicVideo)) return S_OK;
    return BaseRenderer::QueryFilterInterface(iid, object);
  }

  HRESULT OnPause() override {
    // Auto-show: the window appears when the stream starts.
    if (State() == State_Stopped && autoShow_ && Connected()) window_.SetVisible(true);
    return BaseRenderer::OnPause();
  }

 public:
  // --- IVideoWindow ---
  HRESULT WINAPI put_Caption(BSTR caption) override {
    if (!Connected()) return VFW_E_NOT_CONNECTED;
    window_.SetCaption(caption ? std::u16string(caption, SysStringLen(caption)) : std::u16string());
    return S_OK;
  }
  HRESULT WINAPI get_Caption(BSTR* caption) override {
    if (!Connected()) return VFW_E_NOT_CONNECTED;
    if (!caption) return E_POINTER;
    std::u16string text = window_.Caption();
    *caption = SysAllocStringLen(text.c_str(), UINT(text.size()));
    return *caption ? S_OK : E_OUTOFMEMORY;
  }
  HRESULT WINAPI put_WindowStyle(LONG style) override {
    if (!Connected()) return VFW_E_NOT_CONNECTED;
    if (style & kRefusedStyles) return E_INVALIDARG;
    window_.SetStyle(style);
    return S_OK;
  }
  HRESULT WINAPI get_WindowStyle(LONG* style) override { return Get(style, window_.Style()); }
  HRESULT WINAPI put_WindowStyleEx(LONG style) override {
    if (!Connected()) return VFW_E_NOT_CONNECTED;
    window_.SetExStyle(style);
    return S_OK;
  }
  HRESULT WINAPI get_WindowStyleEx(LONG* style) override { return Get(style, window_.ExStyle()); }
  HRESULT WINAPI put_AutoShow(LONG autoShow) override { return PutFlag(autoShow_, autoShow); }
  HRESULT WINAPI get_AutoShow(LONG* autoShow) override { return Get(autoShow, AsOaBool(autoShow_)); }
  HRESULT WINAPI put_WindowState(LONG state) override {
    if (!Connected()) return VFW_E_NOT_CONNECTED;
    bool minimized = state == kShowMinimized || state == kMinimize || state == kShowMinNoActive ||
                     state == kForceMinimize;
    window_.SetVisible(state != SW_HIDE && !minimized);
    minimized_ = minimized;
    return S_OK;
  }
  HRESULT WINAPI get_WindowState(LONG* state) override {
    return Get(state, window_.Visible() ? LONG(SW_SHOW) : minimized_ ? kShowMinimized : LONG(SW_HIDE));
  }
  HRESULT WINAPI put_BackgroundPalette(LONG palette) override { return PutFlag(backgroundPalette_, palette); }
  HRESULT WINAPI get_BackgroundPalette(LONG* palette) override {
    return Get(palette, AsOaBool(backgroundPalette_));
  }
  HRESULT WINAPI put_Visible(LONG visible) override {
    return PutBool(visible, [&](bool on) {
      window_.SetVisible(on);
      if (on) minimized_ = false;
    });
  }
  HRESULT WINAPI get_Visible(LONG* visible) override { return Get(visible, AsOaBool(window_.Visible())); }

  HRESULT WINAPI put_Left(LONG left) override {
    return Move([&](RECT& r) { r = RECT{left, r.top, left + (r.right - r.left), r.bottom}; });
  }
  HRESULT WINAPI get_Left(LONG* left) override { return Get(left, window_.Position().left); }
  HRESULT WINAPI put_Width(LONG width) override { return PutExtent(width, &RECT::left, &RECT::right); }
  HRESULT WINAPI get_Width(LONG* width) override { return GetExtent(width, &RECT::left, &RECT::right); }
  HRESULT WINAPI put_Top(LONG top) override {
    return Move([&](RECT& r) { r = RECT{r.left, top, r.right, top + (r.bottom - r.top)}; });
  }
  HRESULT WINAPI get_Top(LONG* top) override { return Get(top, window_.Position().top); }
  HRESULT WINAPI put_Height(LONG height) override { return PutExtent(height, &RECT::top, &RECT::bottom); }
  HRESULT WINAPI get_Height(LONG* height) override { return GetExtent(height, &RECT::top, &RECT::bottom); }

  HRESULT WINAPI put_Owner(OAHWND owner) override {
    return Put([&] { window_.SetOwner(reinterpret_cast<HWND>(owner)); });
  }
  HRESULT WINAPI get_Owner(OAHWND* owner) override {
    return Get(owner, reinterpret_cast<OAHWND>(window_.Owner()));
  }
  HRESULT WINAPI put_MessageDrain(OAHWND drain) override {
    return Put([&] { window_.SetMessageDrain(reinterpret_cast<HWND>(drain)); });
  }
  HRESULT WINAPI get_MessageDrain(OAHWND* drain) override {
    return Get(drain, reinterpret_cast<OAHWND>(window_.MessageDrain()));
  }
  HRESULT WINAPI get_BorderColor(LONG* color) override { return Get(color, LONG(borderColor_.load())); }
  HRESULT WINAPI put_BorderColor(LONG color) override {
    return Put([&] { borderColor_ = color; });
  }
  HRESULT WINAPI get_FullScreenMode(LONG* fullScreen) override {
    return Get(fullScreen, AsOaBool(window_.FullScreen()));
  }
  HRESULT WINAPI put_FullScreenMode(LONG fullScreen) override {
    return PutBool(fullScreen, [&](bool on) { window_.SetFullScreen(on); });
  }
  HRESULT WINAPI SetWindowForeground(LONG focus) override {
    // On top again: the kept frame is drawn over whatever covered it.
    return PutBool(focus, [&](bool) { window_.SetVisible(window_.Visible()); });
  }
  HRESULT WINAPI NotifyOwnerMessage(OAHWND, LONG, LONG_PTR, LONG_PTR) override {
    // Palette and display changes the owner passes on need nothing here.
    return Connected() ? S_OK : VFW_E_NOT_CONNECTED;
  }
  HRESULT WINAPI SetWindowPosition(LONG left, LONG top, LONG width, LONG height) override {
    if (!Connected()) return VFW_E_NOT_CONNECTED;
    if (width < 0 || height < 0) return E_INVALIDARG;
    window_.SetPosition(RECT{left, top, left + width, top + height});
    return S_OK;
  }
  HRESULT WINAPI GetWindowPosition(LONG* left, LONG* top, LONG* width, LONG* height) override {
    if (!Connected()) return VFW_E_NOT_CONNECTED;
    if (!left || !top || !width || !height) return E_POINTER;
    RECT r = window_.Position();
    *left = r.left;
    *top = r.top;
    *width = r.right - r.left;
    *height = r.bottom - r.top;
    return S_OK;
  }
  // The ideal sizes are the video's own: it is drawn best unscaled.
  HRESULT WINAPI GetMinIdealImageSize(LONG* width, LONG* height) override { return IdealSize(width, height); }
  HRESULT WINAPI GetMaxIdealImageSize(LONG* width, LONG* height) override { return IdealSize(width, height); }
  HRESULT WINAPI GetRestorePosition(LONG* left, LONG* top, LONG* width, LONG* height) override {
    // The window is never minimised or maximised as such: its normal place
    // is its place.
    return GetWindowPosition(left, top, width, height);
  }
  HRESULT WINAPI HideCursor(LONG hide) override { return PutFlag(cursorHidden_, hide); }
  HRESULT WINAPI IsCursorHidden(LONG* hidden) override { return Get(hidden, AsOaBool(cursorHidden_)); }

  // --- IBasicVideo ---
  HRESULT WINAPI get_AvgTimePerFrame(REFTIME* time) override {
    std::lock_guard lock(infoMutex_);
    return Get(time, double(info_.AvgTimePerFrame) / double(UNITS));
  }
  HRESULT WINAPI get_BitRate(LONG* rate) override {
    std::lock_guard lock(infoMutex_);
    return Get(rate, LONG(info_.dwBitRate));
  }
  HRESULT WINAPI get_BitErrorRate(LONG* rate) override {
    std::lock_guard lock(infoMutex_);
    return Get(rate, LONG(info_.dwBitErrorRate));
  }
  HRESULT WINAPI get_VideoWidth(LONG* width) override { return Get(width, LONG(window_.Format().width)); }
  HRESULT WINAPI get_VideoHeight(LONG* height) override { return Get(height, LONG(window_.Format().height)); }
  HRESULT WINAPI GetVideoSize(LONG* width, LONG* height) override {
    if (!Connected()) return VFW_E_NOT_CONNECTED;
    if (!width || !height) return E_POINTER;
    FrameFormat f = window_.Format();
    *width = f.width;
    *height = f.height;
    return S_OK;
  }

  // Source and destination rectangles: the frame is always shown whole in
  // the whole window. Setting the default rectangles is accepted; other
  // rectangles are not supported.
  HRESULT WINAPI put_SourceLeft(LONG v) override { return SetSourceOrigin(v); }
  HRESULT WINAPI get_SourceLeft(LONG* v) override { return GetSourcePart(v, [](const RECT& r) { return r.left; }); }
  HRESULT WINAPI put_SourceWidth(LONG v) override { return SetSourceSize(v, true); }
  HRESULT WINAPI get_SourceWidth(LONG* v) override {
    return GetSourcePart(v, [](const RECT& r) { return r.right - r.left; });
  }
  HRESULT WINAPI put_SourceTop(LONG v) override { return SetSourceOrigin(v); }
  HRESULT WINAPI get_SourceTop(LONG* v) override { return GetSourcePart(v, [](const RECT& r) { return r.top; }); }
  HRESULT WINAPI put_SourceHeight(LONG v) override { return SetSourceSize(v, false); }
  HRESULT WINAPI get_SourceHeight(LONG* v) override {
    return GetSourcePart(v, [](const RECT& r) { return r.bottom - r.top; });
  }
  HRESULT WINAPI put_DestinationLeft(LONG v) override { return v == 0 ? CheckConnected() : DefaultOnly(); }
  HRESULT WINAPI get_DestinationLeft(LONG* v) override { return Get(v, LONG(0)); }
  HRESULT WINAPI put_DestinationWidth(LONG v) override { return PutDefaultExtent(v, &RECT::left, &RECT::right); }
  HRESULT WINAPI get_DestinationWidth(LONG* v) override { return GetExtent(v, &RECT::left, &RECT::right); }
  HRESULT WINAPI put_DestinationTop(LONG v) override { return v == 0 ? CheckConnected() : DefaultOnly(); }
  HRESULT WINAPI get_DestinationTop(LONG* v) override { return Get(v, LONG(0)); }
  HRESULT WINAPI put_DestinationHeight(LONG v) override { return PutDefaultExtent(v, &RECT::top, &RECT::bottom); }
  HRESULT WINAPI get_DestinationHeight(LONG* v) override { return GetExtent(v, &RECT::top, &RECT::bottom); }
  HRESULT WINAPI SetSourcePosition(LONG left, LONG top, LONG width, LONG height) override {
    return SetWhole(left, top, width, height, FrameSize());
  }
  HRESULT WINAPI GetSourcePosition(LONG* left, LONG* top, LONG* width, LONG* height) override {
    return GetWhole(left, top, width, height, FrameSize());
  }
  HRESULT WINAPI SetDefaultSourcePosition() override { return CheckConnected(); }
  HRESULT WINAPI SetDestinationPosition(LONG left, LONG top, LONG width, LONG height) override {
    return SetWhole(left, top, width, height, WindowSize());
  }
  HRESULT WINAPI GetDestinationPosition(LONG* left, LONG* top, LONG* width, LONG* height) override {
    return GetWhole(left, top, width, height, WindowSize());
  }
  HRESULT WINAPI SetDefaultDestinationPosition() override { return CheckConnected(); }
  HRESULT WINAPI GetVideoPaletteEntries(LONG, LONG, LONG* retrieved, LONG*) override {
    if (!Connected()) return VFW_E_NOT_CONNECTED;
    if (retrieved) *retrieved = 0;
    return VFW_E_NO_PALETTE_AVAILABLE;  // true-colour and YUV video only
  }
  // The kept frame as a packed DIB: BITMAPINFOHEADER, then 32-bit
  // bottom-up rows. With no buffer, the size it needs.
  HRESULT WINAPI GetCurrentImage(LONG* bufferSize, LONG* image) override {
    if (!Connected()) return VFW_E_NOT_CONNECTED;
    if (!bufferSize) return E_POINTER;
    FrameFormat f = window_.Format();
    size_t row = size_t(f.width) * 4;
    size_t needed = sizeof(BITMAPINFOHEADER) + row * size_t(f.height);
    if (!image) {
      *bufferSize = LONG(needed);
      return S_OK;
    }
    if (*bufferSize < 0 || size_t(*bufferSize) < needed) return E_OUTOFMEMORY;
    std::vector<uint8_t> pixels;
    if (!window_.CopyFrame(&pixels) || pixels.size() != row * size_t(f.height)) return E_UNEXPECTED;
    BITMAPINFOHEADER header{};
    header.biSize = sizeof header;
    header.biWidth = f.width;
    header.biHeight = f.height;
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = BI_RGB;
    header.biSizeImage = DWORD(row * size_t(f.height));
    auto* out = reinterpret_cast<uint8_t*>(image);
    std::memcpy(out, &header, sizeof header);
    for (int y = 0; y < f.height; ++y)
      std::memcpy(out + sizeof header + size_t(f.height - 1 - y) * row, pixels.data() + size_t(y) * row, row);
    *bufferSize = LONG(needed);
    return S_OK;
  }
  HRESULT WINAPI IsUsingDefaultSource() override { return CheckConnected(); }
  HRESULT WINAPI IsUsingDefaultDestination() override { return CheckConnected(); }

 private:
  bool Connected() { return PinAt(0)->IsConnected(); }
  HRESULT CheckConnected() { return Connected() ? S_OK : VFW_E_NOT_CONNECTED; }
  HRESULT DefaultOnly() { return Connected() ? E_NOTIMPL : VFW_E_NOT_CONNECTED; }

  template <class T, class V>
  HRESULT Get(T* out, V value) {
    if (!Connected()) return VFW_E_NOT_CONNECTED;
    if (!out) return E_POINTER;
    *out = T(value);
    return S_OK;
  }

  // A change made only while connected.
  template <class F>
  HRESULT Put(F apply) {
    if (!Connected()) return VFW_E_NOT_CONNECTED;
    apply();
    return S_OK;
  }

  // An OATRUE/OAFALSE change made only while connected; anything else is
  // E_INVALIDARG.
  template <class F>
  HRESULT PutBool(LONG value, F apply) {
    if (!Connected()) return VFW_E_NOT_CONNECTED;
    if (!IsBool(value)) return E_INVALIDARG;
    apply(value == OATRUE);
    return S_OK;
  }

  // A property that is OATRUE or OAFALSE, kept as a flag.
  HRESULT PutFlag(std::atomic<bool>& flag, LONG value) {
    return PutBool(value, [&](bool on) { flag = on; });
  }

  template <class F>
  HRESULT Move(F change) {
    return Put([&] {
      RECT r = window_.Position();
      change(r);
      window_.SetPosition(r);
    });
  }

  // Width (left to right) or height (top to bottom) of the window: the far
  // edge moves, the near one stays.
  HRESULT PutExtent(LONG extent, LONG RECT::*nearEdge, LONG RECT::*farEdge) {
    if (extent < 0) return Connected() ? E_INVALIDARG : VFW_E_NOT_CONNECTED;
    return Move([&](RECT& r) { r.*farEdge = r.*nearEdge + extent; });
  }
  // The destination's width or height: only the window's own is accepted.
  HRESULT PutDefaultExtent(LONG extent, LONG RECT::*nearEdge, LONG RECT::*farEdge) {
    RECT r = window_.Position();
    return extent == r.*farEdge - r.*nearEdge ? CheckConnected() : DefaultOnly();
  }
  HRESULT GetExtent(LONG* extent, LONG RECT::*nearEdge, LONG RECT::*farEdge) {
    RECT r = window_.Position();
    return Get(extent, r.*farEdge - r.*nearEdge);
  }

  // IBasicVideo's source (the frame) and destination (the window) are
  // always the whole area from (0, 0): any other position is the default's
  // to refuse.
  SIZE FrameSize() {
    FrameFormat f = window_.Format();
    return {f.width, f.height};
  }
  SIZE WindowSize() {
    RECT r = window_.Position();
    return {r.right - r.left, r.bottom - r.top};
  }
  HRESULT SetWhole(LONG left, LONG top, LONG width, LONG height, SIZE area) {
    if (!Connected()) return VFW_E_NOT_CONNECTED;
    return left == 0 && top == 0 && width == area.cx && height == area.cy ? S_OK : DefaultOnly();
  }
  HRESULT GetWhole(LONG* left, LONG* top, LONG* width, LONG* height, SIZE area) {
    if (!Connected()) return VFW_E_NOT_CONNECTED;
    if (!left || !top || !width || !height) return E_POINTER;
    *left = *top = 0;
    *width = area.cx;
    *height = area.cy;
    return S_OK;
  }

  HRESULT IdealSize(LONG* width, LONG* height) {
    if (!Connected()) return VFW_E_NOT_CONNECTED;
    if (!width || !height) return E_POINTER;
    if (State() == State_Stopped) return VFW_E_WRONG_STATE;
    FrameFormat f = window_.Format();
    *width = f.width;
    *height = f.height;
    return S_OK;
  }

  HRESULT SetSourceOrigin(LONG v) { return v == 0 ? CheckConnected() : DefaultOnly(); }
  HRESULT SetSourceSize(LONG v, bool width) {
    FrameFormat f = window_.Format();
    return v == (width ? f.width : f.height) ? CheckConnected() : DefaultOnly();
  }
  template <class F>
  HRESULT GetSourcePart(LONG* v, F part) {
    FrameFormat f = window_.Format();
    return Get(v, part(RECT{0, 0, f.width, f.height}));
  }

  VideoWindow window_;
  std::atomic<bool> autoShow_{true};
  std::atomic<bool> minimized_{false};
  std::atomic<bool> backgroundPalette_{false};
  std::atomic<bool> cursorHidden_{false};
  std::atomic<LONG> borderColor_{0};
  std::mutex infoMutex_;
  VIDEOINFOHEADER info_{};
};

const com::ClassRegistrar kVideoRenderer(CLSID_VideoRenderer, &com::Construct<VideoRenderer>);

}  // namespace
}  // namespace orlik::dshow
