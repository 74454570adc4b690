// Loads libVistrel.so on a fresh panel, as an application does, with a
// window of the application to show the preview in.
#pragma once

#include <tolvex/vistrel.h>

#include <orlik/sim.h>
#include <orlik/sim_camera.h>
#include <orlik/windows.h>

#include "popup_window.h"
#include "tolvex_test.h"

#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace vistrel_test {

using tolvex_test::Box;
using tolvex_test::Boxes;

inline LRESULT CALLBACK PlainWindow(HWND w, UINT m, WPARAM wp, LPARAM lp) { return DefWindowProcW(w, m, wp, lp); }

// A YV12 picture (Y plane, then V, then U) with a given value per plane.
inline std::vector<uint8_t> Picture(int width, int height, uint8_t y, uint8_t u, uint8_t v) {
  size_t n = size_t(width) * size_t(height);
  std::vector<uint8_t> p(n + n / 2);
  std::memset(p.data(), y, n);
  std::memset(p.data() + n, v, n / 4);
  std::memset(p.data() + n + n / 4, u, n / 4);
  return p;
}

class VistrelTest : public tolvex_test::PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    window_ = tolvex_test::PopupWindow(u"VistrelTestWindow", &PlainWindow, 40, 30, 200, 100);
    lib_ = std::make_unique<tolvex_test::Library>(TOLVEX_LIB_VISTREL);
  }
  void TearDown() override {
    lib_.reset();
    if (window_) DestroyWindow(window_);
  }

  template <class F>
  F Fn(const char* name) {
    return lib_->Get<F>(name);
  }

  // SetPreviewWindowHandle, then Initialization.
  int32_t Start(int32_t previewIndex) {
    Fn<decltype(&::SetPreviewWindowHandle)>("SetPreviewWindowHandle")(window_);
    return Fn<decltype(&::Initialization)>("Initialization")(previewIndex);
  }

  HWND window_ = nullptr;
  std::unique_ptr<tolvex_test::Library> lib_;
};

}  // namespace vistrel_test
