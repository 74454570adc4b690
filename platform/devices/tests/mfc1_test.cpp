// The hardware video codec "MFC1:" through the platform's own calls, its
// output read back by ffprobe, and the board's record of what it encoded.
#include <orlik/mfc.h>
#include <orlik/windows.h>

#include "tolvex_test.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

MFC_ENC_INIT_ARG Settings(int width, int height, int gop = 10) {
  return {0, width, height, 1000, gop, 30, 0, 20, 40, 0.75f};
}

// One open instance of the codec, driven as the camera library drives it.
class Instance {
 public:
  Instance()
      : handle_(
            CreateFileW(u"MFC1:", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0x80, nullptr)) {}
  ~Instance() { Close(); }
  bool open() const { return handle_ != INVALID_HANDLE_VALUE; }
  void Close() {
    if (open()) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }
  BOOL Send(DWORD code, void* block, DWORD size) {
    return DeviceIoControl(handle_, code, block, size, nullptr, 0, nullptr, nullptr);
  }
  // Each request returns the driver's status; the call itself must succeed.
  int Init(MFC_ENC_INIT_ARG a) {
    a.status = 12345;
    EXPECT_TRUE(Send(IOCTL_MFC_H264_ENC_INIT, &a, sizeof a));
    if (a.status >= 0) width_ = a.width, height_ = a.height;
    return a.status;
  }
  // Encodes the input buffer; the output lands in `frame`.
  int Encode(std::vector<uint8_t>* frame = nullptr) {
    MFC_ENC_EXE_ARG a{12345, -7, 0};
    EXPECT_TRUE(Send(IOCTL_MFC_H264_ENC_EXE, &a, sizeof a));
    if (a.status < 0) {
      EXPECT_EQ(a.encodedSize, 0);
    } else if (frame) {
      const uint8_t* out = Buffer(IOCTL_MFC_GET_LINE_BUF_ADDR);
      frame->assign(out, out + a.encodedSize);
    }
    return a.status;
  }
  MFC_GET_BUF_ADDR_ARG Address(DWORD code) {
    MFC_GET_BUF_ADDR_ARG a{12345, 0xDEAD, 0xBEEF};
    EXPECT_TRUE(Send(code, &a, sizeof a));
    return a;
  }
  // A buffer as a caller on the panel takes it: from the 32-bit field.
  uint8_t* Buffer(DWORD code) {
    auto a = Address(code);
    return a.status < 0 ? nullptr : reinterpret_cast<uint8_t*>(uintptr_t(a.address));
  }
  // Frame t of a moving picture with grain, so the encoder has detail to
  // spend bits on: a sliding gradient and a bright square crossing it.
  void Fill(int t) {
    uint8_t* in = Buffer(IOCTL_MFC_GET_FRAM_BUF_ADDR);
    ASSERT_NE(in, nullptr);
    const int w = width_, h = height_;
    uint32_t seed = 12345;
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) {
        seed = seed * 1103515245u + 12345u;
        bool square = x >= 8 * t % w && x < 8 * t % w + w / 5 && y >= h / 3 && y < h / 3 + h / 5;
        in[y * w + x] = uint8_t(square ? 235 : (x + 2 * y + 4 * t) % 200 + int(seed >> 28));
      }
    for (int i = 0; i < w * h / 2; ++i) in[w * h + i] = uint8_t(100 + (i + t) % 50);
  }

 private:
  HANDLE handle_;
  int width_ = 0, height_ = 0;
};

// NAL unit types of an Annex-B access unit in order; empty when it does not
// begin with a start code.
std::vector<int> NalTypes(const std::vector<uint8_t>& au) {
  std::vector<int> types;
  if (au.size() < 4 || au[0] != 0 || au[1] != 0 || (au[2] != 1 && (au[2] != 0 || au[3] != 1))) return types;
  for (size_t i = 0; i + 3 < au.size(); ++i)
    if (au[i] == 0 && au[i + 1] == 0 && au[i + 2] == 1) types.push_back(au[i + 3] & 0x1F);
  return types;
}

