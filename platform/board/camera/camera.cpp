#include "board/camera/camera.h"

#include "board/board.h"
#include "board/camera/decoder.h"
#include "board/camera/sources.h"
#include "board/gpio.h"

#include <libyuv/scale.h>

#include <array>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace orlik::board {

namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point Epoch() {
  static const Clock::time_point epoch = Clock::now();
  return epoch;
}
// The clock runs from the moment the platform is loaded.
[[maybe_unused]] const bool kClockRunning = (Epoch(), true);

// Register 0x00 and the select lines that show each input; every other
// combination selects nothing.
struct Channel {
  int inputSelect;
  int n14;
  int n13;
};
constexpr std::array<Channel, kCameraInputs> kChannels = {{
    {0x00, 1, 0},
    {0x00, 0, 1},
    {0x02, 0, 1},
    {0x02, 1, 0},
}};

// Picture controls as the decoder holds them.
struct Controls {
  int brightness = 0x80;
  int saturation = 0x80;
  int hue = 0x00;
  int contrast = 0x80;
};

enum class Kind { kScene, kMedia, kNone };

struct InputState {
  std::mutex mutex;  // held while the input's picture is made
  bool hasPicture = false;
  Picture picture;
  Kind kind = Kind::kScene;
  std::string path;
  std::unique_ptr<FrameSource> source;  // opened on the first frame read
  bool failed = false;                  // it could not be opened: no signal
};

struct State {
  std::array<InputState, kCameraInputs> inputs;
  // Set when the process exits: sources are stopped and none opens again.
  std::atomic<bool> exiting{false};
  // Under the board lock.
  int frames = 0;
  uint64_t lastDelivered = 0;
};

State& S() { return ModelState<State>(); }

bool ValidSize(int width, int height) {
  return width >= 2 && height >= 2 && width <= kCameraMaxWidth && height <= kCameraMaxHeight && width % 2 == 0 &&
         height % 2 == 0;
}

// Caller holds the board lock.
int InputLocked() {
  TwoWireBus* bus = FindTwoWireBus("main");
  VideoDecoder& decoder = Decoder();
  if (!bus || !bus->IsAttached(&decoder)) return 0;
  Gpio& gpio = Board::Get().gpio();
  int select = decoder.Register(VideoDecoder::kInputSelect);
  int n13 = gpio.Level('N', 13);
  int n14 = gpio.Level('N', 14);
  for (size_t i = 0; i < kChannels.size(); ++i) {
    const Channel& c = kChannels[i];
    if (c.inputSelect == select && c.n13 == n13 && c.n14 == n14) return int(i) + 1;
  }
  return 0;
}

Controls ControlsLocked() {
  VideoDecoder& d = Decoder();
  Controls c;
  c.brightness = d.Register(VideoDecoder::kBrightness);
  c.saturation = d.Register(VideoDecoder::kSaturation);
  c.hue = d.Register(VideoDecoder::kHue);
  c.contrast = d.Register(VideoDecoder::kContrast);
  return c;
}

// YV12 plane positions in a buffer of width x height.
struct Yv12 {
  uint8_t* y;
  uint8_t* v;
  uint8_t* u;
  size_t luma;
  size_t chroma;
};
Yv12 Planes(uint8_t* out, int width, int height) {
  size_t luma = size_t(width) * size_t(height);
  size_t chroma = luma / 4;
  return {out, out + luma, out + luma + chroma, luma, chroma};
}

void ScaleTo(const Picture& pic, uint8_t* out, int width, int height) {
  Yv12 p = Planes(out, width, height);
  if (pic.width == width && pic.height == height) {
    std::memcpy(p.y, pic.y(), p.luma);
    std::memcpy(p.u, pic.u(), p.chroma);
    std::memcpy(p.v, pic.v(), p.chroma);
    return;
  }
  libyuv::I420Scale(pic.y(), pic.width, pic.u(), pic.chromaWidth(), pic.v(), pic.chromaWidth(), pic.width,
                    pic.height, p.y, width, p.u, width / 2, p.v, width / 2, width, height, libyuv::kFilterBilinear);
}

