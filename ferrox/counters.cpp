// Counter modules A1, A2, B1 and B2: one implementation over the module
// table; each module sits alone on its own bus, except B2, which shares
// mainBus with the bus exports and the analogue outputs.
#include "frame.h"

#include <array>

namespace ferrox {

namespace {

constexpr int kWriteAddress = 0x1E;
constexpr int kReadAddress = 0x1F;

enum Command : uint8_t {
  kIdentify = 0x32,
  kSetMode = 0x33,
  kGetMode = 0x34,
  kReadCounter1 = 0x35,   // to 0x38
  kReadEncoder1 = 0x39,   // and 0x3A
  kResetCounter1 = 0x3F,  // to 0x42
  kResetEncoder1 = 0x43,  // and 0x44
  kFirmware = 0x46,
  kReadPinStatus1 = 0x49,  // to 0x4C
  kPauseCounter1 = 0x50,   // to 0x53
  kSetWidth = 0x55,
  kGetWidth = 0x56,
};

constexpr uint8_t kIdentity[2] = {0x4D, 0x21};
// A module sends this check byte with a count standing at zero, whose
// plain sum (0) would be indistinguishable from a silent bus.
constexpr uint8_t kZeroCheck = 0xAA;
constexpr DWORD kSettleMs = 100;

// The module table: the bus each module is on.
const std::array<regs::TwoWireBus*, 4> kModules = {&counterBusA1, &counterBusA2, &counterBusB1,
                                                   &mainBus};
enum Module { kA1, kA2, kB1, kB2 };

class CounterModule {
 public:
  explicit CounterModule(Module m) : bus_(*kModules[m]) {}

  int32_t Initial(int32_t speed) {
    if (!bus_.usable()) return 0;
    bus_.Initialise();
    bus_.speed = speed;
    bus_.ackWaitTimeout = 255;
    Sleep(kSettleMs);
    uint8_t id[2] = {};
    ReadTransaction(kIdentify, id, 2);
    if (id[0] != kIdentity[0] || id[1] != kIdentity[1]) return 0;
    for (uint8_t c = 0; c < 4; ++c) WriteTransaction(uint8_t(kResetCounter1 + c));
    WriteTransaction(kResetEncoder1);  // encoder 2 keeps its count
    return 1;
  }

  // Sets a value and checks it was taken: twice, then once more after
  // re-initialising the bus and the module.
  int32_t SetAndConfirm(uint8_t setCommand, uint8_t getCommand, int32_t value) {
    if (!bus_.usable()) return 0;
    auto attempt = [&] {
      WriteTransaction(setCommand, uint8_t(value));
      Sleep(kSettleMs);
      // The whole requested value: a mode of 256 or -1 cannot be taken by a
      // module that stores one byte, whatever byte went out.
      return ReadByteCommand(getCommand) == value;
    };
    if (attempt() || attempt()) return 1;
    Initial(bus_.speed);
    return attempt() ? 1 : 0;
  }

  int32_t ReadByteCommand(uint8_t command) {
    if (!bus_.usable()) return 0;
    uint8_t b = 0;
    ReadTransaction(command, &b, 1);
    return b;
  }

  // Reads dataBytes little-endian data bytes and the check byte; stores the
  // value only when the check holds.
  int32_t ReadValue(uint8_t command, int dataBytes, uint64_t* value) {
    if (!bus_.usable()) return 0;
    uint8_t bytes[9] = {};
    ReadTransaction(command, bytes, dataBytes + 1);
    uint64_t v = 0;
    uint8_t sum = 0;
    for (int i = dataBytes - 1; i >= 0; --i) {
      v = (v << 8) | bytes[i];
      sum = uint8_t(sum + bytes[i]);
    }
    uint8_t check = bytes[dataBytes];
    if (check == sum) {
      if (v == 0 && check == 0) return 0;  // nothing answered
      *value = v;
      return 1;
    }
    if (v == 0 && check == kZeroCheck) {
      *value = 0;
      return 1;
    }
    return 0;
  }

  void Command(uint8_t command) {
    if (bus_.usable()) WriteTransaction(command);
  }
  void Command(uint8_t command, uint8_t argument) {
    if (bus_.usable()) WriteTransaction(command, argument);
  }

 private:
  // Start; write address; command; the argument if any; stop.
  void WriteTransaction(uint8_t command, int argument = -1) {
    bus_.Start();
    bus_.WriteByte(kWriteAddress);
    bus_.WriteByte(command);
    if (argument >= 0) bus_.WriteByte(argument);
    bus_.Stop();
  }

  // Start; write address; command; repeated start; read address; the bytes,
  // each acknowledged but the last; stop. The module's acknowledges are not
  // examined.
  void ReadTransaction(uint8_t command, uint8_t* out, int count) {
    bus_.Start();
    bus_.WriteByte(kWriteAddress);
    bus_.WriteByte(command);
    bus_.Start();
    bus_.WriteByte(kReadAddress);
    for (int i = 0; i < count; ++i) out[i] = uint8_t(bus_.ReadByte(i < count - 1 ? 1 : 0));
    bus_.Stop();
  }

