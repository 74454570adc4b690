// Printing: printer device contexts from a printer driver ("pcl.dll", the
// panel's PCL inkjet driver) on a port ("LPT1"), and the job and page calls.
#pragma once

#include <orlik/gdi.h>

#define CCHDEVICENAME 32
#define CCHFORMNAME 32

// Printer settings. Fields are read whether or not dmFields flags them.
typedef struct _devicemodeW {
  WCHAR dmDeviceName[CCHDEVICENAME];
  WORD dmSpecVersion;
  WORD dmDriverVersion;
  WORD dmSize;
  WORD dmDriverExtra;
  DWORD dmFields;
  short dmOrientation;
  short dmPaperSize;
  short dmPaperLength;
  short dmPaperWidth;
  short dmScale;
  short dmCopies;
  short dmDefaultSource;
  short dmPrintQuality;
  short dmColor;
  short dmDuplex;
  short dmYResolution;
  short dmTTOption;
  short dmCollate;
  WCHAR dmFormName[CCHFORMNAME];
  WORD dmLogPixels;
  DWORD dmBitsPerPel;
  DWORD dmPelsWidth;
  DWORD dmPelsHeight;
  DWORD dmDisplayFlags;
  DWORD dmDisplayFrequency;
  DWORD dmDisplayOrientation;
} DEVMODEW, *LPDEVMODEW;

#define DMORIENT_PORTRAIT 1
#define DMORIENT_LANDSCAPE 2
#define DMPAPER_LETTER 1
#define DMPAPER_LEGAL 5
#define DMPAPER_A4 9
#define DMPAPER_B5 13
#define DMRES_DRAFT (-1)
#define DMRES_LOW (-2)
#define DMRES_MEDIUM (-3)
#define DMRES_HIGH (-4)
#define DMCOLOR_MONOCHROME 1
#define DMCOLOR_COLOR 2

typedef struct _DOCINFOW {
  int cbSize;
  LPCWSTR lpszDocName;
  LPCWSTR lpszOutput;  // a file to print to instead of the port, or null
  LPCWSTR lpszDatatype;
  DWORD fwType;
} DOCINFOW, *LPDOCINFOW;

#define SP_ERROR (-1)

ORLIK_BEGIN_C

// A printer DC for driver "pcl.dll" on port "LPT1" (the only ones there are).
// Its page follows the settings: paper (A4, B5, Letter, Legal; others A4),
// orientation, colour or black, and high quality (DMRES_HIGH or 300 dpi and
// more) at 300 dpi or draft at 150 dpi. Page sizes in high quality: A4
// 2330 x 3283, B5 2000 x 2812, Letter 2400 x 3076, Legal 2400 x 3977 pixels
// (portrait); draft halves them. Null settings: A4, portrait, colour, draft.
// Delete it with DeleteDC (or ReleaseDC); a document still open is discarded.
ORLIK_API HDC WINAPI CreateDCW(LPCWSTR driver, LPCWSTR device, LPCWSTR port,
                               const DEVMODEW* settings);

// Starts a document; returns a job number > 0, or SP_ERROR (also when a
// document is already open: that one stays open).
ORLIK_API int WINAPI StartDocW(HDC dc, const DOCINFOW* info);
// Starts a page on a white sheet; > 0 on success. A page still open is
// finished and printed first, not lost.
ORLIK_API int WINAPI StartPage(HDC dc);
// Finishes the page: the driver renders it to PCL raster for the job.
ORLIK_API int WINAPI EndPage(HDC dc);
// Finishes the document (and a page still open) and sends the job to the
// port; > 0 when the port took the whole job, SP_ERROR otherwise.
ORLIK_API int WINAPI EndDoc(HDC dc);
// Drops the document and its pages; nothing is sent.
ORLIK_API int WINAPI AbortDoc(HDC dc);

ORLIK_END_C
