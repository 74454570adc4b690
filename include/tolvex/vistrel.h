/* Vistrel: the Orlik panel's camera library. A live camera picture in a
 * window of the application, still images to JPEG files, raw frames into
 * memory as 24-bit rows, H.264 recording to storage, the picture controls
 * and the choice of one of four camera inputs.
 *
 * Load it as the framework does, with dlopen (RTLD_LOCAL) and dlsym: the
 * media player library exports some of the same names (Initialization,
 * Play, Stop, SetPreviewWindowHandle), and each library binds its own.
 * Linking several of these libraries into one program is not supported;
 * one alone may be linked. Texts are zero-terminated UTF-16. Results that
 * carry no meaning are 0.
 *
 * Call Initialization (after SetPreviewWindowHandle) before anything else:
 * until then every export does nothing and returns 0. */
#ifndef TOLVEX_VISTREL_H
#define TOLVEX_VISTREL_H

#include <stdint.h>
#include <uchar.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The preview's parent window (a platform window handle); set it before
 * Initialization. */
typedef struct HWND__* HWND;
int32_t SetPreviewWindowHandle(HWND window);
/* Builds the capture graph with the preview size at previewIndex (0-16) and
 * the capture size 0, starts it and sets up the video decoder. 1 when the
 * graph was built and the decoder answered; 0 without a camera. */
int32_t Initialization(int32_t previewIndex);
int32_t Play(void);
int32_t Stop(void);
/* 1 when the graph was rebuilt at that size (and runs), 0 when the index is
 * refused: preview 0-16, capture 0-12, and the preview sizes above 13 never
 * together with the capture size 12 (720 x 480). */
int32_t SetPreviewResolution(int32_t index);
int32_t GetPreviewResolution(int32_t* width, int32_t* height);
int32_t SetCaptureResolution(int32_t index);
int32_t GetCaptureResolution(int32_t* width, int32_t* height);

/* Arms one still image: the next frame is written as a JPEG file of the
 * capture size at fileName. 1 when armed. */
int32_t CaptureStillImage(const char16_t* fileName);
/* One frame as width x height x 3 bytes of blue, green, red, no header, no
 * row padding (up to 1,036,800 bytes at 720 x 480): ImageMemoryCapture
 * bottom-up (last row first), ImageMemoryCapture1 top-down. 0 when no frame
 * came within 3 seconds. */
int32_t ImageMemoryCapture(uint8_t* buffer);
int32_t ImageMemoryCapture1(uint8_t* buffer);

/* Recording: raw H.264 to path (at most 511 characters), continued in
 * "name[001].ext", "name[002].ext" ... before a file reaches 4,000,000,000
 * bytes. The bit rate is in kbit/s. SetEncodingParameter2 applies to the
 * capture graph in force (a resolution change replaces it). */
int32_t SetEncodingParameter1(const char16_t* path, int32_t frameRate, int32_t bitrate);
int32_t SetEncodingParameter2(int32_t gopNum, int32_t intraQP, int32_t qpMax, float gamma);
int32_t InitEncoding(void);
int32_t RunEncoding(void);
int32_t StopEncoding(void);
int32_t EndEncoding(void);

/* Picture controls, 0-255 (clamped): brightness, hue, contrast, colour
 * saturation; SetDefaultControl restores 128, 0, 128, 128. */
int32_t SetBrightnessControl(int32_t value);
int32_t SetHueControl(int32_t value);
int32_t SetContrastControl(int32_t value);
int32_t SetColorSaturationControl(int32_t value);
int32_t SetDefaultControl(void);
/* Camera input 1-4; any other value changes nothing. */
int32_t SetSourceChannel(int32_t channel);

#ifdef __cplusplus
}
#endif

#endif /* TOLVEX_VISTREL_H */
