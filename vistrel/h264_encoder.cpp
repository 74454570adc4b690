// The encoder access functions: argument blocks for the codec driver sent
// as the input buffer of DeviceIoControl, statuses read back from them.
#include "h264_encoder.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vistrel {

namespace {

// Encoder initialisation, 40 bytes.
struct InitBlock {
  int32_t status;
  uint32_t width;
  uint32_t height;
  int32_t bitrate;
  int32_t gopNum;
  int32_t frameRate;
  int32_t zero;
  int32_t intraQP;
  int32_t qpMax;
  float gamma;
};
static_assert(sizeof(InitBlock) == 40);

// Encode a frame, and the two buffer-address requests: 12 bytes.
struct ShortBlock {
  int32_t status;
  uint32_t value;  // encoded size, or a buffer address as mapped here
  uint32_t unused;
};
static_assert(sizeof(ShortBlock) == 12);

bool Send(HANDLE device, DWORD code, void* block, DWORD size) {
  return DeviceIoControl(device, code, block, size, nullptr, 0, nullptr, nullptr) != FALSE;
}

// The driver maps its buffers where a 32-bit address reaches them.
uint8_t* Address(uint32_t value) { return reinterpret_cast<uint8_t*>(uintptr_t(value)); }

}  // namespace

void PrintMessage(int kind, const char* function, const char* format, ...) {
  static const char* const kKinds[] = {"TRACE", "WARNING", "ERROR"};
  if (kind < 0) return;
  char line[256];
  int used = std::snprintf(line, sizeof line, "[%s: %s] %s: ", "MFC_APP", kKinds[kind > 2 ? 2 : kind], function);
  if (used < 0) return;
  if (size_t(used) < sizeof line) {
    va_list args;
    va_start(args, format);
    std::vsnprintf(line + used, sizeof line - size_t(used), format, args);
    va_end(args);
  }
  std::fputs(line, stderr);
}

H264EncoderHandle* SsbSipH264EncodeInit(uint32_t width, uint32_t height, int32_t frameRate, int32_t bitrate,
                                        int32_t gopNum, int32_t intraQP, int32_t qpMax, float gamma) {
  HANDLE device = CreateFileW(u"MFC1:", GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (device == INVALID_HANDLE_VALUE) {
    PrintMessage(2, "SsbSipH264EncodeInit", "MFC Open failure.\n");
    return nullptr;
  }
  auto* handle = static_cast<H264EncoderHandle*>(std::malloc(sizeof(H264EncoderHandle)));
  if (!handle) {
    PrintMessage(2, "SsbSipH264EncodeInit", "malloc failed.\n");
    CloseHandle(device);
    return nullptr;
  }
  std::memset(handle, 0, sizeof *handle);
  handle->magic = kEncoderMagic;
  handle->device = device;
  handle->width = width;
  handle->height = height;
  handle->frameRate = frameRate;
  handle->bitrate = bitrate;
  handle->gopNum = gopNum;
  handle->intraQP = intraQP;
  handle->qpMax = qpMax;
  handle->gamma = gamma;
  handle->lastFrameSize = 0;
  handle->initialised = 0;
  return handle;
}

int32_t SsbSipH264EncodeExe(H264EncoderHandle* handle) {
  if (!handle) {
    PrintMessage(2, "SsbSipH264EncodeExe", "openHandle is NULL\n");
    return -1;
  }
  if (!handle->initialised) {
    InitBlock block{};
    block.width = handle->width;
    block.height = handle->height;
    block.bitrate = handle->bitrate;
    block.gopNum = handle->gopNum;
    block.frameRate = handle->frameRate;
    block.zero = 0;
    block.intraQP = handle->intraQP;
    block.qpMax = handle->qpMax;
    block.gamma = handle->gamma;
    if (Send(handle->device, kMfcEncodeInit, &block, sizeof block) && block.status >= 0) {
      handle->initialised = 1;
      return 0;
    }
    PrintMessage(2, "SsbSipH264EncodeExe", "IOCTL_MFC_MPEG4_ENC_INIT failed.\n");
    return -101;
  }
  ShortBlock block{};
  if (!Send(handle->device, kMfcEncodeExe, &block, sizeof block) || block.status < 0) return -101;
  handle->lastFrameSize = block.value;
  return 0;
}

// Asks the driver for one of its buffers' address; false, said as the
// function's failure, when it does not give one.
static bool BufferAddress(H264EncoderHandle* handle, DWORD code, const char* function, const char* failure,
                          uint8_t** buffer) {
  ShortBlock block{};
  if (!Send(handle->device, code, &block, sizeof block) || block.status < 0) {
    PrintMessage(2, function, "%s", failure);
    return false;
  }
  *buffer = Address(block.value);
  return true;
}

uint8_t* SsbSipH264EncodeGetInBuf(H264EncoderHandle* handle, int32_t size) {
  if (!handle) {
    PrintMessage(2, "SsbSipH264EncodeGetInBuf", "openHandle is NULL\n");
    return nullptr;
  }
  if (size > kLargestInputFrame) {
    PrintMessage(2, "SsbSipH264EncodeGetInBuf", "size is invalid. (size=%d)\n", size);
    return nullptr;
  }
  uint8_t* buffer = nullptr;
  BufferAddress(handle, kMfcGetInputBuffer, "SsbSipH264EncodeGetInBuf", "Failed in get FRAM_BUF address\n", &buffer);
  return buffer;
}

uint8_t* SsbSipH264EncodeGetOutBuf(H264EncoderHandle* handle, uint32_t* size) {
  if (!handle) {
    PrintMessage(2, "SsbSipH264EncodeGetOutBuf", "openHandle is NULL\n");
    return nullptr;
  }
  if (!size) {
    PrintMessage(2, "SsbSipH264EncodeGetOutBuf", "size is NULL.\n");
    return nullptr;
  }
  uint8_t* buffer = nullptr;
  if (BufferAddress(handle, kMfcGetOutputBuffer, "SsbSipH264EncodeGetOutBuf", "Failed in get LINE_BUF address.\n",
                    &buffer))
    *size = handle->lastFrameSize;
  return buffer;
}

int32_t SsbSipH264EncodeDeInit(H264EncoderHandle* handle) {
  if (!handle) {
    PrintMessage(2, "SsbSipH264EncodeDeInit", "openHandle is NULL\n");
    return -1;
  }
  CloseHandle(handle->device);
  std::free(handle);
  return 0;
}

}  // namespace vistrel