std::string Run(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  for (size_t n; (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
  pclose(p);
  return out;
}

// What ffprobe reads in a stream file: "codec,width,height,frames" and the
// picture types of the decoded frames ("IPPP...").
struct Probed {
  std::string stream, types;
};

Probed Probe(const std::string& file) {
  std::istringstream lines(
      Run("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
          "stream=codec_name,width,height,nb_read_frames:frame=pict_type -of csv '" +
          file + "'"));
  Probed probed;
  for (std::string line; std::getline(lines, line);) {
    while (!line.empty() && line.back() == ',') line.pop_back();
    if (line.rfind("stream,", 0) == 0) probed.stream = line.substr(7);
    if (line.rfind("frame,", 0) == 0) probed.types += line.substr(6);
  }
  return probed;
}

// The slice QPs of the stream in the file, as ffmpeg's decoder reports them.
std::vector<int> SliceQps(const std::string& file) {
  std::istringstream lines(Run("ffmpeg -nostdin -debug pict -i '" + file + "' -f null - 2>&1"));
  std::vector<int> qps;
  for (std::string line; std::getline(lines, line);) {
    auto at = line.find(" qp:");
    if (line.find("] slice:") != std::string::npos && at != std::string::npos)
      qps.push_back(std::stoi(line.substr(at + 4)));
  }
  return qps;
}

class Mfc1 : public tolvex_test::PanelTest {
 protected:
  // Encodes `frames` frames of the moving picture and returns the stream;
  // `types` receives each output's NAL unit types.
  std::vector<uint8_t> EncodeSequence(Instance& codec, int frames,
                                      std::vector<std::vector<int>>* types = nullptr) {
    std::vector<uint8_t> stream, frame;
    for (int t = 0; t < frames; ++t) {
      codec.Fill(t);
      EXPECT_EQ(codec.Encode(&frame), MFC_RET_OK) << "frame " << t;
      stream.insert(stream.end(), frame.begin(), frame.end());
      if (types) types->push_back(NalTypes(frame));
    }
    return stream;
  }
  std::string Save(const std::vector<uint8_t>& stream, const std::string& name) {
    std::string path = root_.path() + "/" + name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(stream.data()), std::streamsize(stream.size()));
    return path;
  }
};

// Every input frame gives exactly one picture: an IDR slice after the SPS and
// PPS at the start of each GOP, one non-IDR slice otherwise.
TEST_F(Mfc1, EncodesOneAnnexBPicturePerFrameWithAnIdrEveryGop) {
  struct Case {
    int width, height, gop;
    std::string types;
  } cases[] = {{320, 240, 10, "IPPPPPPPPPIPPPPPPPPPIPPPP"},
               {176, 144, 1, "IIIIIIIII"},
               {176, 144, 4, "IPPPIPPPI"},
               {176, 144, 0, "IPPPPPPPP"}};
  int frames = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE("GOP " + std::to_string(c.gop));
    Instance codec;
    ASSERT_TRUE(codec.open());
    EXPECT_EQ(orlik_sim_codec_instances(), 1);
    ASSERT_EQ(codec.Init(Settings(c.width, c.height, c.gop)), MFC_RET_OK);
    std::vector<std::vector<int>> types;
    auto stream = EncodeSequence(codec, int(c.types.size()), &types);
    const std::vector<int> idr{7, 8, 5}, other{1};
    for (size_t t = 0; t < types.size(); ++t)
      EXPECT_EQ(types[t], c.types[t] == 'I' ? idr : other) << "frame " << t;
    frames += int(c.types.size());
    EXPECT_EQ(orlik_sim_codec_frames(), frames);

    auto probed = Probe(Save(stream, "out.264"));
    EXPECT_EQ(probed.stream, "h264," + std::to_string(c.width) + "," + std::to_string(c.height) + "," +
                                 std::to_string(c.types.size()));
    EXPECT_EQ(probed.types, c.types);
    orlik_sim_reset();  // the record starts again; the open handle stays counted
    frames = 0;
    EXPECT_EQ(orlik_sim_codec_bytes(), 0u);
    EXPECT_EQ(orlik_sim_codec_instances(), 1);
  }
  EXPECT_EQ(orlik_sim_codec_instances(), 0);
}

