// The video decoder as the chip sees it: the set-up at Initialization, the
// identification check, the picture controls and the input selection.
#include "bus_records.h"
#include "vistrel_fixture.h"

#include <sstream>
#include <type_traits>

namespace {

using vistrel_test::VistrelTest;

using tolvex_test::Transcript;

// The register writes in a transcript, as "RR=VV" items, in order.
std::vector<std::string> DecoderWrites(const std::string& transcript) {
  std::vector<std::string> writes;
  std::istringstream in(transcript);
  std::vector<std::string> tokens;
  for (std::string t; in >> t;) tokens.push_back(t);
  for (size_t i = 0; i + 4 < tokens.size(); ++i) {
    if (tokens[i] == "S" && tokens[i + 1].rfind("B8", 0) == 0 && tokens[i + 4] == "P")
      writes.push_back(tokens[i + 2].substr(0, 2) + "=" + tokens[i + 3].substr(0, 2));
  }
  return writes;
}

class DecoderTest : public VistrelTest {
 protected:
  // The picture controls and the input choice, called by name, share one type.
  using ControlFn = decltype(&::SetBrightnessControl);
  static_assert(std::is_same_v<ControlFn, decltype(&::SetHueControl)> &&
                std::is_same_v<ControlFn, decltype(&::SetContrastControl)> &&
                std::is_same_v<ControlFn, decltype(&::SetColorSaturationControl)> &&
                std::is_same_v<ControlFn, decltype(&::SetSourceChannel)>);
  void Control(const char* name, int32_t value) { Fn<ControlFn>(name)(value); }
  // The mean luma of the picture the camera shows now (160 x 96).
  double MeanLuma() {
    std::vector<uint8_t> yv12(160 * 96 * 3 / 2);
    orlik_sim_camera_picture(yv12.data(), 160, 96);
    double sum = 0;
    for (int i = 0; i < 160 * 96; ++i) sum += yv12[size_t(i)];
    return sum / (160 * 96);
  }
};

TEST_F(DecoderTest, InitializationWritesTheNineteenSetUpRegistersInOrder) {
  orlik_sim_bus_clear("main");
  ASSERT_EQ(Start(0), 1);
  std::string transcript = Transcript();
  std::vector<std::string> expected = {"05=00", "05=00", "00=00", "01=15", "02=00", "03=8F", "04=C0",
                                       "0D=47", "0F=02", "28=02", "16=6F", "18=6F", "19=6F", "09=80",
                                       "0B=00", "0C=80", "0A=80", "27=20", "28=00"};
  EXPECT_EQ(DecoderWrites(transcript), expected);
  // Each byte's ninth clock has the data line driven high, and the chip's
  // acknowledge wins: no protocol error.
  EXPECT_NE(transcript.find("S B8+^ 05+^ 00+^ P"), std::string::npos) << transcript.substr(0, 200);
  EXPECT_EQ(orlik_sim_bus_error_count("main"), 0);
  // The identification is read with the address in a transaction of its own.
  EXPECT_NE(transcript.find("S B8+^ 80+^ P S B9+^ 51- P"), std::string::npos);
  EXPECT_EQ(orlik_sim_decoder_register(0x28), 0x00);
  EXPECT_EQ(orlik_sim_decoder_register(0x03), 0x8F);
}

TEST_F(DecoderTest, ADecoderAnsweringAtTheThirdTryIsStillFound) {
  orlik_sim_decoder_silent_reads(2);
  EXPECT_EQ(Start(0), 1);
}

TEST_F(DecoderTest, ADecoderThatNeverAnswersFailsInitialization) {
  orlik_sim_decoder_silent_reads(3);
  EXPECT_EQ(Start(0), 0);
  // The graph is built all the same.
  int32_t w = 0, h = 0;
  Fn<decltype(&::GetCaptureResolution)>("GetCaptureResolution")(&w, &h);
  EXPECT_EQ(w, 160);
}

TEST_F(DecoderTest, PictureControlsAreClampedAndChangeThePicture) {
  ASSERT_EQ(Start(0), 1);
  double normal = MeanLuma();
  Control("SetBrightnessControl", 300);
  EXPECT_EQ(orlik_sim_decoder_register(0x09), 0xFF);
  EXPECT_GT(MeanLuma(), normal + 40);
  Control("SetHueControl", -5);
  EXPECT_EQ(orlik_sim_decoder_register(0x0B), 0x00);
  Control("SetContrastControl", 128);
  EXPECT_EQ(orlik_sim_decoder_register(0x0C), 0x80);
  Control("SetColorSaturationControl", 40);
  EXPECT_EQ(orlik_sim_decoder_register(0x0A), 40);
  Control("SetBrightnessControl", 20);
  EXPECT_LT(MeanLuma(), normal - 40);
  Fn<decltype(&::SetDefaultControl)>("SetDefaultControl")();
  EXPECT_EQ(orlik_sim_decoder_register(0x09), 0x80);
  EXPECT_EQ(orlik_sim_decoder_register(0x0A), 0x80);
  EXPECT_EQ(orlik_sim_decoder_register(0x0B), 0x00);
  EXPECT_EQ(orlik_sim_decoder_register(0x0C), 0x80);
  EXPECT_NEAR(MeanLuma(), normal, 20);
}

TEST_F(DecoderTest, SetSourceChannelSwitchesTheInputRegisterAndTheSelectLines) {
  ASSERT_EQ(Start(0), 1);
  EXPECT_EQ(orlik_sim_camera_input(), 1);
  struct Row {
    int channel, reg00, pin14, pin13;
  };
  for (Row row : {Row{3, 0x02, 0, 1}, Row{2, 0x00, 0, 1}, Row{4, 0x02, 1, 0}, Row{1, 0x00, 1, 0}}) {
    Control("SetSourceChannel", row.channel);
    EXPECT_EQ(orlik_sim_decoder_register(0x00), row.reg00) << row.channel;
    EXPECT_EQ(orlik_sim_pin_level('N', 14), row.pin14) << row.channel;
    EXPECT_EQ(orlik_sim_pin_level('N', 13), row.pin13) << row.channel;
    EXPECT_EQ(orlik_sim_camera_input(), row.channel);
  }
  // Other channels touch neither the decoder nor the lines.
  Control("SetSourceChannel", 3);
  orlik_sim_bus_clear("main");
  int changes = orlik_sim_pin_changes('N', 13);
  Control("SetSourceChannel", 0);
  Control("SetSourceChannel", 5);
  EXPECT_EQ(Transcript(), "");
  EXPECT_EQ(orlik_sim_pin_changes('N', 13), changes);
  EXPECT_EQ(orlik_sim_camera_input(), 3);
}

TEST_F(DecoderTest, TheSelectLinesAreOutputsWithPullUpsFromLoad) {
  EXPECT_EQ(orlik_sim_pin_mode('N', 13), 1);
  EXPECT_EQ(orlik_sim_pin_mode('N', 14), 1);
  EXPECT_EQ(orlik_sim_pin_pull('N', 13), 2);
  EXPECT_EQ(orlik_sim_pin_level('N', 14), 1);
  EXPECT_EQ(orlik_sim_pin_level('N', 13), 0);
}

}  // namespace
