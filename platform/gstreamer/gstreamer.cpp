#include "gstreamer/gstreamer.h"

#include <gst/gst.h>

#include <cstdio>
#include <mutex>

namespace orlik::gst {

bool Init() {
  static std::once_flag once;
  static bool started = false;
  std::call_once(once, [] {
    GError* error = nullptr;
    started = gst_init_check(nullptr, nullptr, &error);
    if (!started) {
      std::fprintf(stderr, "[orlik media] GStreamer did not start: %s\n",
                   error ? error->message : "unknown error");
      if (error) g_error_free(error);
    }
  });
  return started;
}

}  // namespace orlik::gst
