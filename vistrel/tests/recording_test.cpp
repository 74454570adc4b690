// H.264 recording through the codec device: files ffprobe reads back, the
// pace, the plane order the encoder gets, pausing, continuation files,
// low space, and the messages of a failing device.
#include "vistrel_fixture.h"

#include <orlik/sim_codec.h>
#include <orlik/sim_files.h>

#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

namespace {

using vistrel_test::Boxes;
using vistrel_test::VistrelTest;

// ffprobe's view of a raw H.264 file: codec, width, height, frames.
struct Probe {
  std::string codec;
  int width = 0, height = 0, frames = 0;
};

Probe ProbeFile(const std::string& path) {
  std::string command = "ffprobe -v error -f h264 -count_frames -select_streams v:0 "
                        "-show_entries stream=codec_name,width,height,nb_read_frames -of csv=p=0 '" +
                        path + "' 2>/dev/null";
  Probe p;
  FILE* out = popen(command.c_str(), "r");
  if (!out) return p;
  char line[256] = {};
  if (std::fgets(line, sizeof line, out)) {
    char codec[32] = {};
    if (std::sscanf(line, "%31[^,],%d,%d,%d", codec, &p.width, &p.height, &p.frames) == 4) p.codec = codec;
  }
  pclose(out);
  return p;
}

// Collects what the library writes to standard error while it lives.
class StandardError {
 public:
  StandardError() {
    std::fflush(stderr);
    saved_ = dup(2);
    char name[] = "/tmp/vistrel-stderr-XXXXXX";
    file_ = mkstemp(name);
    path_ = name;
    dup2(file_, 2);
  }
  ~StandardError() {
    Restore();
    std::remove(path_.c_str());
  }
  // What the library wrote, without the platform's echo of message boxes
  // (those are checked through the board).
  std::string Text() {
    Restore();
    std::ifstream in(path_);
    std::string text, line;
    while (std::getline(in, line)) {
      if (line.rfind("[message box] ", 0) != 0) text += line + "\n";
    }
    return text;
  }

