// The audio renderer and the panel's sound output: the samples that reach
// the output's WAV file after every volume stage, real-time playback, two
// streams at once, and the wave-output volume word.
#include <orlik/mmsystem.h>
#include <orlik/windows.h>

#include "push_source.h"
#include "tolvex_test.h"

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

using namespace renderer_test;
using Clock = std::chrono::steady_clock;

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

std::vector<uint8_t> Bytes(const std::vector<int16_t>& samples) {
  std::vector<uint8_t> bytes(samples.size() * 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    bytes[2 * i] = uint8_t(samples[i]);
    bytes[2 * i + 1] = uint8_t(uint16_t(samples[i]) >> 8);
  }
  return bytes;
}

// Stereo frames whose left and right samples differ and cover the range.
std::vector<int16_t> Sweep(size_t frames) {
  std::vector<int16_t> s(frames * 2);
  for (size_t i = 0; i < frames; ++i) {
    s[2 * i] = int16_t(std::lround(30000 * std::sin(double(i) * 0.031)));
    s[2 * i + 1] = int16_t(std::lround(-20000 * std::cos(double(i) * 0.017)));
  }
  return s;
}

struct Wav {
  bool valid = false;
  int channels = 0, rate = 0, bits = 0;
  std::vector<int16_t> samples;
};

// Reads a WAV file as the output writes it; valid only when both size fields
// agree with the file's length.
Wav ReadWav(const std::string& path) {
  Wav wav;
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (b.size() < 44) return wav;
  auto u32 = [&](size_t at) { return uint32_t(b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24); };
  auto u16 = [&](size_t at) { return int(b[at] | b[at + 1] << 8); };
  wav.valid = std::memcmp(b.data(), "RIFF", 4) == 0 && std::memcmp(b.data() + 8, "WAVEfmt ", 8) == 0 &&
              std::memcmp(b.data() + 36, "data", 4) == 0 && u32(4) == b.size() - 8 && u32(40) == b.size() - 44 &&
              u16(20) == 1;
  wav.channels = u16(22);
  wav.rate = int(u32(24));
  wav.bits = u16(34);
  for (size_t at = 44; at + 1 < b.size(); at += 2) wav.samples.push_back(int16_t(u16(at)));
  return wav;
}

class AudioRenderer : public tolvex_test::PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    wavPath_ = root_.path() + "/speaker.wav";
    setenv("ORLIK_AUDIO", wavPath_.c_str(), 1);
  }
  void TearDown() override { CoUninitialize(); }

  // A renderer fed by a push source of this format, both running.
  struct Chain {
    ComPtr<IBaseFilter> renderer;
    PushSource* source = nullptr;
    ~Chain() {
      if (source) {
        if (renderer) source->StopAndDisconnect(renderer.get());
        source->Release();
      }
    }
    HRESULT Run() {
      HRESULT hr = renderer->Run(0);
      return SUCCEEDED(hr) ? source->Run(0) : hr;
    }
  };
  std::unique_ptr<Chain> Connect(const MediaType& type, LONG bufferBytes = 4410 * 4) {
    auto chain = std::make_unique<Chain>();
    chain->renderer = Create<IBaseFilter>(CLSID_DSoundRender, IID_IBaseFilter);
    EXPECT_TRUE(chain->renderer);
    chain->source = new PushSource(*type.get(), bufferBytes);
    EXPECT_EQ(chain->source->ConnectTo(chain->renderer.get()), S_OK);
    return chain;
  }

  std::string wavPath_;
};

