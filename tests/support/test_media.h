// Media for tests, made at run time with GStreamer's gst-launch-1.0 (no
// media files are kept in the tree), and a reader for the WAV file the
// panel's sound output writes (ORLIK_AUDIO=/path/file.wav).
//
// Where the clips live:
// - a test program built with TOLVEX_TEST_MEDIA_DIR keeps them in that
//   folder, made once per test program: ctest runs each test in a process of
//   its own, in parallel, so the first process that asks for a clip makes it
//   under a file lock and the others find it made. The pipeline's text is
//   part of the file name, so a changed pipeline makes a new clip;
// - otherwise each process makes them in a temporary folder of its own,
//   removed when the program ends.
#pragma once

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace tolvex_test {

class TestMedia {
 public:
  static TestMedia& Get() {
    static TestMedia media;
    return media;
  }

  // The path of a clip made by a gst-launch-1.0 pipeline description in
  // which "{out}" stands for the output file. Empty when the pipeline
  // failed.
  std::string Clip(const std::string& name, const std::string& pipeline) {
    std::lock_guard lock(mutex_);
    auto it = made_.find(name);
    if (it != made_.end()) return it->second;
    std::string path = folder_ + "/" + name;
    int fileLock = -1;
    if (shared_) {
      char key[24];
      std::snprintf(key, sizeof key, "-%016zx", std::hash<std::string>{}(pipeline));
      auto dot = name.rfind('.');
      path = folder_ + "/" + name.substr(0, dot) + key + (dot == std::string::npos ? "" : name.substr(dot));
      fileLock = open((folder_ + "/.lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644);
      if (fileLock >= 0) flock(fileLock, LOCK_EX);
    }
    std::error_code ec;
    if (!std::filesystem::exists(path)) {
      // Made under another name and renamed when complete, so a clip that
      // exists is whole.
      std::string partial = path + ".part";
      std::string description = pipeline;
      for (size_t at; (at = description.find("{out}")) != std::string::npos;)
        description.replace(at, 5, "'" + partial + "'");
      std::string command = "gst-launch-1.0 -q " + description + " >/dev/null 2>&1";
      if (std::system(command.c_str()) == 0 && std::filesystem::file_size(partial, ec) > 0)
        std::filesystem::rename(partial, path, ec);
      else
        std::filesystem::remove(partial, ec);
    }
    if (fileLock >= 0) {
      flock(fileLock, LOCK_UN);
      close(fileLock);
    }
    made_[name] = std::filesystem::exists(path) ? path : std::string();
    return made_[name];
  }

  // Stereo 16-bit 44.1 kHz sine of the given length and amplitude (0..1).
  std::string Tone(const std::string& name, double seconds, double amplitude = 0.5, int frequency = 440) {
    long buffers = long(seconds * 10 + 0.5);
    return Clip(name, "audiotestsrc wave=sine freq=" + std::to_string(frequency) +
                          " volume=" + std::to_string(amplitude) + " samplesperbuffer=4410 num-buffers=" +
                          std::to_string(buffers) +
                          " ! audio/x-raw,format=S16LE,rate=44100,channels=2 ! wavenc ! filesink location={out}");
  }

  // An Ogg file with a Theora video stream (colour bars, or a solid colour
  // pattern such as "red") and a Vorbis audio stream.
  std::string VideoClip(const std::string& name, double seconds, int width, int height,
                        const std::string& pattern = "smpte") {
    long frames = long(seconds * 30 + 0.5);
    long buffers = long(seconds * 10 + 0.5);
    return Clip(name, "videotestsrc pattern=" + pattern + " num-buffers=" + std::to_string(frames) +
                          " ! video/x-raw,width=" + std::to_string(width) + ",height=" + std::to_string(height) +
                          ",framerate=30/1 ! theoraenc ! oggmux name=mux ! filesink location={out} "
                          "audiotestsrc samplesperbuffer=4410 num-buffers=" +
                          std::to_string(buffers) + " ! audio/x-raw,rate=44100,channels=2 ! vorbisenc ! mux.");
  }

  const std::string& folder() const { return folder_; }

 private:
  TestMedia() {
#ifdef TOLVEX_TEST_MEDIA_DIR
    folder_ = TOLVEX_TEST_MEDIA_DIR;
    shared_ = true;
    std::error_code ec;
    std::filesystem::create_directories(folder_, ec);
#else
    std::string pattern = (std::filesystem::temp_directory_path() / "tolvex-media-XXXXXX").string();
    folder_ = mkdtemp(pattern.data()) ? pattern : std::string("/tmp");
#endif
  }
  ~TestMedia() {
    std::error_code ec;
    if (!shared_ && folder_ != "/tmp") std::filesystem::remove_all(folder_, ec);
  }

  std::mutex mutex_;
  std::string folder_;
  bool shared_ = false;
  std::map<std::string, std::string> made_;
};

// 16-bit PCM samples of a WAV file, all channels interleaved.
struct Pcm {
  int rate = 0;
  int channels = 0;
  std::vector<int16_t> samples;

  // Largest absolute sample from sample index `first` to the end.
  int Peak(size_t first = 0) const {
    int peak = 0;
    for (size_t i = first; i < samples.size(); ++i) peak = std::max(peak, std::abs(int(samples[i])));
    return peak;
  }
  double Seconds() const { return rate && channels ? double(samples.size()) / rate / channels : 0; }
};

// Reads the chunks of a RIFF WAV file: "fmt " for the format, "data" for the
// samples. The data chunk is read to the end of the file: its size field may
// lag behind a writer that still appends.
inline Pcm ReadWav(const std::string& path) {
  Pcm pcm;
  std::ifstream in(path, std::ios::binary);
  std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  auto u32 = [&](size_t at) {
    uint32_t v;
    std::memcpy(&v, &bytes[at], 4);
    return v;
  };
  auto u16 = [&](size_t at) {
    uint16_t v;
    std::memcpy(&v, &bytes[at], 2);
    return v;
  };
  if (bytes.size() < 12 || std::memcmp(bytes.data(), "RIFF", 4) || std::memcmp(&bytes[8], "WAVE", 4))
    return pcm;
  size_t at = 12;
  int bits = 0;
  while (at + 8 <= bytes.size()) {
    uint32_t size = u32(at + 4);
    if (!std::memcmp(&bytes[at], "fmt ", 4) && at + 24 <= bytes.size()) {
      pcm.channels = u16(at + 10);
      pcm.rate = int(u32(at + 12));
      bits = u16(at + 22);
    } else if (!std::memcmp(&bytes[at], "data", 4)) {
      size_t begin = at + 8;
      size_t end = bytes.size();
      if (bits == 16) {
        pcm.samples.resize((end - begin) / 2);
        std::memcpy(pcm.samples.data(), &bytes[begin], pcm.samples.size() * 2);
      }
      return pcm;
    }
    at += 8 + size + (size & 1);
  }
  return pcm;
}

}  // namespace tolvex_test
