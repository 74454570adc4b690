// The video capture filter on its own: the camera it loads, its two pins and
// their categories, the capabilities in their fixed order, formats, and the
// frames it streams.
#include "capture_test.h"

namespace {

using namespace capture_test;

struct Size {
  int width, height;
};

// The sizes each pin's capability indexes stand for, written out
// independently of the filter.
const std::vector<Size> kPreview = {{160, 96},  {192, 144}, {240, 144}, {256, 192}, {320, 192}, {320, 240},
                                    {380, 228}, {448, 336}, {480, 288}, {512, 384}, {560, 336}, {576, 432},
                                    {640, 384}, {640, 480}, {720, 480}, {800, 480}, {800, 600}};
const std::vector<Size> kCapture = {{160, 96},  {192, 144}, {240, 144}, {256, 192}, {320, 192},
                                    {320, 240}, {448, 336}, {480, 288}, {560, 336}, {576, 432},
                                    {640, 384}, {640, 480}, {720, 480}};

ComPtr<IAMStreamConfig> ConfigOf(IPin* pin) {
  ComPtr<IAMStreamConfig> config;
  if (pin) pin->QueryInterface(IID_IAMStreamConfig, config.put_void());
  return config;
}

// The capability's type (owned by the caller) and record.
AM_MEDIA_TYPE* Caps(IAMStreamConfig* config, int index, VIDEO_STREAM_CONFIG_CAPS* caps) {
  AM_MEDIA_TYPE* type = nullptr;
  EXPECT_EQ(config->GetStreamCaps(index, &type, reinterpret_cast<BYTE*>(caps)), S_OK) << index;
  return type;
}

class VideoCaptureTest : public CaptureTest {};

TEST_F(VideoCaptureTest, PinsAreNamedAndToldApartByTheirPublishedCategories) {
  auto filter = CaptureFilter();
  ComPtr<IPin> capture, preview;
  ASSERT_EQ(filter->FindPin(u"Capture", capture.put()), S_OK);
  ASSERT_EQ(filter->FindPin(u"Preview", preview.put()), S_OK);
  EXPECT_EQ(PinByCategory(filter.get(), PIN_CATEGORY_CAPTURE).get(), capture.get());
  EXPECT_EQ(PinByCategory(filter.get(), PIN_CATEGORY_PREVIEW).get(), preview.get());

  auto props = capture.As<IKsPropertySet>(IID_IKsPropertySet);
  ASSERT_TRUE(props);
  GUID category{};
  DWORD returned = 0, support = 0;
  EXPECT_EQ(props->QuerySupported(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, &support), S_OK);
  EXPECT_EQ(support, DWORD(KSPROPERTY_SUPPORT_GET));
  // Too small a buffer is refused and not written past.
  BYTE small[8] = {};
  EXPECT_LT(props->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, small, sizeof small, &returned), 0);
  for (BYTE b : small) EXPECT_EQ(b, 0);
  EXPECT_EQ(props->Get(AMPROPSETID_Pin, AMPROPERTY_PIN_MEDIUM, nullptr, 0, &category, sizeof category, &returned),
            E_PROP_ID_UNSUPPORTED);
  EXPECT_EQ(props->Get(IID_IUnknown, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, sizeof category, &returned),
            E_PROP_SET_UNSUPPORTED);
  EXPECT_LT(props->Set(AMPROPSETID_Pin, AMPROPERTY_PIN_CATEGORY, nullptr, 0, &category, sizeof category), 0);
}

