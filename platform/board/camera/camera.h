// The panel's camera picture: four analogue inputs in front of the video
// decoder. The input shown follows the decoder's input register (0x00) and
// the select lines HW-N13/HW-N14; the decoder's picture controls act on it.
//
// Each input shows, by precedence: a picture set by a test; a video file or
// V4L2 device set as its source; the built-in moving scene. An input
// detached from its source, a combination of register and lines that selects
// no input, and a missing decoder show "no signal" (black). Frames follow a
// free-running clock at 30000/1001 per second; a picture is made only when a
// frame is read.
#pragma once

#include "board/camera/picture.h"

#include <chrono>
#include <cstdint>

namespace orlik::board {

inline constexpr int kCameraInputs = 4;
inline constexpr int kCameraMaxWidth = 800;
inline constexpr int kCameraMaxHeight = 600;

// The frame clock, numbered from 1 (frame 1 is due when the platform starts;
// the numbers are never reset). The latest frame due now, and when a frame is
// due.
uint64_t CameraFrameDue();
std::chrono::steady_clock::time_point CameraFrameTime(uint64_t frame);

class Camera {
 public:
  static Camera& Get();

  // The input shown: 1-4, 0 for no signal.
  int Input();

  // Writes the picture of `frame` as YV12 (Y plane, then V, then U) at
  // width x height (even, 2x2 up to kCameraMaxWidth x kCameraMaxHeight), the
  // decoder's controls applied; false for another size or a null buffer.
  // `deliver` counts the frame as delivered to the capture driver, once per
  // frame number. Safe on any thread; the board lock is held only to read the
  // decoder and the lines, never while a picture is made.
  bool Read(uint64_t frame, uint8_t* yv12, int width, int height, bool deliver);
  // Frames delivered since the last reset.
  int Frames();
  // Opens the shown input's source and makes its first picture on the
  // calling thread. A reader thread started afterwards then loads no
  // libraries, so stopping it from inside an unloading library (which holds
  // the loader's lock) cannot wait on a thread that waits for that lock.
  void Prepare();

  // A fixed picture for an input (null restores what the input showed).
  bool SetPicture(int input, const uint8_t* yv12, int width, int height);
  // The input's source: a path, "" for none (no signal), null or "scene" for
  // the scene. False (nothing changes) for another input or a source that
  // cannot be opened.
  bool SetSource(int input, const char* path);

  // Power-on state: no pictures, sources from ORLIK_CAMERA1-4, count 0.
  void Reset();

 private:
  Camera();
};

}  // namespace orlik::board
