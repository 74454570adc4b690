// Register access. Every read and write of a peripheral register goes
// through these accessors, uncached and in program order. An address inside a
// window mapped by the "HTM1:" driver reaches the board: the simulated panel
// by default, or the real registers through /dev/mem (ORLIK_BOARD=hw).
#pragma once

#include <orlik/types.h>

ORLIK_BEGIN_C

ORLIK_API uint32_t readl(const volatile void* address);
ORLIK_API void writel(uint32_t value, volatile void* address);

ORLIK_END_C