TEST_F(VideoCaptureTest, CapabilitiesFollowTheResolutionTablesInOrder) {
  auto filter = CaptureFilter();
  struct PinCase {
    const GUID* category;
    const std::vector<Size>* sizes;
  };
  for (PinCase pc : {PinCase{&PIN_CATEGORY_PREVIEW, &kPreview}, PinCase{&PIN_CATEGORY_CAPTURE, &kCapture}}) {
    auto config = ConfigOf(PinByCategory(filter.get(), *pc.category).get());
    ASSERT_TRUE(config);
    int count = 0, size = 0;
    EXPECT_EQ(config->GetNumberOfCapabilities(&count, &size), S_OK);
    ASSERT_EQ(count, int(pc.sizes->size()));
    EXPECT_EQ(size, int(sizeof(VIDEO_STREAM_CONFIG_CAPS)));
    for (int i = 0; i < count; ++i) {
      SCOPED_TRACE(i);
      const Size want = (*pc.sizes)[size_t(i)];
      VIDEO_STREAM_CONFIG_CAPS caps{};
      AM_MEDIA_TYPE* type = Caps(config.get(), i, &caps);
      ASSERT_TRUE(type);
      EXPECT_EQ(type->majortype, MEDIATYPE_Video);
      EXPECT_EQ(type->subtype, MEDIASUBTYPE_YV12);
      EXPECT_EQ(type->formattype, FORMAT_VideoInfo);
      EXPECT_TRUE(type->bFixedSizeSamples);
      EXPECT_FALSE(type->bTemporalCompression);
      const ULONG frame = ULONG(want.width * want.height * 3 / 2);
      EXPECT_EQ(type->lSampleSize, frame);
      ASSERT_GE(type->cbFormat, sizeof(VIDEOINFOHEADER));
      auto* vih = reinterpret_cast<VIDEOINFOHEADER*>(type->pbFormat);
      EXPECT_EQ(vih->AvgTimePerFrame, 333667);
      EXPECT_EQ(vih->bmiHeader.biSize, sizeof(BITMAPINFOHEADER));
      EXPECT_EQ(vih->bmiHeader.biWidth, want.width);
      EXPECT_EQ(vih->bmiHeader.biHeight, want.height);
      EXPECT_EQ(vih->bmiHeader.biPlanes, 1);
      EXPECT_EQ(vih->bmiHeader.biBitCount, 12);
      EXPECT_EQ(vih->bmiHeader.biCompression, DWORD('Y' | 'V' << 8 | '1' << 16 | '2' << 24));
      EXPECT_EQ(vih->bmiHeader.biSizeImage, frame);
      EXPECT_EQ(caps.guid, FORMAT_VideoInfo);
      EXPECT_EQ(caps.MinOutputSize.cx, want.width);
      EXPECT_EQ(caps.MinOutputSize.cy, want.height);
      EXPECT_EQ(caps.MaxOutputSize.cx, want.width);
      EXPECT_EQ(caps.MaxOutputSize.cy, want.height);
      EXPECT_EQ(caps.MinFrameInterval, 333667);
      EXPECT_EQ(caps.MaxFrameInterval, 333667);
      EXPECT_GT(caps.MinBitsPerSecond, 0);
      DeleteMediaType(type);
    }
    AM_MEDIA_TYPE* type = reinterpret_cast<AM_MEDIA_TYPE*>(1);
    VIDEO_STREAM_CONFIG_CAPS caps{};
    EXPECT_EQ(config->GetStreamCaps(count, &type, reinterpret_cast<BYTE*>(&caps)), S_FALSE);
    EXPECT_EQ(type, nullptr);
    EXPECT_EQ(config->GetStreamCaps(-1, &type, reinterpret_cast<BYTE*>(&caps)), E_INVALIDARG);
    EXPECT_EQ(config->GetStreamCaps(0, nullptr, reinterpret_cast<BYTE*>(&caps)), E_POINTER);
  }
}

