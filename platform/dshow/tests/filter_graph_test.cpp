// The filter graph manager with the GStreamer file source and renderers
// written on the base classes in the test: names, connection rules, state
// changes, the end-of-playback event, positions and seeks, on clips made for
// the test.
#include <orlik/dshow.h>
#include <orlik/windows.h>

#include "strmbase.h"
#include "test_media.h"
#include "tolvex_test.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <thread>

namespace {

using orlik::strmbase::BaseRenderer;
using orlik::strmbase::ComPtr;
using Clock = std::chrono::steady_clock;

ORLIK_DEFINE_GUID(CLSID_TestRenderer, 0x1A2B3C4D, 0x0000, 0x4000, 0x80, 0, 0, 0, 0, 0, 0, 1);

// Takes the samples of one major type and counts them.
class TestRenderer final : public BaseRenderer {
 public:
  explicit TestRenderer(const GUID& major) : BaseRenderer(CLSID_TestRenderer, u"In"), major_(major) {}
  HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override {
    return type->majortype == major_ ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
  }
  HRESULT DoRenderSample(IMediaSample* sample) override {
    ++samples;
    bytes += sample->GetActualDataLength();
    REFERENCE_TIME start = 0, end = 0;
    if (SUCCEEDED(sample->GetTime(&start, &end))) lastStart = start;
    return S_OK;
  }
  IPin* Input() { return PinAt(0); }
  std::atomic<int> samples{0};
  std::atomic<long> bytes{0};
  std::atomic<REFERENCE_TIME> lastStart{-1};

 private:
  GUID major_;
};

class GraphTest : public tolvex_test::PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    ASSERT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                               graph_.put_void()),
              S_OK);
    control_ = graph_.As<IMediaControl>(IID_IMediaControl);
    seeking_ = graph_.As<IMediaSeeking>(IID_IMediaSeeking);
    events_ = graph_.As<IMediaEventEx>(IID_IMediaEventEx);
    ASSERT_TRUE(control_ && seeking_ && events_);
  }
  void TearDown() override {
    if (control_) control_->Stop();
    events_.reset();
    seeking_.reset();
    control_.reset();
    graph_.reset();
    CoUninitialize();
  }

  // A clip placed in the device root; returns its panel path.
  std::u16string Place(const std::string& clip) {
    EXPECT_FALSE(clip.empty()) << "the clip could not be made";
    std::string name = std::filesystem::path(clip).filename().string();
    std::filesystem::create_symlink(clip, root_.path() + "/" + name);
    return u"\\" + std::u16string(name.begin(), name.end());
  }

  // Adds the file's source and connects each of its pins to a test renderer.
  ComPtr<IBaseFilter> Build(const std::u16string& file, TestRenderer** audio, TestRenderer** video) {
    ComPtr<IBaseFilter> source;
    EXPECT_EQ(graph_->AddSourceFilter(file.c_str(), u"Source", source.put()), S_OK);
    if (!source) return source;
    ComPtr<IPin> pin;
    if (audio && source->FindPin(u"Audio", pin.put()) == S_OK) {
      *audio = new TestRenderer(MEDIATYPE_Audio);
      EXPECT_EQ(graph_->AddFilter(*audio, u"Audio Renderer"), S_OK);
      (*audio)->Release();
      EXPECT_EQ(graph_->ConnectDirect(pin.get(), (*audio)->Input(), nullptr), S_OK);
    }
    if (video && source->FindPin(u"Video", pin.put()) == S_OK) {
      *video = new TestRenderer(MEDIATYPE_Video);
      EXPECT_EQ(graph_->AddFilter(*video, u"Video Renderer"), S_OK);
      (*video)->Release();
      EXPECT_EQ(graph_->ConnectDirect(pin.get(), (*video)->Input(), nullptr), S_OK);
    }
    return source;
  }

  // The next event within the time, or 0.
  LONG NextEvent(LONG milliseconds) {
    LONG code = 0;
    LONG_PTR p1 = 0, p2 = 0;
    if (events_->GetEvent(&code, &p1, &p2, milliseconds) != S_OK) return 0;
    events_->FreeEventParams(code, p1, p2);
    return code;
  }

  LONGLONG Position() {
    LONGLONG position = -1;
    EXPECT_EQ(seeking_->GetCurrentPosition(&position), S_OK);
    return position;
  }

  ComPtr<IGraphBuilder> graph_;
  ComPtr<IMediaControl> control_;
  ComPtr<IMediaSeeking> seeking_;
  ComPtr<IMediaEventEx> events_;
};

