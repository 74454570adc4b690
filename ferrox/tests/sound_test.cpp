// Sound playback and the device volume: what the panel's sound output played
// (every sample goes to a WAV file, ORLIK_AUDIO), the volume word, and the
// volume of load time restored at unload.
#include "ferrox_fixture.h"
#include "test_media.h"

#include <orlik/windows.h>

#include <chrono>
#include <thread>

using namespace std::chrono_literals;

namespace {

// 2 s of a 440 Hz sine at half of full scale, 16-bit mono.
const char* const kTonePipeline =
    "audiotestsrc wave=sine freq=440 volume=0.5 samplesperbuffer=4410 num-buffers=20 ! "
    "audio/x-raw,format=S16LE,rate=44100,channels=1 ! wavenc ! filesink location={out}";

DWORD DeviceVolume() {
  DWORD volume = 0;
  waveOutGetVolume(nullptr, &volume);
  return volume;
}

class Sound : public ferrox_test::FerroxTest {
 protected:
  void SetUp() override {
    wav_ = root_.path() + "/played.wav";
    setenv("ORLIK_AUDIO", wav_.c_str(), 1);
    FerroxTest::SetUp();
    Resolve();
    std::string made = tolvex_test::TestMedia::Get().Clip("tone.wav", kTonePipeline);
    ASSERT_FALSE(made.empty()) << "gst-launch-1.0 could not make the tone";
    std::error_code ec;
    std::filesystem::create_symlink(made, root_.path() + "/tone.wav", ec);
  }

  // The exports of the library as loaded now (a new load may map it
  // elsewhere).
  void Resolve() {
    SetPlayFilePath = Fn<decltype(&::SetPlayFilePath)>("SetPlayFilePath");
    Play_Sound = Fn<decltype(&::Play_Sound)>("Play_Sound");
    Stop_Sound = Fn<decltype(&::Stop_Sound)>("Stop_Sound");
    Pause_Sound = Fn<decltype(&::Pause_Sound)>("Pause_Sound");
    Is_Play = Fn<decltype(&::Is_Play)>("Is_Play");
    GetVolume = Fn<decltype(&::GetVolume)>("GetVolume");
    SetVolume = Fn<decltype(&::SetVolume)>("SetVolume");
  }

  // Seconds of sound the output has played so far, and its samples.
  tolvex_test::Pcm Played() { return tolvex_test::ReadWav(wav_); }
  double SecondsPlayed() { return Played().Seconds(); }