TEST_F(AudioRenderer, WavHoldsEverySampleAfterTheStreamAndDeviceVolumes) {
  // Each row plays the same sweep through a new renderer; the WAV file
  // holds the rows one after the other.
  struct Row {
    LONG volume;   // IBasicAudio, hundredths of a decibel
    LONG balance;
    DWORD device;  // wave-output volume word
    double left, right;  // expected gains
  } rows[] = {
      {0, 0, 0xFFFFFFFF, 1.0, 1.0},
      {0, 0, 0x00008000, 32768.0 / 65535, 32768.0 / 65535},  // the speaker plays the low half-word
      {-600, 0, 0xFFFFFFFF, std::pow(10.0, -0.3), std::pow(10.0, -0.3)},
      {-600, 0, 0x7FFF7FFF, std::pow(10.0, -0.3) * 32767 / 65535, std::pow(10.0, -0.3) * 32767 / 65535},
      {0, 2000, 0xFFFFFFFF, 0.1, 1.0},  // balance right: the left channel 20 dB down
      {-10000, 0, 0xFFFFFFFF, 0.0, 0.0},
  };
  const auto sweep = Sweep(4410);
  for (const Row& row : rows) {
    auto chain = Connect(AudioType(44100, 2));
    auto audio = chain->renderer.As<IBasicAudio>(IID_IBasicAudio);
    ASSERT_EQ(audio->put_Volume(row.volume), S_OK);
    ASSERT_EQ(audio->put_Balance(row.balance), S_OK);
    ASSERT_EQ(waveOutSetVolume(nullptr, row.device), MMSYSERR_NOERROR);
    ASSERT_EQ(chain->Run(), S_OK);
    ASSERT_EQ(chain->source->PushAll(Bytes(sweep)), S_OK);
    ASSERT_EQ(chain->source->EndOfStream(), S_OK);  // returns once it has played
  }
  Wav wav = ReadWav(wavPath_);
  ASSERT_TRUE(wav.valid);
  EXPECT_EQ(wav.channels, 2);
  EXPECT_EQ(wav.rate, 44100);
  EXPECT_EQ(wav.bits, 16);
  ASSERT_EQ(wav.samples.size(), std::size(rows) * sweep.size());
  for (size_t r = 0; r < std::size(rows); ++r) {
    int wrong = 0;
    for (size_t i = 0; i < sweep.size(); ++i) {
      double gain = i % 2 ? rows[r].right : rows[r].left;
      long expected = std::lround(sweep[i] * gain);
      if (std::abs(wav.samples[r * sweep.size() + i] - expected) > (gain == 1.0 ? 0 : 1)) ++wrong;
    }
    EXPECT_EQ(wrong, 0) << "row " << r;
  }
  EXPECT_EQ(orlik_sim_sound_frames(), std::size(rows) * 4410);
}

TEST_F(AudioRenderer, PlaysInRealTimeWhateverThePushersPace) {
  setenv("ORLIK_AUDIO", "none", 1);
  auto chain = Connect(AudioType(44100, 2));
  ASSERT_EQ(chain->Run(), S_OK);
  const auto second = Bytes(Sweep(44100));
  auto start = Clock::now();
  ASSERT_EQ(chain->source->PushAll(second), S_OK);
  double pushed = Seconds(Clock::now() - start);
  EXPECT_EQ(orlik_sim_sound_playing(), 1);
  ASSERT_EQ(chain->source->EndOfStream(), S_OK);
  double played = Seconds(Clock::now() - start);
  // The writes run at most 200 ms ahead of the speaker.
  EXPECT_GT(pushed, 0.7);
  EXPECT_GT(played, 0.95);
  EXPECT_LT(played, 1.6);
  EXPECT_EQ(orlik_sim_sound_frames(), 44100u);
  EXPECT_EQ(orlik_sim_sound_playing(), 0);
  char output[64];
  EXPECT_EQ(orlik_sim_sound_output(output, sizeof output), 1);
  EXPECT_STREQ(output, "silent");
}

TEST_F(AudioRenderer, UnsetTheHostsOutputWhenItWorksElseSilence) {
  unsetenv("ORLIK_AUDIO");
  auto chain = Connect(AudioType(44100, 2));
  ASSERT_EQ(chain->Run(), S_OK);
  ASSERT_EQ(chain->source->PushAll(Bytes(Sweep(2205))), S_OK);
  ASSERT_EQ(chain->source->EndOfStream(), S_OK);
  char output[64];
  EXPECT_EQ(orlik_sim_sound_output(output, sizeof output), 1);
  std::string name = output;
  EXPECT_TRUE(name == "silent" || name == "host:pulsesink" || name == "host:alsasink") << name;
  EXPECT_EQ(orlik_sim_sound_frames(), 2205u);
  EXPECT_FALSE(std::filesystem::exists(wavPath_));
}

