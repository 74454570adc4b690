// The decoder bus, the select lines, the decoder's set-up and the picture
// and input exports.
#include "decoder.h"

#include "camera_controller.h"

#include <array>

namespace vistrel {

namespace {

constexpr uint32_t kGpioPhys = 0x7F008000;
constexpr uint32_t kGpioWindow = 0x940;

// The main bus's pins: data HW-B6 (0x24 bit 6), clock HW-B5 (0x24 bit 5).
constexpr regs::BusPins kMainBusPins = {
    .data = 0x024, .sdaBit = 6, .sclBit = 5,
    .conf = 0x020, .sdaShift = 24, .sclShift = 20, .fieldWidth = 4,
    .pull = 0x028, .pullShift = 10, .pullWidth = 4, .pullValue = 0b0000};

constexpr int kWriteAddress = 0xB8;
constexpr int kReadAddress = 0xB9;
constexpr int kIdentification = 0x80;
constexpr int kIdentificationLow = 0x81;
constexpr int kDecoderFamily = 0x51;

// Port N: configuration, data and pull registers, pins 13 and 14.
constexpr uint32_t kPortNConfig = 0x830;
constexpr uint32_t kPortNData = 0x834;
constexpr uint32_t kPortNPull = 0x838;
constexpr uint32_t kSelectFieldMask = 0x3C000000;
constexpr uint32_t kSelectOutputs = 0x14000000;  // 01 for pins 13 and 14
constexpr uint32_t kSelectPullUps = 0x28000000;  // 10 for pins 13 and 14
constexpr uint32_t kPin13 = 1u << 13;
constexpr uint32_t kPin14 = 1u << 14;

struct RegisterValue {
  uint8_t reg;
  uint8_t value;
};
constexpr std::array<RegisterValue, 19> kDecoderSetup = {{
    {0x05, 0x00}, {0x05, 0x00}, {0x00, 0x00}, {0x01, 0x15}, {0x02, 0x00},
    {0x03, 0x8F}, {0x04, 0xC0}, {0x0D, 0x47}, {0x0F, 0x02}, {0x28, 0x02},
    {0x16, 0x6F}, {0x18, 0x6F}, {0x19, 0x6F}, {0x09, 0x80}, {0x0B, 0x00},
    {0x0C, 0x80}, {0x0A, 0x80}, {0x27, 0x20}, {0x28, 0x00},
}};

// Picture-control registers and their defaults.
constexpr int kBrightness = 0x09;
constexpr int kSaturation = 0x0A;
constexpr int kHue = 0x0B;
constexpr int kContrast = 0x0C;
constexpr int kInputSelect = 0x00;

// A pause of the register transactions: a sleep, 0 meaning one yield.
void Pause(DWORD milliseconds) { Sleep(milliseconds); }

int Clamp(int32_t value) { return value > 255 ? 255 : value < 0 ? 0 : value; }

}  // namespace

// --- select lines -------------------------------------------------------------

SelectLines::SelectLines() {
  regs::WindowOpener opener;
  opener.Map(window, kGpioPhys, kGpioWindow);
}

SelectLines::~SelectLines() { window.Close(); }

void SelectLines::Configure() const {
  window.Write(kPortNConfig, (window.Read(kPortNConfig) & ~kSelectFieldMask) | kSelectOutputs);
  window.Write(kPortNPull, (window.Read(kPortNPull) & ~kSelectFieldMask) | kSelectPullUps);
}

void SelectLines::Set(int code) const {
  uint32_t data = window.Read(kPortNData);
  switch (code) {
    case 0: data &= ~(kPin14 | kPin13); break;
    case 1: data = (data & ~kPin14) | kPin13; break;
    case 10: data = (data & ~kPin13) | kPin14; break;
    case 11: data |= kPin14 | kPin13; break;
    default: return;
  }
  window.Write(kPortNData, data);
}

// --- decoder bus ------------------------------------------------------------------

DecoderBus::DecoderBus() : TwoWireBus(kMainBusPins) {}

void DecoderBus::DecoderStart() const { StartCondition(); }

void DecoderBus::DecoderStop() const { StopCondition(); }

void DecoderBus::DecoderWriteByte(int value, int ninth) const {
  for (int i = 0; i < 8; ++i) {
    SetData((value >> (7 - i)) & 1);
    SetClock(1);
    SetClock(0);
  }
  // The ninth clock: the acknowledge is not read; with ninth = 1 the data
  // line is driven high while the decoder pulls it low.
  SetData(ninth == 1 ? 1 : 0);
  SetClock(1);
  SetClock(0);
}

// The data line released high first; then the main buses' byte read (ack 0:
// no acknowledge after the one byte).
int DecoderBus::DecoderReadByte(int ack) const {
  SetData(1);
  return ReadByte(ack);
}

void DecoderBus::WriteDecoderRegister(int reg, int value) const {
  DecoderStart();
  DecoderWriteByte(kWriteAddress, 1);
  Pause(0);
  DecoderWriteByte(reg, 1);
  Pause(0);
  DecoderWriteByte(value, 1);
  Pause(1);
  DecoderStop();
}

// The register address goes in a transaction of its own, ended by a stop.
int DecoderBus::ReadDecoderRegister(int reg) const {
  DecoderStart();
  DecoderWriteByte(kWriteAddress, 1);
  Pause(1);
  DecoderWriteByte(reg, 1);
  Pause(1);
  DecoderStop();
  Pause(1);
  DecoderStart();
  DecoderWriteByte(kReadAddress, 1);
  Pause(1);
  int value = DecoderReadByte(0);
  Pause(1);
  DecoderStop();
  Pause(1);
  return value;
}

void DecoderBus::DecoderSetup() const {
  for (const RegisterValue& entry : kDecoderSetup) WriteDecoderRegister(entry.reg, entry.value);
}

bool DecoderBus::CheckDecoder() const {
  int id = ReadDecoderRegister(kIdentification);
  ReadDecoderRegister(kIdentificationLow);  // read as the set-up does; not used
  return id == kDecoderFamily;
}

}  // namespace vistrel

