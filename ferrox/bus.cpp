// The main two-wire bus, byte by byte, and the two-channel analogue output
// converter on it. Callers serialise every use of mainBus (these exports,
// the converter and counter module B2).
#include "frame.h"

namespace ferrox {

namespace {

constexpr int kConverterOutput1 = 0x98;
constexpr int kConverterOutput2 = 0x9A;

// Start, address, bits 15-8, bits 7-0, stop. The converter's acknowledges
// are not examined.
void SetConverterOutput(int address, int32_t value) {
  if (!mainBus.usable()) return;
  mainBus.Start();
  mainBus.WriteByte(address);
  mainBus.WriteByte(value >> 8);
  mainBus.WriteByte(value);
  mainBus.Stop();
}

}  // namespace

}  // namespace ferrox

using ferrox::mainBus;

TOLVEX_EXPORT void Init() {
  if (mainBus.usable()) mainBus.Initialise();
}
// One entry under two names.
TOLVEX_EXPORT void DAC_Initial() __attribute__((alias("Init")));

TOLVEX_EXPORT void StartSignal() {
  if (mainBus.usable()) mainBus.Start();
}

TOLVEX_EXPORT void StopSignal() {
  if (mainBus.usable()) mainBus.Stop();
}

// 0 when the device acknowledged; without a mapped window nobody can have.
TOLVEX_EXPORT int32_t WriteByte(int32_t value) {
  return mainBus.usable() ? mainBus.WriteByte(value) : 1;
}

TOLVEX_EXPORT int32_t ReadByte(int32_t ack) { return mainBus.usable() ? mainBus.ReadByte(ack) : 0; }

TOLVEX_EXPORT void SetSpeed(int32_t yields) { mainBus.speed = yields; }

TOLVEX_EXPORT void SetACKWaitTimeOut(int32_t value) { mainBus.ackWaitTimeout = value; }

TOLVEX_EXPORT void SetOutData1(int32_t value) { ferrox::SetConverterOutput(ferrox::kConverterOutput1, value); }

TOLVEX_EXPORT void SetOutData2(int32_t value) { ferrox::SetConverterOutput(ferrox::kConverterOutput2, value); }
