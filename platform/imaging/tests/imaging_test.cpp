// The imaging component through COM: each file format decodes with its size
// and format, draws stretched into a DC with transparency, and bad input
// fails cleanly.
#include <orlik/windows.h>

#include "tolvex_test.h"

#include <stb_image_write.h>

#include <fstream>
#include <vector>

namespace {

void AppendBytes(void* context, void* data, int size) {
  auto* out = static_cast<std::vector<uint8_t>*>(context);
  out->insert(out->end(), static_cast<uint8_t*>(data), static_cast<uint8_t*>(data) + size);
}

class ImagingTest : public tolvex_test::PanelTest {
 protected:
  void SetUp() override {
    PanelTest::SetUp();
    ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED)));
    ASSERT_EQ(CoCreateInstance(CLSID_ImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                               IID_IImagingFactory, reinterpret_cast<void**>(&factory)),
              S_OK);
  }
  void TearDown() override {
    if (factory) factory->Release();
    CoUninitialize();
  }
  IImagingFactory* factory = nullptr;
};

// 4 x 2 RGBA: left half red, right half fully transparent.
std::vector<uint8_t> Pixels() {
  std::vector<uint8_t> px(4 * 2 * 4, 0);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 2; ++x) {
      uint8_t* p = &px[(y * 4 + x) * 4];
      p[0] = 255;
      p[3] = 255;
    }
  return px;
}

TEST_F(ImagingTest, EachFormatDecodesWithItsSizeAndFormat) {
  auto px = Pixels();
  std::vector<uint8_t> png, bmp, jpg;
  stbi_write_png_to_func(AppendBytes, &png, 4, 2, 4, px.data(), 16);
  stbi_write_bmp_to_func(AppendBytes, &bmp, 4, 2, 4, px.data());
  stbi_write_jpg_to_func(AppendBytes, &jpg, 4, 2, 4, px.data(), 95);
  // A 1 x 1 GIF whose only pixel is transparent.
  const std::vector<uint8_t> gif = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0x01, 0x00, 0x01, 0x00, 0x80,
                                    0x00, 0x00, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x21, 0xF9, 0x04,
                                    0x01, 0x00, 0x00, 0x00, 0x00, 0x2C, 0x00, 0x00, 0x00, 0x00, 0x01,
                                    0x00, 0x01, 0x00, 0x00, 0x02, 0x02, 0x44, 0x01, 0x00, 0x3B};
  struct Case {
    const std::vector<uint8_t>* data;
    GUID format;
    UINT width, height;
  } cases[] = {{&png, ImageFormatPNG, 4, 2}, {&bmp, ImageFormatBMP, 4, 2},
               {&jpg, ImageFormatJPEG, 4, 2}, {&gif, ImageFormatGIF, 1, 1}};
  for (const Case& c : cases) {
    IImage* image = nullptr;
    ASSERT_EQ(factory->CreateImageFromBuffer(c.data->data(), UINT(c.data->size()),
                                             BufferDisposalFlagNone, &image),
              S_OK);
    ImageInfo info{};
    EXPECT_EQ(image->GetImageInfo(&info), S_OK);
    EXPECT_TRUE(IsEqualGUID(info.RawDataFormat, c.format));
    EXPECT_EQ(info.Width, c.width);
    EXPECT_EQ(info.Height, c.height);
    EXPECT_EQ(image->Release(), 0u);
  }
}

TEST_F(ImagingTest, DrawStretchesIntoTheRectangleAndKeepsTransparentPixels) {
  auto px = Pixels();
  std::vector<uint8_t> png;
  stbi_write_png_to_func(AppendBytes, &png, 4, 2, 4, px.data(), 16);
  std::ofstream(root_.path() + "/Pic.png", std::ios::binary)
      .write(reinterpret_cast<const char*>(png.data()), std::streamsize(png.size()));
  IImage* image = nullptr;
  ASSERT_EQ(factory->CreateImageFromFile(u"\\pic.png", &image), S_OK);

  HDC dc = CreateCompatibleDC(nullptr);
  HBITMAP bitmap = CreateCompatibleBitmap(dc, 20, 10);
  SelectObject(dc, bitmap);
  RECT all{0, 0, 20, 10};
  HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
  FillRect(dc, &all, blue);
  RECT dst{2, 2, 10, 6};  // twice the image's size
  EXPECT_EQ(image->Draw(dc, &dst, nullptr), S_OK);
  EXPECT_EQ(GetPixel(dc, 2, 2), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(dc, 5, 5), RGB(255, 0, 0));
  EXPECT_EQ(GetPixel(dc, 8, 3), RGB(0, 0, 255));  // transparent half
  EXPECT_EQ(GetPixel(dc, 1, 1), RGB(0, 0, 255));
  EXPECT_EQ(GetPixel(dc, 10, 6), RGB(0, 0, 255));
  EXPECT_EQ(image->Draw(nullptr, &dst, nullptr), E_INVALIDARG);
  image->Release();
  DeleteDC(dc);
  DeleteObject(bitmap);
  DeleteObject(blue);
}

TEST_F(ImagingTest, BadInputFailsWithoutAnImage) {
  IImage* image = reinterpret_cast<IImage*>(1);
  EXPECT_EQ(factory->CreateImageFromFile(u"\\missing.png", &image),
            HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(image, nullptr);
  const char junk[] = "BM this is not a bitmap";
  EXPECT_EQ(factory->CreateImageFromBuffer(junk, sizeof junk, BufferDisposalFlagNone, &image), E_FAIL);
  EXPECT_EQ(image, nullptr);
  const char text[] = "plain text";
  EXPECT_EQ(factory->CreateImageFromBuffer(text, sizeof text, BufferDisposalFlagNone, &image), E_FAIL);
  EXPECT_EQ(factory->CreateImageFromFile(nullptr, &image), E_INVALIDARG);
  EXPECT_EQ(factory->CreateImageFromFile(u"\\x.png", nullptr), E_POINTER);
}

}  // namespace