TEST_F(AudioRenderer, SilenceBetweenSoundsIsNotWrittenAndOtherFormatsAreConverted) {
  auto chain = Connect(AudioType(22050, 1), 2205 * 2);
  ASSERT_EQ(chain->Run(), S_OK);
  std::vector<int16_t> mono(2205, 1000);  // 0.1 s
  ASSERT_EQ(chain->source->PushAll(Bytes(mono)), S_OK);
  std::this_thread::sleep_for(std::chrono::milliseconds(400));  // the speaker runs dry
  std::fill(mono.begin(), mono.end(), int16_t(-700));
  ASSERT_EQ(chain->source->PushAll(Bytes(mono)), S_OK);
  ASSERT_EQ(chain->source->EndOfStream(), S_OK);
  Wav wav = ReadWav(wavPath_);
  ASSERT_TRUE(wav.valid);
  // 0.2 s at 44100 Hz, each mono sample on both channels, no gap between.
  size_t frames = wav.samples.size() / 2;
  EXPECT_NEAR(double(frames), 8820.0, 4.0);
  size_t loud = 0, quiet = 0;
  for (size_t i = 0; i < wav.samples.size(); i += 2) {
    EXPECT_EQ(wav.samples[i], wav.samples[i + 1]);
    loud += wav.samples[i] == 1000;
    quiet += wav.samples[i] == -700;
  }
  EXPECT_GT(loud, 4400u - 8);
  EXPECT_GT(quiet, 4400u - 8);
  EXPECT_LE(frames - loud - quiet, 4u);  // the interpolated step between them
}

TEST_F(AudioRenderer, TwoStreamsAtOnceAreMixed) {
  auto first = Connect(AudioType(44100, 2));
  auto second = Connect(AudioType(44100, 2));
  ASSERT_EQ(first->Run(), S_OK);
  ASSERT_EQ(second->Run(), S_OK);
  const size_t frames = 13230;  // 0.3 s each
  std::vector<int16_t> a(frames * 2, 1000), b(frames * 2, 2000);
  std::thread other([&] {
    EXPECT_EQ(second->source->PushAll(Bytes(b)), S_OK);
    EXPECT_EQ(second->source->EndOfStream(), S_OK);
  });
  EXPECT_EQ(first->source->PushAll(Bytes(a)), S_OK);
  EXPECT_EQ(first->source->EndOfStream(), S_OK);
  other.join();
  Wav wav = ReadWav(wavPath_);
  ASSERT_TRUE(wav.valid);
  // Mixing adds: nothing lost, nothing doubled, and most of it overlapped.
  int64_t sum = 0;
  size_t both = 0;
  for (int16_t s : wav.samples) {
    sum += s;
    both += s == 3000;
  }
  EXPECT_EQ(sum, int64_t(frames) * 2 * 3000);
  EXPECT_GT(both, frames);  // more than half the samples carry both streams
  EXPECT_LT(wav.samples.size(), 4 * frames);
  EXPECT_EQ(orlik_sim_sound_peak(), 3000);
}

