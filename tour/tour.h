// The tour: each library on the simulated panel, one section each.
#pragma once

#include "export_table.h"

#include <dlfcn.h>

#include <cstdio>
#include <string>

namespace tour {

// Where a section leaves its pictures, recordings and printouts.
const std::string& OutputDir();

// The host path of a file on the panel ("Flash Disk/Media/clip.ogg" lies
// below the device root, ORLIK_ROOT).
std::string PanelPath(const std::string& relative);

// Makes a media file on the panel with GStreamer (`relative` as for
// PanelPath): `pipeline` is a gst-launch-1.0 description in which "{out}"
// stands for the file. False, said on the output, when it failed.
bool MakePanelMedia(const std::string& relative, const std::string& pipeline);

// A deliverable loaded as an application loads it.
class Module {
 public:
  explicit Module(const char* fileName);
  ~Module();
  Module(const Module&) = delete;
  Module& operator=(const Module&) = delete;
  // Fills a table of exports (TOLVEX_EXPORT_TABLE); false, with the missing
  // names said on the output, when the library did not load or lacks one.
  template <class Table>
  bool Resolve(Table& table) {
    return handle_ && table.Resolve([this](const char* name) { return Symbol(name); });
  }

 private:
  void* Symbol(const char* name);
  void* handle_;
};

// A library loaded with its table of exports filled: Loaded<PortExports>
// ferrox("libFerrox.so"); then ferrox.SetPortACfg(0xFF) once ok().
template <class Table>
class Loaded : public Table {
 public:
  explicit Loaded(const char* fileName) : module_(fileName), ok_(module_.Resolve<Table>(*this)) {}
  bool ok() const { return ok_; }

 private:
  Module module_;
  bool ok_;
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

}  // namespace tour
