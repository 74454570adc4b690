// Renokit and Renovo on the panel: an application asks for an update, the
// updater runs as its own process, copies the changed files with its progress
// screen, and asks the power controller for a reboot.
#include "tour.h"

#include <tolvex/renokit.h>

#include <orlik/sim.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

namespace fs = std::filesystem;

namespace tour {

namespace {

void Write(const fs::path& path, const std::string& bytes) {
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string Read(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

}  // namespace

#define RENOKIT_UPDATE_EXPORTS(X) X(SetPath) X(SetDisplayText) X(SetDisplayTextColor) X(SetFontName) \
  X(SetStartInterval) X(SetReboot) X(Start)
TOLVEX_EXPORT_TABLE(RenokitUpdateExports, RENOKIT_UPDATE_EXPORTS);

static bool RenokitUpdate() {
  Loaded<RenokitUpdateExports> renokit("libRenokit.so");
  if (!renokit.ok()) return false;

  fs::path root = std::getenv("ORLIK_ROOT");
  fs::remove_all(root / "SD Card");
  fs::remove_all(root / "Flash Disk" / "App");
  fs::create_directories(root / "Windows");
  Write(root / "SD Card/Update/Panel.exe", "panel program, version 2");
  Write(root / "SD Card/Update/Recipes.ini", "[recipes]\ncount=12\n");
  Write(root / "SD Card/Update/Manual.txt", "unchanged manual");
  Write(root / "Flash Disk/App/Panel.exe", "panel program, version 1");
  Write(root / "Flash Disk/App/Manual.txt", "unchanged manual");

  fs::path shots = fs::absolute(OutputDir()) / "renokit-screens";
  fs::remove_all(shots);
  setenv("ORLIK_SCREENSHOTS", shots.c_str(), 1);

  renokit.SetPath(u"\\SD Card\\Update", u"\\Flash Disk\\App");
  renokit.SetDisplayText(u"Software Update", u"New programs for this panel are being installed.\nDo not switch the panel off.",
                 u"Tolvex 2.0");
  renokit.SetDisplayTextColor(0xFFFFFF, 0x6B3A08, 0xFFFFFF);
  renokit.SetFontName(u"GulimChe");
  renokit.SetStartInterval(500);
  renokit.SetReboot(1);
  int before = orlik_sim_process_count();
  int started = renokit.Start();
  unsetenv("ORLIK_SCREENSHOTS");
  std::printf("   Start() = %d: changed Panel.exe and new Recipes.ini; Manual.txt is equal\n", started);
  if (started != 1 || orlik_sim_process_count() != before + 1) return false;

  int pid = orlik_sim_process_id(before);
  std::printf("   the updater runs as process %d (5 s per copied file) ...\n", pid);
  std::fflush(stdout);
  int code = -1;
  if (!orlik_sim_process_wait(pid, 120000, &code)) return false;
  std::printf("   updater ended with %d\n", code);
  bool copied = Read(root / "Flash Disk/App/Panel.exe") == "panel program, version 2" &&
                Read(root / "Flash Disk/App/Recipes.ini") == "[recipes]\ncount=12\n";
  std::printf("   Flash Disk\\App now: Panel.exe \"%s\", Recipes.ini %s\n",
              Read(root / "Flash Disk/App/Panel.exe").c_str(),
              fs::exists(root / "Flash Disk/App/Recipes.ini") ? "present" : "missing");

  int requests = orlik_sim_power_request_count();
  for (int i = 0; i < requests; ++i) {
    char text[128];
    orlik_sim_power_request(i, text, sizeof text);
    std::printf("   power controller: %s\n", text);
  }

  std::vector<fs::path> files;
  if (fs::exists(shots))
    for (auto& e : fs::directory_iterator(shots)) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  std::printf("   %zu screenshots in %s\n", files.size(), shots.c_str());
  // The screen while the first file is being copied.
  if (files.size() >= 2) {
    fs::copy_file(files[1], fs::path(OutputDir()) / "renokit-update-screen.png",
                  fs::copy_options::overwrite_existing);
    std::printf("   picture: %s/renokit-update-screen.png\n", OutputDir().c_str());
  }
  return code == 0 && copied && requests == 2 && files.size() >= 2;
}

TOUR_SECTION(60, "Renokit and Renovo: self-update", RenokitUpdate);

}  // namespace tour
