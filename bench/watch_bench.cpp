// The port watch on the simulated panel: how fast its loop samples the port
// (against an application reading the port in a loop of its own, the
// reference), and how long a pin change takes to become readable from the
// port's queue.
#include <tolvex/ferrox.h>

#include "export_table.h"

#include <orlik/sim.h>
#include <orlik/windows.h>

#include <benchmark/benchmark.h>
#include <dlfcn.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

namespace {

#define WATCH_BENCH_EXPORTS(X) \
  X(SetPortDCfg) X(GetPortDData) X(PortDWatchStartEx) X(PortDWatchStopEx) X(PortDWatchIdleInterval)
TOLVEX_EXPORT_TABLE(WatchExports, WATCH_BENCH_EXPORTS);

struct Ferrox : tolvex_test::LoadedLibrary<WatchExports> {
  Ferrox() {
    // A private panel root, so the port queues are this run's own.
    static std::string root = (std::filesystem::temp_directory_path() / "orlik-bench-XXXXXX").string();
    static const bool made = mkdtemp(root.data()) != nullptr;
    if (made) setenv("ORLIK_ROOT", root.c_str(), 1);
    orlik_sim_reset();
    if (!Load(TOLVEX_LIB_DIR "/libFerrox.so")) return;
    SetPortDCfg(0);
    for (int pin = 0; pin < 8; ++pin) orlik_sim_drive_pin('Q', pin, 0);
  }
};

// Reference: the application reads the port byte itself, as fast as it can
// (register accesses traced, as in the watch measurement).
void BM_ApplicationReadsPortByte(benchmark::State& state) {
  Ferrox f;
  if (!f.ok()) return state.SkipWithError("libFerrox.so not loaded");
  orlik_sim_trace(1);
  int sink = 0;
  for (auto _ : state) {
    sink += f.GetPortDData();
    if ((state.iterations() & 0xFFFF) == 0) orlik_sim_trace(1);  // keep the trace small
  }
  orlik_sim_trace(0);
  benchmark::DoNotOptimize(sink);
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_ApplicationReadsPortByte);

// The watch thread's samples per second on an unchanging port, counted as its
// reads of port D's data register during 50 ms windows.
void BM_WatchLoopSamples(benchmark::State& state) {
  Ferrox f;
  if (!f.ok()) return state.SkipWithError("libFerrox.so not loaded");
  f.PortDWatchIdleInterval(int(state.range(0)));
  f.PortDWatchStartEx();
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  double samples = 0, seconds = 0;
  for (auto _ : state) {
    orlik_sim_trace(1);
    auto t0 = std::chrono::steady_clock::now();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    int n = orlik_sim_trace_count();
    auto t1 = std::chrono::steady_clock::now();
    orlik_sim_trace(0);
    samples += n;
    seconds += std::chrono::duration<double>(t1 - t0).count();
    state.SetIterationTime(std::chrono::duration<double>(t1 - t0).count());
  }
  f.PortDWatchStopEx();
  state.counters["samples_per_s"] = samples / seconds;
}
BENCHMARK(BM_WatchLoopSamples)->Arg(10000)->Arg(0)->Iterations(10)->UseManualTime()->Unit(benchmark::kMillisecond);

// From a pin change on the board to the byte read from the queue by name.
// Argument: the watch's idle count. The reader waits in ReadMsgQueue, so the
// time includes the host waking it.
void BM_PinChangeToQueue(benchmark::State& state) {
  Ferrox f;
  if (!f.ok()) return state.SkipWithError("libFerrox.so not loaded");
  f.PortDWatchIdleInterval(int(state.range(0)));
  f.PortDWatchStartEx();
  MSGQUEUEOPTIONS o = {sizeof(MSGQUEUEOPTIONS), 0, 0, 1, TRUE};
  HANDLE reader = CreateMsgQueue(u"Tolvex_TolGPIOFastD", &o);
  // The reader as urgent as the watch (where the host allows), so that the
  // host's scheduling of the reader does not hide the watch's own delay.
  int oldNice = getpriority(PRIO_PROCESS, 0);
  setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), -20);
  std::this_thread::sleep_for(std::chrono::milliseconds(20));
  int level = 0;
  double driveSeconds = 0;
  for (auto _ : state) {
    level ^= 1;
    auto t0 = std::chrono::steady_clock::now();
    orlik_sim_drive_pin('Q', 0, level);
    driveSeconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    BYTE b = 0;
    DWORD got = 0, flags = 0;
    bool read = ReadMsgQueue(reader, &b, 1, &got, 2000, &flags);
    if (!read || b != level) {
      state.SkipWithError("change not delivered");
      break;
    }
    state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    // Let the watch go back to idling between changes.
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  // The board's lock is shared with the polling thread: how long the pin
  // change itself waited for it.
  state.counters["drive_us"] = driveSeconds * 1e6 / double(state.iterations());
  setpriority(PRIO_PROCESS, pid_t(syscall(SYS_gettid)), oldNice);
  CloseMsgQueue(reader);
  f.PortDWatchStopEx();
}
BENCHMARK(BM_PinChangeToQueue)->Arg(10000)->Arg(0)->Iterations(200)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
