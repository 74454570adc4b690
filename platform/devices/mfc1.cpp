// "MFC1:", the hardware video codec's driver. Every open handle is one encoder
// instance with its own input and output buffers, mapped below 4 GB because
// the driver hands their addresses out in 32-bit fields. The encoding is done
// by openh264 (devices/h264_encoder.*); the board keeps a record of what was
// encoded (board/codec.*). Faults: orlik_sim_fail_device("MFC1:", step) with
// step 0 open, 1 initialisation, 2 encoding, 3 input-buffer address,
// 4 output-buffer address.
#include <orlik/kernel.h>
#include <orlik/mfc.h>

#include "board/board.h"
#include "board/codec.h"
#include "core/devices.h"
#include "devices/h264_encoder.h"

#include <sys/mman.h>

#include <climits>
#include <cstring>
#include <mutex>

namespace orlik {
namespace {

constexpr const char* kName = "MFC1:";
constexpr size_t kMappedSize = MFC_INPUT_BUFFER_SIZE + MFC_OUTPUT_BUFFER_SIZE;
constexpr uint64_t kAddressLimit = uint64_t(1) << 32;

enum FaultStep {
  kOpenStep = 0,
  kInitStep = 1,
  kEncodeStep = 2,
  kInputAddressStep = 3,
  kOutputAddressStep = 4
};

bool BelowLimit(const void* p, size_t size) {
  return uint64_t(reinterpret_cast<uintptr_t>(p)) + size <= kAddressLimit;
}

// Anonymous read-write memory whose every byte has an address below 4 GB, or
// null. MAP_32BIT asks the kernel for the low 2 GB where it exists; otherwise
// (or when that area is full) free places below 4 GB are tried in turn.
void* MapBelow4G(size_t size) {
#ifdef MAP_32BIT
  void* p = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_32BIT, -1, 0);
  if (p != MAP_FAILED) {
    if (BelowLimit(p, size)) return p;
    munmap(p, size);
  }
#endif
  const uintptr_t step = (size + 0xFFFF) & ~uintptr_t(0xFFFF);
  for (uintptr_t at = 0x1000000; at + size <= kAddressLimit; at += step) {
    void* want = reinterpret_cast<void*>(at);
    void* got =
        mmap(want, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    if (got == MAP_FAILED) continue;
    if (got == want) return got;
    munmap(got, size);  // a kernel without MAP_FIXED_NOREPLACE took it as a hint
  }
  return nullptr;
}

bool ValidSettings(const MFC_ENC_INIT_ARG& a) {
  auto even = [](int32_t v) { return v >= 16 && v % 2 == 0; };
  if (!even(a.width) || !even(a.height)) return false;
  if (int64_t(a.width) * a.height * 3 / 2 > int64_t(MFC_INPUT_BUFFER_SIZE)) return false;
  if (a.bitRate < 1 || a.bitRate > INT_MAX / 1000) return false;
  if (a.gopNum < 0 || a.frameRate < 1 || a.frameRate > 60) return false;
  auto qp = [](int32_t v) { return v >= 0 && v <= 51; };
  return qp(a.intraQP) && qp(a.qpMax);
}

class Mfc1 final : public Device {
 public:
  explicit Mfc1(uint8_t* buffers) : buffers_(buffers) { board::Codec::Get().Opened(); }
  ~Mfc1() override {
    encoder_.reset();
    munmap(buffers_, kMappedSize);
    board::Codec::Get().Closed();
  }

