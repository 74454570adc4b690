// A modal dialog that paints a bitmap as its background (centred, tiled or
// stretched) through an off-screen buffer, and lets text drawn on it show the
// bitmap through.
#pragma once

#include <orlik/windows.h>

namespace renovo {

class BackgroundDialog {
 public:
  enum DrawMode { kCentre = 0, kTile = 1, kStretch = 2 };

  explicit BackgroundDialog(UINT templateId);
  virtual ~BackgroundDialog();
  BackgroundDialog(const BackgroundDialog&) = delete;
  BackgroundDialog& operator=(const BackgroundDialog&) = delete;

  // Runs the dialog until it ends; returns what EndDialog was given.
  INT_PTR DoModal();

  bool LoadBackgroundFromResource(WORD bitmapId);
  bool LoadBackgroundFromFile(LPCWSTR path);
  // Values other than centre, tile and stretch select centre.
  void SetDrawMode(int mode);

  HWND window() const { return hwnd_; }
  bool hasImage() const { return bitmap_ != nullptr; }

 protected:
  // Each handler returns FALSE to leave the message to the default handling.
  virtual INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
  virtual BOOL OnInitDialog() { return TRUE; }
  virtual void OnTimer(UINT_PTR) {}
  virtual BOOL OnPaint() { return FALSE; }
  BOOL OnEraseBkgnd(HDC dc);
  HBRUSH OnCtlColor(HDC dc, UINT message);
  void OnSize();
  // The OK action: end the modal run with IDOK.
  void OnOK();
  void CenterWindow(HWND over);

  HWND hwnd_ = nullptr;
  int drawMode = kCentre;
  HBITMAP bitmap_ = nullptr;
  HBRUSH hollowBrush_;
  COLORREF backgroundColor = RGB(0, 0, 0);
  BITMAP image_{};
  RECT clientRect_{};
  int screenWidth = 0, screenHeight = 0;
  int imageWidth = 0, imageHeight = 0;

 private:
  bool TakeLoadedImage(HBITMAP loaded);
  static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  UINT templateId_;
};

}  // namespace renovo
