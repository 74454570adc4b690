// A high-quality colour A4 page with every drawing export, printed: time
// from PrintSetup to the last byte on the port, and the printout's size
// against the raw raster (three 1-bit planes; and 24-bit RGB). Drawing the
// same page without printing it is the reference: the difference is the
// driver's rendering, compression and the port.
#include "sample_page.h"

#include <orlik/sim.h>
#include <orlik/windows.h>

#include <benchmark/benchmark.h>

#include <dlfcn.h>
#include <stdlib.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

namespace {

struct Lettra {
  Lettra() {
    std::string pattern = (std::filesystem::temp_directory_path() / "lettra-bench-XXXXXX").string();
    root = mkdtemp(pattern.data());
    setenv("ORLIK_ROOT", root.c_str(), 1);
    unsetenv("ORLIK_LPT1");
    orlik_sim_reset();
    // The screen as it is, saved as the page's picture file.
    orlik_sim_screen_save_png((root + "/screen.png").c_str());
    handle = dlopen((std::string(TOLVEX_LIB_DIR) + "/libLettra.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return;
    auto lookup = [this](const char* name) { return dlsym(handle, name); };
    ok = e.Resolve(lookup);
  }
  ~Lettra() {
    if (handle) dlclose(handle);
    std::filesystem::remove_all(root);
  }
  std::string Port() const { return root + "/LPT1.prn"; }

  std::string root;
  void* handle = nullptr;
  bool ok = false;
  lettra_sample::Exports e{};
};

constexpr int kWidth = 2330, kHeight = 3283;

void BM_DrawSamplePage(benchmark::State& state) {
  Lettra lettra;
  if (!lettra.ok) return state.SkipWithError("libLettra.so not loaded");
  for (auto _ : state) {
    lettra.e.PrintSetup(nullptr, 1, 1, 0, 1);
    lettra_sample::DrawSamplePage(lettra.e, u"\\screen.png", 0);
  }
}

void BM_PrintSamplePage(benchmark::State& state) {
  Lettra lettra;
  if (!lettra.ok) return state.SkipWithError("libLettra.so not loaded");
  uintmax_t bytes = 0;
  for (auto _ : state) {
    state.PauseTiming();
    std::filesystem::remove(lettra.Port());
    state.ResumeTiming();
    lettra.e.PrintSetup(nullptr, 1, 1, 0, 1);
    lettra_sample::DrawSamplePage(lettra.e, u"\\screen.png", 0);
    lettra.e.PrintOut();
    // The port file is written whole at the end of the document.
    while (lettra.e.IsPrinting() == 1) std::this_thread::sleep_for(std::chrono::microseconds(200));
    if (lettra.e.IsPrinting() != 0) return state.SkipWithError("print failed");
    bytes = std::filesystem::file_size(lettra.Port());
  }
  const double planes = 3.0 * ((kWidth + 7) / 8) * kHeight;
  const double rgb = 3.0 * kWidth * kHeight;
  state.counters["port_bytes"] = double(bytes);
  state.counters["raw_planes_bytes"] = planes;
  state.counters["vs_raw_planes"] = double(bytes) / planes;
  state.counters["vs_raw_rgb"] = double(bytes) / rgb;
}

BENCHMARK(BM_DrawSamplePage)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PrintSamplePage)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