using vistrel::cameraController;

namespace {

// A picture control's export: the value, clamped, to the decoder's register;
// always 0. Before Initialization the bus pins have no directions: nothing
// is driven.
int32_t WriteControl(int reg, int32_t value) {
  if (cameraController.decoderReady) cameraController.decoderBus.WriteDecoderRegister(reg, vistrel::Clamp(value));
  return 0;
}

}  // namespace

TOLVEX_EXPORT int32_t SetBrightnessControl(int32_t value) { return WriteControl(vistrel::kBrightness, value); }

TOLVEX_EXPORT int32_t SetColorSaturationControl(int32_t value) { return WriteControl(vistrel::kSaturation, value); }

TOLVEX_EXPORT int32_t SetHueControl(int32_t value) { return WriteControl(vistrel::kHue, value); }

TOLVEX_EXPORT int32_t SetContrastControl(int32_t value) { return WriteControl(vistrel::kContrast, value); }

TOLVEX_EXPORT int32_t SetDefaultControl() {
  if (!cameraController.decoderReady) return 0;
  const vistrel::DecoderBus& bus = cameraController.decoderBus;
  bus.WriteDecoderRegister(vistrel::kBrightness, 0x80);
  bus.WriteDecoderRegister(vistrel::kHue, 0x00);
  bus.WriteDecoderRegister(vistrel::kContrast, 0x80);
  bus.WriteDecoderRegister(vistrel::kSaturation, 0x80);
  return 0;
}

TOLVEX_EXPORT int32_t SetSourceChannel(int32_t channel) {
  struct Wiring {
    int inputValue;
    int selectCode;
  };
  static constexpr std::array<Wiring, 4> kChannels = {{{0x00, 10}, {0x00, 1}, {0x02, 1}, {0x02, 10}}};
  if (!cameraController.decoderReady || channel < 1 || channel > 4) return 0;
  const Wiring& w = kChannels[size_t(channel - 1)];
  cameraController.decoderBus.WriteDecoderRegister(vistrel::kInputSelect, w.inputValue);
  cameraController.selectLines.Set(w.selectCode);
  return 0;
}
