#include "update_settings.h"

#include <gtest/gtest.h>

using renovo::ReadCommandLine;
using renovo::ReadNumber;
using renovo::SplitFileList;

TEST(CommandLine, ThirteenFieldsInOrder) {
  auto s = ReadCommandLine(u"a.exe|b.dll:\\SD Card\\Up:\\Flash Disk\\App:\\bg.bmp:Title:255:Body:65280:"
                           u":16711680:3000:e:GulimChe");
  EXPECT_EQ(s.fileList, u"a.exe|b.dll");
  EXPECT_EQ(s.sourceFolder, u"\\SD Card\\Up");
  EXPECT_EQ(s.targetFolder, u"\\Flash Disk\\App");
  EXPECT_EQ(s.backgroundImagePath, u"\\bg.bmp");
  EXPECT_EQ(s.displayText1, u"Title");
  EXPECT_EQ(s.textColor1, 255);
  EXPECT_EQ(s.displayText2, u"Body");
  EXPECT_EQ(s.textColor2, 65280);
  EXPECT_EQ(s.displayText3, u"");
  EXPECT_EQ(s.textColor3, 16711680);
  EXPECT_EQ(s.startInterval, 3000);
  EXPECT_EQ(s.endAction, u"e");
  EXPECT_EQ(s.fontName, u"gulimche");
}

TEST(CommandLine, MissingFieldsReadEmptyAndExtraFieldsAreIgnored) {
  for (const char16_t* line : {static_cast<const char16_t*>(nullptr), u""}) {
    auto s = ReadCommandLine(line);
    EXPECT_EQ(s.fileList, u"");
    EXPECT_EQ(s.endAction, u"");
    EXPECT_EQ(s.startInterval, 0);
    EXPECT_EQ(s.fontName, u"");
  }
  auto s = ReadCommandLine(u"x:src");
  EXPECT_EQ(s.fileList, u"x");
  EXPECT_EQ(s.sourceFolder, u"src");
  EXPECT_EQ(s.targetFolder, u"");
  EXPECT_EQ(s.textColor3, 0);

  s = ReadCommandLine(u"f:s:t:b:1:2:3:4:5:6:7:R:Font:extra:more");
  EXPECT_EQ(s.endAction, u"r");
  EXPECT_EQ(s.fontName, u"font");
}

TEST(CommandLine, ColonInsideTextShiftsEveryLaterField) {
  // displayText3 "a:b": "b" becomes textColor3, the colour the interval, the
  // interval the end action, the end action the font; the font is dropped.
  auto s = ReadCommandLine(u"f:s:t:b:T1:1:T2:2:a:b:3:4000:r:Tahoma");
  EXPECT_EQ(s.displayText3, u"a");
  EXPECT_EQ(s.textColor3, 0);
  EXPECT_EQ(s.startInterval, 3);
  EXPECT_EQ(s.endAction, u"4000");
  EXPECT_EQ(s.fontName, u"r");
}

TEST(CommandLine, NumbersReadLikeDecimalText) {
  struct Case {
    const char16_t* text;
    int32_t value;
  } cases[] = {
      {u"42", 42},          {u"  \t7", 7},           {u"+15", 15},       {u"-20", -20},
      {u"12abc", 12},       {u"abc", 0},             {u"", 0},           {u"- 5", 0},
      {u"3.9", 3},          {u"2147483647", 2147483647},
      // An unsigned colour from the launcher keeps its 32 bits.
      {u"4294967295", -1},  {u"4278190080", int32_t(0xFF000000u)},
  };
  for (auto& c : cases) EXPECT_EQ(ReadNumber(c.text), c.value) << std::string(c.text, c.text + std::char_traits<char16_t>::length(c.text));
}

TEST(CommandLine, EndActionAndFontAreLowerCasedAndFontIsCutAt31) {
  auto s = ReadCommandLine(u"f:s:t:b:Text One:1:Text Two:2:Text Three:3:0:R:Nanum Gothic Coding EXTRA LONG NAME");
  EXPECT_EQ(s.endAction, u"r");
  EXPECT_EQ(s.fontName, u"nanum gothic coding extra long ");
  EXPECT_EQ(s.fontName.size(), 31u);
  // Text fields keep their case and spaces.
  EXPECT_EQ(s.displayText1, u"Text One");
  EXPECT_EQ(s.displayText3, u"Text Three");

  std::u16string longPath(300, u'p');
  s = ReadCommandLine((u"f:s:t:" + longPath + u":x").c_str());
  EXPECT_EQ(s.backgroundImagePath.size(), 259u);
  EXPECT_EQ(s.displayText1, u"x");
}

TEST(CommandLine, FileListSplitsAtBarsAndAlwaysYieldsAName) {
  using List = std::vector<std::u16string>;
  EXPECT_EQ(SplitFileList(u""), List{u""});
  EXPECT_EQ(SplitFileList(u"a.exe"), List{u"a.exe"});
  EXPECT_EQ(SplitFileList(u"a|b"), (List{u"a", u"b"}));
  EXPECT_EQ(SplitFileList(u"a|a"), (List{u"a", u"a"}));
  EXPECT_EQ(SplitFileList(u"a||b|"), (List{u"a", u"", u"b", u""}));
  std::u16string many;
  for (int i = 0; i < 60; ++i) many += (i ? u"|" : u"") + std::u16string(u"f");
  EXPECT_EQ(SplitFileList(many).size(), 60u);  // every name is kept, past 50 too
}

// Only a separator or the names "." and ".." reach outside the folder; dots
// inside a name are part of it.
TEST(CommandLine, OnlySeparatorsAndDotNamesLeaveTheFolder) {
  const struct {
    const char16_t* name;
    bool leaves;
  } cases[] = {
      {u"app..old.dll", false}, {u"v1..2.bin", false}, {u"..hidden", false}, {u"name..", false},
      {u"...", false},          {u"", false},          {u".", true},          {u"..", true},
      {u"..\\x.bin", true},     {u"a/b", true},        {u"\\x.bin", true},
  };
  for (const auto& c : cases)
    EXPECT_EQ(renovo::NameLeavesFolder(c.name), c.leaves) << orlik::ToUtf8(c.name);
}
