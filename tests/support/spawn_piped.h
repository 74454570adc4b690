// Starts a program with its standard input and output on pipes, as the
// cross-process tests talk to the programs they start.
#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <unistd.h>

namespace tolvex_test {

// Runs argv[0] with envp; *in is written to its standard input, *out reads
// its standard output (and its standard error with mergeErrors). The pid, or
// -1 when it could not start (then *in and *out stay -1).
inline pid_t SpawnPiped(char* const argv[], char* const envp[], bool mergeErrors, int* in, int* out) {
  *in = *out = -1;
  int toChild[2], fromChild[2];
  if (pipe2(toChild, O_CLOEXEC) != 0) return -1;
  if (pipe2(fromChild, O_CLOEXEC) != 0) {
    close(toChild[0]);
    close(toChild[1]);
    return -1;
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, toChild[0], 0);
  posix_spawn_file_actions_adddup2(&actions, fromChild[1], 1);
  if (mergeErrors) posix_spawn_file_actions_adddup2(&actions, fromChild[1], 2);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv, envp) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  close(toChild[0]);
  close(fromChild[1]);
  *in = toChild[1];
  *out = fromChild[0];
  return pid;
}

}  // namespace tolvex_test
