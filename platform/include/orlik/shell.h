// Starting programs, the program's own command line.
#pragma once

#include <orlik/types.h>

#define SEE_MASK_NOCLOSEPROCESS 0x00000040u
#define SEE_MASK_FLAG_NO_UI 0x00000400u

#define SW_HIDE 0
#define SW_SHOWNORMAL 1
#define SW_SHOW 5

typedef struct _SHELLEXECUTEINFO {
  DWORD cbSize;
  ULONG fMask;
  HWND hwnd;
  LPCWSTR lpVerb;
  LPCWSTR lpFile;
  LPCWSTR lpParameters;
  LPCWSTR lpDirectory;
  int nShow;
  HINSTANCE hInstApp;
  LPVOID lpIDList;
  LPCWSTR lpClass;
  void* hkeyClass;
  DWORD dwHotKey;
  HANDLE hIcon;
  HANDLE hProcess;
} SHELLEXECUTEINFO, *LPSHELLEXECUTEINFO;

ORLIK_BEGIN_C

// Starts the program file at lpFile (a panel path) with the verb "open" (or
// none). The parameters reach the new program unchanged as its whole command
// line (GetCommandLineW there). The panel's file systems know no execute
// permission: any program file runs. The new process inherits the device root.
// Returns TRUE when the process was started; hInstApp is then greater than 32.
// The platform reaps the process; with SEE_MASK_NOCLOSEPROCESS, hProcess is a
// handle that WaitForSingleObject waits on until it ends.
ORLIK_API BOOL WINAPI ShellExecuteEx(LPSHELLEXECUTEINFO info);

// The command line the program was started with, without the program's own
// path: the parameters given to ShellExecuteEx, or, for a program started
// from a host shell, its arguments joined by spaces. Empty when there is none.
ORLIK_API LPWSTR WINAPI GetCommandLineW(void);

ORLIK_END_C
