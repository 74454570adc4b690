// The wave-output volume of the panel's one sound output. No wave-output
// device is opened through this platform, so the only handle is the null
// one, which addresses the output device itself.
#include <orlik/mmsystem.h>

#include "board/sound_output.h"

extern "C" {

MMRESULT waveOutGetVolume(HWAVEOUT waveOut, LPDWORD volume) {
  if (waveOut) return MMSYSERR_INVALHANDLE;
  if (!volume) return MMSYSERR_INVALPARAM;
  *volume = orlik::board::SoundOutput::Get().Volume();
  return MMSYSERR_NOERROR;
}

MMRESULT waveOutSetVolume(HWAVEOUT waveOut, DWORD volume) {
  if (waveOut) return MMSYSERR_INVALHANDLE;
  orlik::board::SoundOutput::Get().SetVolume(volume);
  return MMSYSERR_NOERROR;
}

}  // extern "C"