// What the decoder puts out without a signal: black.
void NoSignal(uint8_t* out, int width, int height) {
  Yv12 p = Planes(out, width, height);
  std::memset(p.y, 16, p.luma);
  std::memset(p.v, 128, 2 * p.chroma);
}

uint8_t Clamp(long v) { return uint8_t(v < 0 ? 0 : v > 255 ? 255 : v); }

// The decoder's picture controls. Contrast is a gain on luma about black (16)
// and brightness an offset, each 0x80 for none; saturation a gain on chroma
// (0x80 = 1) and hue a rotation of chroma by the signed register value times
// 180/128 degrees. At the defaults the picture passes unchanged.
void ApplyControls(const Controls& c, uint8_t* out, int width, int height) {
  Yv12 p = Planes(out, width, height);
  if (c.brightness != 0x80 || c.contrast != 0x80) {
    uint8_t lut[256];
    for (int y = 0; y < 256; ++y)
      lut[y] = Clamp(std::lround(16.0 + (y - 16) * c.contrast / 128.0 + (c.brightness - 128)));
    for (size_t i = 0; i < p.luma; ++i) p.y[i] = lut[p.y[i]];
  }
  if (c.saturation != 0x80 || c.hue != 0) {
    double angle = double(int8_t(uint8_t(c.hue))) * M_PI / 128.0;
    double gain = c.saturation / 128.0;
    long cs = std::lround(gain * std::cos(angle) * 4096);
    long sn = std::lround(gain * std::sin(angle) * 4096);
    for (size_t i = 0; i < p.chroma; ++i) {
      long du = p.u[i] - 128;
      long dv = p.v[i] - 128;
      p.u[i] = Clamp(128 + ((du * cs + dv * sn + 2048) >> 12));
      p.v[i] = Clamp(128 + ((dv * cs - du * sn + 2048) >> 12));
    }
  }
}

// Stops every input's source. A source's pipeline runs on threads of its own
// that would go on drawing while the process exits, inside libraries whose
// exit handlers already freed their state; stopping it joins those threads.
void StopSourcesAtExit() {
  S().exiting = true;
  std::vector<std::unique_ptr<FrameSource>> old;
  for (InputState& in : S().inputs) {
    std::lock_guard lock(in.mutex);
    old.push_back(std::move(in.source));
  }
}

// Opens an input's scene or its file or device. Exit handlers run newest
// first, so the stop is registered once a source of each kind has started:
// after the handlers of the libraries its first frame brought in, so it runs
// before them.
std::unique_ptr<FrameSource> OpenSource(Kind kind, int input, const std::string& path) {
  auto source = kind == Kind::kScene ? OpenScene(input) : OpenMedia(path);
  static std::once_flag scene, media;
  if (source) std::call_once(kind == Kind::kScene ? scene : media, [] { std::atexit(StopSourcesAtExit); });
  return source;
}

// The input's picture for the frame, scaled into `out`; false for no signal.
bool ShowInput(int input, uint64_t frame, uint8_t* out, int width, int height) {
  InputState& in = S().inputs[size_t(input - 1)];
  std::lock_guard lock(in.mutex);
  const Picture* pic = nullptr;
  if (in.hasPicture) {
    pic = &in.picture;
  } else if (in.kind != Kind::kNone) {
    if (!in.source && !in.failed && !S().exiting) {
      in.source = OpenSource(in.kind, input, in.path);
      in.failed = !in.source;
    }
    if (in.source) pic = in.source->Frame(frame);
  }
  if (!pic) return false;
  ScaleTo(*pic, out, width, height);
  return true;
}

}  // namespace

uint64_t CameraFrameDue() {
  auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(Clock::now() - Epoch()).count();
  return uint64_t(ns) * 30 / 1001000000 + 1;
}

Clock::time_point CameraFrameTime(uint64_t frame) {
  uint64_t n = frame > 0 ? frame - 1 : 0;
  return Epoch() + std::chrono::nanoseconds((n * 1001000000 + 29) / 30);
}

Camera& Camera::Get() {
  static auto* camera = new Camera;  // lives until the process ends
  return *camera;
}

Camera::Camera() {
  Reset();
  Board::Get().OnReset([] { Camera::Get().Reset(); });
}

