/* The simulated Orlik panel, seen from outside: set its inputs and read what
 * the libraries did to it. Plain C, so tests in any language (C, C++, Python
 * ctypes) and application developers can drive the panel without hardware.
 *
 * Ports are the processor's hardware ports ('B', 'C', 'F', 'K', 'L', 'M', 'N',
 * 'P', 'Q'), pins their pin numbers. */
#pragma once

#include <orlik/sim_api.h>
#include <stdint.h>
#include <orlik/sim_power.h>
#include <orlik/sim_shell.h>

#include <orlik/sim_screen.h>
#include <orlik/sim_sound.h>

ORLIK_SIM_BEGIN_DECLS

/* Power-on state: every model reset, faults cleared, records emptied. */
ORLIK_SIM_API void orlik_sim_reset(void);

/* A 32-bit register by physical address, as the processor sees it. */
ORLIK_SIM_API uint32_t orlik_sim_peek(uint32_t phys);
ORLIK_SIM_API void orlik_sim_poke(uint32_t phys, uint32_t value);

/* Level of a pin (0/1), -1 for a pin the panel does not have. */
ORLIK_SIM_API int orlik_sim_pin_level(char port, int pin);
/* Configuration of a pin: 0 input, 1 output, 2 or more the function selected. */
ORLIK_SIM_API int orlik_sim_pin_mode(char port, int pin);
/* Pull field of a pin: 0 none, 1 pull-down, 2 pull-up. */
ORLIK_SIM_API int orlik_sim_pin_pull(char port, int pin);
/* Drives an input pin from outside; level -1 releases it. */
ORLIK_SIM_API void orlik_sim_drive_pin(char port, int pin, int level);
/* Number of level changes the pin has made since the last reset. */
ORLIK_SIM_API int orlik_sim_pin_changes(char port, int pin);

/* Message boxes shown since the last reset. orlik_sim_message copies box i's
 * caption and text as UTF-8 (bounded by the sizes, always terminated) and
 * returns 1 when the box exists, 0 otherwise. */
ORLIK_SIM_API int orlik_sim_message_count(void);
ORLIK_SIM_API int orlik_sim_message(int i, char* caption, int csize, char* text, int tsize);

/* Makes a device fail at a step until cleared with -1. For "HTM1:":
 * 0 open, 1 request 1 (set address), 2 the address-space reservation of its
 * client, 3 request 2 (map). */
ORLIK_SIM_API void orlik_sim_fail_device(const char* device, int step);
/* Makes a device fail once at a step, after `skip` successful passes through
 * that step (skip 0: the next time). */
ORLIK_SIM_API void orlik_sim_fail_device_once(const char* device, int step, int skip);

/* Register access trace: orlik_sim_trace(1) starts an empty trace, 0 stops
 * it. Entry i gives the physical address, the value and 1 for a write, 0 for
 * a read; it returns 0 when there is no entry i. */
ORLIK_SIM_API void orlik_sim_trace(int on);
ORLIK_SIM_API int orlik_sim_trace_count(void);
ORLIK_SIM_API int orlik_sim_trace_entry(int i, uint32_t* phys, uint32_t* value, int* write);

ORLIK_SIM_END_DECLS

#include <orlik/sim_bus.h>
#include <orlik/sim_camera.h>
#include <orlik/sim_codec.h>
#include <orlik/sim_console.h>
#include <orlik/sim_files.h>
#include <orlik/sim_inputs.h>
