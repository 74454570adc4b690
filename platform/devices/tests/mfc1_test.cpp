// The hardware video codec "MFC1:" through the platform's own calls, its
// output read back by ffprobe, and the board's record of what it encoded.
#include <orlik/mfc.h>
#include <orlik/windows.h>

#include "tolvex_test.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

MFC_ENC_INIT_ARG Settings(int width, int height, int gop = 10) {
  MFC_ENC_INIT_ARG a{};
  a.width = width;
  a.height = height;
  a.bitRate = 1000;
  a.gopNum = gop;
  a.frameRate = 30;
  a.intraQP = 20;
  a.qpMax = 40;
  a.gamma = 0.75f;
  return a;
}

// One open instance of the codec, driven as the camera library drives it.
class Instance {
 public:
  Instance()
      : handle_(CreateFileW(u"MFC1:", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0x80,
                            nullptr)) {}
  ~Instance() { Close(); }
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  bool open() const { return handle_ != INVALID_HANDLE_VALUE; }
  void Close() {
    if (open()) CloseHandle(handle_);
    handle_ = INVALID_HANDLE_VALUE;
  }

  // Status of the initialisation (the call itself must succeed).
  int Init(MFC_ENC_INIT_ARG a) {
    a.status = 12345;
    EXPECT_TRUE(Send(IOCTL_MFC_H264_ENC_INIT, &a, sizeof a));
    if (a.status >= 0) width_ = a.width, height_ = a.height;
    return a.status;
  }
  // Status of encoding the input buffer; the output lands in `frame`.
  int Encode(std::vector<uint8_t>* frame = nullptr) {
    MFC_ENC_EXE_ARG a{12345, -7, 0};
    EXPECT_TRUE(Send(IOCTL_MFC_H264_ENC_EXE, &a, sizeof a));
    if (a.status < 0) {
      EXPECT_EQ(a.encodedSize, 0);
    } else if (frame) {
      EXPECT_GT(a.encodedSize, 0);
      const uint8_t* out = Buffer(IOCTL_MFC_GET_LINE_BUF_ADDR);
      frame->assign(out, out + a.encodedSize);
    }
    return a.status;
  }
  // Status and the full block of a buffer-address request.
  MFC_GET_BUF_ADDR_ARG Address(DWORD code) {
    MFC_GET_BUF_ADDR_ARG a{12345, 0xDEAD, 0xBEEF};
    EXPECT_TRUE(Send(code, &a, sizeof a));
    return a;
  }
  // The buffer as a caller on the panel gets it: from the 32-bit field.
  uint8_t* Buffer(DWORD code) {
    auto a = Address(code);
    return a.status < 0 ? nullptr : reinterpret_cast<uint8_t*>(uintptr_t(a.address));
  }
  // Writes frame t of the test sequence into the input buffer.
  void Fill(int t);
  BOOL Send(DWORD code, void* block, DWORD size) {
    return DeviceIoControl(handle_, code, block, size, nullptr, 0, nullptr, nullptr);
  }

 private:
  HANDLE handle_;
  int width_ = 0, height_ = 0;
};

// A moving picture with texture: a diagonal gradient sliding by, a bright
// square crossing it, and fixed pseudo-random grain so the encoder has detail
// to spend bits on.
void Instance::Fill(int t) {
  uint8_t* in = Buffer(IOCTL_MFC_GET_FRAM_BUF_ADDR);
  ASSERT_NE(in, nullptr);
  const int w = width_, h = height_;
  uint32_t seed = 12345;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      seed = seed * 1103515245u + 12345u;
      int v = (x + 2 * y + 4 * t) % 200 + int(seed >> 28);
      bool square = x >= 8 * t % w && x < 8 * t % w + w / 5 && y >= h / 3 && y < h / 3 + h / 5;
      in[y * w + x] = uint8_t(square ? 235 : v);
    }
  uint8_t* u = in + w * h;
  uint8_t* v = u + w * h / 4;
  for (int i = 0; i < w * h / 4; ++i) {
    u[i] = uint8_t(128 + (i + t) % 40);
    v[i] = uint8_t(100 + (i / w) % 50);
  }
}

// NAL unit types of one Annex-B access unit, in order; empty when the data
// does not begin with a start code.
std::vector<int> NalTypes(const std::vector<uint8_t>& au) {
  std::vector<int> types;
  if (au.size() < 4 || !(au[0] == 0 && au[1] == 0 && (au[2] == 1 || (au[2] == 0 && au[3] == 1))))
    return types;
  for (size_t i = 0; i + 3 < au.size(); ++i)
    if (au[i] == 0 && au[i + 1] == 0 && au[i + 2] == 1) types.push_back(au[i + 3] & 0x1F);
  return types;
}

