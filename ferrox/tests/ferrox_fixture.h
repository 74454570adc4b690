// Loads libFerrox.so on a fresh panel, as an application does.
#pragma once

#include "export_table.h"
#include "tolvex_test.h"

#include <tolvex/ferrox.h>

#include <string>
#include <vector>

namespace ferrox_test {

constexpr uint32_t kGpio = 0x7F008000;
constexpr uint32_t kAdc = 0x7E00B000;
constexpr uint32_t kTimer = 0x7F006000;

using tolvex_test::Box;
using tolvex_test::Boxes;

struct Access {
  uint32_t phys, value;
  bool write;
};

inline std::vector<Access> Trace() {
  std::vector<Access> out;
  int n = orlik_sim_trace_count();
  for (int i = 0; i < n; ++i) {
    Access a{};
    int w = 0;
    orlik_sim_trace_entry(i, &a.phys, &a.value, &w);
    a.write = w != 0;
    out.push_back(a);
  }
  return out;
}

inline int WritesTo(uint32_t phys) {
  int n = 0;
  for (auto& a : Trace()) n += (a.write && a.phys == phys) ? 1 : 0;
  return n;
}

class FerroxTest : public tolvex_test::PanelTest {
 protected:
  void Load() { lib_ = std::make_unique<tolvex_test::Library>(TOLVEX_LIB_FERROX); }
  void SetUp() override {
    PanelTest::SetUp();
    Load();
  }
  // An export by name, as a pointer of type F (decltype(&::Name) of a
  // declaration in the public header).
  template <class F>
  F Fn(const char* name) {
    return lib_->Get<F>(name);
  }
  std::unique_ptr<tolvex_test::Library> lib_;
};

// A fixture with a table of exports (TOLVEX_EXPORT_TABLE) filled once
// the library is loaded; a missing export fails the test.
template <class Table>
class FerroxTestWith : public FerroxTest, public Table {
 protected:
  void SetUp() override {
    FerroxTest::SetUp();
    this->Resolve([this](const char* name) { return lib_->Get<void*>(name); });
  }
};

// An export of the loaded library, typed by its declaration: FERROX_FN(Init).
#define FERROX_FN(name) Fn<decltype(&::name)>(#name)

}  // namespace ferrox_test
