// TwoWireBus against the board's bus decoders: initialisation, the line
// primitives and the sequences on buses with 4-bit and 2-bit configuration
// fields, two buses sharing their registers, and a bus without its window.
#include "two_wire_bus.h"

#include "bus_records.h"
#include "tolvex_test.h"

#include <orlik/sim_bus.h>

#include <string>
#include <vector>

namespace {

using regs::BusPins;
using regs::TwoWireBus;

// The panel's buses, written out from the GPIO register layout.
constexpr BusPins kMainPins = {.data = 0x024, .sdaBit = 6, .sclBit = 5, .conf = 0x020, .sdaShift = 24,
                               .sclShift = 20, .fieldWidth = 4, .pull = 0x028, .pullShift = 10,
                               .pullWidth = 4, .pullValue = 0b0000};
constexpr BusPins kB1Pins = {.data = 0x164, .sdaBit = 10, .sclBit = 11, .conf = 0x160, .sdaShift = 20,
                             .sclShift = 22, .fieldWidth = 2, .pull = 0x168, .pullShift = 20,
                             .pullWidth = 4, .pullValue = 0b1010};
constexpr BusPins kA1Pins = {.data = 0x808, .sdaBit = 2, .sclBit = 3, .conf = 0x800, .sdaShift = 8,
                             .sclShift = 12, .fieldWidth = 4, .pull = 0x80C, .pullShift = 4,
                             .pullWidth = 4, .pullValue = 0b1010};
constexpr BusPins kA2Pins = {.data = 0x808, .sdaBit = 6, .sclBit = 7, .conf = 0x800, .sdaShift = 24,
                             .sclShift = 28, .fieldWidth = 4, .pull = 0x80C, .pullShift = 12,
                             .pullWidth = 4, .pullValue = 0b1010};

struct BusCase {
  const char* bus;     // the decoder's name
  const char* module;  // the counter module fitted on it
  const BusPins& pins;
  char port;
  int sda, scl;
  int pull;  // of both lines: 0 none, 2 pull-up
};

const BusCase kBuses[] = {
    {"main", "B2", kMainPins, 'B', 6, 5, 0},
    {"B1", "B1", kB1Pins, 'P', 10, 11, 2},
    {"A1", "A1", kA1Pins, 'K', 2, 3, 2},
    {"A2", "A2", kA2Pins, 'K', 6, 7, 2},
};

using tolvex_test::Errors;
using tolvex_test::Levels;
using tolvex_test::Transcript;

class TwoWireBusTest : public tolvex_test::PanelTest {};

TEST_F(TwoWireBusTest, InitialiseLeavesBothLinesOutputsIdleHighWithTheirPulls) {
  for (const auto& c : kBuses) {
    SCOPED_TRACE(c.bus);
    TwoWireBus bus(c.pins);
    ASSERT_TRUE(bus.usable());
    bus.speed = 5;
    bus.Initialise();
    for (int pin : {c.sda, c.scl}) {
      EXPECT_EQ(orlik_sim_pin_mode(c.port, pin), 1) << pin;
      EXPECT_EQ(orlik_sim_pin_level(c.port, pin), 1) << pin;
      EXPECT_EQ(orlik_sim_pin_pull(c.port, pin), c.pull) << pin;
    }
    EXPECT_EQ(bus.ackWaitTimeout, -1);
    EXPECT_EQ(bus.speed, 0);
    EXPECT_EQ(Transcript(c.bus), "");
    EXPECT_EQ(Errors(c.bus), std::vector<std::string>{});
  }
}

TEST_F(TwoWireBusTest, SequencesReadAsTheDecoderSeesThem) {
  for (const auto& c : kBuses) {
    SCOPED_TRACE(c.bus);
    orlik_sim_counter_attach(c.module, 1);
    orlik_sim_counter_set_firmware(c.module, 0x42);
    TwoWireBus bus(c.pins);
    bus.Initialise();
    // The module's firmware command, then a read of its answer: acknowledged
    // bytes ask for more, the last one is not acknowledged.
    bus.Start();
    EXPECT_EQ(bus.WriteByte(0x1E), 0);
    EXPECT_EQ(bus.WriteByte(0x146), 0);  // only bits 7-0 go out
    bus.Start();
    EXPECT_EQ(bus.WriteByte(0x1F), 0);
    EXPECT_EQ(bus.ReadByte(1), 0x42);
    EXPECT_EQ(bus.ReadByte(2), 0xFF);  // only 1 acknowledges
    bus.Stop();
    EXPECT_EQ(Transcript(c.bus), "S 1E+ 46+ S 1F+ 42+ FF- P");
    // Nobody answers at another address.
    bus.Start();
    EXPECT_EQ(bus.WriteByte(0xA0), 1);
    bus.Stop();
    EXPECT_EQ(Transcript(c.bus), "S 1E+ 46+ S 1F+ 42+ FF- P S A0- P");
    EXPECT_EQ(Errors(c.bus), std::vector<std::string>{});
  }
}

TEST_F(TwoWireBusTest, PrimitivesMoveOnlyTheirOwnLine) {
  TwoWireBus bus(kMainPins);
  bus.Initialise();
  orlik_sim_bus_clear("main");
  // Levels: '3' both high, '1' clock high only, '2' data high only, '0' both low.
  bus.SetData(0);
  bus.SetClock(0);
  bus.SetData(1);
  bus.SetClock(1);
  EXPECT_EQ(Levels("main"), "1023");
  bus.DataDirection(0);
  EXPECT_EQ(orlik_sim_pin_mode('B', 6), 0);
  EXPECT_EQ(orlik_sim_pin_mode('B', 5), 1);
  orlik_sim_drive_pin('B', 6, 0);
  EXPECT_EQ(bus.ReadData(), 0);
  orlik_sim_drive_pin('B', 6, -1);
  EXPECT_EQ(bus.ReadData(), 1);  // the board's pull-up
  bus.DataDirection(1);
  EXPECT_EQ(orlik_sim_pin_mode('B', 6), 1);
  // The other pins of port B keep their levels.
  for (int pin = 0; pin < 5; ++pin) EXPECT_EQ(orlik_sim_pin_changes('B', pin), 0) << pin;
}

TEST_F(TwoWireBusTest, BusesSharingRegistersLeaveEachOtherAlone) {
  TwoWireBus a1(kA1Pins), a2(kA2Pins);
  a1.Initialise();
  a2.Initialise();
  orlik_sim_counter_attach("A1", 1);
  orlik_sim_counter_attach("A2", 1);
  orlik_sim_bus_clear("A1");
  orlik_sim_bus_clear("A2");
  a1.Start();
  EXPECT_EQ(a1.WriteByte(0x1E), 0);
  a1.Stop();
  EXPECT_EQ(Transcript("A1"), "S 1E+ P");
  EXPECT_EQ(Levels("A2"), "");
  EXPECT_EQ(orlik_sim_pin_mode('K', 6), 1);
  EXPECT_EQ(orlik_sim_pin_mode('K', 7), 1);
  a2.Start();
  EXPECT_EQ(a2.WriteByte(0x1E), 0);
  a2.Stop();
  EXPECT_EQ(Transcript("A2"), "S 1E+ P");
  EXPECT_EQ(Transcript("A1"), "S 1E+ P");
  EXPECT_EQ(Errors("A1"), std::vector<std::string>{});
  EXPECT_EQ(Errors("A2"), std::vector<std::string>{});
}

TEST_F(TwoWireBusTest, WithoutItsWindowABusTouchesNothing) {
  orlik_sim_fail_device("HTM1:", 0);
  TwoWireBus bus(kMainPins);
  EXPECT_FALSE(bus.usable());
  EXPECT_EQ(orlik_sim_message_count(), 1);
  orlik_sim_trace(1);
  bus.Initialise();
  bus.Start();
  bus.WriteByte(0x98);
  EXPECT_EQ(bus.ReadByte(1), 0);
  bus.Stop();
  EXPECT_EQ(orlik_sim_trace_count(), 0);
  orlik_sim_trace(0);
  EXPECT_EQ(Levels("main"), "");
}

}  // namespace
