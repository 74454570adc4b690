// Functions on the path of every file open, read and close.
#pragma once

// Marks a function of that path. The compiler places them together, so that
// a call touches few pages of code: on hosts that isolate the kernel's page
// tables every system call empties the processor's address cache, and each
// further page a call touches then costs a walk of the page tables.
#define ORLIK_HOT_PATH __attribute__((hot))
// Marks what such a function seldom reaches (first use, faults a test arms,
// growing a table), kept out of the path's pages.
#define ORLIK_RARE_PATH __attribute__((cold))
