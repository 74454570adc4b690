// The main two-wire bus at speed 0: bytes per second through WriteByte, and
// the cost of one analogue output update (start, three bytes, stop). A bare
// yield, the bus's unit of delay, is the reference (32 of them per byte).
#include <tolvex/ferrox.h>

#include "export_table.h"

#include <orlik/windows.h>

#include <benchmark/benchmark.h>
#include <orlik/sim.h>

namespace {

#define BUS_BENCH_EXPORTS(X) X(Init) X(StartSignal) X(StopSignal) X(WriteByte) X(SetOutData1)
TOLVEX_EXPORT_TABLE(BusExports, BUS_BENCH_EXPORTS);

struct Ferrox : tolvex_test::LoadedLibrary<BusExports> {
  Ferrox() {
    orlik_sim_reset();
    Load(TOLVEX_LIB_DIR "/libFerrox.so");
  }
};

void BM_Yield(benchmark::State& state) {
  for (auto _ : state) Sleep(0);
}
BENCHMARK(BM_Yield);

void BM_WriteByteSpeed0(benchmark::State& state) {
  Ferrox f;
  if (!f.ok()) return state.SkipWithError("libFerrox.so not loaded");
  f.Init();
  f.StartSignal();
  for (auto _ : state) benchmark::DoNotOptimize(f.WriteByte(0x98));
  f.StopSignal();
  state.SetBytesProcessed(int64_t(state.iterations()));
}
BENCHMARK(BM_WriteByteSpeed0);

void BM_SetOutData1(benchmark::State& state) {
  Ferrox f;
  if (!f.ok()) return state.SkipWithError("libFerrox.so not loaded");
  f.Init();
  int value = 0;
  for (auto _ : state) f.SetOutData1(value++ & 0xFFFF);
}
BENCHMARK(BM_SetOutData1);

}  // namespace

BENCHMARK_MAIN();
