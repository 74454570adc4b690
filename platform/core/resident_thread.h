// A thread of the platform's own that serves the process until it ends (the
// console endpoint, the panel's window table watch).
#pragma once

#include <functional>

namespace orlik {

// Starts `body` on a detached thread. The platform's library stays loaded
// even if whoever loaded it unloads it (the thread runs its code), `atExit`
// runs when the process exits, and signals stay with the application's
// threads.
void StartResidentThread(std::function<void()> body, void (*atExit)());

}  // namespace orlik
