// Where the capture filter takes its frames from, by camera name.
#pragma once

#include <orlik/types.h>

#include <cstdint>
#include <memory>
#include <string_view>

namespace orlik::capture {

class CameraFrames {
 public:
  virtual ~CameraFrames() = default;
  // Blocks until a frame numbered above `after` is due; its number, or 0
  // after timeoutMs without one.
  virtual uint64_t WaitFrame(uint64_t after, DWORD timeoutMs) = 0;
  // The picture of `frame` as YV12 at width x height.
  virtual bool ReadFrame(uint64_t frame, uint8_t* yv12, int width, int height) = 0;
};

using CameraOpener = std::shared_ptr<CameraFrames> (*)(std::u16string_view name);

// Null, with the last error set, when the name is no camera.
std::shared_ptr<CameraFrames> OpenCameraFrames(std::u16string_view name);
__attribute__((visibility("default"))) void SetCameraOpener(CameraOpener opener);

}  // namespace orlik::capture
