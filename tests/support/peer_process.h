// Runs the queue peer program as a second process and reads its output lines.
#pragma once

#include "line_reader.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

// How long a peer may take to start and say "ready": a sanitizer build of a
// process that loads the platform (and its media libraries) on a busy
// machine takes seconds.
inline constexpr int kPeerStartMs = 30000;

class PeerProcess {
 public:
  explicit PeerProcess(const std::vector<std::string>& args) {
    int fds[2];
    if (pipe(fds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(fds[1]);
    out_ = fds[0];
    reader_.Reset(out_);
  }
  ~PeerProcess() {
    if (out_ >= 0) close(out_);
    Wait();
  }
  PeerProcess(const PeerProcess&) = delete;
  PeerProcess& operator=(const PeerProcess&) = delete;

  bool started() const { return pid_ > 0; }
  // Ends the process at once, without letting it close anything.
  void Kill() {
    if (pid_ > 0) kill(pid_, SIGKILL);
    Wait();
  }

  // The next output line, or "" after the time-out or at the end.
  std::string Line(int timeoutMs = 5000) { return reader_.Line(timeoutMs).value_or(""); }


  // Exit status (-1 if it did not end normally).
  int Wait() {
    if (pid_ <= 0) return status_;
    int st = 0;
    if (waitpid(pid_, &st, 0) == pid_) status_ = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    pid_ = -1;
    return status_;
  }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  int status_ = -1;
  tolvex_test::LineReader reader_;
};
