// Events. An event is a shared object (core/shared_object.h): a named one is
// reached by its name from every process of the panel, an unnamed one only
// through its handles. Its state, two words, sits behind the object's robust
// lock (a process that dies holding it does not block the others). Each
// handle is one reference of its process; the name lives while a live
// process holds one.
#include <orlik/kernel.h>
#include <orlik/sync.h>
#include <orlik/text.h>
#include <orlik/threads.h>

#include "core/last_error.h"
#include "core/shared_object.h"
#include "core/waitable.h"

#include <memory>

namespace orlik {
namespace {

constexpr uint32_t kMagic = 0x4F45564Eu;  // "OEVN"
constexpr int kHandles = 0;              // the one kind of reference

struct EventState {
  shared::Header object;
  int32_t manualReset;
  int32_t signalled;
};

shared::Spec SpecFor(bool create, bool manualReset, bool initialState) {
  return shared::Spec{kMagic, create ? sizeof(EventState) : 0, false, kHandles,
                      [manualReset, initialState](shared::Header* h) {
                        auto* s = reinterpret_cast<EventState*>(h);
                        s->manualReset = manualReset ? 1 : 0;
                        s->signalled = initialState ? 1 : 0;
                      }};
}

class Event final : public Waitable {
 public:
  explicit Event(std::shared_ptr<shared::Object> object)
      : object_(std::move(object)), state_(object_->As<EventState>()) {}
  // The handle's reference goes when the last user of the handle is done
  // with it (a wait in progress keeps it).
  ~Event() override { object_->Release(kHandles); }

  DWORD Wait(DWORD milliseconds) override {
    auto result = shared::WaitUntil(&state_->object, shared::Deadline::After(milliseconds),
                                    [this](shared::Lock&) {
                                      if (!state_->signalled) return false;
                                      if (!state_->manualReset) state_->signalled = 0;
                                      return true;
                                    });
    if (result == shared::WaitResult::kFailed) SetLastError(ERROR_GEN_FAILURE);
    return result == shared::WaitResult::kDone       ? WAIT_OBJECT_0
           : result == shared::WaitResult::kTimedOut ? WAIT_TIMEOUT
                                                     : WAIT_FAILED;
  }

  void Set() {
    shared::Lock lock(&state_->object);
    state_->signalled = 1;
    if (state_->manualReset)
      lock.Broadcast();
    else
      lock.Signal();
  }

  void Reset() {
    shared::Lock lock(&state_->object);
    state_->signalled = 0;
  }

 private:
  std::shared_ptr<shared::Object> object_;
  EventState* state_;
};

// Opens the named event, creating it when create is set. Sets *created.
std::shared_ptr<Event> OpenNamed(std::u16string_view name, bool create, bool manualReset,
                                 bool initialState, bool* created) {
  auto opened = shared::Open(shared::PanelName("event", name), SpecFor(create, manualReset, initialState));
  *created = opened.how == shared::Opened::kCreated;
  switch (opened.how) {
    case shared::Opened::kCreated:
    case shared::Opened::kOpened: return std::make_shared<Event>(std::move(opened.object));
    case shared::Opened::kNotFound: SetLastError(ERROR_FILE_NOT_FOUND); break;
    case shared::Opened::kFull:  // too many processes hold it
    case shared::Opened::kNoMemory: SetLastError(ERROR_NOT_ENOUGH_MEMORY); break;
    case shared::Opened::kDenied:
    case shared::Opened::kFailed: SetLastError(ERROR_ACCESS_DENIED); break;
  }
  return nullptr;
}

}  // namespace
}  // namespace orlik

using namespace orlik;

extern "C" {

HANDLE CreateEventW(LPSECURITY_ATTRIBUTES, BOOL manualReset, BOOL initialState, LPCWSTR name) {
  if (!name || !*name) {
    auto object = shared::CreateUnnamed(SpecFor(true, manualReset != FALSE, initialState != FALSE));
    if (!object) {
      SetLastError(ERROR_NOT_ENOUGH_MEMORY);
      return nullptr;
    }
    SetLastError(ERROR_SUCCESS);
    return InsertHandle(std::make_shared<Event>(std::move(object)));
  }
  if (orlik_wcslen(name) >= MAX_PATH) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  bool created = false;
  auto event = OpenNamed(View(name), true, manualReset != FALSE, initialState != FALSE, &created);
  if (!event) return nullptr;
  HANDLE h = InsertHandle(event);
  SetLastError(created ? ERROR_SUCCESS : ERROR_ALREADY_EXISTS);
  return h;
}

HANDLE OpenEventW(DWORD, BOOL, LPCWSTR name) {
  if (!name || !*name || orlik_wcslen(name) >= MAX_PATH) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  bool created = false;
  auto event = OpenNamed(View(name), false, false, false, &created);
  return event ? InsertHandle(event) : nullptr;
}

BOOL SetEvent(HANDLE handle) {
  auto event = LookupHandleAs<Event>(handle);
  if (!event) return Fail(ERROR_INVALID_HANDLE);
  event->Set();
  return TRUE;
}

BOOL ResetEvent(HANDLE handle) {
  auto event = LookupHandleAs<Event>(handle);
  if (!event) return Fail(ERROR_INVALID_HANDLE);
  event->Reset();
  return TRUE;
}

}  // extern "C"
