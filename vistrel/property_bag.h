// A minimal in-memory property bag: the capture filter reads the camera's
// name ("VCapName") from it.
#pragma once

#include <orlik/ocidl.h>

#include <atomic>

namespace vistrel {

class PropertyBag final : public IPropertyBag {
 public:
  // Starts with one reference, the creator's.
  PropertyBag() = default;
  PropertyBag(const PropertyBag&) = delete;
  PropertyBag& operator=(const PropertyBag&) = delete;

  HRESULT WINAPI QueryInterface(REFIID iid, void** object) override;
  ULONG WINAPI AddRef() override;
  ULONG WINAPI Release() override;
  // The first entry of that exact name (case matters); 0 and nothing copied
  // when there is none.
  HRESULT WINAPI Read(LPCOLESTR name, VARIANT* value, IErrorLog* errorLog) override;
  // A new entry, holding a copy of the value, at the head of the list.
  HRESULT WINAPI Write(LPCOLESTR name, VARIANT* value) override;

 private:
  struct Entry {
    BSTR name;
    VARIANT value;
    Entry* next;
  };
  ~PropertyBag();

  std::atomic<ULONG> refs_{1};
  Entry* head_ = nullptr;
};

}  // namespace vistrel
