#include <orlik/text.h>

#include <gtest/gtest.h>

TEST(Text, BoundedCopyNeverOverrunsAndAlwaysTerminates) {
  char16_t buf[6];
  for (auto& c : buf) c = u'#';
  EXPECT_EQ(orlik_wcscpy_bounded(buf, 4, u"abcdef"), 3u);
  EXPECT_EQ(std::u16string(buf), u"abc");
  EXPECT_EQ(buf[4], u'#');  // nothing written past the capacity
  EXPECT_EQ(orlik_wcscpy_bounded(buf, 6, nullptr), 0u);
  EXPECT_EQ(buf[0], 0);
  EXPECT_EQ(orlik_wcscpy_bounded(buf, 0, u"x"), 0u);

  char16_t cat[8] = u"ab";
  orlik_wcscat_bounded(cat, 5, u"cdef");
  EXPECT_EQ(std::u16string(cat), u"abcd");
}

TEST(Text, Utf8RoundTripIncludingKoreanAndSurrogates) {
  const char16_t text[] = u"굴림체 x \U0001F600";
  std::string utf8 = orlik::ToUtf8(text);
  EXPECT_EQ(utf8, "굴림체 x \xF0\x9F\x98\x80");
  EXPECT_EQ(orlik::FromUtf8(utf8), std::u16string(text));

  // A lone surrogate and malformed UTF-8 become U+FFFD instead of garbage.
  const char16_t lone[] = {0xD800, u'a', 0};
  EXPECT_EQ(orlik::ToUtf8(lone), "\xEF\xBF\xBD" "a");
  EXPECT_EQ(orlik::FromUtf8("\xC0\x80z"), u"\uFFFD\uFFFDz");

  // ASCII first, then the rest: both directions carry on past the ASCII run.
  EXPECT_EQ(orlik::ToUtf8(u"Run\\굴림 \U0001F600."), "Run\\굴림 \xF0\x9F\x98\x80.");
  EXPECT_EQ(orlik::FromUtf8("Run\\굴림 \xF0\x9F\x98\x80."), u"Run\\굴림 \U0001F600.");
  const char16_t asciiThenLone[] = {u'a', u'b', 0xDC00, 0};
  EXPECT_EQ(orlik::ToUtf8(asciiThenLone), "ab\xEF\xBF\xBD");
  EXPECT_EQ(orlik::FromUtf8("ab\xFF" "c"), u"ab\uFFFDc");
}

TEST(Text, BoundedUtf8ConversionStopsAtCharacterBoundary) {
  char out[5];
  // "굴" is three bytes: with room for four bytes, only one character fits.
  EXPECT_EQ(orlik_wcs_to_utf8(u"굴림", out, sizeof out), 6u);
  EXPECT_STREQ(out, "굴");
  char16_t wide[3];
  EXPECT_EQ(orlik_utf8_to_wcs("\xF0\x9F\x98\x80!", wide, 2), 3u);
  EXPECT_EQ(wide[0], 0);  // half a surrogate pair is never left behind
}

TEST(Text, CaseInsensitiveCompareAsOnThePanel) {
  EXPECT_EQ(orlik_wcsicmp(u"htm1:", u"HTM1:"), 0);
  EXPECT_LT(orlik_wcsicmp(u"abc", u"ABD"), 0);
  EXPECT_GT(orlik_wcsicmp(u"abcd", u"ABC"), 0);
}
