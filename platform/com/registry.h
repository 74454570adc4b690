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

}  // namespace orlik::com
