// Apartments, object creation and the class registry.
#include <orlik/objbase.h>

#include "com/registry.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

namespace orlik::com {
namespace {

struct Registration {
  CLSID clsid;
  ClassConstructor construct;
};

std::mutex& RegistryMutex() {
  static std::mutex m;
  return m;
}
std::vector<Registration>& Registry() {
  static std::vector<Registration> r;
  return r;
}

// The calling thread's apartment: how often it entered COM, and in which model.
struct Apartment {
  int entries = 0;
  DWORD model = COINIT_MULTITHREADED;
};
thread_local Apartment apartment;
// Threads of the process currently in the multithreaded apartment. While any
// is, a thread that never entered COM is in the implicit one and may create
// objects.
std::atomic<int> multithreadedThreads{0};

// Creates objects of one registered class.
class ClassFactory final : public UnknownImpl<IClassFactory, IID_IClassFactory> {
 public:
  explicit ClassFactory(ClassConstructor construct) : construct_(construct) {}
  virtual ~ClassFactory() = default;

  HRESULT WINAPI CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (outer) return CLASS_E_NOAGGREGATION;
    return construct_(iid, object);
  }
  HRESULT WINAPI LockServer(BOOL) override { return S_OK; }

 private:
  ClassConstructor construct_;
};

bool MayCreate() { return apartment.entries > 0 || multithreadedThreads.load() > 0; }

}  // namespace

void RegisterClass(REFCLSID clsid, ClassConstructor construct) {
  std::lock_guard lock(RegistryMutex());
  for (auto& r : Registry()) {
    if (r.clsid == clsid) {
      r.construct = construct;
      return;
    }
  }
  Registry().push_back({clsid, construct});
}

ClassConstructor FindClass(REFCLSID clsid) {
  std::lock_guard lock(RegistryMutex());
  for (const auto& r : Registry())
    if (r.clsid == clsid) return r.construct;
  return nullptr;
}

}  // namespace orlik::com

using namespace orlik::com;

ORLIK_API HRESULT WINAPI CoInitializeEx(LPVOID, DWORD coInit) {
  DWORD model = coInit & COINIT_APARTMENTTHREADED;
  if (apartment.entries > 0) {
    if (apartment.model != model) return RPC_E_CHANGED_MODE;
    ++apartment.entries;
    return S_FALSE;
  }
  apartment.entries = 1;
  apartment.model = model;
  if (model == COINIT_MULTITHREADED) ++multithreadedThreads;
  return S_OK;
}

ORLIK_API HRESULT WINAPI CoInitialize(LPVOID reserved) {
  return CoInitializeEx(reserved, COINIT_APARTMENTTHREADED);
}

ORLIK_API void WINAPI CoUninitialize(void) {
  if (apartment.entries == 0) return;  // unmatched: nothing to leave
  if (--apartment.entries == 0 && apartment.model == COINIT_MULTITHREADED) --multithreadedThreads;
}

ORLIK_API HRESULT WINAPI CoGetClassObject(REFCLSID clsid, DWORD context, LPVOID, REFIID iid,
                                          LPVOID* object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  if (!MayCreate()) return CO_E_NOTINITIALIZED;
  if (!(context & (CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER))) return REGDB_E_CLASSNOTREG;
  ClassConstructor construct = FindClass(clsid);
  if (!construct) return REGDB_E_CLASSNOTREG;
  auto* factory = new ClassFactory(construct);
  HRESULT hr = factory->QueryInterface(iid, object);
  factory->Release();
  return hr;
}

ORLIK_API HRESULT WINAPI CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context,
                                          REFIID iid, LPVOID* object) {
  if (!object) return E_POINTER;
  *object = nullptr;
  IClassFactory* factory = nullptr;
  HRESULT hr = CoGetClassObject(clsid, context, nullptr, IID_IClassFactory,
                                reinterpret_cast<void**>(&factory));
  if (FAILED(hr)) return hr;
  hr = factory->CreateInstance(outer, iid, object);
  factory->Release();
  return hr;
}

ORLIK_API LPVOID WINAPI CoTaskMemAlloc(SIZE_T size) { return std::malloc(size ? size : 1); }
ORLIK_API LPVOID WINAPI CoTaskMemRealloc(LPVOID block, SIZE_T size) {
  return std::realloc(block, size ? size : 1);
}
ORLIK_API void WINAPI CoTaskMemFree(LPVOID block) { std::free(block); }

ORLIK_API int WINAPI StringFromGUID2(REFGUID g, LPWSTR text, int capacity) {
  if (!text || capacity < 39) return 0;
  char buf[40];
  std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1,
                g.Data2, g.Data3, g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4],
                g.Data4[5], g.Data4[6], g.Data4[7]);
  for (int i = 0; i < 39; ++i) text[i] = static_cast<WCHAR>(buf[i]);
  return 39;
}

ORLIK_API HRESULT WINAPI CLSIDFromString(LPCOLESTR text, CLSID* clsid) {
  if (!text || !clsid) return E_INVALIDARG;
  char buf[40] = {};
  for (int i = 0; i < 38; ++i) {
    if (text[i] == 0 || text[i] > 0x7F) return E_INVALIDARG;
    buf[i] = static_cast<char>(text[i]);
  }
  if (text[38] != 0) return E_INVALIDARG;
  unsigned d1, d2, d3, b[8];
  char open, close;
  int n = std::sscanf(buf, "%c%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x%c", &open, &d1, &d2, &d3, &b[0],
                      &b[1], &b[2], &b[3], &b[4], &b[5], &b[6], &b[7], &close);
  if (n != 13 || open != '{' || close != '}') return E_INVALIDARG;
  clsid->Data1 = d1;
  clsid->Data2 = static_cast<uint16_t>(d2);
  clsid->Data3 = static_cast<uint16_t>(d3);
  for (int i = 0; i < 8; ++i) clsid->Data4[i] = static_cast<uint8_t>(b[i]);
  return S_OK;
}