TEST_F(VideoCaptureTest, SetFormatTakesOnlyThePinsOwnCapabilitiesWhileStopped) {
  auto filter = CaptureFilter();
  auto capture = ConfigOf(PinByCategory(filter.get(), PIN_CATEGORY_CAPTURE).get());
  auto preview = ConfigOf(PinByCategory(filter.get(), PIN_CATEGORY_PREVIEW).get());
  ASSERT_TRUE(capture && preview);
  VIDEO_STREAM_CONFIG_CAPS caps{};

  // 800 x 600 is a preview size only.
  AM_MEDIA_TYPE* large = Caps(preview.get(), 16, &caps);
  EXPECT_EQ(capture->SetFormat(large), VFW_E_INVALIDMEDIATYPE);
  EXPECT_EQ(preview->SetFormat(large), S_OK);
  // The same size in another layout is no capability either.
  AM_MEDIA_TYPE* other = Caps(capture.get(), 12, &caps);
  other->subtype = MEDIASUBTYPE_I420;
  EXPECT_EQ(capture->SetFormat(other), VFW_E_INVALIDMEDIATYPE);
  other->subtype = MEDIASUBTYPE_YV12;
  EXPECT_EQ(capture->SetFormat(other), S_OK);
  EXPECT_EQ(capture->SetFormat(nullptr), E_POINTER);

  AM_MEDIA_TYPE* now = nullptr;
  ASSERT_EQ(capture->GetFormat(&now), S_OK);
  EXPECT_EQ(SizeOf(*now), std::make_pair(720, 480));
  DeleteMediaType(now);
  ASSERT_EQ(preview->GetFormat(&now), S_OK);
  EXPECT_EQ(SizeOf(*now), std::make_pair(800, 600));
  DeleteMediaType(now);

  // Not while the filter streams.
  auto graph = NewGraph();
  ASSERT_EQ(graph->AddFilter(filter.get(), u"Video Capture Filter Source"), S_OK);
  auto control = graph.As<IMediaControl>(IID_IMediaControl);
  ASSERT_EQ(control->Run(), S_OK);
  AM_MEDIA_TYPE* small = Caps(capture.get(), 0, &caps);
  EXPECT_EQ(capture->SetFormat(small), VFW_E_WRONG_STATE);
  EXPECT_EQ(control->Stop(), S_OK);
  EXPECT_EQ(capture->SetFormat(small), S_OK);
  DeleteMediaType(small);
  DeleteMediaType(other);
  DeleteMediaType(large);
}

TEST_F(VideoCaptureTest, LoadOpensOnlyACameraAndSaveNamesIt) {
  ComPtr<IBaseFilter> filter;
  ASSERT_EQ(CoCreateInstance(CLSID_VideoCapture, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter, filter.put_void()),
            S_OK);
  auto persist = filter.As<IPersistPropertyBag>(IID_IPersistPropertyBag);
  ASSERT_TRUE(persist);
  CLSID clsid{};
  EXPECT_EQ(persist->GetClassID(&clsid), S_OK);
  EXPECT_EQ(clsid, CLSID_VideoCapture);
  EXPECT_EQ(persist->InitNew(), S_OK);
  EXPECT_EQ(persist->Load(nullptr, nullptr), E_POINTER);

  // Without a camera the filter cannot leave the stopped state.
  auto graph = NewGraph();
  ASSERT_EQ(graph->AddFilter(filter.get(), u"Video Capture Filter Source"), S_OK);
  auto control = graph.As<IMediaControl>(IID_IMediaControl);
  EXPECT_EQ(control->Run(), VFW_E_NO_CAPTURE_HARDWARE);

  for (const char16_t* wrong : {u"HTM1:", u"CAM9:", u""}) {
    ComPtr<IPropertyBag> bag;
    *bag.put() = new Bag(u"VCapName", wrong);
    EXPECT_LT(persist->Load(bag.get(), nullptr), 0) << orlik::ToUtf8(wrong);
  }
  // A bag without the name.
  ComPtr<IPropertyBag> unnamed;
  *unnamed.put() = new Bag(u"FriendlyName", u"CAM1:");
  EXPECT_LT(persist->Load(unnamed.get(), nullptr), 0);
  auto* saved = new Bag(u"", u"");
  ComPtr<IPropertyBag> out;
  *out.put() = saved;
  EXPECT_LT(persist->Save(out.get(), TRUE, TRUE), 0);

  // A camera that is not there.
  ComPtr<IPropertyBag> bag;
  *bag.put() = new Bag(u"VCapName", u"CAM1:");
  orlik_sim_fail_device("CAM1:", 0);
  EXPECT_LT(persist->Load(bag.get(), nullptr), 0);
  orlik_sim_fail_device("CAM1:", -1);
  EXPECT_EQ(persist->Load(bag.get(), nullptr), S_OK);
  EXPECT_EQ(persist->Save(out.get(), TRUE, TRUE), S_OK);
  EXPECT_EQ(saved->value(), u"CAM1:");
  EXPECT_EQ(control->Run(), S_OK);
  EXPECT_EQ(control->Stop(), S_OK);
}

