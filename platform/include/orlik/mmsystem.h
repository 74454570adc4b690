// The wave-output volume of the panel's one sound output.
#pragma once

#include <orlik/types.h>

typedef struct HWAVEOUT__* HWAVEOUT;
typedef UINT MMRESULT;

#define MMSYSERR_NOERROR 0u
#define MMSYSERR_ERROR 1u
#define MMSYSERR_BADDEVICEID 2u
#define MMSYSERR_INVALHANDLE 5u
#define MMSYSERR_NODRIVER 6u
#define MMSYSERR_INVALPARAM 11u

ORLIK_BEGIN_C

// The volume word of the output: the low half-word is the left (on the
// panel's single speaker: the only) channel, the high half-word the right;
// 0xFFFF is unity gain, 0 silence, linear in between. The speaker plays at
// the low half-word; the whole word is kept and read back as set. A null
// handle addresses the output device itself. Everything the output plays is
// scaled by it, on top of each stream's own volume.
ORLIK_API MMRESULT WINAPI waveOutGetVolume(HWAVEOUT waveOut, LPDWORD volume);
ORLIK_API MMRESULT WINAPI waveOutSetVolume(HWAVEOUT waveOut, DWORD volume);

ORLIK_END_C
