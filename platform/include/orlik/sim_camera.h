/* The simulated panel's camera: the video decoder chip on the main bus and
 * the four camera inputs in front of it. Plain C; included by orlik/sim.h.
 *
 * The decoder (a TVP5150-family chip) answers at 0xB8 (write) / 0xB9 (read)
 * on the main bus (HW-B6 data, HW-B5 clock). A write transfer is the address,
 * a register number and values for that register and the ones after it; a
 * read transfer sends from the register the last write transfer named.
 * Registers 0x80 and 0x81 read 0x51 and 0x50 (identification) and 0x80-0x8F
 * ignore writes; the picture controls are 0x09 brightness (0x80), 0x0A
 * saturation (0x80), 0x0B hue (0x00) and 0x0C contrast (0x80).
 *
 * The input shown follows register 0x00 and the select lines HW-N13/HW-N14:
 *   input 1: 0x00, N14 high, N13 low     input 3: 0x02, N14 low, N13 high
 *   input 2: 0x00, N14 low, N13 high     input 4: 0x02, N14 high, N13 low
 * Any other combination, or a removed decoder, shows no signal (black).
 *
 * Each input shows, first that applies: a picture set with
 * orlik_sim_camera_set_picture; its source, a video file (played in a loop
 * at its own frame rate) or a V4L2 device; the built-in scene, a moving test
 * pattern with "CAMERA n" and a running count of its frames; no signal when
 * the input was detached. After a reset the sources come from the
 * environment: ORLIK_CAMERA1 ... ORLIK_CAMERA4 hold a path, "scene" (also
 * unset or empty) or "none" (detached); a source that cannot be opened shows
 * no signal.
 *
 * The controls act as the chip's: brightness adds (value - 128) to luma,
 * contrast multiplies luma's distance from black (16) by value / 128,
 * saturation multiplies chroma by value / 128 and hue turns it by the signed
 * value times 180/128 degrees; results are clamped to 0-255. At the defaults
 * every byte passes unchanged.
 *
 * Frames come from a free-running clock at 30000/1001 per second; a picture
 * is made only when the capture driver ("CAM1:") reads a frame. */
#pragma once

#include <orlik/sim_api.h>
#include <stdint.h>

ORLIK_SIM_BEGIN_DECLS

/* A decoder register (0x00-0xFF) as the chip holds it; -1 for another
 * number. */
ORLIK_SIM_API int orlik_sim_decoder_register(int reg);
/* Removes (0) or refits (1) the decoder; fitted after a reset. A removed
 * decoder answers nothing on the bus. */
ORLIK_SIM_API void orlik_sim_decoder_attach(int present);
/* The next n read transfers of register 0x80 answer 0xFF, as a chip that is
 * not awake yet; 0 after a reset. */
ORLIK_SIM_API void orlik_sim_decoder_silent_reads(int n);
/* Register values written over the bus since the last reset. */
ORLIK_SIM_API int orlik_sim_decoder_writes(void);

/* The input shown: 1-4, 0 for no signal. */
ORLIK_SIM_API int orlik_sim_camera_input(void);
/* A fixed YV12 picture for input 1-4 (Y plane, then V, then U; chroma planes
 * of (width + 1) / 2 x (height + 1) / 2), scaled when the capture size
 * differs; null restores what the input showed before. Sizes up to
 * 4096 x 4096. Returns 1, or 0 for another input or size. */
ORLIK_SIM_API int orlik_sim_camera_set_picture(int input, const uint8_t* yv12, int width, int height);
/* The source of input 1-4: a video file (path or URI) or a V4L2 device
 * ("/dev/videoN"); "" detaches the input (no signal); null or "scene" the
 * built-in scene. Opens the source at once: 1 on success, 0 when it cannot
 * be opened or has no video (the input keeps what it had). */
ORLIK_SIM_API int orlik_sim_camera_set_source(int input, const char* path);
/* Distinct frames the capture driver delivered since the last reset. */
ORLIK_SIM_API int orlik_sim_camera_frames(void);
/* The picture the camera shows now, as the capture driver would read it:
 * YV12 at width x height (even, up to 800 x 600), controls applied. Does not
 * count as a delivered frame. 1, or 0 for a null buffer or another size. */
ORLIK_SIM_API int orlik_sim_camera_picture(uint8_t* yv12, int width, int height);

ORLIK_SIM_END_DECLS
