// The panel console seen from another process: a panel application runs in a
// child process; the test attaches to its console socket, drives its inputs,
// and checks what the application reports and what the console tells.
#include "console_support.h"
#include "tolvex_test.h"

#include <stb_image.h>

#include <sys/stat.h>

#include <cmath>
#include <cstdlib>
#include <fstream>

using namespace console_test;

namespace {

class ConsoleTest : public ::testing::Test {
 protected:
  void SetUp() override {
    app_ = std::make_unique<Child>(std::vector<std::string>{PANEL_APP, FERROX_LIB});
    ASSERT_GT(app_->pid(), 0);
    ASSERT_EQ(app_->Expect("ready", kPeerStartMs), "ready");
    socket_ = SocketOf(root_.path(), app_->pid());
    ASSERT_TRUE(AwaitFile(socket_, true)) << socket_;
    ASSERT_TRUE(console_.Connect(socket_));
  }

  // The application ends cleanly: a sanitizer's report in it (the endpoint
  // runs there) would make its exit status non-zero.
  void TearDown() override {
    if (!app_) return;
    console_.Close();
    app_->CloseInput();
    EXPECT_EQ(app_->Wait(), 0) << "the panel application's exit status";
  }

  json Ok(json request) {
    json reply = console_.Call(std::move(request));
    EXPECT_TRUE(reply.is_object() && reply.value("ok", false)) << reply.dump();
    return reply.is_object() ? reply.value("result", json::object()) : json::object();
  }

  // Runs orlik-panel on this test's root; returns its exit status and output.
  std::pair<int, std::string> Panel(std::vector<std::string> args) {
    args.insert(args.begin(), {ORLIK_PANEL, "--root", root_.path()});
    Child tool(args);
    tool.CloseInput();
    std::string out;
    while (auto line = tool.Line(15000)) out += *line + "\n";
    return {tool.Wait(), out};
  }

