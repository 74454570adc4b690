// The capture graph as the camera library builds and rebuilds it: the
// capture graph builder binds a graph, finds the stream configuration by pin
// category, renders the preview pin with the default renderer and connects
// the capture pin through a gate (a transform-in-place filter that holds
// samples back with S_FALSE) into the still-image sink.
#include "capture_test.h"

#include <filesystem>

namespace {

using namespace capture_test;

class CaptureGraphTest : public CaptureTest {
 protected:
  // One build: a new graph and builder around the capture filter, with the
  // capture pin at capability captureIndex.
  void Build(int captureIndex) {
    graph_ = NewGraph();
    ASSERT_EQ(CoCreateInstance(CLSID_CaptureGraphBuilder, nullptr, 0x17, IID_ICaptureGraphBuilder2,
                               builder_.put_void()),
              S_OK);
    ASSERT_EQ(builder_->SetFiltergraph(graph_.get()), S_OK);
    ComPtr<IAMStreamConfig> config;
    ASSERT_EQ(builder_->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, capture_.get(), IID_IAMStreamConfig,
                                      config.put_void()),
              S_OK);
    AM_MEDIA_TYPE* type = nullptr;
    VIDEO_STREAM_CONFIG_CAPS caps{};
    ASSERT_EQ(config->GetStreamCaps(captureIndex, &type, reinterpret_cast<BYTE*>(&caps)), S_OK);
    ASSERT_EQ(config->SetFormat(type), S_OK);
    DeleteMediaType(type);
    ASSERT_EQ(graph_->AddFilter(capture_.get(), u"Video Capture Filter Source"), S_OK);
    gate_ = new GateFilter;
    ASSERT_EQ(graph_->AddFilter(gate_, u"Grabber"), S_OK);
    ASSERT_EQ(CoCreateInstance(CLSID_IMGSinkFilter, nullptr, 0x17, IID_IBaseFilter, sink_.put_void()), S_OK);
    ASSERT_EQ(graph_->AddFilter(sink_.get(), u"Image Sinker"), S_OK);
    ASSERT_EQ(builder_->RenderStream(&PIN_CATEGORY_PREVIEW, &MEDIATYPE_Video, capture_.get(), nullptr, nullptr), S_OK);
    ASSERT_EQ(builder_->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, capture_.get(), gate_, sink_.get()),
              S_OK);
    control_ = graph_.As<IMediaControl>(IID_IMediaControl);
    ASSERT_EQ(control_->Run(), S_OK);
  }

  // Stop, take the gate and the sink out, let the graph go; the capture filter stays.
  void TearDownGraph() {
    control_->Stop();
    control_.reset();
    EXPECT_EQ(graph_->RemoveFilter(gate_), S_OK);
    gate_->Release();
    gate_ = nullptr;
    EXPECT_EQ(graph_->RemoveFilter(sink_.get()), S_OK);
    sink_.reset();
    builder_.reset();
    graph_.reset();
  }

  // Lets one sample through to the sink, which writes it to the file.
  void Still(const std::u16string& file) {
    ComPtr<IBaseFilter> found;
    ASSERT_EQ(graph_->FindFilterByName(u"Image Sinker", found.put()), S_OK);
    auto files = found.As<IFileSinkFilter2>(IID_IFileSinkFilter2);
    ASSERT_TRUE(files);
    ASSERT_EQ(files->SetFileName(file.c_str(), nullptr), S_OK);
    ASSERT_EQ(files->SetMode(AM_FILE_OVERWRITE), S_OK);
    gate_->open = 1;
  }

  void SetUp() override {
    CaptureTest::SetUp();
    capture_ = CaptureFilter();
  }
  void TearDown() override {
    if (graph_) TearDownGraph();
    capture_.reset();
    CaptureTest::TearDown();
  }

  ComPtr<IBaseFilter> capture_;
  ComPtr<IGraphBuilder> graph_;
  ComPtr<ICaptureGraphBuilder2> builder_;
  ComPtr<IMediaControl> control_;
  GateFilter* gate_ = nullptr;
  ComPtr<IBaseFilter> sink_;
};

