// The tour: each library on the simulated panel, one section each.
#pragma once

#include <dlfcn.h>

#include <cstdio>
#include <string>

namespace tour {

// Where a section leaves its pictures, recordings and printouts.
const std::string& OutputDir();

// The host path of a file on the panel ("Flash Disk/Media/clip.ogg" lies
// below the device root, ORLIK_ROOT).
std::string PanelPath(const std::string& relative);

// Makes a media file with GStreamer: `pipeline` is a gst-launch-1.0
// description in which "{out}" stands for `path`. False when it failed.
bool MakeMedia(const std::string& path, const std::string& pipeline);

// A deliverable loaded as an application loads it.
class Module {
 public:
  explicit Module(const char* fileName);
  ~Module();
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;
  bool ok() const { return handle_ != nullptr; }
  template <class F>
  F Get(const char* name) const {
    return reinterpret_cast<F>(handle_ ? dlsym(handle_, name) : nullptr);
  }

 private:
  void* handle_;
};

// A section of the tour registers itself from its own source file:
//   TOUR_SECTION(10, "Ferrox: GPIO ports", FerroxPorts);
// Sections run in the order of their numbers, each on a freshly reset panel,
// and return false when something did not behave.
struct SectionRegistrar {
  SectionRegistrar(int order, const char* title, bool (*run)());
};
#define TOUR_SECTION(order, title, fn) \
  static const ::tour::SectionRegistrar tour_section_##fn(order, title, fn)

// An export by the name the library's public header declares, typed by that
// declaration: TOUR_EXPORT(ferrox, SetPortACfg). A section includes only its
// own library's header (several libraries export the same names).
#define TOUR_EXPORT(module, name) (module).Get<decltype(&::name)>(#name)

}  // namespace tour
