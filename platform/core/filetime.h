// FILETIME: 100-nanosecond units since 1601-01-01 UTC.
#pragma once

#include <orlik/findtypes.h>

#include <time.h>

#include <cstdint>

namespace orlik {

// A time in seconds (and nanoseconds) since 1970-01-01 UTC. Times back to
// 1601 convert exactly.
constexpr FILETIME FileTimeFromUnix(int64_t seconds, uint32_t nanoseconds = 0) {
  uint64_t v = (uint64_t(seconds) + 11644473600ull) * 10000000ull + nanoseconds / 100;
  return FILETIME{DWORD(v), DWORD(v >> 32)};
}

inline FILETIME FileTimeFrom(const timespec& t) { return FileTimeFromUnix(t.tv_sec, uint32_t(t.tv_nsec)); }

}  // namespace orlik
