// The class registry behind CoCreateInstance. Platform components register
// their classes once, at library load, with a ClassRegistrar.
#pragma once

#include <orlik/objbase.h>

#include <atomic>

namespace orlik::com {

// Creates a new object of the class and returns the interface iid on it.
using ClassConstructor = HRESULT (*)(REFIID iid, void** object);

void RegisterClass(REFCLSID clsid, ClassConstructor construct);
// Null when the class is not registered.
ClassConstructor FindClass(REFCLSID clsid);

struct ClassRegistrar {
  ClassRegistrar(REFCLSID clsid, ClassConstructor construct) { RegisterClass(clsid, construct); }
};

// The ClassConstructor of a class made as `new Object(args...)`: the caller
// gets the interface iid on the new object, which the creator's reference
// (dropped here) does not keep alive.
template <class Object, const auto&... args>
HRESULT Construct(REFIID iid, void** object) {
  auto* created = new Object(args...);
  HRESULT hr = created->QueryInterface(iid, object);
  created->Release();
  return hr;
}

// Reference count shared by the platform's objects: starts at 1 for the
// creator, deletes the object at the last Release.
class RefCount {
 public:
  ULONG Add() { return ++count_; }
  // True when the count reached zero.
  bool Drop(ULONG* remaining) {
    *remaining = --count_;
    return *remaining == 0;
  }

 private:
  std::atomic<ULONG> count_{1};
};

// IUnknown of an object that implements one interface: QueryInterface
// answers IID_IUnknown and the interface's identifier, the last Release
// deletes the object.
template <class Interface, const GUID& InterfaceId>
class UnknownImpl : public Interface {
 public:
  HRESULT WINAPI QueryInterface(REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    if (iid == IID_IUnknown || iid == InterfaceId) {
      AddRef();
      *object = static_cast<Interface*>(this);
      return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
  }
  ULONG WINAPI AddRef() override { return refs_.Add(); }
  ULONG WINAPI Release() override {
    ULONG left;
    if (refs_.Drop(&left)) delete this;
    return left;
  }

 protected:
  virtual ~UnknownImpl() = default;

 private:
  RefCount refs_;
};

}  // namespace orlik::com
