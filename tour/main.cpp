// The main job: a tour of the Tolvex libraries on the simulated Orlik panel.
// Each section loads its library with dlopen, as an application does, works
// it, and prints what the panel saw; pictures and files go to the output
// folder (TOUR_OUT, "out" by default).
#include "tour.h"

#include <orlik/sim.h>

#include <sys/stat.h>

#include <cstdlib>
#include <algorithm>
#include <filesystem>
#include <vector>

namespace tour {

const std::string& OutputDir() {
  static const std::string dir = [] {
    const char* v = std::getenv("TOUR_OUT");
    std::string d = (v && *v) ? v : "out";
    std::filesystem::create_directories(d);
    return d;
  }();
  return dir;
}

std::string PanelPath(const std::string& relative) {
  const char* root = std::getenv("ORLIK_ROOT");
  return std::string(root ? root : "orlik-root") + "/" + relative;
}

bool MakePanelMedia(const std::string& relative, const std::string& pipeline) {
  std::string path = PanelPath(relative);
  std::filesystem::create_directories(std::filesystem::path(path).parent_path());
  std::string description = pipeline;
  for (size_t at; (at = description.find("{out}")) != std::string::npos;)
    description.replace(at, 5, "'" + path + "'");
  std::string command = "gst-launch-1.0 -q " + description + " >/dev/null 2>&1";
  if (std::system(command.c_str()) == 0 && std::filesystem::exists(path)) return true;
  std::printf("   gst-launch-1.0 could not make %s\n", relative.c_str());
  return false;
}

Module::Module(const char* fileName) {
  std::string path = std::string(TOLVEX_LIB_DIR) + "/" + fileName;
  handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) std::printf("  cannot load %s: %s\n", fileName, dlerror());
}

Module::~Module() {
  if (handle_) dlclose(handle_);
}

void* Module::Symbol(const char* name) {
  void* p = dlsym(handle_, name);
  if (!p) std::printf("   missing export %s\n", name);
  return p;
}

namespace {
struct Section {
  int order;
  const char* title;
  bool (*run)();
};
std::vector<Section>& Sections() {
  static std::vector<Section> sections;
  return sections;
}
}  // namespace

SectionRegistrar::SectionRegistrar(int order, const char* title, bool (*run)()) {
  Sections().push_back({order, title, run});
}

}  // namespace tour

int main() {
  if (!std::getenv("ORLIK_ROOT")) setenv("ORLIK_ROOT", (tour::OutputDir() + "/panel-root").c_str(), 1);
  std::filesystem::create_directories(std::getenv("ORLIK_ROOT"));
  // Everything the panel's sound output plays goes to one WAV file.
  if (!std::getenv("ORLIK_AUDIO")) {
    std::string sound = tour::OutputDir() + "/panel-sound.wav";
    std::filesystem::remove(sound);
    setenv("ORLIK_AUDIO", sound.c_str(), 1);
  }

  auto sections = tour::Sections();
  std::stable_sort(sections.begin(), sections.end(),
                   [](const auto& a, const auto& b) { return a.order < b.order; });
  // TOUR_ONLY runs only the sections whose title begins with it.
  const char* only = std::getenv("TOUR_ONLY");
  int failed = 0;
  for (const auto& s : sections) {
    if (only && *only && std::string(s.title).rfind(only, 0) != 0) continue;
    orlik_sim_reset();
    std::printf("== %s\n", s.title);
    bool ok = s.run();
    std::printf("   %s\n\n", ok ? "ok" : "FAILED");
    failed += ok ? 0 : 1;
  }
  std::printf("Tour finished: %d section(s) failed. Output in %s\n", failed, tour::OutputDir().c_str());
  return failed ? 1 : 0;
}
