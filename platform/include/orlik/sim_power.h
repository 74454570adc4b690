/* The board's power controller, seen from outside. Requests are recorded in
 * the device root (".board/power-requests"), so the process that started a
 * program sees the requests that program made. Each request is one line:
 *   "set-power-state <state> flags=0x<hex> options=0x<hex>"
 *   "hal-reboot"                                                       */
#pragma once

#include <orlik/sim_api.h>

ORLIK_SIM_BEGIN_DECLS

/* Requests recorded since the last reset, from any process on the panel. */
ORLIK_SIM_API int orlik_sim_power_request_count(void);
/* Copies request i (bounded, always terminated); 1 when it exists. */
ORLIK_SIM_API int orlik_sim_power_request(int i, char* text, int size);

ORLIK_SIM_END_DECLS
