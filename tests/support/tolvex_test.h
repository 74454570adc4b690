// Test support: load a deliverable as an application does (dlopen with local
// scope, dlsym of each export) on a freshly reset simulated panel.
#pragma once

#include <orlik/sim.h>

#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

// An export of a loaded library by the name its public header declares, with
// the type declared there: TOLVEX_GET(lib, Connect). Include only the header
// of the library under test: several libraries export the same names.
#define TOLVEX_GET(library, name) (library).Get<decltype(&::name)>(#name)

namespace tolvex_test {

class Library {
 public:
  explicit Library(const char* path) : handle_(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {
    if (!handle_) ADD_FAILURE() << "dlopen " << path << ": " << dlerror();
  }
  ~Library() { Close(); }
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  bool loaded() const { return handle_ != nullptr; }
  // Unloads now (the library's teardown runs).
  void Close() {
    if (handle_) dlclose(handle_);
    handle_ = nullptr;
  }

  // An export by name, as a function pointer of type F. Fails the test when
  // the export is missing.
  template <class F>
  F Get(const char* name) {
    void* p = handle_ ? dlsym(handle_, name) : nullptr;
    if (!p) ADD_FAILURE() << "missing export " << name;
    return reinterpret_cast<F>(p);
  }
  bool Has(const char* name) { return handle_ && dlsym(handle_, name) != nullptr; }
  void* Symbol(const char* name) { return handle_ ? dlsym(handle_, name) : nullptr; }

 private:
  void* handle_;
};

// A private device root for the test, removed afterwards.
class TempRoot {
 public:
  TempRoot() {
    char pattern[] = "/tmp/orlik-test-XXXXXX";
    path_ = mkdtemp(pattern);
    setenv("ORLIK_ROOT", path_.c_str(), 1);
  }
  ~TempRoot() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  const std::string& path() const { return path_; }

  // Writes a file below the root, making its folders.
  void Write(const std::string& rel, const std::string& bytes) const {
    std::filesystem::path p = std::filesystem::path(path_) / rel;
    std::filesystem::create_directories(p.parent_path());
    std::ofstream(p, std::ios::binary) << bytes;
  }
  // A file below the root, whole; empty when there is none.
  std::string Read(const std::string& rel) const {
    std::ifstream in(std::filesystem::path(path_) / rel, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
  }

 private:
  std::string path_;
};

// Names in a device root folder, leaving out the board's own records
// (".board": power requests, the console's socket).
inline std::vector<std::string> PanelFiles(const std::string& folder) {
  std::vector<std::string> names;
  std::error_code ec;
  for (auto& e : std::filesystem::directory_iterator(folder, ec))
    if (e.path().filename() != ".board") names.push_back(e.path().filename().string());
  return names;
}

// A message box the panel showed: its caption and text.
struct Box {
  std::string caption, text;
  bool operator==(const Box&) const = default;
};

// The message boxes shown since the last reset, in order.
inline std::vector<Box> Boxes() {
  std::vector<Box> boxes;
  char caption[64], text[256];
  for (int i = 0; orlik_sim_message(i, caption, sizeof caption, text, sizeof text); ++i)
    boxes.push_back({caption, text});
  return boxes;
}

// Base fixture: a fresh panel before anything is loaded.
class PanelTest : public ::testing::Test {
 protected:
  void SetUp() override { orlik_sim_reset(); }
  TempRoot root_;
};

}  // namespace tolvex_test
