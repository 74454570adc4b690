// The tour: each library on the simulated panel, one section each.
#pragma once

#include <dlfcn.h>

#include <cstdio>
#include <string>

namespace tour {

// Where a section leaves its pictures, recordings and printouts.
const std::string& OutputDir();

// A deliverable loaded as an application loads it.
class Module {
 public:
  explicit Module(const char* fileName);
  ~Module();
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;
  bool ok() const { return handle_ != nullptr; }
  template <class F>
  F Get(const char* name) const {
    return reinterpret_cast<F>(handle_ ? dlsym(handle_, name) : nullptr);
  }

 private:
  void* handle_;
};

// Sections. Each returns false when something did not behave.
bool FerroxPorts();

}  // namespace tour