int Camera::Input() {
  std::lock_guard lock(Board::Get().Lock());
  return InputLocked();
}

bool Camera::Read(uint64_t frame, uint8_t* yv12, int width, int height, bool deliver) {
  if (!yv12 || !ValidSize(width, height)) return false;
  int input = 0;
  Controls controls;
  {
    std::lock_guard lock(Board::Get().Lock());
    input = InputLocked();
    controls = ControlsLocked();
    if (deliver && frame > S().lastDelivered) {
      S().lastDelivered = frame;
      ++S().frames;
    }
  }
  if (input == 0 || !ShowInput(input, frame, yv12, width, height)) NoSignal(yv12, width, height);
  ApplyControls(controls, yv12, width, height);
  return true;
}

void Camera::Prepare() {
  int input = Input();
  if (input == 0) return;
  uint8_t scratch[2 * 2 * 3 / 2];
  ShowInput(input, CameraFrameDue(), scratch, 2, 2);
}

int Camera::Frames() {
  std::lock_guard lock(Board::Get().Lock());
  return S().frames;
}

bool Camera::SetPicture(int input, const uint8_t* yv12, int width, int height) {
  if (input < 1 || input > kCameraInputs) return false;
  // Any size the scaler takes; the bound keeps the sizes' product sane.
  if (yv12 && (width < 1 || height < 1 || width > 4096 || height > 4096)) return false;
  Picture picture;
  if (yv12) {
    picture.Resize(width, height);
    // YV12 carries V before U.
    const uint8_t* v = yv12 + picture.lumaSize();
    const uint8_t* u = v + picture.chromaSize();
    std::memcpy(picture.y(), yv12, picture.lumaSize());
    std::memcpy(picture.u(), u, picture.chromaSize());
    std::memcpy(picture.v(), v, picture.chromaSize());
  }
  InputState& in = S().inputs[size_t(input - 1)];
  std::lock_guard lock(in.mutex);
  in.hasPicture = yv12 != nullptr;
  in.picture = std::move(picture);
  return true;
}

bool Camera::SetSource(int input, const char* path) {
  if (input < 1 || input > kCameraInputs) return false;
  Kind kind = Kind::kScene;
  std::string where;
  std::unique_ptr<FrameSource> opened;
  if (path && *path == 0) {
    kind = Kind::kNone;
  } else if (path && std::strcmp(path, "scene") != 0) {
    // Opened here, outside the input's lock, so the caller learns whether it
    // can be shown and a reader is not held up meanwhile.
    opened = OpenSource(Kind::kMedia, input, path);
    if (!opened) return false;
    kind = Kind::kMedia;
    where = path;
  }
  std::unique_ptr<FrameSource> old;
  InputState& in = S().inputs[size_t(input - 1)];
  {
    std::lock_guard lock(in.mutex);
    old = std::move(in.source);
    if (!S().exiting) in.source = std::move(opened);
    in.kind = kind;
    in.path = where;
    in.failed = false;
  }
  return true;  // the old source stops here, outside the lock
}

void Camera::Reset() {
  std::vector<std::unique_ptr<FrameSource>> old;
  for (int i = 0; i < kCameraInputs; ++i) {
    // Unset or empty: the scene; "none": nothing; "scene": the scene; any
    // other value a file or device, opened when the input is first shown.
    char name[] = "ORLIK_CAMERA1";
    name[sizeof name - 2] = char('1' + i);
    const char* env = std::getenv(name);
    std::string value = env ? env : "";
    InputState& in = S().inputs[size_t(i)];
    std::lock_guard lock(in.mutex);
    old.push_back(std::move(in.source));
    in.hasPicture = false;
    in.picture = Picture();
    in.failed = false;
    in.path.clear();
    if (value.empty() || value == "scene") {
      in.kind = Kind::kScene;
    } else if (value == "none") {
      in.kind = Kind::kNone;
    } else {
      in.kind = Kind::kMedia;
      in.path = value;
    }
  }
  std::lock_guard lock(Board::Get().Lock());
  S().frames = 0;
  S().lastDelivered = 0;
}

}  // namespace orlik::board
