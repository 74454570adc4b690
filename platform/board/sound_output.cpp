// The speaker's mixer: streams queue converted sound, a thread takes 10 ms
// of it from every playing stream at each step of the steady clock, sums,
// applies the device volume and hands the result to the output.
#include "board/sound_output.h"

#include <orlik/sim_sound.h>

#include "board/board.h"
#include "board/sound_sinks.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

namespace orlik::board {
namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kStepFrames = kOutputRate / 100;
constexpr size_t kQueueFrames = size_t(kOutputRate) * kAheadLimitMs / 1000;
constexpr auto kStartDelay = std::chrono::milliseconds(kStartDelayMs);
constexpr auto kPeakWindow = std::chrono::seconds(1);

bool EndsWithWav(const std::string& s) {
  if (s.size() < 4) return false;
  std::string tail = s.substr(s.size() - 4);
  for (auto& c : tail) c = char(std::tolower(static_cast<unsigned char>(c)));
  return tail == ".wav";
}

}  // namespace

bool IsPlayable(const PcmFormat& format) {
  return format.rate >= 1000 && format.rate <= 192000 && (format.channels == 1 || format.channels == 2);
}

// A stream as the mixer sees it; guarded by the output's mutex.
struct StreamState {
  std::vector<int16_t> queue = std::vector<int16_t>(kQueueFrames * kOutputChannels);
  size_t head = 0, count = 0;  // frames
  bool paused = false;
  bool started = false;   // being played (past its start delay)
  bool draining = false;  // no more sound is coming for now: play the rest at once
  bool aborted = false;
  uint64_t flushes = 0;
  uint64_t lastStep = 0;  // the last mixer step that took sound from it
  Clock::time_point firstSound;
  double gainLeft = 1.0, gainRight = 1.0;

  // The producer's side: conversion to the output format. Touched only by
  // Write and SetFormat, which one producer calls in turn.
  PcmFormat format;
  double phase = 0;  // position between prev and the next input frame, 0..1
  bool havePrev = false;
  int16_t prev[2] = {0, 0};
  std::vector<int16_t> converted;
};

struct SoundOutput::Impl {
  std::mutex mutex;
  std::condition_variable progress;  // queue space freed, queues emptied, flushes
  std::vector<std::shared_ptr<StreamState>> streams;
  bool running = false;
  uint64_t step = 0;     // mixer steps begun
  uint64_t written = 0;  // mixer steps whose sound the output has taken
  std::string output;
  std::deque<std::pair<Clock::time_point, int>> peaks;

  std::mutex openMutex;  // one Open at a time: it may wait for the last mixer to end
  bool mixerAlive = false;  // a mixer thread runs (until its output is closed)
  std::condition_variable mixerEnded;

  std::atomic<uint32_t> volume{0xFFFFFFFFu};
  std::atomic<uint64_t> frames{0};

  void MixerLoop(std::unique_ptr<SoundSink> sink);
  // Mixes `due` frames of real time from the playing streams into out;
  // returns how many frames carry sound.
  size_t Mix(size_t due, Clock::time_point now, std::vector<double>& sum, std::vector<int16_t>& out);
};

SoundOutput& SoundOutput::Get() {
  static auto* output = new SoundOutput;
  return *output;
}

namespace {
// Built when the platform loads, so its reset hook is registered outside any
// other lock.
[[maybe_unused]] const bool kSoundOutputBuilt = (SoundOutput::Get(), true);
}  // namespace

SoundOutput::SoundOutput() : impl_(new Impl) {
  Board::Get().OnReset([this] { Reset(); });
}

uint32_t SoundOutput::Volume() { return impl_->volume.load(); }
void SoundOutput::SetVolume(uint32_t word) { impl_->volume.store(word); }

void SoundOutput::Reset() {
  impl_->volume.store(0xFFFFFFFFu);
  impl_->frames.store(0);
  std::lock_guard lock(impl_->mutex);
  impl_->peaks.clear();
}

SoundOutput::Statistics SoundOutput::Stats() {
  Statistics s;
  s.frames = impl_->frames.load();
  std::lock_guard lock(impl_->mutex);
  for (auto& st : impl_->streams)
    if (!st->paused && st->count > 0) ++s.playing;
  auto since = Clock::now() - kPeakWindow;
  for (auto& [when, peak] : impl_->peaks)
    if (when >= since) s.peak = std::max(s.peak, peak);
  s.output = impl_->output;
  return s;
}

