// DrawWrappedText's line breaking, measured with the platform's real fonts.
#include "update_dialog.h"

#include <gtest/gtest.h>

namespace {

class WrappedText : public ::testing::Test {
 protected:
  void SetUp() override {
    dc_ = CreateCompatibleDC(nullptr);
    bitmap_ = CreateCompatibleBitmap(dc_, 463, 246);
    oldBitmap_ = SelectObject(dc_, bitmap_);
    font_ = CreateFontW(15, 0, 0, 0, FW_HEAVY, FALSE, FALSE, FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS,
                        CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY, DEFAULT_PITCH, u"");
    oldFont_ = SelectObject(dc_, font_);
  }
  void TearDown() override {
    SelectObject(dc_, oldFont_);
    DeleteObject(font_);
    SelectObject(dc_, oldBitmap_);
    DeleteObject(bitmap_);
    DeleteDC(dc_);
  }
  int Width(std::u16string_view text) {
    SIZE size{};
    GetTextExtentPoint32W(dc_, std::u16string(text).c_str(), int(text.size()), &size);
    return size.cx;
  }

  HDC dc_;
  HBITMAP bitmap_;
  HFONT font_;
  HGDIOBJ oldBitmap_, oldFont_;
};

TEST_F(WrappedText, OneLongWordBreaksBetweenCharactersAtTheBoxWidthLessTen) {
  const int boxWidth = 463 - 35 - 50;
  std::u16string word;
  for (int i = 0; i < 200; ++i) word += char16_t(u'a' + i % 26);
  auto lines = renovo::WrapLines(dc_, word, boxWidth);
  ASSERT_GE(lines.size(), 3u);
  std::u16string joined;
  for (size_t i = 0; i < lines.size(); ++i) {
    joined += lines[i].text;
    int width = Width(lines[i].text);
    EXPECT_EQ(width, lines[i].extent.cx);
    if (i + 1 < lines.size()) {
      // The character that reaches the limit stays on the line it completes.
      int last = Width(lines[i].text.substr(lines[i].text.size() - 1));
      EXPECT_GE(width, boxWidth - 10) << "line " << i;
      EXPECT_LT(width, boxWidth - 10 + last) << "line " << i;
    } else {
      EXPECT_GT(width, 0);
    }
  }
  EXPECT_EQ(joined, word);
}

TEST_F(WrappedText, OnlyLineFeedsForceBreaksAndCarriageReturnsStay) {
  struct Case {
    const char16_t* text;
    std::vector<std::u16string> lines;
  } cases[] = {
      {u"", {}},
      {u"short", {u"short"}},
      {u"one\ntwo", {u"one", u"two"}},
      {u"one\r\ntwo", {u"one\r", u"two"}},
      {u"a\n\nb", {u"a", u"", u"b"}},
      {u"end\n", {u"end"}},
      {u"two words", {u"two words"}},
  };
  for (auto& c : cases) {
    auto lines = renovo::WrapLines(dc_, c.text, 400);
    std::vector<std::u16string> texts;
    for (auto& l : lines) texts.push_back(l.text);
    EXPECT_EQ(texts, c.lines) << "case " << (&c - cases);
  }
}

TEST_F(WrappedText, EachLineMovesTheBoxDownByItsHeight) {
  RECT white{0, 0, 463, 246};
  FillRect(dc_, &white, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  SetTextColor(dc_, RGB(0, 0, 0));
  SetBkMode(dc_, TRANSPARENT);
  renovo::DrawWrappedText(dc_, u"first\nsecond\nthird", RECT{0, 10, 463, 246});
  auto lines = renovo::WrapLines(dc_, u"first\nsecond\nthird", 463);
  ASSERT_EQ(lines.size(), 3u);
  // Ink in each of the three line bands, none below them.
  auto inkInRows = [&](int top, int bottom) {
    for (int y = top; y < bottom; ++y)
      for (int x = 0; x < 463; ++x)
        if (GetPixel(dc_, x, y) != RGB(255, 255, 255)) return true;
    return false;
  };
  int top = 10;
  for (auto& l : lines) {
    EXPECT_TRUE(inkInRows(top, top + l.extent.cy));
    top += l.extent.cy;
  }
  EXPECT_FALSE(inkInRows(top, 246));
}

}  // namespace
