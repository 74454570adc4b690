// ORLIK_DISPLAY=sdl under a private X server: one window per panel shows the
// screen live, whichever process draws; closing it closes only the window;
// when the process showing it ends, another of the panel's takes over.
#include "screen_support.h"
#include "tolvex_test.h"
#include "x_display.h"

#include <algorithm>
#include <functional>

namespace {

using screen_test::Painter;
using screen_test::Peer;

constexpr COLORREF kRed = RGB(220, 30, 10), kBlue = RGB(20, 40, 230), kGreen = RGB(10, 200, 60);
constexpr const char* kTitle = "Orlik panel";
// SDL asks for the desktop's session bus; without an address the bus library
// forks a launcher from the multithreaded peer, and under the address
// sanitizer that child can hang for ever on the allocator's lock. An address
// that refuses at once keeps the bus out of the tests.
constexpr const char* kNoSessionBus = "DBUS_SESSION_BUS_ADDRESS=unix:path=/nonexistent/bus";

bool Within(int ms, const std::function<bool()>& done) {
  auto until = screen_test::Clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (screen_test::Clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return true;
}

class DesktopWindowTest : public tolvex_test::PanelTest {
 protected:
  Painter painter_;
};

TEST_F(DesktopWindowTest, OneWindowPerPanelShowsEveryProcessesDrawing) {
  x_display::Server x(XVFB);
  ASSERT_FALSE(x.name().empty()) << "no X server: Xvfb (" << XVFB << ") is installed by scripts/bootstrap.sh";
  const std::vector<std::string> env{"ORLIK_DISPLAY=sdl", "DISPLAY=" + x.name(), "ORLIK_SCREEN=320x240",
                                     kNoSessionBus};
  auto window = [&] { return x.Windows(kTitle); };

  Peer first(env);
  ASSERT_EQ(first.Expect("ready "), "320 240") << first.seen();
  ASSERT_NE(first.Ask("paint 220 30 10 0 0 320 240", "painted "), "");
  ASSERT_NE(first.Ask("paint 20 40 230 20 20 60 60", "painted "), "");
  ASSERT_TRUE(Within(30000, [&] {
    auto w = window();
    return w.size() == 1 && x.Pixel(w[0].id, 30, 30) == kBlue && x.Pixel(w[0].id, 200, 200) == kRed;
  })) << first.seen();
  EXPECT_EQ(window()[0].width, 320);
  EXPECT_EQ(window()[0].height, 240);

  // This process draws (it shows no window of its own): the window shows it.
  painter_.Paint(kGreen, 100, 100, 150, 150);
  EXPECT_TRUE(Within(20000, [&] {
    auto w = window();
    return w.size() == 1 && x.Pixel(w[0].id, 120, 120) == kGreen;
  }));

  // A second process that wants a window does not open another.
  Peer second(env);
  ASSERT_EQ(second.Expect("ready "), "320 240") << second.seen();
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  EXPECT_EQ(window().size(), 1u);

  // Closing the window leaves the process running, and nobody reopens it
  // while that process lives.
  x.Close(window()[0].id);
  EXPECT_TRUE(Within(20000, [&] { return window().empty(); }));
  EXPECT_NE(first.Ask("presents", "presents "), "") << first.seen();
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  EXPECT_TRUE(window().empty());

  // When it ends, the other process shows the screen.
  EXPECT_EQ(first.End(), 0) << first.seen();
  EXPECT_TRUE(Within(20000, [&] {
    auto w = window();
    return w.size() == 1 && x.Pixel(w[0].id, 30, 30) == kBlue && x.Pixel(w[0].id, 120, 120) == kGreen;
  })) << second.seen();
  EXPECT_EQ(second.End(), 0) << second.seen();
}

// A click in the window is a touch: it reaches the window under the point,
// in the process that owns it, as left-button messages in its coordinates.
TEST_F(DesktopWindowTest, AClickInTheWindowReachesTheWindowUnderIt) {
  x_display::Server x(XVFB);
  ASSERT_FALSE(x.name().empty()) << "no X server: Xvfb (" << XVFB << ") is installed by scripts/bootstrap.sh";
  Peer peer({"ORLIK_DISPLAY=sdl", "DISPLAY=" + x.name(), "ORLIK_SCREEN=320x240", kNoSessionBus});
  ASSERT_EQ(peer.Expect("ready "), "320 240") << peer.seen();
  ASSERT_NE(peer.Ask("paint 20 40 230 0 0 320 240", "painted "), "");
  ASSERT_NE(peer.Ask("paint 220 30 10 100 60 200 160", "painted "), "");
  std::vector<x_display::Server::Window> shown;
  ASSERT_TRUE(Within(30000, [&] {
    shown = x.Windows(kTitle);
    return shown.size() == 1 && x.Pixel(shown[0].id, 150, 100) == kRed;
  })) << peer.seen();

  ASSERT_TRUE(x.Click(shown[0].id, 130, 90)) << "the X server has no XTEST extension";
  // The messages received so far, without the counts.
  std::string seen;
  auto received = [&](const std::string& expected) {
    std::string reply = peer.Ask("mouse", "mouse ");
    seen += reply.substr(std::min(reply.find(' '), reply.size()));
    return seen == expected;
  };
  EXPECT_TRUE(Within(20000, [&] { return received(" down 30 30 up 30 30"); })) << seen;
  // Off the red window, the click reaches the one below it.
  ASSERT_TRUE(x.Click(shown[0].id, 10, 200));
  seen.clear();
  EXPECT_TRUE(Within(20000, [&] { return received(" down 10 200 up 10 200"); })) << seen;
  EXPECT_EQ(peer.End(), 0) << peer.seen();
}

TEST_F(DesktopWindowTest, WithoutADisplayTheProcessSaysSoOnceAndCarriesOn) {
  Peer peer({"ORLIK_DISPLAY=sdl", "DISPLAY=:9999", "WAYLAND_DISPLAY=", "SDL_VIDEODRIVER=x11", kNoSessionBus});
  ASSERT_EQ(peer.Expect("ready "), "800 480") << peer.seen();
  ASSERT_NE(peer.Ask("paint 220 30 10 0 0 100 100", "painted "), "");
  // Said by the window's thread: it may come before or after the reply.
  ASSERT_TRUE(peer.seen().find("no desktop window") != std::string::npos ||
              !peer.Expect("[orlik display] no desktop window").empty())
      << peer.seen();
  ASSERT_NE(peer.Ask("paint 20 40 230 0 0 100 100", "painted "), "");
  EXPECT_EQ(peer.Ask("pixel 50 50", "pixel "), std::to_string(kBlue));
  EXPECT_EQ(peer.End(), 0);
  size_t said = 0;
  for (size_t at = 0; (at = peer.seen().find("no desktop window", at)) != std::string::npos; ++at) ++said;
  EXPECT_EQ(said, 1u) << peer.seen();
}

}  // namespace
