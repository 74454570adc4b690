/* The panel's speaker, seen from outside. Everything the platform plays is
 * mixed into one output of 44100 Hz, 2 channels, 16-bit, whose destination
 * ORLIK_AUDIO chooses (unset: the host's sound output when it has a working
 * one, else silence; "none": silence; a path ending in ".wav": that file). */
#pragma once

#include <orlik/sim_api.h>
#include <stdint.h>

ORLIK_SIM_BEGIN_DECLS

/* The wave-output volume word as last set (0xFFFFFFFF after a reset): the low
 * half-word is the speaker's volume, 0xFFFF unity, linear. */
ORLIK_SIM_API uint32_t orlik_sim_sound_volume(void);
/* Streams that have sound queued and are not paused, now. */
ORLIK_SIM_API int orlik_sim_sound_playing(void);
/* Frames (one sample per channel) the speaker played since the last reset;
 * silence between sounds is not counted. */
ORLIK_SIM_API uint64_t orlik_sim_sound_frames(void);
/* Largest sample magnitude (0..32767) played during the last second, after
 * every volume stage. */
ORLIK_SIM_API int orlik_sim_sound_peak(void);
/* Copies the output in use as text ("host:pulsesink", "silent",
 * "wav:<path>"; empty before the first sound), bounded by size and always
 * terminated; 1 when an output was chosen. */
ORLIK_SIM_API int orlik_sim_sound_output(char* name, int size);

ORLIK_SIM_END_DECLS
