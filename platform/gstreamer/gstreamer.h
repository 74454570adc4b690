// GStreamer inside the platform: started once per process, before the first
// pipeline, by whichever part needs it first (media playback, the board's
// camera, the sound output). The folder is not named "gst": the platform
// folder is on the include path, and GStreamer's own <gst/gst.h> must stay
// reachable.
#pragma once

namespace orlik::gst {

// Initialises GStreamer once; later calls return at once. False when
// GStreamer cannot start (then no pipeline may be built).
bool Init();

}  // namespace orlik::gst
