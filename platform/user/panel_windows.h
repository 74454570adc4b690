// The windows of every process of the panel: each process publishes its
// shown top-level windows in a table shared by the processes of its device
// root, so that they clip against each other and a touch reaches the process
// whose window lies under it. A thread of each process with windows waits on
// the table for what concerns it: touches handed to it, and areas another
// process uncovered (to repaint). The windows of a process that ended leave
// the table. Calls are made under the window system's lock; the table's own
// lock is taken inside it, never the other way round.
#pragma once

#include <orlik/winuser.h>

#include <cstdint>
#include <vector>

namespace orlik::user::panel {

// A top-level window of some process, as the table holds it.
struct Entry {
  int32_t pid = 0;
  uint64_t handle = 0;
  RECT rect{};
  int64_t z = 0;
  bool topmost = false;
};

// Stacking order of top-level windows across processes.
struct Key {
  bool topmost;
  int64_t z;
  int32_t pid;
  uint64_t handle;
  auto operator<=>(const Key&) const = default;
};
inline Key KeyOf(const Entry& e) { return Key{e.topmost, e.z, e.pid, e.handle}; }

int32_t Self();

// Opens the table of the device root and starts the waiting thread, once.
void Join();
// The other processes' entries (none before Join).
std::vector<Entry> Others();
// A stamp above (top) or below everything published so far.
int64_t Stamp(bool top);
// Replaces this process's entries.
void Publish(const std::vector<Entry>& mine);
// Tells the other processes that `area` was uncovered for windows below `key`.
void Damage(const Key& key, const std::vector<RECT>& area);
// Hands a touch (screen coordinates) to the process owning a window.
void SendTouch(int32_t pid, uint64_t handle, int x, int y, bool down);
// Where the finger went down (pid 0: nowhere); set on down, cleared on up.
void SetPress(int32_t pid, uint64_t handle);
bool Pressed(int32_t* pid, uint64_t* handle);

}  // namespace orlik::user::panel
