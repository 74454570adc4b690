// Objects a thread can wait on with WaitForSingleObject.
#pragma once

#include "core/handles.h"

namespace orlik {

class Waitable : public KernelObject {
 public:
  // Blocks until signalled or until milliseconds pass (INFINITE: no limit).
  // Returns WAIT_OBJECT_0 or WAIT_TIMEOUT.
  virtual DWORD Wait(DWORD milliseconds) = 0;
};

}  // namespace orlik