std::unique_ptr<SoundStream> SoundOutput::Open(const PcmFormat& format) {
  if (!IsPlayable(format)) return nullptr;
  auto state = std::make_shared<StreamState>();
  state->format = format;
  std::unique_ptr<SoundStream> stream(new SoundStream(state));

  std::lock_guard open(impl_->openMutex);
  {
    std::unique_lock lock(impl_->mutex);
    if (impl_->running && !impl_->streams.empty()) {
      impl_->streams.push_back(state);
      return stream;
    }
    // The output is chosen afresh for each run of the mixer: a mixer left
    // without streams ends at its next step and closes its output first.
    impl_->mixerEnded.wait(lock, [this] { return !impl_->mixerAlive; });
  }
  std::unique_ptr<SoundSink> sink;
  const char* choice = std::getenv("ORLIK_AUDIO");
  std::string wanted = choice ? choice : "";
  if (EndsWithWav(wanted)) sink = OpenWavSink(wanted);
  else if (wanted != "none") sink = OpenHostSink();
  if (!sink) sink = OpenSilentSink();
  {
    std::lock_guard lock(impl_->mutex);
    impl_->streams.push_back(state);
    impl_->running = true;
    impl_->mixerAlive = true;
    impl_->output = sink->Name();
  }
  std::thread([impl = impl_, s = std::move(sink)]() mutable { impl->MixerLoop(std::move(s)); }).detach();
  return stream;
}

void SoundOutput::Impl::MixerLoop(std::unique_ptr<SoundSink> sink) {
  const auto start = Clock::now();
  uint64_t accounted = 0;  // frames of real time mixed since start
  std::vector<double> sum;
  std::vector<int16_t> out;
  std::unique_lock lock(mutex);
  while (!streams.empty()) {
    auto next = start + std::chrono::duration_cast<Clock::duration>(
                            std::chrono::duration<double>(double(accounted + kStepFrames) / kOutputRate));
    lock.unlock();
    std::this_thread::sleep_until(next);
    lock.lock();
    auto now = Clock::now();
    auto elapsed = uint64_t(std::chrono::duration<double>(now - start).count() * kOutputRate);
    if (elapsed <= accounted) continue;
    size_t due = size_t(elapsed - accounted);
    accounted = elapsed;
    ++step;
    size_t produced = Mix(due, now, sum, out);
    if (produced > 0) {
      lock.unlock();
      sink->Write(out.data(), produced);
      lock.lock();
    }
    written = step;
    progress.notify_all();
  }
  running = false;
  lock.unlock();
  sink.reset();
  lock.lock();
  mixerAlive = false;
  mixerEnded.notify_all();
}

size_t SoundOutput::Impl::Mix(size_t due, Clock::time_point now, std::vector<double>& sum,
                              std::vector<int16_t>& out) {
  // A step can be longer than planned (a slow host): never more than a queue.
  due = std::min(due, kQueueFrames);
  sum.assign(due * kOutputChannels, 0.0);
  size_t produced = 0;
  bool consumed = false;
  for (auto& st : streams) {
    if (st->paused || st->count == 0) continue;
    if (!st->started) {
      if (!st->draining && st->count < kQueueFrames && now - st->firstSound < kStartDelay) continue;
      st->started = true;
    }
    size_t n = std::min(st->count, due);
    for (size_t i = 0; i < n; ++i) {
      size_t at = ((st->head + i) % kQueueFrames) * kOutputChannels;
      sum[2 * i] += st->queue[at] * st->gainLeft;
      sum[2 * i + 1] += st->queue[at + 1] * st->gainRight;
    }
    st->head = (st->head + n) % kQueueFrames;
    st->count -= n;
    st->lastStep = step;
    if (st->count == 0) st->started = false;  // ran dry: wait for a margin again
    produced = std::max(produced, n);
    consumed = true;
  }
  if (consumed) progress.notify_all();
  if (produced == 0) return 0;

  // One speaker: the low half-word of the volume word is its volume.
  double device = double(volume.load() & 0xFFFFu) / 65535.0;
  out.resize(produced * kOutputChannels);
  int peak = 0;
  for (size_t i = 0; i < out.size(); ++i) {
    long v = std::lround(sum[i] * device);
    v = std::clamp(v, -32768L, 32767L);
    out[i] = int16_t(v);
    peak = std::max(peak, int(std::abs(v)));
  }
  frames += produced;
  peaks.emplace_back(now, std::min(peak, 32767));
  while (!peaks.empty() && peaks.front().first < now - kPeakWindow) peaks.pop_front();
  return produced;
}

// --- SoundStream ---------------------------------------------------------------------------

SoundStream::~SoundStream() {
  auto& impl = *SoundOutput::Get().impl_;
  std::lock_guard lock(impl.mutex);
  state_->aborted = true;
  std::erase(impl.streams, state_);
  impl.progress.notify_all();
}

bool SoundStream::SetFormat(const PcmFormat& format) {
  if (!IsPlayable(format)) return false;
  state_->format = format;
  state_->phase = 0;
  state_->havePrev = false;
  return true;
}

