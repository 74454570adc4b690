// The filter base classes on their own: the allocator's pool, media type
// agreement between pins, the transform-in-place filter's pass-through and
// copy, and the renderer's end-of-stream report.
#include <orlik/dshow.h>

#include "strmbase.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <thread>
#include <vector>

namespace {

using namespace orlik::strmbase;

ORLIK_DEFINE_GUID(CLSID_TestFilter, 0x5E1F0C00, 0x0000, 0x4000, 0x80, 0, 0, 0, 0, 0, 0, 2);
ORLIK_DEFINE_GUID(MEDIASUBTYPE_Test, 0x5E1F0C01, 0x0000, 0x4000, 0x80, 0, 0, 0, 0, 0, 0, 3);

TEST(MemAllocator, HandsOutItsBuffersAndWaitsForOneToComeBack) {
  MemAllocator* allocator = MemAllocator::Create();
  IMediaSample* sample = nullptr;
  EXPECT_EQ(allocator->GetBuffer(&sample, nullptr, nullptr, 0), VFW_E_NOT_COMMITTED);
  EXPECT_EQ(allocator->Commit(), VFW_E_SIZENOTSET);
  ALLOCATOR_PROPERTIES request{2, 1000, 64, 0}, actual{};
  ASSERT_EQ(allocator->SetProperties(&request, &actual), S_OK);
  EXPECT_EQ(actual.cbBuffer, 1000);
  request.cbAlign = 3;
  EXPECT_EQ(allocator->SetProperties(&request, &actual), VFW_E_BADALIGN);
  ASSERT_EQ(allocator->Commit(), S_OK);
  EXPECT_EQ(allocator->SetProperties(&request, &actual), VFW_E_ALREADY_COMMITTED);

  IMediaSample *a = nullptr, *b = nullptr, *c = nullptr;
  ASSERT_EQ(allocator->GetBuffer(&a, nullptr, nullptr, 0), S_OK);
  ASSERT_EQ(allocator->GetBuffer(&b, nullptr, nullptr, 0), S_OK);
  BYTE *pa = nullptr, *pb = nullptr;
  a->GetPointer(&pa);
  b->GetPointer(&pb);
  EXPECT_NE(pa, pb);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(pa) % 64, 0u);
  EXPECT_EQ(a->GetSize(), 1000);
  EXPECT_EQ(a->SetActualDataLength(1001), VFW_E_BUFFER_OVERFLOW);
  EXPECT_EQ(allocator->GetBuffer(&c, nullptr, nullptr, AM_GBF_NOWAIT), VFW_E_TIMEOUT);

  // A waiting GetBuffer gets the buffer released by another thread.
  std::thread giver([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    a->Release();
  });
  ASSERT_EQ(allocator->GetBuffer(&c, nullptr, nullptr, 0), S_OK);
  giver.join();
  BYTE* pc = nullptr;
  c->GetPointer(&pc);
  EXPECT_EQ(pc, pa);
  // A sample handed out again has no leftover properties.
  EXPECT_EQ(c->GetActualDataLength(), 0);
  REFERENCE_TIME s, e;
  EXPECT_EQ(c->GetTime(&s, &e), VFW_E_SAMPLE_TIME_NOT_SET);

  // Decommit wakes a waiter; samples still out come back afterwards.
  std::thread waiter([&] {
    IMediaSample* d = nullptr;
    EXPECT_EQ(allocator->GetBuffer(&d, nullptr, nullptr, 0), VFW_E_NOT_COMMITTED);
  });
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_EQ(allocator->Decommit(), S_OK);
  waiter.join();
  b->Release();
  c->Release();
  allocator->Release();
}

TEST(MediaSample, TimesAndFlagsRoundTrip) {
  MemAllocator* allocator = MemAllocator::Create();
  ALLOCATOR_PROPERTIES request{1, 16, 1, 0}, actual{};
  allocator->SetProperties(&request, &actual);
  allocator->Commit();
  IMediaSample* sample = nullptr;
  REFERENCE_TIME start = 100;
  ASSERT_EQ(allocator->GetBuffer(&sample, &start, nullptr, 0), S_OK);
  REFERENCE_TIME s = 0, e = 0;
  EXPECT_EQ(sample->GetTime(&s, &e), VFW_S_NO_STOP_TIME);
  EXPECT_EQ(s, 100);
  REFERENCE_TIME end = 200;
  sample->SetTime(&start, &end);
  EXPECT_EQ(sample->GetTime(&s, &e), S_OK);
  EXPECT_EQ(e, 200);
  EXPECT_EQ(sample->IsSyncPoint(), S_FALSE);
  sample->SetSyncPoint(TRUE);
  EXPECT_EQ(sample->IsSyncPoint(), S_OK);
  AM_MEDIA_TYPE* type = nullptr;
  EXPECT_EQ(sample->GetMediaType(&type), S_FALSE);
  EXPECT_EQ(type, nullptr);
  sample->Release();
  allocator->Release();
}

