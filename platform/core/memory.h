// Reservations made by VirtualAlloc, and the register windows mapped into them.
#pragma once

#include <orlik/types.h>

namespace orlik {

// True when [address, address + size) lies inside one live reservation.
bool IsReserved(const void* address, size_t size);

enum class WindowKind { kSimulated, kHardware };

// Records a register window over [address, address + size) that reaches the
// physical block at phys. Simulated windows dispatch to the board; hardware
// windows are real mappings the accessors dereference.
void AddRegisterWindow(void* address, size_t size, uint32_t phys, WindowKind kind);
// Forgets every window inside [address, address + size).
void RemoveRegisterWindows(void* address, size_t size);

}  // namespace orlik
