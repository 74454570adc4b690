// The camera library's per-frame work at 720 x 480, on the capture filter's
// streaming thread:
// - ConvertToRgb24 (a memory capture's YV12 to blue-green-red with the
//   panel's formula) against libyuv's I420ToRGB24 on the same frame;
// - the grabber's per-sample procedure passing a frame on, and serving a
//   memory capture;
// - the whole recording path (grabber, plane reordering, "MFC1:", file)
//   against openh264 alone on the same frames with the same settings.
#include "color_convert.h"
#include "h264_reference.h"
#include "sample_grabber.h"

#include <orlik/sim.h>
#include <orlik/windows.h>
#include <orlik/wstdio.h>

#include <benchmark/benchmark.h>
#include <libyuv/convert_argb.h>
#include <libyuv/convert_from.h>

#include <stdlib.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using namespace h264_reference;
using orlik::strmbase::ComPtr;

// The frames as the camera delivers them: YV12 (Y, V, U).
const std::vector<std::vector<uint8_t>>& CameraFrames() {
  static const auto frames = [] {
    auto all = Frames();
    size_t luma = size_t(kWidth) * kHeight, chroma = luma / 4;
    for (auto& f : all) std::swap_ranges(f.begin() + long(luma), f.begin() + long(luma + chroma),
                                         f.begin() + long(luma + chroma));
    return all;
  }();
  return frames;
}

