// The video window: the one component that puts video on the panel's screen
// (the media player's renderer and the camera preview both draw through it).
//
// It is a window of the platform's window system, a child of its owner
// window placed at a rectangle relative to the owner's client area (relative
// to the screen when there is no owner). Each frame is converted to the
// screen's pixel layout, scaled to the rectangle (bilinear) and clipped to the
// owner window and the screen; every drawn frame presents the screen. In
// full-screen mode the frame covers the whole screen. The last frame is kept
// and drawn again when the window is repainted, moved or shown.
//
// The window belongs to a thread of the component's own, which handles its
// repaints and forwards mouse and keyboard messages to the message drain, so
// it works whichever thread made the calls. When the window is created with
// an owner, WM_PARENTNOTIFY (WM_CREATE, the window's handle) is posted to the
// owner, as a parent hears of its new child windows.
//
// All methods may be called from any thread.
#pragma once

#include <orlik/dshow.h>
#include <orlik/winuser.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace orlik::dshow {

enum class PixelLayout {
  kRgb32,  // B, G, R, X bytes a pixel
  kRgb24,  // B, G, R bytes a pixel, rows padded to 4 bytes
  kYv12,   // Y plane, then V, then U (chroma at half width and height)
  kI420,   // Y plane, then U, then V
};

struct FrameFormat {
  PixelLayout layout = PixelLayout::kRgb32;
  int width = 0;   // pixels shown a row
  int height = 0;  // rows shown
  int stride = 0;  // bytes a row (of the Y plane for YUV layouts)
  int rows = 0;    // rows stored (of the Y plane)
  bool bottomUp = false;  // RGB rows stored last row first
  // Bytes one frame takes.
  size_t Bytes() const;
};

// The frame format a media type describes: MEDIATYPE_Video, FORMAT_VideoInfo,
// subtype RGB32, RGB24, YV12, I420 or IYUV. A positive biHeight means
// bottom-up RGB rows, a negative one top-down; YUV frames are always top-down.
// rcSource, when set from (0, 0), narrows the part shown. False for anything
// else, and for sizes outside 1..8192.
bool FrameFormatOf(const AM_MEDIA_TYPE& type, FrameFormat* format);

class VideoWindow {
 public:
  VideoWindow();
  ~VideoWindow();
  VideoWindow(const VideoWindow&) = delete;
  VideoWindow& operator=(const VideoWindow&) = delete;

  // The format of the frames from now on; the kept frame is dropped. With
  // resetPosition (a new connection) the window's rectangle becomes
  // (0, 0, width, height).
  void SetFormat(const FrameFormat& format, bool resetPosition);
  FrameFormat Format();
  // Converts, keeps and draws a frame; false when it is shorter than the
  // format says (the frame is then ignored).
  bool ShowFrame(const uint8_t* data, size_t size);
  bool HasFrame();
  // The kept frame as top-down B, G, R, X rows of Format().width pixels;
  // false before the first frame.
  bool CopyFrame(std::vector<uint8_t>* pixels);

  // The owner window: the video is its child (0: a window of its own on the
  // screen).
  void SetOwner(HWND owner);
  HWND Owner();
  // Mouse and keyboard messages the window gets are posted to the drain.
  void SetMessageDrain(HWND drain);
  HWND MessageDrain();
  // Kept and reported; whether the window is a child follows the owner.
  void SetStyle(LONG style);
  LONG Style();
  void SetExStyle(LONG style);
  LONG ExStyle();
  void SetCaption(std::u16string caption);
  std::u16string Caption();
  void SetVisible(bool visible);
  bool Visible();
  // Left, top, right, bottom relative to the owner's client area.
  void SetPosition(const RECT& rect);
  RECT Position();
  void SetFullScreen(bool fullScreen);
  bool FullScreen();

  // The window system's window (null until the window is first needed).
  HWND Handle();

 private:
  struct Target;
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void ThreadMain();
  void RunOnWindowThread(const std::function<void()>& task);
  void RunTasks();
  // Makes the window system's window match the state: created with the
  // right parent, placed, shown or hidden; draws the kept frame there.
  void SyncWindow();
  // Sets a field of the state under its lock; SetAndSync then makes the
  // window match.
  template <class T, class V>
  void Set(T& field, V&& value) {
    std::lock_guard lock(stateMutex_);
    field = std::forward<V>(value);
  }
  template <class T, class V>
  void SetAndSync(T& field, V&& value) {
    Set(field, std::forward<V>(value));
    SyncWindow();
  }
  bool TargetLocked(Target* target);
  // Draws the kept frame (black before the first) where the video is shown
  // now. Screen the video covered before and no longer covers goes back to
  // the desktop's black and the windows there are asked to repaint. True
  // when the screen changed.
  bool DrawLocked();
  void Repaint();

  // State and the kept frame, read by every drawing.
  std::mutex stateMutex_;
  FrameFormat format_;
  std::vector<uint8_t> frame_;  // the last frame as top-down B, G, R, X rows
  bool haveFrame_ = false;
  HWND owner_ = nullptr;
  HWND drain_ = nullptr;
  LONG style_;
  LONG exStyle_ = 0;
  std::u16string caption_;
  bool visible_ = false;
  bool fullScreen_ = false;
  RECT position_{0, 0, 0, 0};
  RECT drawn_{0, 0, 0, 0};  // the screen the video covers, as last drawn

  // The window system's windows; SyncWindow runs one at a time.
  std::mutex windowMutex_;
  HWND window_ = nullptr;
  HWND windowParent_ = nullptr;
  std::atomic<HWND> published_{nullptr};

  // The window thread and the work handed to it.
  std::thread thread_;
  HWND control_ = nullptr;  // a hidden window of the thread that takes tasks
  std::mutex tasksMutex_;
  std::condition_variable tasksDone_;
  std::deque<const std::function<void()>*> tasks_;
  uint64_t tasksQueued_ = 0, tasksRun_ = 0;
  bool threadReady_ = false;
};

}  // namespace orlik::dshow
