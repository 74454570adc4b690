// OLE interfaces the media services use: IDispatch (the base of the
// automation interfaces such as IMediaControl), IPersist, and the property
// bag through which a capture filter is told which camera to open.
#pragma once

#include <orlik/objbase.h>

#ifdef __cplusplus

typedef LONG DISPID;
typedef DWORD LCID;
typedef WCHAR* LPOLESTR;

typedef struct tagDISPPARAMS {
  VARIANTARG* rgvarg;
  DISPID* rgdispidNamedArgs;
  UINT cArgs;
  UINT cNamedArgs;
} DISPPARAMS;

typedef struct tagEXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  LPVOID pvReserved;
  HRESULT(WINAPI* pfnDeferredFillIn)(struct tagEXCEPINFO*);
  HRESULT scode;
} EXCEPINFO;

// Type information is not offered by this platform's objects; the type is
// declared so the interface shapes are the published ones.
struct ITypeInfo;

ORLIK_DEFINE_GUID(IID_IDispatch, 0x00020400, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
ORLIK_DEFINE_GUID(IID_IPersist, 0x0000010C, 0x0000, 0x0000, 0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46);
ORLIK_DEFINE_GUID(IID_IPropertyBag, 0x55272A00, 0x42CB, 0x11CE, 0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51);
ORLIK_DEFINE_GUID(IID_IErrorLog, 0x3127CA40, 0x446E, 0x11CE, 0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51);
ORLIK_DEFINE_GUID(IID_IPersistPropertyBag, 0x37D84F60, 0x42CB, 0x11CE, 0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51);

struct IDispatch : IUnknown {
  virtual HRESULT WINAPI GetTypeInfoCount(UINT* count) = 0;
  virtual HRESULT WINAPI GetTypeInfo(UINT index, LCID locale, ITypeInfo** info) = 0;
  virtual HRESULT WINAPI GetIDsOfNames(REFIID iid, LPOLESTR* names, UINT count, LCID locale,
                                       DISPID* ids) = 0;
  virtual HRESULT WINAPI Invoke(DISPID member, REFIID iid, LCID locale, WORD flags,
                                DISPPARAMS* params, VARIANT* result, EXCEPINFO* exception,
                                UINT* argumentError) = 0;

 protected:
  ~IDispatch() = default;
};

struct IPersist : IUnknown {
  virtual HRESULT WINAPI GetClassID(CLSID* clsid) = 0;

 protected:
  ~IPersist() = default;
};

struct IErrorLog : IUnknown {
  virtual HRESULT WINAPI AddError(LPCOLESTR propertyName, EXCEPINFO* exception) = 0;

 protected:
  ~IErrorLog() = default;
};

struct IPropertyBag : IUnknown {
  virtual HRESULT WINAPI Read(LPCOLESTR propertyName, VARIANT* value, IErrorLog* errorLog) = 0;
  virtual HRESULT WINAPI Write(LPCOLESTR propertyName, VARIANT* value) = 0;

 protected:
  ~IPropertyBag() = default;
};

struct IPersistPropertyBag : IPersist {
  virtual HRESULT WINAPI InitNew() = 0;
  virtual HRESULT WINAPI Load(IPropertyBag* bag, IErrorLog* errorLog) = 0;
  virtual HRESULT WINAPI Save(IPropertyBag* bag, BOOL clearDirty, BOOL saveAllProperties) = 0;

 protected:
  ~IPersistPropertyBag() = default;
};

#endif
