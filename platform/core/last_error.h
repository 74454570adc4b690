// The failure path of a BOOL call: the error goes to the calling thread's
// last error and the call returns FALSE.
#pragma once

#include <orlik/kernel.h>

namespace orlik {

inline BOOL Fail(DWORD error) {
  SetLastError(error);
  return FALSE;
}

}  // namespace orlik