TEST_F(GraphTest, FiltersGetUniqueNamesAndAreFoundAndEnumeratedNewestFirst) {
  auto* a = new TestRenderer(MEDIATYPE_Audio);
  auto* b = new TestRenderer(MEDIATYPE_Audio);
  auto* c = new TestRenderer(MEDIATYPE_Audio);
  EXPECT_EQ(graph_->AddFilter(a, u"Grabber"), S_OK);
  EXPECT_EQ(graph_->AddFilter(b, u"Grabber"), VFW_S_DUPLICATE_NAME);
  EXPECT_EQ(graph_->AddFilter(c, nullptr), S_OK);
  EXPECT_EQ(graph_->AddFilter(a, u"Again"), VFW_E_DUPLICATE_NAME);

  ComPtr<IBaseFilter> found;
  EXPECT_EQ(graph_->FindFilterByName(u"Grabber", found.put()), S_OK);
  EXPECT_EQ(found.get(), static_cast<IBaseFilter*>(a));
  FILTER_INFO info{};
  ASSERT_EQ(b->QueryFilterInfo(&info), S_OK);
  EXPECT_EQ(std::u16string(info.achName), u"Grabber 0001");
  EXPECT_EQ(info.pGraph, static_cast<IFilterGraph*>(graph_.get()));
  info.pGraph->Release();
  EXPECT_EQ(graph_->FindFilterByName(u"Nothing", found.put()), VFW_E_NOT_FOUND);

  ComPtr<IEnumFilters> filters;
  ASSERT_EQ(graph_->EnumFilters(filters.put()), S_OK);
  IBaseFilter* list[4] = {};
  ULONG fetched = 0;
  EXPECT_EQ(filters->Next(4, list, &fetched), S_FALSE);
  ASSERT_EQ(fetched, 3u);
  EXPECT_EQ(list[0], static_cast<IBaseFilter*>(c));
  EXPECT_EQ(list[2], static_cast<IBaseFilter*>(a));
  for (ULONG i = 0; i < fetched; ++i) list[i]->Release();

  // A change of the graph puts older enumerators out of step until Reset.
  EXPECT_EQ(graph_->RemoveFilter(b), S_OK);
  EXPECT_EQ(graph_->RemoveFilter(b), E_FAIL);
  EXPECT_EQ(filters->Next(1, list, &fetched), VFW_E_ENUM_OUT_OF_SYNC);
  EXPECT_EQ(filters->Reset(), S_OK);
  EXPECT_EQ(filters->Skip(2), S_OK);
  EXPECT_EQ(filters->Next(1, list, &fetched), S_FALSE);
  EXPECT_EQ(fetched, 0u);
  a->Release();
  b->Release();
  c->Release();
}

