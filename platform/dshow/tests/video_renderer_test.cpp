// The video renderer and its window: frames pushed by a source filter land
// on the panel's screen inside the owner window, at the set rectangle,
// scaled and clipped, in every pixel layout the renderer takes.
#include <orlik/windows.h>

#include "popup_window.h"
#include "push_source.h"
#include "tolvex_test.h"

#include <array>
#include <chrono>
#include <thread>

namespace {

using namespace renderer_test;

constexpr int kW = 64, kH = 48;  // the test picture
// Its four quarters: top left, top right, bottom left, bottom right.
constexpr COLORREF kQuarter[4] = {RGB(220, 30, 30), RGB(30, 200, 40), RGB(40, 40, 210), RGB(235, 235, 235)};
constexpr COLORREF kOwnerPaint = RGB(90, 90, 90);

COLORREF PictureAt(int x, int y) { return kQuarter[(y >= kH / 2) * 2 + (x >= kW / 2)]; }

// The test picture in a layout, as the subtype's samples carry it.
struct Layout {
  const char* name;
  GUID subtype;
  int bitCount;
  bool bottomUp;  // RGB only: positive biHeight
};

uint8_t Clamp(double v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v + 0.5); }

std::vector<uint8_t> Picture(const Layout& layout) {
  std::vector<uint8_t> bytes;
  if (layout.bitCount >= 24) {
    int px = layout.bitCount / 8, stride = (kW * px + 3) & ~3;
    bytes.assign(size_t(stride) * kH, 0);
    for (int y = 0; y < kH; ++y)
      for (int x = 0; x < kW; ++x) {
        COLORREF c = PictureAt(x, y);
        uint8_t* p = bytes.data() + size_t(layout.bottomUp ? kH - 1 - y : y) * stride + x * px;
        p[0] = GetBValue(c);
        p[1] = GetGValue(c);
        p[2] = GetRValue(c);
      }
    return bytes;
  }
  // YUV 4:2:0, BT.601 studio range; the planes after Y are V then U for YV12.
  bytes.assign(size_t(kW) * kH * 3 / 2, 0);
  uint8_t* y = bytes.data();
  uint8_t* first = y + kW * kH;
  uint8_t* second = first + kW * kH / 4;
  bool yv12 = layout.subtype == MEDIASUBTYPE_YV12;
  for (int row = 0; row < kH; ++row)
    for (int x = 0; x < kW; ++x) {
      COLORREF c = PictureAt(x, row);
      double r = GetRValue(c), g = GetGValue(c), b = GetBValue(c);
      y[row * kW + x] = Clamp(16 + 0.257 * r + 0.504 * g + 0.098 * b);
      if (row % 2 == 0 && x % 2 == 0) {
        uint8_t u = Clamp(128 - 0.148 * r - 0.291 * g + 0.439 * b);
        uint8_t v = Clamp(128 + 0.439 * r - 0.368 * g - 0.071 * b);
        size_t at = size_t(row / 2) * (kW / 2) + size_t(x / 2);
        (yv12 ? first : second)[at] = v;
        (yv12 ? second : first)[at] = u;
      }
    }
  return bytes;
}

// Scaled pixels of a flat area may come out up to 1% darker: libyuv's x86
// bilinear filter weighs neighbours 127/128 in all.
constexpr int kScaled = 3;

bool Near(COLORREF a, COLORREF b, int tolerance) {
  for (int shift : {0, 8, 16})
    if (std::abs(int((a >> shift) & 0xFF) - int((b >> shift) & 0xFF)) > tolerance) return false;
  return true;
}

HWND g_lastChild = nullptr;

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == 0x0210 /* WM_PARENTNOTIFY */ && LOWORD(wParam) == WM_CREATE)
    g_lastChild = reinterpret_cast<HWND>(lParam);
  if (message == WM_PAINT) {
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(window, &ps);
    HBRUSH brush = CreateSolidBrush(kOwnerPaint);
    FillRect(dc, &ps.rcPaint, brush);
    DeleteObject(brush);
    EndPaint(window, &ps);
    return 0;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}

