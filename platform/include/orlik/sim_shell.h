/* Programs started on the panel (ShellExecuteEx), seen from outside. */
#pragma once

#include <orlik/sim_api.h>

ORLIK_SIM_BEGIN_DECLS

/* Processes this process started since it began, and the host process id of
 * process i (0 when there is none). */
ORLIK_SIM_API int orlik_sim_process_count(void);
ORLIK_SIM_API int orlik_sim_process_id(int i);
/* Waits up to timeout_ms for a started process to end. Returns 1 and its exit
 * code (128 + signal when killed) when it has ended, 0 on timeout. */
ORLIK_SIM_API int orlik_sim_process_wait(int pid, int timeout_ms, int* exit_code);

ORLIK_SIM_END_DECLS