TEST_F(VideoCaptureTest, StreamsWholeFramesOfTheSizeInForceUntilStopJoinsTheThread) {
  auto filter = CaptureFilter();
  auto capturePin = PinByCategory(filter.get(), PIN_CATEGORY_CAPTURE);
  auto previewPin = PinByCategory(filter.get(), PIN_CATEGORY_PREVIEW);
  auto capture = ConfigOf(capturePin.get());
  auto preview = ConfigOf(previewPin.get());
  VIDEO_STREAM_CONFIG_CAPS caps{};
  AM_MEDIA_TYPE* type = Caps(capture.get(), 3, &caps);  // 256 x 192
  ASSERT_EQ(capture->SetFormat(type), S_OK);
  DeleteMediaType(type);
  type = Caps(preview.get(), 6, &caps);  // 380 x 228
  ASSERT_EQ(preview->SetFormat(type), S_OK);
  DeleteMediaType(type);
  Picture picture = Gradient(256, 192, 7);
  SetCameraPicture(picture);

  auto graph = NewGraph();
  ASSERT_EQ(graph->AddFilter(filter.get(), u"Video Capture Filter Source"), S_OK);
  auto* captured = new TestSink;
  auto* previewed = new TestSink;
  ASSERT_EQ(graph->AddFilter(captured, u"Captured"), S_OK);
  ASSERT_EQ(graph->AddFilter(previewed, u"Previewed"), S_OK);
  ASSERT_EQ(graph->Connect(capturePin.get(), captured->Input()), S_OK);
  ASSERT_EQ(graph->Connect(previewPin.get(), previewed->Input()), S_OK);
  auto control = graph.As<IMediaControl>(IID_IMediaControl);

  // A live source: paused, it says it cannot cue and sends nothing.
  EXPECT_EQ(control->Pause(), S_OK);
  OAFilterState state;
  EXPECT_EQ(control->GetState(0, &state), VFW_S_CANT_CUE);
  EXPECT_EQ(state, State_Paused);
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  EXPECT_EQ(captured->samples.load(), 0);

  ASSERT_EQ(control->Run(), S_OK);
  auto start = Clock::now();
  ASSERT_TRUE(WaitUntil([&] { return captured->samples >= 30; }, 3000));
  double seconds = std::chrono::duration<double>(Clock::now() - start).count();
  // 30 frames at 29.97 per second (the first may come at once), never
  // faster; a loaded machine may make them late.
  EXPECT_GT(seconds, 0.9);
  EXPECT_LT(seconds, 2.5);
  // Stop joins the streaming thread promptly.
  start = Clock::now();
  EXPECT_EQ(control->Stop(), S_OK);
  EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 1.0);
  int after = captured->samples;
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_EQ(captured->samples.load(), after);

  // Both pins at their own sizes, each sample one whole frame; the capture
  // pin's frames are the camera's picture byte for byte.
  EXPECT_GE(previewed->samples.load(), after - 2);
  EXPECT_EQ(previewed->Last().size(), size_t(380 * 228 * 3 / 2));
  EXPECT_EQ(captured->Last(), picture.bytes);
  // Each frame was taken from the camera once, for both pins.
  EXPECT_LE(orlik_sim_camera_frames(), after + 2);
  // Stamped by the graph's clock when taken: always forward, one frame apart
  // on average (a frame taken late on a loaded machine is followed by a short
  // step as the source keeps to the camera's rate).
  ASSERT_TRUE(captured->timed);
  ASSERT_GE(captured->starts.size(), 30u);
  for (size_t i = 1; i < captured->starts.size(); ++i) {
    REFERENCE_TIME step = captured->starts[i] - captured->starts[i - 1];
    EXPECT_GT(step, 0) << i;
    EXPECT_LT(step, 333667 * 3) << i;
  }
  double mean = double(captured->starts.back() - captured->starts.front()) / double(captured->starts.size() - 1);
  EXPECT_GT(mean, 333667 * 0.8);
  EXPECT_LT(mean, 333667 * 1.5);
  captured->Release();
  previewed->Release();
}