TEST_F(Mfc1, BoardKeepsTheInitialisationAndTheLastInputFrame) {
  Instance codec;
  auto settings = Settings(64, 48);
  settings.gamma = 0.375f;
  ASSERT_EQ(codec.Init(settings), MFC_RET_OK);
  orlik_sim_codec_init init{};
  ASSERT_EQ(orlik_sim_codec_last_init(&init), 1);
  const orlik_sim_codec_init expected{64, 48, 1000, 10, 30, 0, 20, 40, 0.375f, 1};
  EXPECT_EQ(std::memcmp(&init, &expected, sizeof init), 0);
  EXPECT_EQ(orlik_sim_codec_inits(), 1);
  EXPECT_EQ(orlik_sim_codec_last_input(nullptr, 0), 0);

  // Planes of distinct values: the record shows them in the order written.
  uint8_t* in = codec.Buffer(IOCTL_MFC_GET_FRAM_BUF_ADDR);
  ASSERT_NE(in, nullptr);
  std::memset(in, 'Y', 3072);
  std::memset(in + 3072, 'U', 768);
  std::memset(in + 3840, 'V', 768);
  in[4608] = 'X';  // beyond the frame
  std::vector<uint8_t> frame;
  ASSERT_EQ(codec.Encode(&frame), MFC_RET_OK);
  EXPECT_EQ(orlik_sim_codec_bytes(), frame.size());
  std::string last(5000, '\0');
  EXPECT_EQ(orlik_sim_codec_last_input(nullptr, 0), 4608);
  ASSERT_EQ(orlik_sim_codec_last_input(reinterpret_cast<uint8_t*>(last.data()), 5000), 4608);
  EXPECT_EQ(last.substr(0, 4609),
            std::string(3072, 'Y') + std::string(768, 'U') + std::string(768, 'V') + '\0');
  EXPECT_EQ(orlik_sim_codec_last_input(reinterpret_cast<uint8_t*>(last.data()), 10), 10);

  orlik_sim_reset();
  EXPECT_EQ(orlik_sim_codec_last_init(&init), 0);
  EXPECT_EQ(orlik_sim_codec_last_input(nullptr, 0), 0);
  EXPECT_EQ(orlik_sim_codec_frames() + orlik_sim_codec_inits(), 0);
}

