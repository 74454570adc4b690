// The panel's sound output: one speaker behind the wave-output device.
//
// Streams of 16-bit PCM (any rate, one or two channels) are converted to the
// output's own format and mixed: each stream is scaled by its own gain, the
// sum by the device volume (the low half-word of the volume word, 0xFFFF =
// unity, linear), clipped to 16 bits and handed to the output chosen by
// ORLIK_AUDIO:
//   unset       the host's sound server or device when one really works
//               (GStreamer's pulsesink or alsasink), else the silent output;
//   none        a silent output that keeps real time;
//   *.wav       every mixed sample is appended to that WAV file (44100 Hz,
//               2 channels, 16-bit), its header valid after every write;
//               nothing is written while no stream has sound to play.
// ORLIK_AUDIO is read when a stream opens while no other stream is open.
//
// The mixer runs on a thread of its own in 10 ms steps on the steady clock,
// whatever the output: a stream's Write blocks while the stream holds more
// than kAheadLimitMs of sound not yet played, so even a producer that does
// not pace itself plays at real speed. A stream starts kStartDelayMs after
// its first sound arrives (a jitter margin for producers that deliver each
// buffer just in time) and again after it ran dry.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace orlik::board {

inline constexpr int kOutputRate = 44100;
inline constexpr int kOutputChannels = 2;
inline constexpr int kAheadLimitMs = 200;
inline constexpr int kStartDelayMs = 40;

// 16-bit signed little-endian PCM, channels interleaved.
struct PcmFormat {
  int rate = kOutputRate;  // frames a second
  int channels = kOutputChannels;
};
// 1000..192000 frames a second, one or two channels.
bool IsPlayable(const PcmFormat& format);

struct StreamState;

// One producer's stream into the output. Write and SetFormat come from the
// producer, one call at a time; the other methods from any thread. Write and
// Drain block, everything else returns at once.
class SoundStream {
 public:
  ~SoundStream();  // leaves the output; sound still queued is dropped
  SoundStream(const SoundStream&) = delete;
  SoundStream& operator=(const SoundStream&) = delete;

  // Queues whole frames (a trailing partial frame is dropped). Blocks while
  // the queue is full; false when a Flush or Abort dropped the sound.
  bool Write(const uint8_t* data, size_t bytes);
  // Blocks until everything queued has played (the output has taken it);
  // false when a Flush or Abort came first.
  bool Drain();
  // A paused stream keeps its queue and is not played.
  void SetPaused(bool paused);
  // Drops what is queued and releases a blocked Write or Drain.
  void Flush();
  // From now on Write and Drain return false at once.
  void Abort();
  // Linear gains of the left and right channel, 0..1.
  void SetGain(double left, double right);
  // Sound written from now on is in this format.
  bool SetFormat(const PcmFormat& format);

 private:
  friend class SoundOutput;
  explicit SoundStream(std::shared_ptr<StreamState> state) : state_(std::move(state)) {}
  std::shared_ptr<StreamState> state_;
};

class SoundOutput {
 public:
  static SoundOutput& Get();

  // A new stream, playing (not paused); null for a format IsPlayable refuses.
  std::unique_ptr<SoundStream> Open(const PcmFormat& format);

  // The wave-output volume word: kept whole, the low half-word applied.
  uint32_t Volume();
  void SetVolume(uint32_t word);

  struct Statistics {
    int playing = 0;          // streams not paused with sound queued
    uint64_t frames = 0;      // frames played since the last reset (silence not counted)
    int peak = 0;             // largest sample magnitude played in the last second
    std::string output;       // "host:<sink>", "silent" or "wav:<path>"
  };
  Statistics Stats();

  // Power-on state: unity volume, counters cleared.
  void Reset();

 private:
  friend class SoundStream;
  SoundOutput();
  struct Impl;
  Impl* impl_;
};

}  // namespace orlik::board
