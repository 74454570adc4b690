// IDispatch on the platform's objects. Automation interfaces (IMediaControl,
// IBasicAudio, IVideoWindow ...) derive from IDispatch, but the platform has
// no type libraries: callers use the interfaces' own methods.
#pragma once

#include <orlik/ocidl.h>

namespace orlik::com {

// Interface with its IDispatch part answered: no type information, every
// IDispatch method E_NOTIMPL (out-parameters cleared where given).
template <class Interface>
class NoTypeInfo : public Interface {
 public:
  HRESULT WINAPI GetTypeInfoCount(UINT* count) override {
    if (count) *count = 0;
    return E_NOTIMPL;
  }
  HRESULT WINAPI GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
    if (info) *info = nullptr;
    return E_NOTIMPL;
  }
  HRESULT WINAPI GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  HRESULT WINAPI Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

 protected:
  ~NoTypeInfo() = default;
};

}  // namespace orlik::com
