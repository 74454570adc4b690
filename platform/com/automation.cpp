// BSTR and VARIANT. A BSTR points at its first unit; the 32-bit byte length
// sits just before it and a terminator just after the last unit.
#include <orlik/objbase.h>
#include <orlik/text.h>

#include <cstdlib>
#include <cstring>

namespace {

uint32_t* Prefix(BSTR text) { return reinterpret_cast<uint32_t*>(text) - 1; }

}  // namespace

ORLIK_API BSTR WINAPI SysAllocStringLen(const OLECHAR* text, UINT length) {
  if (length > (0x7FFFFFFFu - 8) / sizeof(OLECHAR)) return nullptr;
  size_t bytes = size_t{length} * sizeof(OLECHAR);
  auto* block = static_cast<uint32_t*>(std::malloc(sizeof(uint32_t) + bytes + sizeof(OLECHAR)));
  if (!block) return nullptr;
  block[0] = static_cast<uint32_t>(bytes);
  auto* units = reinterpret_cast<OLECHAR*>(block + 1);
  if (text)
    std::memcpy(units, text, bytes);
  else
    std::memset(units, 0, bytes);
  units[length] = 0;
  return units;
}

ORLIK_API BSTR WINAPI SysAllocString(const OLECHAR* text) {
  if (!text) return nullptr;
  return SysAllocStringLen(text, static_cast<UINT>(orlik_wcslen(text)));
}

ORLIK_API void WINAPI SysFreeString(BSTR text) {
  if (text) std::free(Prefix(text));
}

ORLIK_API UINT WINAPI SysStringByteLen(BSTR text) { return text ? *Prefix(text) : 0; }
ORLIK_API UINT WINAPI SysStringLen(BSTR text) {
  return SysStringByteLen(text) / static_cast<UINT>(sizeof(OLECHAR));
}

ORLIK_API void WINAPI VariantInit(VARIANTARG* variant) {
  if (!variant) return;
  std::memset(variant, 0, sizeof *variant);
  variant->vt = VT_EMPTY;
}

ORLIK_API HRESULT WINAPI VariantClear(VARIANTARG* variant) {
  if (!variant) return E_INVALIDARG;
  switch (variant->vt) {
    case VT_BSTR:
      SysFreeString(variant->bstrVal);
      break;
    case VT_UNKNOWN:
    case VT_DISPATCH:
      if (variant->punkVal) variant->punkVal->Release();
      break;
    default:
      break;
  }
  VariantInit(variant);
  return S_OK;
}

ORLIK_API HRESULT WINAPI VariantCopy(VARIANTARG* dst, const VARIANTARG* src) {
  if (!dst || !src) return E_INVALIDARG;
  if (dst == src) return S_OK;
  VARIANT copy = *src;
  if (src->vt == VT_BSTR && src->bstrVal) {
    copy.bstrVal = SysAllocStringLen(src->bstrVal, SysStringLen(src->bstrVal));
    if (!copy.bstrVal) return E_OUTOFMEMORY;
  } else if ((src->vt == VT_UNKNOWN || src->vt == VT_DISPATCH) && src->punkVal) {
    src->punkVal->AddRef();
  }
  VariantClear(dst);
  *dst = copy;
  return S_OK;
}
