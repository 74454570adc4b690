// Media for tests, made at run time with GStreamer's gst-launch-1.0 (no
// media files are kept in the tree). Each clip is made once per test
// program, in a temporary folder removed when the program ends.
#pragma once

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>

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
    std::string description = pipeline;
    for (size_t at; (at = description.find("{out}")) != std::string::npos;)
      description.replace(at, 5, "'" + path + "'");
    std::string command = "gst-launch-1.0 -q " + description + " >/dev/null 2>&1";
    bool ok = std::system(command.c_str()) == 0 && std::filesystem::exists(path);
    made_[name] = ok ? path : std::string();
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
    std::string pattern = (std::filesystem::temp_directory_path() / "tolvex-media-XXXXXX").string();
    folder_ = mkdtemp(pattern.data()) ? pattern : std::string("/tmp");
  }
  ~TestMedia() {
    std::error_code ec;
    if (folder_ != "/tmp") std::filesystem::remove_all(folder_, ec);
  }

  std::mutex mutex_;
  std::string folder_;
  std::map<std::string, std::string> made_;
};

}  // namespace tolvex_test
