#include "board/camera/sources.h"

#include "board/board.h"
#include "gstreamer/gstreamer.h"

#include <gst/app/gstappsink.h>
#include <gst/video/video.h>
#include <libyuv/planar_functions.h>
#include <sys/stat.h>

#include <atomic>
#include <cstdio>
#include <mutex>

namespace orlik::board {

namespace {

// One frame of the board's clock: 1001/30000 s.
constexpr GstClockTime kFramePeriod = GST_SECOND * 1001 / 30000;
// How long a pipeline may take to start, and to hand over one frame.
constexpr GstClockTime kStartTimeout = 10 * GST_SECOND;
constexpr GstClockTime kPullTimeout = 2 * GST_SECOND;
// A file source that fell behind the clock decodes at most this many frames
// for one board frame, then goes on from where it is.
constexpr int kMaxCatchUp = 8;

// Test patterns of the four inputs' scenes, each moving on its own.
constexpr const char* kScenePatterns[4] = {
    "pattern=smpte horizontal-speed=4",
    "pattern=ball",
    "pattern=colors horizontal-speed=-3",
    "pattern=bar horizontal-speed=6 foreground-color=0xFFE0C020",
};

void Log(const std::string& line) { Board::Get().Log("camera: " + line); }

// Copies an I420 sample into a packed picture.
bool CopySample(GstSample* sample, Picture& out) {
  GstCaps* caps = gst_sample_get_caps(sample);
  GstBuffer* buffer = gst_sample_get_buffer(sample);
  GstVideoInfo info;
  if (!caps || !buffer || !gst_video_info_from_caps(&info, caps)) return false;
  if (GST_VIDEO_INFO_FORMAT(&info) != GST_VIDEO_FORMAT_I420) return false;
  GstVideoFrame frame;
  if (!gst_video_frame_map(&frame, &info, buffer, GST_MAP_READ)) return false;
  int w = GST_VIDEO_FRAME_WIDTH(&frame);
  int h = GST_VIDEO_FRAME_HEIGHT(&frame);
  out.Resize(w, h);
  libyuv::I420Copy(static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 0)),
                   GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 0),
                   static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 1)),
                   GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 1),
                   static_cast<const uint8_t*>(GST_VIDEO_FRAME_PLANE_DATA(&frame, 2)),
                   GST_VIDEO_FRAME_PLANE_STRIDE(&frame, 2), out.y(), w, out.u(), out.chromaWidth(), out.v(),
                   out.chromaWidth(), w, h);
  gst_video_frame_unmap(&frame);
  return true;
}

// A pipeline ending in an application sink named "sink", pulled on demand.
class PipelineSource : public FrameSource {
 public:
  ~PipelineSource() override {
    if (pipeline_) {
      gst_element_set_state(pipeline_, GST_STATE_NULL);
      { std::lock_guard lock(messageMutex_); }  // after the last error report
      gst_object_unref(pipeline_);
    }
    if (sink_) gst_object_unref(sink_);
  }

 protected:
  // Takes the pipeline and finds its sink in `bin`; prerolls it and sets it
  // playing. False (logged) when it does not start.
  bool Start(GstElement* pipeline, GstElement* bin, const std::string& what) {
    pipeline_ = pipeline;
    sink_ = bin ? gst_bin_get_by_name(GST_BIN(bin), "sink") : nullptr;
    if (!sink_) {
      Log(what + ": no sink");
      return false;
    }
    // Nobody reads the bus: errors only mark the source failed, every message
    // is dropped so none piles up.
    GstBus* bus = gst_element_get_bus(pipeline_);
    gst_bus_set_sync_handler(bus, OnMessage, this, nullptr);
    gst_object_unref(bus);

    GstStateChangeReturn r = gst_element_set_state(pipeline_, GST_STATE_PAUSED);
    if (r == GST_STATE_CHANGE_NO_PREROLL) {
      live_ = true;
    } else {
      GstState state = GST_STATE_NULL;
      if (r != GST_STATE_CHANGE_FAILURE) r = gst_element_get_state(pipeline_, &state, nullptr, kStartTimeout);
      if (r != GST_STATE_CHANGE_SUCCESS || state != GST_STATE_PAUSED || failed_) {
        Log(what + ": cannot be opened");
        return false;
      }
    }
    if (!Ready()) {
      Log(what + ": no video");
      return false;
    }
    if (gst_element_set_state(pipeline_, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
      Log(what + ": does not play");
      return false;
    }
    return true;
  }

  // After the preroll: whether there is something to show.
  virtual bool Ready() { return true; }

  GstSample* Pull(GstClockTime timeout) {
    return gst_app_sink_try_pull_sample(GST_APP_SINK(sink_), timeout);
  }
  bool AtEnd() { return gst_app_sink_is_eos(GST_APP_SINK(sink_)); }

  GstElement* pipeline_ = nullptr;
  GstElement* sink_ = nullptr;
  bool live_ = false;
  std::atomic<bool> failed_{false};

  Picture current_;
  bool have_ = false;
  uint64_t lastFrame_ = 0;

 private:
  std::mutex messageMutex_;
  static GstBusSyncReply OnMessage(GstBus*, GstMessage* message, gpointer data) {
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
      auto* self = static_cast<PipelineSource*>(data);
      std::lock_guard lock(self->messageMutex_);
      if (!self->failed_.exchange(true)) {
        GError* error = nullptr;
        gst_message_parse_error(message, &error, nullptr);
        Log(std::string("pipeline error: ") + (error ? error->message : "unknown"));
        if (error) g_error_free(error);
      }
    }
    return GST_BUS_DROP;
  }
};

