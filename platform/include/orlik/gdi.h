// GDI: device contexts, pens, brushes, fonts, bitmaps, text and block
// transfers, drawn with Cairo on image surfaces.
#pragma once

#include <orlik/types.h>

typedef DWORD COLORREF;
#define RGB(r, g, b) ((COLORREF)(((BYTE)(r)) | ((WORD)((BYTE)(g)) << 8) | (((DWORD)(BYTE)(b)) << 16)))
#define GetRValue(c) ((BYTE)(c))
#define GetGValue(c) ((BYTE)(((WORD)(c)) >> 8))
#define GetBValue(c) ((BYTE)((c) >> 16))
#define CLR_INVALID 0xFFFFFFFFu

typedef HANDLE HGDIOBJ;
typedef struct HDC__* HDC;
typedef HGDIOBJ HBITMAP;
typedef HGDIOBJ HBRUSH;
typedef HGDIOBJ HPEN;
typedef HGDIOBJ HFONT;
typedef HGDIOBJ HRGN;

typedef struct tagRECT {
  LONG left;
  LONG top;
  LONG right;
  LONG bottom;
} RECT, *LPRECT;
typedef const RECT* LPCRECT;

typedef struct tagPOINT {
  LONG x;
  LONG y;
} POINT, *LPPOINT;

typedef struct tagSIZE {
  LONG cx;
  LONG cy;
} SIZE, *LPSIZE;

#define LF_FACESIZE 32
typedef struct tagLOGFONTW {
  LONG lfHeight;
  LONG lfWidth;
  LONG lfEscapement;
  LONG lfOrientation;
  LONG lfWeight;
  BYTE lfItalic;
  BYTE lfUnderline;
  BYTE lfStrikeOut;
  BYTE lfCharSet;
  BYTE lfOutPrecision;
  BYTE lfClipPrecision;
  BYTE lfQuality;
  BYTE lfPitchAndFamily;
  WCHAR lfFaceName[LF_FACESIZE];
} LOGFONTW, *LPLOGFONTW;

typedef struct tagBITMAP {
  LONG bmType;
  LONG bmWidth;
  LONG bmHeight;
  LONG bmWidthBytes;
  WORD bmPlanes;
  WORD bmBitsPixel;
  LPVOID bmBits;
} BITMAP, *LPBITMAP;

typedef struct tagBITMAPINFOHEADER {
  DWORD biSize;
  LONG biWidth;
  LONG biHeight;
  WORD biPlanes;
  WORD biBitCount;
  DWORD biCompression;
  DWORD biSizeImage;
  LONG biXPelsPerMeter;
  LONG biYPelsPerMeter;
  DWORD biClrUsed;
  DWORD biClrImportant;
} BITMAPINFOHEADER, *LPBITMAPINFOHEADER;

typedef struct tagRGBQUAD {
  BYTE rgbBlue;
  BYTE rgbGreen;
  BYTE rgbRed;
  BYTE rgbReserved;
} RGBQUAD;

typedef struct tagBITMAPINFO {
  BITMAPINFOHEADER bmiHeader;
  RGBQUAD bmiColors[1];
} BITMAPINFO, *LPBITMAPINFO;

typedef struct tagLOGPEN {
  UINT lopnStyle;
  POINT lopnWidth;
  COLORREF lopnColor;
} LOGPEN;

typedef struct tagLOGBRUSH {
  UINT lbStyle;
  COLORREF lbColor;
  ULONG_PTR lbHatch;
} LOGBRUSH;

#define BI_RGB 0u
#define BI_BITFIELDS 3u
#define DIB_RGB_COLORS 0u

// Stock objects.
#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define DKGRAY_BRUSH 3
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define HOLLOW_BRUSH NULL_BRUSH
#define WHITE_PEN 6
#define BLACK_PEN 7
#define NULL_PEN 8
#define SYSTEM_FONT 13

// Pen styles.
#define PS_SOLID 0
#define PS_DASH 1
#define PS_NULL 5

#define BS_SOLID 0
#define BS_NULL 1

// Background modes.
#define TRANSPARENT 1
#define OPAQUE 2

// Raster operations.
#define SRCCOPY 0x00CC0020u
#define BLACKNESS 0x00000042u
#define WHITENESS 0x00FF0062u
#define PATCOPY 0x00F00021u

