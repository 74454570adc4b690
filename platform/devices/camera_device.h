// "CAM1:", the camera's capture driver: frames of the board's camera on the
// free-running frame clock (30000/1001 per second), as YV12 pictures of the
// selected input with the decoder's picture controls applied.
//
// The platform's capture filter opens it with OpenCameraDevice and calls
// WaitFrame and ReadFrame on its streaming thread; both are safe while other
// threads drive the decoder's bus. A caller holding a handle from CreateFileW
// reaches the same two operations through DeviceIoControl.
//
// The device manager lists it under DEVCLASS_CAMERA_GUID. On the simulated
// panel, orlik_sim_fail_device("CAM1:", 0) removes it (open fails, the device
// manager does not list it) and step 1 stops its frames (WaitFrame times out).
#pragma once

#include <orlik/types.h>

#include "core/devices.h"

#include <cstdint>
#include <memory>
#include <string_view>

namespace orlik {

class CameraDevice final : public Device {
 public:
  // The largest picture ReadFrame writes.
  static constexpr int kMaxWidth = 800;
  static constexpr int kMaxHeight = 600;

  // Blocks until a frame numbered above `after` is due and returns the
  // number of the latest frame due (frames skipped by a slow reader are not
  // made up); 0 when none came within timeoutMs (INFINITE waits for good).
  // Frame numbers start at 1 and only grow.
  uint64_t WaitFrame(uint64_t after, DWORD timeoutMs);

  // Writes the picture of `frame` as YV12 (Y plane, then V, then U) at
  // width x height: even sizes from 2 x 2 to kMaxWidth x kMaxHeight, yv12
  // holding width * height * 3 / 2 bytes. The same frame read at two sizes
  // shows the same picture; the board counts each frame number once as
  // delivered. False for another size or a null buffer.
  bool ReadFrame(uint64_t frame, uint8_t* yv12, int width, int height);

  // Gets the picture of the selected input ready on the calling thread;
  // called before a streaming thread starts reading.
  void Prepare();

  BOOL IoControl(DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned) override;
};

// The camera driver by its legacy name ("CAM1:", any case); null with the
// last error set when no such device is there or the name is another
// device's.
std::shared_ptr<CameraDevice> OpenCameraDevice(std::u16string_view name);

// DeviceIoControl requests of "CAM1:".
// WAIT_FRAME: in CameraWaitRequest, out uint64_t frame number (0: time-out).
// READ_FRAME: in CameraReadRequest, out the YV12 picture (width * height * 3 / 2
// bytes, *returned set to that).
inline constexpr DWORD kIoctlCameraWaitFrame = (0x23u << 16) | (0x900u << 2);
inline constexpr DWORD kIoctlCameraReadFrame = (0x23u << 16) | (0x901u << 2);

struct CameraWaitRequest {
  uint64_t after;
  DWORD timeoutMs;
};

struct CameraReadRequest {
  uint64_t frame;
  int32_t width;
  int32_t height;
};

}  // namespace orlik
