// Buffered standard I/O on files under the device root, opened by their
// panel path: the stream is a C FILE (fwrite, fflush, fclose from the
// standard library work on it) whose reads and writes go through the
// platform's file calls.
#pragma once

#include <orlik/types.h>

#include <stdio.h>

ORLIK_BEGIN_C

// Modes as fopen's: "r", "w", "a", with "+" and "b" ("b" changes nothing).
// Null with the last error set when the file cannot be opened.
ORLIK_API FILE* WINAPI _wfopen(LPCWSTR fileName, LPCWSTR mode);

ORLIK_END_C
