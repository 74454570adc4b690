// The camera's video decoder on the main bus, driven with the decoder bus
// sequences, and the input selection by register 0x00 and the select lines.
#include <orlik/sim.h>

#include "bus_records.h"
#include "decoder_master.h"
#include "tolvex_test.h"

#include <string>
#include <vector>

namespace {

using decoder_test::DecoderMaster;
using decoder_test::SelectLines;

using tolvex_test::Errors;
using tolvex_test::Transcript;

class Decoder : public tolvex_test::PanelTest {};

TEST_F(Decoder, WritesAndReadsWithTheDataLineHighOnEveryNinthClock) {
  DecoderMaster m;
  orlik_sim_bus_clear("main");

  // A write: every byte acknowledged, the master's high output visible.
  m.Start();
  EXPECT_EQ(m.Write(0xB8), 0) << "the decoder's low wins over the master's high";
  EXPECT_EQ(m.Write(0x09), 0);
  EXPECT_EQ(m.Write(0x5A), 0);
  m.Stop();
  EXPECT_EQ(Transcript(), "S B8+^ 09+^ 5A+^ P");
  EXPECT_EQ(orlik_sim_decoder_register(0x09), 0x5A);

  // A read: the register in a transfer of its own, ended by a stop.
  orlik_sim_bus_clear("main");
  EXPECT_EQ(m.ReadRegister(0x09), 0x5A);
  EXPECT_EQ(Transcript(), "S B8+^ 09+^ P S B9+^ 5A- P");
  EXPECT_EQ(m.ReadRegister(0x80), 0x51);
  EXPECT_EQ(m.ReadRegister(0x81), 0x50);
  EXPECT_EQ(Errors(), std::vector<std::string>{});

  // Power-on values of the picture controls and the input register.
  EXPECT_EQ(m.ReadRegister(0x0A), 0x80);
  EXPECT_EQ(m.ReadRegister(0x0B), 0x00);
  EXPECT_EQ(m.ReadRegister(0x0C), 0x80);
  EXPECT_EQ(m.ReadRegister(0x00), 0x00);

  // The identification cannot be overwritten; the file ends at 0xFF.
  m.WriteRegister(0x80, 0x00);
  EXPECT_EQ(orlik_sim_decoder_register(0x80), 0x51);
  EXPECT_EQ(orlik_sim_decoder_register(0xFF), 0x00);
  EXPECT_EQ(orlik_sim_decoder_register(0x100), -1);
  EXPECT_EQ(orlik_sim_decoder_register(-1), -1);
  EXPECT_EQ(orlik_sim_decoder_writes(), 2);

  orlik_sim_reset();
  EXPECT_EQ(orlik_sim_decoder_register(0x09), 0x80) << "reset restores the power-on registers";
  EXPECT_EQ(orlik_sim_decoder_writes(), 0);
}

TEST_F(Decoder, TakesTheWholeSetUpTableInOrder) {
  const int table[19][2] = {{0x05, 0x00}, {0x05, 0x00}, {0x00, 0x00}, {0x01, 0x15}, {0x02, 0x00},
                            {0x03, 0x8F}, {0x04, 0xC0}, {0x0D, 0x47}, {0x0F, 0x02}, {0x28, 0x02},
                            {0x16, 0x6F}, {0x18, 0x6F}, {0x19, 0x6F}, {0x09, 0x80}, {0x0B, 0x00},
                            {0x0C, 0x80}, {0x0A, 0x80}, {0x27, 0x20}, {0x28, 0x00}};
  DecoderMaster m;
  orlik_sim_bus_clear("main");
  for (const auto& e : table) m.WriteRegister(e[0], e[1]);
  EXPECT_EQ(orlik_sim_decoder_writes(), 19);
  EXPECT_EQ(orlik_sim_decoder_register(0x28), 0x00) << "the last of the two writes stays";
  EXPECT_EQ(orlik_sim_decoder_register(0x03), 0x8F);
  EXPECT_EQ(orlik_sim_decoder_register(0x27), 0x20);
  std::string t = Transcript();
  EXPECT_EQ(t.substr(0, 38), "S B8+^ 05+^ 00+^ P S B8+^ 05+^ 00+^ P ");
  EXPECT_EQ(Errors(), std::vector<std::string>{});
}

TEST_F(Decoder, AnswersOnlyAfterItsSilentReadsAndNotWhenRemoved) {
  DecoderMaster m;
  orlik_sim_decoder_silent_reads(2);
  // Identification checks as the camera library makes them: 0x80, then 0x81.
  std::vector<int> seen;
  for (int attempt = 0; attempt < 3; ++attempt) {
    seen.push_back(m.ReadRegister(0x80));
    seen.push_back(m.ReadRegister(0x81));
  }
  EXPECT_EQ(seen, (std::vector<int>{0xFF, 0x50, 0xFF, 0x50, 0x51, 0x50}));

  orlik_sim_decoder_attach(0);
  orlik_sim_bus_clear("main");
  EXPECT_EQ(m.ReadRegister(0x80), 0xFF) << "nobody pulls the line";
  m.WriteRegister(0x09, 0x10);
  EXPECT_EQ(Transcript(), "S B8-^ 80-^ P S B9-^ FF- P S B8-^ 09-^ 10-^ P");
  EXPECT_EQ(orlik_sim_decoder_register(0x09), 0x80);
  EXPECT_EQ(orlik_sim_camera_input(), 0) << "no decoder, no picture";

  orlik_sim_reset();
  DecoderMaster again;
  EXPECT_EQ(again.ReadRegister(0x80), 0x51) << "fitted and awake after a reset";
}

TEST_F(Decoder, OnlyALowFromTheMasterCollidesOnTheOpenDrainLine) {
  // The main bus: a master that holds the data line low through the
  // decoder's acknowledge is an error (0xB8 ends in a 0 bit).
  DecoderMaster m;
  orlik_sim_bus_clear("main");
  m.Start();
  for (int i = 0; i < 8; ++i) {
    m.Sda((0xB8 >> (7 - i)) & 1);
    m.Scl(1);
    m.Scl(0);
  }
  m.Scl(1);
  m.Scl(0);
  m.Stop();
  auto errors = Errors();
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], "master drives the data line on clock 9 while video decoder acknowledges on it");

  // Bus A1 has no open-drain wiring: there a high output hides the module's
  // acknowledge, which is an error too.
  orlik_sim_counter_attach("A1", 1);
  orlik_sim_poke(decoder_test::kGpio + 0x80C, 0xA0);
  auto field = [](int pin, uint32_t v) {
    uint32_t c = orlik_sim_peek(decoder_test::kGpio + 0x800);
    orlik_sim_poke(decoder_test::kGpio + 0x800, (c & ~(0xFu << (4 * pin))) | (v << (4 * pin)));
  };
  auto line = [](int pin, int v) {
    uint32_t d = orlik_sim_peek(decoder_test::kGpio + 0x808);
    orlik_sim_poke(decoder_test::kGpio + 0x808, v ? (d | (1u << pin)) : (d & ~(1u << pin)));
  };
  line(2, 1);
  line(3, 1);
  field(3, 1);
  field(2, 1);
  line(2, 0);  // start
  line(3, 0);
  for (int i = 0; i < 8; ++i) {
    line(2, (0x1E >> (7 - i)) & 1);
    line(3, 1);
    line(3, 0);
  }
  line(2, 1);
  line(3, 1);
  line(3, 0);
  ASSERT_EQ(Errors("A1").size(), 1u);
  EXPECT_NE(Transcript("A1").find("1E-^"), std::string::npos) << Transcript("A1");
}

