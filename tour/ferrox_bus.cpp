// Ferrox's two-wire bus, analogue outputs, counter modules and PWM outputs
// on the panel; the main bus's lines during one SetOutData1 as a picture.
#include "tour.h"

#include "bus_records.h"

#include <tolvex/ferrox.h>

#include <orlik/sim_bus.h>

#include <fstream>
#include <string>

namespace tour {

namespace {

using tolvex_test::BusRecord;

// A timing diagram of the recorded line levels: data above, clock below.
bool WriteTimingDiagram(const std::string& levels, const std::string& caption, const std::string& path) {
  const int step = 6, height = 24, top = 30;
  const int width = int(levels.size()) * step + 80;
  std::ofstream svg(path);
  svg << "<svg xmlns='http://www.w3.org/2000/svg' width='" << width << "' height='150'>\n"
      << "<rect width='100%' height='100%' fill='white'/>\n"
      << "<text x='4' y='16' font-family='monospace' font-size='12'>" << caption << "</text>\n";
  const char* names[2] = {"SDA", "SCL"};
  for (int line = 0; line < 2; ++line) {
    int base = top + line * 55;
    svg << "<text x='4' y='" << base + height / 2 + 4 << "' font-family='monospace' font-size='12'>"
        << names[line] << "</text>\n<polyline fill='none' stroke='black' points='";
    int x = 40;
    int prev = -1;
    for (char c : levels) {
      int v = c - '0';
      int level = line == 0 ? (v >> 1) & 1 : v & 1;
      int y = base + (level ? 0 : height);
      if (prev >= 0 && prev != y) svg << x << ',' << y << ' ';
      svg << x << ',' << y << ' ' << x + step << ',' << y << ' ';
      prev = y;
      x += step;
    }
    svg << "'/>\n";
  }
  svg << "</svg>\n";
  return bool(svg);
}

}  // namespace

#define FERROX_BUS_EXPORTS(X) X(DAC_Initial) X(SetOutData1) X(SetOutData2) X(InputCounterA1_Initial) \
  X(InputCounterA1_SetCounterDataWidth) X(InputCounterA1_ReadCounter32) X(InputCounterA1_ReadCounter64) \
  X(InputCounterA1_ReadEncoderCounter) X(SetPWMCarryFreq1) X(SetPWMCarryFreq2) X(SetPWMDutyRate1) \
  X(SetPWMDutyRate2) X(SetPWMPolarity2) X(Start_PWM1) X(Start_PWM2) X(Stop_PWM2)
TOLVEX_EXPORT_TABLE(FerroxBusExports, FERROX_BUS_EXPORTS);

static bool FerroxBus() {
  Loaded<FerroxBusExports> ferrox("libFerrox.so");
  if (!ferrox.ok()) return false;
  bool ok = true;

  // Analogue outputs on the main bus.
  ferrox.DAC_Initial();
  orlik_sim_bus_clear("main");
  ferrox.SetOutData1(0x1234);
  std::string picture = OutputDir() + "/ferrox-bus-setoutdata1.svg";
  std::string transcript = BusRecord(orlik_sim_bus_transcript, "main");
  ok &= WriteTimingDiagram(BusRecord(orlik_sim_bus_levels, "main"), "SetOutData1(0x1234): " + transcript, picture);
  ferrox.SetOutData2(0x0800);
  std::printf("   SetOutData1(0x1234), SetOutData2(0x0800): main bus saw \"%s\"\n",
              BusRecord(orlik_sim_bus_transcript, "main").c_str());
  std::printf("   converter outputs: 0x98 = 0x%04X, 0x9A = 0x%04X; lines drawn in %s\n",
              orlik_sim_dac_value(0x98), orlik_sim_dac_value(0x9A), picture.c_str());
  ok &= orlik_sim_dac_value(0x98) == 0x1234 && orlik_sim_dac_value(0x9A) == 0x0800;

  // A counter module on port A's first bus.
  orlik_sim_counter_attach("A1", 1);
  int identified = ferrox.InputCounterA1_Initial(0);
  orlik_sim_counter_pulses("A1", 1, 1500);
  orlik_sim_counter_set("A1", 2, 0x123456789ull);
  orlik_sim_counter_set("A1", 5, 0xFFFFFFF6);  // encoder 1 ten steps back
  uint32_t c1 = 0, enc = 0, wide[2] = {};
  int r1 = ferrox.InputCounterA1_ReadCounter32(1, &c1);
  int widthSet = ferrox.InputCounterA1_SetCounterDataWidth(64);
  int r2 = ferrox.InputCounterA1_ReadCounter64(2, wide);
  int r3 = ferrox.InputCounterA1_ReadEncoderCounter(1, &enc);
  std::printf("   counter module A1: Initial = %d, counter 1 = %u (%d), width 64 = %d, counter 2 = 0x%08X%08X (%d), "
              "encoder 1 = %d (%d)\n",
              identified, c1, r1, widthSet, wide[1], wide[0], r2, int32_t(enc), r3);
  ok &= identified == 1 && c1 == 1500 && r2 == 1 && wide[1] == 1 && wide[0] == 0x23456789 && int32_t(enc) == -10;

  // PWM outputs: 10 kHz at 25 %, and 5 kHz inverted at 30 %.
  ferrox.SetPWMCarryFreq1(32, 0, 199);
  ferrox.SetPWMDutyRate1(25.0);
  ferrox.SetPWMCarryFreq2(32, 2, 99);
  ferrox.SetPWMDutyRate2(30.0);
  ferrox.SetPWMPolarity2(1);
  ferrox.Start_PWM1();
  ferrox.Start_PWM2();
  for (int ch = 1; ch <= 2; ++ch) {
    double hz = 0, duty = 0;
    int level = 0;
    orlik_sim_pwm_output(ch, &hz, &duty, &level);
    std::printf("   PWM%d on HW-F%d: %.1f Hz, high %.1f %% of each period%s\n", ch, 13 + ch, hz, duty,
                orlik_sim_pwm_inverted(ch) ? " (inverted)" : "");
    ok &= level == -1;
  }
  ferrox.Stop_PWM2();
  int level = 0;
  orlik_sim_pwm_output(2, nullptr, nullptr, &level);
  std::printf("   Stop_PWM2: HW-F15 rests at %d\n", level);
  ok &= level == 1;
  return ok;
}

TOUR_SECTION(20, "Ferrox: two-wire bus, analogue outputs, counter modules, PWM", FerroxBus);

}  // namespace tour
