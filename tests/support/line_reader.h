// Lines from a descriptor (a child's output, a socket), with a time-out.
#pragma once

#include <poll.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>

namespace tolvex_test {

class LineReader {
 public:
  explicit LineReader(int fd = -1) : fd_(fd) {}
  void Reset(int fd) { fd_ = fd; buffer_.clear(); }
  // The next line, or nullopt after the time-out or at the end.
  std::optional<std::string> Line(int timeoutMs) {
    auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
      auto nl = buffer_.find('\n');
      if (nl != std::string::npos) {
        std::string line = buffer_.substr(0, nl);
        buffer_.erase(0, nl + 1);
        return line;
      }
      auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(until - std::chrono::steady_clock::now()).count();
      if (left <= 0 || fd_ < 0) return std::nullopt;
      pollfd p{fd_, POLLIN, 0};
      if (poll(&p, 1, int(left)) <= 0) return std::nullopt;
      char chunk[65536];
      ssize_t n = read(fd_, chunk, sizeof chunk);
      if (n <= 0) return std::nullopt;
      buffer_.append(chunk, size_t(n));
    }
  }

 private:
  int fd_;
  std::string buffer_;
};

}  // namespace tolvex_test