// A source with one output pin offering one type.
class TestSource final : public BaseFilter {
 public:
  class Pin final : public BaseOutputPin {
   public:
    explicit Pin(TestSource* f) : BaseOutputPin(f, u"Out") {}
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* t) override {
      return t->majortype == MEDIATYPE_Video && t->subtype == MEDIASUBTYPE_Test ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT GetMediaType(int index, AM_MEDIA_TYPE* t) override {
      if (index < 0) return E_INVALIDARG;
      if (index > 0) return VFW_S_NO_MORE_ITEMS;
      std::memset(t, 0, sizeof *t);
      t->majortype = MEDIATYPE_Video;
      t->subtype = MEDIASUBTYPE_Test;
      t->formattype = FORMAT_None;
      t->lSampleSize = 64;
      return S_OK;
    }
    HRESULT DecideBufferSize(IMemAllocator* a, ALLOCATOR_PROPERTIES* r) override {
      r->cBuffers = 2;
      r->cbBuffer = 64;
      ALLOCATOR_PROPERTIES actual{};
      return a->SetProperties(r, &actual);
    }
  };
  TestSource() : BaseFilter(CLSID_TestFilter), pin_(this) {}
  int PinCount() override { return 1; }
  BasePin* PinAt(int i) override { return i == 0 ? &pin_ : nullptr; }
  // Sends one sample with the given first byte; returns Receive's result.
  HRESULT Send(BYTE value) {
    IMediaSample* sample = nullptr;
    HRESULT hr = pin_.GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
    if (FAILED(hr)) return hr;
    BYTE* p = nullptr;
    sample->GetPointer(&p);
    p[0] = value;
    sample->SetActualDataLength(1);
    hr = pin_.Deliver(sample);
    sample->Release();
    return hr;
  }
  Pin pin_;
};

// Passes or holds back each sample as told, and marks what passes.
class Gate final : public TransInPlaceFilter {
 public:
  Gate() : TransInPlaceFilter(CLSID_TestFilter) {}
  HRESULT CheckInputType(const AM_MEDIA_TYPE*) override { return S_OK; }
  HRESULT Transform(IMediaSample* sample) override {
    BYTE* p = nullptr;
    sample->GetPointer(&p);
    p[0] = BYTE(p[0] + 1);
    return open ? S_OK : S_FALSE;
  }
  std::atomic<bool> open{true};
};

class Sink final : public BaseRenderer {
 public:
  Sink() : BaseRenderer(CLSID_TestFilter, u"In") {}
  HRESULT CheckMediaType(const AM_MEDIA_TYPE* t) override {
    return t->majortype == MEDIATYPE_Video ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
  }
  HRESULT DoRenderSample(IMediaSample* sample) override {
    BYTE* p = nullptr;
    sample->GetPointer(&p);
    seen.push_back(p[0]);
    pointers.push_back(p);
    return S_OK;
  }
  std::vector<BYTE> seen;
  std::vector<BYTE*> pointers;
};

