#include "dshow/video_window.h"

#include "board/display.h"
#include "user/uncovered.h"
#include "gdi/dc.h"

#include <libyuv/convert_argb.h>
#include <libyuv/scale_argb.h>

#include <algorithm>
#include <cstring>

namespace orlik::dshow {
namespace {

constexpr char16_t kClassName[] = u"OrlikVideoWindow";
constexpr UINT kRunTasks = WM_APP + 0x56;
constexpr UINT kQuit = WM_APP + 0x57;
constexpr UINT kParentNotify = 0x0210;  // WM_PARENTNOTIFY
constexpr UINT kKeyFirst = 0x0100, kKeyLast = 0x0109;
constexpr UINT kMouseFirst = 0x0200, kMouseLast = 0x020E;
constexpr int kMaxFrameSide = 8192;
// libyuv scales to at most this many pixels a side.
constexpr int kMaxDrawSide = 32767;
// WS_OVERLAPPEDWINDOW | WS_CLIPSIBLINGS | WS_CLIPCHILDREN: a renderer's own
// window until the caller sets a style.
constexpr LONG kDefaultStyle = 0x06CF0000;

bool Empty(const RECT& r) { return r.right <= r.left || r.bottom <= r.top; }

RECT Intersect(const RECT& a, const RECT& b) {
  RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
         std::min(a.bottom, b.bottom)};
  return Empty(r) ? RECT{0, 0, 0, 0} : r;
}

bool Contains(const RECT& outer, const RECT& inner) {
  return inner.left >= outer.left && inner.top >= outer.top && inner.right <= outer.right &&
         inner.bottom <= outer.bottom;
}

RECT Offset(const RECT& r, LONG dx, LONG dy) { return RECT{r.left + dx, r.top + dy, r.right + dx, r.bottom + dy}; }

RECT ScreenRect() {
  auto& d = board::Display::Get();
  return RECT{0, 0, d.Width(), d.Height()};
}

void RegisterWindowClass(WNDPROC proc) {
  static std::once_flag once;
  std::call_once(once, [proc] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = proc;
    wc.lpszClassName = kClassName;
    RegisterClassW(&wc);
  });
}

}  // namespace

// --- frame formats -----------------------------------------------------------------------

size_t FrameFormat::Bytes() const {
  size_t luma = size_t(stride) * size_t(rows);
  if (layout == PixelLayout::kRgb32 || layout == PixelLayout::kRgb24) return luma;
  return luma + 2 * size_t((stride + 1) / 2) * size_t((rows + 1) / 2);
}

bool FrameFormatOf(const AM_MEDIA_TYPE& type, FrameFormat* format) {
  if (type.majortype != MEDIATYPE_Video || type.formattype != FORMAT_VideoInfo || !type.pbFormat ||
      type.cbFormat < sizeof(VIDEOINFOHEADER))
    return false;
  VIDEOINFOHEADER info;
  std::memcpy(&info, type.pbFormat, sizeof info);
  const BITMAPINFOHEADER& bmi = info.bmiHeader;
  LONG width = bmi.biWidth;
  LONG rows = bmi.biHeight < 0 ? -bmi.biHeight : bmi.biHeight;
  if (width < 1 || width > kMaxFrameSide || rows < 1 || rows > kMaxFrameSide) return false;
  FrameFormat f;
  if (type.subtype == MEDIASUBTYPE_RGB32 && bmi.biBitCount == 32) {
    f.layout = PixelLayout::kRgb32;
    f.stride = int(width) * 4;
  } else if (type.subtype == MEDIASUBTYPE_RGB24 && bmi.biBitCount == 24) {
    f.layout = PixelLayout::kRgb24;
    f.stride = (int(width) * 3 + 3) & ~3;
  } else if (type.subtype == MEDIASUBTYPE_YV12) {
    f.layout = PixelLayout::kYv12;
    f.stride = int(width);
  } else if (type.subtype == MEDIASUBTYPE_I420 || type.subtype == MEDIASUBTYPE_IYUV) {
    f.layout = PixelLayout::kI420;
    f.stride = int(width);
  } else {
    return false;
  }
  bool rgb = f.layout == PixelLayout::kRgb32 || f.layout == PixelLayout::kRgb24;
  f.bottomUp = rgb && bmi.biHeight > 0;
  f.rows = int(rows);
  f.width = int(width);
  f.height = int(rows);
  // A source rectangle from the corner shows part of wider or taller buffers.
  const RECT& src = info.rcSource;
  if (src.left == 0 && src.top == 0 && src.right > 0 && src.bottom > 0 && src.right <= width &&
      src.bottom <= rows) {
    f.width = int(src.right);
    f.height = int(src.bottom);
  }
  *format = f;
  return true;
}

// --- the window and its thread ------------------------------------------------------------

