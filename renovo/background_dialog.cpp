#include "background_dialog.h"

namespace renovo {

BackgroundDialog::BackgroundDialog(UINT templateId)
    : hollowBrush_(static_cast<HBRUSH>(GetStockObject(HOLLOW_BRUSH))), templateId_(templateId) {}

BackgroundDialog::~BackgroundDialog() {
  if (bitmap_) DeleteObject(bitmap_);
}

INT_PTR BackgroundDialog::DoModal() {
  return DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCE(templateId_), nullptr, DialogProc,
                         reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK BackgroundDialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  auto* self = reinterpret_cast<BackgroundDialog*>(GetWindowLongPtrW(window, DWL_USER));
  if (message == WM_INITDIALOG) {
    self = reinterpret_cast<BackgroundDialog*>(lParam);
    SetWindowLongPtrW(window, DWL_USER, lParam);
    self->hwnd_ = window;
  }
  return self ? self->OnMessage(message, wParam, lParam) : FALSE;
}

INT_PTR BackgroundDialog::OnMessage(UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG: return OnInitDialog();
    case WM_ERASEBKGND: return OnEraseBkgnd(reinterpret_cast<HDC>(wParam));
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSTATIC: return reinterpret_cast<INT_PTR>(OnCtlColor(reinterpret_cast<HDC>(wParam), message));
    case WM_SIZE: OnSize(); return FALSE;
    case WM_PAINT: return OnPaint();
    case WM_TIMER: OnTimer(wParam); return FALSE;
    default: return FALSE;
  }
}

bool BackgroundDialog::TakeLoadedImage(HBITMAP loaded) {
  if (!loaded) return false;
  bitmap_ = loaded;
  GetObjectW(bitmap_, sizeof image_, &image_);
  imageWidth = image_.bmWidth;
  imageHeight = image_.bmHeight;
  screenWidth = GetSystemMetrics(SM_CXSCREEN);
  screenHeight = GetSystemMetrics(SM_CYSCREEN);
  return true;
}

bool BackgroundDialog::LoadBackgroundFromResource(WORD bitmapId) {
  if (bitmap_) {
    DeleteObject(bitmap_);
    bitmap_ = nullptr;
  }
  return TakeLoadedImage(LoadBitmapW(GetModuleHandleW(nullptr), MAKEINTRESOURCE(bitmapId)));
}

bool BackgroundDialog::LoadBackgroundFromFile(LPCWSTR path) {
  if (bitmap_) {
    DeleteObject(bitmap_);
    bitmap_ = nullptr;
  }
  return TakeLoadedImage(SHLoadDIBitmap(path));
}

void BackgroundDialog::SetDrawMode(int mode) {
  drawMode = (mode == kCentre || mode == kTile || mode == kStretch) ? mode : kCentre;
  if (hwnd_ && IsWindowVisible(hwnd_)) InvalidateRect(hwnd_, nullptr, TRUE);
}

BOOL BackgroundDialog::OnEraseBkgnd(HDC dc) {
  if (!bitmap_) return FALSE;
  GetClientRect(hwnd_, &clientRect_);
  int clientWidth = clientRect_.right - clientRect_.left;
  int clientHeight = clientRect_.bottom - clientRect_.top;

  HDC buffer = CreateCompatibleDC(dc);
  HBITMAP bufferBitmap = CreateCompatibleBitmap(dc, clientWidth, clientHeight);
  HGDIOBJ oldBufferBitmap = SelectObject(buffer, bufferBitmap);
  HDC image = CreateCompatibleDC(dc);
  HGDIOBJ oldImageBitmap = SelectObject(image, bitmap_);

  switch (drawMode) {
    case kTile:
      for (int y = 0; y < clientHeight; y += imageHeight)
        for (int x = 0; x < clientWidth; x += imageWidth)
          BitBlt(buffer, x, y, imageWidth, imageHeight, image, 0, 0, SRCCOPY);
      break;
    case kStretch:
      StretchBlt(buffer, 0, 0, clientWidth, clientHeight, image, 0, 0, imageWidth, imageHeight, SRCCOPY);
      break;
    default: {
      HBRUSH fill = CreateSolidBrush(backgroundColor);
      FillRect(buffer, &clientRect_, fill);
      DeleteObject(fill);
      BitBlt(buffer, (clientWidth - imageWidth) / 2, (clientHeight - imageHeight) / 2, imageWidth,
             imageHeight, image, 0, 0, SRCCOPY);
      break;
    }
  }
  BitBlt(dc, 0, 0, clientWidth, clientHeight, buffer, 0, 0, SRCCOPY);

  SelectObject(image, oldImageBitmap);
  DeleteDC(image);
  SelectObject(buffer, oldBufferBitmap);
  DeleteObject(bufferBitmap);
  DeleteDC(buffer);
  return TRUE;
}

HBRUSH BackgroundDialog::OnCtlColor(HDC dc, UINT) {
  if (!bitmap_) return nullptr;  // default handling
  SetBkMode(dc, TRANSPARENT);
  return hollowBrush_;
}

void BackgroundDialog::OnSize() {
  // The default handling has nothing to do for a dialog without controls.
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void BackgroundDialog::OnOK() { EndDialog(hwnd_, IDOK); }

void BackgroundDialog::CenterWindow(HWND over) {
  RECT self, area;
  GetWindowRect(hwnd_, &self);
  GetWindowRect(over, &area);
  int width = self.right - self.left, height = self.bottom - self.top;
  int x = area.left + ((area.right - area.left) - width) / 2;
  int y = area.top + ((area.bottom - area.top) - height) / 2;
  SetWindowPos(hwnd_, nullptr, x, y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
}

}  // namespace renovo