 private:
  void Restore() {
    if (saved_ < 0) return;
    std::fflush(stderr);
    dup2(saved_, 2);
    close(saved_);
    close(file_);
    saved_ = -1;
  }
  int saved_ = -1, file_ = -1;
  std::string path_;
};

class RecordingTest : public VistrelTest {
 protected:
  void SetUp() override {
    std::filesystem::path sd = std::filesystem::path(root_.path()) / "SD Card";
    std::filesystem::create_directories(sd);
    VistrelTest::SetUp();
  }
  void Parameters(const char16_t* path, int32_t rate, int32_t kbits = 2000) {
    Fn<decltype(&::SetEncodingParameter1)>("SetEncodingParameter1")(path, rate, kbits);
  }
  int32_t Init() { return Fn<decltype(&::InitEncoding)>("InitEncoding")(); }
  int32_t Run() { return Fn<decltype(&::RunEncoding)>("RunEncoding")(); }
  int32_t StopRec() { return Fn<decltype(&::StopEncoding)>("StopEncoding")(); }
  int32_t End() { return Fn<decltype(&::EndEncoding)>("EndEncoding")(); }
  std::string Host(const std::string& name) { return root_.path() + "/SD Card/" + name; }
  void Record(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
};

TEST_F(RecordingTest, ARecordingIsH264OfTheCaptureSizePacedToTheFrameRate) {
  ASSERT_EQ(Start(0), 1);
  ASSERT_EQ(Fn<decltype(&::SetCaptureResolution)>("SetCaptureResolution")(5), 1);
  struct Case {
    int32_t rate;
    double framesPerSecond;  // what the pace lets through of 29.97 camera frames
  };
  for (Case c : {Case{10, 29.97 / 3}, Case{15, 29.97 / 2}, Case{30, 29.97 / 2}}) {
    std::string name = "rate" + std::to_string(c.rate) + ".264";
    std::u16string panel = u"\\SD Card\\" + std::u16string(name.begin(), name.end());
    Parameters(panel.c_str(), c.rate);
    int before = orlik_sim_codec_frames();
    ASSERT_EQ(Init(), 1) << c.rate;
    auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(Run(), 1);
    Record(1500);
    End();
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    int encoded = orlik_sim_codec_frames() - before;
    Probe p = ProbeFile(Host(name));
    EXPECT_EQ(p.codec, "h264") << c.rate;
    EXPECT_EQ(p.width, 320);
    EXPECT_EQ(p.height, 240);
    EXPECT_EQ(p.frames, encoded) << c.rate;
    EXPECT_NEAR(encoded, seconds * c.framesPerSecond, seconds * c.framesPerSecond * 0.25 + 2) << c.rate;
  }
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(RecordingTest, TheEncoderGetsTheFramesPlanesInYUVOrder) {
  ASSERT_EQ(Start(0), 1);
  ASSERT_EQ(Fn<decltype(&::SetCaptureResolution)>("SetCaptureResolution")(5), 1);
  // Y 0x50, V 0x60, U 0x70 in the camera's YV12 picture.
  auto picture = vistrel_test::Picture(320, 240, 0x50, 0x70, 0x60);
  ASSERT_EQ(orlik_sim_camera_set_picture(1, picture.data(), 320, 240), 1);
  Parameters(u"\\SD Card\\planes.264", 30);
  ASSERT_EQ(Init(), 1);
  ASSERT_EQ(Run(), 1);
  Record(400);
  End();
  std::vector<uint8_t> input(320 * 240 * 3 / 2 + 64);
  ASSERT_EQ(orlik_sim_codec_last_input(input.data(), int(input.size())), 115200);
  auto count = [&](size_t from, size_t n, uint8_t v) {
    return size_t(std::count(input.begin() + long(from), input.begin() + long(from + n), v));
  };
  EXPECT_EQ(count(0, 76800, 0x50), 76800u);
  EXPECT_EQ(count(76800, 19200, 0x70), 19200u);  // U
  EXPECT_EQ(count(96000, 19200, 0x60), 19200u);  // V
}

TEST_F(RecordingTest, RunNeedsAnOpenFileAndStopThenRunResumesTheSameFile) {
  ASSERT_EQ(Start(0), 1);
  EXPECT_EQ(Run(), 0);
  Parameters(u"\\SD Card\\pause.264", 30);
  ASSERT_EQ(Init(), 1);
  EXPECT_EQ(Run(), 1);
  Record(500);
  EXPECT_EQ(StopRec(), 1);
  Record(150);
  int paused = orlik_sim_codec_frames();
  Record(300);
  EXPECT_EQ(orlik_sim_codec_frames(), paused);
  EXPECT_EQ(Run(), 1);
  Record(500);
  EXPECT_EQ(End(), 1);
  EXPECT_GT(orlik_sim_codec_frames(), paused + 3);
  Probe p = ProbeFile(Host("pause.264"));
  EXPECT_EQ(p.frames, orlik_sim_codec_frames());
  EXPECT_EQ(orlik_sim_codec_instances(), 0);
}

TEST_F(RecordingTest, AResolutionChangeClosesTheRecordingAndTheNewGrabberStartsFromDefaults) {
  ASSERT_EQ(Start(0), 1);
  Fn<decltype(&::SetEncodingParameter2)>("SetEncodingParameter2")(5, 22, 33, 1.5f);
  Parameters(u"\\SD Card\\before.264", 30);
  ASSERT_EQ(Init(), 1);
  orlik_sim_codec_init init{};
  ASSERT_EQ(orlik_sim_codec_last_init(&init), 1);
  EXPECT_EQ(init.gop_num, 5);
  EXPECT_EQ(init.intra_qp, 22);
  EXPECT_EQ(init.max_qp, 33);
  EXPECT_FLOAT_EQ(init.gamma, 1.5f);
  ASSERT_EQ(Run(), 1);
  Record(400);
  ASSERT_EQ(Fn<decltype(&::SetCaptureResolution)>("SetCaptureResolution")(1), 1);
  // The old recording is closed: complete and no longer growing.
  EXPECT_EQ(orlik_sim_codec_instances(), 0);
  Probe before = ProbeFile(Host("before.264"));
  EXPECT_EQ(before.width, 160);
  EXPECT_EQ(before.frames, orlik_sim_codec_frames());
  EXPECT_EQ(Run(), 0);
  // The new grabber has its own parameters, not those set for the old one.
  Parameters(u"\\SD Card\\after.264", 30);
  ASSERT_EQ(Init(), 1);
  ASSERT_EQ(orlik_sim_codec_last_init(&init), 1);
  EXPECT_NE(init.gop_num, 5);
  EXPECT_EQ(init.width, 192);
  End();
}

TEST_F(RecordingTest, UnloadingWhileRecordingClosesTheFileOnAWholeFrame) {
  ASSERT_EQ(Start(0), 1);
  Parameters(u"\\SD Card\\unload.264", 30);
  ASSERT_EQ(Init(), 1);
  ASSERT_EQ(Run(), 1);
  Record(600);
  lib_.reset();  // no EndEncoding: the application just goes
  EXPECT_EQ(orlik_sim_codec_instances(), 0);
  int encoded = orlik_sim_codec_frames();
  Probe p = ProbeFile(Host("unload.264"));
  EXPECT_GT(encoded, 3);
  EXPECT_EQ(p.codec, "h264");
  EXPECT_EQ(p.frames, encoded) << "every encoded frame written whole";
}

TEST_F(RecordingTest, WithLittleFreeSpaceTheFileStaysEmptyAndTheRecordingGoesOn) {
  orlik_sim_set_storage_free("\\SD Card", 50000000);
  ASSERT_EQ(Start(0), 1);
  Parameters(u"\\SD Card\\low.264", 30);
  ASSERT_EQ(Init(), 1);
  ASSERT_EQ(Run(), 1);
  Record(500);
  int encoded = orlik_sim_codec_frames();
  Record(300);
  End();
  EXPECT_GT(encoded, 3);
  EXPECT_GT(orlik_sim_codec_frames(), encoded);
  EXPECT_EQ(std::filesystem::file_size(Host("low.264")), 0u);
}

TEST_F(RecordingTest, AFileTheCardRefusesOrFillsUpUnderEndsCleanly) {
  ASSERT_EQ(Start(0), 1);
  Parameters(u"\\SD Card\\full.264", 30);
  // A write-protected card: no file, no encoder, no message.
  int refused = orlik_sim_fail_files("\\SD Card", ORLIK_SIM_FILE_CREATE, ORLIK_SIM_ACCESS_DENIED, 0, 1);
  EXPECT_EQ(Init(), 0);
  EXPECT_EQ(orlik_sim_file_fault_hits(refused), 1);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(orlik_sim_codec_instances(), 0);
  EXPECT_TRUE(Boxes().empty());

  // The card fills up after the first writes (the free-space reading still
  // says there is room): the frames go on being encoded, EndEncoding closes
  // the file, and what reached it before is a stream that can be read.
  int full = orlik_sim_fail_files("\\SD Card\\full.264", ORLIK_SIM_FILE_WRITE, ORLIK_SIM_DISK_FULL, 1, -1);
  ASSERT_EQ(Init(), 1);
  ASSERT_EQ(Run(), 1);
  for (int i = 0; i < 100 && orlik_sim_file_fault_hits(full) == 0; ++i) Record(50);
  ASSERT_GT(orlik_sim_file_fault_hits(full), 0);
  int encoded = orlik_sim_codec_frames();
  Record(300);
  EXPECT_GT(orlik_sim_codec_frames(), encoded);
  EXPECT_EQ(End(), 1);
  EXPECT_EQ(orlik_sim_codec_instances(), 0);
  uintmax_t kept = std::filesystem::file_size(Host("full.264"));
  EXPECT_GT(kept, 0u);
  EXPECT_LT(kept, orlik_sim_codec_bytes());
  EXPECT_EQ(ProbeFile(Host("full.264")).codec, "h264");
  EXPECT_TRUE(Boxes().empty());

  // Room again: a new recording writes every frame.
  orlik_sim_clear_file_faults();
  Parameters(u"\\SD Card\\again.264", 30);
  int before = orlik_sim_codec_frames();
  ASSERT_EQ(Init(), 1);
  ASSERT_EQ(Run(), 1);
  Record(500);
  End();
  EXPECT_EQ(ProbeFile(Host("again.264")).frames, orlik_sim_codec_frames() - before);
}

TEST_F(RecordingTest, AFailingDeviceShowsItsMessages) {
  ASSERT_EQ(Start(0), 1);
  Parameters(u"\\SD Card\\fail.264", 30);
  struct Case {
    int step;
    const char* box;
    const char* diagnostic;
  };
  for (Case c : {Case{0, "SsbSipH264EncodeInit-Error", "[MFC_APP: ERROR] SsbSipH264EncodeInit: MFC Open failure.\n"},
                 Case{1, "H.264 Encoder Instance Initialization Failed.",
                      "[MFC_APP: ERROR] SsbSipH264EncodeExe: IOCTL_MFC_MPEG4_ENC_INIT failed.\n"},
                 Case{3, "ERROR-Input buffer is NULL",
                      "[MFC_APP: ERROR] SsbSipH264EncodeGetInBuf: Failed in get FRAM_BUF address\n"}}) {
    orlik_sim_reset();
    orlik_sim_fail_device("MFC1:", c.step);
    StandardError diagnostics;
    EXPECT_EQ(Init(), 0) << c.step;
    EXPECT_EQ(diagnostics.Text(), c.diagnostic);
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0], (vistrel_test::Box{"Error", c.box}));
    // What was opened is closed again: nothing to run.
    EXPECT_EQ(Run(), 0);
    EXPECT_EQ(orlik_sim_codec_instances(), 0);
    orlik_sim_fail_device("MFC1:", -1);
  }
  // An output buffer that cannot be had drops the frame and says why.
  orlik_sim_reset();
  ASSERT_EQ(Init(), 1);
  orlik_sim_fail_device("MFC1:", 4);
  StandardError diagnostics;
  ASSERT_EQ(Run(), 1);
  Record(300);
  End();
  orlik_sim_fail_device("MFC1:", -1);
  EXPECT_NE(diagnostics.Text().find("[MFC_APP: ERROR] SsbSipH264EncodeGetOutBuf: Failed in get LINE_BUF address.\n"),
            std::string::npos);
  EXPECT_EQ(std::filesystem::file_size(Host("fail.264")), 0u);
}

// The file limit is made small for this program only (the panel's stays
// 4,000,000,000 bytes): set before the library is loaded.
class ContinuationTest : public RecordingTest {
 protected:
  void SetUp() override {
    setenv("TOLVEX_TEST_RECORDING_LIMIT", "60000", 1);
    RecordingTest::SetUp();
  }
  void TearDown() override {
    RecordingTest::TearDown();
    unsetenv("TOLVEX_TEST_RECORDING_LIMIT");
  }
};

TEST_F(ContinuationTest, FilesContinueBeforeTheLimitAndTheCrossingFrameIsLost) {
  ASSERT_EQ(Start(0), 1);
  ASSERT_EQ(Fn<decltype(&::SetCaptureResolution)>("SetCaptureResolution")(5), 1);
  // Every frame an intra frame at a high rate: a few frames fill a file.
  Fn<decltype(&::SetEncodingParameter2)>("SetEncodingParameter2")(1, 12, 20, 1.0f);
  Parameters(u"\\SD Card\\clip.264", 30, 20000);
  ASSERT_EQ(Init(), 1);
  ASSERT_EQ(Run(), 1);
  for (int i = 0; i < 60 && !std::filesystem::exists(Host("clip[002].264")); ++i) Record(100);
  Record(300);
  End();
  ASSERT_TRUE(std::filesystem::exists(Host("clip.264")));
  ASSERT_TRUE(std::filesystem::exists(Host("clip[001].264")));
  ASSERT_TRUE(std::filesystem::exists(Host("clip[002].264")));
  uint64_t total = 0;
  int frames = 0;
  for (const char* name : {"clip.264", "clip[001].264", "clip[002].264", "clip[003].264", "clip[004].264"}) {
    if (!std::filesystem::exists(Host(name))) continue;
    uint64_t size = std::filesystem::file_size(Host(name));
    EXPECT_LT(size, 60000u) << name;
    total += size;
    Probe p = ProbeFile(Host(name));
    EXPECT_EQ(p.codec, "h264") << name;
    frames += p.frames;
  }
  // One encoded frame per finished file crossed the limit and was dropped.
  int finished = std::filesystem::exists(Host("clip[003].264")) ? 3 : 2;
  EXPECT_GE(orlik_sim_codec_frames() - frames, finished);
  EXPECT_LT(total, orlik_sim_codec_bytes());
}

TEST_F(ContinuationTest, AContinuationFileTheCardRefusesEndsTheRecording) {
  ASSERT_EQ(Start(0), 1);
  ASSERT_EQ(Fn<decltype(&::SetCaptureResolution)>("SetCaptureResolution")(5), 1);
  Fn<decltype(&::SetEncodingParameter2)>("SetEncodingParameter2")(1, 12, 20, 1.0f);
  Parameters(u"\\SD Card\\cut.264", 30, 20000);
  int refused = orlik_sim_fail_files("\\SD Card\\cut[001].264", ORLIK_SIM_FILE_CREATE, ORLIK_SIM_DISK_FULL, 0, -1);
  ASSERT_EQ(Init(), 1);
  ASSERT_EQ(Run(), 1);
  for (int i = 0; i < 60 && orlik_sim_file_fault_hits(refused) == 0; ++i) Record(100);
  ASSERT_EQ(orlik_sim_file_fault_hits(refused), 1);
  // Back to idle: the encoder is released and there is no file to run on.
  Record(200);
  EXPECT_EQ(orlik_sim_codec_instances(), 0);
  int frames = orlik_sim_codec_frames();
  Record(300);
  EXPECT_EQ(orlik_sim_codec_frames(), frames);
  EXPECT_EQ(Run(), 0);
  EXPECT_EQ(End(), 1);
  EXPECT_FALSE(std::filesystem::exists(Host("cut[001].264")));
  EXPECT_EQ(ProbeFile(Host("cut.264")).codec, "h264");
}

}  // namespace
