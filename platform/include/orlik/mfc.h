// The hardware video codec, reached as the device "MFC1:". It encodes I420
// frames into an H.264 stream (Annex B: every NAL unit begins with a start
// code), one instance per open handle.
//
// Open it with CreateFileW(u"MFC1:", GENERIC_READ | GENERIC_WRITE, 0, NULL,
// OPEN_EXISTING, 0x80, NULL). Every request passes its argument block as the
// input buffer of DeviceIoControl, with the block's size as the input size
// (a smaller size fails the call with ERROR_INVALID_PARAMETER); there is no
// output buffer. The driver answers in the same block: a negative status is a
// failure of the codec (bad parameters, not initialised, encoder fault) and
// the call itself still succeeds. All fields are 32 bits, little-endian.
//
// Each handle owns two buffers mapped into the calling process: the input
// frame buffer (one I420 frame of the initialised size: the Y plane, then U,
// then V, each without row padding) and the output buffer (the encoded data of
// the last frame). They stay valid, at the same addresses, until the handle
// is closed. Addresses are handed out as 32-bit values, so the buffers are
// mapped below 4 GB; the high half of the address is written after the low
// half as well (always 0), so a 64-bit caller may read offsets 4 to 11 as one
// pointer.
#pragma once

#include <orlik/types.h>

#include <stddef.h>

// Initialises the instance's encoder (block MFC_ENC_INIT_ARG). A repeated
// initialisation replaces the encoder; a failed one leaves the instance
// uninitialised.
#define IOCTL_MFC_H264_ENC_INIT 0x00800012u
// Encodes the frame in the input buffer into the output buffer (block
// MFC_ENC_EXE_ARG).
#define IOCTL_MFC_H264_ENC_EXE 0x00800014u
// Address of the input frame buffer (block MFC_GET_BUF_ADDR_ARG).
#define IOCTL_MFC_GET_FRAM_BUF_ADDR 0x00800103u
// Address of the output buffer (block MFC_GET_BUF_ADDR_ARG).
#define IOCTL_MFC_GET_LINE_BUF_ADDR 0x00800101u

// Sizes of an instance's buffers. A frame of width x height needs
// width * height * 3 / 2 bytes of the input buffer (720 x 576 fits).
#define MFC_INPUT_BUFFER_SIZE 0x100000u
#define MFC_OUTPUT_BUFFER_SIZE 0x200000u

// Status values written by the driver.
#define MFC_RET_OK 0
#define MFC_RET_NOT_INITIALISED (-1)  // encode before a successful initialisation
#define MFC_RET_INVALID_PARAM (-2)    // initialisation refused its parameters
#define MFC_RET_ENCODE_FAILED (-3)    // the encoder failed or its output did not fit
#define MFC_RET_HARDWARE (-4)         // the codec hardware did not answer

// Initialisation, 40 bytes.
//   width, height: even, at least 16, and the frame must fit the input buffer.
//   bitRate: target bit rate in kbit/s (1 and more); the rate control aims at
//     it on average over the stream.
//   gopNum: intra period: an IDR picture (with the sequence and picture
//     parameter sets before it) every gopNum frames, starting with the first;
//     1 makes every frame an IDR picture, 0 only the first.
//   frameRate: frames per second, 1 to 60; the rate control spends the bit
//     rate over this many frames per second.
//   reserved: sent as 0; not used.
//   intraQP, qpMax: bound the quantiser, each 0 to 51. The rate control keeps
//     every picture's QP within [min(intraQP, qpMax), qpMax]: intraQP is the
//     finest quantiser the encoder may use (the quality of a refreshed
//     picture at its best), qpMax the coarsest it may fall to when holding the
//     bit rate. The encoder does not go below QP 12, so values under 12 act
//     as 12.
//   gamma: accepted and kept by the driver; the encoder has no use for it.
// Every input frame yields one output frame: frames are never skipped to hold
// the bit rate.
typedef struct MFC_ENC_INIT_ARG {
  int32_t status;
  int32_t width;
  int32_t height;
  int32_t bitRate;
  int32_t gopNum;
  int32_t frameRate;
  int32_t reserved;
  int32_t intraQP;
  int32_t qpMax;
  float gamma;
} MFC_ENC_INIT_ARG;

// Encode one frame, 12 bytes: encodedSize receives the number of bytes of
// H.264 data placed at the start of the output buffer (0 on failure).
typedef struct MFC_ENC_EXE_ARG {
  int32_t status;
  int32_t encodedSize;
  int32_t unused;
} MFC_ENC_EXE_ARG;

// Buffer address, 12 bytes: address is the buffer's address in the calling
// process, below 4 GB; addressHigh its high half (0).
typedef struct MFC_GET_BUF_ADDR_ARG {
  int32_t status;
  uint32_t address;
  uint32_t addressHigh;
} MFC_GET_BUF_ADDR_ARG;

#ifdef __cplusplus
#define ORLIK_MFC_ASSERT static_assert
#else
#define ORLIK_MFC_ASSERT _Static_assert
#endif
ORLIK_MFC_ASSERT(sizeof(MFC_ENC_INIT_ARG) == 40, "initialisation block is 40 bytes");
ORLIK_MFC_ASSERT(offsetof(MFC_ENC_INIT_ARG, reserved) == 24, "0 at offset 24");
ORLIK_MFC_ASSERT(offsetof(MFC_ENC_INIT_ARG, gamma) == 36, "gamma at offset 36");
ORLIK_MFC_ASSERT(sizeof(float) == 4, "gamma is a 32-bit float");
ORLIK_MFC_ASSERT(sizeof(MFC_ENC_EXE_ARG) == 12, "encode block is 12 bytes");
ORLIK_MFC_ASSERT(sizeof(MFC_GET_BUF_ADDR_ARG) == 12, "address block is 12 bytes");
ORLIK_MFC_ASSERT(offsetof(MFC_GET_BUF_ADDR_ARG, address) == 4, "address at offset 4");
#undef ORLIK_MFC_ASSERT
