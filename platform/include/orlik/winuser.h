// The window system: windows, per-thread message queues, timers, painting,
// modal dialogs from a template, icons and bitmap resources.
//
// Windows draw straight onto the board's screen through GDI: a window DC is
// the window's client area on the screen, and every finished repaint
// (EndPaint) presents the screen. There is no clipping between overlapping
// windows: the one painted last is on top, and a window's visible children
// paint again after it. Popup windows have no frame, so
// the client area is the whole window.
#pragma once

#include <orlik/gdi.h>
#include <orlik/module.h>
#include <orlik/types.h>
#include <orlik/user.h>

typedef HANDLE HICON;
typedef HANDLE HCURSOR;
typedef HANDLE HMENU;

typedef LRESULT(CALLBACK* WNDPROC)(HWND, UINT, WPARAM, LPARAM);
typedef INT_PTR(CALLBACK* DLGPROC)(HWND, UINT, WPARAM, LPARAM);
typedef void(CALLBACK* TIMERPROC)(HWND, UINT, UINT_PTR, DWORD);

typedef struct tagMSG {
  HWND hwnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
  DWORD time;
  POINT pt;
} MSG, *LPMSG;

typedef struct tagPAINTSTRUCT {
  HDC hdc;
  BOOL fErase;
  RECT rcPaint;
  BOOL fRestore;
  BOOL fIncUpdate;
  BYTE rgbReserved[32];
} PAINTSTRUCT, *LPPAINTSTRUCT;

typedef struct tagWNDCLASSW {
  UINT style;
  WNDPROC lpfnWndProc;
  int cbClsExtra;
  int cbWndExtra;
  HINSTANCE hInstance;
  HICON hIcon;
  HCURSOR hCursor;
  HBRUSH hbrBackground;
  LPCWSTR lpszMenuName;
  LPCWSTR lpszClassName;
} WNDCLASSW;

// Dialog template header, followed in memory by the menu, class and title
// texts (each 0x0000 for none, or a zero-terminated text) and, with
// DS_SETFONT, the point size (WORD) and the face name.
#pragma pack(push, 2)
typedef struct DLGTEMPLATE {
  DWORD style;
  DWORD dwExtendedStyle;
  WORD cdit;
  short x;
  short y;
  short cx;
  short cy;
} DLGTEMPLATE, *LPDLGTEMPLATE;
#pragma pack(pop)
typedef const DLGTEMPLATE* LPCDLGTEMPLATE;

#define WM_NULL 0x0000u
#define WM_CREATE 0x0001u
#define WM_DESTROY 0x0002u
#define WM_MOVE 0x0003u
#define WM_SIZE 0x0005u
#define WM_ACTIVATE 0x0006u
#define WM_SETFOCUS 0x0007u
#define WM_PAINT 0x000Fu
#define WM_CLOSE 0x0010u
#define WM_QUIT 0x0012u
#define WM_ERASEBKGND 0x0014u
#define WM_SHOWWINDOW 0x0018u
#define WM_SETFONT 0x0030u
#define WM_GETICON 0x007Fu
#define WM_SETICON 0x0080u
#define WM_KEYDOWN 0x0100u
#define WM_KEYUP 0x0101u
#define WM_CHAR 0x0102u
#define WM_INITDIALOG 0x0110u
#define WM_COMMAND 0x0111u
#define WM_TIMER 0x0113u
#define WM_CTLCOLORMSGBOX 0x0132u
#define WM_CTLCOLOREDIT 0x0133u
#define WM_CTLCOLORLISTBOX 0x0134u
#define WM_CTLCOLORBTN 0x0135u
#define WM_CTLCOLORDLG 0x0136u
#define WM_CTLCOLORSCROLLBAR 0x0137u
#define WM_CTLCOLORSTATIC 0x0138u
#define WM_MOUSEMOVE 0x0200u
#define WM_LBUTTONDOWN 0x0201u
#define WM_LBUTTONUP 0x0202u
#define WM_USER 0x0400u
#define WM_APP 0x8000u

#define MK_LBUTTON 0x0001u

#define ICON_SMALL 0
#define ICON_BIG 1

#define SIZE_RESTORED 0

#define SM_CXSCREEN 0
#define SM_CYSCREEN 1