// Font weights, character sets, qualities, pitch.
#define FW_DONTCARE 0
#define FW_THIN 100
#define FW_LIGHT 300
#define FW_NORMAL 400
#define FW_MEDIUM 500
#define FW_SEMIBOLD 600
#define FW_BOLD 700
#define FW_HEAVY 900
#define ANSI_CHARSET 0
#define DEFAULT_CHARSET 1
#define HANGEUL_CHARSET 129
#define OUT_DEFAULT_PRECIS 0
#define CLIP_DEFAULT_PRECIS 0
#define DEFAULT_QUALITY 0
#define DRAFT_QUALITY 1
#define PROOF_QUALITY 2
#define NONANTIALIASED_QUALITY 3
#define ANTIALIASED_QUALITY 4
#define CLEARTYPE_QUALITY 5
#define DEFAULT_PITCH 0
#define FIXED_PITCH 1
#define VARIABLE_PITCH 2
#define FF_DONTCARE 0

// DrawText formats.
#define DT_TOP 0x00000000u
#define DT_LEFT 0x00000000u
#define DT_CENTER 0x00000001u
#define DT_RIGHT 0x00000002u
#define DT_VCENTER 0x00000004u
#define DT_BOTTOM 0x00000008u
#define DT_WORDBREAK 0x00000010u
#define DT_SINGLELINE 0x00000020u
#define DT_EXPANDTABS 0x00000040u
#define DT_NOCLIP 0x00000100u
#define DT_CALCRECT 0x00000400u
#define DT_NOPREFIX 0x00000800u

// ExtTextOut options.
#define ETO_OPAQUE 0x0002u
#define ETO_CLIPPED 0x0004u

// GetDeviceCaps indices.
#define HORZSIZE 4
#define VERTSIZE 6
#define HORZRES 8
#define VERTRES 10
#define BITSPIXEL 12
#define PLANES 14
#define LOGPIXELSX 88
#define LOGPIXELSY 90
#define PHYSICALWIDTH 110
#define PHYSICALHEIGHT 111
#define PHYSICALOFFSETX 112
#define PHYSICALOFFSETY 113

// GetObjectType results.
#define OBJ_PEN 1
#define OBJ_BRUSH 2
#define OBJ_DC 3
#define OBJ_FONT 6
#define OBJ_BITMAP 7
#define OBJ_MEMDC 10

ORLIK_BEGIN_C

// Device contexts. GetDC(NULL) is the whole screen; GetDC of a window is its
// client area on the screen.
ORLIK_API HDC WINAPI GetDC(HWND window);
ORLIK_API int WINAPI ReleaseDC(HWND window, HDC dc);
ORLIK_API HDC WINAPI CreateCompatibleDC(HDC dc);
ORLIK_API BOOL WINAPI DeleteDC(HDC dc);
ORLIK_API int WINAPI GetDeviceCaps(HDC dc, int index);

// Objects. Deleting a stock object, or an object still selected, does nothing
// and succeeds, as on the panel.
ORLIK_API HGDIOBJ WINAPI SelectObject(HDC dc, HGDIOBJ object);
ORLIK_API BOOL WINAPI DeleteObject(HGDIOBJ object);
ORLIK_API HGDIOBJ WINAPI GetStockObject(int index);
ORLIK_API int WINAPI GetObjectW(HGDIOBJ object, int size, LPVOID buffer);
ORLIK_API DWORD WINAPI GetObjectType(HGDIOBJ object);
ORLIK_API HGDIOBJ WINAPI GetCurrentObject(HDC dc, UINT type);
ORLIK_API HPEN WINAPI CreatePen(int style, int width, COLORREF color);
ORLIK_API HBRUSH WINAPI CreateSolidBrush(COLORREF color);
ORLIK_API HBITMAP WINAPI CreateCompatibleBitmap(HDC dc, int width, int height);
ORLIK_API HBITMAP WINAPI CreateBitmap(int width, int height, UINT planes, UINT bitsPerPixel,
                                      const void* bits);
// 24 and 32-bit DIB sections; bits are laid out as the header says (bottom-up
// for a positive height), rows padded to 4 bytes.
ORLIK_API HBITMAP WINAPI CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits,
                                          HANDLE section, DWORD offset);
// Loads a bitmap file (BMP, PNG, JPEG, GIF) as a 24-bit DIB section.
ORLIK_API HBITMAP WINAPI SHLoadDIBitmap(LPCWSTR fileName);

// Drawing.
ORLIK_API int WINAPI FillRect(HDC dc, const RECT* rect, HBRUSH brush);
ORLIK_API COLORREF WINAPI SetPixel(HDC dc, int x, int y, COLORREF color);
ORLIK_API COLORREF WINAPI GetPixel(HDC dc, int x, int y);
ORLIK_API BOOL WINAPI BitBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX,
                             int srcY, DWORD rop);
