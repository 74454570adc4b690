// A fresh panel with libRenokit.so loaded, and what the tests need to look at
// the updater processes it starts.
#pragma once

#include <orlik/sim.h>
#include <orlik/windows.h>
#include <tolvex/renokit.h>

#include "tolvex_test.h"

#include <signal.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>

namespace fs = std::filesystem;

class RenokitTest : public tolvex_test::PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    setPath = lib.Get<decltype(&::SetPath)>("SetPath");
    setBackImagePath = lib.Get<decltype(&::SetBackImagePath)>("SetBackImagePath");
    setDisplayText = lib.Get<decltype(&::SetDisplayText)>("SetDisplayText");
    setDisplayTextColor = lib.Get<decltype(&::SetDisplayTextColor)>("SetDisplayTextColor");
    setFontName = lib.Get<decltype(&::SetFontName)>("SetFontName");
    setStartInterval = lib.Get<decltype(&::SetStartInterval)>("SetStartInterval");
    setReboot = lib.Get<decltype(&::SetReboot)>("SetReboot");
    start = lib.Get<decltype(&::Start)>("Start");
    processesBefore = orlik_sim_process_count();
    fs::create_directories(Root() + "/Windows");  // the panel's system folder is always there
  }

  std::string Root() const { return root_.path(); }
  void Write(const std::string& rel, const std::string& bytes) {
    fs::path p = fs::path(Root()) / rel;
    fs::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
  }
  std::string Read(const std::string& rel) const {
    std::ifstream in(fs::path(Root()) / rel, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }
  bool Exists(const std::string& rel) const { return fs::exists(fs::path(Root()) / rel); }

  // The updater this test's Start started, or 0.
  int StartedUpdater() const {
    int n = orlik_sim_process_count();
    return n > processesBefore ? orlik_sim_process_id(n - 1) : 0;
  }
  // The command line a started process was given (its arguments after the program).
  static std::u16string CommandLineOf(int pid) {
    std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
    std::string all{std::istreambuf_iterator<char>(in), {}};
    auto first = all.find('\0');
    if (first == std::string::npos || first + 1 >= all.size()) return {};
    std::string arg = all.substr(first + 1);
    if (!arg.empty() && arg.back() == '\0') arg.pop_back();
    return orlik::FromUtf8(arg);
  }
  // Reads the updater's command line and stops the updater.
  std::u16string TakeUpdaterCommandLine() {
    int pid = StartedUpdater();
    if (!pid) return u"<no updater started>";
    // The new program's arguments appear in /proc a moment after the start
    // returns (the kernel fills them in while the program loads).
    std::u16string line;
    for (int i = 0; i < 200 && line.empty(); ++i) {
      line = CommandLineOf(pid);
      if (line.empty()) usleep(5000);
    }
    kill(pid, SIGKILL);
    int code = 0;
    orlik_sim_process_wait(pid, 10000, &code);
    return line;
  }

  tolvex_test::Library lib{TOLVEX_LIB_RENOKIT};
  decltype(&::SetPath) setPath;
  decltype(&::SetBackImagePath) setBackImagePath;
  decltype(&::SetDisplayText) setDisplayText;
  decltype(&::SetDisplayTextColor) setDisplayTextColor;
  decltype(&::SetFontName) setFontName;
  decltype(&::SetStartInterval) setStartInterval;
  decltype(&::SetReboot) setReboot;
  decltype(&::Start) start;
  int processesBefore = 0;
};
