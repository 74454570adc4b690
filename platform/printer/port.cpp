#include "printer/port.h"

#include "board/storage.h"
#include "core/paths.h"

#include <orlik/text.h>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <pthread.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace orlik::printer {
namespace {

// A job reaches a file or device in pieces of this size, each a write the
// board's storage may refuse, as a disk fills up part way through a job.
constexpr size_t kWriteChunk = 64 * 1024;

bool IsLpt1(std::u16string_view port) {
  std::string name = ToUtf8(port);
  for (auto& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name == "LPT1" || name == "LPT1:";
}

// Writes everything; a reader that went away (EPIPE) must not kill the
// process, so SIGPIPE is blocked on this thread and a pending one consumed.
bool WriteAll(int fd, std::string_view data, std::string* error) {
  sigset_t pipeSet, oldSet;
  sigemptyset(&pipeSet);
  sigaddset(&pipeSet, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipeSet, &oldSet);
  bool ok = true;
  while (!data.empty()) {
    ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      *error = std::string("write: ") + std::strerror(errno);
      ok = false;
      break;
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
  if (!ok) {
    timespec zero{0, 0};
    while (sigtimedwait(&pipeSet, nullptr, &zero) > 0) {
    }
  }
  pthread_sigmask(SIG_SETMASK, &oldSet, nullptr);
  return ok;
}

bool SendToCommand(const std::string& command, std::string_view job, std::string* error) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) {
    *error = std::string("pipe: ") + std::strerror(errno);
    return false;
  }
  pid_t child = fork();
  if (child < 0) {
    *error = std::string("fork: ") + std::strerror(errno);
    close(fds[0]);
    close(fds[1]);
    return false;
  }
  if (child == 0) {
    dup2(fds[0], STDIN_FILENO);
    execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  close(fds[0]);
  bool wrote = WriteAll(fds[1], job, error);
  close(fds[1]);
  int status = 0;
  while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    *error = "spool command failed: " + command;
    return false;
  }
  return wrote;
}

}  // namespace

std::string PortTarget(std::u16string_view port) {
  if (!IsLpt1(port)) return {};
  const char* configured = std::getenv("ORLIK_LPT1");
  if (configured && *configured) return configured;
  return HostPath(u"\\LPT1.prn");
}

bool SendJob(std::u16string_view port, std::string_view job, std::string* error) {
  std::string target = PortTarget(port);
  if (target.empty()) {
    *error = "no such port: " + ToUtf8(port);
    return false;
  }
  if (target[0] == '|') return SendToCommand(target.substr(1), job, error);
  // The port's file is storage like any other: the board may refuse it.
  if (int e = board::StorageFault(board::kFileCreate, target)) {
    *error = target + ": " + std::strerror(e);
    return false;
  }
  int fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) {
    *error = target + ": " + std::strerror(errno);
    return false;
  }
  // A job that fails midway (a full disk) must not leave its first part in a
  // file of jobs: what was appended is cut off again, so the jobs before it
  // stay readable and the next job follows them. A device cannot be cut.
  struct stat before {};
  bool regular = ::fstat(fd, &before) == 0 && S_ISREG(before.st_mode);
  bool ok = true;
  for (size_t at = 0; ok && at < job.size(); at += kWriteChunk) {
    if (int e = board::StorageFault(board::kFileWrite, target)) {
      *error = target + ": " + std::strerror(e);
      ok = false;
      break;
    }
    ok = WriteAll(fd, job.substr(at, kWriteChunk), error);
  }
  if (!ok && regular && ::ftruncate(fd, before.st_size) != 0)
    *error += std::string("; the part written stays in the file: ") + std::strerror(errno);
  if (::close(fd) != 0 && ok) {
    *error = target + ": " + std::strerror(errno);
    ok = false;
  }
  return ok;
}

}  // namespace orlik::printer
