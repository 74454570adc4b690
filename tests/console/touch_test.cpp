// Touches from outside: orlik-panel's tap reaching a window of a panel
// application in another process, and two processes of one device root whose
// windows overlap: the touch reaches the one on top, the lower one's painting
// stays out of the upper one, and the windows of a process that ended leave
// the panel.
#include "console_support.h"
#include "tolvex_test.h"

#include <signal.h>

using namespace console_test;

namespace {

// A sanitizer build of a panel process on a busy machine takes seconds to
// start and to answer.
constexpr int kWaitMs = 30000;

class TouchTest : public ::testing::Test {
 protected:
  std::unique_ptr<Child> Start() {
    auto app = std::make_unique<Child>(std::vector<std::string>{PANEL_APP, FERROX_LIB, "--no-reader"});
    EXPECT_GT(app->pid(), 0);
    EXPECT_EQ(app->Expect("ready", kWaitMs), "ready");
    EXPECT_TRUE(AwaitFile(SocketOf(root_.path(), app->pid()), true));
    return app;
  }
  // Runs orlik-panel on this test's root against one process.
  std::pair<int, std::string> Panel(const Child& app, std::vector<std::string> args) {
    args.insert(args.begin(), {ORLIK_PANEL, "--root", root_.path(), "--pid", std::to_string(app.pid())});
    Child tool(args);
    tool.CloseInput();
    std::string out;
    while (auto line = tool.Line(kWaitMs)) out += *line + "\n";
    return {tool.Wait(), out};
  }
  // A tap through a process's console, as orlik-panel sends it.
  bool Tap(const Child& app, int x, int y) {
    Console console;
    if (!console.Connect(SocketOf(root_.path(), app.pid()))) return false;
    json reply = console.Call({{"cmd", "tap"}, {"x", x}, {"y", y}}, kWaitMs);
    return reply.is_object() && reply.value("ok", false);
  }
  static std::string Ask(Child& app, const std::string& request) {
    app.Send(request);
    return app.Expect("pixel", kWaitMs);
  }
  static void Finish(Child& app) {
    app.CloseInput();
    EXPECT_EQ(app.Wait(), 0) << "the panel application's exit status";
  }

  tolvex_test::TempRoot root_;  // before the applications: they inherit ORLIK_ROOT
};

TEST_F(TouchTest, TapReachesTheWindowOfTheProgramUnderThePoint) {
  auto app = Start();
  app->Send("window a 100 100 200 100 200 0 0");
  ASSERT_EQ(app->Expect("window", kWaitMs), "window a");
  ASSERT_EQ(app->Expect("paint", kWaitMs), "paint a");

  EXPECT_EQ(Panel(*app, {"tap", "150", "120"}).first, 0);
  EXPECT_EQ(app->Expect("mouse", kWaitMs), "mouse a down 50 20");
  EXPECT_EQ(app->Expect("mouse", kWaitMs), "mouse a up 50 20");

  // Outside the window nothing gets it; down and up alone; the reply as JSON.
  EXPECT_EQ(Panel(*app, {"tap", "700", "400"}).first, 0);
  EXPECT_EQ(Panel(*app, {"tap", "299", "199", "down"}).first, 0);
  auto [status, json] = Panel(*app, {"--json", "tap", "10", "10", "up"});
  EXPECT_EQ(status, 0);
  EXPECT_NE(json.find("\"ok\":true"), std::string::npos) << json;
  EXPECT_EQ(app->Expect("mouse", kWaitMs), "mouse a down 199 99");
  EXPECT_EQ(app->Expect("mouse", kWaitMs), "mouse a up -90 -90") << "the window the finger went down on";

  // Off the screen the panel refuses; a bad command line is a usage error.
  auto [offStatus, offText] = Panel(*app, {"tap", "800", "10"});
  EXPECT_EQ(offStatus, 1) << offText;
  EXPECT_EQ(Panel(*app, {"tap", "10"}).first, 2);
  EXPECT_EQ(Panel(*app, {"tap", "10", "10", "sideways"}).first, 2);
  Finish(*app);
}

TEST_F(TouchTest, OverlappingWindowsOfTwoProcessesClipAndTheTopOneTakesTheTouch) {
  auto lower = Start();
  lower->Send("window a 0 0 300 200 200 0 0");
  ASSERT_EQ(lower->Expect("paint", kWaitMs), "paint a");
  auto upper = Start();
  upper->Send("window b 100 100 300 200 0 0 200");
  ASSERT_EQ(upper->Expect("paint", kWaitMs), "paint b");

  // Whichever process the touch comes through, the window on top gets it.
  EXPECT_TRUE(Tap(*lower, 150, 150));
  EXPECT_EQ(upper->Expect("mouse", kWaitMs), "mouse b down 50 50");
  EXPECT_EQ(upper->Expect("mouse", kWaitMs), "mouse b up 50 50");
  EXPECT_TRUE(Tap(*upper, 50, 50));
  EXPECT_EQ(lower->Expect("mouse", kWaitMs), "mouse a down 50 50");

  // The lower window repaints, in green, only where it shows.
  lower->Send("repaint a 0 160 0");
  ASSERT_EQ(lower->Expect("paint", kWaitMs), "paint a");
  EXPECT_EQ(Ask(*lower, "pixel 50 50"), "pixel 50 50 0 160 0");
  EXPECT_EQ(Ask(*lower, "pixel 99 199"), "pixel 99 199 0 160 0");
  EXPECT_NE(Ask(*lower, "pixel 150 150"), "pixel 150 150 0 160 0");
  EXPECT_NE(Ask(*lower, "pixel 299 199"), "pixel 299 199 0 160 0");

  // The upper process dies: its window leaves the panel, the lower one
  // repaints what it uncovered and takes the touches there.
  ASSERT_EQ(kill(upper->pid(), SIGKILL), 0);
  upper->Wait();
  EXPECT_EQ(lower->Expect("paint", kWaitMs), "paint a");
  EXPECT_EQ(Ask(*lower, "pixel 150 150"), "pixel 150 150 0 160 0");
  EXPECT_TRUE(Tap(*lower, 150, 150));
  EXPECT_EQ(lower->Expect("mouse", kWaitMs), "mouse a down 150 150");
  Finish(*lower);
}

}  // namespace
