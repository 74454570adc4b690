#include "update_dialog.h"

namespace renovo {

std::vector<WrappedLine> WrapLines(HDC dc, std::u16string_view text, int boxWidth) {
  std::vector<WrappedLine> lines;
  std::u16string line;
  bool lineBreak = false;
  SIZE extent{};
  for (char16_t c : text) {
    if (c == u'\n') {
      lineBreak = true;
    } else {
      line += c;
      lineBreak = false;
    }
    GetTextExtentExPointW(dc, line.c_str(), int(line.size()), 0, nullptr, nullptr, &extent);
    if (extent.cx >= boxWidth - 10 || lineBreak) {
      lines.push_back({std::move(line), extent});
      line.clear();
    }
  }
  if (!line.empty()) {
    GetTextExtentExPointW(dc, line.c_str(), int(line.size()), 0, nullptr, nullptr, &extent);
    lines.push_back({std::move(line), extent});
  }
  return lines;
}

void DrawWrappedText(HDC dc, std::u16string_view text, RECT box) {
  for (WrappedLine& line : WrapLines(dc, text, box.right - box.left)) {
    DrawTextW(dc, line.text.c_str(), -1, &box, DT_CENTER | DT_SINGLELINE);
    box.top += line.extent.cy;
  }
}

}  // namespace renovo
