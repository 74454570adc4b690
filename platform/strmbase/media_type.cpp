#include "strmbase.h"

#include <cstring>

HRESULT CopyMediaType(AM_MEDIA_TYPE* dst, const AM_MEDIA_TYPE* src) {
  if (!dst || !src) return E_POINTER;
  *dst = *src;
  if (src->cbFormat && src->pbFormat) {
    dst->pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(src->cbFormat));
    if (!dst->pbFormat) {
      dst->cbFormat = 0;
      dst->pUnk = nullptr;
      return E_OUTOFMEMORY;
    }
    std::memcpy(dst->pbFormat, src->pbFormat, src->cbFormat);
  } else {
    dst->pbFormat = nullptr;
    dst->cbFormat = 0;
  }
  if (dst->pUnk) dst->pUnk->AddRef();
  return S_OK;
}

void FreeMediaType(AM_MEDIA_TYPE& type) {
  if (type.pbFormat) CoTaskMemFree(type.pbFormat);
  type.pbFormat = nullptr;
  type.cbFormat = 0;
  if (type.pUnk) type.pUnk->Release();
  type.pUnk = nullptr;
}

void DeleteMediaType(AM_MEDIA_TYPE* type) {
  if (!type) return;
  FreeMediaType(*type);
  CoTaskMemFree(type);
}

AM_MEDIA_TYPE* CreateMediaType(const AM_MEDIA_TYPE* src) {
  auto* type = static_cast<AM_MEDIA_TYPE*>(CoTaskMemAlloc(sizeof(AM_MEDIA_TYPE)));
  if (!type) return nullptr;
  if (!src || FAILED(CopyMediaType(type, src))) {
    CoTaskMemFree(type);
    return nullptr;
  }
  return type;
}

namespace orlik::strmbase {

bool IsPartialMediaType(const AM_MEDIA_TYPE& type) {
  return type.majortype == GUID_NULL || type.subtype == GUID_NULL || type.formattype == GUID_NULL;
}

bool MediaTypeMatchesPartial(const AM_MEDIA_TYPE& full, const AM_MEDIA_TYPE& partial) {
  if (partial.majortype != GUID_NULL && partial.majortype != full.majortype) return false;
  if (partial.subtype != GUID_NULL && partial.subtype != full.subtype) return false;
  if (partial.formattype != GUID_NULL) {
    if (partial.formattype != full.formattype) return false;
    if (partial.cbFormat) {
      if (partial.cbFormat != full.cbFormat || !partial.pbFormat || !full.pbFormat) return false;
      if (std::memcmp(partial.pbFormat, full.pbFormat, full.cbFormat) != 0) return false;
    }
  }
  return true;
}

void MediaType::Clear() { std::memset(&type_, 0, sizeof type_); }

BYTE* MediaType::AllocFormat(ULONG size) {
  if (type_.pbFormat) CoTaskMemFree(type_.pbFormat);
  type_.pbFormat = static_cast<BYTE*>(CoTaskMemAlloc(size));
  type_.cbFormat = type_.pbFormat ? size : 0;
  if (type_.pbFormat) std::memset(type_.pbFormat, 0, size);
  return type_.pbFormat;
}

}  // namespace orlik::strmbase
