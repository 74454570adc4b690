// What the capture tests share: a fixture with COM entered on a fresh
// panel, test pictures, JPEG decoding, a renderer and a gate filter written
// on the base classes, and pin look-ups.
#pragma once

#include <orlik/dshow.h>
#include <orlik/sim.h>
#include <orlik/windows.h>

#include "strmbase.h"
#include "tolvex_test.h"

#include <turbojpeg.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace capture_test {

using orlik::strmbase::ComPtr;
using Clock = std::chrono::steady_clock;

ORLIK_DEFINE_GUID(CLSID_TestSink, 0x5C1E0A01, 0x0000, 0x4000, 0x80, 0, 0, 0, 0, 0, 0, 1);
ORLIK_DEFINE_GUID(CLSID_TestGate, 0x5C1E0A01, 0x0000, 0x4000, 0x80, 0, 0, 0, 0, 0, 0, 2);

// A YV12 picture: the Y plane, then V, then U.
struct Picture {
  int width = 0, height = 0;
  std::vector<uint8_t> bytes;
  uint8_t Y(int x, int y) const { return bytes[size_t(y) * width + x]; }
  uint8_t V(int x, int y) const { return bytes[size_t(width) * height + size_t(y / 2) * (width / 2) + x / 2]; }
  uint8_t U(int x, int y) const {
    return bytes[size_t(width) * height * 5 / 4 + size_t(y / 2) * (width / 2) + x / 2];
  }
};

// Smooth gradients (so JPEG keeps them closely) that differ per seed.
inline Picture Gradient(int width, int height, int seed) {
  Picture p{width, height, std::vector<uint8_t>(size_t(width) * height * 3 / 2)};
  uint8_t* y = p.bytes.data();
  uint8_t* v = y + size_t(width) * height;
  uint8_t* u = v + size_t(width) * height / 4;
  const int shift = seed % 60;
  for (int r = 0; r < height; ++r)
    for (int c = 0; c < width; ++c) y[size_t(r) * width + c] = uint8_t(20 + c * 120 / width + r * 40 / height + shift);
  for (int r = 0; r < height / 2; ++r)
    for (int c = 0; c < width / 2; ++c) {
      v[size_t(r) * (width / 2) + c] = uint8_t(90 + r * 60 / (height / 2) + shift / 2);
      u[size_t(r) * (width / 2) + c] = uint8_t(160 - c * 60 / (width / 2) - shift / 2);
    }
  return p;
}

// A JPEG file decoded back to YV12 (4:2:0), or an empty picture.
inline Picture DecodeJpeg(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<unsigned char> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Picture p;
  if (data.empty()) return p;
  tjhandle d = tjInitDecompress();
  int w = 0, h = 0, subsamp = 0, colorspace = 0;
  if (tjDecompressHeader3(d, data.data(), data.size(), &w, &h, &subsamp, &colorspace) == 0 && subsamp == TJSAMP_420) {
    std::vector<uint8_t> yuv(size_t(w) * h * 3 / 2);
    uint8_t* planes[3] = {yuv.data(), yuv.data() + size_t(w) * h, yuv.data() + size_t(w) * h * 5 / 4};
    if (tjDecompressToYUVPlanes(d, data.data(), data.size(), planes, w, nullptr, h, 0) == 0) {
      // TurboJPEG gives Y, U, V; the picture keeps YV12's order.
      p.width = w;
      p.height = h;
      p.bytes.assign(yuv.begin(), yuv.begin() + ptrdiff_t(w) * h);
      p.bytes.insert(p.bytes.end(), yuv.begin() + ptrdiff_t(w) * h * 5 / 4, yuv.end());
      p.bytes.insert(p.bytes.end(), yuv.begin() + ptrdiff_t(w) * h, yuv.begin() + ptrdiff_t(w) * h * 5 / 4);
    }
  }
  tjDestroy(d);
  return p;
}

// The largest difference of any Y, U or V sample; 255 for different sizes.
inline int LargestDifference(const Picture& a, const Picture& b) {
  if (a.width != b.width || a.height != b.height || a.bytes.size() != b.bytes.size()) return 255;
  int worst = 0;
  for (size_t i = 0; i < a.bytes.size(); ++i) worst = std::max(worst, std::abs(int(a.bytes[i]) - int(b.bytes[i])));
  return worst;
}

