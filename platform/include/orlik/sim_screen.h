/* The panel's screen, seen from outside. */
#pragma once

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define ORLIK_SIM_SCREEN_API __attribute__((visibility("default")))

ORLIK_SIM_SCREEN_API void orlik_sim_screen_size(int* width, int* height);
/* The colour at (x, y) as a colour value (red in the low byte, green in the
 * second, blue in the third), 0xFFFFFFFF outside the screen. */
ORLIK_SIM_SCREEN_API uint32_t orlik_sim_screen_pixel(int x, int y);
/* Writes the screen as a PNG file; 1 on success. */
ORLIK_SIM_SCREEN_API int orlik_sim_screen_save_png(const char* path);
/* How many repaints were presented since the last reset. */
ORLIK_SIM_SCREEN_API int orlik_sim_screen_present_count(void);

#ifdef __cplusplus
}
#endif
