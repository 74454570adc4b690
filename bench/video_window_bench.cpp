// Drawing video frames through the video renderer onto the panel's screen:
// the cost of one 640x480 frame, from the renderer's Receive to the presented
// screen, per pixel layout and at the video's own size or scaled. A plain
// copy of the frame's bytes is the reference.
#include <orlik/sim.h>
#include <orlik/windows.h>

#include "popup_window.h"
#include "push_source.h"

#include <benchmark/benchmark.h>

#include <cstring>
#include <vector>

namespace {

using namespace renderer_test;

constexpr int kW = 640, kH = 480;

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  return DefWindowProcW(window, message, wParam, lParam);
}

void DrawFrame(benchmark::State& state, const GUID& subtype, int bitCount, bool bottomUp, int width,
               int height) {
  orlik_sim_reset();
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  HWND owner = tolvex_test::PopupWindow(u"BenchOwner", OwnerProc, 0, 0, 800, 480);
  MediaType type = VideoType(subtype, kW, bottomUp ? kH : -kH, bitCount);
  size_t bytes = bitCount >= 24 ? size_t(kW) * kH * size_t(bitCount / 8) : size_t(kW) * kH * 3 / 2;
  std::vector<uint8_t> frame(bytes);
  for (size_t i = 0; i < bytes; ++i) frame[i] = uint8_t(i * 7 + i / 4096);
  {
    auto renderer = Create<IBaseFilter>(CLSID_VideoRenderer, IID_IBaseFilter);
    auto* source = new PushSource(*type.get(), LONG(bytes));
    auto window = renderer.As<IVideoWindow>(IID_IVideoWindow);
    if (!renderer || source->ConnectTo(renderer.get()) != S_OK) state.SkipWithError("no connection");
    window->put_Owner(reinterpret_cast<OAHWND>(owner));
    window->SetWindowPosition(0, 0, width, height);
    window->put_Visible(OATRUE);
    renderer->Run(0);
    source->Run(0);
    for (auto _ : state)
      if (source->Push(frame.data(), frame.size()) != S_OK) state.SkipWithError("refused");
    source->StopAndDisconnect(renderer.get());
    source->Release();
  }
  DestroyWindow(owner);
  CoUninitialize();
  state.SetItemsProcessed(state.iterations());
}

void BM_CopyFrameBytes(benchmark::State& state) {
  std::vector<uint8_t> from(size_t(kW) * kH * 4, 1), to(from.size());
  for (auto _ : state) {
    std::memcpy(to.data(), from.data(), from.size());
    benchmark::DoNotOptimize(to.data());
  }
}
BENCHMARK(BM_CopyFrameBytes);

BENCHMARK_CAPTURE(DrawFrame, rgb32_same_size, MEDIASUBTYPE_RGB32, 32, false, kW, kH);
BENCHMARK_CAPTURE(DrawFrame, rgb32_bottom_up_same_size, MEDIASUBTYPE_RGB32, 32, true, kW, kH);
BENCHMARK_CAPTURE(DrawFrame, rgb32_scaled_to_800x480, MEDIASUBTYPE_RGB32, 32, false, 800, 480);
BENCHMARK_CAPTURE(DrawFrame, rgb32_scaled_to_320x240, MEDIASUBTYPE_RGB32, 32, false, 320, 240);
BENCHMARK_CAPTURE(DrawFrame, yv12_same_size, MEDIASUBTYPE_YV12, 12, false, kW, kH);
BENCHMARK_CAPTURE(DrawFrame, yv12_scaled_to_800x480, MEDIASUBTYPE_YV12, 12, false, 800, 480);
BENCHMARK_CAPTURE(DrawFrame, rgb24_same_size, MEDIASUBTYPE_RGB24, 24, false, kW, kH);

}  // namespace

BENCHMARK_MAIN();