// --- the built-in scene ------------------------------------------------------

class Scene final : public PipelineSource {
 public:
  explicit Scene(int input) : input_(input) {}
  ~Scene() override {
    // The pipeline stops first: the label's probe runs on its thread. The
    // lock orders the probe's last run before the end of this object.
    if (pipeline_) gst_element_set_state(pipeline_, GST_STATE_NULL);
    { std::lock_guard lock(probeMutex_); }
    if (label_) gst_object_unref(label_);
  }

  bool Open() {
    char description[512];
    std::snprintf(description, sizeof description,
                  "videotestsrc %s ! video/x-raw,format=I420,width=%d,height=%d,framerate=30000/1001 ! "
                  "textoverlay name=label font-desc=\"Sans Bold 20\" valignment=top halignment=left "
                  "shaded-background=true ! appsink name=sink max-buffers=1 sync=false",
                  kScenePatterns[input_ - 1], kSceneWidth, kSceneHeight);
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(description, &error);
    if (error) {
      Log(std::string("scene: ") + error->message);
      g_error_free(error);
      if (pipeline) gst_object_unref(pipeline);
      return false;
    }
    label_ = gst_bin_get_by_name(GST_BIN(pipeline), "label");
    if (label_) {
      // The label is written just before the overlay draws each frame.
      GstPad* pad = gst_element_get_static_pad(label_, "video_sink");
      gst_pad_add_probe(pad, GST_PAD_PROBE_TYPE_BUFFER, OnFrame, this, nullptr);
      gst_object_unref(pad);
    }
    return Start(pipeline, pipeline, "scene");
  }

  const Picture* Frame(uint64_t frame) override {
    if (have_ && frame == lastFrame_) return &current_;
    if (failed_) return nullptr;
    GstSample* sample = Pull(kPullTimeout);
    if (!sample || !CopySample(sample, current_)) {
      if (sample) gst_sample_unref(sample);
      Log("scene: no frame");
      failed_ = true;
      return nullptr;
    }
    gst_sample_unref(sample);
    have_ = true;
    lastFrame_ = frame;
    return &current_;
  }

 private:
  static GstPadProbeReturn OnFrame(GstPad*, GstPadProbeInfo*, gpointer data) {
    auto* self = static_cast<Scene*>(data);
    std::lock_guard lock(self->probeMutex_);
    char text[64];
    std::snprintf(text, sizeof text, "CAMERA %d\n%06llu", self->input_,
                  static_cast<unsigned long long>(++self->produced_));
    g_object_set(self->label_, "text", text, nullptr);
    return GST_PAD_PROBE_OK;
  }

  int input_;
  GstElement* label_ = nullptr;
  std::mutex probeMutex_;
  uint64_t produced_ = 0;  // the streaming thread's count, under probeMutex_
};

// --- files and devices ---------------------------------------------------------

class Media final : public PipelineSource {
 public:
  bool Open(const std::string& uri, const std::string& what) {
    GstElement* playbin = gst_element_factory_make("playbin", nullptr);
    if (!playbin) {
      Log("no playbin");
      return false;
    }
    bool device = uri.rfind("v4l2://", 0) == 0;
    // A device's newest frame is what it shows; a file is read in order.
    std::string tail = std::string("videoconvert ! video/x-raw,format=I420 ! appsink name=sink max-buffers=1 sync=false") +
                       (device ? " drop=true" : "");
    GError* error = nullptr;
    GstElement* bin = gst_parse_bin_from_description(tail.c_str(), TRUE, &error);
    if (error) {
      Log(std::string("media: ") + error->message);
      g_error_free(error);
      if (bin) gst_object_unref(bin);
      gst_object_unref(playbin);
      return false;
    }
    // Video only: no audio decoding, no subtitles.
    constexpr int kPlayVideo = 0x1;
    g_object_set(playbin, "uri", uri.c_str(), "flags", kPlayVideo, "video-sink", bin, nullptr);
    return Start(playbin, bin, what);
  }