class VideoRenderer : public tolvex_test::PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    owner_ = tolvex_test::PopupWindow(u"RendererTestOwner", OwnerProc, 100, 50, 320, 240);
    renderer_ = Create<IBaseFilter>(CLSID_VideoRenderer, IID_IBaseFilter);
    ASSERT_TRUE(renderer_);
    window_ = renderer_.As<IVideoWindow>(IID_IVideoWindow);
    ASSERT_TRUE(window_);
  }
  void TearDown() override {
    if (source_) {
      source_->StopAndDisconnect(renderer_.get());
      source_->Release();
      source_ = nullptr;
    }
    window_.reset();
    renderer_.reset();
    DestroyWindow(owner_);
    CoUninitialize();
  }

  // Connects a source of this layout and runs both filters.
  void Connect(const Layout& layout) {
    MediaType type = VideoType(layout.subtype, kW, layout.bottomUp ? kH : -kH, layout.bitCount);
    source_ = new PushSource(*type.get(), LONG(Picture(layout).size()));
    ASSERT_EQ(source_->ConnectTo(renderer_.get()), S_OK) << layout.name;
    ASSERT_EQ(renderer_->Run(0), S_OK);
    ASSERT_EQ(source_->Run(0), S_OK);
  }
  void ShowIn(LONG left, LONG top, LONG width, LONG height) {
    ASSERT_EQ(window_->put_Owner(reinterpret_cast<OAHWND>(owner_)), S_OK);
    ASSERT_EQ(window_->put_WindowStyle(LONG(WS_CHILD | 0x02000000)), S_OK);
    ASSERT_EQ(window_->SetWindowPosition(left, top, width, height), S_OK);
    ASSERT_EQ(window_->put_Visible(OATRUE), S_OK);
  }
  // The screen's present count once the window's own repaints (it was just
  // shown, painted on its thread) have stopped: unchanged for 150 ms.
  static int SettledPresents() {
    int count = orlik_sim_screen_present_count();
    for (int quiet = 0, waited = 0; quiet < 150 && waited < 3000; waited += 10) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      int now = orlik_sim_screen_present_count();
      quiet = now == count ? quiet + 10 : 0;
      count = now;
    }
    return count;
  }
  HRESULT PushPicture(const Layout& layout) {
    auto bytes = Picture(layout);
    return source_->Push(bytes.data(), bytes.size());
  }
  // The screen pixel at the middle of a quarter of the picture shown at
  // (x, y) scaled by `scale`.
  static COLORREF QuarterOnScreen(int x, int y, int quarter, int scale = 1) {
    int qx = (quarter % 2) * kW / 2 + kW / 4, qy = (quarter / 2) * kH / 2 + kH / 4;
    return orlik_sim_screen_pixel(x + qx * scale, y + qy * scale);
  }
  static void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  // Waits up to two seconds for the screen pixel to become the colour.
  static bool WaitForPixel(int x, int y, COLORREF colour) {
    for (int i = 0; i < 200; ++i) {
      Pump();
      if (orlik_sim_screen_pixel(x, y) == colour) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
  }
  // The owner has painted itself again (a corner the video leaves free) and
  // the picture shown at (x, y) over it: `inset` pixels into its first
  // quarter, and its last quarter.
  static void ExpectVideoOverOwner(int x, int y, int inset) {
    EXPECT_TRUE(WaitForPixel(100 + 300, 50 + 200, kOwnerPaint));
    EXPECT_TRUE(WaitForPixel(x + inset, y + inset, kQuarter[0]));
    EXPECT_EQ(QuarterOnScreen(x, y, 3), kQuarter[3]);
  }

  HWND owner_ = nullptr;
  ComPtr<IBaseFilter> renderer_;
  ComPtr<IVideoWindow> window_;
  PushSource* source_ = nullptr;
};

const Layout kRgb32TopDown{"RGB32 top-down", MEDIASUBTYPE_RGB32, 32, false};

TEST_F(VideoRenderer, EveryLayoutShowsTheSamePictureAtItsOwnSize) {
  const Layout layouts[] = {
      kRgb32TopDown,
      {"RGB32 bottom-up", MEDIASUBTYPE_RGB32, 32, true},
      {"RGB24 top-down", MEDIASUBTYPE_RGB24, 24, false},
      {"RGB24 bottom-up", MEDIASUBTYPE_RGB24, 24, true},
      {"YV12", MEDIASUBTYPE_YV12, 12, false},
      {"I420", MEDIASUBTYPE_I420, 12, false},
      {"IYUV", MEDIASUBTYPE_IYUV, 12, false},
  };
  for (const Layout& layout : layouts) {
    SCOPED_TRACE(layout.name);
    TearDown();
    SetUp();
    Connect(layout);
    ShowIn(10, 20, kW, kH);
    int presents = orlik_sim_screen_present_count();
    ASSERT_EQ(PushPicture(layout), S_OK);
    EXPECT_GT(orlik_sim_screen_present_count(), presents);
    bool rgb = layout.bitCount >= 24;
    for (int q = 0; q < 4; ++q)
      EXPECT_TRUE(Near(QuarterOnScreen(110, 70, q), kQuarter[q], rgb ? 0 : 6)) << "quarter " << q;
    // Exactly its rectangle: the corners are the picture's, one pixel further is not.
    EXPECT_TRUE(Near(orlik_sim_screen_pixel(110, 70), kQuarter[0], rgb ? 0 : 6));
    EXPECT_TRUE(Near(orlik_sim_screen_pixel(110 + kW - 1, 70 + kH - 1), kQuarter[3], rgb ? 0 : 6));
    EXPECT_EQ(orlik_sim_screen_pixel(109, 70), 0u);
    EXPECT_EQ(orlik_sim_screen_pixel(110, 70 + kH), 0u);
  }
}

