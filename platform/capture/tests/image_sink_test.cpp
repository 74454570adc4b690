// The still-image sink: its file name and mode, and the JPEG files it writes
// from the samples a test source pushes to it.
#include "capture_test.h"
#include "push_source.h"

#include <orlik/text.h>

#include <dirent.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>

namespace {

using namespace capture_test;
using orlik::strmbase::BaseFilter;
using orlik::strmbase::BaseOutputPin;
using orlik::strmbase::MediaType;

ORLIK_DEFINE_GUID(CLSID_TestSource, 0x5C1E0A01, 0x0000, 0x4000, 0x80, 0, 0, 0, 0, 0, 0, 3);

// A video type of the subtype and size (height negative for top-down RGB).
using renderer_test::VideoType;

// One output pin offering one type; Push delivers a sample from the caller's thread.
class TestSource final : public BaseFilter {
 public:
  class Pin final : public BaseOutputPin {
   public:
    Pin(TestSource* filter, const MediaType& type) : BaseOutputPin(filter, u"Out"), type_(type) {}
    HRESULT CheckMediaType(const AM_MEDIA_TYPE* type) override {
      return type->subtype == type_.get()->subtype ? S_OK : VFW_E_TYPE_NOT_ACCEPTED;
    }
    HRESULT GetMediaType(int index, AM_MEDIA_TYPE* type) override {
      if (index < 0) return E_INVALIDARG;
      if (index > 0) return VFW_S_NO_MORE_ITEMS;
      return CopyMediaType(type, type_.get());
    }
    HRESULT DecideBufferSize(IMemAllocator* allocator, ALLOCATOR_PROPERTIES* request) override {
      request->cBuffers = 2;
      request->cbBuffer = 4 << 20;
      ALLOCATOR_PROPERTIES actual{};
      return allocator->SetProperties(request, &actual);
    }
    MediaType type_;
  };

  explicit TestSource(const MediaType& type) : BaseFilter(CLSID_TestSource), pin_(this, type) {}
  int PinCount() override { return 1; }
  orlik::strmbase::BasePin* PinAt(int index) override { return index == 0 ? &pin_ : nullptr; }
  IPin* Output() { return &pin_; }

  // Delivers the bytes (the actual length may be cut short); Receive's result.
  HRESULT Push(const std::vector<uint8_t>& bytes, LONG length = -1) {
    IMediaSample* sample = nullptr;
    HRESULT hr = pin_.GetDeliveryBuffer(&sample, nullptr, nullptr, 0);
    if (FAILED(hr)) return hr;
    BYTE* data = nullptr;
    sample->GetPointer(&data);
    std::memcpy(data, bytes.data(), bytes.size());
    sample->SetActualDataLength(length < 0 ? LONG(bytes.size()) : length);
    hr = pin_.Deliver(sample);
    sample->Release();
    return hr;
  }

