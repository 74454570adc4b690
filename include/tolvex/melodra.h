/* Melodra: the Orlik panel's media player library. One audio or video file
 * at a time, shown in a window the caller owns, with position in whole
 * seconds, volume on a 0 to 10000 scale, full screen, and a flag for the end
 * of the clip. At the end the player reloads the same file and stands stopped
 * at its start, ready to play again.
 *
 * Load it as the framework does, with dlopen (RTLD_LOCAL) and dlsym: the
 * camera library exports Initialization, Play, Stop and
 * SetPreviewWindowHandle, and the hardware library GetVolume and SetVolume,
 * under the same names; each library binds its own. Linking several of them
 * into one program directly is not supported.
 *
 * Calling order: Initialization and SetPreviewWindowHandle (either order),
 * then Open or Open1, then the others; ReleaseEx ends the use of the player
 * (Initialization may follow to use it again). Before Initialization every
 * call but SetPreviewWindowHandle returns 0 and does nothing. Results are 1
 * for success and 0 for failure unless noted. File names are zero-terminated
 * UTF-16 of at most 259 characters; a longer name is not opened. The calls
 * are serialised against each other and against the player's own end-of-clip
 * reload. */
#ifndef TOLVEX_MELODRA_H
#define TOLVEX_MELODRA_H

#include <stdint.h>
#include <uchar.h>

#ifdef __cplusplus
extern "C" {
#endif

#ifndef TOLVEX_HWND_DEFINED
#define TOLVEX_HWND_DEFINED
typedef struct HWND__* HWND;
#endif

/* Builds the filter graph: 0 on success, else a negative status code. */
int32_t Initialization(void);
/* The window the video is shown in; returns non-zero. */
int32_t SetPreviewWindowHandle(HWND window);
/* Opens a file stopped at its start, the video filling the caller's window,
 * which takes the video's own size (a file without video leaves the window's
 * size as it is). */
int32_t Open(const char16_t* fileName);
/* Opens a file, the video filling the caller's window at width x height. */
int32_t Open1(const char16_t* fileName, int32_t width, int32_t height);
/* Starts or resumes playback; 1 also while already playing. */
int32_t Play(void);
/* Stops and goes back to the start. If the clip had just ended, the player
 * holds no file afterwards: open one again before playing. */
int32_t Stop(void);
int32_t Pause(void);
/* 1 once the clip has played to its end, until the next Play. */
int32_t IsComplete(void);
/* Position and duration in whole seconds (0 when unknown). */
int32_t GetCurrentPos(void);
int32_t GetMaxPos(void);
int32_t SetCurrentPos(uint32_t seconds);
/* 0 (silence, -100 dB) to 10000 (full volume). */
int32_t GetVolume(void);
int32_t SetVolume(int32_t volume);
/* 1: full screen; any other value: back into the window at the size of the
 * last open. */
int32_t ViewFullSizeMode(int32_t mode);
/* Releases the graph; the result carries no meaning. */
int32_t ReleaseEx(void);

#ifdef __cplusplus
}
#endif

#endif /* TOLVEX_MELODRA_H */
