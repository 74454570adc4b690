// The source filter RenderFile puts at the head of a playback graph: it
// decodes a file with GStreamer and delivers raw samples on one output pin
// per stream ("Video": RGB32 top-down frames; "Audio": 16-bit PCM, 44100 Hz,
// stereo), paced to real time by GStreamer's clock, and answers
// IMediaSeeking for the graph.
#pragma once

#include <orlik/dshow.h>

namespace orlik::dshow {

// Opens and prerolls the file (a panel path). On success *filter holds one
// reference to a source with at least one output pin. Fails with
// HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) for a missing file and
// VFW_E_UNSUPPORTED_STREAM (or VFW_E_INVALID_FILE_FORMAT) for one GStreamer
// cannot decode.
HRESULT CreateFileSource(LPCWSTR file, IBaseFilter** filter);

}  // namespace orlik::dshow
