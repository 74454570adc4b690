// The panel console: how long a drive request takes to reach the program's
// port queue (a panel application in another process, the queue read here),
// and what a console costs the register path of the process it serves
// (attached, subscribed to pin changes) against no console at all.
#include <orlik/sim.h>
#include <orlik/windows.h>

#include "console_support.h"

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <stdlib.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

using namespace console_test;

namespace {

std::string PrivateRoot() {
  static std::string root = [] {
    std::string r = (std::filesystem::temp_directory_path() / "orlik-bench-XXXXXX").string();
    if (mkdtemp(r.data())) setenv("ORLIK_ROOT", r.c_str(), 1);
    return r;
  }();
  return root;
}

void Percentiles(benchmark::State& state, std::vector<double> us) {
  if (us.empty()) return;
  std::sort(us.begin(), us.end());
  state.counters["p50_us"] = us[us.size() / 2];
  state.counters["p99_us"] = us[std::min(us.size() - 1, us.size() * 99 / 100)];
  state.counters["max_us"] = us.back();
}

// The application runs the port D watch; this process holds the queue's
// reading end, so the byte is taken the moment the watch writes it.
struct Remote {
  Remote() : app({PANEL_APP, std::string(TOLVEX_LIB_DIR) + "/libFerrox.so", "--no-reader"}) {
    MSGQUEUEOPTIONS o = {sizeof(MSGQUEUEOPTIONS), 0, 100, 1, TRUE};
    queue = CreateMsgQueue(u"Tolvex_TolGPIOFastD", &o);
    if (app.Expect("ready") != "ready") return;
    std::string socket = SocketOf(PrivateRoot(), app.pid());
    ready = queue && AwaitFile(socket, true) && console.Connect(socket);
  }
  ~Remote() {
    if (queue) CloseMsgQueue(queue);
  }
  int ReadByte() {
    BYTE b = 0;
    DWORD got = 0, flags = 0;
    return ReadMsgQueue(queue, &b, 1, &got, 2000, &flags) ? b : -1;
  }
  Child app;
  HANDLE queue = nullptr;
  Console console;
  bool ready = false;
};

// Drives HW-Q3 to alternate levels through `drive` and times each until the
// port's queue in the application gives the byte. drive(level) starts the
// drive and returns what finishes it once the byte is there.
template <class Drive>
void TimeDrivesToQueueByte(benchmark::State& state, Drive drive) {
  PrivateRoot();
  Remote r;
  if (!r.ready) return state.SkipWithError("no panel application");
  std::vector<double> us;
  int level = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    auto finish = drive(r, level);
    int byte = r.ReadByte();
    auto t1 = Clock::now();
    finish();
    if (byte < 0) return state.SkipWithError("no byte in the queue");
    double s = std::chrono::duration<double>(t1 - t0).count();
    state.SetIterationTime(s);
    us.push_back(s * 1e6);
    level ^= 1;
  }
  Percentiles(state, us);
}

void BM_DriveToQueueByte(benchmark::State& state) {
  TimeDrivesToQueueByte(state, [](Remote& r, int level) {
    r.console.SendRaw(std::string("{\"cmd\":\"drive\",\"pin\":\"HW-Q3\",\"level\":") + char('0' + level) + "}\n");
    return [&r] { r.console.Next(); };  // the reply
  });
}
BENCHMARK(BM_DriveToQueueByte)->UseManualTime()->Iterations(2000)->Unit(benchmark::kMicrosecond);

// The same through the command-line tool: a process start per drive.
void BM_OrlikPanelDriveToQueueByte(benchmark::State& state) {
  TimeDrivesToQueueByte(state, [](Remote& r, int level) {
    auto tool = std::make_shared<Child>(std::vector<std::string>{
        ORLIK_PANEL, "--pid", std::to_string(r.app.pid()), "drive", std::string("HW-Q3=") + char('0' + level)});
    return [tool] {
      tool->CloseInput();
      tool->Wait();
    };
  });
}
BENCHMARK(BM_OrlikPanelDriveToQueueByte)->UseManualTime()->Iterations(200)->Unit(benchmark::kMicrosecond);