TEST_F(VideoRenderer, ScalesToTheRectangleAndClipsToOwnerAndScreen) {
  Connect(kRgb32TopDown);
  // Twice the size: each quarter is 64 x 48 on the screen.
  ShowIn(0, 0, 2 * kW, 2 * kH);
  ASSERT_EQ(PushPicture(kRgb32TopDown), S_OK);
  for (int q = 0; q < 4; ++q) EXPECT_TRUE(Near(QuarterOnScreen(100, 50, q, 2), kQuarter[q], kScaled)) << q;
  EXPECT_EQ(orlik_sim_screen_pixel(100 + 2 * kW, 50), 0u);

  // Over the owner's left and top edges: only the owner's part is drawn,
  // from the picture's pixel (16, 12) on.
  orlik_sim_reset();
  ASSERT_EQ(window_->SetWindowPosition(-16, -12, kW, kH), S_OK);
  EXPECT_EQ(orlik_sim_screen_pixel(100, 50), kQuarter[0]);
  EXPECT_EQ(orlik_sim_screen_pixel(100 + 15, 50 + 11), kQuarter[0]);
  EXPECT_EQ(orlik_sim_screen_pixel(100 + 16, 50 + 12), kQuarter[3]);
  EXPECT_EQ(orlik_sim_screen_pixel(99, 50), 0u);  // nothing left of or above the owner
  EXPECT_EQ(orlik_sim_screen_pixel(100, 49), 0u);

  // Scaled and hanging over the owner's right edge and the screen's bottom.
  orlik_sim_reset();
  ASSERT_TRUE(SetWindowPos(owner_, nullptr, 600, 400, 180, 200, SWP_NOZORDER));
  ASSERT_EQ(window_->SetWindowPosition(100, 20, 4 * kW, 4 * kH), S_OK);
  ASSERT_EQ(PushPicture(kRgb32TopDown), S_OK);
  EXPECT_TRUE(Near(orlik_sim_screen_pixel(700, 420), kQuarter[0], kScaled));
  EXPECT_TRUE(Near(orlik_sim_screen_pixel(779, 479), kQuarter[0], kScaled));
  EXPECT_EQ(orlik_sim_screen_pixel(780, 420), 0u);  // right of the owner
  // The owner moved: the video follows it.
  orlik_sim_reset();
  ASSERT_TRUE(SetWindowPos(owner_, nullptr, 20, 10, 320, 240, SWP_NOZORDER));
  ASSERT_EQ(window_->SetWindowPosition(5, 5, kW, kH), S_OK);
  ASSERT_EQ(PushPicture(kRgb32TopDown), S_OK);
  EXPECT_EQ(QuarterOnScreen(25, 15, 3), kQuarter[3]);
}