  tolvex_test::TempRoot root_;  // before the application: it inherits ORLIK_ROOT
  std::unique_ptr<Child> app_;
  std::string socket_;
  Console console_;
};

TEST_F(ConsoleTest, DrivenPinReachesTheProgramsPortQueueAndPinEvents) {
  Ok({{"cmd", "subscribe"}, {"events", {"pin"}}});
  // Port D's pins are inputs with pull-ups: the port reads 0xFF. HW-Q3 is
  // its bit 3, and the watch puts each new port byte in the queue.
  json driven = Ok({{"cmd", "drive"}, {"pin", "HW-Q3"}, {"level", 0}});
  EXPECT_EQ(driven["level"], 0);
  EXPECT_EQ(driven["driven"], 0);
  EXPECT_EQ(app_->Expect("port F7"), "port F7");
  json event = console_.NextEvent("pin");
  EXPECT_EQ(event["pin"], "HW-Q3") << event.dump();
  EXPECT_EQ(event["level"], 0);

  // The command line tool sees the same pin, and releasing it lets the
  // pull-up take the line high again.
  EXPECT_EQ(Panel({"get", "HW-Q3"}), std::make_pair(0, std::string("0\n")));
  EXPECT_EQ(Panel({"release", "q3"}).first, 0);
  EXPECT_EQ(app_->Expect("port FF"), "port FF");
  EXPECT_EQ(Panel({"drive", "HW-Q0=0"}).first, 0);
  EXPECT_EQ(app_->Expect("port FE"), "port FE");
  auto [status, pins] = Panel({"pins", "Q"});
  EXPECT_EQ(status, 0);
  EXPECT_NE(pins.find("HW-Q0   0 input      pull=up   driven=0"), std::string::npos) << pins;
  EXPECT_NE(pins.find("HW-Q3   1 input      pull=up   driven=-"), std::string::npos) << pins;

  // Lines driven from outside reach the bus decoders too: on the main bus
  // (clock HW-B5, data HW-B6) both lines high, a start, two bits, then a
  // start inside the byte.
  Ok({{"cmd", "subscribe"}, {"events", {"bus-error"}}});
  for (auto [pin, level] : std::vector<std::pair<const char*, int>>{
           {"HW-B5", 1}, {"HW-B6", 1}, {"HW-B6", 0}, {"HW-B5", 0}, {"HW-B6", 1}, {"HW-B5", 1}, {"HW-B5", 0}, {"HW-B5", 1}, {"HW-B6", 0}})
    Ok({{"cmd", "drive"}, {"pin", pin}, {"level", level}});
  json error = console_.NextEvent("bus-error");
  EXPECT_EQ(error["bus"], "main") << error.dump();
  json bus = Ok({{"cmd", "bus"}, {"bus", "main"}});
  ASSERT_EQ(bus["errors"].size(), 1u) << bus.dump();
  EXPECT_EQ(bus["errors"][0], error["error"]);
}

TEST_F(ConsoleTest, AnalogueInputsBatteryAndSupplyReadBackThroughTheExports) {
  EXPECT_EQ(Panel({"adc", "2", "1.65"}).first, 0);
  int code = std::atoi(app_->Ask("adc 2", "adc 2 ").substr(6).c_str());
  EXPECT_NEAR(code, 2048, 2) << "1.65 V of 3.3 V full scale";

  EXPECT_EQ(Panel({"battery", "7.5"}).first, 0);
  double volts = std::atof(app_->Ask("battery", "battery ").substr(8).c_str());
  EXPECT_NEAR(volts, 7.5, 0.01);

  EXPECT_EQ(app_->Ask("supply", "supply "), "supply 0");
  json supply = Ok({{"cmd", "supply"}, {"on", true}});
  EXPECT_EQ(supply["present"], true);
  EXPECT_EQ(app_->Ask("supply", "supply "), "supply 1");
}

TEST_F(ConsoleTest, ScreenAsPngPresentAndMessageBoxEvents) {
  Ok({{"cmd", "subscribe"}, {"events", {"present", "message"}}});
  EXPECT_EQ(app_->Ask("paint 200 40 10", "painted"), "painted");
  json present = console_.NextEvent("present");
  EXPECT_GE(present.value("presents", 0), 1) << present.dump();

  std::string png = root_.path() + "/screen.png";
  auto [status, out] = Panel({"screen", png});
  ASSERT_EQ(status, 0) << out;
  int w = 0, h = 0, n = 0;
  unsigned char* pixels = stbi_load(png.c_str(), &w, &h, &n, 3);
  ASSERT_NE(pixels, nullptr);
  EXPECT_EQ(w, 800);
  EXPECT_EQ(h, 480);
  const unsigned char* centre = pixels + (size_t(240) * 800 + 400) * 3;
  EXPECT_EQ((std::vector<int>{centre[0], centre[1], centre[2]}), (std::vector<int>{200, 40, 10}));
  stbi_image_free(pixels);

  EXPECT_EQ(app_->Ask("box Door open", "box"), "box");
  json box = console_.NextEvent("message");
  EXPECT_EQ(box["caption"], "Panel app") << box.dump();
  EXPECT_EQ(box["text"], "Door open");
  auto [listed, text] = Panel({"messages"});
  EXPECT_EQ(listed, 0);
  EXPECT_EQ(text, "Panel app: Door open\n");
}

TEST_F(ConsoleTest, PowerRequestsAndThePowerOffLineAreEvents) {
  Ok({{"cmd", "subscribe"}, {"events", {"power"}}});
  EXPECT_EQ(app_->Ask("reboot", "reboot"), "reboot");
  json reboot = console_.NextEvent("power");
  EXPECT_EQ(reboot["request"], "set-power-state - flags=0x00800000 options=0x00001000") << reboot.dump();
  EXPECT_EQ(app_->Ask("poweroff", "poweroff"), "poweroff");
  json off = console_.NextEvent("power");
  EXPECT_EQ(off["request"], "power-off") << off.dump();

  auto [status, text] = Panel({"power"});
  EXPECT_EQ(status, 0);
  EXPECT_EQ(text, "set-power-state - flags=0x00800000 options=0x00001000\npowered off: yes (1 times)\n");
}

TEST_F(ConsoleTest, BadRequestsAreRefusedAndTheEndpointKeepsServing) {
  struct Case {
    std::string line;
    std::string error;  // a part of the error expected
  };
  const std::vector<Case> cases = {
      {"{\"cmd\": \"get\", \"pin\": ", "malformed JSON"},
      {"[1, 2]", "JSON object"},
      {"{\"pin\": \"HW-Q3\"}", "\"cmd\""},
      {"{\"cmd\": \"launch\"}", "unknown command"},
      {"{\"cmd\": \"get\"}", "missing \"pin\""},
      {"{\"cmd\": \"get\", \"pin\": \"HW-Z99\"}", "no pin"},
      {"{\"cmd\": \"drive\", \"pin\": \"HW-Q3\", \"level\": \"high\"}", "must be a number"},
      {"{\"cmd\": \"adc\", \"channel\": 1e300, \"volts\": 1}", "whole number in range"},
      {"{\"cmd\": \"screen\", \"path\": \"relative.png\"}", "absolute"},
      {"{\"cmd\": \"subscribe\", \"events\": [\"weather\"]}", "unknown event"},
      {"{\"cmd\": \"counter\", \"module\": \"Z9\"}", "no counter module"},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(console_.SendRaw(c.line + "\n"));
    json reply = console_.Next();
    ASSERT_TRUE(reply.is_object()) << c.line;
    EXPECT_EQ(reply["ok"], false) << c.line;
    EXPECT_NE(reply.value("error", "").find(c.error), std::string::npos) << c.line << " -> " << reply.dump();
  }

  // A line longer than the endpoint takes is refused once, the rest of it
  // skipped; the next request is served.
  ASSERT_TRUE(console_.SendRaw(std::string(3 << 20, 'x')));
  ASSERT_TRUE(console_.SendRaw("\n"));
  json tooLong = console_.Next();
  EXPECT_NE(tooLong.value("error", "").find("too long"), std::string::npos) << tooLong.dump();
  EXPECT_EQ(Ok({{"cmd", "info"}})["pid"], app_->pid());

  // Clients that vanish in the middle of large replies.
  for (int i = 0; i < 4; ++i) {
    Console rude;
    ASSERT_TRUE(rude.Connect(socket_));
    std::string burst;
    for (int k = 0; k < 50; ++k) burst += "{\"cmd\": \"decoder\"}\n";
    rude.SendRaw(burst);
  }
  EXPECT_EQ(Ok({{"cmd", "info"}})["pid"], app_->pid());
  EXPECT_EQ(app_->Ask("adc 0", "adc 0 ").empty(), false) << "the application runs on";

  // The command line tool's exit status: 1 for a refused command, 2 for a
  // usage or connection error.
  EXPECT_EQ(Panel({"get", "HW-Z99"}).first, 1);
  EXPECT_EQ(Panel({"drive", "HW-Q3"}).first, 2);
  EXPECT_EQ(Panel({"frobnicate"}).first, 2);
  EXPECT_EQ(Panel({"--pid", "1", "info"}).first, 2);
}

TEST_F(ConsoleTest, OnlyTheOwningUserMayAttach) {
  struct stat st;
  ASSERT_EQ(stat(socket_.c_str(), &st), 0);
  EXPECT_TRUE(S_ISSOCK(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0600u) << "nobody else may even connect";
  if (geteuid() != 0) GTEST_SKIP() << "another user's refusal needs root to become that user";

  // Open the files to everyone, so that only the peer-credential check
  // stands between another user and the panel.
  ASSERT_EQ(chmod(root_.path().c_str(), 0755), 0);
  ASSERT_EQ(chmod(socket_.c_str(), 0666), 0);
  auto attemptAs = [&](uid_t uid) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0) return std::string("pipe");
    pid_t child = fork();
    if (child == 0) {
      close(pipeFds[0]);
      std::string said = "no reply";
      if (setgid(uid) != 0 || setuid(uid) != 0) said = "setuid failed";
      Console c;
      if (said == "no reply") {
        // The refusal may come before the request is even sent.
        if (!c.Connect(socket_)) said = "connect failed";
        else if (c.SendRaw("{\"cmd\": \"info\"}\n"), true)
          if (json r = c.Next(5000); r.is_object()) said = r.dump();
      }
      [[maybe_unused]] ssize_t n = write(pipeFds[1], said.data(), said.size());
      _exit(0);
    }
    close(pipeFds[1]);
    std::string said;
    char chunk[4096];
    for (ssize_t n; (n = read(pipeFds[0], chunk, sizeof chunk)) > 0;) said.append(chunk, size_t(n));
    close(pipeFds[0]);
    waitpid(child, nullptr, 0);
    return said;
  };
  std::string stranger = attemptAs(65534);
  EXPECT_NE(stranger.find("permission denied"), std::string::npos) << stranger;
  EXPECT_EQ(stranger.find("\"pid\""), std::string::npos) << stranger;
  EXPECT_NE(attemptAs(0).find("\"ok\":true"), std::string::npos) << "the owner itself is served";
}

