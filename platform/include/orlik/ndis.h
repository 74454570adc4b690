// The NDIS driver interface, reached as the device "NDS0:".
#pragma once

#include <orlik/types.h>

// Rebinds the adapters named in the input buffer: UTF-16 instance names, each
// zero-terminated, the list ended by an empty name (device type 0x17,
// function 11).
#define IOCTL_NDIS_REBIND_ADAPTER 0x0017002Eu
