// Modules by panel name (dlopen, dl_iterate_phdr) and the resources they carry.
#include <orlik/kernel.h>
#include <orlik/module.h>
#include <orlik/text.h>

#include "core/last_error.h"
#include "core/names.h"
#include "core/paths.h"

#include <dlfcn.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace orlik {
namespace {

struct LoadedObject {
  uintptr_t base = 0;
  std::string path;  // empty for the program itself
};

// Where each loaded object starts: its lowest loadable segment.
std::vector<LoadedObject> LoadedObjects() {
  std::vector<LoadedObject> objects;
  dl_iterate_phdr(
      [](dl_phdr_info* info, size_t, void* data) {
        uintptr_t low = UINTPTR_MAX;
        for (int i = 0; i < info->dlpi_phnum; ++i)
          if (info->dlpi_phdr[i].p_type == PT_LOAD && info->dlpi_phdr[i].p_vaddr < low)
            low = info->dlpi_phdr[i].p_vaddr;
        if (low == UINTPTR_MAX) return 0;
        auto* list = static_cast<std::vector<LoadedObject>*>(data);
        uintptr_t base = info->dlpi_addr + (low & ~uintptr_t(0xFFF));
        list->push_back({base, info->dlpi_name ? info->dlpi_name : ""});
        return 0;
      },
      &objects);
  if (!objects.empty()) objects[0].path.clear();  // the program comes first
  return objects;
}

std::string BaseName(const std::string& path) {
  auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string ProgramPath() {
  char buf[4096];
  ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
  return n > 0 ? std::string(buf, size_t(n)) : std::string();
}

// The panel's name of a host file: libX.so -> X.DLL, X (a program) -> X.exe.
std::string PanelName(const std::string& hostBase, bool program) {
  if (program) return hostBase + ".exe";
  std::string name = hostBase;
  if (name.size() > 3 && name.compare(0, 3, "lib") == 0) name = name.substr(3);
  auto so = name.find(".so");
  if (so != std::string::npos) name = name.substr(0, so);
  return name + ".DLL";
}

// True when a panel module name ("Renokit.DLL", "renovo.exe") names this host file.
bool SameModule(const std::string& panelName, const std::string& hostPath, bool program) {
  std::string base = BaseName(hostPath);
  std::string name = LowerAscii(panelName);
  return name == LowerAscii(PanelName(base, program)) || name == LowerAscii(base);
}

// Modules loaded through LoadLibraryW: base -> dlopen handles (one per load).
struct LibraryTable {
  std::mutex mutex;
  std::multimap<uintptr_t, void*> handles;
};
LibraryTable& Libraries() {
  static auto* table = new LibraryTable;
  return *table;
}

struct ResourceTable {
  std::mutex mutex;
  std::map<uintptr_t, std::pair<const ORLIK_RESOURCE*, size_t>> modules;
};
ResourceTable& Resources() {
  static auto* table = new ResourceTable;
  return *table;
}

uintptr_t ModuleBaseOf(const void* address) {
  Dl_info info{};
  if (!dladdr(address, &info)) return 0;
  return reinterpret_cast<uintptr_t>(info.dli_fbase);
}

bool SameResourceName(LPCWSTR a, LPCWSTR b) {
  if (IS_INTRESOURCE(a) || IS_INTRESOURCE(b)) return a == b;
  // "#122" names resource 122, as in resource scripts.
  return orlik_wcsicmp(a, b) == 0;
}

LPCWSTR NormaliseResourceName(LPCWSTR name, std::u16string& storage) {
  if (IS_INTRESOURCE(name) || name[0] != u'#') return name;
  storage.assign(name + 1);
  unsigned long v = 0;
  for (char16_t c : storage) {
    if (c < u'0' || c > u'9' || v > 0xFFFF) return name;
    v = v * 10 + (c - u'0');
  }
  return v <= 0xFFFF ? MAKEINTRESOURCE(v) : name;
}

void* FindHostFile(std::u16string_view name) {
  // A name with a folder is a panel path; a bare name is looked for in
  // "\Windows", then in the root folder.
  std::vector<std::u16string> candidates;
  if (name.find_first_of(u"\\/") != std::u16string_view::npos) {
    candidates.emplace_back(name);
  } else {
    candidates.push_back(u"\\Windows\\" + std::u16string(name));
    candidates.push_back(u"\\" + std::u16string(name));
  }
  for (auto& c : candidates) {
    std::string host = HostPath(c);
    struct stat st;
    if (stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return dlopen(host.c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  return nullptr;
}

}  // namespace
}  // namespace orlik

using namespace orlik;

extern "C" {

HMODULE GetModuleHandleW(LPCWSTR moduleName) {
  auto objects = LoadedObjects();
  if (!moduleName) return objects.empty() ? nullptr : reinterpret_cast<HMODULE>(objects[0].base);
  std::string name = ToUtf8(View(moduleName));
  auto cut = name.find_last_of("\\/");
  if (cut != std::string::npos) name = name.substr(cut + 1);
  for (size_t i = 0; i < objects.size(); ++i) {
    bool program = i == 0;
    std::string path = program ? ProgramPath() : objects[i].path;
    if (!path.empty() && SameModule(name, path, program)) return reinterpret_cast<HMODULE>(objects[i].base);
  }
  SetLastError(ERROR_FILE_NOT_FOUND);
  return nullptr;
}

DWORD GetModuleFileNameW(HMODULE module, LPWSTR fileName, DWORD size) {
  auto objects = LoadedObjects();
  auto base = module ? reinterpret_cast<uintptr_t>(module) : (objects.empty() ? 0 : objects[0].base);
  for (size_t i = 0; i < objects.size(); ++i) {
    if (objects[i].base != base) continue;
    bool program = i == 0;
    std::string path = program ? ProgramPath() : objects[i].path;
    std::u16string panel = u"\\Windows\\" + FromUtf8(PanelName(BaseName(path), program));
    if (!fileName || size == 0) return 0;
    return DWORD(orlik_wcscpy_bounded(fileName, size, panel.c_str()));
  }
  SetLastError(ERROR_INVALID_HANDLE);
  return 0;
}

HMODULE LoadLibraryW(LPCWSTR fileName) {
  if (!fileName || !*fileName) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  void* handle = FindHostFile(View(fileName));
  if (!handle) {
    // One of the system's own libraries, already in the process.
    if (HMODULE loaded = GetModuleHandleW(fileName)) {
      for (auto& o : LoadedObjects())
        if (o.base == reinterpret_cast<uintptr_t>(loaded) && !o.path.empty())
          handle = dlopen(o.path.c_str(), RTLD_NOW | RTLD_LOCAL);
    }
  }
  if (!handle) {
    SetLastError(ERROR_FILE_NOT_FOUND);
    return nullptr;
  }
  link_map* map = nullptr;
  if (dlinfo(handle, RTLD_DI_LINKMAP, &map) != 0 || !map) {
    dlclose(handle);
    SetLastError(ERROR_GEN_FAILURE);
    return nullptr;
  }
  uintptr_t base = 0;
  for (auto& o : LoadedObjects())
    if (!o.path.empty() && o.path == map->l_name) base = o.base;
  if (!base) base = map->l_addr;
  auto& table = Libraries();
  std::lock_guard lock(table.mutex);
  table.handles.emplace(base, handle);
  SetLastError(ERROR_SUCCESS);
  return reinterpret_cast<HMODULE>(base);
}

BOOL FreeLibrary(HMODULE module) {
  void* handle = nullptr;
  {
    auto& table = Libraries();
    std::lock_guard lock(table.mutex);
    auto it = table.handles.find(reinterpret_cast<uintptr_t>(module));
    if (it == table.handles.end()) return Fail(ERROR_INVALID_HANDLE);
    handle = it->second;
    table.handles.erase(it);
  }
  dlclose(handle);
  return TRUE;
}

FARPROC GetProcAddressW(HMODULE module, LPCWSTR procName) {
  if (!module || !procName || IS_INTRESOURCE(procName)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  std::string name = ToUtf8(View(procName));
  void* symbol = nullptr;
  {
    auto& table = Libraries();
    std::lock_guard lock(table.mutex);
    auto it = table.handles.find(reinterpret_cast<uintptr_t>(module));
    if (it != table.handles.end()) symbol = dlsym(it->second, name.c_str());
  }
  if (!symbol) {
    // A module the process has without LoadLibraryW (the program, a library
    // the application loaded itself).
    auto objects = LoadedObjects();
    for (size_t i = 0; i < objects.size(); ++i) {
      if (objects[i].base != reinterpret_cast<uintptr_t>(module)) continue;
      void* h = i == 0 ? dlopen(nullptr, RTLD_NOW) : dlopen(objects[i].path.c_str(), RTLD_NOW | RTLD_NOLOAD);
      if (h) {
        symbol = dlsym(h, name.c_str());
        dlclose(h);
      }
      break;
    }
  }
  if (!symbol) SetLastError(127 /* ERROR_PROC_NOT_FOUND */);
  return reinterpret_cast<FARPROC>(symbol);
}

void orlik_register_resources(const void* anchor, const ORLIK_RESOURCE* table, size_t count) {
  uintptr_t base = ModuleBaseOf(anchor);
  if (!base) return;
  auto& r = Resources();
  std::lock_guard lock(r.mutex);
  r.modules[base] = {table, count};
}

void orlik_unregister_resources(const void* anchor) {
  uintptr_t base = ModuleBaseOf(anchor);
  auto& r = Resources();
  std::lock_guard lock(r.mutex);
  r.modules.erase(base);
}

HRSRC FindResourceW(HMODULE module, LPCWSTR name, LPCWSTR type) {
  if (!name || !type) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  if (!module) module = GetModuleHandleW(nullptr);
  std::u16string nameStorage, typeStorage;
  name = NormaliseResourceName(name, nameStorage);
  type = NormaliseResourceName(type, typeStorage);
  auto& r = Resources();
  std::lock_guard lock(r.mutex);
  auto it = r.modules.find(reinterpret_cast<uintptr_t>(module));
  if (it != r.modules.end()) {
    for (size_t i = 0; i < it->second.second; ++i) {
      const ORLIK_RESOURCE& entry = it->second.first[i];
      if (SameResourceName(entry.type, type) && SameResourceName(entry.name, name))
        return const_cast<ORLIK_RESOURCE*>(&entry);
    }
  }
  SetLastError(1813 /* ERROR_RESOURCE_TYPE_NOT_FOUND */);
  return nullptr;
}

HGLOBAL LoadResource(HMODULE, HRSRC resource) {
  if (!resource) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return const_cast<void*>(static_cast<const ORLIK_RESOURCE*>(resource)->data);
}

LPVOID LockResource(HGLOBAL data) { return data; }

DWORD SizeofResource(HMODULE, HRSRC resource) {
  if (!resource) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return static_cast<const ORLIK_RESOURCE*>(resource)->size;
}

}  // extern "C"
