// Windows over windows: clipping, what a change uncovers, and touches
// reaching the window under the point.
#include "popup_window.h"
#include <orlik/sim_screen.h>
#include <orlik/windows.h>

#include "tolvex_test.h"

#include <vector>

namespace {

struct Event {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};
std::vector<Event>* gEvents;

// Erases in the colour kept in GWL_USERDATA and records what it gets.
LRESULT CALLBACK ColourProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (gEvents && (message == WM_PAINT || message == WM_LBUTTONDOWN || message == WM_LBUTTONUP))
    gEvents->push_back({window, message, wParam, lParam});
  if (message == WM_ERASEBKGND) return tolvex_test::EraseWith(window, wParam, COLORREF(GetWindowLongPtrW(window, GWL_USERDATA)));
  return DefWindowProcW(window, message, wParam, lParam);
}

constexpr COLORREF kRed = RGB(200, 0, 0), kBlue = RGB(0, 0, 200), kGreen = RGB(0, 160, 0),
                   kGrey = RGB(90, 90, 90);

class StackingTest : public tolvex_test::PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    gEvents = &events_;
    tolvex_test::RegisterWindowClass(u"Colour", ColourProc);
  }
  void TearDown() override { gEvents = nullptr; }

  HWND Make(COLORREF colour, int x, int y, int w, int h, DWORD style = WS_POPUP | WS_VISIBLE,
            HWND parent = nullptr) {
    HWND window = CreateWindowExW(0, u"Colour", u"", style, x, y, w, h, parent, nullptr, nullptr, nullptr);
    SetWindowLongPtrW(window, GWL_USERDATA, LONG_PTR(colour));
    return window;
  }
  void Pump() {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  bool Painted(HWND window) {
    for (auto& e : events_)
      if (e.window == window && e.message == WM_PAINT) return true;
    return false;
  }
  // The mouse messages taken since the last call.
  std::vector<Event> Mouse() {
    Pump();
    std::vector<Event> mouse;
    for (auto& e : events_)
      if (e.message != WM_PAINT) mouse.push_back(e);
    events_.clear();
    return mouse;
  }
  static COLORREF At(int x, int y) { return orlik_sim_screen_pixel(x, y); }
  // A finger down and up at one point.
  static void Tap(int x, int y) {
    orlik_sim_touch(x, y, 1);
    orlik_sim_touch(x, y, 0);
  }

  std::vector<Event> events_;
};

