// What the simulated panel's two-wire buses recorded, read whole.
#pragma once

#include <orlik/sim_bus.h>

#include <string>
#include <vector>

namespace tolvex_test {

// A bus record (orlik_sim_bus_transcript or orlik_sim_bus_levels) at
// whatever length it has; empty for a bus the panel does not have.
inline std::string BusRecord(int (*get)(const char*, char*, int), const char* bus) {
  int n = get(bus, nullptr, 0);
  std::string s(size_t(n < 0 ? 0 : n) + 1, '\0');
  get(bus, s.data(), int(s.size()));
  s.resize(size_t(n < 0 ? 0 : n));
  return s;
}
inline std::string Transcript(const char* bus = "main") { return BusRecord(orlik_sim_bus_transcript, bus); }
inline std::string Levels(const char* bus = "main") { return BusRecord(orlik_sim_bus_levels, bus); }

// The protocol errors a bus found, in order.
inline std::vector<std::string> Errors(const char* bus = "main") {
  std::vector<std::string> out;
  char text[160];
  for (int i = 0; orlik_sim_bus_error(bus, i, text, sizeof text); ++i) out.push_back(text);
  return out;
}

}  // namespace tolvex_test
