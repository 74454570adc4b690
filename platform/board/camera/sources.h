// What a camera input shows when no test picture is set: the built-in moving
// scene, or a video file or V4L2 device, each a GStreamer pipeline that ends
// in an application sink. Pipelines produce only when a frame is asked for:
// an idle input costs nothing.
#pragma once

#include "board/camera/picture.h"

#include <cstdint>
#include <memory>
#include <string>

namespace orlik::board {

class FrameSource {
 public:
  virtual ~FrameSource() = default;
  // The picture for the board's frame number `frame` (numbers only grow);
  // asked again for the same number, the same picture. Null when the source
  // has nothing to show (it failed).
  virtual const Picture* Frame(uint64_t frame) = 0;
};

// Native size of the built-in scene.
inline constexpr int kSceneWidth = 640;
inline constexpr int kSceneHeight = 480;

// The scene of input 1-4: a moving test pattern with the input's number and
// a running count of the frames it produced. Null when GStreamer cannot run.
std::unique_ptr<FrameSource> OpenScene(int input);

// A video file (a path or a URI; it plays in a loop, at its own frame rate
// against the board's frame clock) or a V4L2 device ("/dev/videoN" or a
// "v4l2://" URI; the newest frame it captured). Opens and checks it now; null
// when it cannot be opened or has no video.
std::unique_ptr<FrameSource> OpenMedia(const std::string& path);

}  // namespace orlik::board