ORLIK_API BOOL WINAPI StretchBlt(HDC dst, int x, int y, int width, int height, HDC src, int srcX,
                                 int srcY, int srcWidth, int srcHeight, DWORD rop);

// Text.
ORLIK_API HFONT WINAPI CreateFontIndirectW(const LOGFONTW* font);
ORLIK_API HFONT WINAPI CreateFontW(int height, int width, int escapement, int orientation,
                                   int weight, DWORD italic, DWORD underline, DWORD strikeOut,
                                   DWORD charSet, DWORD outPrecision, DWORD clipPrecision,
                                   DWORD quality, DWORD pitchAndFamily, LPCWSTR faceName);
ORLIK_API COLORREF WINAPI SetTextColor(HDC dc, COLORREF color);
ORLIK_API COLORREF WINAPI GetTextColor(HDC dc);
ORLIK_API COLORREF WINAPI SetBkColor(HDC dc, COLORREF color);
ORLIK_API COLORREF WINAPI GetBkColor(HDC dc);
ORLIK_API int WINAPI SetBkMode(HDC dc, int mode);
ORLIK_API int WINAPI GetBkMode(HDC dc);
ORLIK_API BOOL WINAPI TextOutW(HDC dc, int x, int y, LPCWSTR text, int count);
ORLIK_API BOOL WINAPI ExtTextOutW(HDC dc, int x, int y, UINT options, const RECT* rect,
                                  LPCWSTR text, UINT count, const int* dx);
// count -1 means a zero-terminated text. Returns the height of the text.
ORLIK_API int WINAPI DrawTextW(HDC dc, LPCWSTR text, int count, LPRECT rect, UINT format);
ORLIK_API BOOL WINAPI GetTextExtentPoint32W(HDC dc, LPCWSTR text, int count, LPSIZE size);
ORLIK_API BOOL WINAPI GetTextExtentExPointW(HDC dc, LPCWSTR text, int count, int maxExtent,
                                            LPINT fit, LPINT dx, LPSIZE size);

// Rectangles.
ORLIK_API BOOL WINAPI SetRect(LPRECT rect, int left, int top, int right, int bottom);
ORLIK_API BOOL WINAPI SetRectEmpty(LPRECT rect);
ORLIK_API BOOL WINAPI IsRectEmpty(const RECT* rect);
ORLIK_API BOOL WINAPI OffsetRect(LPRECT rect, int dx, int dy);
ORLIK_API BOOL WINAPI InflateRect(LPRECT rect, int dx, int dy);
ORLIK_API BOOL WINAPI IntersectRect(LPRECT out, const RECT* a, const RECT* b);

ORLIK_END_C

// --- Lines, shapes and gradients (platform/gdi/shapes.cpp) -----------------
// Shapes are outlined with the selected pen (centred on the shape's edge,
// right and bottom edges exclusive as on the panel) and filled with the
// selected brush; a line ends just before its end point.
typedef WORD COLOR16;
typedef struct _TRIVERTEX {
  LONG x;
  LONG y;
  COLOR16 Red;
  COLOR16 Green;
  COLOR16 Blue;
  COLOR16 Alpha;
} TRIVERTEX, *PTRIVERTEX;
typedef struct _GRADIENT_RECT {
  ULONG UpperLeft;
  ULONG LowerRight;
} GRADIENT_RECT, *PGRADIENT_RECT;
#define GRADIENT_FILL_RECT_H 0x00000000u
#define GRADIENT_FILL_RECT_V 0x00000001u

ORLIK_BEGIN_C
ORLIK_API BOOL WINAPI MoveToEx(HDC dc, int x, int y, LPPOINT previous);
ORLIK_API BOOL WINAPI LineTo(HDC dc, int x, int y);
ORLIK_API BOOL WINAPI Polyline(HDC dc, const POINT* points, int count);
ORLIK_API BOOL WINAPI Polygon(HDC dc, const POINT* points, int count);
ORLIK_API BOOL WINAPI Rectangle(HDC dc, int left, int top, int right, int bottom);
ORLIK_API BOOL WINAPI RoundRect(HDC dc, int left, int top, int right, int bottom, int cornerWidth,
                                int cornerHeight);
ORLIK_API BOOL WINAPI Ellipse(HDC dc, int left, int top, int right, int bottom);
// Rectangles shaded between the colours of their two corner vertices, left to
// right (GRADIENT_FILL_RECT_H) or top to bottom (GRADIENT_FILL_RECT_V).
ORLIK_API BOOL WINAPI GradientFill(HDC dc, PTRIVERTEX vertices, ULONG vertexCount, LPVOID mesh,
                                   ULONG meshCount, ULONG mode);
ORLIK_END_C