TEST_F(VideoRenderer, FullScreenCoversTheScreenAndReturnsToTheRectangle) {
  Connect(kRgb32TopDown);
  ShowIn(8, 6, kW, kH);
  ASSERT_EQ(PushPicture(kRgb32TopDown), S_OK);
  int sw = 0, sh = 0;
  orlik_sim_screen_size(&sw, &sh);

  ASSERT_EQ(window_->put_FullScreenMode(OATRUE), S_OK);
  LONG mode = 0;
  EXPECT_EQ(window_->get_FullScreenMode(&mode), S_OK);
  EXPECT_EQ(mode, OATRUE);
  // The kept frame is drawn at once, scaled to the whole screen.
  EXPECT_TRUE(Near(orlik_sim_screen_pixel(2, 2), kQuarter[0], kScaled));
  EXPECT_TRUE(Near(orlik_sim_screen_pixel(sw - 3, 2), kQuarter[1], kScaled));
  EXPECT_TRUE(Near(orlik_sim_screen_pixel(sw - 3, sh - 3), kQuarter[3], kScaled));
  ASSERT_EQ(PushPicture(kRgb32TopDown), S_OK);
  EXPECT_TRUE(Near(orlik_sim_screen_pixel(2, sh - 3), kQuarter[2], kScaled));

  ASSERT_EQ(window_->put_FullScreenMode(OAFALSE), S_OK);
  LONG l, t, w, h;
  ASSERT_EQ(window_->GetWindowPosition(&l, &t, &w, &h), S_OK);
  EXPECT_EQ((std::array<LONG, 4>{l, t, w, h}), (std::array<LONG, 4>{8, 6, kW, kH}));
  // The windows the video covered paint themselves again; the video stays
  // on top of its owner.
  EXPECT_EQ(orlik_sim_screen_pixel(2, 2), 0u);  // back to the desktop's black
  ExpectVideoOverOwner(108, 56, 1);
}

TEST_F(VideoRenderer, HiddenDrawsNothingAndRepaintsRedrawTheLastFrame) {
  Connect(kRgb32TopDown);
  ShowIn(0, 0, kW, kH);
  ASSERT_EQ(window_->put_Visible(OAFALSE), S_OK);
  ASSERT_EQ(PushPicture(kRgb32TopDown), S_OK);
  EXPECT_EQ(QuarterOnScreen(100, 50, 0), 0u);
  // Shown again: the kept frame appears without a new sample.
  ASSERT_EQ(window_->put_Visible(OATRUE), S_OK);
  EXPECT_EQ(QuarterOnScreen(100, 50, 0), kQuarter[0]);

  // The owner paints over everything; the video window paints after it.
  InvalidateRect(owner_, nullptr, TRUE);
  ExpectVideoOverOwner(100, 50, 10);
}

// A window above the video (a message box, say) keeps its pixels while frames
// come; when it goes, the video shows there again.
TEST_F(VideoRenderer, DrawsOnlyWhereNoWindowAboveCoversIt) {
  Connect(kRgb32TopDown);
  ShowIn(0, 0, kW, kH);
  ASSERT_EQ(PushPicture(kRgb32TopDown), S_OK);
  ASSERT_EQ(QuarterOnScreen(100, 50, 1), kQuarter[1]);
  // Over the picture's right half.
  HWND above = CreateWindowExW(0, u"RendererTestOwner", u"", WS_POPUP | WS_VISIBLE, 100 + kW / 2, 40, kW, kH,
                               nullptr, nullptr, nullptr, nullptr);
  ASSERT_TRUE(above);
  ASSERT_TRUE(WaitForPixel(100 + kW - 1, 50 + 1, kOwnerPaint));
  ASSERT_EQ(PushPicture(kRgb32TopDown), S_OK);
  EXPECT_EQ(QuarterOnScreen(100, 50, 0), kQuarter[0]);
  EXPECT_EQ(QuarterOnScreen(100, 50, 2), kQuarter[2]);
  EXPECT_EQ(QuarterOnScreen(100, 50, 1), kOwnerPaint);
  EXPECT_EQ(QuarterOnScreen(100, 50, 3), kOwnerPaint);
  EXPECT_EQ(orlik_sim_screen_pixel(100 + kW / 2 - 1, 50 + 1), kQuarter[0]);  // the edge between them
  EXPECT_EQ(orlik_sim_screen_pixel(100 + kW / 2, 50 + 1), kOwnerPaint);

  ASSERT_TRUE(DestroyWindow(above));
  EXPECT_TRUE(WaitForPixel(100 + kW - 1, 50 + 1, kQuarter[1]));
  EXPECT_EQ(QuarterOnScreen(100, 50, 3), kQuarter[3]);
}

TEST_F(VideoRenderer, AnOwnerDestroyedTakesTheVideoWithIt) {
  Connect(kRgb32TopDown);
  ShowIn(0, 0, kW, kH);
  ASSERT_EQ(PushPicture(kRgb32TopDown), S_OK);
  ASSERT_TRUE(DestroyWindow(owner_));
  ASSERT_EQ(PushPicture(kRgb32TopDown), S_OK);
  EXPECT_EQ(QuarterOnScreen(100, 50, 0), 0u);  // gone, back to the desktop
  // A new owner: the video is its child.
  owner_ = CreateWindowExW(0, u"RendererTestOwner", u"", WS_POPUP | WS_VISIBLE, 300, 200, 100, 100, nullptr,
                           nullptr, nullptr, nullptr);
  ASSERT_EQ(window_->put_Owner(reinterpret_cast<OAHWND>(owner_)), S_OK);
  EXPECT_EQ(QuarterOnScreen(300, 200, 0), kQuarter[0]);  // the kept frame at once
  g_lastChild = nullptr;
  Pump();
  ASSERT_NE(g_lastChild, nullptr);
  EXPECT_EQ(GetParent(g_lastChild), owner_);
}

