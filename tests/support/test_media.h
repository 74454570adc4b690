// Media for the playback tests, made with GStreamer at run time (no media
// file is kept in the repository), and a reader for the WAV file the panel's
// sound output writes (ORLIK_AUDIO=/path/file.wav).
//
// Each clip is made once per test program: the first test process that asks
// for it runs gst-launch-1.0 into the program's media folder under a file
// lock; the others (ctest runs each test in a process of its own, in
// parallel) wait on the lock and find it made.
#pragma once

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

namespace tolvex_test {

// The clip named `name` made by `pipeline`, a gst-launch-1.0 description
// whose last element is "filesink location=@OUT@". The pipeline's text is
// part of the file name, so a changed pipeline makes a new clip. Empty on
// failure.
inline std::string MakeMedia(const std::string& folder, const std::string& name,
                             const std::string& pipeline) {
  namespace fs = std::filesystem;
  std::error_code ec;
  fs::create_directories(folder, ec);
  char key[32];
  std::snprintf(key, sizeof key, "%016zx", std::hash<std::string>{}(pipeline));
  auto dot = name.rfind('.');
  std::string path = folder + "/" + name.substr(0, dot) + "-" + key + name.substr(dot);
  int lock = open((folder + "/.lock").c_str(), O_CREAT | O_RDWR | O_CLOEXEC, 0644);
  if (lock < 0) return {};
  flock(lock, LOCK_EX);
  if (!fs::exists(path)) {
    std::string partial = path + ".part";
    std::string line = pipeline;
    line.replace(line.find("@OUT@"), 5, "'" + partial + "'");
    std::string command = "gst-launch-1.0 -q " + line + " >/dev/null 2>&1";
    if (std::system(command.c_str()) == 0 && fs::file_size(partial, ec) > 0)
      fs::rename(partial, path, ec);
    else
      fs::remove(partial, ec);
  }
  flock(lock, LOCK_UN);
  close(lock);
  return fs::exists(path) ? path : std::string();
}

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
// samples. A data chunk whose size field is not yet final (the writer still
// appends) is read to the end of the file.
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
      size_t end = std::min(bytes.size(), begin + size);
      if (size == 0 || size == 0xFFFFFFFFu) end = bytes.size();
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
