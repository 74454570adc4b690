#include "core/resident_thread.h"

#include <dlfcn.h>
#include <pthread.h>
#include <signal.h>

#include <cstdlib>
#include <thread>

namespace orlik {

void StartResidentThread(std::function<void()> body, void (*atExit)()) {
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&StartResidentThread), &info) && info.dli_fname)
    dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
  if (atExit) std::atexit(atExit);
  sigset_t all, old;
  sigfillset(&all);
  pthread_sigmask(SIG_SETMASK, &all, &old);
  std::thread(std::move(body)).detach();
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
}

}  // namespace orlik