TEST_F(GraphTest, RenderFileFailsWithANegativeStatusForMissingAndUndecodableFiles) {
  EXPECT_EQ(graph_->RenderFile(u"\\no such clip.ogg", nullptr), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  {
    std::FILE* f = std::fopen((root_.path() + "/garbage.mp4").c_str(), "wb");
    for (int i = 0; i < 5000; ++i) std::fputc((i * 7919) & 0xFF, f);
    std::fclose(f);
  }
  HRESULT hr = graph_->RenderFile(u"\\garbage.mp4", nullptr);
  EXPECT_LT(hr, 0);
  std::filesystem::create_directory(root_.path() + "/folder.wav");
  EXPECT_LT(graph_->RenderFile(u"\\folder.wav", nullptr), 0);
  // Nothing of the failed attempts stays in the graph.
  ComPtr<IEnumFilters> filters;
  ASSERT_EQ(graph_->EnumFilters(filters.put()), S_OK);
  IBaseFilter* f = nullptr;
  EXPECT_EQ(filters->Next(1, &f, nullptr), S_FALSE);
}

TEST_F(GraphTest, ASoundPlaysInRealTimeAndTheGraphReportsOneCompletion) {
  auto file = Place(tolvex_test::TestMedia::Get().Tone("one-second.wav", 1.0));
  TestRenderer* audio = nullptr;
  auto source = Build(file, &audio, nullptr);
  ASSERT_TRUE(source && audio);

  LONGLONG duration = 0;
  EXPECT_EQ(seeking_->GetDuration(&duration), S_OK);
  EXPECT_NEAR(double(duration), 1e7, 1e4);
  auto start = Clock::now();
  EXPECT_TRUE(SUCCEEDED(control_->Run()));
  EXPECT_EQ(NextEvent(5000), EC_COMPLETE);
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  EXPECT_GT(seconds, 0.9);
  EXPECT_LT(seconds, 3.0);
  EXPECT_EQ(audio->bytes.load(), 44100 * 4);
  // Only one EC_COMPLETE, and none in the queue afterwards.
  EXPECT_EQ(NextEvent(200), 0);
  // At the end the position is the duration.
  EXPECT_EQ(Position(), duration);
}

TEST_F(GraphTest, EveryRendererMustFinishBeforeTheGraphCompletes) {
  auto file = Place(tolvex_test::TestMedia::Get().VideoClip("av.ogg", 1.0, 160, 120));
  TestRenderer *audio = nullptr, *video = nullptr;
  auto source = Build(file, &audio, &video);
  ASSERT_TRUE(source && audio && video);
  EXPECT_TRUE(SUCCEEDED(control_->Run()));
  EXPECT_EQ(NextEvent(5000), EC_COMPLETE);
  EXPECT_TRUE(audio->EndOfStreamSeen());
  EXPECT_TRUE(video->EndOfStreamSeen());
  EXPECT_GE(video->samples.load(), 25);
  EXPECT_EQ(NextEvent(100), 0);
}

TEST_F(GraphTest, SeeksReadBackAtOnceAndPauseHoldsThePosition) {
  auto file = Place(tolvex_test::TestMedia::Get().Tone("four-seconds.wav", 4.0));
  TestRenderer* audio = nullptr;
  auto source = Build(file, &audio, nullptr);
  ASSERT_TRUE(source && audio);

  // Stopped: the seek target reads back at once, never -1.
  LONGLONG target = 25'000'000;
  EXPECT_EQ(seeking_->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning), S_OK);
  EXPECT_EQ(Position(), target);

  EXPECT_TRUE(SUCCEEDED(control_->Run()));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  LONGLONG playing = Position();
  EXPECT_GT(playing, target + 3'000'000);
  EXPECT_LT(playing, target + 9'000'000);

  EXPECT_TRUE(SUCCEEDED(control_->Pause()));
  LONGLONG paused = Position();
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  EXPECT_NEAR(double(Position()), double(paused), 200'000);

  // A seek while running reads back at once as well.
  EXPECT_TRUE(SUCCEEDED(control_->Run()));
  target = 10'000'000;
  EXPECT_EQ(seeking_->SetPositions(&target, AM_SEEKING_AbsolutePositioning, nullptr, AM_SEEKING_NoPositioning), S_OK);
  LONGLONG after = Position();
  EXPECT_GE(after, target);
  EXPECT_LT(after, target + 2'000'000);

  // The end is reached from the new position and reported once.
  EXPECT_EQ(NextEvent(5000), EC_COMPLETE);
}

TEST_F(GraphTest, StateChangesReachEveryFilterAndConnectionsNeedAStoppedGraph) {
  auto file = Place(tolvex_test::TestMedia::Get().Tone("two-seconds.wav", 2.0));
  TestRenderer* audio = nullptr;
  auto source = Build(file, &audio, nullptr);
  ASSERT_TRUE(source && audio);
  OAFilterState state = -1;
  EXPECT_EQ(control_->GetState(0, &state), S_OK);
  EXPECT_EQ(state, State_Stopped);
  EXPECT_TRUE(SUCCEEDED(control_->Pause()));
  FILTER_STATE fs;
  EXPECT_EQ(audio->GetState(0, &fs), S_OK);
  EXPECT_EQ(fs, State_Paused);
  EXPECT_TRUE(SUCCEEDED(control_->Run()));
  EXPECT_EQ(source->GetState(0, &fs), S_OK);
  EXPECT_EQ(fs, State_Running);

  ComPtr<IPin> pin;
  ASSERT_EQ(source->FindPin(u"Audio", pin.put()), S_OK);
  EXPECT_EQ(graph_->Disconnect(pin.get()), VFW_E_NOT_STOPPED);
  EXPECT_EQ(graph_->ConnectDirect(pin.get(), audio->Input(), nullptr), VFW_E_NOT_STOPPED);
  EXPECT_EQ(control_->Stop(), S_OK);
  EXPECT_EQ(audio->GetState(0, &fs), S_OK);
  EXPECT_EQ(fs, State_Stopped);
  EXPECT_EQ(graph_->ConnectDirect(pin.get(), audio->Input(), nullptr), VFW_E_ALREADY_CONNECTED);
  // A pin of a filter outside the graph cannot be connected.
  auto* outside = new TestRenderer(MEDIATYPE_Audio);
  ComPtr<IPin> peer;
  ASSERT_EQ(pin->ConnectedTo(peer.put()), S_OK);
  EXPECT_EQ(graph_->Disconnect(pin.get()), S_OK);
  EXPECT_EQ(graph_->Disconnect(peer.get()), S_OK);
  EXPECT_EQ(graph_->ConnectDirect(pin.get(), outside->Input(), nullptr), VFW_E_NOT_IN_GRAPH);
  outside->Release();
  EXPECT_EQ(pin->ConnectedTo(peer.put()), VFW_E_NOT_CONNECTED);
  EXPECT_EQ(graph_->Connect(pin.get(), audio->Input()), S_OK);
}

TEST_F(GraphTest, GetEventWaitsAtMostItsTimeOut) {
  auto start = Clock::now();
  EXPECT_EQ(NextEvent(150), 0);
  double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
  EXPECT_GE(ms, 140);
  EXPECT_LT(ms, 1000);
  LONG code = 0;
  LONG_PTR p1, p2;
  EXPECT_EQ(events_->GetEvent(&code, &p1, &p2, 0), E_ABORT);
  OAEVENT handle = 0;
  EXPECT_EQ(events_->GetEventHandle(&handle), S_OK);
  EXPECT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(handle), 0), WAIT_TIMEOUT);
  // An event from a filter is queued and signals the handle.
  auto sink = graph_.As<IMediaEventSink>(IID_IMediaEventSink);
  ASSERT_TRUE(sink);
  EXPECT_EQ(sink->Notify(EC_PAUSED, S_OK, 0), S_OK);
  EXPECT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(handle), 0), WAIT_OBJECT_0);
  EXPECT_EQ(NextEvent(0), EC_PAUSED);
  EXPECT_EQ(WaitForSingleObject(reinterpret_cast<HANDLE>(handle), 0), WAIT_TIMEOUT);
}

}  // namespace
