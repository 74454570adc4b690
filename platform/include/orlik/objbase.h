// COM: GUIDs, HRESULTs, IUnknown, apartments, object creation, task memory,
// and the OLE Automation basics (BSTR, VARIANT).
//
// Interfaces are C++ classes whose first three virtual functions are
// QueryInterface, AddRef and Release, as on the panel. Their destructors are
// protected: an object goes away through Release only.
#pragma once

#include <orlik/types.h>

// --- HRESULT ---------------------------------------------------------------
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)
#define S_OK ((HRESULT)0)
#define S_FALSE ((HRESULT)1)
#define E_NOTIMPL ((HRESULT)0x80004001L)
#define E_NOINTERFACE ((HRESULT)0x80004002L)
#define E_POINTER ((HRESULT)0x80004003L)
#define E_ABORT ((HRESULT)0x80004004L)
#define E_FAIL ((HRESULT)0x80004005L)
#define E_UNEXPECTED ((HRESULT)0x8000FFFFL)
#define E_ACCESSDENIED ((HRESULT)0x80070005L)
#define E_OUTOFMEMORY ((HRESULT)0x8007000EL)
#define E_INVALIDARG ((HRESULT)0x80070057L)
#define CLASS_E_NOAGGREGATION ((HRESULT)0x80040110L)
#define CLASS_E_CLASSNOTAVAILABLE ((HRESULT)0x80040111L)
#define REGDB_E_CLASSNOTREG ((HRESULT)0x80040154L)
#define CO_E_NOTINITIALIZED ((HRESULT)0x800401F0L)
#define RPC_E_CHANGED_MODE ((HRESULT)0x80010106L)
#define DISP_E_TYPEMISMATCH ((HRESULT)0x80020005L)
#define HRESULT_FROM_WIN32(x) \
  ((HRESULT)(x) <= 0 ? (HRESULT)(x) : (HRESULT)(((x) & 0x0000FFFFu) | 0x80070000u))

// --- GUID ------------------------------------------------------------------
typedef struct _GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
} GUID;
typedef GUID IID;
typedef GUID CLSID;

#ifdef __cplusplus
typedef const GUID& REFGUID;
typedef const IID& REFIID;
typedef const CLSID& REFCLSID;
inline bool IsEqualGUID(REFGUID a, REFGUID b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}
inline bool operator==(REFGUID a, REFGUID b) { return IsEqualGUID(a, b); }
#define IsEqualIID(a, b) IsEqualGUID(a, b)
#define IsEqualCLSID(a, b) IsEqualGUID(a, b)
// A named GUID constant, usable in any translation unit without a definition
// elsewhere.
#define ORLIK_DEFINE_GUID(name, l, w1, w2, b1, b2, b3, b4, b5, b6, b7, b8) \
  inline constexpr GUID name = {l, w1, w2, {b1, b2, b3, b4, b5, b6, b7, b8}}
#endif

// --- apartments and creation -----------------------------------------------
#define COINIT_MULTITHREADED 0x0u
#define COINIT_APARTMENTTHREADED 0x2u
#define CLSCTX_INPROC_SERVER 0x1u
#define CLSCTX_INPROC_HANDLER 0x2u
#define CLSCTX_LOCAL_SERVER 0x4u
#define CLSCTX_REMOTE_SERVER 0x10u
#define CLSCTX_INPROC (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER)
#define CLSCTX_ALL (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER | CLSCTX_REMOTE_SERVER)

// --- OLE Automation --------------------------------------------------------
typedef WCHAR OLECHAR;
typedef OLECHAR* BSTR;
typedef const OLECHAR* LPCOLESTR;
typedef short VARIANT_BOOL;
#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)
typedef uint16_t VARTYPE;
enum VARENUM {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_R4 = 4,
  VT_R8 = 5,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_UNKNOWN = 13,
  VT_UI1 = 17,
  VT_UI4 = 19,
  VT_I8 = 20,
  VT_UI8 = 21,
  VT_INT = 22,
  VT_UINT = 23,
};

