// The panel's power parts on port P: the external-supply detect line on HW-P12
// (the detector pulls it low while an external DC supply is connected and
// drives it high otherwise) and the power-off line on HW-P13: the power
// controller switches the panel off when the processor drives the line high.
// A pull-up of the pin as an input is too weak to work the controller.
#include <orlik/sim.h>

#include "board/board.h"
#include "board/console/events.h"
#include "board/gpio.h"

namespace orlik::board {
namespace {

constexpr char kPort = 'P';
constexpr int kSupplyDetectPin = 12;
constexpr int kPowerOffPin = 13;

class PowerParts {
 public:
  PowerParts() {
    auto& board = Board::Get();
    std::lock_guard lock(board.Lock());
    board.gpio().AddListener([this](char port, int pin, int level) {
      if (port == kPort && pin == kPowerOffPin && level == 1 &&
          Board::Get().gpio().Mode(kPort, kPowerOffPin) == kPinOutput) {
        poweredOff_ = true;
        ++powerOffs_;
        if (console::Wanted(console::EventKind::kPower)) console::PublishPower("power-off");
      }
    });
    board.OnReset([this] { Reset(); });
    Reset();
  }

  void Reset() {
    externalSupply_ = false;
    poweredOff_ = false;
    powerOffs_ = 0;
    Wire();
  }

  void SetExternalSupply(bool present) {
    externalSupply_ = present;
    Wire();
  }

  bool poweredOff() const { return poweredOff_; }
  int powerOffs() const { return powerOffs_; }
  bool externalSupply() const { return externalSupply_; }

 private:
  void Wire() {
    auto& gpio = Board::Get().gpio();
    gpio.DriveExternal(kPort, kSupplyDetectPin, externalSupply_ ? 0 : 1);
  }

  bool externalSupply_ = false;
  bool poweredOff_ = false;
  int powerOffs_ = 0;
};

PowerParts& Parts() {
  static auto* parts = new PowerParts;  // lives until the process ends
  return *parts;
}

// Wired when the platform loads, so the lines have their levels from the start.
[[maybe_unused]] const bool kWired = (Parts(), true);

}  // namespace
}  // namespace orlik::board

using orlik::board::Board;

extern "C" {

void orlik_sim_set_external_supply(int present) {
  std::lock_guard lock(Board::Get().Lock());
  orlik::board::Parts().SetExternalSupply(present != 0);
}

int orlik_sim_external_supply(void) {
  std::lock_guard lock(Board::Get().Lock());
  return orlik::board::Parts().externalSupply() ? 1 : 0;
}

int orlik_sim_powered_off(void) {
  std::lock_guard lock(Board::Get().Lock());
  return orlik::board::Parts().poweredOff() ? 1 : 0;
}

int orlik_sim_power_off_count(void) {
  std::lock_guard lock(Board::Get().Lock());
  return orlik::board::Parts().powerOffs();
}

}  // extern "C"
