/* libRenokit.so: the update launcher. An application sets where the update
 * files are and how the updater's screen looks, then calls Start; Start
 * compares the folders and, when something changed, writes the updater
 * program it carries to "\Windows\Renovo.exe" and starts it.
 *
 * Load it with dlopen (local scope) under its own name, libRenokit.so: the
 * carried updater is found by that name. Texts are zero-terminated UTF-16;
 * longer texts than the capacities are cut. */
#ifndef TOLVEX_RENOKIT_H
#define TOLVEX_RENOKIT_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Folders without a trailing backslash; 259 units each. */
void SetPath(const char16_t* sourceFolder, const char16_t* targetFolder);
/* Bitmap file for the updater's background; the built-in image when missing. */
void SetBackImagePath(const char16_t* path);
/* Three texts of 99, 499 and 99 units; a line feed in text 2 breaks a line. */
void SetDisplayText(const char16_t* text1, const char16_t* text2, const char16_t* text3);
/* RGB values, red in the low byte. colour2 is also the status line's. */
void SetDisplayTextColor(uint32_t colour1, uint32_t colour2, uint32_t colour3);
/* Face name of the updater's font; the updater reads 31 characters. */
void SetFontName(const char16_t* faceName);
/* Milliseconds the updater waits before copying. */
void SetStartInterval(uint32_t milliseconds);
/* Non-zero: reboot after the copy; 0: start the first program of "Flash Disk\Run". */
void SetReboot(int32_t flag);
/* 1 when the updater was started; 0 when nothing differs or the source folder
 * is missing or empty. Does not wait for the updater. Texts must not hold ":". */
int32_t Start(void);

#ifdef __cplusplus
}
#endif

#endif