TEST_F(CaptureGraphTest, TheGateHoldsFramesBackUntilOnePassesAndIsWrittenAsAJpeg) {
  Picture picture = Gradient(256, 192, 9);
  SetCameraPicture(picture);
  Build(3);  // 256 x 192

  // The preview pin went to a new default video renderer.
  ComPtr<IPin> preview, renderer;
  ASSERT_EQ(builder_->FindPin(capture_.get(), PINDIR_OUTPUT, &PIN_CATEGORY_PREVIEW, nullptr, FALSE, 0, preview.put()),
            S_OK);
  ASSERT_EQ(preview->ConnectedTo(renderer.put()), S_OK);
  PIN_INFO info{};
  ASSERT_EQ(renderer->QueryPinInfo(&info), S_OK);
  ComPtr<IBaseFilter> rendererFilter(info.pFilter);
  info.pFilter->Release();
  CLSID clsid{};
  rendererFilter->GetClassID(&clsid);
  EXPECT_EQ(clsid, CLSID_VideoRenderer);
  // At the preview pin's own size (its first capability).
  auto video = rendererFilter.As<IBasicVideo>(IID_IBasicVideo);
  LONG width = 0, height = 0;
  ASSERT_TRUE(video);
  EXPECT_EQ(video->GetVideoSize(&width, &height), S_OK);
  EXPECT_EQ(std::make_pair(width, height), std::make_pair(LONG(160), LONG(96)));

  // About 29.97 frames a second reach the gate, none gets past it.
  auto start = Clock::now();
  int before = gate_->seen;
  std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  double rate = (gate_->seen - before) / std::chrono::duration<double>(Clock::now() - start).count();
  EXPECT_GT(rate, 26.0);
  EXPECT_LT(rate, 33.0);
  EXPECT_EQ(gate_->passed.load(), 0);
  EXPECT_EQ(gate_->lastLength.load(), 256 * 192 * 3 / 2);
  EXPECT_EQ(tolvex_test::PanelFiles(root_.path()), std::vector<std::string>{});

  Still(u"\\still.jpg");
  ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(root_.path() + "/still.jpg"); }, 2000));
  Picture back = DecodeJpeg(root_.path() + "/still.jpg");
  EXPECT_EQ(back.width, 256);
  EXPECT_EQ(back.height, 192);
  EXPECT_LE(LargestDifference(back, picture), 6);
  // One sample passed; the gate closed behind it.
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_EQ(gate_->passed.load(), 1);
}

TEST_F(CaptureGraphTest, ARebuildWithTheSameCaptureFilterRunsAtTheNewSize) {
  Build(0);
  ASSERT_TRUE(WaitUntil([&] { return gate_->seen > 2; }, 2000));
  EXPECT_EQ(gate_->lastLength.load(), 160 * 96 * 3 / 2);
  // Rebuilt from a stopped graph, as from a running one.
  control_->Stop();
  TearDownGraph();
  Picture picture = Gradient(720, 480, 21);
  SetCameraPicture(picture);
  Build(12);
  ASSERT_TRUE(WaitUntil([&] { return gate_->seen > 2; }, 2000));
  EXPECT_EQ(gate_->lastLength.load(), 720 * 480 * 3 / 2);
  Still(u"\\big.jpg");
  ASSERT_TRUE(WaitUntil([&] { return std::filesystem::exists(root_.path() + "/big.jpg"); }, 2000));
  EXPECT_LE(LargestDifference(DecodeJpeg(root_.path() + "/big.jpg"), picture), 6);
  // Stop joins the streaming thread at once.
  auto start = Clock::now();
  EXPECT_EQ(control_->Stop(), S_OK);
  EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 1.0);
  int seen = gate_->seen;
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(gate_->seen.load(), seen);
}