TEST_F(VideoRenderer, ForwardsMouseAndKeyboardMessagesToTheDrain) {
  Connect(kRgb32TopDown);
  g_lastChild = nullptr;
  ShowIn(0, 0, kW, kH);
  Pump();
  ASSERT_NE(g_lastChild, nullptr);  // the owner heard of its new child
  EXPECT_EQ(GetParent(g_lastChild), owner_);
  RECT r;
  ASSERT_TRUE(GetWindowRect(g_lastChild, &r));
  EXPECT_EQ(r.left, 100);
  EXPECT_EQ(r.right, 100 + kW);

  HWND drain = CreateWindowExW(0, u"RendererTestOwner", u"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                               nullptr, nullptr);
  ASSERT_EQ(window_->put_MessageDrain(reinterpret_cast<OAHWND>(drain)), S_OK);
  OAHWND got = 0;
  EXPECT_EQ(window_->get_MessageDrain(&got), S_OK);
  EXPECT_EQ(got, reinterpret_cast<OAHWND>(drain));
  PostMessageW(g_lastChild, WM_USER + 5, 0, 0);  // not input: stays with the video window
  PostMessageW(g_lastChild, WM_LBUTTONDOWN, 1, MAKELPARAM(7, 9));
  PostMessageW(g_lastChild, WM_KEYDOWN, 0x41, 0);
  std::vector<MSG> seen;
  for (int i = 0; i < 200 && seen.size() < 2; ++i) {
    MSG msg;
    while (PeekMessageW(&msg, drain, 0, 0, PM_REMOVE))
      if (msg.message != WM_PAINT) seen.push_back(msg);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].message, WM_LBUTTONDOWN);
  EXPECT_EQ(seen[0].wParam, 1u);
  EXPECT_EQ(seen[0].lParam, MAKELPARAM(7, 9));
  EXPECT_EQ(seen[1].message, WM_KEYDOWN);
  DestroyWindow(drain);
}

