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
/* A finger touching the screen at (x, y) (down 1) or lifting there (down 0).
 * 1 when the touch was taken; 0 outside the screen or while nothing takes
 * touches. */
ORLIK_SIM_SCREEN_API int orlik_sim_touch(int x, int y, int down);

#ifdef __cplusplus
}
#endif
