// One screen per device root: the processes of a panel draw on the same
// pixels, count their repaints together and keep the first process's size; a
// reset clears it; a change of device root brings that root's screen.
#include "screen_support.h"
#include "tolvex_test.h"

#include <sys/stat.h>

#include <filesystem>

namespace {

using screen_test::Painter;
using screen_test::Peer;

constexpr COLORREF kRed = RGB(220, 30, 10), kBlue = RGB(20, 40, 230), kGreen = RGB(10, 200, 60);

std::string Colour(COLORREF c) { return std::to_string(c); }

class ScreenTest : public tolvex_test::PanelTest {
 protected:
  void TearDown() override { unsetenv("ORLIK_SCREEN"); }
  Painter painter_;
};

TEST_F(ScreenTest, TwoProcessesOfOneRootDrawOnOneScreen) {
  painter_.Paint(kRed, 0, 0, 100, 100);
  int mine = orlik_sim_screen_present_count();
  ASSERT_GE(mine, 1);

  Peer peer;
  ASSERT_EQ(peer.Expect("ready "), "800 480") << peer.seen();
  // The peer sees this process's drawing and repaints.
  EXPECT_EQ(peer.Ask("pixel 50 50", "pixel "), Colour(kRed));
  EXPECT_EQ(peer.Ask("presents", "presents "), std::to_string(mine));

  ASSERT_NE(peer.Ask("paint 20 40 230 200 0 300 100", "painted "), "") << "no reply";
  EXPECT_EQ(orlik_sim_screen_pixel(250, 50), kBlue);
  EXPECT_EQ(orlik_sim_screen_pixel(50, 50), kRed);
  int both = orlik_sim_screen_present_count();
  EXPECT_GT(both, mine);
  EXPECT_EQ(peer.Ask("presents", "presents "), std::to_string(both));

  // What orlik-panel saves through either process's console is the one screen.
  std::string socket = peer.Ask("console", "console ");
  ASSERT_EQ(socket.rfind(root_.path(), 0), 0u) << socket;
  for (std::string pid : {std::to_string(peer.pid()), std::to_string(getpid())}) {
    std::string png = root_.path() + "/screen-" + pid + ".png";
    std::string command = std::string(ORLIK_PANEL) + " --root " + root_.path() + " --pid " + pid + " screen " +
                          png + " >/dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    EXPECT_EQ(screen_test::PngPixel(png, 50, 50), kRed) << pid;
    EXPECT_EQ(screen_test::PngPixel(png, 250, 50), kBlue) << pid;
    EXPECT_EQ(screen_test::PngPixel(png, 500, 300), RGB(0, 0, 0)) << pid;
  }
  EXPECT_EQ(peer.End(), 0) << peer.seen();
}

TEST_F(ScreenTest, TheFirstProcessSetsTheSizeUntilNoProcessHoldsTheScreen) {
  setenv("ORLIK_SCREEN", "640x400", 1);
  int width = 0, height = 0;
  orlik_sim_screen_size(&width, &height);
  EXPECT_EQ(width, 640);
  EXPECT_EQ(height, 400);
  {
    // One panel, one screen: a later process's own size is not used, and it
    // says so.
    Peer later({"ORLIK_SCREEN=320x240"});
    EXPECT_EQ(later.Expect("ready "), "640 400") << later.seen();
    EXPECT_NE(later.seen().find("the panel's screen is 640x400: ORLIK_SCREEN=320x240 is not used"),
              std::string::npos)
        << later.seen();
    EXPECT_EQ(later.End(), 0);
  }

  // A root of peers only: once every process holding its screen has ended,
  // even by a kill, the next one makes it anew, black and of its own size.
  std::string other = root_.path() + "/other";
  {
    Peer first({"ORLIK_ROOT=" + other, "ORLIK_SCREEN=320x240"});
    ASSERT_EQ(first.Expect("ready "), "320 240") << first.seen();
    ASSERT_NE(first.Ask("paint 220 30 10 0 0 320 240", "painted "), "") << "no reply";
    {
      Peer second({"ORLIK_ROOT=" + other, "ORLIK_SCREEN=400x300"});
      EXPECT_EQ(second.Expect("ready "), "320 240") << second.seen();
      EXPECT_EQ(second.Ask("pixel 10 10", "pixel "), Colour(kRed));
    }
    first.Kill();
  }
  Peer next({"ORLIK_ROOT=" + other, "ORLIK_SCREEN=400x300"});
  EXPECT_EQ(next.Expect("ready "), "400 300") << next.seen();
  EXPECT_EQ(next.Ask("pixel 10 10", "pixel "), "0");
  EXPECT_EQ(next.Ask("presents", "presents "), "0");
  EXPECT_EQ(next.seen().find("is not used"), std::string::npos) << next.seen();
}

TEST_F(ScreenTest, AResetClearsThePanelsScreenAndANewRootBringsItsOwn) {
  painter_.Paint(kGreen, 0, 0, 100, 100);
  Peer peer;
  ASSERT_EQ(peer.Expect("ready "), "800 480") << peer.seen();
  ASSERT_NE(peer.Ask("paint 20 40 230 200 0 300 100", "painted "), "") << "no reply";
  ASSERT_EQ(orlik_sim_screen_pixel(250, 50), kBlue);

  orlik_sim_reset();
  EXPECT_EQ(orlik_sim_screen_pixel(50, 50), RGB(0, 0, 0));
  EXPECT_EQ(orlik_sim_screen_pixel(250, 50), RGB(0, 0, 0));
  EXPECT_EQ(orlik_sim_screen_present_count(), 0);
  EXPECT_EQ(peer.Ask("pixel 250 50", "pixel "), "0");
  EXPECT_EQ(peer.Ask("presents", "presents "), "0");

  // Another device root in force at the reset: its screen from then on, of
  // the size in force; the old root's drawing is not seen here.
  ASSERT_NE(peer.Ask("paint 220 30 10 400 0 500 100", "painted "), "") << "no reply";
  tolvex_test::TempRoot second;
  setenv("ORLIK_SCREEN", "320x240", 1);
  orlik_sim_reset();
  int width = 0, height = 0;
  orlik_sim_screen_size(&width, &height);
  EXPECT_EQ(width, 320);
  EXPECT_EQ(height, 240);
  EXPECT_EQ(orlik_sim_screen_present_count(), 0);
  painter_.Paint(kGreen, 0, 0, 50, 50);
  EXPECT_EQ(orlik_sim_screen_pixel(10, 10), kGreen);
  EXPECT_EQ(orlik_sim_screen_present_count(), 1);
  EXPECT_EQ(peer.Ask("pixel 10 10", "pixel "), "0");
  EXPECT_EQ(peer.Ask("pixel 450 50", "pixel "), Colour(kRed));
  EXPECT_TRUE(std::filesystem::exists(second.path() + "/.board/screen"));
}

TEST_F(ScreenTest, ARootWithoutRoomGivesAScreenOfTheProcessesOwn) {
  // A folder cannot be made below a plain file, even by root.
  std::string file = root_.path() + "/file";
  FILE* f = std::fopen(file.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  setenv("ORLIK_ROOT", (file + "/root").c_str(), 1);
  orlik_sim_reset();
  painter_.Paint(kBlue, 0, 0, 40, 40);
  EXPECT_EQ(orlik_sim_screen_pixel(20, 20), kBlue);
  EXPECT_EQ(orlik_sim_screen_present_count(), 1);
  std::string png = root_.path() + "/own.png";
  EXPECT_EQ(orlik_sim_screen_save_png(png.c_str()), 1);
  EXPECT_EQ(screen_test::PngPixel(png, 20, 20), kBlue);
  setenv("ORLIK_ROOT", root_.path().c_str(), 1);
}

}  // namespace