  regs::TwoWireBus& bus_;
};

// Counter, encoder and pin numbers outside their ranges are refused without
// touching the bus.
bool InRange(int32_t n, int32_t last) { return n >= 1 && n <= last; }

int32_t Initial(Module m, int32_t speed) { return CounterModule(m).Initial(speed); }

int32_t SetMode(Module m, int32_t mode) { return CounterModule(m).SetAndConfirm(kSetMode, kGetMode, mode); }

int32_t GetMode(Module m) { return CounterModule(m).ReadByteCommand(kGetMode); }

int32_t SetCounterDataWidth(Module m, int32_t width) {
  return CounterModule(m).SetAndConfirm(kSetWidth, kGetWidth, width);
}

int32_t ReadCounter32(Module m, int32_t counter, uint32_t* out) {
  if (!InRange(counter, 4) || !out) return 0;
  uint64_t v = 0;
  if (!CounterModule(m).ReadValue(uint8_t(kReadCounter1 + counter - 1), 4, &v)) return 0;
  *out = uint32_t(v);
  return 1;
}

int32_t ReadCounter64(Module m, int32_t counter, uint32_t* out) {
  if (!InRange(counter, 4) || !out) return 0;
  uint64_t v = 0;
  if (!CounterModule(m).ReadValue(uint8_t(kReadCounter1 + counter - 1), 8, &v)) return 0;
  out[0] = uint32_t(v);  // low word first: a 64-bit value in memory order
  out[1] = uint32_t(v >> 32);
  return 1;
}

int32_t ReadEncoderCounter(Module m, int32_t encoder, uint32_t* out) {
  if (!InRange(encoder, 2) || !out) return 0;
  uint64_t v = 0;
  if (!CounterModule(m).ReadValue(uint8_t(kReadEncoder1 + encoder - 1), 4, &v)) return 0;
  *out = uint32_t(v);
  return 1;
}

void ResetCounter(Module m, int32_t counter) {
  if (InRange(counter, 4)) CounterModule(m).Command(uint8_t(kResetCounter1 + counter - 1));
}

void ResetEncoderCounter(Module m, int32_t encoder) {
  if (InRange(encoder, 2)) CounterModule(m).Command(uint8_t(kResetEncoder1 + encoder - 1));
}

void PauseCounter(Module m, int32_t counter, int32_t flag) {
  if (InRange(counter, 4)) CounterModule(m).Command(uint8_t(kPauseCounter1 + counter - 1), flag != 0 ? 1 : 0);
}

int32_t ReadPinStatus(Module m, int32_t pin) {
  if (!InRange(pin, 4)) return 0;
  return CounterModule(m).ReadByteCommand(uint8_t(kReadPinStatus1 + pin - 1));
}

int32_t Firmware(Module m) { return CounterModule(m).ReadByteCommand(kFirmware); }

}  // namespace

}  // namespace ferrox

// The twelve exports of each module, forwarding to the shared implementation.
#define COUNTER_MODULE_EXPORTS(M)                                                                   \
  TOLVEX_EXPORT int32_t InputCounter##M##_Initial(int32_t speed) {                                  \
    return ferrox::Initial(ferrox::k##M, speed);                                                    \
  }                                                                                                 \
  TOLVEX_EXPORT int32_t InputCounter##M##_SetMode(int32_t mode) {                                   \
    return ferrox::SetMode(ferrox::k##M, mode);                                                     \
  }                                                                                                 \
  TOLVEX_EXPORT int32_t InputCounter##M##_GetMode() { return ferrox::GetMode(ferrox::k##M); }       \
  TOLVEX_EXPORT int32_t InputCounter##M##_SetCounterDataWidth(int32_t width) {                      \
    return ferrox::SetCounterDataWidth(ferrox::k##M, width);                                        \
  }                                                                                                 \
  TOLVEX_EXPORT int32_t InputCounter##M##_ReadCounter32(int32_t counter, uint32_t* out) {           \
    return ferrox::ReadCounter32(ferrox::k##M, counter, out);                                       \
  }                                                                                                 \
  TOLVEX_EXPORT int32_t InputCounter##M##_ReadCounter64(int32_t counter, uint32_t* out) {           \
    return ferrox::ReadCounter64(ferrox::k##M, counter, out);                                       \
  }                                                                                                 \
  TOLVEX_EXPORT void InputCounter##M##_ResetCounter(int32_t counter) {                              \
    ferrox::ResetCounter(ferrox::k##M, counter);                                                    \
  }                                                                                                 \
  TOLVEX_EXPORT void InputCounter##M##_PauseCounter(int32_t counter, int32_t flag) {                \
    ferrox::PauseCounter(ferrox::k##M, counter, flag);                                              \
  }                                                                                                 \
  TOLVEX_EXPORT int32_t InputCounter##M##_ReadPinStatus(int32_t pin) {                              \
    return ferrox::ReadPinStatus(ferrox::k##M, pin);                                                \
  }                                                                                                 \
  TOLVEX_EXPORT int32_t InputCounter##M##_ReadEncoderCounter(int32_t encoder, uint32_t* out) {      \
    return ferrox::ReadEncoderCounter(ferrox::k##M, encoder, out);                                  \
  }                                                                                                 \
  TOLVEX_EXPORT void InputCounter##M##_ResetEncoderCounter(int32_t encoder) {                       \
    ferrox::ResetEncoderCounter(ferrox::k##M, encoder);                                             \
  }                                                                                                 \
  TOLVEX_EXPORT int32_t InputCounter##M##_Firmware() { return ferrox::Firmware(ferrox::k##M); }

COUNTER_MODULE_EXPORTS(A1)
COUNTER_MODULE_EXPORTS(A2)
COUNTER_MODULE_EXPORTS(B1)
COUNTER_MODULE_EXPORTS(B2)
