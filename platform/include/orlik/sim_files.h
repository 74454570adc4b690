/* The panel's storage seen from outside: make file operations fail where a
 * test wants them to (a full disk, a write-protected folder, a failing
 * rename), and set the free space a volume reports.
 *
 * Paths are panel paths ("\\Flash Disk\\App", "\\SD Card"), matched ignoring
 * ASCII case; a setting covers the file or folder it names and everything
 * below it. Settings are cleared by orlik_sim_reset. A program the panel
 * starts (ShellExecuteEx) inherits the settings in force when it starts, each
 * fault with the counts it has left; from then on each process counts its
 * own. */
#pragma once

#include <orlik/sim_api.h>
#include <stdint.h>

ORLIK_SIM_BEGIN_DECLS

/* Operations a fault applies to (a mask). */
enum {
  ORLIK_SIM_FILE_CREATE = 1,     /* creating a file, or opening one for writing
                                    (CreateFileW, the temporary files of
                                    CopyFileW and GetTempFileNameW) */
  ORLIK_SIM_FILE_WRITE = 2,      /* writing data (WriteFile, CopyFileW, the
                                    printer port's file) */
  ORLIK_SIM_FILE_READ = 4,       /* reading data (ReadFile, CopyFileW) */
  ORLIK_SIM_FILE_RENAME = 8,     /* replacing or renaming a file (MoveFileW,
                                    MoveFileExW, the last step of CopyFileW);
                                    matched on the source and the target */
  ORLIK_SIM_FILE_FREE_SPACE = 16 /* GetDiskFreeSpaceExW */
};

/* How the operation fails (the error the caller sees). */
enum {
  ORLIK_SIM_DISK_FULL = 1,     /* ERROR_DISK_FULL */
  ORLIK_SIM_ACCESS_DENIED = 2, /* ERROR_ACCESS_DENIED: a write-protected file or folder */
  ORLIK_SIM_IO_ERROR = 3       /* ERROR_GEN_FAILURE: the medium failed */
};

/* Makes the operations in `ops` on paths at or below `path` fail with
 * `fault`: after `skip` matching operations that go ahead, the next `count`
 * fail (count -1: every one until cleared). Returns an identifier for
 * orlik_sim_file_fault_hits, or -1 for a bad argument. */
ORLIK_SIM_API int orlik_sim_fail_files(const char* path, int ops, int fault, int skip, int count);
/* How many operations the fault has failed so far in this process. */
ORLIK_SIM_API int orlik_sim_file_fault_hits(int id);
/* Removes every file fault (free-space settings stay). */
ORLIK_SIM_API void orlik_sim_clear_file_faults(void);

/* The free space GetDiskFreeSpaceExW reports for a folder on the volume (for
 * example "\\SD Card"): `bytes` available to the caller and free in all.
 * UINT64_MAX restores the real reading. */
ORLIK_SIM_API void orlik_sim_set_storage_free(const char* volume, uint64_t bytes);

ORLIK_SIM_END_DECLS
