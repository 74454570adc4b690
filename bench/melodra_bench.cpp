// Playback through Melodra on the simulated panel:
// - CPU seconds to play a 10 s 640x480 H.264 + AAC MP4 to its end, against
//   gst-launch-1.0 playbin playing the same file into fake sinks that keep
//   time (video-sink and audio-sink "fakesink sync=true"), in the same run;
// - time from Open to the first frame of the video on the screen;
// - time of a seek (SetCurrentPos) in the paused clip.
//   build/default/bin/melodra_bench
#include <orlik/sim.h>
#include <orlik/windows.h>

#include <benchmark/benchmark.h>

#include "fixture_main.h"
#include "popup_window.h"

#include <dlfcn.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <map>
#include <string>
#include <thread>

namespace {

using namespace std::chrono_literals;

double CpuSeconds(int who) {
  rusage usage{};
  getrusage(who, &usage);
  return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Colour bars with a running clock over them, and a tone.
const char* const kClip =
    "mp4mux name=m ! filesink location={out} "
    "videotestsrc pattern=smpte num-buffers=250 ! video/x-raw,width=640,height=480,framerate=25/1 ! "
    "timeoverlay font-desc=\"Sans 48\" ! x264enc speed-preset=veryfast bitrate=1500 ! m. "
    "audiotestsrc wave=sine freq=440 samplesperbuffer=4410 num-buffers=100 ! "
    "audio/x-raw,rate=44100,channels=2 ! avenc_aac ! m.";

struct Player {
  Player() {
    std::string pattern = (std::filesystem::temp_directory_path() / "melodra-bench-XXXXXX").string();
    root = mkdtemp(pattern.data());
    setenv("ORLIK_ROOT", root.c_str(), 1);
    // The silent output that keeps real time, as the fake sinks do.
    setenv("ORLIK_AUDIO", "none", 1);
    clip = root + "/clip.mp4";
    std::string description = kClip;
    description.replace(description.find("{out}"), 5, "'" + clip + "'");
    if (std::system(("gst-launch-1.0 -q " + description + " >/dev/null 2>&1").c_str()) != 0) return;
    orlik_sim_reset();
    handle = dlopen(TOLVEX_LIB_DIR "/libMelodra.so", RTLD_NOW | RTLD_LOCAL);
    if (!handle) return;
    auto get = [this](auto& fn, const char* name) {
      fn = reinterpret_cast<std::remove_reference_t<decltype(fn)>>(dlsym(handle, name));
      return fn != nullptr;
    };
    ready = get(Initialization, "Initialization") && get(SetPreviewWindowHandle, "SetPreviewWindowHandle") &&
         get(Open, "Open") && get(Play, "Play") && get(Pause, "Pause") && get(Stop, "Stop") &&
         get(IsComplete, "IsComplete") && get(SetCurrentPos, "SetCurrentPos") &&
         get(GetCurrentPos, "GetCurrentPos") && get(ReleaseEx, "ReleaseEx");
    window = tolvex_test::PopupWindow(u"BenchPlayer", DefWindowProcW, 0, 0, 64, 48);
    ready = ready && window && Initialization() == 0 && SetPreviewWindowHandle(window);
  }
  ~Player() {
    if (handle) {
      ReleaseEx();
      dlclose(handle);
    }
    if (window) DestroyWindow(window);
    std::filesystem::remove_all(root);
  }

  // Paints the screen black, so the next frame of the video is seen arriving.
  void ClearScreen() {
    HDC screen = GetDC(nullptr);
    RECT all = {0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
    FillRect(screen, &all, static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH)));
    ReleaseDC(nullptr, screen);
  }
  // The first bar of the colour bars (white) in the upper left of the video.
  bool FrameShown() {
    uint32_t c = orlik_sim_screen_pixel(20, 60);
    return (c & 0xFF) > 0x90 && ((c >> 8) & 0xFF) > 0x90 && ((c >> 16) & 0xFF) > 0x90;
  }

  std::string root, clip;
  void* handle = nullptr;
  HWND window = nullptr;
  bool ready = false;
  bool ok() const { return ready; }
  int32_t (*Initialization)() = nullptr;
  int32_t (*SetPreviewWindowHandle)(HWND) = nullptr;
  int32_t (*Open)(const char16_t*) = nullptr;
  int32_t (*Play)() = nullptr;
  int32_t (*Pause)() = nullptr;
  int32_t (*Stop)() = nullptr;
  int32_t (*IsComplete)() = nullptr;
  int32_t (*SetCurrentPos)(uint32_t) = nullptr;
  int32_t (*GetCurrentPos)() = nullptr;
  int32_t (*ReleaseEx)() = nullptr;
};

Player* player = nullptr;
std::map<std::string, double> cpuPerPlay;

void MelodraPlayToEnd(benchmark::State& state) {
  double cpu = 0;
  for (auto _ : state) {
    if (!player->Open(u"\\clip.mp4")) return state.SkipWithError("Open failed");
    double before = CpuSeconds(RUSAGE_SELF);
    player->Play();
    while (!player->IsComplete()) std::this_thread::sleep_for(20ms);
    cpu += CpuSeconds(RUSAGE_SELF) - before;
  }
  cpuPerPlay["melodra"] = cpu / double(state.iterations());
  state.counters["cpu_s"] = cpuPerPlay["melodra"];
}

void PlaybinPlayToEnd(benchmark::State& state) {
  std::string command = "gst-launch-1.0 -q playbin uri='file://" + player->clip +
                        "' video-sink='fakesink sync=true' audio-sink='fakesink sync=true' >/dev/null 2>&1";
  double cpu = 0;
  for (auto _ : state) {
    double before = CpuSeconds(RUSAGE_CHILDREN);
    if (std::system(command.c_str()) != 0) return state.SkipWithError("playbin failed");
    cpu += CpuSeconds(RUSAGE_CHILDREN) - before;
  }
  cpuPerPlay["playbin"] = cpu / double(state.iterations());
  state.counters["cpu_s"] = cpuPerPlay["playbin"];
}

void OpenToFirstFrame(benchmark::State& state) {
  for (auto _ : state) {
    state.PauseTiming();
    player->ClearScreen();
    state.ResumeTiming();
    if (!player->Open(u"\\clip.mp4") || !player->Play()) return state.SkipWithError("Open failed");
    auto limit = std::chrono::steady_clock::now() + 5s;
    while (!player->FrameShown())
      if (std::chrono::steady_clock::now() > limit) return state.SkipWithError("no frame on the screen");
    state.PauseTiming();
    player->Stop();
    state.ResumeTiming();
  }
}

void SeekPaused(benchmark::State& state) {
  if (!player->Open(u"\\clip.mp4") || !player->Pause()) return state.SkipWithError("Open failed");
  uint32_t target = 1;
  for (auto _ : state) {
    if (!player->SetCurrentPos(target)) return state.SkipWithError("seek failed");
    benchmark::DoNotOptimize(player->GetCurrentPos());
    target = target % 9 + 1;
  }
}

BENCHMARK(MelodraPlayToEnd)->Iterations(2)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(PlaybinPlayToEnd)->Iterations(2)->Unit(benchmark::kSecond)->UseRealTime();
BENCHMARK(OpenToFirstFrame)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(SeekPaused)->Iterations(30)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  return bench::RunWithFixture(argc, argv, player,
                               "melodra_bench: no clip (gst-launch-1.0 with x264enc, avenc_aac) or no libMelodra.so", [] {
    auto m = cpuPerPlay.find("melodra"), g = cpuPerPlay.find("playbin");
    if (m != cpuPerPlay.end() && g != cpuPerPlay.end())
      std::printf("10 s 640x480 H.264+AAC: Melodra %.2f CPU s, playbin %.2f CPU s, Melodra/playbin %.2f\n",
                  m->second, g->second, m->second / g->second);
  });
}
