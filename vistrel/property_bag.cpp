#include "property_bag.h"

#include <orlik/text.h>

#include <new>

namespace vistrel {

PropertyBag::~PropertyBag() {
  while (head_) {
    Entry* entry = head_;
    head_ = entry->next;
    VariantClear(&entry->value);
    SysFreeString(entry->name);
    delete entry;
  }
}

HRESULT PropertyBag::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (iid == IID_IPropertyBag) {
    AddRef();
    *object = static_cast<IPropertyBag*>(this);
    return S_OK;
  }
  *object = nullptr;
  return E_NOINTERFACE;
}

ULONG PropertyBag::AddRef() { return ++refs_; }

ULONG PropertyBag::Release() {
  ULONG left = --refs_;
  if (left == 0) delete this;
  return left;
}

HRESULT PropertyBag::Read(LPCOLESTR name, VARIANT* value, IErrorLog*) {
  if (!name || !value) return E_POINTER;
  for (Entry* entry = head_; entry; entry = entry->next) {
    if (orlik::View(entry->name) == orlik::View(name)) return VariantCopy(value, &entry->value);
  }
  return S_OK;
}

HRESULT PropertyBag::Write(LPCOLESTR name, VARIANT* value) {
  if (!name || !value) return E_POINTER;
  auto* entry = new (std::nothrow) Entry{nullptr, {}, head_};
  if (!entry) return E_OUTOFMEMORY;
  VariantInit(&entry->value);
  entry->name = SysAllocString(name);
  HRESULT hr = entry->name ? VariantCopy(&entry->value, value) : E_OUTOFMEMORY;
  if (FAILED(hr)) {
    SysFreeString(entry->name);
    delete entry;
    return hr;
  }
  head_ = entry;
  return S_OK;
}

}  // namespace vistrel