void BM_ConvertToRgb24(benchmark::State& state) {
  const auto& frame = CameraFrames()[0];
  std::vector<uint8_t> rgb(size_t(kWidth) * kHeight * 3);
  for (auto _ : state) {
    vistrel::ConvertToRgb24(frame.data(), rgb.data(), kWidth, kHeight, state.range(0) != 0);
    benchmark::DoNotOptimize(rgb.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(rgb.size()));
}
BENCHMARK(BM_ConvertToRgb24)->ArgName("bottom_up")->Arg(0)->Arg(1);

// libyuv's RGB24 is blue, green, red in memory, as the capture's rows are;
// a negative height writes the rows bottom-up.
void BM_LibyuvI420ToRGB24(benchmark::State& state) {
  const auto& frame = CameraFrames()[0];
  std::vector<uint8_t> rgb(size_t(kWidth) * kHeight * 3);
  const uint8_t* y = frame.data();
  const uint8_t* v = y + kWidth * kHeight;
  const uint8_t* u = v + kWidth * kHeight / 4;
  int height = state.range(0) != 0 ? -kHeight : kHeight;
  for (auto _ : state) {
    libyuv::I420ToRGB24(y, kWidth, u, kWidth / 2, v, kWidth / 2, rgb.data(), kWidth * 3, kWidth, height);
    benchmark::DoNotOptimize(rgb.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(rgb.size()));
}
BENCHMARK(BM_LibyuvI420ToRGB24)->ArgName("bottom_up")->Arg(0)->Arg(1);

// A grabber with a sample per test frame, on a fresh panel with its own
// device root.
class Grabber {
 public:
  Grabber() {
    std::string pattern = (std::filesystem::temp_directory_path() / "vistrel-bench-XXXXXX").string();
    root_ = mkdtemp(pattern.data());
    std::filesystem::create_directories(root_ + "/SD Card");
    setenv("ORLIK_ROOT", root_.c_str(), 1);
    orlik_sim_reset();
    HRESULT status = E_FAIL;
    grabber_ = new vistrel::SampleGrabber(&status);
    if (FAILED(status)) return;
    *allocator_.put() = orlik::strmbase::MemAllocator::Create();
    ALLOCATOR_PROPERTIES asked{kFrames, LONG(kFrameBytes), 1, 0}, actual{};
    if (FAILED(allocator_->SetProperties(&asked, &actual)) || FAILED(allocator_->Commit())) return;
    for (const auto& frame : CameraFrames()) {
      IMediaSample* sample = nullptr;
      if (FAILED(allocator_->GetBuffer(&sample, nullptr, nullptr, 0))) return;
      BYTE* data = nullptr;
      sample->GetPointer(&data);
      std::memcpy(data, frame.data(), kFrameBytes);
      sample->SetActualDataLength(LONG(kFrameBytes));
      samples_.push_back(sample);
    }
    ok_ = true;
  }
  ~Grabber() {
    if (grabber_->outputFile || grabber_->encoder) grabber_->CloseRecording();
    for (IMediaSample* s : samples_) s->Release();
    if (allocator_) allocator_->Decommit();
    grabber_->Release();
    std::filesystem::remove_all(root_);
  }
  Grabber(const Grabber&) = delete;
  Grabber& operator=(const Grabber&) = delete;

  bool ok() const { return ok_; }
  vistrel::SampleGrabber* operator->() { return grabber_; }
  IMediaSample* Sample(size_t t) { return samples_[t % samples_.size()]; }

  // What InitEncoding sets up, with no pacing: every frame is encoded as
  // soon as it comes.
  bool StartRecording() {
    vistrel::SampleGrabber* g = grabber_;
    g->PrepareRecording(kWidth, kHeight, kFrameRate, kBitRateKbps);
    g->gopNum = kGop;
    g->intraQP = kIntraQP;
    g->qpMax = kQpMax;
    g->minFrameInterval = 0;
    g->outputFile = _wfopen(u"\\SD Card\\bench.264", u"wb");
    if (!g->outputFile || !g->StartEncoder()) return false;
    g->recording = 1;
    return true;
  }
  uintmax_t FileBytes() const {
    std::error_code ec;
    return std::filesystem::file_size(root_ + "/SD Card/bench.264", ec);
  }

 private:
  std::string root_;
  vistrel::SampleGrabber* grabber_ = nullptr;
  ComPtr<IMemAllocator> allocator_;
  std::vector<IMediaSample*> samples_;
  bool ok_ = false;
};

// The procedure with nothing to do but pass the frame towards the sink.
void BM_GrabberPassesAFrame(benchmark::State& state) {
  Grabber g;
  if (!g.ok()) return state.SkipWithError("no grabber");
  size_t t = 0;
  for (auto _ : state) benchmark::DoNotOptimize(g->Transform(g.Sample(t++)));
}
BENCHMARK(BM_GrabberPassesAFrame);

// A memory capture asked for before every frame: the frame is copied out
// and the waiting caller woken.
void BM_GrabberServesAMemoryCapture(benchmark::State& state) {
  Grabber g;
  if (!g.ok()) return state.SkipWithError("no grabber");
  std::vector<uint8_t> target(kFrameBytes);
  g->captureTarget = target.data();
  g->captureCapacity = uint32_t(target.size());
  size_t t = 0;
  for (auto _ : state) {
    g->captureRequested = 1;
    g->Transform(g.Sample(t++));
    benchmark::DoNotOptimize(target.data());
  }
  g->captureTarget = nullptr;
}
BENCHMARK(BM_GrabberServesAMemoryCapture);

// Every frame through the recording path into the file on the card.
void BM_RecordingPath(benchmark::State& state) {
  Grabber g;
  if (!g.ok() || !g.StartRecording()) return state.SkipWithError("the recording does not start");
  size_t t = 0;
  for (auto _ : state) g->Transform(g.Sample(t++));
  g->CloseRecording();
  double frames = double(state.iterations());
  state.counters["fps"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
  state.counters["bytes_per_frame"] = double(g.FileBytes()) / std::max(frames, 1.0);
  // Written per second of recording at the camera's 30 frames per second.
  state.counters["bytes_per_s_at_30fps"] = double(g.FileBytes()) / std::max(frames, 1.0) * kFrameRate;
}
BENCHMARK(BM_RecordingPath)->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_Openh264Alone(benchmark::State& state) { Openh264Alone(state); }
BENCHMARK(BM_Openh264Alone)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
