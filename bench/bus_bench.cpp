// The main two-wire bus at speed 0: bytes per second through WriteByte, and
// the cost of one analogue output update (start, three bytes, stop). A bare
// yield, the bus's unit of delay, is the reference (32 of them per byte).
#include <tolvex/ferrox.h>

#include <orlik/windows.h>

#include <benchmark/benchmark.h>
#include <orlik/sim.h>

#include <dlfcn.h>

#include <string>

namespace {

struct Ferrox {
  Ferrox() {
    orlik_sim_reset();
    handle = dlopen((std::string(TOLVEX_LIB_DIR) + "/libFerrox.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return;
    init = reinterpret_cast<decltype(&::Init)>(dlsym(handle, "Init"));
    start = reinterpret_cast<decltype(&::StartSignal)>(dlsym(handle, "StartSignal"));
    stop = reinterpret_cast<decltype(&::StopSignal)>(dlsym(handle, "StopSignal"));
    writeByte = reinterpret_cast<decltype(&::WriteByte)>(dlsym(handle, "WriteByte"));
    out1 = reinterpret_cast<decltype(&::SetOutData1)>(dlsym(handle, "SetOutData1"));
  }
  ~Ferrox() {
    if (handle) dlclose(handle);
  }
  bool ok() const { return handle && init && start && stop && writeByte && out1; }
  void* handle = nullptr;
  decltype(&::Init) init = nullptr;
  decltype(&::StartSignal) start = nullptr;
  decltype(&::StopSignal) stop = nullptr;
  decltype(&::WriteByte) writeByte = nullptr;
  decltype(&::SetOutData1) out1 = nullptr;
};

void BM_Yield(benchmark::State& state) {
  for (auto _ : state) Sleep(0);
}
BENCHMARK(BM_Yield);

void BM_WriteByteSpeed0(benchmark::State& state) {
  Ferrox f;
  if (!f.ok()) {
    state.SkipWithError("libFerrox.so not loaded");
    return;
  }
  f.init();
  f.start();
  for (auto _ : state) benchmark::DoNotOptimize(f.writeByte(0x98));
  f.stop();
  state.SetBytesProcessed(int64_t(state.iterations()));
}
BENCHMARK(BM_WriteByteSpeed0);

void BM_SetOutData1(benchmark::State& state) {
  Ferrox f;
  if (!f.ok()) {
    state.SkipWithError("libFerrox.so not loaded");
    return;
  }
  f.init();
  int value = 0;
  for (auto _ : state) f.out1(value++ & 0xFFFF);
}
BENCHMARK(BM_SetOutData1);

}  // namespace

BENCHMARK_MAIN();