TEST_F(VideoRenderer, WindowMethodsNeedAConnectionAndThenStartAtTheVideoSize) {
  LONG v = 0;
  LONG l, t, w, h;
  EXPECT_EQ(window_->put_Owner(reinterpret_cast<OAHWND>(owner_)), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(window_->get_Width(&v), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(window_->put_Visible(OATRUE), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(window_->SetWindowPosition(0, 0, 10, 10), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(window_->GetWindowPosition(&l, &t, &w, &h), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(window_->put_FullScreenMode(OATRUE), VFW_E_NOT_CONNECTED);
  UINT count = 5;
  EXPECT_EQ(window_->GetTypeInfoCount(&count), E_NOTIMPL);

  Connect(kRgb32TopDown);
  EXPECT_EQ(window_->get_Width(&v), S_OK);
  EXPECT_EQ(v, kW);
  EXPECT_EQ(window_->get_Height(&v), S_OK);
  EXPECT_EQ(v, kH);
  ASSERT_EQ(window_->GetWindowPosition(&l, &t, &w, &h), S_OK);
  EXPECT_EQ((std::array<LONG, 4>{l, t, w, h}), (std::array<LONG, 4>{0, 0, kW, kH}));
  auto video = renderer_.As<IBasicVideo>(IID_IBasicVideo);
  ASSERT_TRUE(video);
  EXPECT_EQ(video->GetVideoSize(&w, &h), S_OK);
  EXPECT_EQ((std::array<LONG, 2>{w, h}), (std::array<LONG, 2>{kW, kH}));
  double frameTime = 0;
  EXPECT_EQ(video->get_AvgTimePerFrame(&frameTime), S_OK);
  EXPECT_DOUBLE_EQ(frameTime, 0.04);
  // The current image: a bottom-up 32-bit DIB of the last frame.
  LONG size = 0;
  EXPECT_EQ(video->GetCurrentImage(&size, nullptr), S_OK);
  EXPECT_EQ(size, LONG(sizeof(BITMAPINFOHEADER) + kW * kH * 4));
  std::vector<LONG> dib(size_t(size) / sizeof(LONG));
  EXPECT_EQ(video->GetCurrentImage(&size, dib.data()), E_UNEXPECTED);  // no frame yet
  ASSERT_EQ(PushPicture(kRgb32TopDown), S_OK);
  LONG small = size - 1;
  EXPECT_EQ(video->GetCurrentImage(&small, dib.data()), E_OUTOFMEMORY);
  ASSERT_EQ(video->GetCurrentImage(&size, dib.data()), S_OK);
  const auto* bytes = reinterpret_cast<const uint8_t*>(dib.data());
  const uint8_t* bottomLeft = bytes + sizeof(BITMAPINFOHEADER);
  const uint8_t* topRight = bottomLeft + size_t(kH - 1) * kW * 4 + (kW - 1) * 4;
  EXPECT_EQ(RGB(bottomLeft[2], bottomLeft[1], bottomLeft[0]), kQuarter[2]);
  EXPECT_EQ(RGB(topRight[2], topRight[1], topRight[0]), kQuarter[1]);

  // Moving keeps the size; what a video window cannot be is refused.
  EXPECT_EQ(window_->put_WindowStyle(LONG(WS_CHILD | 0x02000000)), S_OK);
  EXPECT_EQ(window_->get_WindowStyle(&v), S_OK);
  EXPECT_EQ(v, 0x42000000);
  EXPECT_EQ(window_->put_WindowStyle(LONG(WS_CHILD | WS_DISABLED)), E_INVALIDARG);
  EXPECT_EQ(window_->put_Left(30), S_OK);
  EXPECT_EQ(window_->put_Height(100), S_OK);
  ASSERT_EQ(window_->GetWindowPosition(&l, &t, &w, &h), S_OK);
  EXPECT_EQ((std::array<LONG, 4>{l, t, w, h}), (std::array<LONG, 4>{30, 0, kW, 100}));
  EXPECT_EQ(window_->SetWindowPosition(0, 0, -1, 10), E_INVALIDARG);
  EXPECT_EQ(window_->get_Visible(&v), S_OK);
  EXPECT_EQ(v, OATRUE);  // shown when the stream started (auto-show)
}

TEST_F(VideoRenderer, RefusesTypesItCannotDrawAndShortSamples) {
  ComPtr<IEnumPins> pins;
  renderer_->EnumPins(pins.put());
  ComPtr<IPin> input;
  ULONG fetched = 0;
  ASSERT_EQ(pins->Next(1, input.put(), &fetched), S_OK);
  PIN_INFO info;
  ASSERT_EQ(input->QueryPinInfo(&info), S_OK);
  info.pFilter->Release();
  EXPECT_EQ(std::u16string(info.achName), u"Input");

  struct Case {
    const char* what;
    MediaType type;
    HRESULT accept;
  } cases[] = {
      {"RGB32", VideoType(MEDIASUBTYPE_RGB32, 32, -8, 32), S_OK},
      {"YV12 with positive height", VideoType(MEDIASUBTYPE_YV12, 32, 8, 12), S_OK},
      {"RGB565", VideoType(MEDIASUBTYPE_RGB565, 32, 8, 16), S_FALSE},
      {"RGB32 claiming 24 bits", VideoType(MEDIASUBTYPE_RGB32, 32, 8, 24), S_FALSE},
      {"no width", VideoType(MEDIASUBTYPE_RGB32, 0, 8, 32), S_FALSE},
      {"huge", VideoType(MEDIASUBTYPE_RGB32, 100000, 8, 32), S_FALSE},
      {"audio", AudioType(44100, 2), S_FALSE},
  };
  MediaType shortFormat = VideoType(MEDIASUBTYPE_RGB32, 32, 8, 32);
  shortFormat.get()->cbFormat = 40;
  EXPECT_EQ(input->QueryAccept(shortFormat.get()), S_FALSE) << "format block too short";
  for (auto& c : cases) EXPECT_EQ(input->QueryAccept(c.type.get()), c.accept) << c.what;

  // A sample shorter than a frame is refused and draws nothing.
  Connect(kRgb32TopDown);
  ShowIn(0, 0, kW, kH);
  auto bytes = Picture(kRgb32TopDown);
  int presents = SettledPresents();
  EXPECT_EQ(source_->Push(bytes.data(), bytes.size() - 4), E_INVALIDARG);
  EXPECT_EQ(orlik_sim_screen_present_count(), presents);
  EXPECT_EQ(QuarterOnScreen(100, 50, 1), 0u);
}

}  // namespace