inline bool WaitUntil(const std::function<bool()>& done, int milliseconds) {
  auto deadline = Clock::now() + std::chrono::milliseconds(milliseconds);
  while (!done()) {
    if (Clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

// Takes video samples and keeps the last one's bytes, size and time.
class TestSink final : public orlik::strmbase::BaseRenderer {
 public:
  TestSink() : BaseRenderer(CLSID_TestSink, u"In") {}
  HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override {
    return type->majortype == MEDIATYPE_Video ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
  }
  HRESULT DoRenderSample(IMediaSample* sample) override {
    std::lock_guard lock(mutex);
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    last.assign(data, data + sample->GetActualDataLength());
    REFERENCE_TIME start = 0, end = 0;
    timed = sample->GetTime(&start, &end) == S_OK;
    if (timed) starts.push_back(start);
    ++samples;
    return S_OK;
  }
  IPin* Input() { return PinAt(0); }
  std::vector<uint8_t> Last() {
    std::lock_guard lock(mutex);
    return last;
  }
  std::atomic<int> samples{0};
  std::mutex mutex;
  std::vector<uint8_t> last;
  std::vector<REFERENCE_TIME> starts;
  bool timed = false;
};

// A transform-in-place filter that passes samples on only while opened for
// a number of them, and returns S_FALSE for the others.
class GateFilter final : public orlik::strmbase::TransInPlaceFilter {
 public:
  GateFilter() : TransInPlaceFilter(CLSID_TestGate) {}
  HRESULT CheckInputType(const AM_MEDIA_TYPE*) override { return S_OK; }
  HRESULT Transform(IMediaSample* sample) override {
    ++seen;
    lastLength = sample->GetActualDataLength();
    int left = open.load();
    while (left > 0 && !open.compare_exchange_weak(left, left - 1)) {
    }
    if (left > 0) {
      ++passed;
      return S_OK;
    }
    return S_FALSE;
  }
  std::atomic<int> open{0}, seen{0}, passed{0};
  std::atomic<long> lastLength{0};
};

// The pin of a filter with the direction and (for output pins) category.
inline ComPtr<IPin> PinByCategory(IBaseFilter* filter, const GUID& category) {
  ComPtr<IEnumPins> pins;
  filter->EnumPins(pins.put());
  IPin* pin = nullptr;
  while (pins && pins->Next(1, &pin, nullptr) == S_OK) {
    ComPtr<IPin> held(pin);
    pin->Release();
    auto props = held.As<IKsPropertySet>(IID_IKsPropertySet);
    GUID published{};
    DWORD returned = 0;
    if (props &&
        props->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &published, sizeof published, &returned) ==
            S_OK &&
        published == category)
      return held;
  }
  return {};
}

// The picture size of a video media type.
inline std::pair<int, int> SizeOf(const AM_MEDIA_TYPE& type) {
  if (type.formattype != FORMAT_VideoInfo || type.cbFormat < sizeof(VIDEOINFOHEADER)) return {0, 0};
  auto* vih = reinterpret_cast<const VIDEOINFOHEADER*>(type.pbFormat);
  return {int(vih->bmiHeader.biWidth), int(vih->bmiHeader.biHeight)};
}

}  // namespace capture_test

#include "com/registry.h"

namespace capture_test {

// A property bag holding one string.
class Bag final : public orlik::com::UnknownImpl<IPropertyBag, IID_IPropertyBag> {
 public:
  Bag(std::u16string name, std::u16string value) : name_(std::move(name)), value_(std::move(value)) {}
  HRESULT WINAPI Read(LPCOLESTR name, VARIANT* value, IErrorLog*) override {
    if (name_ != orlik::View(name)) return E_INVALIDARG;
    VariantClear(value);
    value->vt = VT_BSTR;
    value->bstrVal = SysAllocString(value_.c_str());
    return S_OK;
  }
  HRESULT WINAPI Write(LPCOLESTR name, VARIANT* value) override {
    name_ = orlik::View(name);
    value_ = value->vt == VT_BSTR ? std::u16string(orlik::View(value->bstrVal)) : u"";
    return S_OK;
  }
  const std::u16string& value() const { return value_; }

 private:
  std::u16string name_, value_;
};

class CaptureTest : public tolvex_test::PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    // The camera's input 1: decoder register 0x00 at its reset value 0, the
    // select lines HW-N14 high and HW-N13 low (both outputs).
    constexpr uint32_t kGpio = 0x7F008000, kConN = 0x830, kDatN = 0x834;
    orlik_sim_poke(kGpio + kConN, (orlik_sim_peek(kGpio + kConN) & ~0x3C000000u) | 0x14000000u);
    orlik_sim_poke(kGpio + kDatN, (orlik_sim_peek(kGpio + kDatN) & ~(3u << 13)) | (1u << 14));
    ASSERT_EQ(orlik_sim_camera_input(), 1);
  }
  void TearDown() override { CoUninitialize(); }

  // What the camera shows, byte for byte when read at the picture's size.
  void SetCameraPicture(const Picture& picture) {
    ASSERT_EQ(orlik_sim_camera_set_picture(1, picture.bytes.data(), picture.width, picture.height), 1);
  }

  // A capture filter that loaded the camera.
  ComPtr<IBaseFilter> CaptureFilter() {
    ComPtr<IBaseFilter> filter;
    EXPECT_EQ(CoCreateInstance(CLSID_VideoCapture, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, filter.put_void()),
              S_OK);
    auto persist = filter.As<IPersistPropertyBag>(IID_IPersistPropertyBag);
    ComPtr<IPropertyBag> bag;
    *bag.put() = new Bag(u"VCapName", u"CAM1:");
    EXPECT_TRUE(persist && persist->Load(bag.get(), nullptr) == S_OK);
    return filter;
  }

  ComPtr<IGraphBuilder> NewGraph() {
    ComPtr<IGraphBuilder> graph;
    EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder, graph.put_void()),
              S_OK);
    return graph;
  }
};

}  // namespace capture_test