  std::string wav_;
  int32_t (*SetPlayFilePath)(const char16_t*);
  int32_t (*Play_Sound)();
  int32_t (*Stop_Sound)();
  void (*Pause_Sound)();
  int32_t (*Is_Play)();
  int32_t (*GetVolume)();
  void (*SetVolume)(int32_t);
};

bool WaitUntilEnded(int32_t (*isPlay)(), std::chrono::milliseconds limit) {
  auto end = std::chrono::steady_clock::now() + limit;
  while (isPlay() == 1)
    if (std::chrono::steady_clock::now() > end) return false;
    else std::this_thread::sleep_for(10ms);
  return true;
}

TEST_F(Sound, PlayTwiceStartsFromTheBeginningAndIsPlayEndsAtTheEnd) {
  EXPECT_EQ(Stop_Sound(), 1) << "nothing playing: nothing to fail";
  EXPECT_EQ(Is_Play(), 0);
  ASSERT_EQ(SetPlayFilePath(u"\\tone.wav"), S_OK);
  ASSERT_EQ(Play_Sound(), 1);
  std::this_thread::sleep_for(1200ms);
  EXPECT_EQ(Is_Play(), 1);
  // Again: the graph is released and built anew, the file starts over.
  ASSERT_EQ(Play_Sound(), 1);
  auto restart = std::chrono::steady_clock::now();
  std::this_thread::sleep_for(1200ms);
  EXPECT_EQ(Is_Play(), 1) << "2.4 s after the first start, the restarted 2 s sound still plays";
  ASSERT_TRUE(WaitUntilEnded(Is_Play, 3000ms));
  double restarted = std::chrono::duration<double>(std::chrono::steady_clock::now() - restart).count();
  // The whole 2 s again, not the 0.8 s that were left (a slow machine may
  // take a little longer to start).
  EXPECT_GT(restarted, 1.6);
  EXPECT_LT(restarted, 2.8);
  // The end is not a stop: Is_Play stays 0, Stop_Sound releases.
  std::this_thread::sleep_for(200ms);
  EXPECT_EQ(Is_Play(), 0);
  // 1.2 s of the first start and the whole 2 s of the second.
  EXPECT_NEAR(SecondsPlayed(), 3.2, 0.35);
  EXPECT_EQ(Stop_Sound(), 1);
  EXPECT_EQ(Is_Play(), 0);
}

TEST_F(Sound, PauseThenPlayResumesWhereItPaused) {
  ASSERT_EQ(SetPlayFilePath(u"\\tone.wav"), S_OK);
  ASSERT_EQ(Play_Sound(), 1);
  std::this_thread::sleep_for(800ms);
  Pause_Sound();
  std::this_thread::sleep_for(800ms);
  EXPECT_EQ(Is_Play(), 1) << "paused before the end";
  double beforeResume = SecondsPlayed();
  EXPECT_NEAR(beforeResume, 0.8, 0.3);
  auto resumed = std::chrono::steady_clock::now();
  ASSERT_EQ(Play_Sound(), 1);
  ASSERT_TRUE(WaitUntilEnded(Is_Play, 3000ms));
  double rest = std::chrono::duration<double>(std::chrono::steady_clock::now() - resumed).count();
  EXPECT_GT(rest, 0.9);
  EXPECT_LT(rest, 1.7) << "the rest of the sound, not all of it";
  std::this_thread::sleep_for(200ms);
  EXPECT_NEAR(SecondsPlayed(), 2.0, 0.3) << "every sample once";
}

TEST_F(Sound, VolumeIsTheLowHalfWordAndOutOfRangeValuesChangeNothing) {
  SetVolume(0x1234);
  EXPECT_EQ(DeviceVolume(), 0x00001234u) << "the whole word: high half-word 0";
  EXPECT_EQ(GetVolume(), 0x1234);
  for (int32_t v : {0x10000, -1, 0x7FFFFFFF}) {
    SetVolume(v);
    EXPECT_EQ(DeviceVolume(), 0x00001234u) << v;
  }
  // Set from elsewhere with both halves: only the low half-word comes back.
  waveOutSetVolume(nullptr, 0xABCD8765u);
  EXPECT_EQ(GetVolume(), 0x8765);
  SetVolume(0);
  EXPECT_EQ(GetVolume(), 0);
  SetVolume(0xFFFF);
  EXPECT_EQ(GetVolume(), 0xFFFF);
}

TEST_F(Sound, HalfVolumeHalvesTheAmplitudeOfWhatIsPlayed) {
  ASSERT_EQ(SetPlayFilePath(u"\\tone.wav"), S_OK);
  // Plays a stretch and gives the peak of its later half (samples queued
  // before a change may still come out at the old volume).
  auto peakAt = [&](int32_t volume) {
    SetVolume(volume);
    size_t before = Played().samples.size();
    EXPECT_EQ(Play_Sound(), 1);
    std::this_thread::sleep_for(500ms);
    Pause_Sound();
    std::this_thread::sleep_for(100ms);
    auto pcm = Played();
    EXPECT_GT(pcm.samples.size(), before + 4000);
    return pcm.Peak(before + (pcm.samples.size() - before) / 2);
  };
  int full = peakAt(0xFFFF);
  int half = peakAt(0x8000);
  EXPECT_NEAR(full, 16383, 300);
  EXPECT_NEAR(half, full / 2, 250);
  EXPECT_EQ(Stop_Sound(), 1);
}

TEST_F(Sound, UnloadRestoresTheDeviceVolumeOfLoadTime) {
  lib_->Close();
  waveOutSetVolume(nullptr, 0x7777ABCDu);
  Load();
  Resolve();
  SetVolume(0x0100);
  EXPECT_EQ(DeviceVolume(), 0x0100u);
  lib_->Close();
  EXPECT_EQ(DeviceVolume(), 0xABCDu) << "the low half-word of load time";
}

TEST_F(Sound, PathsThatDoNotFitAreRefusedAndMissingFilesFailToRender) {
  // 259 units fit the path field; 260 are refused whole, before any render.
  // (A folder keeps each name within what the host's file system allows.)
  std::string folder(100, 'd');
  std::filesystem::create_directory(root_.path() + "/" + folder);
  auto link = [&](size_t units) {
    std::string name = std::string(units - 106, 'c') + ".wav";
    std::error_code ec;
    std::filesystem::create_symlink(root_.path() + "/tone.wav", root_.path() + "/" + folder + "/" + name, ec);
    std::string path = "\\" + folder + "\\" + name;
    return std::u16string(path.begin(), path.end());
  };
  EXPECT_EQ(SetPlayFilePath(link(260).c_str()), HRESULT_FROM_WIN32(206));
  EXPECT_EQ(SetPlayFilePath(std::u16string(5000, u'x').c_str()), HRESULT_FROM_WIN32(206));
  EXPECT_LT(SetPlayFilePath(u"\\missing.wav"), 0);
  EXPECT_EQ(Stop_Sound(), 1);
  ASSERT_EQ(SetPlayFilePath(link(259).c_str()), S_OK);
  EXPECT_EQ(Play_Sound(), 1);
  std::this_thread::sleep_for(300ms);
  EXPECT_EQ(Is_Play(), 1);
  EXPECT_EQ(Stop_Sound(), 1);
  EXPECT_EQ(Is_Play(), 0);
}

// A thread already in the single-threaded model cannot enter the
// multithreaded one: COM fails at load. The exports still work (their lock
// was set up all the same) and unloading leaves nothing unbalanced.
TEST_F(Sound, ExportsWorkWhenComFailedAtLoad) {
  lib_->Close();
  std::thread([&] {
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
    Load();
    Resolve();
    SetVolume(0x4000);
    EXPECT_EQ(GetVolume(), 0x4000);
    EXPECT_EQ(SetPlayFilePath(u"\\tone.wav"), S_OK);
    EXPECT_EQ(Play_Sound(), 1);
    std::this_thread::sleep_for(200ms);
    EXPECT_EQ(Is_Play(), 1);
    Pause_Sound();
    EXPECT_EQ(Stop_Sound(), 1);
    lib_->Close();
    // The thread's own entry is the only one left.
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
    CoUninitialize();
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    CoUninitialize();
  }).join();
}

}  // namespace
