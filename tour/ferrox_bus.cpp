// Ferrox's two-wire bus, analogue outputs, counter modules and PWM outputs
// on the panel; the main bus's lines during one SetOutData1 as a picture.
#include "tour.h"

#include <tolvex/ferrox.h>

#include <orlik/sim_bus.h>

#include <fstream>
#include <string>

namespace tour {

namespace {

std::string BusText(int (*get)(const char*, char*, int), const char* bus) {
  int n = get(bus, nullptr, 0);
  std::string s(size_t(n > 0 ? n : 0) + 1, '\0');
  get(bus, s.data(), int(s.size()));
  s.resize(size_t(n > 0 ? n : 0));
  return s;
}

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

static bool FerroxBus() {
  Module ferrox("libFerrox.so");
  if (!ferrox.ok()) return false;
  auto init = TOUR_EXPORT(ferrox, DAC_Initial);
  auto out1 = TOUR_EXPORT(ferrox, SetOutData1);
  auto out2 = TOUR_EXPORT(ferrox, SetOutData2);
  auto initial = TOUR_EXPORT(ferrox, InputCounterA1_Initial);
  auto setWidth = TOUR_EXPORT(ferrox, InputCounterA1_SetCounterDataWidth);
  auto read32 = TOUR_EXPORT(ferrox, InputCounterA1_ReadCounter32);
  auto read64 = TOUR_EXPORT(ferrox, InputCounterA1_ReadCounter64);
  auto readEncoder = TOUR_EXPORT(ferrox, InputCounterA1_ReadEncoderCounter);
  auto carry1 = TOUR_EXPORT(ferrox, SetPWMCarryFreq1);
  auto carry2 = TOUR_EXPORT(ferrox, SetPWMCarryFreq2);
  auto duty1 = TOUR_EXPORT(ferrox, SetPWMDutyRate1);
  auto duty2 = TOUR_EXPORT(ferrox, SetPWMDutyRate2);
  auto polarity2 = TOUR_EXPORT(ferrox, SetPWMPolarity2);
  auto start1 = TOUR_EXPORT(ferrox, Start_PWM1);
  auto start2 = TOUR_EXPORT(ferrox, Start_PWM2);
  auto stop2 = TOUR_EXPORT(ferrox, Stop_PWM2);
  if (!init || !out1 || !out2 || !initial || !setWidth || !read32 || !read64 || !readEncoder || !carry1 ||
      !carry2 || !duty1 || !duty2 || !polarity2 || !start1 || !start2 || !stop2)
    return false;
  bool ok = true;

  // Analogue outputs on the main bus.
  init();
  orlik_sim_bus_clear("main");
  out1(0x1234);
  std::string picture = OutputDir() + "/ferrox-bus-setoutdata1.svg";
  std::string transcript = BusText(orlik_sim_bus_transcript, "main");
  ok &= WriteTimingDiagram(BusText(orlik_sim_bus_levels, "main"), "SetOutData1(0x1234): " + transcript, picture);
  out2(0x0800);
  std::printf("   SetOutData1(0x1234), SetOutData2(0x0800): main bus saw \"%s\"\n",
              BusText(orlik_sim_bus_transcript, "main").c_str());
  std::printf("   converter outputs: 0x98 = 0x%04X, 0x9A = 0x%04X; lines drawn in %s\n",
              orlik_sim_dac_value(0x98), orlik_sim_dac_value(0x9A), picture.c_str());
  ok &= orlik_sim_dac_value(0x98) == 0x1234 && orlik_sim_dac_value(0x9A) == 0x0800;

  // A counter module on port A's first bus.
  orlik_sim_counter_attach("A1", 1);
  int identified = initial(0);
  orlik_sim_counter_pulses("A1", 1, 1500);
  orlik_sim_counter_set("A1", 2, 0x123456789ull);
  orlik_sim_counter_set("A1", 5, 0xFFFFFFF6);  // encoder 1 ten steps back
  uint32_t c1 = 0, enc = 0, wide[2] = {};
  int r1 = read32(1, &c1);
  int widthSet = setWidth(64);
  int r2 = read64(2, wide);
  int r3 = readEncoder(1, &enc);
  std::printf("   counter module A1: Initial = %d, counter 1 = %u (%d), width 64 = %d, counter 2 = 0x%08X%08X (%d), "
              "encoder 1 = %d (%d)\n",
              identified, c1, r1, widthSet, wide[1], wide[0], r2, int32_t(enc), r3);
  ok &= identified == 1 && c1 == 1500 && r2 == 1 && wide[1] == 1 && wide[0] == 0x23456789 && int32_t(enc) == -10;

  // PWM outputs: 10 kHz at 25 %, and 5 kHz inverted at 30 %.
  carry1(32, 0, 199);
  duty1(25.0);
  carry2(32, 2, 99);
  duty2(30.0);
  polarity2(1);
  start1();
  start2();
  for (int ch = 1; ch <= 2; ++ch) {
    double hz = 0, duty = 0;
    int level = 0;
    orlik_sim_pwm_output(ch, &hz, &duty, &level);
    std::printf("   PWM%d on HW-F%d: %.1f Hz, high %.1f %% of each period%s\n", ch, 13 + ch, hz, duty,
                orlik_sim_pwm_inverted(ch) ? " (inverted)" : "");
    ok &= level == -1;
  }
  stop2();
  int level = 0;
  orlik_sim_pwm_output(2, nullptr, nullptr, &level);
  std::printf("   Stop_PWM2: HW-F15 rests at %d\n", level);
  ok &= level == 1;
  return ok;
}

TOUR_SECTION(20, "Ferrox: two-wire bus, analogue outputs, counter modules, PWM", FerroxBus);

}  // namespace tour