TEST_F(Mfc1, RefusedInitialisationsLeaveTheInstanceUninitialised) {
  Instance codec;
  ASSERT_TRUE(codec.open());
  EXPECT_EQ(codec.Encode(), MFC_RET_NOT_INITIALISED);
  struct Case {
    const char* what;
    void (*change)(MFC_ENC_INIT_ARG&);
    bool accepted;
  } cases[] = {
      {"zero width", [](MFC_ENC_INIT_ARG& a) { a.width = 0; }, false},
      {"zero height", [](MFC_ENC_INIT_ARG& a) { a.height = 0; }, false},
      {"negative width", [](MFC_ENC_INIT_ARG& a) { a.width = -320; }, false},
      {"odd width", [](MFC_ENC_INIT_ARG& a) { a.width = 321; }, false},
      {"odd height", [](MFC_ENC_INIT_ARG& a) { a.height = 239; }, false},
      {"smaller than a macroblock", [](MFC_ENC_INIT_ARG& a) { a.width = 14; }, false},
      {"larger than the input buffer", [](MFC_ENC_INIT_ARG& a) { a.width = 1024, a.height = 684; }, false},
      {"sizes whose product overflows", [](MFC_ENC_INIT_ARG& a) { a.width = a.height = 0x40000000; }, false},
      {"zero bit rate", [](MFC_ENC_INIT_ARG& a) { a.bitRate = 0; }, false},
      {"zero frame rate", [](MFC_ENC_INIT_ARG& a) { a.frameRate = 0; }, false},
      {"frame rate above 60", [](MFC_ENC_INIT_ARG& a) { a.frameRate = 61; }, false},
      {"negative GOP", [](MFC_ENC_INIT_ARG& a) { a.gopNum = -1; }, false},
      {"intra QP above 51", [](MFC_ENC_INIT_ARG& a) { a.intraQP = 52; }, false},
      {"negative maximum QP", [](MFC_ENC_INIT_ARG& a) { a.qpMax = -1; }, false},
      {"largest frame that fits", [](MFC_ENC_INIT_ARG& a) { a.width = 1024, a.height = 682; }, true},
  };
  for (const auto& c : cases) {
    ASSERT_EQ(codec.Init(Settings(64, 48)), MFC_RET_OK);  // a refused request must undo this
    auto settings = Settings(320, 240);
    c.change(settings);
    EXPECT_EQ(codec.Init(settings), c.accepted ? MFC_RET_OK : MFC_RET_INVALID_PARAM) << c.what;
    orlik_sim_codec_init init{};
    ASSERT_EQ(orlik_sim_codec_last_init(&init), 1);
    EXPECT_EQ(init.width, settings.width) << c.what;
    EXPECT_EQ(init.accepted, c.accepted ? 1 : 0) << c.what;
    EXPECT_EQ(codec.Encode(), c.accepted ? MFC_RET_OK : MFC_RET_NOT_INITIALISED) << c.what;
  }
  EXPECT_EQ(orlik_sim_codec_frames(), 1);
}

TEST_F(Mfc1, MalformedRequestsFailTheCall) {
  Instance codec;
  MFC_ENC_INIT_ARG init = Settings(64, 48);
  EXPECT_FALSE(codec.Send(IOCTL_MFC_H264_ENC_INIT, &init, sizeof init - 4));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
  EXPECT_FALSE(codec.Send(IOCTL_MFC_H264_ENC_EXE, nullptr, 12));
  EXPECT_FALSE(codec.Send(IOCTL_MFC_GET_FRAM_BUF_ADDR, &init, 8));
  EXPECT_FALSE(codec.Send(0x800016, &init, sizeof init));
  orlik_sim_codec_init none{};
  EXPECT_EQ(orlik_sim_codec_last_init(&none), 0);  // none reached the encoder
  // A block need not be aligned.
  uint8_t raw[sizeof init + 1];
  std::memcpy(raw + 1, &init, sizeof init);
  ASSERT_TRUE(codec.Send(IOCTL_MFC_H264_ENC_INIT, raw + 1, sizeof init));
  std::memcpy(&init, raw + 1, sizeof init);
  EXPECT_EQ(init.status, MFC_RET_OK);
}

TEST_F(Mfc1, InjectedFaultsAnswerWithANegativeStatus) {
  orlik_sim_fail_device("MFC1:", 0);
  EXPECT_FALSE(Instance().open());
  EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_AVAILABLE);
  orlik_sim_fail_device("MFC1:", -1);
  EXPECT_EQ(orlik_sim_codec_instances(), 0);

  // Each fault fails its request once; the same request then succeeds.
  Instance codec;
  ASSERT_TRUE(codec.open());
  orlik_sim_fail_device_once("MFC1:", 1, 0);
  EXPECT_EQ(codec.Init(Settings(64, 48)), MFC_RET_HARDWARE);
  EXPECT_EQ(codec.Encode(), MFC_RET_NOT_INITIALISED);
  EXPECT_EQ(codec.Init(Settings(64, 48)), MFC_RET_OK);
  orlik_sim_fail_device_once("MFC1:", 2, 1);  // the second encoding fails
  EXPECT_EQ(codec.Encode(), MFC_RET_OK);
  EXPECT_EQ(codec.Encode(), MFC_RET_HARDWARE);
  EXPECT_EQ(codec.Encode(), MFC_RET_OK);
  EXPECT_EQ(orlik_sim_codec_frames(), 2);
  for (auto [code, step] :
       {std::pair{IOCTL_MFC_GET_FRAM_BUF_ADDR, 3}, std::pair{IOCTL_MFC_GET_LINE_BUF_ADDR, 4}}) {
    orlik_sim_fail_device_once("MFC1:", step, 0);
    auto failed = codec.Address(code);
    EXPECT_EQ(failed.status, MFC_RET_HARDWARE) << step;
    EXPECT_EQ(failed.address, 0u) << step;
    EXPECT_EQ(codec.Address(code).status, MFC_RET_OK) << step;
  }
  orlik_sim_fail_device("MFC1:", 2);  // a lasting fault keeps failing
  EXPECT_EQ(codec.Encode(), MFC_RET_HARDWARE);
  EXPECT_EQ(codec.Encode(), MFC_RET_HARDWARE);
}