  BOOL IoControl(DWORD code, void* in, DWORD inSize, void*, DWORD, DWORD* returned) override {
    *returned = 0;
    std::lock_guard lock(mutex_);
    switch (code) {
      case IOCTL_MFC_H264_ENC_INIT:
        return Answer<MFC_ENC_INIT_ARG>(in, inSize, [this](MFC_ENC_INIT_ARG& a) { Initialise(a); });
      case IOCTL_MFC_H264_ENC_EXE:
        return Answer<MFC_ENC_EXE_ARG>(in, inSize, [this](MFC_ENC_EXE_ARG& a) { Encode(a); });
      case IOCTL_MFC_GET_FRAM_BUF_ADDR:
        return Answer<MFC_GET_BUF_ADDR_ARG>(
            in, inSize, [this](MFC_GET_BUF_ADDR_ARG& a) { Address(a, input(), kInputAddressStep); });
      case IOCTL_MFC_GET_LINE_BUF_ADDR:
        return Answer<MFC_GET_BUF_ADDR_ARG>(
            in, inSize, [this](MFC_GET_BUF_ADDR_ARG& a) { Address(a, output(), kOutputAddressStep); });
      default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
  }

 private:
  uint8_t* input() const { return buffers_; }
  uint8_t* output() const { return buffers_ + MFC_INPUT_BUFFER_SIZE; }

  // Reads the caller's block, lets `handle` fill in the answer and writes it
  // back. The block is copied, so it need not be aligned.
  template <class Block, class Handler>
  static BOOL Answer(void* in, DWORD inSize, Handler handle) {
    if (!in || inSize < sizeof(Block)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return FALSE;
    }
    Block block;
    std::memcpy(&block, in, sizeof block);
    handle(block);
    std::memcpy(in, &block, sizeof block);
    return TRUE;
  }

  void Initialise(MFC_ENC_INIT_ARG& a) {
    encoder_.reset();
    frameBytes_ = 0;
    if (board::Board::Get().Fails(kName, kInitStep)) {
      a.status = MFC_RET_HARDWARE;
    } else if (!ValidSettings(a)) {
      a.status = MFC_RET_INVALID_PARAM;
    } else {
      encoder_ =
          H264Encoder::Create({a.width, a.height, a.bitRate, a.gopNum, a.frameRate, a.intraQP, a.qpMax});
      a.status = encoder_ ? MFC_RET_OK : MFC_RET_INVALID_PARAM;
      if (encoder_) frameBytes_ = size_t(a.width) * size_t(a.height) * 3 / 2;
    }
    board::Codec::Get().Initialised({a.width, a.height, a.bitRate, a.gopNum, a.frameRate, a.reserved,
                                     a.intraQP, a.qpMax, a.gamma, a.status == MFC_RET_OK ? 1 : 0});
  }

  void Encode(MFC_ENC_EXE_ARG& a) {
    a.encodedSize = 0;
    if (board::Board::Get().Fails(kName, kEncodeStep)) {
      a.status = MFC_RET_HARDWARE;
      return;
    }
    if (!encoder_) {
      a.status = MFC_RET_NOT_INITIALISED;
      return;
    }
    long size = encoder_->Encode(input(), output(), MFC_OUTPUT_BUFFER_SIZE);
    if (size < 0) {
      a.status = MFC_RET_ENCODE_FAILED;
      return;
    }
    a.status = MFC_RET_OK;
    a.encodedSize = int32_t(size);
    board::Codec::Get().Encoded(input(), frameBytes_, size_t(size));
  }

  static void Address(MFC_GET_BUF_ADDR_ARG& a, const uint8_t* buffer, int step) {
    if (board::Board::Get().Fails(kName, step)) {
      a.status = MFC_RET_HARDWARE;
      a.address = a.addressHigh = 0;
      return;
    }
    auto address = uint64_t(reinterpret_cast<uintptr_t>(buffer));
    a.status = MFC_RET_OK;
    a.address = uint32_t(address);
    a.addressHigh = uint32_t(address >> 32);
  }

  std::mutex mutex_;
  uint8_t* const buffers_;
  std::unique_ptr<H264Encoder> encoder_;
  size_t frameBytes_ = 0;
};

const DeviceRegistrar kRegistrar(u"MFC1:", [](DWORD, DWORD) -> std::shared_ptr<Device> {
  if (board::Board::Get().Fails(kName, kOpenStep)) {
    SetLastError(ERROR_DEVICE_NOT_AVAILABLE);
    return nullptr;
  }
  void* buffers = MapBelow4G(kMappedSize);
  if (!buffers) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return nullptr;
  }
  return std::make_shared<Mfc1>(static_cast<uint8_t*>(buffers));
});

}  // namespace
}  // namespace orlik