// Records the events a filter sends, as a graph would get them.
class EventLog final : public IMediaEventSink, public IFilterGraph {
 public:
  HRESULT WINAPI QueryInterface(REFIID iid, void** object) override {
    if (iid == IID_IMediaEventSink) {
      *object = static_cast<IMediaEventSink*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG WINAPI AddRef() override { return 2; }
  ULONG WINAPI Release() override { return 1; }
  HRESULT WINAPI Notify(LONG code, LONG_PTR, LONG_PTR) override {
    codes.push_back(code);
    return S_OK;
  }
  HRESULT WINAPI AddFilter(IBaseFilter*, LPCWSTR) override { return E_NOTIMPL; }
  HRESULT WINAPI RemoveFilter(IBaseFilter*) override { return E_NOTIMPL; }
  HRESULT WINAPI EnumFilters(IEnumFilters**) override { return E_NOTIMPL; }
  HRESULT WINAPI FindFilterByName(LPCWSTR, IBaseFilter**) override { return E_NOTIMPL; }
  HRESULT WINAPI ConnectDirect(IPin*, IPin*, const AM_MEDIA_TYPE*) override { return E_NOTIMPL; }
  HRESULT WINAPI Reconnect(IPin*) override { return E_NOTIMPL; }
  HRESULT WINAPI Disconnect(IPin*) override { return E_NOTIMPL; }
  HRESULT WINAPI SetDefaultSyncSource() override { return E_NOTIMPL; }
  std::vector<LONG> codes;
};

// Connected pins hold each other's filters, as in a graph: undo the links
// before the last release, as removing the filters from a graph does.
void Unplug(IPin* out, IPin* in) {
  EXPECT_EQ(out->Disconnect(), S_OK);
  EXPECT_EQ(in->Disconnect(), S_OK);
}

TEST(Pins, AgreeOnATypeAndRefuseWhatDoesNotFit) {
  auto* source = new TestSource;
  auto* sink = new Sink;
  IPin* in = sink->PinAt(0);
  IPin* out = source->PinAt(0);
  IPin* connected = nullptr;
  EXPECT_EQ(out->ConnectedTo(&connected), VFW_E_NOT_CONNECTED);
  // A full type the output pin does not offer is refused; a partial type
  // narrows the choice to the offered types.
  AM_MEDIA_TYPE audio{};
  audio.majortype = MEDIATYPE_Audio;
  audio.subtype = MEDIASUBTYPE_PCM;
  audio.formattype = FORMAT_None;
  EXPECT_EQ(out->Connect(in, &audio), VFW_E_TYPE_NOT_ACCEPTED);
  AM_MEDIA_TYPE partial{};
  partial.majortype = MEDIATYPE_Audio;
  EXPECT_EQ(out->Connect(in, &partial), VFW_E_NO_ACCEPTABLE_TYPES);
  partial.majortype = MEDIATYPE_Video;
  EXPECT_EQ(out->Connect(in, &partial), S_OK);
  EXPECT_EQ(out->Connect(in, nullptr), VFW_E_ALREADY_CONNECTED);
  EXPECT_EQ(out->Connect(out, nullptr), VFW_E_ALREADY_CONNECTED);
  AM_MEDIA_TYPE type{};
  ASSERT_EQ(in->ConnectionMediaType(&type), S_OK);
  EXPECT_EQ(type.subtype, MEDIASUBTYPE_Test);
  FreeMediaType(type);
  // Connections change only while stopped.
  source->Pause();
  EXPECT_EQ(out->Disconnect(), VFW_E_NOT_STOPPED);
  source->Stop();
  EXPECT_EQ(out->Disconnect(), S_OK);
  EXPECT_EQ(out->Disconnect(), S_FALSE);
  EXPECT_EQ(in->Disconnect(), S_OK);
  source->Release();
  sink->Release();
}

TEST(TransInPlace, PassesSamplesInTheSameBufferAndReturnsHoldBackUpstream) {
  auto* source = new TestSource;
  auto* gate = new Gate;
  auto* sink = new Sink;
  ASSERT_EQ(source->PinAt(0)->Connect(gate->PinAt(0), nullptr), S_OK);
  ASSERT_EQ(gate->PinAt(1)->Connect(sink->PinAt(0), nullptr), S_OK);
  // The input pin enumerates what the pin downstream prefers once connected.
  ComPtr<IEnumMediaTypes> types;
  ASSERT_EQ(gate->PinAt(0)->EnumMediaTypes(types.put()), S_OK);
  AM_MEDIA_TYPE* first = nullptr;
  EXPECT_EQ(types->Next(1, &first, nullptr), S_FALSE);  // the sink offers none

  for (BaseFilter* f : std::initializer_list<BaseFilter*>{sink, gate, source}) f->Run(0);
  EXPECT_EQ(source->Send(10), S_OK);
  gate->open = false;
  EXPECT_EQ(source->Send(20), S_FALSE);
  gate->open = true;
  EXPECT_EQ(source->Send(30), S_OK);
  ASSERT_EQ(sink->seen.size(), 2u);
  EXPECT_EQ(sink->seen[0], 11);
  EXPECT_EQ(sink->seen[1], 31);
  // Both pins share the upstream allocator: no copy was made.
  EXPECT_EQ(static_cast<BaseInputPin*>(gate->PinAt(0))->Allocator(),
            static_cast<BaseOutputPin*>(gate->PinAt(1))->Allocator());
  for (BaseFilter* f : std::initializer_list<BaseFilter*>{sink, gate, source}) f->Stop();
  // A stopped filter refuses samples.
  source->Pause();
  EXPECT_EQ(source->Send(40), VFW_E_WRONG_STATE);
  source->Stop();
  Unplug(source->PinAt(0), gate->PinAt(0));
  Unplug(gate->PinAt(1), sink->PinAt(0));
  source->Release();
  gate->Release();
  sink->Release();
}

TEST(Renderer, ReportsTheEndOfItsStreamOnceItRuns) {
  auto* source = new TestSource;
  auto* sink = new Sink;
  EventLog log;
  sink->JoinFilterGraph(&log, u"Sink");
  ASSERT_EQ(source->PinAt(0)->Connect(sink->PinAt(0), nullptr), S_OK);
  sink->Pause();
  source->Pause();
  EXPECT_EQ(sink->PinAt(0)->EndOfStream(), S_OK);
  EXPECT_TRUE(log.codes.empty());  // paused: not yet
  sink->Run(0);
  ASSERT_EQ(log.codes.size(), 1u);
  EXPECT_EQ(log.codes[0], EC_COMPLETE);
  // After the end no sample is taken until a flush.
  source->Run(0);
  EXPECT_EQ(source->Send(1), VFW_E_SAMPLE_REJECTED_EOS);
  sink->PinAt(0)->BeginFlush();
  EXPECT_EQ(source->Send(1), S_FALSE);
  sink->PinAt(0)->EndFlush();
  EXPECT_EQ(source->Send(1), S_OK);
  sink->PinAt(0)->EndOfStream();
  EXPECT_EQ(log.codes.size(), 2u);
  source->Stop();
  sink->Stop();
  sink->JoinFilterGraph(nullptr, nullptr);
  Unplug(source->PinAt(0), sink->PinAt(0));
  source->Release();
  sink->Release();
}

}  // namespace
