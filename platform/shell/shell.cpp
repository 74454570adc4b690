// Programs started by path (posix_spawn) and the program's own command line.
#include <orlik/kernel.h>
#include <orlik/shell.h>
#include <orlik/sim_shell.h>
#include <orlik/text.h>
#include <orlik/threads.h>

#include "board/storage.h"
#include "core/last_error.h"
#include "core/paths.h"
#include "core/waitable.h"

#include <dlfcn.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

extern char** environ;

namespace orlik {
namespace {

// Every process this one started, with its exit code once a reaper thread has
// collected it, so nothing is left as a zombie and the board can report it.
struct ProcessTable {
  std::mutex mutex;
  std::condition_variable ended;
  std::vector<pid_t> started;
  std::map<pid_t, int> exitCodes;

  static ProcessTable& Get() {
    static auto* table = new ProcessTable;  // reaper threads may outlive static destruction
    return *table;
  }

  // Waits until pid has ended or the deadline passes.
  bool WaitFor(pid_t pid, std::chrono::steady_clock::time_point deadline, bool forever, int* code) {
    std::unique_lock lock(mutex);
    for (;;) {
      auto it = exitCodes.find(pid);
      if (it != exitCodes.end()) {
        if (code) *code = it->second;
        return true;
      }
      if (forever) ended.wait(lock);
      else if (ended.wait_until(lock, deadline) == std::cv_status::timeout && !exitCodes.count(pid))
        return false;
    }
  }
};

class Process final : public Waitable {
 public:
  explicit Process(pid_t pid) : pid_(pid) {}
  DWORD Wait(DWORD milliseconds) override {
    bool forever = milliseconds == INFINITE;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(forever ? 0 : milliseconds);
    return ProcessTable::Get().WaitFor(pid_, deadline, forever, nullptr) ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
  }

 private:
  pid_t pid_;
};

void Reap(pid_t pid) {
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  int code = WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? 128 + WTERMSIG(status) : -1;
  auto& table = ProcessTable::Get();
  std::lock_guard lock(table.mutex);
  table.exitCodes[pid] = code;
  table.ended.notify_all();
}

// The folder of liborlik.so: a started program finds the system's libraries
// there, wherever on the panel its own file lies.
std::string PlatformLibraryFolder() {
  Dl_info info{};
  if (!dladdr(reinterpret_cast<void*>(&ShellExecuteEx), &info) || !info.dli_fname) return {};
  std::string path = info.dli_fname;
  auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash);
}

}  // namespace
}  // namespace orlik

using namespace orlik;

extern "C" {

BOOL ShellExecuteEx(LPSHELLEXECUTEINFO info) {
  if (!info || !info->lpFile || !*info->lpFile) return Fail(ERROR_INVALID_PARAMETER);
  info->hInstApp = nullptr;
  info->hProcess = nullptr;
  if (info->lpVerb && *info->lpVerb && orlik_wcsicmp(info->lpVerb, u"open") != 0)
    return Fail(ERROR_NOT_SUPPORTED);

  std::string path = HostPath(View(info->lpFile));
  struct stat st;
  if (stat(path.c_str(), &st) != 0) return Fail(ERROR_FILE_NOT_FOUND);
  if (!S_ISREG(st.st_mode)) return Fail(ERROR_ACCESS_DENIED);
  if ((st.st_mode & 0111) != 0111) chmod(path.c_str(), st.st_mode | 0111);

  std::string parameters = ToUtf8(View(info->lpParameters));
  std::vector<char*> argv{path.data()};
  if (!parameters.empty()) argv.push_back(parameters.data());
  argv.push_back(nullptr);

  std::vector<std::string> env;
  std::string libraries = PlatformLibraryFolder();
  bool sawLibraryPath = false;
  // The board's storage settings go to the new program as they stand now.
  std::string storage = board::StorageSettingsForChild();
  const size_t storageNameLength = std::strlen(board::kStorageSettingsVariable);
  if (!storage.empty()) env.push_back(storage);
  for (char** e = environ; e && *e; ++e) {
    if (std::strncmp(*e, board::kStorageSettingsVariable, storageNameLength) == 0 &&
        e[0][storageNameLength] == '=')
      continue;
    if (std::strncmp(*e, "LD_LIBRARY_PATH=", 16) == 0 && !libraries.empty()) {
      env.push_back("LD_LIBRARY_PATH=" + libraries + (e[0][16] ? ":" + std::string(*e + 16) : ""));
      sawLibraryPath = true;
    } else {
      env.emplace_back(*e);
    }
  }
  if (!sawLibraryPath && !libraries.empty()) env.push_back("LD_LIBRARY_PATH=" + libraries);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  pid_t pid = 0;
  int r = posix_spawn(&pid, path.c_str(), nullptr, nullptr, argv.data(), envp.data());
  if (r != 0) {
    info->hInstApp = reinterpret_cast<HINSTANCE>(intptr_t(r == ENOENT ? 2 : 31));
    return Fail(r == ENOENT ? ERROR_FILE_NOT_FOUND : r == EACCES ? ERROR_ACCESS_DENIED : ERROR_GEN_FAILURE);
  }
  {
    auto& table = ProcessTable::Get();
    std::lock_guard lock(table.mutex);
    table.started.push_back(pid);
  }
  std::thread(Reap, pid).detach();
  info->hInstApp = reinterpret_cast<HINSTANCE>(intptr_t(42));
  if (info->fMask & SEE_MASK_NOCLOSEPROCESS) info->hProcess = InsertHandle(std::make_shared<Process>(pid));
  SetLastError(ERROR_SUCCESS);
  return TRUE;
}

LPWSTR GetCommandLineW(void) {
  static std::u16string* line = [] {
    std::ifstream in("/proc/self/cmdline", std::ios::binary);
    std::string all{std::istreambuf_iterator<char>(in), {}};
    std::string joined;
    size_t start = all.find('\0');  // skip the program's own path
    while (start != std::string::npos && start + 1 < all.size()) {
      size_t end = all.find('\0', start + 1);
      if (end == std::string::npos) end = all.size();
      if (!joined.empty()) joined += ' ';
      joined.append(all, start + 1, end - start - 1);
      start = end;
    }
    return new std::u16string(FromUtf8(joined));
  }();
  return line->data();
}

int orlik_sim_process_count(void) {
  auto& table = ProcessTable::Get();
  std::lock_guard lock(table.mutex);
  return int(table.started.size());
}

int orlik_sim_process_id(int i) {
  auto& table = ProcessTable::Get();
  std::lock_guard lock(table.mutex);
  return (i >= 0 && size_t(i) < table.started.size()) ? table.started[size_t(i)] : 0;
}

int orlik_sim_process_wait(int pid, int timeout_ms, int* exit_code) {
  auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
  return ProcessTable::Get().WaitFor(pid, deadline, false, exit_code) ? 1 : 0;
}

}  // extern "C"