TEST_F(StackingTest, ALowerWindowNeverPaintsOverTheWindowAboveIt) {
  HWND lower = Make(kRed, 0, 0, 200, 100);
  HWND upper = Make(kBlue, 100, 50, 200, 100);
  Pump();
  EXPECT_EQ(At(50, 25), kRed);
  EXPECT_EQ(At(150, 75), kBlue) << "the later window lies above";

  // The lower one repaints, and draws through a DC of its own: the upper
  // window's pixels stay.
  InvalidateRect(lower, nullptr, TRUE);
  Pump();
  HDC dc = GetDC(lower);
  HBRUSH green = CreateSolidBrush(kGreen);
  RECT all{0, 0, 200, 100};
  FillRect(dc, &all, green);
  SetPixel(dc, 150, 75, kGreen);
  ReleaseDC(lower, dc);
  DeleteObject(green);
  EXPECT_EQ(At(150, 75), kBlue);
  EXPECT_EQ(At(99, 49), kGreen);
  EXPECT_EQ(At(150, 49), kGreen);

  // Raised, the lower window comes on top and paints what it now shows.
  events_.clear();
  ASSERT_TRUE(SetWindowPos(lower, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE));
  Pump();
  EXPECT_TRUE(Painted(lower));
  EXPECT_EQ(At(150, 75), kRed);

  // A topmost window stays above windows raised after it.
  SetWindowPos(upper, HWND_TOPMOST, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  SetWindowPos(lower, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  Pump();
  InvalidateRect(lower, nullptr, TRUE);
  Pump();
  EXPECT_EQ(At(150, 75), kBlue);
  // Until it is no longer topmost and put at the bottom.
  events_.clear();
  SetWindowPos(upper, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  Pump();
  EXPECT_FALSE(GetWindowLongW(upper, GWL_EXSTYLE) & WS_EX_TOPMOST);
  EXPECT_TRUE(Painted(lower)) << "what the upper window uncovered";
  EXPECT_EQ(At(150, 75), kRed);

  // Placed just below another window: `third` goes below `upper`, then
  // between `upper` and `lower`; what it uncovers and shows is repainted.
  HWND third = Make(kGrey, 120, 60, 50, 50);
  Pump();
  ASSERT_EQ(At(150, 105), kGrey);
  SetWindowPos(third, upper, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  Pump();
  EXPECT_EQ(At(150, 105), kBlue);
  EXPECT_EQ(WindowFromPoint(POINT{150, 105}), upper);
  SetWindowPos(third, lower, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  Pump();
  EXPECT_EQ(At(150, 105), kGrey);
  EXPECT_EQ(At(150, 75), kRed);
  for (HWND w : {lower, upper, third}) DestroyWindow(w);
}

TEST_F(StackingTest, HidingMovingOrDestroyingTheUpperWindowRepaintsTheLower) {
  HWND lower = Make(kRed, 0, 0, 200, 100);
  HWND upper = Make(kBlue, 100, 50, 200, 100);
  HWND aside = Make(kGrey, 500, 300, 50, 50);
  Pump();
  struct Step {
    const char* what;
    void (*change)(HWND);
  };
  const Step steps[] = {
      {"hidden", [](HWND w) { ShowWindow(w, SW_HIDE); }},
      {"moved away", [](HWND w) { SetWindowPos(w, nullptr, 300, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER); }},
      {"shrunk", [](HWND w) { SetWindowPos(w, nullptr, 0, 0, 10, 10, SWP_NOMOVE | SWP_NOZORDER); }},
      {"destroyed", [](HWND w) { DestroyWindow(w); }},
  };
  for (const Step& step : steps) {
    // The upper window back over the lower one.
    SetWindowPos(upper, HWND_TOP, 100, 50, 200, 100, SWP_SHOWWINDOW);
    Pump();
    ASSERT_EQ(At(150, 75), kBlue) << step.what;
    events_.clear();
    step.change(upper);
    Pump();
    EXPECT_TRUE(Painted(lower)) << step.what;
    EXPECT_FALSE(Painted(aside)) << step.what << ": a window it never covered";
    EXPECT_EQ(At(150, 75), kRed) << step.what;
  }
  DestroyWindow(lower);
  DestroyWindow(aside);
}

TEST_F(StackingTest, ChildrenLieAboveTheirParentInsideIt) {
  HWND parent = Make(kRed, 10, 10, 200, 100);
  HWND child = Make(kBlue, 20, 20, 300, 30, WS_CHILD | WS_VISIBLE, parent);
  Pump();
  EXPECT_EQ(At(40, 40), kBlue) << "child at (20, 20) in its parent";
  EXPECT_EQ(At(209, 40), kBlue);
  EXPECT_EQ(At(210, 40), RGB(0, 0, 0)) << "cut to its parent";

  // A parent without WS_CLIPCHILDREN paints over its children, which paint
  // again after it; one with it leaves them alone.
  events_.clear();
  InvalidateRect(parent, nullptr, TRUE);
  Pump();
  EXPECT_TRUE(Painted(child));
  EXPECT_EQ(At(40, 40), kBlue);
  SetWindowLongW(parent, GWL_STYLE, LONG(WS_POPUP | WS_VISIBLE | WS_CLIPCHILDREN));
  events_.clear();
  InvalidateRect(parent, nullptr, TRUE);
  Pump();
  EXPECT_FALSE(Painted(child));
  EXPECT_EQ(At(40, 40), kBlue);

  // Children move with their parent; a hidden child uncovers its parent.
  SetWindowPos(parent, nullptr, 300, 200, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  Pump();
  RECT r;
  GetWindowRect(child, &r);
  EXPECT_EQ(r.left, 320);
  EXPECT_EQ(At(340, 230), kBlue);
  ShowWindow(child, SW_HIDE);
  Pump();
  EXPECT_EQ(At(340, 230), kRed);
  DestroyWindow(parent);
  EXPECT_FALSE(IsWindow(child));
}

TEST_F(StackingTest, TouchesReachTheWindowUnderThePointInClientCoordinates) {
  HWND lower = Make(kRed, 0, 0, 200, 100);
  HWND upper = Make(kBlue, 100, 50, 200, 100);
  HWND child = Make(kGreen, 10, 10, 40, 20, WS_CHILD | WS_VISIBLE, upper);
  Pump();
  events_.clear();

  // A tap: down with MK_LBUTTON, then up, at the point in the window.
  ASSERT_EQ(orlik_sim_touch(30, 40, 1), 1);
  ASSERT_EQ(orlik_sim_touch(30, 40, 0), 1);
  auto got = Mouse();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].window, lower);
  EXPECT_EQ(got[0].message, WM_LBUTTONDOWN);
  EXPECT_EQ(got[0].wParam, WPARAM(MK_LBUTTON));
  EXPECT_EQ(GET_X_LPARAM(got[0].lParam), 30);
  EXPECT_EQ(GET_Y_LPARAM(got[0].lParam), 40);
  EXPECT_EQ(got[1].message, WM_LBUTTONUP);
  EXPECT_EQ(got[1].wParam, 0u);

  // Where they overlap the upper one takes it; its child takes what is on it.
  orlik_sim_touch(150, 75, 1);
  orlik_sim_touch(115, 65, 1);
  got = Mouse();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].window, upper);
  EXPECT_EQ(got[0].lParam, MAKELPARAM(50, 25));
  EXPECT_EQ(got[1].window, child);
  EXPECT_EQ(got[1].lParam, MAKELPARAM(5, 5));

  // The finger lifts elsewhere: the window it went down on gets it, at a
  // point outside itself.
  orlik_sim_touch(5, 5, 0);
  got = Mouse();
  ASSERT_EQ(got.size(), 1u);
  EXPECT_EQ(got[0].window, child);
  EXPECT_EQ(GET_X_LPARAM(got[0].lParam), -105);
  EXPECT_EQ(GET_Y_LPARAM(got[0].lParam), -55);

  // A disabled child lets it through to its parent; a hidden window is not
  // there; outside every window nobody gets it; off the screen it is refused.
  EnableWindow(child, FALSE);
  EXPECT_FALSE(IsWindowEnabled(child));
  Tap(115, 65);
  ShowWindow(upper, SW_HIDE);
  Tap(150, 75);
  Tap(600, 400);
  EXPECT_EQ(orlik_sim_touch(800, 10, 1), 0);
  got = Mouse();
  ASSERT_EQ(got.size(), 4u);
  EXPECT_EQ(got[0].window, upper);
  EXPECT_EQ(got[1].window, upper);
  EXPECT_EQ(got[2].window, lower);
  EXPECT_EQ(got[3].window, lower);

  // A captured window takes every touch until it lets go.
  SetCapture(upper);
  EXPECT_EQ(GetCapture(), upper);
  Tap(600, 400);
  ReleaseCapture();
  orlik_sim_touch(600, 400, 1);
  got = Mouse();
  ASSERT_EQ(got.size(), 2u);
  EXPECT_EQ(got[0].window, upper);
  EXPECT_EQ(got[0].lParam, MAKELPARAM(500, 350));
  EXPECT_EQ(got[1].window, upper);
  EXPECT_EQ(GetCapture(), nullptr);
  for (HWND w : {lower, upper}) DestroyWindow(w);
}

}  // namespace
