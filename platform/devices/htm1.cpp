// "HTM1:", the memory-window driver. Request 1 takes a physical base (divided
// by 256, passed as a plain number); request 2 makes an address range the
// caller reserved reach that block. On the simulated panel the range becomes a
// window into the board's register models; with ORLIK_BOARD=hw the physical
// block is mapped from /dev/mem over the reservation.
#include <orlik/kernel.h>

#include "board/board.h"
#include "core/devices.h"
#include "core/last_error.h"
#include "core/memory.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

namespace orlik {
namespace {

constexpr DWORD kSetPhysical = 1;
constexpr DWORD kMapWindow = 2;

bool HardwareBackend() {
  const char* v = std::getenv("ORLIK_BOARD");
  return v && std::strcmp(v, "hw") == 0;
}

class Htm1 final : public Device {
 public:
  BOOL IoControl(DWORD code, void* in, DWORD inSize, void*, DWORD, DWORD* returned) override {
    *returned = 0;
    auto& board = board::Board::Get();
    if (code == kSetPhysical) {
      if (board.Fails("HTM1:", 1)) return Fail(ERROR_GEN_FAILURE);
      uint64_t phys = uint64_t(reinterpret_cast<uintptr_t>(in)) * 256;
      if (phys > 0xFFFFFFFFu) return Fail(ERROR_INVALID_PARAMETER);
      if (!HardwareBackend() && !board.Claims(uint32_t(phys), 4))
        return Fail(ERROR_INVALID_PARAMETER);
      physical_ = uint32_t(phys);
      havePhysical_ = true;
      return TRUE;
    }
    if (code == kMapWindow) {
      if (board.Fails("HTM1:", 3)) return Fail(ERROR_GEN_FAILURE);
      if (!havePhysical_ || in == nullptr || inSize == 0 || !IsReserved(in, inSize))
        return Fail(ERROR_INVALID_PARAMETER);
      if (HardwareBackend()) return MapHardware(in, inSize);
      if (!board.Claims(physical_, inSize)) return Fail(ERROR_INVALID_PARAMETER);
      AddRegisterWindow(in, inSize, physical_, WindowKind::kSimulated);
      return TRUE;
    }
    return Fail(ERROR_INVALID_PARAMETER);
  }

 private:
  BOOL MapHardware(void* at, DWORD size) {
    int fd = open("/dev/mem", O_RDWR | O_SYNC);
    if (fd < 0) return Fail(ERROR_ACCESS_DENIED);
    uintptr_t pageOffset = physical_ & 4095u;
    auto start = reinterpret_cast<uintptr_t>(at);
    if ((start & 4095u) != 0) {
      close(fd);
      return Fail(ERROR_INVALID_PARAMETER);
    }
    // The window begins at the block base; map whole pages over the reservation.
    void* p = mmap(at, size + pageOffset, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_FIXED, fd,
                   off_t(physical_ - pageOffset));
    close(fd);
    if (p == MAP_FAILED) return Fail(ERROR_ACCESS_DENIED);
    AddRegisterWindow(at, size, physical_, WindowKind::kHardware);
    return TRUE;
  }

  uint32_t physical_ = 0;
  bool havePhysical_ = false;
};

const DeviceRegistrar kRegistrar(u"HTM1:", [](DWORD, DWORD) -> std::shared_ptr<Device> {
  if (board::Board::Get().Fails("HTM1:", 0)) {
    SetLastError(ERROR_DEVICE_NOT_AVAILABLE);
    return nullptr;
  }
  return std::make_shared<Htm1>();
});

}  // namespace
}  // namespace orlik
