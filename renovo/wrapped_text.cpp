#include "update_dialog.h"

namespace renovo {

void DrawWrappedText(HDC dc, std::u16string_view text, RECT box) {
  std::u16string line;
  bool lineBreak = false;
  auto drawLine = [&](const SIZE& measured) {
    DrawTextW(dc, line.c_str(), -1, &box, DT_CENTER | DT_SINGLELINE);
    box.top += measured.cy;
    line.clear();
  };
  for (char16_t c : text) {
    if (c == u'\n') {
      lineBreak = true;
    } else {
      line += c;
      lineBreak = false;
    }
    SIZE extent{};
    GetTextExtentExPointW(dc, line.c_str(), int(line.size()), 0, nullptr, nullptr, &extent);
    if (extent.cx >= (box.right - box.left) - 10 || lineBreak) drawLine(extent);
  }
  if (!line.empty()) {
    SIZE extent{};
    GetTextExtentExPointW(dc, line.c_str(), int(line.size()), 0, nullptr, nullptr, &extent);
    drawLine(extent);
  }
}

}  // namespace renovo
