// libFuzzer target for the updater's command-line reading. The input bytes
// are taken as UTF-16 units. Besides not crashing, the reading must keep its
// bounds and lose nothing of the file list.
#include "update_settings.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::u16string line(size / 2, u'\0');
  if (!line.empty()) std::memcpy(line.data(), data, line.size() * 2);
  // The command line is a zero-terminated text: it ends at the first zero.
  line.resize(std::char_traits<char16_t>::length(line.c_str()));

  renovo::UpdateSettings s = renovo::ReadCommandLine(line.c_str());
  if (s.fontName.size() > 31 || s.backgroundImagePath.size() > 259) std::abort();
  if (s.fileList != std::u16string_view(line).substr(0, s.fileList.size())) std::abort();
  if (s.fileList.find(u':') != std::u16string::npos) std::abort();

  auto names = renovo::SplitFileList(s.fileList);
  std::u16string joined;
  for (size_t i = 0; i < names.size(); ++i) joined += (i ? u"|" : u"") + names[i];
  if (names.empty() || joined != s.fileList) std::abort();
  return 0;
}
