// What the board's two-wire buses saw, for the bus, counter and PWM tests.
#pragma once

#include "bus_records.h"
#include "ferrox_fixture.h"

#include <string>
#include <vector>

namespace ferrox_test {

using tolvex_test::Transcript;
inline std::vector<std::string> BusErrors(const char* bus) { return tolvex_test::Errors(bus); }

// Sleep(0) calls made since the last reset of the count (the bus delay).
int YieldCount();
void ResetYieldCount();

}  // namespace ferrox_test
