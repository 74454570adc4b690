// Ferrox sound on the panel: a sound file played at two device volumes; what
// the speaker played is in the WAV file of ORLIK_AUDIO.
#include "tour.h"

#include <orlik/windows.h>
#include <tolvex/ferrox.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

namespace tour {

namespace {

using namespace std::chrono_literals;

// A two-note chime, 1 s.
const char* const kChime =
    "concat name=c ! audioconvert ! audio/x-raw,format=S16LE,rate=44100,channels=1 ! wavenc ! "
    "filesink location={out} "
    "audiotestsrc wave=sine freq=660 volume=0.6 samplesperbuffer=4410 num-buffers=5 ! c. "
    "audiotestsrc wave=sine freq=880 volume=0.6 samplesperbuffer=4410 num-buffers=5 ! c.";

// The sound in the output WAV file so far: its data bytes, and the peak of
// the 16-bit samples after `fromByte` of them.
struct Played {
  uint32_t byteRate = 0;
  size_t bytes = 0;
  int peak = 0;
};

Played ReadPlayed(const std::string& path, size_t fromByte) {
  Played played;
  std::ifstream in(path, std::ios::binary);
  std::vector<char> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (size_t at = 12; at + 8 <= b.size();) {
    uint32_t size;
    std::memcpy(&size, &b[at + 4], 4);
    if (!std::memcmp(&b[at], "fmt ", 4) && at + 20 <= b.size()) std::memcpy(&played.byteRate, &b[at + 16], 4);
    if (!std::memcmp(&b[at], "data", 4)) {
      played.bytes = b.size() - at - 8;
      for (size_t i = at + 8 + fromByte; i + 1 < b.size(); i += 2) {
        int16_t s;
        std::memcpy(&s, &b[i], 2);
        played.peak = std::max(played.peak, std::abs(int(s)));
      }
      break;
    }
    at += 8 + size + (size & 1);
  }
  return played;
}

}  // namespace

#define FERROX_SOUND_EXPORTS(X) X(SetPlayFilePath) X(Play_Sound) X(Stop_Sound) X(Is_Play) X(GetVolume) \
  X(SetVolume)
TOLVEX_EXPORT_TABLE(FerroxSoundExports, FERROX_SOUND_EXPORTS);

static bool FerroxSound() {
  if (!MakePanelMedia("Flash Disk/Media/chime.wav", kChime)) return false;
  Loaded<FerroxSoundExports> ferrox("libFerrox.so");
  if (!ferrox.ok()) return false;
  const char* wav = std::getenv("ORLIK_AUDIO");
  std::string out = wav ? wav : "";
  bool toFile = out.size() > 4 && out.compare(out.size() - 4, 4, ".wav") == 0;

  bool ok = ferrox.SetPlayFilePath(u"\\Flash Disk\\Media\\chime.wav") >= 0;
  int peaks[2] = {};
  int volumes[2] = {0xFFFF, 0x4000};
  for (int i = 0; i < 2; ++i) {
    ferrox.SetVolume(volumes[i]);
    size_t before = toFile ? ReadPlayed(out, 0).bytes : 0;
    ok = ok && ferrox.Play_Sound() == 1;
    for (int t = 0; t < 300 && ferrox.Is_Play() == 1; ++t) std::this_thread::sleep_for(10ms);
    ok = ok && ferrox.Is_Play() == 0;
    std::this_thread::sleep_for(100ms);
    if (toFile) {
      Played p = ReadPlayed(out, before);
      peaks[i] = p.peak;
      std::printf("   volume 0x%04X: played %.2f s of sound, peak sample %d\n", ferrox.GetVolume(),
                  p.byteRate ? double(p.bytes - before) / p.byteRate : 0.0, p.peak);
    }
  }
  ok = ok && ferrox.Stop_Sound() == 1;
  if (toFile) {
    std::printf("   everything the speaker played is in %s\n", out.c_str());
    // A quarter of the device volume, a quarter of the amplitude.
    ok = ok && peaks[0] > 0 && std::abs(peaks[1] * 4 - peaks[0]) < peaks[0] / 20;
  }
  return ok;
}

TOUR_SECTION(15, "Ferrox: sound and volume", FerroxSound);

}  // namespace tour
