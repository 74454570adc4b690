#include <orlik/text.h>
#include <orlik/user.h>

#include "board/board.h"
#include "board/console/console.h"

#include <cstdio>

extern "C" int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type) {
  orlik::board::console::Start();
  orlik::board::MessageRecord record;
  record.caption = std::u16string(orlik::View(caption));
  record.text = std::u16string(orlik::View(text));
  record.owner = reinterpret_cast<uintptr_t>(owner);
  record.type = type;
  std::fprintf(stderr, "[message box] %s: %s\n", orlik::ToUtf8(record.caption).c_str(),
               orlik::ToUtf8(record.text).c_str());
  orlik::board::Board::Get().RecordMessage(std::move(record));
  switch (type & 0xF) {
    case MB_YESNO: return IDYES;
    default: return IDOK;
  }
}
