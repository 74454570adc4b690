// Base of the libraries' objects that own something a copy would share
// (a filter graph, a thread, a mapped window, the library's one state):
// `class PrintState : tolvex::NonCopyable`. For the libraries' own sources;
// not installed.
#pragma once

namespace tolvex {

class NonCopyable {
 public:
  NonCopyable(const NonCopyable&) = delete;
  NonCopyable& operator=(const NonCopyable&) = delete;

 protected:
  NonCopyable() = default;
  ~NonCopyable() = default;
};

}  // namespace tolvex
