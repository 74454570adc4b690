// The process's handle table. Every kernel object the platform hands out
// (file, device, thread, event, queue ...) is a KernelObject behind a HANDLE.
#pragma once

#include <orlik/types.h>

#include <memory>

namespace orlik {

class KernelObject {
 public:
  virtual ~KernelObject() = default;
  // Called when the handle is closed, before the table drops its reference.
  virtual void OnClose() {}
};

// Handles are never null and never INVALID_HANDLE_VALUE, and a value is not
// reused while the process runs, so a stale handle fails instead of reaching
// another object.
HANDLE InsertHandle(std::shared_ptr<KernelObject> object);
std::shared_ptr<KernelObject> LookupHandle(HANDLE handle);
bool RemoveHandle(HANDLE handle);

template <class T>
std::shared_ptr<T> LookupHandleAs(HANDLE handle) {
  return std::dynamic_pointer_cast<T>(LookupHandle(handle));
}

}  // namespace orlik
