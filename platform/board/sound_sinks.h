// Where the mixed sound of the panel's speaker goes: the host's sound server
// or device, a WAV file, or nowhere (the mixer keeps real time itself).
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace orlik::board {

class SoundSink {
 public:
  virtual ~SoundSink() = default;
  // Interleaved stereo frames of the output format (44100 Hz, 16-bit).
  virtual void Write(const int16_t* frames, size_t count) = 0;
  virtual std::string Name() const = 0;
};

std::unique_ptr<SoundSink> OpenSilentSink();
// Null when the file cannot be written. The first open in a process starts
// the file afresh; later opens of the same path append to it.
std::unique_ptr<SoundSink> OpenWavSink(const std::string& path);
// Null when the host has no sound output that accepts a stream.
std::unique_ptr<SoundSink> OpenHostSink();

}  // namespace orlik::board
