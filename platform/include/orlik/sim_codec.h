/* The panel's hardware video codec ("MFC1:"), seen from outside: what it was
 * asked to do and what it produced since the last reset. Included by
 * orlik/sim.h.
 *
 * Faults: orlik_sim_fail_device("MFC1:", step) or
 * orlik_sim_fail_device_once("MFC1:", step, skip) with the steps
 *   0 open (CreateFileW fails with ERROR_DEVICE_NOT_AVAILABLE),
 *   1 initialisation, 2 encoding a frame, 3 input-buffer address,
 *   4 output-buffer address (each answers with a negative status). */
#pragma once

#include <orlik/sim_api.h>
#include <stdint.h>

ORLIK_SIM_BEGIN_DECLS

/* The parameters of an initialisation request, as the driver received them
 * (bit rate in kbit/s). accepted is 1 when the encoder was initialised with
 * them, 0 when the request failed. */
typedef struct orlik_sim_codec_init {
  int32_t width;
  int32_t height;
  int32_t bit_rate;
  int32_t gop_num;
  int32_t frame_rate;
  int32_t reserved;
  int32_t intra_qp;
  int32_t max_qp;
  float gamma;
  int32_t accepted;
} orlik_sim_codec_init;

/* Frames encoded successfully, and the H.264 bytes they produced. */
ORLIK_SIM_API int orlik_sim_codec_frames(void);
ORLIK_SIM_API uint64_t orlik_sim_codec_bytes(void);
/* Successful initialisations (one per encoder instance set up). */
ORLIK_SIM_API int orlik_sim_codec_inits(void);
/* Handles of "MFC1:" open now. A reset does not close handles, so this count
 * is not cleared by it. */
ORLIK_SIM_API int orlik_sim_codec_instances(void);
/* Copies the last initialisation request into *out; 1 when there was one
 * since the reset, 0 otherwise (*out untouched). */
ORLIK_SIM_API int orlik_sim_codec_last_init(orlik_sim_codec_init* out);
/* Copies the input frame of the last successful encoding (I420: the bytes of
 * the input buffer the encoder read, width * height * 3 / 2 of them) into
 * buffer, at most size bytes, and returns the number copied. With a null
 * buffer it copies nothing and returns the frame's size. 0 when no frame was
 * encoded since the reset. */
ORLIK_SIM_API int orlik_sim_codec_last_input(uint8_t* buffer, int size);

ORLIK_SIM_END_DECLS