// The register path of this process: an output pin of port D toggled through
// the library, a register write and a pin change per call.
struct Local {
  Local() {
    PrivateRoot();
    handle = dlopen((std::string(TOLVEX_LIB_DIR) + "/libFerrox.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return;
    setCfg = reinterpret_cast<int32_t (*)(int32_t)>(dlsym(handle, "SetPortDCfg"));
    setBit = reinterpret_cast<void (*)(int32_t, int32_t)>(dlsym(handle, "SetPortDBit"));
    if (setCfg) setCfg(0xFF);
  }
  ~Local() {
    if (handle) dlclose(handle);
  }
  void* handle = nullptr;
  int32_t (*setCfg)(int32_t) = nullptr;
  void (*setBit)(int32_t, int32_t) = nullptr;
};

void Toggle(benchmark::State& state, Local& l) {
  int v = 0;
  for (auto _ : state) {
    l.setBit(0, v);
    v ^= 1;
  }
  state.SetItemsProcessed(state.iterations());
}

// Reference: no console in this process. Opening the register window would
// start it, so it is switched off for this run.
void BM_RegisterPathNoConsole(benchmark::State& state) {
  setenv("ORLIK_CONSOLE", "off", 1);
  Local l;
  if (!l.setBit) return state.SkipWithError("libFerrox.so not loaded");
  char path[512];
  if (orlik_sim_console_path(path, sizeof path) != 0) return state.SkipWithError("a console is running");
  Toggle(state, l);
}
BENCHMARK(BM_RegisterPathNoConsole)->MinTime(1.0);

// The same with one more thread that only waits, as the console's does: the
// C library takes its locks (malloc's among them) only once a process has a
// second thread, which an application with a port watch has anyway.
void BM_RegisterPathNoConsoleIdleThread(benchmark::State& state) {
  setenv("ORLIK_CONSOLE", "off", 1);
  Local l;
  if (!l.setBit) return state.SkipWithError("libFerrox.so not loaded");
  int fds[2];
  if (pipe(fds) != 0) return state.SkipWithError("pipe");
  std::thread idle([&] {
    char c;
    [[maybe_unused]] ssize_t n = read(fds[0], &c, 1);
  });
  Toggle(state, l);
  close(fds[1]);
  idle.join();
  close(fds[0]);
}
BENCHMARK(BM_RegisterPathNoConsoleIdleThread)->MinTime(1.0);

void RegisterPathWithConsole(benchmark::State& state, const std::vector<std::string>& events) {
  unsetenv("ORLIK_CONSOLE");
  Local l;
  if (!l.setBit) return state.SkipWithError("libFerrox.so not loaded");
  char path[512];
  if (orlik_sim_console_path(path, sizeof path) == 0) return state.SkipWithError("no console");
  Console c;
  if (!c.Connect(path)) return state.SkipWithError("cannot attach");
  if (!events.empty() && !c.Call({{"cmd", "subscribe"}, {"events", events}}).value("ok", false))
    return state.SkipWithError("cannot subscribe");
  // A client that reads everything it is sent, as a monitor would.
  std::atomic<bool> done{false};
  std::thread reader([&] {
    char chunk[65536];
    while (!done) {
      pollfd p{c.fd(), POLLIN, 0};
      if (poll(&p, 1, 50) > 0 && read(c.fd(), chunk, sizeof chunk) <= 0) break;
    }
  });
  Toggle(state, l);
  done = true;
  reader.join();
}

void BM_RegisterPathConsoleAttached(benchmark::State& state) { RegisterPathWithConsole(state, {}); }
void BM_RegisterPathConsoleSubscribedToPins(benchmark::State& state) { RegisterPathWithConsole(state, {"pin"}); }
BENCHMARK(BM_RegisterPathConsoleAttached)->MinTime(1.0);
BENCHMARK(BM_RegisterPathConsoleSubscribedToPins)->MinTime(1.0);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  PrivateRoot();
  // A console, once started, serves until the process ends: the run without
  // one is registered before those with one.
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  std::error_code ec;
  std::filesystem::remove_all(PrivateRoot(), ec);
  return 0;
}