// Buffers lie below 4 GB, do not overlap and stay put. The low 2 GB the
// kernel offers for 32-bit mappings holds a few hundred instances' buffers;
// later instances find room elsewhere below 4 GB.
TEST_F(Mfc1, BuffersLieBelow4GForEveryInstance) {
  std::vector<std::unique_ptr<Instance>> open;
  for (int i = 0; i < 450; ++i) {
    auto codec = std::make_unique<Instance>();
    ASSERT_TRUE(codec->open()) << "instance " << i;
    auto in = codec->Address(IOCTL_MFC_GET_FRAM_BUF_ADDR), out = codec->Address(IOCTL_MFC_GET_LINE_BUF_ADDR);
    ASSERT_EQ(in.status + out.status, MFC_RET_OK) << "instance " << i;
    ASSERT_EQ(in.addressHigh + out.addressHigh, 0u) << "instance " << i;
    ASSERT_NE(in.address, 0u);
    ASSERT_LE(uint64_t(in.address) + MFC_INPUT_BUFFER_SIZE, uint64_t(1) << 32) << "instance " << i;
    ASSERT_LE(uint64_t(out.address) + MFC_OUTPUT_BUFFER_SIZE, uint64_t(1) << 32) << "instance " << i;
    ASSERT_TRUE(uint64_t(in.address) + MFC_INPUT_BUFFER_SIZE <= out.address ||
                uint64_t(out.address) + MFC_OUTPUT_BUFFER_SIZE <= in.address);
    std::memset(reinterpret_cast<void*>(uintptr_t(in.address)), i, i == 0 ? MFC_INPUT_BUFFER_SIZE : 4096);
    std::memset(reinterpret_cast<void*>(uintptr_t(out.address)), i, i == 0 ? MFC_OUTPUT_BUFFER_SIZE : 4096);
    open.push_back(std::move(codec));
  }
  EXPECT_EQ(orlik_sim_codec_instances(), 450);
  Instance& first = *open.front();
  auto in = first.Address(IOCTL_MFC_GET_FRAM_BUF_ADDR).address,
       out = first.Address(IOCTL_MFC_GET_LINE_BUF_ADDR).address;
  ASSERT_EQ(first.Init(Settings(320, 240)), MFC_RET_OK);
  ASSERT_EQ(first.Encode(), MFC_RET_OK);
  EXPECT_EQ(first.Address(IOCTL_MFC_GET_FRAM_BUF_ADDR).address, in);
  EXPECT_EQ(first.Address(IOCTL_MFC_GET_LINE_BUF_ADDR).address, out);
  open.clear();
  EXPECT_EQ(orlik_sim_codec_instances(), 0);
}

