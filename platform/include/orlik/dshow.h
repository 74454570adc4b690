// DirectShow as the media services offer it: the streaming interfaces, the
// automation interfaces of the filter graph manager, identifiers, format
// blocks, event codes and status codes.
#pragma once

#include <orlik/amvideo.h>
#include <orlik/control.h>
#include <orlik/evcode.h>
#include <orlik/strmif.h>
#include <orlik/uuids.h>
#include <orlik/vfwmsgs.h>
