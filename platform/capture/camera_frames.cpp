#include "capture/camera_frames.h"

#include <orlik/kernel.h>

#include <atomic>

namespace orlik::capture {
namespace {
std::atomic<CameraOpener> gOpener{nullptr};
}

std::shared_ptr<CameraFrames> OpenCameraFrames(std::u16string_view name) {
  CameraOpener opener = gOpener.load();
  if (!opener) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  return opener(name);
}

void SetCameraOpener(CameraOpener opener) { gOpener = opener; }

}  // namespace orlik::capture
