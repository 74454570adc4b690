// A table of a library's exports, each typed by its declaration in the
// library's public header and filled by name at run time, as an application
// that loads the library with dlopen does:
//
//   #define PORT_EXPORTS(X) X(SetPortACfg) X(GetPortAData) X(version, GetNativeDllVersion)
//   TOLVEX_EXPORT_TABLE(PortExports, PORT_EXPORTS);
//   PortExports ferrox;
//   bool all = ferrox.Resolve([&](const char* name) { return dlsym(handle, name); });
//   ferrox.SetPortACfg(0xFF);
//
// Include only the header of the library the table is for: several libraries
// export the same names.
#pragma once

// X(name) is a field for the export `name`; X(field, name) names the field
// apart from the export, for code that calls it by a shorter name.
#define TOLVEX_EXPORT_NAME_(field, ...) TOLVEX_FIRST_(__VA_ARGS__ __VA_OPT__(, ) field)
#define TOLVEX_FIRST_(first, ...) first
#define TOLVEX_STRING_(...) TOLVEX_STRING2_(__VA_ARGS__)
#define TOLVEX_STRING2_(...) #__VA_ARGS__
#define TOLVEX_EXPORT_FIELD_(field, ...) decltype(&::TOLVEX_EXPORT_NAME_(field, __VA_ARGS__)) field = nullptr;
#define TOLVEX_EXPORT_LOOKUP_(field, ...)                                                             \
  field = reinterpret_cast<decltype(field)>(lookup(TOLVEX_STRING_(TOLVEX_EXPORT_NAME_(field, __VA_ARGS__)))); \
  all = field != nullptr && all;

// A struct `Type` with one field per export the list names, and
// Resolve(lookup): fills every field with lookup(name) (an address or null)
// and is true when none is missing.
#define TOLVEX_EXPORT_TABLE(Type, LIST) \
  struct Type {                         \
    LIST(TOLVEX_EXPORT_FIELD_)          \
    template <class Lookup>             \
    bool Resolve(Lookup lookup) {       \
      bool all = true;                  \
      LIST(TOLVEX_EXPORT_LOOKUP_)       \
      return all;                       \
    }                                   \
  }

#include <dlfcn.h>

namespace tolvex_test {

// A library opened as an application opens it (dlopen, local scope) with its
// table of exports filled: LoadedLibrary<PortExports> ferrox;
// ferrox.Load(path); then ferrox.SetPortACfg(0xFF) once ok().
template <class Table>
class LoadedLibrary : public Table {
 public:
  LoadedLibrary() = default;
  ~LoadedLibrary() { Unload(); }
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;

  // True when the library loaded and has every export of the table.
  bool Load(const char* path) {
    Unload();
    handle_ = dlopen(path, RTLD_NOW | RTLD_LOCAL);
    ok_ = handle_ && this->Resolve([this](const char* name) { return dlsym(handle_, name); });
    return ok_;
  }
  void Unload() {
    if (handle_) dlclose(handle_);
    handle_ = nullptr;
    ok_ = false;
  }
  bool ok() const { return ok_; }
  bool loaded() const { return handle_ != nullptr; }

 private:
  void* handle_ = nullptr;
  bool ok_ = false;
};

}  // namespace tolvex_test