#define WS_OVERLAPPED 0x00000000u
#define WS_POPUP 0x80000000u
#define WS_CHILD 0x40000000u
#define WS_VISIBLE 0x10000000u
#define WS_CLIPSIBLINGS 0x04000000u
#define WS_CLIPCHILDREN 0x02000000u
#define WS_DISABLED 0x08000000u
#define WS_CAPTION 0x00C00000u
#define WS_BORDER 0x00800000u
#define WS_SYSMENU 0x00080000u
#define WS_EX_TOPMOST 0x00000008u
#define DS_SETFONT 0x00000040u
#define DS_MODALFRAME 0x00000080u
#define DS_CENTER 0x00000800u

#define HWND_TOP ((HWND)0)
#define HWND_BOTTOM ((HWND)1)
#define HWND_TOPMOST ((HWND)(intptr_t)-1)
#define HWND_NOTOPMOST ((HWND)(intptr_t)-2)

#define SWP_NOSIZE 0x0001u
#define SWP_NOMOVE 0x0002u
#define SWP_NOZORDER 0x0004u
#define SWP_NOREDRAW 0x0008u
#define SWP_NOACTIVATE 0x0010u
#define SWP_FRAMECHANGED 0x0020u
#define SWP_SHOWWINDOW 0x0040u
#define SWP_HIDEWINDOW 0x0080u

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOW 5

#define PM_NOREMOVE 0x0000u
#define PM_REMOVE 0x0001u

#define GWL_STYLE (-16)
#define GWL_EXSTYLE (-20)
#define GWL_USERDATA (-21)
#define DWL_MSGRESULT 0
#define DWL_USER 8

#define CW_USEDEFAULT ((int)0x80000000)

#define COLOR_BTNFACE 15
#define COLOR_WINDOW 5

#define MAKELPARAM(l, h) ((LPARAM)(DWORD)(((WORD)(l)) | (((DWORD)(WORD)(h)) << 16)))
#define LOWORD(l) ((WORD)(((DWORD_PTR)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((DWORD_PTR)(l)) >> 16) & 0xffff))
/* A mouse message's point, signed: a captured window may get points left of or above it. */
#define GET_X_LPARAM(lp) ((int)(short)LOWORD(lp))
#define GET_Y_LPARAM(lp) ((int)(short)HIWORD(lp))
typedef ULONG_PTR DWORD_PTR;

ORLIK_BEGIN_C

// Classes and windows.
ORLIK_API WORD WINAPI RegisterClassW(const WNDCLASSW* windowClass);
ORLIK_API HWND WINAPI CreateWindowExW(DWORD exStyle, LPCWSTR className, LPCWSTR windowName,
                                      DWORD style, int x, int y, int width, int height, HWND parent,
                                      HMENU menu, HINSTANCE instance, LPVOID param);
ORLIK_API BOOL WINAPI DestroyWindow(HWND window);
ORLIK_API BOOL WINAPI IsWindow(HWND window);
ORLIK_API BOOL WINAPI ShowWindow(HWND window, int show);
ORLIK_API BOOL WINAPI IsWindowVisible(HWND window);
ORLIK_API HWND WINAPI GetParent(HWND window);
ORLIK_API BOOL WINAPI MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint);
// Sends WM_MOVE and WM_SIZE when the position or size change. Without
// SWP_NOZORDER, insertAfter places the window: HWND_TOP on top, HWND_BOTTOM
// below the rest, HWND_TOPMOST on top and topmost (kept in WS_EX_TOPMOST,
// above every window that is not), HWND_NOTOPMOST on top of those that are
// not, or just below the window given. Windows clip each other: a window
// draws only where no window above it covers it, and what a change uncovers
// is painted again.
ORLIK_API BOOL WINAPI SetWindowPos(HWND window, HWND insertAfter, int x, int y, int width,
                                   int height, UINT flags);
ORLIK_API BOOL WINAPI GetWindowRect(HWND window, LPRECT rect);
ORLIK_API BOOL WINAPI GetClientRect(HWND window, LPRECT rect);
// The screen: a window as large as the board's display.
ORLIK_API HWND WINAPI GetDesktopWindow(void);
ORLIK_API int WINAPI GetSystemMetrics(int index);
ORLIK_API LONG WINAPI GetWindowLongW(HWND window, int index);
ORLIK_API LONG WINAPI SetWindowLongW(HWND window, int index, LONG value);
ORLIK_API LONG_PTR WINAPI GetWindowLongPtrW(HWND window, int index);
ORLIK_API LONG_PTR WINAPI SetWindowLongPtrW(HWND window, int index, LONG_PTR value);
ORLIK_API HBRUSH WINAPI GetSysColorBrush(int index);
ORLIK_API DWORD WINAPI GetSysColor(int index);

