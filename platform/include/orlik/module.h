// Modules (the program and its libraries) and the resources they carry.
//
// A module handle is the address where the module is loaded. Panel module
// names map to the shared objects of this system: "Renokit.DLL" is
// libRenokit.so, "Renovo.exe" the program Renovo; a library such as
// "REBOOT.DLL" is a shared object stored under the device root (in "\Windows"
// unless a path is given).
#pragma once

#include <orlik/types.h>

typedef void* HRSRC;
typedef void* HGLOBAL;
typedef INT_PTR(WINAPI* FARPROC)(void);

#define MAKEINTRESOURCE(i) ((LPCWSTR)(ULONG_PTR)(WORD)(i))
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)
#define RT_BITMAP MAKEINTRESOURCE(2)
#define RT_ICON MAKEINTRESOURCE(3)
#define RT_DIALOG MAKEINTRESOURCE(5)
#define RT_RCDATA MAKEINTRESOURCE(10)
#define RT_GROUP_ICON MAKEINTRESOURCE(14)

// One resource carried by a module: type and name are texts or
// MAKEINTRESOURCE numbers.
typedef struct ORLIK_RESOURCE {
  LPCWSTR type;
  LPCWSTR name;
  const void* data;
  DWORD size;
} ORLIK_RESOURCE;

ORLIK_BEGIN_C

ORLIK_API HMODULE WINAPI LoadLibraryW(LPCWSTR fileName);
ORLIK_API BOOL WINAPI FreeLibrary(HMODULE module);
ORLIK_API FARPROC WINAPI GetProcAddressW(HMODULE module, LPCWSTR procName);
// A module of this process by its panel name; null gives the program.
ORLIK_API HMODULE WINAPI GetModuleHandleW(LPCWSTR moduleName);
// The module's panel path: "\Windows\<panel name>".
ORLIK_API DWORD WINAPI GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size);

// Resources. Names and types compare ignoring ASCII case. LoadResource gives
// the resource's bytes, which stay valid while the module is loaded.
ORLIK_API HRSRC WINAPI FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type);
ORLIK_API HGLOBAL WINAPI LoadResource(HMODULE module, HRSRC resource);
ORLIK_API LPVOID WINAPI LockResource(HGLOBAL data);
ORLIK_API DWORD WINAPI SizeofResource(HMODULE module, HRSRC resource);

// Called by the module's generated resource table when the module is loaded
// and unloaded. anchor is any address inside the module; the table must
// outlive the registration.
ORLIK_API void orlik_register_resources(const void* anchor, const ORLIK_RESOURCE* table,
                                        size_t count);
ORLIK_API void orlik_unregister_resources(const void* anchor);

ORLIK_END_C
