// The hardware video codec "MFC1:" at 720 x 480: frames per second through
// the device (frame copied into its input buffer, encode request, output read
// from its output buffer), against openh264 called directly on the same
// frames with the same settings, the reference. The difference is the
// device's own cost: the request, the copies and the board's record.
#include "h264_reference.h"

#include <orlik/mfc.h>
#include <orlik/sim.h>
#include <orlik/windows.h>

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstring>

namespace {

using namespace h264_reference;

void BM_DeviceEncode(benchmark::State& state) {
  orlik_sim_reset();
  HANDLE codec =
      CreateFileW(u"MFC1:", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0x80, nullptr);
  if (codec == INVALID_HANDLE_VALUE) return state.SkipWithError("MFC1: does not open");
  auto send = [&](DWORD code, auto& block) {
    return DeviceIoControl(codec, code, &block, sizeof block, nullptr, 0, nullptr, nullptr) &&
           block.status >= 0;
  };
  MFC_ENC_INIT_ARG init{0, kWidth, kHeight, kBitRateKbps, kGop, kFrameRate, 0, kIntraQP, kQpMax, 0.75f};
  MFC_GET_BUF_ADDR_ARG in{}, out{};
  if (!send(IOCTL_MFC_H264_ENC_INIT, init) || !send(IOCTL_MFC_GET_FRAM_BUF_ADDR, in) ||
      !send(IOCTL_MFC_GET_LINE_BUF_ADDR, out)) {
    CloseHandle(codec);
    return state.SkipWithError("MFC1: does not initialise");
  }
  auto* input = reinterpret_cast<uint8_t*>(uintptr_t(in.address));
  auto* output = reinterpret_cast<const uint8_t*>(uintptr_t(out.address));
  const auto& frames = Frames();
  size_t t = 0, bytes = 0;
  for (auto _ : state) {
    std::memcpy(input, frames[t++ % kFrames].data(), kFrameBytes);
    MFC_ENC_EXE_ARG exe{};
    if (!send(IOCTL_MFC_H264_ENC_EXE, exe)) {
      state.SkipWithError("encoding failed");
      break;
    }
    benchmark::DoNotOptimize(output[exe.encodedSize - 1]);
    bytes += size_t(exe.encodedSize);
  }
  CloseHandle(codec);
  state.counters["fps"] = benchmark::Counter(double(state.iterations()), benchmark::Counter::kIsRate);
  state.counters["bytes_per_frame"] = double(bytes) / double(std::max<int64_t>(state.iterations(), 1));
}
BENCHMARK(BM_DeviceEncode)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_Openh264Alone(benchmark::State& state) { Openh264Alone(state); }
BENCHMARK(BM_Openh264Alone)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
