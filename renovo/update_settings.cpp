#include "update_settings.h"

namespace renovo {
namespace {

constexpr size_t kFieldCount = 13;
constexpr size_t kBackgroundPathLength = 259;
constexpr size_t kFontNameLength = 31;

char16_t ToLower(char16_t c) {
  if (c >= u'A' && c <= u'Z') return char16_t(c + 32);
  if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return char16_t(c + 32);  // Latin-1 capitals
  return c;
}

std::u16string Lowered(std::u16string_view text) {
  std::u16string s(text);
  for (auto& c : s) c = ToLower(c);
  return s;
}

bool IsSpace(char16_t c) { return c == u' ' || (c >= u'\t' && c <= u'\r'); }

}  // namespace

INT ReadNumber(std::u16string_view text) {
  size_t i = 0;
  while (i < text.size() && IsSpace(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == u'+' || text[i] == u'-')) negative = text[i++] == u'-';
  uint32_t value = 0;
  for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i)
    value = value * 10u + uint32_t(text[i] - u'0');
  if (negative) value = 0u - value;
  return INT(value);
}

UpdateSettings ReadCommandLine(LPCWSTR commandLine) {
  std::u16string_view line = orlik::View(commandLine);
  std::u16string_view fields[kFieldCount];
  size_t start = 0;
  for (size_t k = 0; k < kFieldCount && start <= line.size(); ++k) {
    size_t end = line.find(u':', start);
    if (end == std::u16string_view::npos) end = line.size();
    fields[k] = line.substr(start, end - start);
    start = end + 1;
  }
  UpdateSettings s;
  s.fileList = fields[0];
  s.sourceFolder = fields[1];
  s.targetFolder = fields[2];
  s.backgroundImagePath = fields[3].substr(0, kBackgroundPathLength);
  s.displayText1 = fields[4];
  s.textColor1 = ReadNumber(fields[5]);
  s.displayText2 = fields[6];
  s.textColor2 = ReadNumber(fields[7]);
  s.displayText3 = fields[8];
  s.textColor3 = ReadNumber(fields[9]);
  s.startInterval = ReadNumber(fields[10]);
  s.endAction = Lowered(fields[11]);
  s.fontName = Lowered(fields[12].substr(0, kFontNameLength));
  return s;
}

std::vector<std::u16string> SplitFileList(std::u16string_view fileList) {
  std::vector<std::u16string> names;
  size_t start = 0;
  for (;;) {
    size_t bar = fileList.find(u'|', start);
    if (bar == std::u16string_view::npos) {
      names.emplace_back(fileList.substr(start));
      return names;
    }
    names.emplace_back(fileList.substr(start, bar - start));
    start = bar + 1;
  }
}

bool NameLeavesFolder(std::u16string_view name) {
  return name.find_first_of(u"\\/") != std::u16string_view::npos || name == u"." || name == u"..";
}

}  // namespace renovo
