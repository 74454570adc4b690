// "NDS0:", the NDIS driver. It takes adapter requests and passes them to the
// board's network adapter model. Make it absent with
// orlik_sim_fail_device("NDS0:", 0): opening it then fails.
#include <orlik/kernel.h>
#include <orlik/ndis.h>

#include "board/board.h"
#include "board/network.h"
#include "core/devices.h"
#include "core/last_error.h"

#include <vector>

namespace orlik {
namespace {

class Nds0 final : public Device {
 public:
  BOOL IoControl(DWORD code, void* in, DWORD inSize, void*, DWORD, DWORD* returned) override {
    *returned = 0;
    if (code != IOCTL_NDIS_REBIND_ADAPTER) return Device::IoControl(code, in, inSize, nullptr, 0, returned);
    if (board::Board::Get().FailStep("NDS0:") == 1) return Fail(ERROR_GEN_FAILURE);
    if (!in || inSize < sizeof(char16_t)) return Fail(ERROR_INVALID_PARAMETER);
    // The list is read only as far as the caller's size reaches; a name cut
    // off by the end of the buffer is not a name.
    const auto* units = static_cast<const char16_t*>(in);
    size_t count = inSize / sizeof(char16_t);
    std::vector<std::u16string> names;
    size_t i = 0;
    while (i < count && units[i] != 0) {
      size_t start = i;
      while (i < count && units[i] != 0) ++i;
      if (i == count) return Fail(ERROR_INVALID_PARAMETER);
      names.emplace_back(units + start, i - start);
      ++i;
    }
    if (names.empty()) return Fail(ERROR_INVALID_PARAMETER);
    if (!board::Network::Get().Rebind(names)) return Fail(ERROR_FILE_NOT_FOUND);
    return TRUE;
  }
};

const DeviceRegistrar kRegistrar(u"NDS0:", [](DWORD, DWORD) -> std::shared_ptr<Device> {
  if (board::Board::Get().FailStep("NDS0:") == 0) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  return std::make_shared<Nds0>();
});

}  // namespace
}  // namespace orlik
