// A master for the video decoder, written from the decoder bus sequences
// (start and stop without touching the data direction, a ninth clock with the
// data line driven high after every written byte, one byte read without an
// acknowledge), on the main bus pins through the GPIO registers. Also sets
// the camera select lines HW-N13/HW-N14.
#pragma once

#include <orlik/sim.h>

#include <cstdint>

namespace decoder_test {

constexpr uint32_t kGpio = 0x7F008000;
constexpr uint32_t kConB = 0x020, kDatB = 0x024, kPudB = 0x028;
constexpr int kData = 6, kClock = 5;
constexpr uint32_t kConN = 0x830, kDatN = 0x834;

inline uint32_t Peek(uint32_t off) { return orlik_sim_peek(kGpio + off); }
inline void Poke(uint32_t off, uint32_t v) { orlik_sim_poke(kGpio + off, v); }

class DecoderMaster {
 public:
  // Both lines outputs, no pulls, idle high.
  DecoderMaster() {
    Field(kClock, 1);
    Field(kData, 1);
    Poke(kPudB, Peek(kPudB) & ~(0xFu << 10));
    Sda(1);
    Scl(1);
  }

  void Sda(int v) { Line(kData, v); }
  void Scl(int v) { Line(kClock, v); }
  void Direction(int out) { Field(kData, out ? 1u : 0u); }
  // The data register: the line's level while it is an input.
  int Level() const { return int((Peek(kDatB) >> kData) & 1); }

  void Start() {
    Sda(1);
    Scl(1);
    Sda(0);
    Scl(0);
  }
  void Stop() {
    Sda(0);
    Scl(0);
    Scl(1);
    Sda(1);
  }
  // Returns the wire's level during the ninth clock (the master does not
  // read it: its output stays high).
  int Write(int b) {
    for (int i = 0; i < 8; ++i) {
      Sda((b >> (7 - i)) & 1);
      Scl(1);
      Scl(0);
    }
    Sda(1);
    Scl(1);
    int seen = orlik_sim_pin_level('B', kData);
    Scl(0);
    return seen;
  }
  int Read() {
    Sda(1);
    Direction(0);
    int result = 0;
    for (int i = 0; i < 8; ++i) {
      Scl(1);
      result |= Level() << (7 - i);
      Scl(0);
    }
    Direction(1);
    Sda(1);  // no acknowledge
    Scl(1);
    Scl(0);
    Sda(1);
    return result;
  }

  void WriteRegister(int reg, int value) {
    Start();
    Write(0xB8);
    Write(reg);
    Write(value);
    Stop();
  }
  int ReadRegister(int reg) {
    Start();
    Write(0xB8);
    Write(reg);
    Stop();
    Start();
    Write(0xB9);
    int v = Read();
    Stop();
    return v;
  }

 private:
  static void Field(int pin, uint32_t v) {
    uint32_t c = Peek(kConB);
    Poke(kConB, (c & ~(0xFu << (4 * pin))) | (v << (4 * pin)));
  }
  static void Line(int pin, int v) {
    uint32_t d = Peek(kDatB);
    Poke(kDatB, v ? (d | (1u << pin)) : (d & ~(1u << pin)));
  }
};

// Select lines as outputs with the given levels.
inline void SelectLines(int n14, int n13) {
  Poke(kConN, (Peek(kConN) & ~0x3C000000u) | 0x14000000u);
  uint32_t d = Peek(kDatN) & ~((1u << 13) | (1u << 14));
  Poke(kDatN, d | (uint32_t(n14) << 14) | (uint32_t(n13) << 13));
}

// Register 0x00 and the lines of a camera channel (1-4).
inline void SelectChannel(DecoderMaster& m, int channel) {
  static const int kTable[4][3] = {{0x00, 1, 0}, {0x00, 0, 1}, {0x02, 0, 1}, {0x02, 1, 0}};
  const int* c = kTable[channel - 1];
  m.WriteRegister(0x00, c[0]);
  SelectLines(c[1], c[2]);
}

}  // namespace decoder_test