bool SoundStream::Write(const uint8_t* data, size_t bytes) {
  StreamState& st = *state_;
  const int channels = st.format.channels;
  const size_t inFrames = bytes / (2 * size_t(channels));
  auto sample = [&](size_t frame, int channel) {
    const uint8_t* p = data + (frame * size_t(channels) + size_t(channel)) * 2;
    return int16_t(uint16_t(p[0] | (p[1] << 8)));
  };
  // To the output format: mono doubled, other rates interpolated linearly.
  std::vector<int16_t>& conv = st.converted;
  conv.clear();
  if (st.format.rate == kOutputRate) {
    conv.resize(inFrames * 2);
    for (size_t i = 0; i < inFrames; ++i) {
      conv[2 * i] = sample(i, 0);
      conv[2 * i + 1] = sample(i, channels - 1);
    }
  } else {
    const double step = double(st.format.rate) / kOutputRate;
    conv.reserve(size_t(double(inFrames) / step) + 4);
    for (size_t i = 0; i < inFrames; ++i) {
      int16_t cur[2] = {sample(i, 0), sample(i, channels - 1)};
      if (!st.havePrev) {
        std::memcpy(st.prev, cur, sizeof cur);
        st.havePrev = true;
      }
      for (; st.phase < 1.0; st.phase += step)
        for (int c = 0; c < 2; ++c)
          conv.push_back(int16_t(std::lround(st.prev[c] + (cur[c] - st.prev[c]) * st.phase)));
      st.phase -= 1.0;
      std::memcpy(st.prev, cur, sizeof cur);
    }
  }

  auto& impl = *SoundOutput::Get().impl_;
  std::unique_lock lock(impl.mutex);
  const uint64_t flushes = st.flushes;
  st.draining = false;
  size_t total = conv.size() / 2, done = 0;
  while (done < total) {
    if (st.aborted || st.flushes != flushes) return false;
    size_t space = kQueueFrames - st.count;
    if (space == 0) {
      impl.progress.wait(lock);
      continue;
    }
    if (st.count == 0 && !st.started) st.firstSound = Clock::now();
    size_t n = std::min(space, total - done);
    for (size_t i = 0; i < n; ++i) {
      size_t at = ((st.head + st.count + i) % kQueueFrames) * kOutputChannels;
      st.queue[at] = conv[2 * (done + i)];
      st.queue[at + 1] = conv[2 * (done + i) + 1];
    }
    st.count += n;
    done += n;
  }
  return true;
}

bool SoundStream::Drain() {
  auto& impl = *SoundOutput::Get().impl_;
  std::unique_lock lock(impl.mutex);
  StreamState& st = *state_;
  const uint64_t flushes = st.flushes;
  st.draining = true;
  // Played: taken from the queue by the mixer and handed to the output.
  auto played = [&] { return st.count == 0 && impl.written >= st.lastStep; };
  while (!played() && !st.aborted && st.flushes == flushes) impl.progress.wait(lock);
  st.draining = false;
  return played() && !st.aborted && st.flushes == flushes;
}

void SoundStream::SetPaused(bool paused) {
  auto& impl = *SoundOutput::Get().impl_;
  std::lock_guard lock(impl.mutex);
  state_->paused = paused;
}

void SoundStream::Flush() {
  auto& impl = *SoundOutput::Get().impl_;
  std::lock_guard lock(impl.mutex);
  state_->count = 0;
  state_->started = false;
  ++state_->flushes;
  impl.progress.notify_all();
}

void SoundStream::Abort() {
  auto& impl = *SoundOutput::Get().impl_;
  std::lock_guard lock(impl.mutex);
  state_->aborted = true;
  state_->count = 0;
  impl.progress.notify_all();
}

void SoundStream::SetGain(double left, double right) {
  auto& impl = *SoundOutput::Get().impl_;
  std::lock_guard lock(impl.mutex);
  state_->gainLeft = std::clamp(left, 0.0, 1.0);
  state_->gainRight = std::clamp(right, 0.0, 1.0);
}

}  // namespace orlik::board

// --- the board's view ------------------------------------------------------------------------

using orlik::board::SoundOutput;

extern "C" {

uint32_t orlik_sim_sound_volume(void) { return SoundOutput::Get().Volume(); }

int orlik_sim_sound_playing(void) { return SoundOutput::Get().Stats().playing; }

uint64_t orlik_sim_sound_frames(void) { return SoundOutput::Get().Stats().frames; }

int orlik_sim_sound_peak(void) { return SoundOutput::Get().Stats().peak; }

int orlik_sim_sound_output(char* name, int size) {
  if (!name || size <= 0) return 0;
  std::string output = SoundOutput::Get().Stats().output;
  size_t n = std::min(output.size(), size_t(size - 1));
  std::memcpy(name, output.data(), n);
  name[n] = '\0';
  return output.empty() ? 0 : 1;
}

}  // extern "C"