 private:
  Pin pin_;
};

class ImageSinkTest : public CaptureTest {
 protected:
  // A running graph: a test source of the type into a new still-image sink.
  void Build(const MediaType& type) {
    graph_ = NewGraph();
    source_ = new TestSource(type);
    ASSERT_EQ(graph_->AddFilter(source_, u"Source"), S_OK);
    source_->Release();  // the graph holds it
    ASSERT_EQ(CoCreateInstance(CLSID_IMGSinkFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IBaseFilter,
                               sinkFilter_.put_void()),
              S_OK);
    ASSERT_EQ(graph_->AddFilter(sinkFilter_.get(), u"Image Sinker"), S_OK);
    sink_ = sinkFilter_.As<IFileSinkFilter2>(IID_IFileSinkFilter2);
    ASSERT_TRUE(sink_);
    ComPtr<IPin> input;
    ASSERT_EQ(sinkFilter_->FindPin(u"Input", input.put()), S_OK);
    ASSERT_EQ(graph_->ConnectDirect(source_->Output(), input.get(), nullptr), S_OK);
    control_ = graph_.As<IMediaControl>(IID_IMediaControl);
    ASSERT_EQ(control_->Run(), S_OK);
  }
  void Release() {
    if (control_) control_->Stop();
    control_.reset();
    sink_.reset();
    sinkFilter_.reset();
    graph_.reset();
  }
  void TearDown() override {
    Release();
    CaptureTest::TearDown();
  }
  std::string Host(const std::string& name) { return root_.path() + "/" + name; }
  std::vector<std::string> Folder() {
    std::vector<std::string> names;
    for (auto& e : std::filesystem::directory_iterator(root_.path())) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  ComPtr<IGraphBuilder> graph_;
  ComPtr<IMediaControl> control_;
  TestSource* source_ = nullptr;
  ComPtr<IBaseFilter> sinkFilter_;
  ComPtr<IFileSinkFilter2> sink_;
};

TEST_F(ImageSinkTest, FileNameAndModeAreKeptAsGiven) {
  ASSERT_EQ(CoCreateInstance(CLSID_IMGSinkFilter, nullptr, CLSCTX_INPROC_SERVER, IID_IFileSinkFilter2,
                             sink_.put_void()),
            S_OK);
  LPOLESTR name = reinterpret_cast<LPOLESTR>(1);
  EXPECT_EQ(sink_->GetCurFile(&name, nullptr), E_FAIL);
  EXPECT_EQ(name, nullptr);
  EXPECT_EQ(sink_->SetFileName(nullptr, nullptr), E_POINTER);

  // The sink keeps its own copy.
  std::u16string given = u"\\Storage Card\\still 1.jpg";
  EXPECT_EQ(sink_->SetFileName(given.c_str(), nullptr), S_OK);
  given[1] = u'X';
  ASSERT_EQ(sink_->GetCurFile(&name, nullptr), S_OK);
  EXPECT_EQ(std::u16string(name), u"\\Storage Card\\still 1.jpg");
  CoTaskMemFree(name);

  // A name too long for a path is refused whole, and the old one stays.
  std::u16string longName(260, u'a');
  EXPECT_LT(sink_->SetFileName(longName.c_str(), nullptr), 0);
  longName.resize(259);
  ASSERT_EQ(sink_->GetCurFile(&name, nullptr), S_OK);
  EXPECT_EQ(std::u16string(name), u"\\Storage Card\\still 1.jpg");
  CoTaskMemFree(name);
  EXPECT_EQ(sink_->SetFileName(longName.c_str(), nullptr), S_OK);

  DWORD mode = 7;
  EXPECT_EQ(sink_->GetMode(&mode), S_OK);
  EXPECT_EQ(mode, 0u);
  EXPECT_EQ(sink_->SetMode(AM_FILE_OVERWRITE), S_OK);
  EXPECT_EQ(sink_->GetMode(&mode), S_OK);
  EXPECT_EQ(mode, DWORD(AM_FILE_OVERWRITE));
  EXPECT_EQ(sink_->SetMode(0x10), E_INVALIDARG);
  EXPECT_EQ(sink_->GetMode(&mode), S_OK);
  EXPECT_EQ(mode, DWORD(AM_FILE_OVERWRITE));
}

TEST_F(ImageSinkTest, EachLayoutIsWrittenAsAJpegOfTheSamplesSize) {
  // The same picture as YV12 and as I420 (chroma planes swapped): each file
  // decodes back to it within JPEG's loss.
  const int w = 176, h = 144;
  Picture picture = Gradient(w, h, 3);
  std::vector<uint8_t> i420(picture.bytes);
  const size_t luma = size_t(w) * h, chroma = luma / 4;
  std::copy(picture.bytes.begin() + ptrdiff_t(luma + chroma), picture.bytes.end(), i420.begin() + ptrdiff_t(luma));
  std::copy(picture.bytes.begin() + ptrdiff_t(luma), picture.bytes.begin() + ptrdiff_t(luma + chroma),
            i420.begin() + ptrdiff_t(luma + chroma));
  struct Case {
    const char* file;
    const GUID* subtype;
    const std::vector<uint8_t>* bytes;
  };
  for (Case c : {Case{"yv12.jpg", &MEDIASUBTYPE_YV12, &picture.bytes}, Case{"i420.jpg", &MEDIASUBTYPE_I420, &i420}}) {
    SCOPED_TRACE(c.file);
    Build(VideoType(*c.subtype, w, h, 12));
    std::u16string name = u"\\" + orlik::FromUtf8(c.file);
    ASSERT_EQ(sink_->SetFileName(name.c_str(), nullptr), S_OK);
    EXPECT_EQ(source_->Push(*c.bytes), S_OK);
    Picture back = DecodeJpeg(Host(c.file));
    EXPECT_EQ(back.width, w);
    EXPECT_EQ(back.height, h);
    EXPECT_LE(LargestDifference(back, picture), 6);
    Release();
  }

  // 24-bit RGB, rows bottom-up as a positive height says: the file is upright.
  std::vector<uint8_t> bgr(size_t(w) * 3 * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      uint8_t* px = &bgr[(size_t(h - 1 - y) * w + x) * 3];
      px[0] = uint8_t(40 + x);
      px[1] = uint8_t(60 + y);
      px[2] = uint8_t(200 - x / 2);
    }
  Build(VideoType(MEDIASUBTYPE_RGB24, w, h, 24));
  ASSERT_EQ(sink_->SetFileName(u"\\rgb.jpg", nullptr), S_OK);
  EXPECT_EQ(source_->Push(bgr), S_OK);
  std::ifstream in(Host("rgb.jpg"), std::ios::binary);
  std::vector<unsigned char> jpeg((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_FALSE(jpeg.empty());
  std::vector<uint8_t> back(bgr.size());
  tjhandle d = tjInitDecompress();
  ASSERT_EQ(tjDecompress2(d, jpeg.data(), jpeg.size(), back.data(), w, w * 3, h, TJPF_BGR, TJFLAG_BOTTOMUP), 0);
  tjDestroy(d);
  int worst = 0;
  for (size_t i = 0; i < back.size(); ++i) worst = std::max(worst, std::abs(int(back[i]) - int(bgr[i])));
  EXPECT_LE(worst, 12);
}

TEST_F(ImageSinkTest, WithoutANameOrWithAShortSampleNothingIsWritten) {
  Build(VideoType(MEDIASUBTYPE_YV12, 64, 48, 12));
  Picture picture = Gradient(64, 48, 1);
  EXPECT_EQ(source_->Push(picture.bytes), S_OK);
  EXPECT_TRUE(Folder().empty());
  ASSERT_EQ(sink_->SetFileName(u"\\short.jpg", nullptr), S_OK);
  EXPECT_LT(source_->Push(picture.bytes, LONG(picture.bytes.size() - 1)), 0);
  EXPECT_TRUE(Folder().empty());
  // A folder that does not exist is a failure, and leaves nothing behind.
  ASSERT_EQ(sink_->SetFileName(u"\\missing\\still.jpg", nullptr), S_OK);
  EXPECT_LT(source_->Push(picture.bytes), 0);
  EXPECT_TRUE(Folder().empty());
}

TEST_F(ImageSinkTest, AnExistingFileIsReplacedOnlyInOverwriteMode) {
  Build(VideoType(MEDIASUBTYPE_YV12, 64, 48, 12));
  {
    std::ofstream(Host("still.jpg")) << "an older file";
  }
  ASSERT_EQ(sink_->SetFileName(u"\\STILL.JPG", nullptr), S_OK);
  EXPECT_EQ(source_->Push(Gradient(64, 48, 1).bytes), S_OK);
  std::ifstream older(Host("still.jpg"));
  std::string text((std::istreambuf_iterator<char>(older)), std::istreambuf_iterator<char>());
  EXPECT_EQ(text, "an older file");

  ASSERT_EQ(sink_->SetMode(AM_FILE_OVERWRITE), S_OK);
  Picture picture = Gradient(64, 48, 2);
  EXPECT_EQ(source_->Push(picture.bytes), S_OK);
  // The panel's names match without case: the same file, replaced, nothing else left.
  EXPECT_LE(LargestDifference(DecodeJpeg(Host("still.jpg")), picture), 6);
  EXPECT_EQ(Folder(), std::vector<std::string>{"still.jpg"});
}

TEST_F(ImageSinkTest, AReaderNeverSeesAPartOfAFile) {
  Build(VideoType(MEDIASUBTYPE_YV12, 320, 240, 12));
  ASSERT_EQ(sink_->SetMode(AM_FILE_OVERWRITE), S_OK);
  ASSERT_EQ(sink_->SetFileName(u"\\still.jpg", nullptr), S_OK);
  std::vector<Picture> pictures = {Gradient(320, 240, 10), Gradient(320, 240, 40)};
  ASSERT_EQ(source_->Push(pictures[0].bytes), S_OK);
  std::atomic<bool> done{false};
  int reads = 0, whole = 0;
  std::thread reader([&] {
    while (!done) {
      Picture p = DecodeJpeg(Host("still.jpg"));
      ++reads;
      if (p.width == 320 && (LargestDifference(p, pictures[0]) <= 6 || LargestDifference(p, pictures[1]) <= 6))
        ++whole;
    }
  });
  for (int i = 0; i < 60; ++i) ASSERT_EQ(source_->Push(pictures[size_t(i % 2)].bytes), S_OK);
  done = true;
  reader.join();
  EXPECT_GT(reads, 0);
  EXPECT_EQ(whole, reads);
  EXPECT_EQ(Folder(), std::vector<std::string>{"still.jpg"});
}

}  // namespace
