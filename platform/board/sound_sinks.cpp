#include "board/sound_sinks.h"

#include "board/sound_output.h"
#include "gstreamer/gstreamer.h"

#include <gst/app/gstappsrc.h>
#include <gst/gst.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <bit>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <set>

namespace orlik::board {
namespace {

constexpr uint32_t kBytesPerFrame = 2 * kOutputChannels;

class SilentSink final : public SoundSink {
 public:
  void Write(const int16_t*, size_t) override {}
  std::string Name() const override { return "silent"; }
};

// --- WAV file ------------------------------------------------------------------------------

constexpr off_t kWavHeaderBytes = 44;
// The RIFF size field is 32 bits: the file stops growing before it overflows.
constexpr uint64_t kWavMaxData = 0xFFFFFFFFull - 36 - kBytesPerFrame;

void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
void Put16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

bool WriteAll(int fd, const void* data, size_t bytes, off_t at) {
  auto* p = static_cast<const uint8_t*>(data);
  while (bytes > 0) {
    ssize_t n = pwrite(fd, p, bytes, at);
    if (n <= 0) return false;
    p += n;
    bytes -= size_t(n);
    at += n;
  }
  return true;
}

class WavSink final : public SoundSink {
 public:
  WavSink(int fd, std::string path, uint64_t dataBytes) : fd_(fd), path_(std::move(path)), data_(dataBytes) {}
  ~WavSink() override { close(fd_); }

  // A fresh header (sizes for dataBytes of sound).
  static bool WriteHeader(int fd, uint64_t dataBytes) {
    uint8_t h[kWavHeaderBytes];
    std::memcpy(h, "RIFF", 4);
    Put32(h + 4, uint32_t(36 + dataBytes));
    std::memcpy(h + 8, "WAVEfmt ", 8);
    Put32(h + 16, 16);
    Put16(h + 20, 1);  // PCM
    Put16(h + 22, kOutputChannels);
    Put32(h + 24, kOutputRate);
    Put32(h + 28, kOutputRate * kBytesPerFrame);
    Put16(h + 32, kBytesPerFrame);
    Put16(h + 34, 16);
    std::memcpy(h + 36, "data", 4);
    Put32(h + 40, uint32_t(dataBytes));
    return WriteAll(fd, h, sizeof h, 0);
  }

  void Write(const int16_t* frames, size_t count) override {
    uint64_t bytes = uint64_t(count) * kBytesPerFrame;
    if (data_ + bytes > kWavMaxData) bytes = (kWavMaxData - data_) / kBytesPerFrame * kBytesPerFrame;
    if (bytes == 0 || failed_) return;
    // Samples are little-endian in the file, as they are in memory here.
    static_assert(std::endian::native == std::endian::little);
    if (!WriteAll(fd_, frames, size_t(bytes), kWavHeaderBytes + off_t(data_))) {
      if (!failed_) std::fprintf(stderr, "[orlik sound] cannot write %s\n", path_.c_str());
      failed_ = true;
      return;
    }
    data_ += bytes;
    // The sizes follow every write, so a reader always sees a whole file.
    uint8_t size[4];
    Put32(size, uint32_t(36 + data_));
    WriteAll(fd_, size, 4, 4);
    Put32(size, uint32_t(data_));
    WriteAll(fd_, size, 4, 40);
  }

  std::string Name() const override { return "wav:" + path_; }

 private:
  int fd_;
  std::string path_;
  uint64_t data_;
  bool failed_ = false;
};

// --- host output through GStreamer ---------------------------------------------------------

class HostSink final : public SoundSink {
 public:
  HostSink(GstElement* pipeline, GstElement* source, std::string sink)
      : pipeline_(pipeline), source_(source), sink_(std::move(sink)) {}
  ~HostSink() override {
    gst_app_src_end_of_stream(GST_APP_SRC(source_));
    gst_element_set_state(pipeline_, GST_STATE_NULL);
    gst_object_unref(source_);
    gst_object_unref(pipeline_);
  }

  void Write(const int16_t* frames, size_t count) override {
    size_t bytes = count * kBytesPerFrame;
    GstBuffer* buffer = gst_buffer_new_allocate(nullptr, bytes, nullptr);
    gst_buffer_fill(buffer, 0, frames, bytes);
    GST_BUFFER_PTS(buffer) = gst_util_uint64_scale(written_, GST_SECOND, kOutputRate);
    GST_BUFFER_DURATION(buffer) = gst_util_uint64_scale(count, GST_SECOND, kOutputRate);
    written_ += count;
    gst_app_src_push_buffer(GST_APP_SRC(source_), buffer);  // takes the buffer
  }