struct VideoWindow::Target {
  RECT dst;   // where the whole frame goes, screen coordinates
  RECT clip;  // what of it may be drawn
};

VideoWindow::VideoWindow() : style_(kDefaultStyle) { RegisterWindowClass(WindowProc); }

VideoWindow::~VideoWindow() {
  HWND window;
  {
    std::lock_guard lock(windowMutex_);
    window = window_;
    window_ = nullptr;
    published_ = nullptr;
  }
  if (window && IsWindow(window)) DestroyWindow(window);
  bool changed;
  {
    // The video leaves the screen.
    std::lock_guard lock(stateMutex_);
    visible_ = false;
    changed = DrawLocked();
  }
  if (changed) board::Display::Get().Present();
  HWND control = nullptr;
  {
    std::lock_guard lock(tasksMutex_);
    if (thread_.joinable()) control = control_;
  }
  if (control) {
    PostMessageW(control, kQuit, 0, 0);
    thread_.join();
  }
}

void VideoWindow::ThreadMain() {
  HWND control = CreateWindowExW(0, kClassName, u"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr, nullptr, nullptr);
  SetWindowLongPtrW(control, GWL_USERDATA, reinterpret_cast<LONG_PTR>(this));
  {
    std::lock_guard lock(tasksMutex_);
    control_ = control;
    threadReady_ = true;
  }
  tasksDone_.notify_all();
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
}

void VideoWindow::RunOnWindowThread(const std::function<void()>& task) {
  std::unique_lock lock(tasksMutex_);
  if (!thread_.joinable()) {
    thread_ = std::thread(&VideoWindow::ThreadMain, this);
    tasksDone_.wait(lock, [this] { return threadReady_; });
  }
  if (std::this_thread::get_id() == thread_.get_id()) {
    lock.unlock();
    task();
    return;
  }
  tasks_.push_back(&task);
  uint64_t ticket = ++tasksQueued_;
  HWND control = control_;
  lock.unlock();
  PostMessageW(control, kRunTasks, 0, 0);
  lock.lock();
  tasksDone_.wait(lock, [&] { return tasksRun_ >= ticket; });
}

void VideoWindow::RunTasks() {
  std::unique_lock lock(tasksMutex_);
  while (!tasks_.empty()) {
    const std::function<void()>* task = tasks_.front();
    tasks_.pop_front();
    lock.unlock();
    (*task)();
    lock.lock();
    ++tasksRun_;
    tasksDone_.notify_all();
  }
}

LRESULT CALLBACK VideoWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<VideoWindow*>(GetWindowLongPtrW(window, GWL_USERDATA));
  if (!self) return DefWindowProcW(window, message, wParam, lParam);
  switch (message) {
    case kRunTasks:
      self->RunTasks();
      return 0;
    case kQuit:
      DestroyWindow(window);
      PostQuitMessage(0);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(window, &ps);
      self->Repaint();
      EndPaint(window, &ps);  // presents the screen
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;  // the frame (or black) covers the whole window
    default:
      break;
  }
  if ((message >= kKeyFirst && message <= kKeyLast) || (message >= kMouseFirst && message <= kMouseLast)) {
    if (HWND drain = self->MessageDrain()) PostMessageW(drain, message, wParam, lParam);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

void VideoWindow::SyncWindow() {
  std::unique_lock windowLock(windowMutex_);
  HWND owner;
  bool visible;
  RECT place;
  LONG exStyle;
  std::u16string caption;
  {
    std::lock_guard lock(stateMutex_);
    owner = owner_;
    visible = visible_;
    exStyle = exStyle_;
    caption = caption_;
    place = position_;
    if (fullScreen_) {
      place = ScreenRect();
      RECT o;
      if (owner && GetWindowRect(owner, &o)) place = Offset(place, -o.left, -o.top);
    }
  }
  bool exists = window_ && IsWindow(window_);
  HWND newChild = nullptr;
  if (exists || owner || visible) {
    if (!exists || windowParent_ != owner) {
      if (exists) DestroyWindow(window_);
      HWND created = nullptr;
      DWORD style = owner ? WS_CHILD : WS_POPUP;
      RunOnWindowThread([&] {
        created = CreateWindowExW(DWORD(exStyle), kClassName, caption.c_str(), style, int(place.left),
                                  int(place.top), int(place.right - place.left), int(place.bottom - place.top),
                                  owner, nullptr, nullptr, nullptr);
        if (created) SetWindowLongPtrW(created, GWL_USERDATA, reinterpret_cast<LONG_PTR>(this));
      });
      window_ = created;
      windowParent_ = owner;
      published_ = created;
      newChild = owner ? created : nullptr;
    }
    if (window_) {
      // Drawn below, at once: the window system need not schedule a repaint.
      SetWindowPos(window_, nullptr, int(place.left), int(place.top), int(place.right - place.left),
                   int(place.bottom - place.top),
                   SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOREDRAW | (visible ? SWP_SHOWWINDOW : SWP_HIDEWINDOW));
    }
  }
  bool changed;
  {
    std::lock_guard lock(stateMutex_);
    changed = DrawLocked();
  }
  windowLock.unlock();
  if (changed) board::Display::Get().Present();
  // The owner hears of its new child on its own thread.
  if (newChild) PostMessageW(owner, kParentNotify, WPARAM(WM_CREATE), reinterpret_cast<LPARAM>(newChild));
}

// --- state ---------------------------------------------------------------------------------

void VideoWindow::SetFormat(const FrameFormat& format, bool resetPosition) {
  {
    std::lock_guard lock(stateMutex_);
    format_ = format;
    frame_.clear();
    haveFrame_ = false;
    if (resetPosition) position_ = RECT{0, 0, format.width, format.height};
  }
  SyncWindow();
}

FrameFormat VideoWindow::Format() {
  std::lock_guard lock(stateMutex_);
  return format_;
}

bool VideoWindow::HasFrame() {
  std::lock_guard lock(stateMutex_);
  return haveFrame_;
}

bool VideoWindow::CopyFrame(std::vector<uint8_t>* pixels) {
  std::lock_guard lock(stateMutex_);
  if (!haveFrame_) return false;
  *pixels = frame_;
  return true;
}

#define VIDEO_WINDOW_PROPERTY(Type, Name, member)  \
  Type VideoWindow::Name() {                        \
    std::lock_guard lock(stateMutex_);              \
    return member;                                  \
  }
VIDEO_WINDOW_PROPERTY(HWND, Owner, owner_)
VIDEO_WINDOW_PROPERTY(HWND, MessageDrain, drain_)
VIDEO_WINDOW_PROPERTY(LONG, Style, style_)
VIDEO_WINDOW_PROPERTY(LONG, ExStyle, exStyle_)
VIDEO_WINDOW_PROPERTY(std::u16string, Caption, caption_)
VIDEO_WINDOW_PROPERTY(bool, Visible, visible_)
VIDEO_WINDOW_PROPERTY(RECT, Position, position_)
VIDEO_WINDOW_PROPERTY(bool, FullScreen, fullScreen_)
#undef VIDEO_WINDOW_PROPERTY

HWND VideoWindow::Handle() { return published_.load(); }

void VideoWindow::SetMessageDrain(HWND drain) { Set(drain_, drain); }

void VideoWindow::SetStyle(LONG style) { Set(style_, style); }

void VideoWindow::SetExStyle(LONG style) { Set(exStyle_, style); }

void VideoWindow::SetCaption(std::u16string caption) { Set(caption_, std::move(caption)); }

void VideoWindow::SetOwner(HWND owner) { SetAndSync(owner_, owner); }

void VideoWindow::SetVisible(bool visible) { SetAndSync(visible_, visible); }

void VideoWindow::SetPosition(const RECT& rect) { SetAndSync(position_, rect); }

void VideoWindow::SetFullScreen(bool fullScreen) { SetAndSync(fullScreen_, fullScreen); }

// --- drawing -------------------------------------------------------------------------------

bool VideoWindow::ShowFrame(const uint8_t* data, size_t size) {
  bool drawn;
  {
    std::lock_guard lock(stateMutex_);
    const FrameFormat& f = format_;
    if (!data || f.width <= 0 || size < f.Bytes()) return false;
    frame_.resize(size_t(f.width) * size_t(f.height) * 4);
    const int outStride = f.width * 4;
    // Bottom-up rows are read from the last stored row, going up.
    const uint8_t* top = f.bottomUp ? data + size_t(f.rows - 1) * size_t(f.stride) : data;
    const int stride = f.bottomUp ? -f.stride : f.stride;
    switch (f.layout) {
      case PixelLayout::kRgb32:
        libyuv::ARGBCopy(top, stride, frame_.data(), outStride, f.width, f.height);
        break;
      case PixelLayout::kRgb24:
        libyuv::RGB24ToARGB(top, stride, frame_.data(), outStride, f.width, f.height);
        break;
      case PixelLayout::kYv12:
      case PixelLayout::kI420: {
        const int chromaStride = (f.stride + 1) / 2;
        const uint8_t* first = data + size_t(f.stride) * size_t(f.rows);
        const uint8_t* second = first + size_t(chromaStride) * size_t((f.rows + 1) / 2);
        bool yv12 = f.layout == PixelLayout::kYv12;
        libyuv::I420ToARGB(data, f.stride, yv12 ? second : first, chromaStride, yv12 ? first : second,
                           chromaStride, frame_.data(), outStride, f.width, f.height);
        break;
      }
    }
    haveFrame_ = true;
    drawn = DrawLocked();
  }
  if (drawn) board::Display::Get().Present();
  return true;
}

void VideoWindow::Repaint() {
  std::lock_guard lock(stateMutex_);
  DrawLocked();
}

bool VideoWindow::TargetLocked(Target* target) {
  if (!visible_) return false;
  const RECT screen = ScreenRect();
  if (fullScreen_) {
    *target = Target{screen, screen};
    return true;
  }
  if (owner_) {
    RECT o;
    if (!IsWindowVisible(owner_) || !GetWindowRect(owner_, &o)) return false;
    *target = Target{Offset(position_, o.left, o.top), Intersect(o, screen)};
  } else {
    *target = Target{position_, screen};
  }
  return !Empty(target->dst);
}

bool VideoWindow::DrawLocked() {
  Target t{};
  RECT vis{0, 0, 0, 0};
  if (TargetLocked(&t)) vis = Intersect(t.dst, t.clip);
  const int dw = int(t.dst.right - t.dst.left), dh = int(t.dst.bottom - t.dst.top);
  if (dw > kMaxDrawSide || dh > kMaxDrawSide) vis = RECT{0, 0, 0, 0};
  const RECT before = drawn_;
  const bool vacated = !Empty(before) && !Contains(vis, before);
  if (Empty(vis) && !vacated) return false;
  // The video draws only where no window above its own covers it (a message
  // box, another process's window); the rest is theirs.
  const std::vector<RECT> parts = user::UncoveredPart(published_.load(), vis);
  const std::vector<RECT> vacatedParts = vacated ? user::UncoveredPart(published_.load(), before) : std::vector<RECT>{};
  {
    std::lock_guard gdiLock(gdi::Lock());
    cairo_surface_t* surface = board::Display::Get().Surface();
    cairo_surface_flush(surface);
    uint8_t* pixels = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    auto at = [&](LONG x, LONG y) { return pixels + ptrdiff_t(y) * stride + ptrdiff_t(x) * 4; };
    auto fillBlack = [&](const RECT& r) {
      for (LONG y = r.top; y < r.bottom; ++y) std::memset(at(r.left, y), 0, size_t(r.right - r.left) * 4);
    };
    for (const RECT& r : vacatedParts) fillBlack(r);
    const int sw = format_.width, sh = format_.height;
    for (const RECT& part : parts) {
      const int pw = int(part.right - part.left), ph = int(part.bottom - part.top);
      if (!haveFrame_ || sw <= 0 || sh <= 0) {
        fillBlack(part);
      } else if (dw == sw && dh == sh) {
        // Same size: the frame's rows are the screen's rows (B, G, R, X).
        const uint8_t* src = frame_.data() + size_t(part.top - t.dst.top) * size_t(sw) * 4 +
                             size_t(part.left - t.dst.left) * 4;
        for (LONG y = part.top; y < part.bottom; ++y, src += size_t(sw) * 4)
          std::memcpy(at(part.left, y), src, size_t(pw) * 4);
      } else if (pw == dw && ph == dh) {
        libyuv::ARGBScale(frame_.data(), sw * 4, sw, sh, at(t.dst.left, t.dst.top), stride, dw, dh,
                          libyuv::kFilterBilinear);
      } else {
        // Clipped: libyuv writes only the clip's pixels, addressed from where
        // the frame's corner would be (perhaps off the screen, never touched).
        auto corner = reinterpret_cast<uint8_t*>(reinterpret_cast<uintptr_t>(pixels) +
                                                 uintptr_t(ptrdiff_t(t.dst.top) * stride + ptrdiff_t(t.dst.left) * 4));
        libyuv::ARGBScaleClip(frame_.data(), sw * 4, sw, sh, corner, stride, dw, dh, int(part.left - t.dst.left),
                              int(part.top - t.dst.top), pw, ph, libyuv::kFilterBilinear);
      }
    }
    for (const RECT& r : vacatedParts)
      cairo_surface_mark_dirty_rectangle(surface, int(r.left), int(r.top), int(r.right - r.left),
                                         int(r.bottom - r.top));
    for (const RECT& r : parts)
      cairo_surface_mark_dirty_rectangle(surface, int(r.left), int(r.top), int(r.right - r.left),
                                         int(r.bottom - r.top));
  }
  drawn_ = vis;
  if (vacated) {
    // What the video left is the other windows' to paint again: the
    // owner's when it lay inside the owner, every window's otherwise.
    RECT o;
    bool inOwner = owner_ && GetWindowRect(owner_, &o) && Contains(o, before);
    InvalidateRect(inOwner ? owner_ : nullptr, nullptr, TRUE);
  }
  return true;
}

}  // namespace orlik::dshow