  const Picture* Frame(uint64_t frame) override {
    if (have_ && frame == lastFrame_) return &current_;
    if (failed_) return nullptr;
    lastFrame_ = frame;
    if (live_) {
      // The newest frame the device delivered; the last one while none is new.
      if (GstSample* sample = Pull(have_ ? 0 : kPullTimeout)) Take(sample);
      return have_ ? &current_ : nullptr;
    }
    return FileFrame(frame);
  }

 protected:
  bool Ready() override {
    int videos = 0;
    g_object_get(pipeline_, "n-video", &videos, nullptr);
    return videos > 0;
  }

 private:
  // The file's frame at the media time the board's clock has reached since
  // the source showed its first frame; at the end it starts again.
  const Picture* FileFrame(uint64_t frame) {
    if (!started_) {
      started_ = true;
      startFrame_ = frame;
    }
    GstClockTime target = (frame - startFrame_) * kFramePeriod;
    bool looped = false;
    int pulls = 0;
    while (!have_ || loopBase_ + end_ <= target) {
      if (pulls == kMaxCatchUp) {
        Reanchor(frame);
        break;
      }
      GstSample* sample = Pull(kPullTimeout);
      if (!sample) {
        if (AtEnd() && have_ && !looped) {
          looped = true;
          // The next pass starts where this one ended.
          loopBase_ += end_;
          pts_ = end_ = 0;
          if (gst_element_seek_simple(pipeline_, GST_FORMAT_TIME,
                                      GstSeekFlags(GST_SEEK_FLAG_FLUSH | GST_SEEK_FLAG_KEY_UNIT), 0))
            continue;
        }
        if (have_ && looped && !failed_) {
          // A whole pass went by within one board frame: go on from here.
          Reanchor(frame);
          break;
        }
        Log("media: no frame");
        failed_ = true;
        return nullptr;
      }
      if (!Take(sample)) return nullptr;
      ++pulls;
    }
    return have_ ? &current_ : nullptr;
  }

  // Takes a sample as the current picture; false (failed) when it is no
  // I420 picture.
  bool Take(GstSample* sample) {
    GstBuffer* buffer = gst_sample_get_buffer(sample);
    bool ok = CopySample(sample, current_);
    if (ok) {
      GstClockTime pts = buffer ? GST_BUFFER_PTS(buffer) : GST_CLOCK_TIME_NONE;
      GstClockTime duration = buffer ? GST_BUFFER_DURATION(buffer) : GST_CLOCK_TIME_NONE;
      pts_ = GST_CLOCK_TIME_IS_VALID(pts) ? pts : (have_ ? end_ : 0);
      end_ = pts_ + (GST_CLOCK_TIME_IS_VALID(duration) && duration > 0 ? duration : kFramePeriod);
      have_ = true;
    } else {
      Log("media: unexpected sample");
      failed_ = true;
    }
    gst_sample_unref(sample);
    return ok;
  }

  // The current picture becomes the one due at `frame`.
  void Reanchor(uint64_t frame) {
    uint64_t shown = (loopBase_ + pts_) / kFramePeriod;
    startFrame_ = frame > shown ? frame - shown : 0;
  }

  bool started_ = false;
  uint64_t startFrame_ = 0;
  GstClockTime loopBase_ = 0;  // media time of the passes already played
  GstClockTime pts_ = 0;       // the current picture's time within the pass
  GstClockTime end_ = 0;       // and the end of its display
};

std::string UriOf(const std::string& path) {
  if (gst_uri_is_valid(path.c_str())) return path;
  if (path.rfind("/dev/", 0) == 0) return "v4l2://" + path;
  struct stat st;
  if (stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return "";
  gchar* uri = gst_filename_to_uri(path.c_str(), nullptr);
  std::string out = uri ? uri : "";
  g_free(uri);
  return out;
}

}  // namespace

std::unique_ptr<FrameSource> OpenScene(int input) {
  if (input < 1 || input > 4 || !gst::Init()) return nullptr;
  auto scene = std::make_unique<Scene>(input);
  if (!scene->Open()) return nullptr;
  return scene;
}

std::unique_ptr<FrameSource> OpenMedia(const std::string& path) {
  if (path.empty() || !gst::Init()) return nullptr;
  std::string uri = UriOf(path);
  if (uri.empty()) {
    Log(path + ": no such file");
    return nullptr;
  }
  auto media = std::make_unique<Media>();
  if (!media->Open(uri, path)) return nullptr;
  return media;
}

}  // namespace orlik::board
