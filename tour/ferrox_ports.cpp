// Ferrox ports on the panel: write each port, read it back, watch an input.
#include "tour.h"

#include <tolvex/ferrox.h>

#include <orlik/sim.h>

namespace tour {

namespace {
// Hardware pin of each logical bit, to show what the panel's pins did.
struct Pin {
  char port;
  int pin;
};
constexpr Pin kPinsA[8] = {{'K', 0}, {'K', 1}, {'K', 2}, {'K', 3}, {'K', 4}, {'K', 5}, {'K', 6}, {'K', 7}};
constexpr Pin kPinsB[8] = {{'P', 8}, {'P', 9}, {'P', 10}, {'P', 11}, {'P', 12}, {'P', 13}, {'B', 6}, {'B', 5}};

std::string Levels(const Pin (&pins)[8]) {
  std::string s;
  for (int i = 7; i >= 0; --i) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%c%d=%d ", pins[i].port, pins[i].pin,
                  orlik_sim_pin_level(pins[i].port, pins[i].pin));
    s += buf;
  }
  return s;
}
}  // namespace

#define FERROX_PORTS_EXPORTS(X) X(GetNativeDllVersion) X(SetPortACfg) X(SetPortAData) X(GetPortAData) \
  X(SetPortBCfg) X(SetPortBData) X(GetPortBData) X(SetPortDCfg) X(GetPortDData)
TOLVEX_EXPORT_TABLE(FerroxPortsExports, FERROX_PORTS_EXPORTS);

static bool FerroxPorts() {
  Loaded<FerroxPortsExports> ferrox("libFerrox.so");
  if (!ferrox.ok()) return false;

  std::printf("   GetNativeDllVersion() = %d\n", ferrox.GetNativeDllVersion());
  ferrox.SetPortACfg(0xFF);
  ferrox.SetPortAData(0xA5);
  std::printf("   port A out 0xA5 -> pins %s-> GetPortAData() = 0x%02X\n", Levels(kPinsA).c_str(),
              ferrox.GetPortAData());
  ferrox.SetPortBCfg(0xFF);
  ferrox.SetPortBData(0xC0);
  std::printf("   port B out 0xC0 -> pins %s-> GetPortBData() = 0x%02X\n", Levels(kPinsB).c_str(),
              ferrox.GetPortBData());
  ferrox.SetPortDCfg(0x00);
  int idle = ferrox.GetPortDData();
  orlik_sim_drive_pin('Q', 3, 0);
  int pressed = ferrox.GetPortDData();
  std::printf("   port D inputs with pull-ups: 0x%02X; Q3 pulled low outside: 0x%02X\n", idle, pressed);
  return ferrox.GetNativeDllVersion() == 2009070901 && ferrox.GetPortAData() == 0xA5 && ferrox.GetPortBData() == 0xC0 && idle == 0xFF &&
         pressed == 0xF7;
}

TOUR_SECTION(10, "Ferrox: GPIO ports", FerroxPorts);

}  // namespace tour