TEST_F(Mfc1, TwoInstancesAreIndependent) {
  Instance a, b;
  ASSERT_TRUE(a.open() && b.open());
  EXPECT_EQ(orlik_sim_codec_instances(), 2);
  EXPECT_NE(a.Address(IOCTL_MFC_GET_FRAM_BUF_ADDR).address, b.Address(IOCTL_MFC_GET_FRAM_BUF_ADDR).address);
  ASSERT_EQ(a.Init(Settings(320, 240, 5)), MFC_RET_OK);
  EXPECT_EQ(b.Encode(), MFC_RET_NOT_INITIALISED);  // a's initialisation is not b's
  ASSERT_EQ(b.Init(Settings(176, 144, 3)), MFC_RET_OK);

  // Interleaved on one thread, then on two threads at once.
  std::vector<uint8_t> streamA, streamB, frame;
  for (int t = 0; t < 6; ++t) {
    a.Fill(t);
    b.Fill(t);
    ASSERT_EQ(a.Encode(&frame), MFC_RET_OK);
    streamA.insert(streamA.end(), frame.begin(), frame.end());
    ASSERT_EQ(b.Encode(&frame), MFC_RET_OK);
    streamB.insert(streamB.end(), frame.begin(), frame.end());
  }
  std::thread other([&] {
    auto more = EncodeSequence(b, 6);
    streamB.insert(streamB.end(), more.begin(), more.end());
  });
  auto more = EncodeSequence(a, 6);
  streamA.insert(streamA.end(), more.begin(), more.end());
  other.join();
  EXPECT_EQ(orlik_sim_codec_frames(), 24);
  EXPECT_EQ(orlik_sim_codec_bytes(), streamA.size() + streamB.size());
  auto probedA = Probe(Save(streamA, "a.264")), probedB = Probe(Save(streamB, "b.264"));
  EXPECT_EQ(probedA.stream, "h264,320,240,12");
  EXPECT_EQ(probedB.stream, "h264,176,144,12");
  EXPECT_EQ(probedA.types, "IPPPPIPPPPIP");
  EXPECT_EQ(probedB.types, "IPPIPPIPPIPP");

  a.Close();  // closing one leaves the other working
  EXPECT_EQ(orlik_sim_codec_instances(), 1);
  EXPECT_EQ(b.Encode(), MFC_RET_OK);
}

// The quantiser stays within [min(intra QP, maximum QP), maximum QP] whatever
// the bit rate asks for: a generous rate is held at the intra QP, a meagre
// one at the maximum QP.
TEST_F(Mfc1, QpBoundsHoldAgainstTheBitRate) {
  struct Case {
    int bitRate, intraQP, qpMax, qp;
  } cases[] = {{20000, 36, 51, 36}, {30, 12, 24, 24}, {800, 40, 30, 30}};
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.bitRate) + " kbit/s, QP " + std::to_string(c.intraQP) + "-" +
                 std::to_string(c.qpMax));
    Instance codec;
    auto s = Settings(320, 240, 30);
    s.bitRate = c.bitRate, s.intraQP = c.intraQP, s.qpMax = c.qpMax;
    ASSERT_EQ(codec.Init(s), MFC_RET_OK);
    auto qps = SliceQps(Save(EncodeSequence(codec, 15), "qp.264"));
    ASSERT_GE(qps.size(), 15u);
    EXPECT_EQ(*std::min_element(qps.begin(), qps.end()), c.qp);
    EXPECT_EQ(*std::max_element(qps.begin(), qps.end()), c.qp);
  }
}

TEST_F(Mfc1, BitRateIsKilobitsPerSecondAtTheFrameRate) {
  struct Case {
    int bitRate, frameRate;  // 60 frames: 2 s at 30 frames per second, 6 s at 10
  } cases[] = {{800, 30}, {300, 10}};
  for (const auto& c : cases) {
    Instance codec;
    auto s = Settings(320, 240, 30);
    s.bitRate = c.bitRate, s.frameRate = c.frameRate, s.intraQP = 12, s.qpMax = 51;
    ASSERT_EQ(codec.Init(s), MFC_RET_OK);
    double kbps = double(EncodeSequence(codec, 60).size()) * 8 / 1000 / (60.0 / c.frameRate);
    EXPECT_GT(kbps, c.bitRate * 0.8) << c.bitRate << " kbit/s at " << c.frameRate;
    EXPECT_LT(kbps, c.bitRate * 1.2) << c.bitRate << " kbit/s at " << c.frameRate;
  }
}

}  // namespace