  std::string Name() const override { return "host:" + sink_; }

 private:
  GstElement* pipeline_;
  GstElement* source_;
  std::string sink_;
  uint64_t written_ = 0;
};

// A sink element that really reaches a sound server or device: opening it
// (the step to READY) connects to the server or opens the device.
GstElement* WorkingHostSink(const char** name) {
  for (const char* candidate : {"pulsesink", "alsasink"}) {
    GstElement* sink = gst_element_factory_make(candidate, nullptr);
    if (!sink) continue;
    gst_object_ref_sink(sink);
    bool works = gst_element_set_state(sink, GST_STATE_READY) != GST_STATE_CHANGE_FAILURE;
    gst_element_set_state(sink, GST_STATE_NULL);
    if (works) {
      *name = candidate;
      return sink;
    }
    gst_object_unref(sink);
  }
  return nullptr;
}

std::mutex& WavPathsMutex() {
  static std::mutex m;
  return m;
}
// WAV files this process has started: later opens append to them.
std::set<std::string>& WavPathsStarted() {
  static auto* paths = new std::set<std::string>;
  return *paths;
}

}  // namespace

std::unique_ptr<SoundSink> OpenSilentSink() { return std::make_unique<SilentSink>(); }

std::unique_ptr<SoundSink> OpenWavSink(const std::string& path) {
  std::lock_guard lock(WavPathsMutex());
  bool started = WavPathsStarted().count(path) > 0;
  int fd = open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | (started ? 0 : O_TRUNC), 0644);
  if (fd < 0) {
    std::fprintf(stderr, "[orlik sound] cannot open %s: %s\n", path.c_str(), std::strerror(errno));
    return nullptr;
  }
  uint64_t data = 0;
  struct stat st {};
  if (started && fstat(fd, &st) == 0 && st.st_size >= kWavHeaderBytes)
    data = uint64_t(st.st_size - kWavHeaderBytes) / kBytesPerFrame * kBytesPerFrame;
  if (!WavSink::WriteHeader(fd, data)) {
    close(fd);
    return nullptr;
  }
  WavPathsStarted().insert(path);
  return std::make_unique<WavSink>(fd, path, data);
}

std::unique_ptr<SoundSink> OpenHostSink() {
  // Probed once: a host without a sound output does not grow one later.
  static std::once_flag probed;
  static bool available = false;
  std::call_once(probed, [] {
    if (!gst::Init()) return;
    const char* name = nullptr;
    if (GstElement* sink = WorkingHostSink(&name)) {
      available = true;
      gst_object_unref(sink);
    }
  });
  if (!available) return nullptr;

  const char* name = nullptr;
  GstElement* sink = WorkingHostSink(&name);
  if (!sink) return nullptr;
  GstElement* pipeline = gst_pipeline_new("orlik-speaker");
  GstElement* source = gst_element_factory_make("appsrc", nullptr);
  GstElement* convert = gst_element_factory_make("audioconvert", nullptr);
  GstElement* resample = gst_element_factory_make("audioresample", nullptr);
  if (!pipeline || !source || !convert || !resample) {
    for (GstElement* e : {pipeline, source, convert, resample})
      if (e) gst_object_unref(gst_object_ref_sink(e));
    gst_object_unref(sink);
    return nullptr;
  }
  GstCaps* caps = gst_caps_new_simple("audio/x-raw", "format", G_TYPE_STRING, "S16LE", "rate", G_TYPE_INT,
                                      kOutputRate, "channels", G_TYPE_INT, kOutputChannels, "layout",
                                      G_TYPE_STRING, "interleaved", nullptr);
  // The mixer paces itself; the device takes what it is given (no clock
  // sync), and a full queue holds the mixer back at most 100 ms.
  g_object_set(source, "caps", caps, "format", GST_FORMAT_TIME, "block", TRUE, "max-bytes",
               guint64(kOutputRate * kBytesPerFrame / 10), nullptr);
  gst_caps_unref(caps);
  g_object_set(sink, "sync", FALSE, nullptr);
  gst_bin_add_many(GST_BIN(pipeline), source, convert, resample, sink, nullptr);
  gst_object_unref(sink);  // the bin holds it now
  gst_object_ref(source);
  if (!gst_element_link_many(source, convert, resample, sink, nullptr) ||
      gst_element_set_state(pipeline, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
    gst_element_set_state(pipeline, GST_STATE_NULL);
    gst_object_unref(source);
    gst_object_unref(pipeline);
    return nullptr;
  }
  return std::make_unique<HostSink>(pipeline, source, name);
}

}  // namespace orlik::board