TEST_F(AudioRenderer, StopReleasesAWriteHeldWhilePaused) {
  auto chain = Connect(AudioType(44100, 2));
  ASSERT_EQ(chain->renderer->Pause(), S_OK);
  ASSERT_EQ(chain->source->Pause(), S_OK);
  std::atomic<bool> returned{false};
  std::thread pusher([&] {
    chain->source->PushAll(Bytes(Sweep(22050)));  // 0.5 s: more than a paused stream takes
    returned = true;
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_FALSE(returned);
  EXPECT_EQ(orlik_sim_sound_frames(), 0u);  // paused: nothing played
  EXPECT_EQ(chain->renderer->Stop(), S_OK);
  pusher.join();
  EXPECT_TRUE(returned);
}

TEST_F(AudioRenderer, BasicAudioRangesTypesAndIdentity) {
  for (const CLSID* clsid : {&CLSID_DSoundRender, &CLSID_AudioRender}) {
    auto renderer = Create<IBaseFilter>(*clsid, IID_IBaseFilter);
    ASSERT_TRUE(renderer);
    CLSID got;
    ASSERT_EQ(renderer->GetClassID(&got), S_OK);
    EXPECT_TRUE(got == *clsid);
  }
  auto renderer = Create<IBaseFilter>(CLSID_DSoundRender, IID_IBaseFilter);
  ASSERT_TRUE(renderer);
  auto audio = renderer.As<IBasicAudio>(IID_IBasicAudio);
  ASSERT_TRUE(audio);
  LONG v = 1;
  EXPECT_EQ(audio->get_Volume(&v), S_OK);
  EXPECT_EQ(v, 0);
  EXPECT_EQ(audio->put_Volume(1), E_INVALIDARG);
  EXPECT_EQ(audio->put_Volume(-10001), E_INVALIDARG);
  EXPECT_EQ(audio->put_Volume(-10000), S_OK);
  EXPECT_EQ(audio->put_Balance(10001), E_INVALIDARG);
  EXPECT_EQ(audio->put_Balance(-10000), S_OK);
  EXPECT_EQ(audio->get_Volume(&v), S_OK);
  EXPECT_EQ(v, -10000);
  EXPECT_EQ(audio->get_Balance(&v), S_OK);
  EXPECT_EQ(v, -10000);
  UINT count = 3;
  EXPECT_EQ(audio->GetTypeInfoCount(&count), E_NOTIMPL);

  ComPtr<IPin> pin;
  ASSERT_EQ(renderer->FindPin(u"Audio Input pin (rendered)", pin.put()), S_OK);
  struct Case {
    const char* what;
    MediaType type;
    HRESULT accept;
  } cases[] = {
      {"44.1 kHz stereo", AudioType(44100, 2), S_OK},
      {"8 kHz mono", AudioType(8000, 1), S_OK},
      {"8-bit", AudioType(44100, 2, 8), S_FALSE},
      {"three channels", AudioType(44100, 3), S_FALSE},
      {"float", AudioType(44100, 2, 32, WAVE_FORMAT_IEEE_FLOAT), S_FALSE},
      {"video", VideoType(MEDIASUBTYPE_RGB32, 8, 8, 32), S_FALSE},
  };
  for (auto& c : cases) EXPECT_EQ(pin->QueryAccept(c.type.get()), c.accept) << c.what;
}

TEST_F(AudioRenderer, WaveOutVolumeKeepsTheWholeWord) {
  DWORD v = 0;
  ASSERT_EQ(waveOutGetVolume(nullptr, &v), MMSYSERR_NOERROR);
  EXPECT_EQ(v, 0xFFFFFFFFu);
  EXPECT_EQ(waveOutSetVolume(nullptr, 0x12345678), MMSYSERR_NOERROR);
  ASSERT_EQ(waveOutGetVolume(nullptr, &v), MMSYSERR_NOERROR);
  EXPECT_EQ(v, 0x12345678u);
  EXPECT_EQ(orlik_sim_sound_volume(), 0x12345678u);
  EXPECT_EQ(waveOutGetVolume(nullptr, nullptr), MMSYSERR_INVALPARAM);
  EXPECT_EQ(waveOutGetVolume(reinterpret_cast<HWAVEOUT>(8), &v), MMSYSERR_INVALHANDLE);
  EXPECT_EQ(waveOutSetVolume(reinterpret_cast<HWAVEOUT>(8), 0), MMSYSERR_INVALHANDLE);
  orlik_sim_reset();
  EXPECT_EQ(orlik_sim_sound_volume(), 0xFFFFFFFFu);
}

}  // namespace