TEST_F(ConsoleTest, ListShowsLiveProcessesStaleSocketsAreCleanedAndTheSocketGoesAtExit) {
  // A socket left by a process that is gone (killed, crashed).
  pid_t gone = fork();
  if (gone == 0) _exit(0);
  waitpid(gone, nullptr, 0);
  std::string stale = SocketOf(root_.path(), gone);
  std::ofstream(stale).put('x');

  auto [status, list] = Panel({"list"});
  EXPECT_EQ(status, 0);
  EXPECT_EQ(list, std::to_string(app_->pid()) + " " + PANEL_APP + "\n");

  // The next panel process to start removes it, and is the newest.
  Child second({PANEL_APP, FERROX_LIB});
  ASSERT_EQ(second.Expect("ready", kPeerStartMs), "ready");
  EXPECT_TRUE(AwaitFile(stale, false));
  EXPECT_EQ(Panel({"info", "--json"}).second.find("\"pid\":" + std::to_string(second.pid())) != std::string::npos,
            true);
  second.CloseInput();
  EXPECT_EQ(second.Wait(), 0);

  // A normal exit removes the socket; a kill leaves it for the next starter.
  app_->CloseInput();
  EXPECT_EQ(app_->Wait(), 0);
  EXPECT_TRUE(AwaitFile(socket_, false));
}

}  // namespace
