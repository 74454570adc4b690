/* The panel console: every process that loads the platform serves this C API
 * to other processes of its user over a Unix socket in the device root,
 * "<root>/.board/console-<pid>.sock" (line-delimited JSON; the orlik-panel
 * command and tools/python/orlik_panel.py are its clients). It starts the
 * first time the process opens a device, creates a window or shows a message
 * box; ORLIK_CONSOLE=off keeps it from starting. Included by orlik/sim.h. */
#pragma once

#include <orlik/sim_api.h>

ORLIK_SIM_BEGIN_DECLS

/* Starts the console if it is not running yet and copies its socket's path
 * (bounded by size, always terminated). Returns the path's length, 0 when
 * there is no console (switched off, or the socket could not be made). */
ORLIK_SIM_API int orlik_sim_console_path(char* path, int size);

ORLIK_SIM_END_DECLS