// Messages. Each thread has its own queue; a window's messages go to the
// queue of the thread that created it. PeekMessageW and GetMessageW return
// posted messages first, then WM_PAINT for a window that needs painting,
// then WM_TIMER for a timer that is due.
ORLIK_API BOOL WINAPI PeekMessageW(LPMSG msg, HWND window, UINT first, UINT last, UINT remove);
ORLIK_API BOOL WINAPI GetMessageW(LPMSG msg, HWND window, UINT first, UINT last);
ORLIK_API BOOL WINAPI TranslateMessage(const MSG* msg);
ORLIK_API LRESULT WINAPI DispatchMessageW(const MSG* msg);
ORLIK_API BOOL WINAPI PostMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Calls the window procedure on the caller's thread.
ORLIK_API LRESULT WINAPI SendMessageW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
ORLIK_API void WINAPI PostQuitMessage(int exitCode);
ORLIK_API LRESULT WINAPI DefWindowProcW(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Timers: one per window and identifier; a second SetTimer with the same
// identifier restarts it. An elapse of 0 is due at once; a timer repeats at
// most every 10 ms.
ORLIK_API UINT_PTR WINAPI SetTimer(HWND window, UINT_PTR id, UINT elapse, TIMERPROC proc);
ORLIK_API BOOL WINAPI KillTimer(HWND window, UINT_PTR id);

// Painting. A null rectangle means the whole client area.
ORLIK_API BOOL WINAPI InvalidateRect(HWND window, const RECT* rect, BOOL erase);
ORLIK_API BOOL WINAPI ValidateRect(HWND window, const RECT* rect);
ORLIK_API BOOL WINAPI UpdateWindow(HWND window);
// Sends WM_ERASEBKGND first when the invalidation asked for an erase.
ORLIK_API HDC WINAPI BeginPaint(HWND window, LPPAINTSTRUCT paint);
// Releases the DC and presents the screen.
ORLIK_API BOOL WINAPI EndPaint(HWND window, const PAINTSTRUCT* paint);

// Touch input, as the mouse: the window under the point gets WM_LBUTTONDOWN
// (wParam MK_LBUTTON) and WM_LBUTTONUP, lParam the point in its client
// coordinates; the window the finger went down on gets the lift as well.
// Disabled child windows let a touch through to what lies below them. A
// window given SetCapture gets every touch until ReleaseCapture.
ORLIK_API HWND WINAPI SetCapture(HWND window);
ORLIK_API BOOL WINAPI ReleaseCapture(void);
ORLIK_API HWND WINAPI GetCapture(void);
// The deepest shown window of this process under a point of the screen.
ORLIK_API HWND WINAPI WindowFromPoint(POINT point);
ORLIK_API BOOL WINAPI EnableWindow(HWND window, BOOL enable);
ORLIK_API BOOL WINAPI IsWindowEnabled(HWND window);

// Modal dialogs. The template comes from the module's RT_DIALOG resource;
// the dialog runs its own message loop until EndDialog. Its size is taken
// from the template in dialog units (4 x 8 units = one average character of
// the dialog font); DS_CENTER centres it on the screen. Controls of the
// template are not created.
ORLIK_API INT_PTR WINAPI DialogBoxParamW(HINSTANCE instance, LPCWSTR templateName, HWND parent,
                                         DLGPROC dialogProc, LPARAM initParam);
ORLIK_API INT_PTR WINAPI DialogBoxIndirectParamW(HINSTANCE instance, LPCDLGTEMPLATE dialogTemplate,
                                                 HWND parent, DLGPROC dialogProc,
                                                 LPARAM initParam);
ORLIK_API BOOL WINAPI EndDialog(HWND dialog, INT_PTR result);
ORLIK_API LRESULT WINAPI DefDlgProcW(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Resources of a module: RT_BITMAP (a device-independent bitmap: header and
// bits) and RT_ICON (a bitmap file).
ORLIK_API HBITMAP WINAPI LoadBitmapW(HINSTANCE instance, LPCWSTR name);
ORLIK_API HICON WINAPI LoadIconW(HINSTANCE instance, LPCWSTR name);
ORLIK_API BOOL WINAPI DestroyIcon(HICON icon);

ORLIK_END_C

#define LoadIcon LoadIconW
#define LoadBitmap LoadBitmapW
