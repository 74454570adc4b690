// What the board's two-wire buses saw, for the bus, counter and PWM tests.
#pragma once

#include "ferrox_fixture.h"

#include <orlik/sim_bus.h>

#include <string>
#include <vector>

namespace ferrox_test {

inline std::string Transcript(const char* bus) {
  int n = orlik_sim_bus_transcript(bus, nullptr, 0);
  std::string s(size_t(n < 0 ? 0 : n) + 1, '\0');
  orlik_sim_bus_transcript(bus, s.data(), int(s.size()));
  s.resize(size_t(n < 0 ? 0 : n));
  return s;
}

inline std::vector<std::string> BusErrors(const char* bus) {
  std::vector<std::string> out;
  char text[160];
  for (int i = 0; orlik_sim_bus_error(bus, i, text, sizeof text); ++i) out.push_back(text);
  return out;
}

// Sleep(0) calls made since the last reset of the count (the bus delay).
int YieldCount();
void ResetYieldCount();

}  // namespace ferrox_test