std::string Run(const std::string& command) {
  std::string out;
  FILE* p = popen(command.c_str(), "r");
  if (!p) return out;
  char buf[4096];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) out.append(buf, n);
  pclose(p);
  return out;
}

// What ffprobe reads in a stream file: "codec,width,height,frames" and the
// picture types of the decoded frames in order ("IPPP...").
struct Probed {
  std::string stream;
  std::string types;
};

Probed Probe(const std::string& file) {
  std::istringstream lines(Run("ffprobe -v error -count_frames -select_streams v:0 -show_entries "
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

// The slice QPs of the stream in the file, as the decoder reports them.
std::vector<int> SliceQps(const std::string& file) {
  std::istringstream lines(Run("ffmpeg -nostdin -debug pict -i '" + file + "' -f null - 2>&1"));
  std::vector<int> qps;
  for (std::string line; std::getline(lines, line);) {
    if (line.find("] slice:") == std::string::npos) continue;
    auto at = line.find(" qp:");
    if (at != std::string::npos) qps.push_back(std::stoi(line.substr(at + 4)));
  }
  return qps;
}

class Mfc1 : public tolvex_test::PanelTest {
 protected:
  // Encodes `frames` frames of the test sequence; returns the whole stream
  // and the frame sizes.
  std::vector<uint8_t> EncodeSequence(Instance& codec, int frames, std::vector<size_t>* sizes = nullptr) {
    std::vector<uint8_t> stream, frame;
    for (int t = 0; t < frames; ++t) {
      codec.Fill(t);
      EXPECT_EQ(codec.Encode(&frame), MFC_RET_OK) << "frame " << t;
      stream.insert(stream.end(), frame.begin(), frame.end());
      if (sizes) sizes->push_back(frame.size());
    }
    return stream;
  }
  std::string Save(const std::vector<uint8_t>& stream, const std::string& name) {
    std::string path = root_.path() + "/" + name;
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(stream.data()),
                                                std::streamsize(stream.size()));
    return path;
  }
};

TEST_F(Mfc1, EncodesOneAnnexBFramePerInputThatFfprobeDecodes) {
  Instance codec;
  ASSERT_TRUE(codec.open());
  EXPECT_EQ(orlik_sim_codec_instances(), 1);
  ASSERT_EQ(codec.Init(Settings(320, 240, 10)), MFC_RET_OK);

  std::vector<uint8_t> stream, frame;
  for (int t = 0; t < 25; ++t) {
    codec.Fill(t);
    ASSERT_EQ(codec.Encode(&frame), MFC_RET_OK) << "frame " << t;
    auto types = NalTypes(frame);
    ASSERT_FALSE(types.empty()) << "frame " << t << " lacks a start code";
    // Exactly one picture per output: an IDR slice (after SPS and PPS) at
    // the start of each GOP, one non-IDR slice otherwise.
    if (t % 10 == 0)
      EXPECT_EQ(types, (std::vector<int>{7, 8, 5})) << "frame " << t;
    else
      EXPECT_EQ(types, (std::vector<int>{1})) << "frame " << t;
    stream.insert(stream.end(), frame.begin(), frame.end());
  }
  EXPECT_EQ(orlik_sim_codec_frames(), 25);
  EXPECT_EQ(orlik_sim_codec_bytes(), stream.size());
  EXPECT_EQ(orlik_sim_codec_inits(), 1);

  auto probed = Probe(Save(stream, "out.264"));
  EXPECT_EQ(probed.stream, "h264,320,240,25");
  EXPECT_EQ(probed.types, "IPPPPPPPPPIPPPPPPPPPIPPPP");

  codec.Close();
  EXPECT_EQ(orlik_sim_codec_instances(), 0);
}

TEST_F(Mfc1, GopNumberIsTheIntraPeriod) {
  struct Case {
    int gop;
    const char* types;  // of 9 frames
  } cases[] = {{1, "IIIIIIIII"}, {4, "IPPPIPPPI"}, {0, "IPPPPPPPP"}};
  for (const auto& c : cases) {
    Instance codec;
    ASSERT_EQ(codec.Init(Settings(176, 144, c.gop)), MFC_RET_OK);
    auto probed = Probe(Save(EncodeSequence(codec, 9), "gop" + std::to_string(c.gop) + ".264"));
    EXPECT_EQ(probed.stream, "h264,176,144,9") << "GOP " << c.gop;
    EXPECT_EQ(probed.types, c.types) << "GOP " << c.gop;
  }
}

TEST_F(Mfc1, BoardKeepsTheInitialisationAndTheLastInputFrame) {
  Instance codec;
  auto settings = Settings(64, 48);
  settings.gamma = 0.375f;
  settings.reserved = 0;
  ASSERT_EQ(codec.Init(settings), MFC_RET_OK);
  orlik_sim_codec_init init{};
  ASSERT_EQ(orlik_sim_codec_last_init(&init), 1);
  EXPECT_EQ(init.width, 64);
  EXPECT_EQ(init.height, 48);
  EXPECT_EQ(init.bit_rate, 1000);
  EXPECT_EQ(init.gop_num, 10);
  EXPECT_EQ(init.frame_rate, 30);
  EXPECT_EQ(init.intra_qp, 20);
  EXPECT_EQ(init.max_qp, 40);
  EXPECT_EQ(init.gamma, 0.375f);
  EXPECT_EQ(init.accepted, 1);
  EXPECT_EQ(orlik_sim_codec_last_input(nullptr, 0), 0);

  // Planes of distinct values: the record shows them in the order written.
  uint8_t* in = codec.Buffer(IOCTL_MFC_GET_FRAM_BUF_ADDR);
  ASSERT_NE(in, nullptr);
  std::memset(in, 'Y', 64 * 48);
  std::memset(in + 64 * 48, 'U', 64 * 48 / 4);
  std::memset(in + 64 * 48 * 5 / 4, 'V', 64 * 48 / 4);
  in[64 * 48 * 3 / 2] = 'X';  // beyond the frame: not part of it
  ASSERT_EQ(codec.Encode(), MFC_RET_OK);
  std::vector<uint8_t> last(64 * 48 * 2, 0);
  EXPECT_EQ(orlik_sim_codec_last_input(nullptr, 0), 4608);
  ASSERT_EQ(orlik_sim_codec_last_input(last.data(), int(last.size())), 4608);
  EXPECT_EQ(std::string(last.begin(), last.begin() + 4608),
            std::string(3072, 'Y') + std::string(768, 'U') + std::string(768, 'V'));
  EXPECT_EQ(orlik_sim_codec_last_input(last.data(), 10), 10);

  orlik_sim_reset();
  EXPECT_EQ(orlik_sim_codec_last_init(&init), 0);
  EXPECT_EQ(orlik_sim_codec_last_input(last.data(), int(last.size())), 0);
  EXPECT_EQ(orlik_sim_codec_frames(), 0);
  EXPECT_EQ(orlik_sim_codec_bytes(), 0u);
  EXPECT_EQ(orlik_sim_codec_inits(), 0);
  EXPECT_EQ(orlik_sim_codec_instances(), 1);  // the handle is still open
}

TEST_F(Mfc1, RefusedInitialisationsLeaveTheInstanceUninitialised) {
  Instance codec;
  ASSERT_TRUE(codec.open());
  EXPECT_LT(codec.Encode(), 0);  // before any initialisation

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
      {"larger than the input buffer", [](MFC_ENC_INIT_ARG& a) { a.width = 1024, a.height = 684; }, false},
      {"huge sizes", [](MFC_ENC_INIT_ARG& a) { a.width = 0x40000000, a.height = 0x40000000; }, false},
      {"zero bit rate", [](MFC_ENC_INIT_ARG& a) { a.bitRate = 0; }, false},
      {"zero frame rate", [](MFC_ENC_INIT_ARG& a) { a.frameRate = 0; }, false},
      {"frame rate above 60", [](MFC_ENC_INIT_ARG& a) { a.frameRate = 61; }, false},
      {"smaller than a macroblock", [](MFC_ENC_INIT_ARG& a) { a.width = 14; }, false},
      {"negative GOP", [](MFC_ENC_INIT_ARG& a) { a.gopNum = -1; }, false},
      {"intra QP above 51", [](MFC_ENC_INIT_ARG& a) { a.intraQP = 52; }, false},
      {"negative maximum QP", [](MFC_ENC_INIT_ARG& a) { a.qpMax = -1; }, false},
      {"largest frame that fits", [](MFC_ENC_INIT_ARG& a) { a.width = 1024, a.height = 682; }, true},
  };
  for (const auto& c : cases) {
    // A good initialisation first, so a refused one must undo it.
    ASSERT_EQ(codec.Init(Settings(64, 48)), MFC_RET_OK);
    auto settings = Settings(320, 240);
    c.change(settings);
    int status = codec.Init(settings);
    orlik_sim_codec_init init{};
    ASSERT_EQ(orlik_sim_codec_last_init(&init), 1);
    EXPECT_EQ(init.width, settings.width) << c.what;
    EXPECT_EQ(init.accepted, c.accepted ? 1 : 0) << c.what;
    if (c.accepted) {
      EXPECT_EQ(status, MFC_RET_OK) << c.what;
      EXPECT_EQ(codec.Encode(), MFC_RET_OK) << c.what;
    } else {
      EXPECT_EQ(status, MFC_RET_INVALID_PARAM) << c.what;
      EXPECT_EQ(codec.Encode(), MFC_RET_NOT_INITIALISED) << c.what;
    }
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
  EXPECT_EQ(orlik_sim_codec_last_init(&none), 0);  // refused calls reach no encoder
  // A block need not be aligned.
  alignas(4) uint8_t raw[sizeof init + 1];
  std::memcpy(raw + 1, &init, sizeof init);
  ASSERT_TRUE(codec.Send(IOCTL_MFC_H264_ENC_INIT, raw + 1, sizeof init));
  std::memcpy(&init, raw + 1, sizeof init);
  EXPECT_EQ(init.status, MFC_RET_OK);
}

TEST_F(Mfc1, InjectedFaultsAnswerWithANegativeStatus) {
  orlik_sim_fail_device("MFC1:", 0);
  {
    Instance codec;
    EXPECT_FALSE(codec.open());
    EXPECT_EQ(GetLastError(), ERROR_DEVICE_NOT_AVAILABLE);
  }
  orlik_sim_fail_device("MFC1:", -1);
  EXPECT_EQ(orlik_sim_codec_instances(), 0);

  Instance codec;
  ASSERT_TRUE(codec.open());
  // Each fault fails its request once; the same request then succeeds.
  orlik_sim_fail_device_once("MFC1:", 1, 0);
  EXPECT_EQ(codec.Init(Settings(64, 48)), MFC_RET_HARDWARE);
  EXPECT_EQ(codec.Encode(), MFC_RET_NOT_INITIALISED);
  EXPECT_EQ(codec.Init(Settings(64, 48)), MFC_RET_OK);

  orlik_sim_fail_device_once("MFC1:", 2, 1);  // the second encoding fails
  EXPECT_EQ(codec.Encode(), MFC_RET_OK);
  EXPECT_EQ(codec.Encode(), MFC_RET_HARDWARE);
  EXPECT_EQ(codec.Encode(), MFC_RET_OK);
  EXPECT_EQ(orlik_sim_codec_frames(), 2);

  for (DWORD code : {IOCTL_MFC_GET_FRAM_BUF_ADDR, IOCTL_MFC_GET_LINE_BUF_ADDR}) {
    int step = code == IOCTL_MFC_GET_FRAM_BUF_ADDR ? 3 : 4;
    orlik_sim_fail_device_once("MFC1:", step, 0);
    auto failed = codec.Address(code);
    EXPECT_EQ(failed.status, MFC_RET_HARDWARE) << step;
    EXPECT_EQ(failed.address, 0u) << step;
    auto good = codec.Address(code);
    EXPECT_EQ(good.status, MFC_RET_OK) << step;
    EXPECT_NE(good.address, 0u) << step;
  }
  // A lasting fault keeps failing.
  orlik_sim_fail_device("MFC1:", 2);
  EXPECT_LT(codec.Encode(), 0);
  EXPECT_LT(codec.Encode(), 0);
}

TEST_F(Mfc1, BuffersLieBelow4GAndStayPut) {
  Instance codec;
  auto in = codec.Address(IOCTL_MFC_GET_FRAM_BUF_ADDR);
  auto out = codec.Address(IOCTL_MFC_GET_LINE_BUF_ADDR);
  ASSERT_EQ(in.status, MFC_RET_OK);
  ASSERT_EQ(out.status, MFC_RET_OK);
  EXPECT_EQ(in.addressHigh, 0u);
  EXPECT_EQ(out.addressHigh, 0u);
  EXPECT_NE(in.address, 0u);
  EXPECT_LE(uint64_t(in.address) + MFC_INPUT_BUFFER_SIZE, uint64_t(1) << 32);
  EXPECT_LE(uint64_t(out.address) + MFC_OUTPUT_BUFFER_SIZE, uint64_t(1) << 32);
  // The two buffers do not overlap, and every byte of both is writable.
  EXPECT_TRUE(uint64_t(in.address) + MFC_INPUT_BUFFER_SIZE <= out.address ||
              uint64_t(out.address) + MFC_OUTPUT_BUFFER_SIZE <= in.address);
  std::memset(reinterpret_cast<void*>(uintptr_t(in.address)), 0x5A, MFC_INPUT_BUFFER_SIZE);
  std::memset(reinterpret_cast<void*>(uintptr_t(out.address)), 0xA5, MFC_OUTPUT_BUFFER_SIZE);
  // Encoding does not move them.
  ASSERT_EQ(codec.Init(Settings(320, 240)), MFC_RET_OK);
  ASSERT_EQ(codec.Encode(), MFC_RET_OK);
  EXPECT_EQ(codec.Address(IOCTL_MFC_GET_FRAM_BUF_ADDR).address, in.address);
  EXPECT_EQ(codec.Address(IOCTL_MFC_GET_LINE_BUF_ADDR).address, out.address);
}

TEST_F(Mfc1, TwoInstancesAreIndependent) {
  Instance a, b;
  ASSERT_TRUE(a.open());
  ASSERT_TRUE(b.open());
  EXPECT_EQ(orlik_sim_codec_instances(), 2);
  EXPECT_NE(a.Address(IOCTL_MFC_GET_FRAM_BUF_ADDR).address, b.Address(IOCTL_MFC_GET_FRAM_BUF_ADDR).address);
  EXPECT_NE(a.Address(IOCTL_MFC_GET_LINE_BUF_ADDR).address, b.Address(IOCTL_MFC_GET_LINE_BUF_ADDR).address);
  ASSERT_EQ(a.Init(Settings(320, 240, 5)), MFC_RET_OK);
  EXPECT_LT(b.Encode(), 0);  // a's initialisation is not b's
  ASSERT_EQ(b.Init(Settings(176, 144, 3)), MFC_RET_OK);

  // Interleaved, and then on two threads at once.
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

  // Closing one leaves the other working.
  a.Close();
  EXPECT_EQ(orlik_sim_codec_instances(), 1);
  EXPECT_EQ(b.Encode(), MFC_RET_OK);
}

// The quantiser stays within [min(intra QP, maximum QP), maximum QP] whatever
// the bit rate asks for: a generous rate is held at the intra QP, a meagre
// one at the maximum QP.
TEST_F(Mfc1, QpBoundsHoldAgainstTheBitRate) {
  struct Case {
    int bitRate, intraQP, qpMax;
    int lowest, highest;  // expected slice QPs
  } cases[] = {
      {20000, 36, 51, 36, 36},
      {30, 12, 24, 24, 24},
      {800, 40, 30, 30, 30},  // intra QP above the maximum: the maximum
  };
  for (const auto& c : cases) {
    Instance codec;
    auto s = Settings(320, 240, 30);
    s.bitRate = c.bitRate, s.intraQP = c.intraQP, s.qpMax = c.qpMax;
    ASSERT_EQ(codec.Init(s), MFC_RET_OK);
    auto qps = SliceQps(Save(EncodeSequence(codec, 15), "qp.264"));
    ASSERT_GE(qps.size(), 15u);
    auto [lo, hi] = std::minmax_element(qps.begin(), qps.end());
    std::string what = std::to_string(c.bitRate) + " kbit/s, QP " + std::to_string(c.intraQP) + "-" +
                       std::to_string(c.qpMax);
    if (c.lowest == c.highest) {
      EXPECT_EQ(*lo, c.lowest) << what;
      EXPECT_EQ(*hi, c.highest) << what;
    } else {
      EXPECT_GE(*lo, c.lowest) << what;
      EXPECT_LE(*hi, c.highest) << what;
    }
  }
}

TEST_F(Mfc1, BitRateIsKilobitsPerSecondAtTheFrameRate) {
  // 60 frames: 2 s at 30 frames per second, 6 s at 10.
  struct Case {
    int bitRate, frameRate;
  } cases[] = {{800, 30}, {300, 10}};
  for (const auto& c : cases) {
    Instance codec;
    auto s = Settings(320, 240, 30);
    s.bitRate = c.bitRate, s.frameRate = c.frameRate, s.intraQP = 12, s.qpMax = 51;
    ASSERT_EQ(codec.Init(s), MFC_RET_OK);
    double seconds = 60.0 / c.frameRate;
    double kbps = double(EncodeSequence(codec, 60).size()) * 8 / 1000 / seconds;
    EXPECT_GT(kbps, c.bitRate * 0.8) << c.bitRate << " kbit/s at " << c.frameRate;
    EXPECT_LT(kbps, c.bitRate * 1.2) << c.bitRate << " kbit/s at " << c.frameRate;
  }
}

}  // namespace
