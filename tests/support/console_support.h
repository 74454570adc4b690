// What the console tests and benchmark share: a program in another process
// with pipes on its standard input and output, and a client of the console
// protocol.
#pragma once

#include "board/console/address.h"
#include "line_reader.h"
#include "peer_process.h"
#include "spawn_piped.h"

#include <nlohmann/json.hpp>

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace console_test {

using json = nlohmann::json;
using Clock = std::chrono::steady_clock;

using tolvex_test::LineReader;

// A program run with pipes on its standard input and output.
class Child {
 public:
  explicit Child(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_ = tolvex_test::SpawnPiped(argv.data(), environ, false, &in_, &out_);
    if (out_ < 0) return;
    reader_.Reset(out_);
  }
  ~Child() {
    if (in_ >= 0) close(in_);
    if (pid_ > 0) {
      // Closing its input ends the panel application; anything else is killed.
      for (int i = 0; i < 500 && !Exited(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      if (pid_ > 0) {
        kill(pid_, SIGKILL);
        Wait();
      }
    }
    if (out_ >= 0) close(out_);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  pid_t pid() const { return pid_; }
  void Send(const std::string& line) {
    std::string text = line + "\n";
    [[maybe_unused]] ssize_t n = write(in_, text.data(), text.size());
  }
  std::optional<std::string> Line(int timeoutMs = 10000) { return reader_.Line(timeoutMs); }
  // Sends a request and returns the first line that starts with `prefix`.
  std::string Ask(const std::string& request, const std::string& prefix) {
    Send(request);
    return Expect(prefix);
  }
  std::string Expect(const std::string& prefix, int timeoutMs = 10000) {
    auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < until) {
      auto line = Line(int(std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count()) + 1);
      if (!line) break;
      if (line->rfind(prefix, 0) == 0) return *line;
    }
    return "";
  }
  void CloseInput() {
    if (in_ >= 0) close(in_);
    in_ = -1;
  }
  // Exit status, -1 when it did not exit normally.
  int Wait() {
    int st = 0;
    if (pid_ > 0 && waitpid(pid_, &st, 0) == pid_) status_ = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    pid_ = -1;
    return status_;
  }

 private:
  bool Exited() {
    int st = 0;
    if (waitpid(pid_, &st, WNOHANG) != pid_) return false;
    status_ = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
    pid_ = -1;
    return true;
  }
  pid_t pid_ = -1;
  int in_ = -1, out_ = -1;
  int status_ = -1;
  LineReader reader_;
};

// A client of the console protocol.
class Console {
 public:
  bool Connect(const std::string& path) {
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr;
    int dir = -1;
    if (fd_ < 0 || !orlik::console_address::Make(path, &addr, &dir)) return false;
    bool ok = connect(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    if (dir >= 0) close(dir);
    reader_.Reset(fd_);
    return ok;
  }
  ~Console() { Close(); }
  void Close() {
    if (fd_ >= 0) close(fd_);
    fd_ = -1;
  }
  int fd() const { return fd_; }

  bool SendRaw(const std::string& bytes) {
    for (size_t done = 0; done < bytes.size();) {
      ssize_t n = send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
      if (n <= 0) return false;
      done += size_t(n);
    }
    return true;
  }
  // The next line as JSON (null on time-out or end).
  json Next(int timeoutMs = 10000) {
    auto line = reader_.Line(timeoutMs);
    if (!line) return nullptr;
    return json::parse(*line, nullptr, false);
  }
  // The reply to a request; events that come first are kept for NextEvent.
  json Call(json request, int timeoutMs = 10000) {
    request["id"] = ++id_;
    if (!SendRaw(request.dump() + "\n")) return nullptr;
    for (;;) {
      json j = Next(timeoutMs);
      if (j.is_null() || !j.is_object()) return j;
      if (j.contains("event")) {
        events_.push_back(j);
        continue;
      }
      return j;
    }
  }
  // The next event of a kind (others are dropped), null on time-out.
  json NextEvent(const std::string& kind, int timeoutMs = 10000) {
    auto until = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      while (!events_.empty()) {
        json e = events_.front();
        events_.erase(events_.begin());
        if (e.value("event", "") == kind) return e;
      }
      auto left = std::chrono::duration_cast<std::chrono::milliseconds>(until - Clock::now()).count();
      if (left <= 0) return nullptr;
      json j = Next(int(left));
      if (j.is_null()) return nullptr;
      if (j.is_object() && j.contains("event")) events_.push_back(j);
    }
  }

 private:
  int fd_ = -1;
  int id_ = 0;
  LineReader reader_;
  std::vector<json> events_;
};

inline std::string SocketOf(const std::string& root, pid_t pid) {
  return root + "/.board/console-" + std::to_string(pid) + ".sock";
}

inline bool AwaitFile(const std::string& path, bool present, int timeoutMs = 5000) {
  struct stat st;
  for (int i = 0; i < timeoutMs / 5; ++i) {
    if ((stat(path.c_str(), &st) == 0) == present) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return false;
}

}  // namespace console_test