TEST_F(VideoCaptureTest, WhileTheCameraSendsNoFramesNothingIsDeliveredAndStopIsStillPrompt) {
  auto filter = CaptureFilter();
  auto graph = NewGraph();
  ASSERT_EQ(graph->AddFilter(filter.get(), u"Video Capture Filter Source"), S_OK);
  auto* sink = new TestSink;
  ASSERT_EQ(graph->AddFilter(sink, u"Sink"), S_OK);
  ASSERT_EQ(graph->Connect(PinByCategory(filter.get(), PIN_CATEGORY_CAPTURE).get(), sink->Input()), S_OK);
  auto control = graph.As<IMediaControl>(IID_IMediaControl);
  orlik_sim_fail_device("CAM1:", 1);
  ASSERT_EQ(control->Run(), S_OK);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(sink->samples.load(), 0);
  auto start = Clock::now();
  EXPECT_EQ(control->Stop(), S_OK);
  EXPECT_LT(std::chrono::duration<double>(Clock::now() - start).count(), 1.0);
  // Frames again: the next run delivers.
  orlik_sim_fail_device("CAM1:", -1);
  ASSERT_EQ(control->Run(), S_OK);
  EXPECT_TRUE(WaitUntil([&] { return sink->samples >= 2; }, 2000));
  EXPECT_EQ(control->Stop(), S_OK);
  sink->Release();
}

TEST_F(VideoCaptureTest, SetFormatOnAConnectedPinRemakesTheConnection) {
  auto filter = CaptureFilter();
  auto pin = PinByCategory(filter.get(), PIN_CATEGORY_CAPTURE);
  auto config = ConfigOf(pin.get());
  auto graph = NewGraph();
  ASSERT_EQ(graph->AddFilter(filter.get(), u"Video Capture Filter Source"), S_OK);
  auto* sink = new TestSink;
  ASSERT_EQ(graph->AddFilter(sink, u"Sink"), S_OK);
  ASSERT_EQ(graph->Connect(pin.get(), sink->Input()), S_OK);

  VIDEO_STREAM_CONFIG_CAPS caps{};
  AM_MEDIA_TYPE* type = Caps(config.get(), 11, &caps);  // 640 x 480
  ASSERT_EQ(config->SetFormat(type), S_OK);
  DeleteMediaType(type);
  orlik::strmbase::MediaType connection;
  ASSERT_EQ(sink->Input()->ConnectionMediaType(connection.get()), S_OK);
  EXPECT_EQ(SizeOf(*connection), std::make_pair(640, 480));
  auto control = graph.As<IMediaControl>(IID_IMediaControl);
  ASSERT_EQ(control->Run(), S_OK);
  ASSERT_TRUE(WaitUntil([&] { return sink->samples >= 2; }, 2000));
  EXPECT_EQ(control->Stop(), S_OK);
  EXPECT_EQ(sink->Last().size(), size_t(640 * 480 * 3 / 2));
  sink->Release();
}

}  // namespace