#ifdef __cplusplus
struct IUnknown {
  virtual HRESULT WINAPI QueryInterface(REFIID iid, void** object) = 0;
  virtual ULONG WINAPI AddRef() = 0;
  virtual ULONG WINAPI Release() = 0;

 protected:
  ~IUnknown() = default;
};
typedef IUnknown* LPUNKNOWN;
ORLIK_DEFINE_GUID(IID_IUnknown, 0x00000000, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
ORLIK_DEFINE_GUID(IID_IClassFactory, 0x00000001, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
ORLIK_DEFINE_GUID(GUID_NULL, 0x00000000, 0x0000, 0x0000, 0, 0, 0, 0, 0, 0, 0, 0);

struct IClassFactory : IUnknown {
  virtual HRESULT WINAPI CreateInstance(IUnknown* outer, REFIID iid, void** object) = 0;
  virtual HRESULT WINAPI LockServer(BOOL lock) = 0;

 protected:
  ~IClassFactory() = default;
};

typedef struct tagVARIANT {
  VARTYPE vt;
  WORD wReserved1, wReserved2, wReserved3;
  union {
    LONGLONG llVal;
    LONG lVal;
    BYTE bVal;
    short iVal;
    float fltVal;
    double dblVal;
    VARIANT_BOOL boolVal;
    HRESULT scode;
    BSTR bstrVal;
    IUnknown* punkVal;
    ULONG ulVal;
    ULONGLONG ullVal;
    INT intVal;
    UINT uintVal;
  };
} VARIANT, VARIANTARG;

ORLIK_BEGIN_C

// Enters COM on the calling thread. The first call of a thread returns S_OK,
// later ones S_FALSE (each must be matched by CoUninitialize); asking for the
// other threading model than the thread already has returns RPC_E_CHANGED_MODE.
ORLIK_API HRESULT WINAPI CoInitializeEx(LPVOID reserved, DWORD coInit);
ORLIK_API HRESULT WINAPI CoInitialize(LPVOID reserved);
ORLIK_API void WINAPI CoUninitialize(void);

// Creates an object of a registered class. The calling thread must have
// entered COM, or some thread of the process must be in the multithreaded
// apartment (the implicit one); otherwise CO_E_NOTINITIALIZED.
ORLIK_API HRESULT WINAPI CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context,
                                          REFIID iid, LPVOID* object);
ORLIK_API HRESULT WINAPI CoGetClassObject(REFCLSID clsid, DWORD context, LPVOID reserved,
                                          REFIID iid, LPVOID* object);

ORLIK_API LPVOID WINAPI CoTaskMemAlloc(SIZE_T size);
ORLIK_API LPVOID WINAPI CoTaskMemRealloc(LPVOID block, SIZE_T size);
ORLIK_API void WINAPI CoTaskMemFree(LPVOID block);

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}": StringFromGUID2 returns the units
// written with the terminator (39), or 0 when capacity is too small.
ORLIK_API int WINAPI StringFromGUID2(REFGUID guid, LPWSTR text, int capacity);
ORLIK_API HRESULT WINAPI CLSIDFromString(LPCOLESTR text, CLSID* clsid);

ORLIK_API BSTR WINAPI SysAllocString(const OLECHAR* text);
ORLIK_API BSTR WINAPI SysAllocStringLen(const OLECHAR* text, UINT length);
ORLIK_API void WINAPI SysFreeString(BSTR text);
ORLIK_API UINT WINAPI SysStringLen(BSTR text);
ORLIK_API UINT WINAPI SysStringByteLen(BSTR text);

ORLIK_API void WINAPI VariantInit(VARIANTARG* variant);
ORLIK_API HRESULT WINAPI VariantClear(VARIANTARG* variant);
ORLIK_API HRESULT WINAPI VariantCopy(VARIANTARG* dst, const VARIANTARG* src);

ORLIK_END_C
#endif
