/* The simulated panel's two-wire buses, the parts on them, and the PWM
 * outputs. Plain C; see orlik/sim.h.
 *
 * Buses: "main" (data HW-B6, clock HW-B5; counter module B2's bus, so "B2"
 * names it too), "A1" (HW-K2, HW-K3), "A2" (HW-K6, HW-K7), "B1" (HW-P10,
 * HW-P11). Each bus decodes everything on its wires into a transcript:
 * "S" a start condition, "P" a stop, each byte as two hex digits followed by
 * the level of its ninth clock ("+" low: acknowledged, "-" high), "!" where a
 * protocol error was found. Entries are separated by one space, e.g.
 * "S 98+ 12+ 34+ P".
 *
 * A "^" after the level marks a byte the master wrote while keeping its data
 * output driven high through the ninth clock instead of releasing the line:
 * "S B8+^ 09+^ 80+^ P" is a decoder write whose every byte the decoder
 * acknowledged. The main bus lines are open drain with pull-ups on the board,
 * so a device's low still wins and this is no error there (on the other
 * buses a high output that hides a device's low is one); a master driving
 * the line low while a device acknowledges or sends is an error on every
 * bus. */
#pragma once

#include <orlik/sim_api.h>
#include <orlik/sim.h>

#include <stdint.h>

ORLIK_SIM_BEGIN_DECLS

/* Copies the bus transcript (bounded by size, always terminated; the oldest
 * part is dropped beyond 64 KiB) and returns its full length, -1 for an
 * unknown bus. */
ORLIK_SIM_API int orlik_sim_bus_transcript(const char* bus, char* text, int size);
/* Protocol errors found on the bus: a start or stop inside a byte, the master
 * driving the data line while a device acknowledges or sends, more than nine
 * clocks in a byte. orlik_sim_bus_error copies error i's description and
 * returns 1, or 0 when there is no error i. */
ORLIK_SIM_API int orlik_sim_bus_error_count(const char* bus);
ORLIK_SIM_API int orlik_sim_bus_error(const char* bus, int i, char* text, int size);
/* The lines' levels after each change of either, one character per change
 * ('0' both low, '1' clock high, '2' data high, '3' both high), up to 64 KiB
 * since the last clear; copied and counted like the transcript. */
ORLIK_SIM_API int orlik_sim_bus_levels(const char* bus, char* text, int size);
/* Empties a bus's transcript, levels and error list. */
ORLIK_SIM_API void orlik_sim_bus_clear(const char* bus);

/* The two-channel analogue output converter on the main bus (fitted by
 * default). The last 16-bit value of the output at 8-bit address 0x98
 * (output 1) or 0x9A (output 2), 0 after reset; -1 for another address. */
ORLIK_SIM_API int orlik_sim_dac_value(int address);
/* How many values the output has taken since the last reset. */
ORLIK_SIM_API int orlik_sim_dac_updates(int address);
/* Removes (0) or refits (1) the converter. */
ORLIK_SIM_API void orlik_sim_dac_attach(int present);

/* Counter modules "A1", "A2", "B1", "B2" at 0x1E / 0x1F, each on its own
 * bus. None is fitted after reset. Functions return 1, or 0 for an unknown
 * module or index.
 *
 * Index 1-4 is a pulse counter, 5 and 6 the encoders (32-bit). Counter
 * reads send 8 data bytes while the module's data width is 64, 4 otherwise. */
ORLIK_SIM_API int orlik_sim_counter_attach(const char* module, int present);
ORLIK_SIM_API int orlik_sim_counter_set(const char* module, int index, uint64_t value);
ORLIK_SIM_API int orlik_sim_counter_get(const char* module, int index, uint64_t* value);
/* Counts pulses on counter 1-4 unless the application paused it. */
ORLIK_SIM_API int orlik_sim_counter_pulses(const char* module, int counter, uint64_t pulses);
/* The module's mode, data width and paused counters (bit i: counter i + 1);
 * any pointer may be null. */
ORLIK_SIM_API int orlik_sim_counter_state(const char* module, int* mode, int* width, int* paused);
/* Status byte of input pin 1-4 and the firmware version byte. */
ORLIK_SIM_API int orlik_sim_counter_set_pin_status(const char* module, int pin, int status);
ORLIK_SIM_API int orlik_sim_counter_set_firmware(const char* module, int version);
/* Commands the module has carried out since the last reset. */
ORLIK_SIM_API int orlik_sim_counter_commands(const char* module);

/* Faults of a counter module:
 * CHECK_BYTE  every value read ends with this check byte instead of the true
 *             one (-1: the true one again);
 * IDENTITY    the module identifies itself with 0x4D and this second byte, or
 *             for a value above 255 with its two bytes, high first (-1: 0x4D 0x21);
 * DROP_SETTINGS the next value mode or width settings do not stick (-1: none
 *             sticks, 0: all stick again). */
#define ORLIK_SIM_COUNTER_CHECK_BYTE 1
#define ORLIK_SIM_COUNTER_IDENTITY 2
#define ORLIK_SIM_COUNTER_DROP_SETTINGS 3
ORLIK_SIM_API int orlik_sim_counter_fault(const char* module, int fault, int value);

/* PWM output 1 (timer 0, HW-F14) or 2 (timer 1, HW-F15). While the timer
 * drives the pin with a waveform: the frequency in Hz (66 MHz timer input
 * clock), the share of each period the pin is high in percent, and level -1.
 * Otherwise the pin's static level, hz 0 and duty 0 or 100. Any pointer may be
 * null; returns 0 for another channel. */
ORLIK_SIM_API int orlik_sim_pwm_output(int channel, double* hz, double* duty, int* level);
/* 1 while the timer's output inverter is on. */
ORLIK_SIM_API int orlik_sim_pwm_inverted(int channel);

ORLIK_SIM_END_DECLS
