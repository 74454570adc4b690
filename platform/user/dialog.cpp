// Dialogs: modal dialogs from templates, their message loop, and the
// dialog manager's handling around the caller's dialog procedure.
#include "user/window_system.h"

#include <orlik/kernel.h>
#include <orlik/module.h>

#include "board/display.h"

namespace orlik::user {
namespace {

// The dialog manager's handling around the caller's dialog procedure.
LRESULT CALLBACK DialogWindowProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  DLGPROC proc = nullptr;
  {
    auto& s = System();
    std::lock_guard lock(s.mutex);
    if (Window* w = s.Find(dialog)) proc = w->dlgProc;
  }
  INT_PTR handled = proc ? proc(dialog, message, wParam, lParam) : 0;
  if (!handled) return DefDlgProcW(dialog, message, wParam, lParam);
  // The colour messages, WM_INITDIALOG and WM_ERASEBKGND hand their result
  // back directly (a brush, the focus choice, whether the background was
  // erased); the others through DWLP_MSGRESULT.
  if (IsCtlColor(message) || message == WM_INITDIALOG || message == WM_ERASEBKGND) return handled;
  auto& s = System();
  std::lock_guard lock(s.mutex);
  Window* w = s.Find(dialog);
  return w ? w->msgResult : 0;
}

// Reads a text field of a dialog template: 0x0000 none, 0xFFFF + ordinal, or a text.
const WORD* SkipTemplateText(const WORD* p, std::u16string* text) {
  if (*p == 0) return p + 1;
  if (*p == 0xFFFF) return p + 2;
  const WORD* start = p;
  while (*p) ++p;
  if (text) text->assign(reinterpret_cast<const char16_t*>(start), size_t(p - start));
  return p + 1;
}

}  // namespace
}  // namespace orlik::user

using namespace orlik;
using namespace orlik::user;

extern "C" {

INT_PTR DialogBoxIndirectParamW(HINSTANCE, LPCDLGTEMPLATE dialogTemplate, HWND parent,
                                DLGPROC dialogProc, LPARAM initParam) {
  if (!dialogTemplate || !dialogProc) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return -1;
  }
  // Dialog units: an average character of the dialog font is 4 x 8 units;
  // for "MS Shell Dlg" at 8 or 9 points that character is 6 x 13 pixels.
  constexpr int kBaseX = 6, kBaseY = 13;
  const DLGTEMPLATE& t = *dialogTemplate;
  const WORD* p = reinterpret_cast<const WORD*>(&t + 1);
  p = SkipTemplateText(p, nullptr);  // menu
  p = SkipTemplateText(p, nullptr);  // class
  p = SkipTemplateText(p, nullptr);  // title
  int width = t.cx * kBaseX / 4, height = t.cy * kBaseY / 8;
  int x = t.x * kBaseX / 4, y = t.y * kBaseY / 8;
  if (t.style & DS_CENTER) {
    x = (board::Display::Get().Width() - width) / 2;
    y = (board::Display::Get().Height() - height) / 2;
  }
  // The dialog procedure is attached after creation: WM_CREATE goes to the
  // dialog manager alone, and the procedure's first message is WM_INITDIALOG.
  Window window;
  window.parent = parent;
  window.wndProc = DialogWindowProc;
  window.style = t.style;
  window.exStyle = t.dwExtendedStyle;
  window.rect = RECT{x, y, x + width, y + height};
  HWND dialog = NewWindow(window, nullptr);
  {
    auto& s = System();
    std::lock_guard lock(s.mutex);
    if (Window* created = s.Find(dialog)) created->dlgProc = dialogProc;
  }
  SendMessageW(dialog, WM_INITDIALOG, 0, initParam);

  MSG msg;
  for (;;) {
    {
      auto& s = System();
      std::lock_guard lock(s.mutex);
      Window* w = s.Find(dialog);
      if (!w || w->dialogEnded) break;
    }
    if (!GetMessageW(&msg, nullptr, 0, 0)) {
      PostQuitMessage(int(msg.wParam));  // the quit belongs to the outer loop
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  INT_PTR result = 0;
  {
    auto& s = System();
    std::lock_guard lock(s.mutex);
    if (Window* w = s.Find(dialog)) result = w->dialogResult;
  }
  if (IsWindow(dialog)) DestroyWindow(dialog);
  return result;
}

INT_PTR DialogBoxParamW(HINSTANCE instance, LPCWSTR templateName, HWND parent, DLGPROC dialogProc,
                        LPARAM initParam) {
  HRSRC resource = FindResourceW(instance, templateName, RT_DIALOG);
  if (!resource) return -1;
  auto* dialogTemplate = static_cast<LPCDLGTEMPLATE>(LockResource(LoadResource(instance, resource)));
  return DialogBoxIndirectParamW(instance, dialogTemplate, parent, dialogProc, initParam);
}

BOOL EndDialog(HWND dialog, INT_PTR result) {
  auto& s = System();
  std::lock_guard lock(s.mutex);
  Window* w = s.Find(dialog);
  if (!w || !w->dlgProc) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  w->dialogEnded = true;
  w->dialogResult = result;
  w->style &= ~WS_VISIBLE;
  s.changed.notify_all();
  return TRUE;
}

LRESULT DefDlgProcW(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_ERASEBKGND: {
      // The dialog's background brush comes from WM_CTLCOLORDLG.
      HDC dc = reinterpret_cast<HDC>(wParam);
      auto brush = reinterpret_cast<HBRUSH>(SendMessageW(dialog, WM_CTLCOLORDLG, wParam,
                                                         reinterpret_cast<LPARAM>(dialog)));
      RECT r;
      GetClientRect(dialog, &r);
      if (brush) FillRect(dc, &r, brush);
      return 1;
    }
    case WM_CLOSE:
      EndDialog(dialog, IDCANCEL);
      return 0;
    case WM_COMMAND:
      // The OK and Cancel actions end the modal run.
      if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) EndDialog(dialog, LOWORD(wParam));
      return 0;
    case WM_INITDIALOG:
      return 1;
    default:
      return DefWindowProcW(dialog, message, wParam, lParam);
  }
}

}  // extern "C"
