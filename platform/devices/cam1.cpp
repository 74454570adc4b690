#include "devices/camera_device.h"

#include <orlik/devmgr.h>
#include <orlik/kernel.h>

#include "board/board.h"
#include "board/camera/camera.h"
#include "core/last_error.h"
#include "devices/device_manager.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

namespace orlik {
namespace {

constexpr char kName[] = "CAM1:";

bool FramesStopped() { return board::Board::Get().FailStep(kName) == 1; }

std::shared_ptr<Device> Open(DWORD, DWORD) {
  if (board::Board::Get().Fails(kName, 0)) {
    SetLastError(ERROR_DEVICE_NOT_AVAILABLE);
    return nullptr;
  }
  return std::make_shared<CameraDevice>();
}

const DeviceRegistrar kRegistrar(u"CAM1:", Open);

const ActiveDeviceRegistrar kListed({
    u"CAM1:",
    u"Drivers\\BuiltIn\\Camera",
    u"$device\\CAM1",
    u"",
    {DEVCLASS_CAMERA_GUID},
    [] { return board::Board::Get().FailStep(kName) != 0; },
});

}  // namespace

uint64_t CameraDevice::WaitFrame(uint64_t after, DWORD timeoutMs) {
  using Clock = std::chrono::steady_clock;
  auto start = Clock::now();
  auto deadline = timeoutMs == INFINITE ? Clock::time_point::max() : start + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    auto now = Clock::now();
    uint64_t due = board::CameraFrameDue();
    bool stopped = FramesStopped();
    if (!stopped && due > after) return due;
    if (now >= deadline) return 0;
    // Sleep to the next frame (or a frame period while frames are stopped,
    // to notice when they start again), never past the deadline.
    auto wake = stopped ? now + std::chrono::milliseconds(33) : board::CameraFrameTime(std::max(due, after) + 1);
    std::this_thread::sleep_until(std::min(wake, deadline));
  }
}

bool CameraDevice::ReadFrame(uint64_t frame, uint8_t* yv12, int width, int height) {
  return board::Camera::Get().Read(frame, yv12, width, height, true);
}

void CameraDevice::Prepare() { board::Camera::Get().Prepare(); }

BOOL CameraDevice::IoControl(DWORD code, void* in, DWORD inSize, void* out, DWORD outSize, DWORD* returned) {
  *returned = 0;
  if (code == kIoctlCameraWaitFrame) {
    if (!in || inSize < sizeof(CameraWaitRequest) || !out || outSize < sizeof(uint64_t))
      return Fail(ERROR_INVALID_PARAMETER);
    CameraWaitRequest request;
    std::memcpy(&request, in, sizeof request);
    uint64_t frame = WaitFrame(request.after, request.timeoutMs);
    std::memcpy(out, &frame, sizeof frame);
    *returned = sizeof frame;
    if (frame == 0) return Fail(ERROR_TIMEOUT);
    return TRUE;
  }
  if (code == kIoctlCameraReadFrame) {
    if (!in || inSize < sizeof(CameraReadRequest)) return Fail(ERROR_INVALID_PARAMETER);
    CameraReadRequest request;
    std::memcpy(&request, in, sizeof request);
    if (request.width < 2 || request.height < 2 || request.width > kMaxWidth || request.height > kMaxHeight)
      return Fail(ERROR_INVALID_PARAMETER);
    DWORD size = DWORD(request.width) * DWORD(request.height) * 3 / 2;
    if (!out || outSize < size) return Fail(ERROR_INSUFFICIENT_BUFFER);
    if (!ReadFrame(request.frame, static_cast<uint8_t*>(out), request.width, request.height))
      return Fail(ERROR_INVALID_PARAMETER);
    *returned = size;
    return TRUE;
  }
  return Device::IoControl(code, in, inSize, out, outSize, returned);
}

std::shared_ptr<CameraDevice> OpenCameraDevice(std::u16string_view name) {
  auto device = OpenDevice(name, 0, 0);
  if (!device) return nullptr;
  auto camera = std::dynamic_pointer_cast<CameraDevice>(device);
  if (!camera) SetLastError(ERROR_FILE_NOT_FOUND);
  return camera;
}

}  // namespace orlik
