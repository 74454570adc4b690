// Ferrox inputs on the panel: a port watch read by name, analogue readings,
// the battery against its limits, network rebind and power-off.
#include "tour.h"

#include <tolvex/ferrox.h>

#include <orlik/sim.h>
#include <orlik/windows.h>

#include <cstdio>
#include <fstream>

namespace tour {

#define FERROX_INPUTS_EXPORTS(X) X(SetPortDCfg) X(PortDWatchStartEx) X(PortDWatchStopEx) X(GetPortQueueCount) \
  X(GetADCData) X(SetFiltering) X(GetDetailFilteringADCData) X(GetBatteryVoltage) X(GetBatteryPercent) \
  X(IsExtDCPowerIN) X(NDISDriverReBind) X(PowerOFF)
TOLVEX_EXPORT_TABLE(FerroxInputsExports, FERROX_INPUTS_EXPORTS);

static bool FerroxInputs() {
  Loaded<FerroxInputsExports> ferrox("libFerrox.so");
  if (!ferrox.ok()) return false;
  bool ok = true;

  // Port watch: the application opens the port's queue by name and reads
  // one byte per change.
  ferrox.SetPortDCfg(0x00);
  for (int pin = 0; pin < 8; ++pin) orlik_sim_drive_pin('Q', pin, 0);
  ferrox.PortDWatchStartEx();
  MSGQUEUEOPTIONS options = {sizeof(MSGQUEUEOPTIONS), 0, 0, 1, TRUE};
  HANDLE reader = CreateMsgQueue(u"Tolvex_TolGPIOFastD", &options);
  Sleep(20);  // the watch takes its first sample
  const int pins[] = {0, 3, 0};
  int level[8] = {};
  std::string seen;
  for (int pin : pins) {
    level[pin] ^= 1;
    orlik_sim_drive_pin('Q', pin, level[pin]);
    for (int i = 0; i < 1000 && ferrox.GetPortQueueCount(reader) == 0; ++i) Sleep(1);
    BYTE b = 0;
    DWORD got = 0, flags = 0;
    if (ReadMsgQueue(reader, &b, 1, &got, 1000, &flags)) {
      char text[8];
      std::snprintf(text, sizeof text, "0x%02X ", b);
      seen += text;
    }
  }
  ferrox.PortDWatchStopEx();
  CloseMsgQueue(reader);
  std::printf("   port D watch, pins Q0, Q3, Q0 toggled -> queue \"Tolvex_TolGPIOFastD\" gave %s\n",
              seen.c_str());
  ok = ok && seen == "0x01 0x09 0x08 ";

  // Analogue inputs.
  orlik_sim_adc_set_volts(3, 1.65);
  int plain = ferrox.GetADCData(3);
  const int codes[10] = {900, 905, 3000, 898, 902, 901, 0, 899, 903, 4095};
  orlik_sim_adc_feed(3, codes, 10);
  ferrox.SetFiltering(1);
  int filtered = ferrox.GetADCData(3);
  ferrox.SetFiltering(0);
  int fine = ferrox.GetDetailFilteringADCData(3, 50, 20);
  std::printf("   AIN3 at 1.65 V: plain %d; ten noisy conversions filtered to %d; detailed (50 samples) %d\n",
              plain, filtered, fine);
  ok = ok && plain == 2048 && filtered == 901 && fine == 2048;

  // Battery between the default limits 6.7 V and 8.4 V, and what the
  // percentage does across them (written as a table).
  orlik_sim_adc_set_volts(0, 7.5);
  double onBattery = ferrox.GetBatteryVoltage();
  int pct = ferrox.GetBatteryPercent();
  orlik_sim_set_external_supply(1);
  double onSupply = ferrox.GetBatteryVoltage();
  int present = ferrox.IsExtDCPowerIN();
  orlik_sim_set_external_supply(0);
  std::printf("   battery 7.5 V: %.3f V, %d %%; with external supply (detected: %d) %.3f V\n", onBattery,
              pct, present, onSupply);
  ok = ok && pct == 47 && present == 1 && onSupply > onBattery + 0.44;
  std::string table = OutputDir() + "/ferrox_battery.csv";
  std::ofstream csv(table);
  csv << "battery_volts,GetBatteryVoltage,GetBatteryPercent\n";
  for (int mv = 6400; mv <= 8800; mv += 100) {
    orlik_sim_adc_set_volts(0, mv / 1000.0);
    double v = ferrox.GetBatteryVoltage();
    csv << mv / 1000.0 << ',' << v << ',' << ferrox.GetBatteryPercent() << '\n';
  }
  std::printf("   battery percent from 6.4 V to 8.8 V: %s\n", table.c_str());

  // Network rebind, then power-off.
  ferrox.NDISDriverReBind();
  char names[32];
  orlik_sim_last_rebind(names, sizeof names);
  std::printf("   NDISDriverReBind: the adapter saw %d rebind request(s), adapter \"%s\"\n",
              orlik_sim_rebind_count(), names);
  ok = ok && orlik_sim_rebind_count() == 1;
  ferrox.PowerOFF();
  std::printf("   PowerOFF: power-off line HW-P13 = %d, panel switched off: %s\n",
              orlik_sim_pin_level('P', 13), orlik_sim_powered_off() ? "yes" : "no");
  return ok && orlik_sim_powered_off() == 1;
}

TOUR_SECTION(13, "Ferrox: port watch, analogue inputs, battery, rebind, power-off", FerroxInputs);

}  // namespace tour