TEST_F(CaptureGraphTest, TheBuilderFindsPinsAndInterfacesByCategoryAndDirection) {
  ComPtr<ICaptureGraphBuilder2> builder;
  ASSERT_EQ(CoCreateInstance(CLSID_CaptureGraphBuilder2, nullptr, CLSCTX_INPROC_SERVER, IID_ICaptureGraphBuilder2,
                             builder.put_void()),
            S_OK);
  ComPtr<IGraphBuilder> graph;
  EXPECT_EQ(builder->GetFiltergraph(graph.put()), E_UNEXPECTED);
  EXPECT_EQ(builder->RenderStream(&PIN_CATEGORY_CAPTURE, nullptr, capture_.get(), nullptr, nullptr), E_UNEXPECTED);
  auto mine = NewGraph();
  EXPECT_EQ(builder->SetFiltergraph(nullptr), E_POINTER);
  EXPECT_EQ(builder->SetFiltergraph(mine.get()), S_OK);
  EXPECT_EQ(builder->SetFiltergraph(NewGraph().get()), E_UNEXPECTED);
  ASSERT_EQ(builder->GetFiltergraph(graph.put()), S_OK);
  EXPECT_EQ(graph.get(), mine.get());

  // Each category answers from its own pin.
  for (const GUID* category : {&PIN_CATEGORY_CAPTURE, &PIN_CATEGORY_PREVIEW}) {
    ComPtr<IAMStreamConfig> config;
    ASSERT_EQ(builder->FindInterface(category, &MEDIATYPE_Video, capture_.get(), IID_IAMStreamConfig,
                                     config.put_void()),
              S_OK);
    int count = 0, size = 0;
    config->GetNumberOfCapabilities(&count, &size);
    EXPECT_EQ(count, *category == PIN_CATEGORY_CAPTURE ? 13 : 17);
  }
  // The filter's own interfaces come from the filter.
  ComPtr<IPersistPropertyBag> persist;
  EXPECT_EQ(builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, capture_.get(), IID_IPersistPropertyBag,
                                   persist.put_void()),
            S_OK);
  void* none = reinterpret_cast<void*>(1);
  EXPECT_EQ(builder->FindInterface(&PIN_CATEGORY_STILL, &MEDIATYPE_Video, capture_.get(), IID_IAMStreamConfig, &none),
            E_FAIL);
  EXPECT_EQ(none, nullptr);
  EXPECT_EQ(builder->FindInterface(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Audio, capture_.get(), IID_IAMStreamConfig,
                                   &none),
            E_FAIL);
  EXPECT_EQ(builder->FindInterface(&PIN_CATEGORY_CAPTURE, nullptr, capture_.get(), IID_IFileSinkFilter, &none),
            E_NOINTERFACE);

  // FindPin by category, direction and connection.
  ComPtr<IPin> pin;
  EXPECT_EQ(builder->FindPin(capture_.get(), PINDIR_INPUT, nullptr, nullptr, FALSE, 0, pin.put()), E_FAIL);
  EXPECT_EQ(builder->FindPin(capture_.get(), PINDIR_OUTPUT, nullptr, nullptr, FALSE, 1, pin.put()), S_OK);
  EXPECT_EQ(builder->FindPin(capture_.get(), PINDIR_OUTPUT, nullptr, nullptr, FALSE, 2, pin.put()), E_FAIL);
  ASSERT_EQ(mine->AddFilter(capture_.get(), u"Video Capture Filter Source"), S_OK);
  auto* sink = new TestSink;
  ASSERT_EQ(mine->AddFilter(sink, u"Sink"), S_OK);
  // No intermediate filter: straight into the sink.
  EXPECT_EQ(builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, capture_.get(), nullptr, sink), S_OK);
  EXPECT_EQ(builder->FindPin(capture_.get(), PINDIR_OUTPUT, &PIN_CATEGORY_CAPTURE, nullptr, TRUE, 0, pin.put()),
            E_FAIL);
  EXPECT_EQ(builder->RenderStream(&PIN_CATEGORY_CAPTURE, &MEDIATYPE_Video, capture_.get(), nullptr, sink), E_FAIL);
  // Looking downstream from the capture filter finds the sink's interfaces.
  ComPtr<IAMFilterMiscFlags> flags;
  EXPECT_EQ(builder->FindInterface(&LOOK_DOWNSTREAM_ONLY, nullptr, capture_.get(), IID_IAMFilterMiscFlags,
                                   flags.put_void()),
            S_OK);
  EXPECT_EQ(builder->FindInterface(&LOOK_UPSTREAM_ONLY, nullptr, capture_.get(), IID_IAMFilterMiscFlags,
                                   flags.put_void()),
            E_NOINTERFACE);
  EXPECT_EQ(mine->RemoveFilter(sink), S_OK);
  sink->Release();
  EXPECT_EQ(mine->RemoveFilter(capture_.get()), S_OK);

  IBaseFilter* mux = nullptr;
  IFileSinkFilter* file = nullptr;
  EXPECT_EQ(builder->SetOutputFileName(&MEDIASUBTYPE_Avi, u"\\x.avi", &mux, &file), E_NOTIMPL);
}

}  // namespace