TEST_F(Decoder, InputFollowsTheChannelTable) {
  DecoderMaster m;
  EXPECT_EQ(orlik_sim_camera_input(), 0) << "select lines are inputs with pull-downs after reset";
  struct Case {
    int select;
    int n14;
    int n13;
    int input;
  };
  const Case cases[] = {
      {0x00, 1, 0, 1}, {0x00, 0, 1, 2}, {0x02, 0, 1, 3}, {0x02, 1, 0, 4},
      {0x00, 0, 0, 0}, {0x00, 1, 1, 0}, {0x02, 0, 0, 0}, {0x02, 1, 1, 0},
      {0x01, 1, 0, 0}, {0x01, 0, 1, 0}, {0x03, 0, 1, 0}, {0x08, 1, 0, 0},
  };
  for (const auto& c : cases) {
    m.WriteRegister(0x00, c.select);
    SelectLines(c.n14, c.n13);
    EXPECT_EQ(orlik_sim_camera_input(), c.input) << "register 0x00 = " << c.select << ", N14 " << c.n14 << ", N13 "
                                                 << c.n13;
  }
  m.WriteRegister(0x00, 0x02);
  SelectLines(0, 1);
  EXPECT_EQ(orlik_sim_camera_input(), 3);
  orlik_sim_decoder_attach(0);
  EXPECT_EQ(orlik_sim_camera_input(), 0);
  orlik_sim_decoder_attach(1);
  EXPECT_EQ(orlik_sim_camera_input(), 3);
}

}  // namespace
